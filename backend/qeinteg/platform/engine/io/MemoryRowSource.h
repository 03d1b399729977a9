// Records held in memory, column by column, served as a row source: the output of functions that
// must see all their input before they can emit anything (scoring, re-preparation).
#pragma once

#include <string>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTypes.h"

namespace qelocal {

class MemoryRowSource final : public RowSource {
  public:
    explicit MemoryRowSource(std::vector<EngineField> fields);

    // Appends a record with every value missing; set its values with setNumber and setText.
    void addRecord();
    // Sets field `index` of the last record: a NaN number is missing. REQUIRES: a record added.
    void setNumber(size_t index, double value);
    void setText(size_t index, std::string_view value);
    // Sets field `index` of the last record from a cell of another source (texts copied).
    void setCell(size_t index, const Cell& cell);
    size_t records() const { return records_; }

    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next() override { return ++current_ < records_; }
    Cell cell(size_t index) override { return cellAt(current_, index); }
    // Field `index` of record `record` (0-based). REQUIRES: record < records().
    Cell cellAt(size_t record, size_t index) const;
    double fraction() const override {
        return records_ == 0 ? 1.0 : static_cast<double>(current_) / static_cast<double>(records_);
    }

  private:
    struct Column {
        std::vector<double> numbers;     // numeric fields; NaN is missing
        std::vector<std::string> texts;  // string fields
        std::vector<char> present;       // string fields
    };
    std::vector<EngineField> fields_;
    std::vector<Column> columns_;
    size_t records_ = 0;
    size_t current_ = static_cast<size_t>(-1);
};

}  // namespace qelocal
