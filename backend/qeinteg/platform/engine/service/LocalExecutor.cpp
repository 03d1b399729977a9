#include "qeinteg/platform/engine/service/LocalExecutor.h"

#include <thread>
#include <utility>

#include "qeinteg/platform/engine/service/JobScript.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/engine/job/LocalJob.h"

namespace qelocal {

LocalExecutor::LocalExecutor(std::string locale)
    : locale_(std::move(locale)), number_(LocalEngine::instance().nextExecutorNumber()) {}

LocalExecutor::~LocalExecutor() {
    for (OutputRowIterator* iterator : outputIterators_)
        OutputRowIterator::Release(iterator);
    note("delete", nullptr);
}

void LocalExecutor::note(const char* operation, JNIEnv* env, std::vector<std::string> args) {
    LocalEngine::instance().record(
        CallRecord{number_, operation, std::move(args), env, std::this_thread::get_id()});
}

void LocalExecutor::maybeThrow(const char* operation) {
    if (script_)
        script_->maybeThrowAt(operation);
}

void LocalExecutor::prepare(JNIEnv* env, const std::string& jobText) {
    note("prepare", env, {jobText});
    jobText_ = jobText;
    script_ = LocalEngine::instance().takeJobScript(jobText);
    maybeThrow("prepare");
}

void LocalExecutor::addInputContainer(JNIEnv* env, EmbeddedQE::Container* container) {
    note("addInputContainer", env, {container->getName(), container->getAbsolutePath()});
    maybeThrow("addInputContainer");
    inputContainers_.push_back(container);
}

void LocalExecutor::addOutputContainer(JNIEnv* env, EmbeddedQE::Container* container) {
    note("addOutputContainer", env, {container->getName(), container->getAbsolutePath()});
    maybeThrow("addOutputContainer");
    outputContainers_.push_back(container);
}

void LocalExecutor::addInputIterator(JNIEnv* env, EmbeddedQE::RowDataIterator* iterator,
                                     int flags) {
    note("addInputIterator", env, {iterator->getName(), std::to_string(flags)});
    maybeThrow("addInputIterator");
    inputIterators_.push_back(iterator);
}

void LocalExecutor::execute(JNIEnv* env, EmbeddedQE::ExecutionListener* listener) {
    note("execute", env);
    if (script_) {
        script_->run(JobScript::Run{listener, &inputIterators_, &cancelled_, number_, env});
        return;
    }
    ListenerEvents events(listener, number_, env);
    events.init("local-" + std::to_string(number_));
    if (cancelled_.raised()) {
        events.cancel();
        return;
    }
    // No script: run the job's functions on real data.
    outputs_.clear();
    ExecuteLocalJob(jobText_, inputContainers_, outputContainers_, inputIterators_, cancelled_,
                    events, &outputs_);
}

EmbeddedQE::RowDataIterator* LocalExecutor::getOutputIterator(JNIEnv* env,
                                                              const std::string& name) {
    note("getOutputIterator", env, {name});
    maybeThrow("getOutputIterator");
    // The output whose data file is named `name` (its last path component, or the whole path);
    // GeoJSON files are documents, not records.
    for (auto it = outputs_.rbegin(); it != outputs_.rend(); ++it) {
        const std::string& path = it->dataPath;
        const size_t slash = path.find_last_of('/');
        const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
        if (!it->geojson && (last == name || path == name)) {
            outputIterators_.push_back(new OutputRowIterator(name, *it));
            return outputIterators_.back();
        }
    }
    return nullptr;
}

void LocalExecutor::cancel(JNIEnv* env) {
    note("cancel", env);
    maybeThrow("cancel");
    cancelled_.raise();
}

void LocalExecutor::release(JNIEnv* env) {
    note("release", env);
    inputContainers_.clear();
    outputContainers_.clear();
    inputIterators_.clear();
    for (OutputRowIterator* iterator : outputIterators_)
        OutputRowIterator::Release(iterator);
    outputIterators_.clear();
    outputs_.clear();
    maybeThrow("release");
}

}  // namespace qelocal
