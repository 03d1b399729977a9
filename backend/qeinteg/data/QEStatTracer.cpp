#include "qeinteg/data/QEStatTracer.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "qeinteg/data/DirectorySpecific.h"
#include "qeinteg/data/OsPath.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/host/process/TempDirectory.h"
#include "qeinteg/platform/host/process/Viewer.h"
#include "qeinteg/platform/host/text/CodePage.h"
#include "qeinteg/platform/host/text/ExtNameStr.h"

using qeinteg::detail::ToOsPath;

namespace {

std::atomic<QEStatTracer*> g_tracer{nullptr};

std::mutex& CreationMutex() {
    static auto* mutex = new std::mutex();
    return *mutex;
}

// Names come from callers: keep them a single path component inside the trace directory.
std::string SafeComponent(std::string name) {
    TAVOMBStringReplaceChar_A(name, '\\', '_');
    for (char& c : name) {
        if (c == '/' || c == '\0')
            c = '_';
    }
    if (name == "." || name == "..")
        return {};
    return name;
}

}  // namespace

QEStatTracer* QETracer() {
    QEStatTracer* tracer = g_tracer.load(std::memory_order_acquire);
    if (tracer != nullptr)
        return tracer;
    std::lock_guard<std::mutex> lock(CreationMutex());
    tracer = g_tracer.load(std::memory_order_relaxed);
    if (tracer == nullptr) {
        tracer = new QEStatTracer();
        tracer->init();
        g_tracer.store(tracer, std::memory_order_release);
    }
    return tracer;
}

void QEStatTracer::resetForTest() {
    std::lock_guard<std::mutex> lock(CreationMutex());
    auto* fresh = new QEStatTracer();
    fresh->init();
    delete g_tracer.exchange(fresh, std::memory_order_acq_rel);
}

void QEStatTracer::init() {
    const char* root = std::getenv("QE_STAT_DEBUG_DIR");
    if (root != nullptr && *root != '\0') {
        MakeDir(root);  // an existing directory is fine
        DirectorySpecific dir(root);
        if (dir.Exists()) {
            traceRoot_ = dir.ExpandPath();
            isTrace_ = !dir.ReadOnly();
        }
    }
    const char* print = std::getenv("QE_STAT_DEBUG_PRINT");
    if (print != nullptr && (std::strcmp(print, "YES") == 0 || std::strcmp(print, "1") == 0)) {
        printLogToViewer_ = true;
    }
    const char* count = std::getenv("QE_STAT_DEBUG_MAXCOUNT");
    if (count != nullptr && *count != '\0')
        maxTraceDirCount_ = String2Integer(count);
    newTraceDir();
}

bool QEStatTracer::newTraceDir() {
    if (!isTrace_)
        return canTrace_;
    std::string dir;
    if (maxTraceDirCount_ != 0) {
        const std::string base = JoinFilePath(traceRoot_, "qetrace_");
        // A negative count is taken as unsigned: practically no limit.
        const auto limit = static_cast<std::uint32_t>(maxTraceDirCount_);
        for (std::uint32_t i = 0; i < limit; ++i) {
            const std::string candidate = base + std::to_string(i);
            if (MakeDir(candidate)) {
                dir = candidate;
                break;
            }
            // Only a taken name is worth stepping over; any other failure repeats for every name.
            if (errno != EEXIST)
                break;
        }
        if (dir.empty())
            return canTrace_;
    } else {
        dir = traceRoot_;
    }
    traceDir_ = dir;
    if (log_.is_open())
        log_.close();
    log_.clear();
    log_.open(ToOsPath(JoinFilePath(traceDir_, "qeinteg.log")),
              std::ios::out | std::ios::app | std::ios::binary);
    canTrace_ = log_.is_open();
    return canTrace_;
}

std::string QEStatTracer::newValidFileName(const std::string& ext, const std::string& first,
                                           const std::string& second, bool unique) const {
    std::string name = first;
    if (!first.empty() && !second.empty())
        name += "_";
    name += second;
    name = SafeComponent(name);
    if (name.empty())
        name = "unname";
    const std::string safeExt = SafeComponent(ext);
    for (int n = 0; n < INT_MAX; ++n) {
        std::string candidate = name;
        if (n > 0)
            candidate.append(1, '_').append(Integer2String(n));
        if (!safeExt.empty())
            candidate += "." + safeExt;
        if (!unique || !ValidateFileSpecification(JoinFilePath(traceDir_, candidate))) {
            return candidate;
        }
    }
    return name;
}

bool QEStatTracer::write(const std::string& text, const std::string& fileName) {
    if (!canTrace_)
        return canTrace_;
    const std::string name = SafeComponent(fileName);
    if (name.empty() || name != fileName)
        return canTrace_;
    ExtNameStr path;
    path.SetGeneric(JoinFilePath(traceDir_, name));
    if (text.empty()) {
        path.remove();
        return canTrace_;
    }
    std::ofstream out(path.GetU8(), std::ios::out | std::ios::trunc | std::ios::binary);
    if (out)
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return canTrace_;
}

bool QEStatTracer::append(const std::string& text, const std::string& fileName) {
    if (!canTrace_)
        return canTrace_;
    const std::string name = SafeComponent(fileName);
    if (name.empty() || name != fileName)
        return canTrace_;
    std::ofstream out(ToOsPath(JoinFilePath(traceDir_, name)),
                      std::ios::out | std::ios::app | std::ios::binary);
    if (out)
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return canTrace_;
}

bool QEStatTracer::addLog(const std::string& line) {
    if (canTrace_) {
        log_ << line << '\n';
        log_.flush();
    }
    if (printLogToViewer_) {
        const int length = line.size() > INT_MAX ? INT_MAX : static_cast<int>(line.size());
        DSPLNS(line.c_str(), 1, length);
    }
    return canTrace_;
}

void WriteLog(const std::string& line) {
    QETracer()->addLog(line);
}

namespace {

bool TraceFile(const char* ext, const std::string& text, const std::string& first,
               const std::string& second) {
    QEStatTracer* tracer = QETracer();
    if (!tracer->canTrace())
        return false;
    return tracer->write(text, tracer->newValidFileName(ext, first, second, false));
}

}  // namespace

bool traceXMLFile(const std::string& text, const std::string& first, const std::string& second) {
    return TraceFile("xml", text, first, second);
}

bool traceJSONFile(const std::string& text, const std::string& first, const std::string& second) {
    return TraceFile("json", text, first, second);
}

bool traceQELFile(const std::string& text, const std::string& first, const std::string& second) {
    return TraceFile("qel", text, first, second);
}
