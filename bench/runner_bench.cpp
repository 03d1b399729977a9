// Per-job overhead of the runner on the local engine, and the cost of one cancel round trip, each
// next to the same engine calls made directly on an executor.
#include <benchmark/benchmark.h>

#include "common/BenchSupport.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <semaphore>
#include <thread>

#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/platform/engine/service/JobScript.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/testing/HostTesting.h"
#include "qeinteg/runner/QEProgressListener.h"
#include "qeinteg/runner/QERunner.h"
#include "qeinteg/runner/StatQEServiceManager.h"

namespace {

JNIEnv* g_env = nullptr;

// A listener that only notes the outcome, standing in for the runner's.
class NullListener : public EmbeddedQE::ExtendedExecutionListener {
  public:
    void onCancel() override { state = 4; }
    void onError(const std::string&, const std::string&, const std::string&) override { state = 3; }
    void onInit(const std::string&) override { state = 0; }
    void onMessage(const std::string&) override {}
    void onProgress(float) override {}
    void onSuccess() override { state = 2; }
    void onMessage(const std::string&, const std::string&) override {}
    int state = 0;
};

void QuietEngine() {
    qelocal::LocalEngine::instance().reset();
    qelocal::LocalEngine::instance().setRecording(false);
}

void BM_RunnerEmptyJob(benchmark::State& state) {
    QuietEngine();
    QERunner runner(nullptr);
    for (auto _ : state) {
        runner.prepareQELJob("empty");
        benchmark::DoNotOptimize(runner.execute());
        runner.cleanExecution();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RunnerEmptyJob);

// Baseline: the same engine calls on an executor, without the runner.
void BM_DirectExecutorEmptyJob(benchmark::State& state) {
    QuietEngine();
    QERunner keepsTheJavaManager(nullptr);
    EmbeddedQE::QEExecutionService* service =
        StatQEServiceManager::get(false)->getExecutionService();
    NullListener listener;
    for (auto _ : state) {
        std::unique_ptr<EmbeddedQE::QEExecutor> executor(service->createExecutor("en_US"));
        executor->prepare(g_env, "empty");
        executor->execute(g_env, &listener);
        executor->release(g_env);
        benchmark::DoNotOptimize(listener.state);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DirectExecutorEmptyJob);

// A helper thread that cancels each job once it blocks, through `cancel`.
template <typename Cancel>
class Canceller {
  public:
    explicit Canceller(Cancel cancel) : cancel_(std::move(cancel)), thread_([this] { loop(); }) {}
    ~Canceller() {
        stop_ = true;
        go_.release();
        thread_.join();
    }
    // Lets the helper cancel the next job.
    void arm() { go_.release(); }

  private:
    void loop() {
        for (;;) {
            go_.acquire();
            if (stop_)
                return;
            if (qelocal::LocalEngine::instance().waitForBlockedJob(std::chrono::seconds(10))) {
                cancel_();
            }
        }
    }
    Cancel cancel_;
    std::binary_semaphore go_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// One job that blocks until a helper thread cancels it through the runner (which attaches the
// helper to the JVM for the call and detaches it again).
void BM_RunnerCancelRoundTrip(benchmark::State& state) {
    QuietEngine();
    PnProcedure procedure("bench");
    QERunner runner(&procedure);
    const qelocal::JobScript script = qelocal::JobScript().waitForCancel();
    Canceller canceller([&runner] { runner.cancelExecution(); });
    for (auto _ : state) {
        state.PauseTiming();
        runner.resetStopRrocessor();
        qelocal::LocalEngine::instance().setNextJobScript(script);
        runner.prepareQELJob("blocking");
        state.ResumeTiming();
        canceller.arm();
        runner.execute();
    }
}
BENCHMARK(BM_RunnerCancelRoundTrip)->UseRealTime();

// Baseline: the helper cancels the executor directly, without attaching to the JVM.
void BM_DirectCancelRoundTrip(benchmark::State& state) {
    QuietEngine();
    QERunner keepsTheJavaManager(nullptr);
    EmbeddedQE::QEExecutionService* service =
        StatQEServiceManager::get(false)->getExecutionService();
    const qelocal::JobScript script = qelocal::JobScript().waitForCancel();
    NullListener listener;
    std::atomic<EmbeddedQE::QEExecutor*> current{nullptr};
    Canceller canceller([&current] { current.load()->cancel(nullptr); });
    for (auto _ : state) {
        state.PauseTiming();
        qelocal::LocalEngine::instance().setNextJobScript(script);
        std::unique_ptr<EmbeddedQE::QEExecutor> executor(service->createExecutor("en_US"));
        executor->prepare(g_env, "blocking");
        current = executor.get();
        state.ResumeTiming();
        canceller.arm();
        executor->execute(g_env, &listener);
        state.PauseTiming();
        executor->release(g_env);
        executor.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DirectCancelRoundTrip)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (!qeinteg::bench::StartJvmAndHost())
        return 2;
    g_env = qeinteg::jni::AttachCurrentThread();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    qeinteg::bench::StopHost();
    return 0;
}
