// The local engine: an in-process stand-in for the closed engine library behind EmbeddedQE.h.
//
// Tests script and inspect it through LocalEngine::instance(): it records how the service manager
// was built (settings, JNIEnv) and how many managers were made and destroyed, and it can be told to
// make the next manager construction throw.
#pragma once

#include <jni.h>

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "qeinteg/platform/engine/EmbeddedQE.h"

namespace qelocal {

// What one QEServiceManager construction was given.
struct ServiceRecord {
    JNIEnv* env = nullptr;
    std::string analyticRoot;
    std::string componentsPath;
    std::string locale;
    std::vector<std::pair<std::string, std::string>> properties;
};

// A failure to raise from the next manager construction.
struct ScriptedFailure {
    std::string message;
    std::string trace;
    bool javaException = false;  // JavaException when true, Exception otherwise
};

class LocalEngine final {
public:
    static LocalEngine& instance();

    // Forgets every record and script. Does not touch live managers.
    void reset();

    // Makes the next QEServiceManager constructor throw `failure` (once).
    void failNextManagerConstruction(ScriptedFailure failure);

    int managersCreated() const;
    int managersDeleted() const;
    // The settings of every successful construction, oldest first.
    std::vector<ServiceRecord> serviceRecords() const;

    // Called by the engine itself.
    void onManagerConstructing(JNIEnv* env, const EmbeddedQE::EQEAppSetting& settings);
    void onManagerDeleted();

private:
    LocalEngine() = default;

    mutable std::mutex mutex_;
    int created_ = 0;
    int deleted_ = 0;
    std::vector<ServiceRecord> records_;
    std::optional<ScriptedFailure> nextFailure_;
};

}  // namespace qelocal
