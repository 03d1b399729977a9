// Adapters between the record-at-a-time sources and writers and the batch operators.
#pragma once

#include <memory>

#include "qeinteg/platform/engine/exec/Batch.h"

namespace qelocal {

// Batches from a RowSource (a reader). Reports progress from the source's position, mapped into
// [from, to] of the job, after every batch.
class RowSourceStream final : public BatchStream {
  public:
    RowSourceStream(std::unique_ptr<RowSource> source, const ExecContext& context, float from,
                    float to);
    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next(Batch& out) override;

  private:
    std::unique_ptr<RowSource> source_;
    const ExecContext& context_;
    std::vector<EngineField> fields_;
    float from_;
    float to_;
    uint64_t records_ = 0;
    float last_ = -1.0f;
    bool ended_ = false;
};

// A RowSource over a BatchStream, for the functions that consume records one by one (writers,
// descriptives). Cells stay valid until the next call of next().
class BatchRowSource final : public RowSource {
  public:
    explicit BatchRowSource(BatchStream& stream) : stream_(stream) {}
    const std::vector<EngineField>& fields() const override { return stream_.fields(); }
    bool next() override;
    Cell cell(size_t index) override;

  private:
    BatchStream& stream_;
    Batch batch_;
    size_t row_ = 0;
    bool started_ = false;
};

}  // namespace qelocal
