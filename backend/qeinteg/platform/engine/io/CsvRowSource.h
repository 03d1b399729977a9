// Records from a CSV file (RFC 4180 quoting, comma separated, UTF-8).
//
// Without a data model the file is read twice: the first pass checks its shape and settles each
// column's storage (integer, real, ISO date, ISO timestamp, else string), the second delivers the
// records. An unquoted empty cell is a missing value; a quoted empty cell is an empty text.
#pragma once

#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTypes.h"

struct csv_parser;

namespace qelocal {

class CsvRowSource final : public RowSource {
  public:
    // Throws EngineError when the file cannot be read, is malformed, or does not fit `model`.
    CsvRowSource(const std::string& path, bool hasHeader,
                 std::optional<std::vector<EngineField>> model);
    ~CsvRowSource() override;

    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next() override;
    Cell cell(size_t index) override;
    double fraction() const override;

    // One parsed record: cell texts and which cells were unquoted empties.
    struct Record {
        std::vector<std::string> cells;
        std::vector<char> null;
    };

  private:
    class Scanner;

    std::string path_;
    bool hasHeader_;
    std::vector<EngineField> fields_;
    std::unique_ptr<Scanner> scanner_;
    Record current_;
    uint64_t recordNumber_ = 0;  // 1-based number of the current data record
};

}  // namespace qelocal
