// The state of one runner behind QERunner: the current job's executor and the stop flag. Also keeps
// the module-wide count of live runners, which owns the process's Java object manager.
#pragma once

#include <jni.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "qeinteg/platform/engine/service/EmbeddedQE.h"

class QEProgressListener;

class QERunImpl {
  public:
    QERunImpl(QEProgressListener* listener, bool hasProcedure);
    ~QERunImpl();
    QERunImpl(const QERunImpl&) = delete;
    QERunImpl& operator=(const QERunImpl&) = delete;

    // The current executor; stops the process when no job is prepared.
    EmbeddedQE::QEExecutor* requireExecutor();
    // Installs a new executor. REQUIRES: the previous one was cleaned.
    void replaceExecutor(std::unique_ptr<EmbeddedQE::QEExecutor> executor);
    // Releases and frees the executor, if any.
    void cleanExecution();
    // Cancels the running job from any thread, then marks the runner stopped.
    void cancel();

    void refreshLocale();
    static JNIEnv* env();

    std::string locale;
    QEProgressListener* listener;
    const bool hasProcedure;
    // Written by the cancel path (any thread), read by execute on the procedure thread.
    std::atomic<bool> stopped{false};

  private:
    // Written only by the procedure thread; the cancel path reads it under executorMutex_, and the
    // procedure thread takes the lock to replace or free it, so a cancel never meets a freed
    // executor.
    std::unique_ptr<EmbeddedQE::QEExecutor> _qeExecutor;
    std::mutex executorMutex_;
};
