// Splits a CSV file (RFC 4180, comma separated) into records, without a heap allocation per record
// or per cell: the file is read in large blocks into one buffer and every cell is a view into it.
//
// Quoted cells may hold separators, doubled quotes and line breaks; blanks around an unquoted cell
// are part of it, blanks around a quoted cell are not. A quote inside an unquoted cell, or text
// after a closing quote, makes the file malformed. Records end at LF, CR LF or CR; empty lines are
// skipped. A leading UTF-8 byte order mark is skipped. A record wider than kMaxCsvFields is
// refused as soon as it is met, so memory stays bounded whatever the file holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qelocal {

// The widest record the engine reads from a CSV file.
inline constexpr size_t kMaxCsvFields = 65536;

class CsvScanner {
  public:
    // Throws EngineError naming the file when it cannot be opened.
    explicit CsvScanner(const std::string& path, size_t blockSize = size_t{1} << 20);
    ~CsvScanner();
    CsvScanner(const CsvScanner&) = delete;
    CsvScanner& operator=(const CsvScanner&) = delete;

    // Moves to the next record; false at the end of the file. Throws EngineError when the file
    // is malformed, cannot be read or holds a record that is too wide. The views of the previous
    // record become invalid.
    bool next();

    size_t size() const { return cells_.size(); }
    // The text of cell `i` of the current record (quotes removed, doubled quotes made single).
    std::string_view text(size_t i) const { return {cells_[i].data, cells_[i].size}; }
    // Whether cell `i` is an unquoted empty cell (a missing value; "" is an empty text).
    bool null(size_t i) const { return cells_[i].size == 0 && !cells_[i].quoted; }
    bool quoted(size_t i) const { return cells_[i].quoted; }
    // 1-based number of the current record among all records of the file (the header included).
    uint64_t recordNumber() const { return records_; }
    // The share of the file consumed, 0..1.
    double fraction() const;
    // Back to the first record.
    void rewind();
    const std::string& path() const { return path_; }

  private:
    struct RawCell {
        const char* data;
        uint32_t size;
        bool quoted;
        bool escaped;  // holds doubled quotes still to be made single
    };
    enum class Parse { Record, NeedMore, End };
    Parse parse(bool final);
    bool refill();
    [[noreturn, gnu::cold, gnu::noinline]] void malformed(const char* why) const;
    [[noreturn, gnu::cold, gnu::noinline]] void tooWide() const;

    std::string path_;
    int fd_ = -1;
    uint64_t fileSize_ = 0;
    uint64_t consumedBefore_ = 0;  // file offset of buffer_[0]
    std::vector<char> buffer_;
    size_t begin_ = 0;  // first byte not yet handed out
    size_t end_ = 0;    // end of the bytes read
    bool eof_ = false;
    bool started_ = false;
    uint64_t records_ = 0;
    std::vector<RawCell> cells_;
};

}  // namespace qelocal
