// Runs a job graph (docs/qel.md) on the local engine: every call becomes an operator over column
// batches, inputs link operators, and each call whose result nobody reads is driven to its end, in
// the order of the text. A result read by several calls is computed once and kept in memory.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/exec/Batch.h"
#include "qeinteg/platform/engine/exec/EngineJob.h"
#include "qeinteg/platform/engine/io/WriteOperator.h"
#include "qeinteg/platform/engine/job/JobGraph.h"

namespace qelocal {

class JobPlan {
  public:
    JobPlan(const JobGraph& graph, JobEnvironment& env);
    ~JobPlan();

    // Checks every call before any record is read: a known function in a place where it can run,
    // with the arguments it needs. Throws EngineError naming the call (line and column).
    void validate() const;
    // Runs the job. On failure or cancellation the files that its writes finished are removed
    // again before the exception leaves. Throws EngineError or EngineCancelled.
    void run();
    // What the writes of a successful run produced, in the order they finished.
    const std::vector<WrittenOutput>& outputs() const { return written_; }

    // "function (line L, column C)" for messages.
    static std::string Describe(const QelCall& call);

  private:
    std::unique_ptr<BatchStream> build(int call);
    std::unique_ptr<BatchStream> buildCall(int call);
    // The records of a read call; its errors name the call by line and column.
    std::unique_ptr<RowSource> openReader(int call, bool provisionalTypes);
    std::unique_ptr<BatchStream> inputOf(const QelCall& call, size_t index);
    void drain(int call);

    const JobGraph& graph_;
    JobEnvironment& env_;
    ExecContext exec_;
    float lastProgress_ = 0.0f;
    std::vector<int> consumers_;
    std::vector<int> readerOrder_;  // per call: its place among the reads, or -1
    int readers_ = 0;
    std::map<int, std::shared_ptr<class SharedResult>> shared_;
    std::vector<WrittenOutput> written_;
};

}  // namespace qelocal
