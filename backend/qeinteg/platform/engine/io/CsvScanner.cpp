#include "qeinteg/platform/engine/io/CsvScanner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "qeinteg/platform/Utf8ByteOrderMark.h"

#include "qeinteg/platform/engine/exec/EngineTypes.h"

namespace qelocal {

namespace {

// The bytes that end an unquoted cell, or make it malformed.
constexpr std::array<bool, 256> SpecialBytes() {
    std::array<bool, 256> table{};
    table[static_cast<unsigned char>(',')] = true;
    table[static_cast<unsigned char>('\n')] = true;
    table[static_cast<unsigned char>('\r')] = true;
    table[static_cast<unsigned char>('"')] = true;
    return table;
}
constexpr std::array<bool, 256> kSpecial = SpecialBytes();

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

CsvScanner::CsvScanner(const std::string& path, size_t blockSize)
    : path_(path), buffer_(blockSize < 8 ? 8 : blockSize) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw EngineError("cannot open the CSV file " + path + ": " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode))
        fileSize_ = static_cast<uint64_t>(info.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    cells_.reserve(64);
}

CsvScanner::~CsvScanner() {
    if (fd_ >= 0)
        ::close(fd_);
}

double CsvScanner::fraction() const {
    if (fileSize_ == 0)
        return 1.0;
    return static_cast<double>(consumedBefore_ + begin_) / static_cast<double>(fileSize_);
}

void CsvScanner::rewind() {
    if (::lseek(fd_, 0, SEEK_SET) != 0)
        throw EngineError("cannot read the CSV file " + path_ + ": " + std::strerror(errno));
    consumedBefore_ = 0;
    begin_ = 0;
    end_ = 0;
    eof_ = false;
    started_ = false;
    records_ = 0;
    cells_.clear();
}

bool CsvScanner::refill() {
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        consumedBefore_ += begin_;
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buffer_.size())
        buffer_.resize(buffer_.size() * 2);  // a record longer than the buffer
    ssize_t n = 0;
    do {
        n = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        throw EngineError("cannot read the CSV file " + path_ + ": " + std::strerror(errno));
    end_ += static_cast<size_t>(n);
    eof_ = n == 0;
    if (!started_ && (end_ >= qeplatform::kUtf8ByteOrderMarkSize || eof_)) {
        started_ = true;
        begin_ = qeplatform::Utf8ByteOrderMarkLength(buffer_.data(), end_);
    }
    return n > 0;
}

void CsvScanner::malformed(const char* why) const {
    throw EngineError("the CSV file " + path_ + " is malformed near record " +
                      std::to_string(records_ + 1) + ": " + why);
}

bool CsvScanner::next() {
    for (;;) {
        if (started_ && (end_ > begin_ || eof_)) {
            const Parse result = parse(eof_);
            if (result == Parse::Record)
                return true;
            if (result == Parse::End)
                return false;
        }
        refill();
    }
}

CsvScanner::Parse CsvScanner::parse(bool final) {
    char* const base = buffer_.data();
    const char* p = base + begin_;
    const char* const end = base + end_;
    while (p < end && (*p == '\n' || *p == '\r'))
        ++p;  // empty lines, and the LF of a CR LF split across two reads
    begin_ = static_cast<size_t>(p - base);
    if (p == end)
        return final ? Parse::End : Parse::NeedMore;
    cells_.clear();
    auto add = [this](const char* data, const char* stop, bool quoted, bool escaped) {
        if (cells_.size() >= kMaxCsvFields) {
            throw EngineError("the CSV file " + path_ + " has more than " +
                              std::to_string(kMaxCsvFields) +
                              " fields in a record, more than the engine reads");
        }
        if (static_cast<uint64_t>(stop - data) > UINT32_MAX)
            malformed("a field longer than 4 GiB");
        cells_.push_back(RawCell{data, static_cast<uint32_t>(stop - data), quoted, escaped});
    };
    for (;;) {
        const char* start = p;
        const char* q = p;
        while (q < end && IsBlank(*q))
            ++q;
        if (q < end && *q == '"') {
            const char* content = ++q;
            bool escaped = false;
            for (;;) {
                const void* found = std::memchr(q, '"', static_cast<size_t>(end - q));
                if (found == nullptr) {
                    if (final)
                        throw EngineError("the CSV file " + path_ + " ends inside a quoted field");
                    return Parse::NeedMore;
                }
                const char* quote = static_cast<const char*>(found);
                if (quote + 1 == end && !final)
                    return Parse::NeedMore;  // a doubled quote may follow
                if (quote + 1 < end && quote[1] == '"') {
                    escaped = true;
                    q = quote + 2;
                    continue;
                }
                add(content, quote, true, escaped);
                p = quote + 1;
                break;
            }
            while (p < end && IsBlank(*p))
                ++p;
            if (p == end) {
                if (!final)
                    return Parse::NeedMore;
                break;
            }
            if (*p == ',') {
                ++p;
                continue;
            }
            if (*p == '\n' || *p == '\r') {
                ++p;
                break;
            }
            malformed("text after the closing quote of a field");
        }
        while (p < end && !kSpecial[static_cast<unsigned char>(*p)])
            ++p;
        if (p == end) {
            if (!final)
                return Parse::NeedMore;
            add(start, p, false, false);
            break;
        }
        const char c = *p;
        if (c == '"')
            malformed("a quote inside an unquoted field");
        add(start, p, false, false);
        ++p;
        if (c != ',')
            break;
    }
    begin_ = static_cast<size_t>(p - base);
    // Doubled quotes become single ones in place: the text only gets shorter.
    for (RawCell& cell : cells_) {
        if (!cell.escaped)
            continue;
        char* out = base + (cell.data - base);
        const char* in = cell.data;
        const char* const stop = cell.data + cell.size;
        char* w = out;
        while (in < stop) {
            *w++ = *in;
            in += (*in == '"') ? 2 : 1;
        }
        cell.size = static_cast<uint32_t>(w - out);
        cell.escaped = false;
    }
    ++records_;
    return Parse::Record;
}

}  // namespace qelocal
