// A named temporary or work file, and the engine's analytic directories.
//
// A QESimpleFile names a file that does not exist yet when it is made: in the host's temporary
// directory (where it is created empty at once, which reserves the name) or in the analytic
// default directory (where the engine makes it). With remove-on-destruction, the file, or a
// directory of that name with its contents, goes with the object.
#pragma once

#include <memory>
#include <string>

#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QESimpleFile {
  public:
    // `name` in the host code page, made unique in its directory (name_1.ext, name_2.ext, ...).
    QESimpleFile(const std::string& name, bool inAnalyticDir, bool removeOnDestruction);
    ~QESimpleFile();
    // One object owns the file: copies would remove it twice.
    QESimpleFile(const QESimpleFile&) = delete;
    QESimpleFile& operator=(const QESimpleFile&) = delete;

    // The last component of the path.
    std::string GetFileName() const;
    // The path in the host code page ("generic" form).
    std::string GetAbsolutePath() const;
    // The path in UTF-8.
    std::string GetGenericPath() const;

    // The engine's working directory tree: "analytic-root/" under the host's temporary directory.
    // Computed on first use and kept for the process, so a later change of the host's temporary
    // directory does not move it. Host code page ("generic") and UTF-8 forms.
    static std::string GetAnalyticRoot();
    static std::string GetAnalyticRootUTF();
    // "keld/public/" under the analytic root: where work files kept for the engine go.
    static std::string GetAnalyticDefaultDir();
    static std::string GetAnalyticDefaultDirUTF();

  private:
    struct State;
    std::unique_ptr<State> _state;
};
