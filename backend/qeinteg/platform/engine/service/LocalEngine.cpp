#include "qeinteg/platform/engine/service/LocalEngine.h"

#include <utility>

#include "qeinteg/platform/engine/service/JobScript.h"

namespace qelocal {

LocalEngine& LocalEngine::instance() {
    static LocalEngine* engine = new LocalEngine();  // never destroyed: managers may outlive main
    return *engine;
}

void LocalEngine::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    created_ = 0;
    deleted_ = 0;
    records_.clear();
    nextFailure_.reset();
    scripts_.clear();
    nextScript_.reset();
    calls_.clear();
    executors_ = 0;
    recording_ = true;
    metadataScripts_.clear();
    mapServiceTimeout_ = std::chrono::milliseconds(10000);
}

void LocalEngine::failNextManagerConstruction(ScriptedFailure failure) {
    std::lock_guard<std::mutex> lock(mutex_);
    nextFailure_ = std::move(failure);
}

int LocalEngine::managersCreated() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return created_;
}

int LocalEngine::managersDeleted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return deleted_;
}

std::vector<ServiceRecord> LocalEngine::serviceRecords() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

void LocalEngine::onManagerConstructing(JNIEnv* env, const EmbeddedQE::EQEAppSetting& settings) {
    std::optional<ScriptedFailure> failure;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failure.swap(nextFailure_);
        if (!failure) {
            ++created_;
            records_.push_back(ServiceRecord{env, settings.getAnalyticRoot(),
                                             settings.getComponentsPath(), settings.getLocale(),
                                             settings.getProperties()});
        }
    }
    if (failure) {
        if (failure->javaException)
            throw EmbeddedQE::JavaException(failure->message, failure->trace);
        throw EmbeddedQE::Exception(failure->message);
    }
}

void LocalEngine::onManagerDeleted() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++deleted_;
}

void LocalEngine::addJobScript(const std::string& match, const JobScript& script) {
    std::lock_guard<std::mutex> lock(mutex_);
    scripts_.emplace_back(match, std::make_shared<const JobScript>(script));
}

void LocalEngine::setNextJobScript(const JobScript& script) {
    std::lock_guard<std::mutex> lock(mutex_);
    nextScript_ = std::make_shared<const JobScript>(script);
}

std::shared_ptr<const JobScript> LocalEngine::takeJobScript(const std::string& jobText) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (nextScript_)
        return std::exchange(nextScript_, nullptr);
    for (const auto& [match, script] : scripts_) {
        if (jobText.find(match) != std::string::npos)
            return script;
    }
    return nullptr;
}

std::vector<CallRecord> LocalEngine::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<CallRecord> LocalEngine::calls(const std::string& operation) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<CallRecord> out;
    for (const CallRecord& call : calls_) {
        if (call.operation == operation)
            out.push_back(call);
    }
    return out;
}

void LocalEngine::record(CallRecord call) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (recording_)
        calls_.push_back(std::move(call));
}

void LocalEngine::setRecording(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    recording_ = on;
}

int LocalEngine::nextExecutorNumber() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ++executors_;
}

void LocalEngine::scriptMetadata(const std::string& operation, MetadataReply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [name, held] : metadataScripts_) {
        if (name == operation) {
            held = std::move(reply);
            return;
        }
    }
    metadataScripts_.emplace_back(operation, std::move(reply));
}

std::optional<MetadataReply> LocalEngine::metadataScript(const std::string& operation) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [name, reply] : metadataScripts_) {
        if (name == operation)
            return reply;
    }
    return std::nullopt;
}

void LocalEngine::setMapServiceTimeout(std::chrono::milliseconds timeout) {
    std::lock_guard<std::mutex> lock(mutex_);
    mapServiceTimeout_ = timeout;
}

std::chrono::milliseconds LocalEngine::mapServiceTimeout() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mapServiceTimeout_;
}

bool LocalEngine::waitForBlockedJob(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return blockedChanged_.wait_for(lock, timeout, [this] { return blocked_ > 0; });
}

void LocalEngine::noteBlocked(int delta) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        blocked_ += delta;
    }
    blockedChanged_.notify_all();
}

}  // namespace qelocal
