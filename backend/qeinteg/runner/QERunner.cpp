#include "qeinteg/runner/QERunner.h"

#include "qeinteg/data/QEStatContainer.h"
#include "qeinteg/data/QEStatDataIterator.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/host/data/AdjustMeasurementLevels.h"
#include "qeinteg/platform/host/data/ProcedureDataSource.h"
#include "qeinteg/platform/host/process/HostProcess.h"
#include "qeinteg/platform/host/process/ParserMessage.h"
#include "qeinteg/runner/QEProgressListener.h"
#include "qeinteg/runner/QERunImpl.h"
#include "qeinteg/runner/StatQEServiceManager.h"

namespace {

// Makes `handler` the adapter's interrupt handler for the life of this object.
class ScopedInterruptHandler {
  public:
    explicit ScopedInterruptHandler(TavoAdapter::InterruptHandler* handler)
        : previous_(GetAdapter()->SetInterruptHandler(handler)) {}
    ~ScopedInterruptHandler() { GetAdapter()->SetInterruptHandler(previous_); }
    ScopedInterruptHandler(const ScopedInterruptHandler&) = delete;
    ScopedInterruptHandler& operator=(const ScopedInterruptHandler&) = delete;

  private:
    TavoAdapter::InterruptHandler* previous_;
};

}  // namespace

QERunner::InterruptHandler::~InterruptHandler() = default;

void QERunner::InterruptHandler::Interrupt() {
    runner_->cancelExecution();
}

QERunner::QERunner(PnProcedure* procedure)
    : parserMessage_(std::make_unique<ParserMessage>()),
      procedure_(procedure),
      progressListener_(std::make_unique<QEProgressListener>(procedure)) {
    _impl = std::make_unique<QERunImpl>(progressListener_.get(), procedure != nullptr);
}

QERunner::~QERunner() {
    if (savedWeight_ > 0)
        SetWeight(savedWeight_);
    if (savedSplit_ > 0)
        SetSplit(savedSplit_);
    _impl.reset();
    progressListener_.reset();
    parserMessage_.reset();
}

bool QERunner::prepareActiveDS(ProcedureDataSource& ds, bool weightSupported, bool splitSupported) {
    if (ds.ColumnCount() == 0)
        return true;
    savedWeight_ = GetWeight();
    savedSplit_ = GetSplit();
    SetWeight(0);
    SetSplit(0);
    if (savedWeight_ > 0 && !weightSupported)
        parserMessage_->DisableWeight();
    if (savedSplit_ > 0 && !splitSupported)
        parserMessage_->DisableSplit();
    AdjustMeasurementLevels(ds);
    ds.SetSplitEndCheck(false);
    return true;
}

bool QERunner::prepareQELJob(const std::string& jobText) {
    progressListener_->reset();
    _impl->cleanExecution();
    _impl->refreshLocale();
    EmbeddedQE::QEServiceManager* service = StatQEServiceManager::get(_impl->hasProcedure);
    std::unique_ptr<EmbeddedQE::QEExecutor> executor(
        service->getExecutionService()->createExecutor(_impl->locale));
    EmbeddedQE::QEExecutor* job = executor.get();
    // Owned before prepare, so that a failing prepare leaves a job that cleanExecution releases.
    _impl->replaceExecutor(std::move(executor));
    job->prepare(QERunImpl::env(), jobText);
    return true;
}

bool QERunner::addInputIterator(QEStatDataIterator* it) {
    _impl->requireExecutor()->addInputIterator(QERunImpl::env(), it, 0);
    return true;
}

bool QERunner::addInputContainer(QEStatContainer* container) {
    _impl->requireExecutor()->addInputContainer(QERunImpl::env(), container);
    return true;
}

bool QERunner::addOutputContainer(QEStatContainer* container) {
    _impl->requireExecutor()->addOutputContainer(QERunImpl::env(), container);
    return true;
}

EmbeddedQE::RowDataIterator* QERunner::getOutputIterator(const std::string& name) {
    EmbeddedQE::QEExecutor* executor = _impl->requireExecutor();
    try {
        return executor->getOutputIterator(QERunImpl::env(), name);
    } catch (...) {
        return nullptr;
    }
}

bool QERunner::execute() {
    if (_impl->stopped.load())
        return false;
    EmbeddedQE::QEExecutor* executor = _impl->requireExecutor();
    {
        InterruptHandler handler(this);
        std::unique_ptr<ScopedInterruptHandler> installed;
        if (_impl->hasProcedure)
            installed = std::make_unique<ScopedInterruptHandler>(&handler);
        executor->execute(QERunImpl::env(), progressListener_.get());
    }
    return progressListener_->getState() != QEProgressListener::Failed;
}

void QERunner::cancelExecution() {
    _impl->cancel();
}

bool QERunner::isStopProcessor() {
    return _impl->stopped.load();
}

void QERunner::resetStopRrocessor() {
    if (_impl->hasProcedure)
        _impl->stopped = false;
}

QEProgressListener* QERunner::getProgressListener() {
    return progressListener_.get();
}

const ParserMessage* QERunner::getParserMessage() const {
    return parserMessage_.get();
}

void QERunner::displayAllMessages(bool showError) {
    progressListener_->displayAllMessages(showError);
}

void QERunner::displayMessage() {}

bool QERunner::displayOutputs() {
    return true;
}

void QERunner::cleanExecution() {
    _impl->cleanExecution();
}

void QERunner::resetJNI() {
    JNIObjectManager::getManager()->reAttachJVM();
}

void QERunner::cleanJRef() {
    JNIObjectManager::getManager()->cleanJRef();
}

void QERunner::UpdataQEAppSetting() {
    _impl->refreshLocale();
}
