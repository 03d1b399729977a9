// The process-wide engine service.
//
// The engine is started once per process, on the first get(), with application settings derived
// from the host's settings; every runner then shares that manager. Used from the procedure thread
// only: nothing is locked.
#pragma once

#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT StatQEServiceManager {
  public:
    // The engine service manager, created on the first call. `verbose` (the caller has a host
    // procedure) writes the settings to the library log, and only matters on the creating call.
    // Exceptions from the engine's constructor pass to the caller; the next call tries again.
    // REQUIRES: the host's application settings exist ("pAppHost != 0").
    static EmbeddedQE::QEServiceManager* get(bool verbose);

    // Deletes the manager; the next get() builds a new one. The library itself never calls it.
    static void shutdown();

    // The engine version that names the engine's component directory.
    static const char* const _aeVersion;

  private:
    static EmbeddedQE::QEServiceManager* _service;
};
