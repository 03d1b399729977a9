// One job on the local engine. Until jobs are scripted or executed, a run simply succeeds.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/EmbeddedQE.h"

namespace qelocal {

class LocalExecutor final : public EmbeddedQE::QEExecutor {
public:
    explicit LocalExecutor(std::string locale);

    void prepare(JNIEnv* env, const std::string& jobText) override;
    void addInputContainer(JNIEnv* env, EmbeddedQE::Container* container) override;
    void addOutputContainer(JNIEnv* env, EmbeddedQE::Container* container) override;
    void addInputIterator(JNIEnv* env, EmbeddedQE::RowDataIterator* iterator, int flags) override;
    void execute(JNIEnv* env, EmbeddedQE::ExecutionListener* listener) override;
    EmbeddedQE::RowDataIterator* getOutputIterator(JNIEnv* env, const std::string& name) override;
    void cancel(JNIEnv* env) override;
    void release(JNIEnv* env) override;

private:
    std::string locale_;
    std::string jobText_;
    std::vector<EmbeddedQE::Container*> inputContainers_;
    std::vector<EmbeddedQE::Container*> outputContainers_;
    std::vector<EmbeddedQE::RowDataIterator*> inputIterators_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace qelocal
