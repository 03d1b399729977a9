// Records from a CSV file (RFC 4180 quoting, comma separated, UTF-8), read by CsvScanner.
//
// An unquoted empty cell is a missing value; a quoted empty cell is an empty text. Blanks around an
// unquoted cell belong to its text; numbers, dates and times are read without them (a cell of
// blanks only is then missing). Field names must be unique.
//
// Without a data model each column's storage is inferred from its values: integer, real, ISO date,
// ISO timestamp, else string (a column without values is string). With CsvTyping::Settled the file
// is classified once before the first record is delivered. With CsvTyping::Provisional the storages
// come from the first records and the file is read once: a later value that needs a wider storage
// widens integer to real in place (the numbers delivered stay valid), and any other change settles
// every storage from the whole file and starts over at the first record, counted by restarts().
// Only consumers that watch restarts() after each next() may ask for provisional storages.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTypes.h"
#include "qeinteg/platform/engine/io/CsvScanner.h"

namespace qelocal {

// The names of the header line (the first record) of a CSV file. Throws EngineError naming the
// file and the cause when it cannot be opened, is empty, malformed, too wide or repeats a name.
std::vector<std::string> ReadCsvHeader(const std::string& path);

// Throws EngineError listing every name that occurs more than once; `what` names the source
// ("the CSV file /tmp/a.csv").
void CheckUniqueNames(const std::vector<std::string>& names, const std::string& what);

enum class CsvTyping { Settled, Provisional };

class CsvRowSource final : public RowSource {
  public:
    // Throws EngineError when the file cannot be read, is malformed, or does not fit `model`.
    // With `onBadRecord`, a record of the wrong width or with a value that does not fit its field
    // is skipped after the handler was told why (the handler may throw to stop the read).
    CsvRowSource(const std::string& path, bool hasHeader,
                 std::optional<std::vector<EngineField>> model,
                 std::function<void(const std::string&)> onBadRecord = {},
                 CsvTyping typing = CsvTyping::Settled);
    ~CsvRowSource() override;

    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next() override;
    Cell cell(size_t index) override {
        if (index >= fields_.size())
            throw EngineError("CSV record: no field " + std::to_string(index));
        return Cell{missing_[index] != 0, numbers_[index], texts_[index]};
    }
    bool rowArrays(RowArrays& out) const override {
        out = RowArrays{missing_.data(), numbers_.data(), texts_.data()};
        return true;
    }
    double fraction() const override { return scanner_.fraction(); }
    // How often the read started over (provisional storages only); after a restart fields() may
    // have changed and the current record is the first again.
    uint64_t restarts() const { return restarts_; }

    // What inference has learnt of a column so far. The states only widen: none -> integer ->
    // real -> string, none -> date -> string, none -> timestamp -> string.
    enum class Guess : unsigned char { None, Integer, Real, Date, Timestamp, String };
    // The day of the last "yyyy-MM-dd..." a column's timestamps were read with.
    struct DayMemo {
        char date[10] = {};
        bool set = false;
        int64_t days = 0;
    };

  private:
    // Classifies up to `limit` data records from the scanner's position into guesses_.
    void classify(uint64_t limit);
    // Positions the scanner before the first data record.
    void toFirstRecord();
    void adoptGuesses();
    // Converts the current record into numbers_ and missing_; false with `why` set when a value
    // does not fit its storage. In provisional mode a misfit widens or starts over instead.
    bool convert(std::string& why);
    void settleAndRestart();

    std::string path_;
    bool hasHeader_;
    std::function<void(const std::string&)> onBadRecord_;
    bool provisional_ = false;
    std::vector<EngineField> fields_;
    CsvScanner scanner_;
    std::vector<Guess> guesses_;
    std::vector<signed char> formats_;  // per column: the timestamp format that matched last
    std::vector<DayMemo> memos_;        // per column: the day its last timestamp fell on
    std::vector<char> text_;            // per column: delivered as text
    // The current record: numbers_ of the numeric columns (0 in text columns), texts_ of the
    // text columns (empty in numeric ones), missing_ of both.
    std::vector<double> numbers_;
    std::vector<char> missing_;
    std::vector<std::string_view> texts_;
    uint64_t recordNumber_ = 0;  // 1-based number of the current data record
    uint64_t restarts_ = 0;
    uint64_t reported_ = 0;  // the last record a bad-record report was given for
};

}  // namespace qelocal
