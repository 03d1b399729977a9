// One job on the local engine. Every call is recorded on LocalEngine; a job runs the JobScript
// that a test registered for it, and without one it simply succeeds.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/service/CancelSignal.h"
#include "qeinteg/platform/engine/service/EmbeddedQE.h"

namespace qelocal {

class JobScript;

class LocalExecutor final : public EmbeddedQE::QEExecutor {
  public:
    explicit LocalExecutor(std::string locale);
    ~LocalExecutor() override;

    void prepare(JNIEnv* env, const std::string& jobText) override;
    void addInputContainer(JNIEnv* env, EmbeddedQE::Container* container) override;
    void addOutputContainer(JNIEnv* env, EmbeddedQE::Container* container) override;
    void addInputIterator(JNIEnv* env, EmbeddedQE::RowDataIterator* iterator, int flags) override;
    void execute(JNIEnv* env, EmbeddedQE::ExecutionListener* listener) override;
    EmbeddedQE::RowDataIterator* getOutputIterator(JNIEnv* env, const std::string& name) override;
    void cancel(JNIEnv* env) override;
    void release(JNIEnv* env) override;

    // Serial number on LocalEngine (as in CallRecord::executor).
    int number() const { return number_; }

  private:
    void note(const char* operation, JNIEnv* env, std::vector<std::string> args = {});
    // Throws when the job's script says `operation` fails.
    void maybeThrow(const char* operation);

    std::string locale_;
    int number_;
    std::string jobText_;
    std::shared_ptr<const JobScript> script_;
    std::vector<EmbeddedQE::Container*> inputContainers_;
    std::vector<EmbeddedQE::Container*> outputContainers_;
    std::vector<EmbeddedQE::RowDataIterator*> inputIterators_;
    CancelSignal cancelled_;
};

}  // namespace qelocal
