// Diagnostic tracing, switched on from the environment:
//   QE_STAT_DEBUG_DIR       trace root; tracing is on when it exists (it is created) and is
//   writable QE_STAT_DEBUG_PRINT     "YES" or "1": log lines are also shown in the host output
//   viewer QE_STAT_DEBUG_MAXCOUNT  how many numbered directories qetrace_0, qetrace_1, ... are
//   tried
//                           (default 1024; 0 traces into the root itself; negative: no limit)
// Each process traces into the lowest free numbered directory, holding the log "qeinteg.log" and
// copies of the documents exchanged with the engine. When tracing is off every call costs one
// flag test.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QEStatTracer {
  public:
    QEStatTracer(const QEStatTracer&) = delete;
    QEStatTracer& operator=(const QEStatTracer&) = delete;

    bool isTrace() const { return isTrace_; }
    bool printLogToViewer() const { return printLogToViewer_; }
    bool canTrace() const { return canTrace_; }
    std::int32_t maxTraceDirCount() const { return maxTraceDirCount_; }
    std::string traceRoot() const { return traceRoot_; }
    std::string traceDir() const { return traceDir_; }

    // Picks this process's trace directory and opens the log there; returns canTrace().
    bool newTraceDir();

    // A file name for the trace directory: first[_second][_n].ext ("unname" when both names are
    // empty). Separators in the names become "_", so the file stays in the trace directory. With
    // unique, n counts up from 1 until no file of that name exists.
    std::string newValidFileName(const std::string& ext, const std::string& first,
                                 const std::string& second, bool unique) const;

    // Writes text to the file fileName in the trace directory (an empty text removes the file).
    // Names with separators or naming "." or ".." are refused. Returns canTrace().
    bool write(const std::string& text, const std::string& fileName);
    // Appends text to the file fileName in the trace directory. Returns canTrace().
    bool append(const std::string& text, const std::string& fileName);
    // Adds a line to the log (and to the viewer when asked). Returns canTrace().
    bool addLog(const std::string& line);

    // Test hook: replaces the process's tracer with a fresh one that reads the environment again.
    static void resetForTest();

  private:
    friend QEINTEG_EXPORT QEStatTracer* QETracer();
    QEStatTracer() = default;
    void init();

    bool isTrace_ = false;
    bool printLogToViewer_ = false;
    bool canTrace_ = false;
    std::int32_t maxTraceDirCount_ = 1024;
    std::string traceRoot_;
    std::string traceDir_;
    std::ofstream log_;
};

// The process's tracer, created on first use.
QEINTEG_EXPORT QEStatTracer* QETracer();

QEINTEG_EXPORT void WriteLog(const std::string& line);
QEINTEG_EXPORT bool traceXMLFile(const std::string& text, const std::string& first,
                                 const std::string& second);
QEINTEG_EXPORT bool traceJSONFile(const std::string& text, const std::string& first,
                                  const std::string& second);
QEINTEG_EXPORT bool traceQELFile(const std::string& text, const std::string& first,
                                 const std::string& second);
