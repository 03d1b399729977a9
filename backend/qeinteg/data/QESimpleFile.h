// A named temporary or work file, and the engine's analytic directories.
#pragma once

#include <string>

#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QESimpleFile {
  public:
    // The engine's working directory tree: "analytic-root/" under the host's temporary directory.
    // Computed on first use and kept for the process, so a later change of the host's temporary
    // directory does not move it. Host code page ("generic") and UTF-8 forms.
    static std::string GetAnalyticRoot();
    static std::string GetAnalyticRootUTF();
    // "keld/public/" under the analytic root: where work files kept for the engine go.
    static std::string GetAnalyticDefaultDir();
    static std::string GetAnalyticDefaultDirUTF();
};
