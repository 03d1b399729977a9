// Records pulled from an input iterator that the caller registered with the job.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/platform/engine/exec/EngineTypes.h"

namespace qelocal {

class IteratorRowSource final : public RowSource {
  public:
    // Reads the iterator's data model; throws EngineError when it is missing or malformed.
    explicit IteratorRowSource(EmbeddedQE::RowDataIterator& iterator);

    const std::vector<EngineField>& fields() const override { return fields_; }
    // Status 1 ends the stream, 3 is a cancellation, any other failure is an error.
    bool next() override;
    Cell cell(size_t index) override;

  private:
    EmbeddedQE::RowDataIterator& iterator_;
    std::string name_;
    std::vector<EngineField> fields_;
};

}  // namespace qelocal
