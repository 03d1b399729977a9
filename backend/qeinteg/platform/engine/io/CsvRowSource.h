// Records from a CSV file (RFC 4180 quoting, comma separated, UTF-8).
//
// Without a data model the file is read twice: the first pass checks its shape and settles each
// column's storage (integer, real, ISO date, ISO timestamp, else string), the second delivers the
// records. An unquoted empty cell is a missing value; a quoted empty cell is an empty text.
// A leading UTF-8 byte order mark is skipped. Field names must be unique, and a record may hold at
// most kMaxCsvFields fields: a wider file is refused as soon as the reader meets the record, so
// its memory stays bounded whatever the file holds.
#pragma once

#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTypes.h"

struct csv_parser;

namespace qelocal {

// The widest record the engine reads from a CSV file.
inline constexpr size_t kMaxCsvFields = 65536;

// The names of the header line (the first record) of a CSV file. Throws EngineError naming the
// file and the cause when it cannot be opened, is empty, malformed, too wide or repeats a name.
std::vector<std::string> ReadCsvHeader(const std::string& path);

// Throws EngineError listing every name that occurs more than once; `what` names the source
// ("the CSV file /tmp/a.csv").
void CheckUniqueNames(const std::vector<std::string>& names, const std::string& what);

class CsvRowSource final : public RowSource {
  public:
    // Throws EngineError when the file cannot be read, is malformed, or does not fit `model`.
    // With `onBadRecord`, a record of the wrong width or with a value that does not fit its field
    // is skipped after the handler was told why (the handler may throw to stop the read).
    CsvRowSource(const std::string& path, bool hasHeader,
                 std::optional<std::vector<EngineField>> model,
                 std::function<void(const std::string&)> onBadRecord = {});
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

    class Scanner;
    bool nextRecord();

  private:
    std::string path_;
    bool hasHeader_;
    std::function<void(const std::string&)> onBadRecord_;
    // Whether the current record was checked and converted (with a bad-record handler).
    std::vector<double> numbers_;
    std::vector<EngineField> fields_;
    std::unique_ptr<Scanner> scanner_;
    Record current_;
    uint64_t recordNumber_ = 0;  // 1-based number of the current data record
};

}  // namespace qelocal
