#include "qeinteg/platform/engine/io/CsvScanner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The first byte in [p, end) that ends an unquoted cell (see kSpecial), or end. Sixteen bytes at a
// time where the processor has SSE2: most cells end within one step.
inline const char* FindSpecial(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i quote = _mm_set1_epi8('"');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hits =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, lf)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, quote)));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
        if (mask != 0)
            return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    while (p < end && !kSpecial[static_cast<unsigned char>(*p)])
        ++p;
    return p;
}

#if defined(__SSE2__)
// One bit per byte of [p, p + 64): set where the byte ends an unquoted cell (see kSpecial).
inline uint64_t SpecialMask64(const char* p) {
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i quote = _mm_set1_epi8('"');
    uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i hits =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, lf)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, quote)));
        mask |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits))) << (16 * k);
    }
    return mask;
}
#endif

// FindSpecial for the cells of one record, over 64-byte blocks whose masks it keeps: the cells
// of a record mostly share a block, so each byte is compared about once instead of once per cell
// that starts before it in the same sixteen bytes.
class SpecialFinder {
  public:
    explicit SpecialFinder(const char* end) : end_(end) {}
    // The first byte of kSpecial in [p, end), or end; p never goes back.
    const char* find(const char* p) {
#if defined(__SSE2__)
        for (;;) {
            if (base_ != nullptr && p - base_ < 64) {
                const uint64_t bits = mask_ >> (p - base_);
                if (bits != 0)
                    return p + __builtin_ctzll(bits);
                p = base_ + 64;
            }
            if (end_ - p < 64)
                return FindSpecial(p, end_);
            base_ = p;
            mask_ = SpecialMask64(p);
        }
#else
        return FindSpecial(p, end_);
#endif
    }

  private:
    const char* end_;
    const char* base_ = nullptr;  // the block [base_, base_ + 64) that mask_ describes
    uint64_t mask_ = 0;
};

}  // namespace

CsvScanner::CsvScanner(const std::string& path, size_t blockSize) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw EngineError("cannot open the CSV file " + path + ": " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode))
        fileSize_ = static_cast<uint64_t>(info.st_size);
    // A small file gets a buffer of its own size (one byte more, so its end is seen in one pass):
    // zeroing and faulting in a whole block costs more than reading a short file. A file that
    // grows meanwhile still reads, as the buffer doubles when a record does not fit.
    size_t size = blockSize < 8 ? 8 : blockSize;
    if (fileSize_ > 0 && fileSize_ < size)
        size = std::max<size_t>(static_cast<size_t>(fileSize_) + 1, 8);
    buffer_.resize(size);
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

void CsvScanner::tooWide() const {
    throw EngineError("the CSV file " + path_ + " has more than " + std::to_string(kMaxCsvFields) +
                      " fields in a record, more than the engine reads");
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
    SpecialFinder finder(end);
    // Called for every cell: the checks that fail are kept out of line (tooWide, malformed).
    auto add = [this](const char* data, const char* stop, bool quoted, bool escaped)
        __attribute__((always_inline)) {
        if (cells_.size() >= kMaxCsvFields) [[unlikely]]
            tooWide();
        if (static_cast<uint64_t>(stop - data) > UINT32_MAX) [[unlikely]]
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
        p = finder.find(p);
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
