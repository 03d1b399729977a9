// The local engine: an in-process stand-in for the closed engine library behind EmbeddedQE.h.
//
// Tests script and inspect it through LocalEngine::instance(): it records how the service manager
// was built (settings, JNIEnv) and how many managers were made and destroyed, and it can be told to
// make the next manager construction throw.
#pragma once

#include <jni.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "qeinteg/platform/engine/service/CallRecord.h"
#include "qeinteg/platform/engine/service/EmbeddedQE.h"

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

class JobScript;

// A scripted answer of the metadata service: a text (string queries), a list (list queries), or a
// failure to throw.
struct MetadataReply {
    std::string text;
    std::vector<std::string> list;
    std::optional<ScriptedFailure> failure;
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

    // --- Job scripts (JobScript.h) ---
    // Jobs whose text contains `match` (any job when empty) run `script`. The first matching
    // registration wins; registrations stay until reset().
    void addJobScript(const std::string& match, const JobScript& script);
    // The next job prepared runs `script`, whatever its text (once; before any registration).
    void setNextJobScript(const JobScript& script);
    // Called by prepare: the script for `jobText`, or null for the default behaviour.
    std::shared_ptr<const JobScript> takeJobScript(const std::string& jobText);

    // --- Call records (CallRecord.h) ---
    // Every executor call and listener event since the last reset, in order.
    std::vector<CallRecord> calls() const;
    // Only the records of `operation`.
    std::vector<CallRecord> calls(const std::string& operation) const;
    void record(CallRecord call);
    // Switches the record off (benchmarks) or on again. On after each reset.
    void setRecording(bool on);
    // A serial number for a new executor (1, 2, ... after each reset).
    int nextExecutorNumber();

    // --- Metadata service ---
    // Makes the metadata operation `operation` ("metadata", "dataSourceInfo", "mapServiceLayers",
    // "geographics", "projections", "recommendPCS", "coordinatesSystem"; both overloads share a
    // name) answer `reply` instead of its real answer, until reset().
    void scriptMetadata(const std::string& operation, MetadataReply reply);
    std::optional<MetadataReply> metadataScript(const std::string& operation) const;
    // The HTTP time-out of map-service queries (10 s; back to that on reset).
    void setMapServiceTimeout(std::chrono::milliseconds timeout);
    std::chrono::milliseconds mapServiceTimeout() const;
    // Every metadata call is recorded with executor 0, its operation and arguments. When a query
    // answers empty for a reason, a record "metadataMessage" follows with args {operation, reason}.

    // --- Jobs blocked in waitForCancel ---
    // Waits until at least one job is blocked waiting for its cancel; false after `timeout`.
    bool waitForBlockedJob(std::chrono::milliseconds timeout);
    void noteBlocked(int delta);

  private:
    LocalEngine() = default;

    mutable std::mutex mutex_;
    int created_ = 0;
    int deleted_ = 0;
    std::vector<ServiceRecord> records_;
    std::optional<ScriptedFailure> nextFailure_;

    std::vector<std::pair<std::string, std::shared_ptr<const JobScript>>> scripts_;
    std::shared_ptr<const JobScript> nextScript_;
    std::vector<CallRecord> calls_;
    int executors_ = 0;
    bool recording_ = true;
    int blocked_ = 0;
    std::vector<std::pair<std::string, MetadataReply>> metadataScripts_;
    std::chrono::milliseconds mapServiceTimeout_{10000};
    std::condition_variable blockedChanged_;
};

}  // namespace qelocal
