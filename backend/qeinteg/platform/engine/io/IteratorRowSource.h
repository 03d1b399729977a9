// Records pulled from an input iterator that the caller registered with the job: in column batches
// when the iterator offers its batch face, else value by value through the row interface. Both give
// the same records.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTypes.h"
#include "qeinteg/platform/engine/service/EmbeddedQE.h"

namespace qelocal {

class IteratorRowSource final : public RowSource {
  public:
    // Reads the iterator's data model; throws EngineError when it is missing or malformed.
    explicit IteratorRowSource(EmbeddedQE::RowDataIterator& iterator);

    const std::vector<EngineField>& fields() const override { return fields_; }
    // Status 1 ends the stream, 3 is a cancellation, any other failure is an error.
    bool next() override;
    Cell cell(size_t index) override;
    // Through the batch face: whole columns copied from the iterator's batches.
    size_t nextBatch(Batch& out, size_t maxRows) override;

    // Rows the batch face is asked for per call.
    static constexpr size_t kBatchRows = 1024;
    // True when the rows come through the iterator's batch face.
    bool batched() const { return batchIterator_ != nullptr; }

  private:
    // Throws for a status other than 0 (a row), 1 (the end) and 3 (cancelled); false at the end.
    bool Accept(uint32_t status);
    bool NextBatch();
    Cell BatchCell(size_t index) const;

    EmbeddedQE::RowDataIterator& iterator_;
    EmbeddedQE::RowBatchIterator* batchIterator_ = nullptr;
    EmbeddedQE::RowBatch batch_;
    size_t row_ = 0;   // the current row of batch_ (batch_.rows when none is)
    size_t read_ = 0;  // rows of batch_ handed out so far
    std::string name_;
    std::vector<EngineField> fields_;
};

}  // namespace qelocal
