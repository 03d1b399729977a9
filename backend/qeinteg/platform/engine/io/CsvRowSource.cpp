#include "qeinteg/platform/engine/io/CsvRowSource.h"

#include <csv.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "qeinteg/platform/engine/exec/EngineTime.h"

namespace qelocal {

namespace {

constexpr size_t kChunk = 1 << 16;

bool ParseNumber(std::string_view text, double& out) {
    if (text.empty())
        return false;
    const char* begin = text.data();
    if (*begin == '+')
        ++begin;  // from_chars does not take a plus sign
    auto [end, ec] = std::from_chars(begin, text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

bool IsInteger(std::string_view text) {
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i == text.size() || text.size() - i > 18)
        return false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

const DateTimeFormat& IsoDate() {
    static const DateTimeFormat f = *DateTimeFormat::Compile("yyyy-MM-dd");
    return f;
}

const std::vector<DateTimeFormat>& IsoTimestamps() {
    static const std::vector<DateTimeFormat> formats = [] {
        std::vector<DateTimeFormat> out;
        for (const char* p :
             {"yyyy-MM-dd'T'HH:mm:ss", "yyyy-MM-dd'T'HH:mm:ss.SSS", "yyyy-MM-dd HH:mm:ss",
              "yyyy-MM-dd HH:mm:ss.SSS", "yyyy-MM-dd'T'HH:mm", "yyyy-MM-dd HH:mm"}) {
            out.push_back(*DateTimeFormat::Compile(p));
        }
        return out;
    }();
    return formats;
}

const std::vector<DateTimeFormat>& IsoTimes() {
    static const std::vector<DateTimeFormat> formats = [] {
        std::vector<DateTimeFormat> out;
        for (const char* p : {"HH:mm:ss", "HH:mm:ss.SSS", "HH:mm"}) {
            out.push_back(*DateTimeFormat::Compile(p));
        }
        return out;
    }();
    return formats;
}

bool ParseAny(const std::vector<DateTimeFormat>& formats, std::string_view text, double& seconds) {
    for (const DateTimeFormat& f : formats) {
        if (f.Parse(text, seconds))
            return true;
    }
    return false;
}

// The value of `text` in the engine's representation of `storage`.
bool ConvertCell(Storage storage, std::string_view text, double& out) {
    double seconds = 0;
    switch (storage) {
        case Storage::Integer:
        case Storage::Real:
            return ParseNumber(text, out);
        case Storage::Date:
            if (IsoDate().Parse(text, seconds)) {
                out = seconds / 86400.0;
                return true;
            }
            return false;
        case Storage::Timestamp:
            if (ParseAny(IsoTimestamps(), text, out))
                return true;
            if (IsoDate().Parse(text, out))
                return true;
            return false;
        case Storage::Time:
            return ParseAny(IsoTimes(), text, out);
        default:
            return false;
    }
}

// What the first pass learns about a column.
struct ColumnGuess {
    bool any = false;
    bool integer = true;
    bool real = true;
    bool date = true;
    bool timestamp = true;

    void add(std::string_view text) {
        any = true;
        double ignored = 0;
        if (integer && !IsInteger(text))
            integer = false;
        if (real && !ParseNumber(text, ignored))
            real = false;
        if (date && !IsoDate().Parse(text, ignored))
            date = false;
        if (timestamp && !ParseAny(IsoTimestamps(), text, ignored))
            timestamp = false;
    }

    Storage storage() const {
        if (!any)
            return Storage::String;
        if (integer)
            return Storage::Integer;
        if (real)
            return Storage::Real;
        if (date)
            return Storage::Date;
        if (timestamp)
            return Storage::Timestamp;
        return Storage::String;
    }
};

}  // namespace

// Streams records out of the file with libcsv, a chunk at a time.
class CsvRowSource::Scanner {
  public:
    explicit Scanner(const std::string& path) : path_(path) {
        file_ = std::fopen(path.c_str(), "rb");
        if (file_ == nullptr)
            throw EngineError("cannot open the CSV file " + path);
        std::error_code ec;
        size_ = std::filesystem::file_size(path, ec);
        if (csv_init(&parser_, CSV_STRICT | CSV_STRICT_FINI | CSV_EMPTY_IS_NULL) != 0) {
            std::fclose(file_);
            throw EngineError("cannot initialise the CSV parser");
        }
    }
    ~Scanner() {
        csv_free(&parser_);
        if (file_ != nullptr)
            std::fclose(file_);
    }
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // The next record, or false at the end of the file.
    bool next(Record& out) {
        while (ready_.empty() && !finished_)
            fill();
        if (ready_.empty())
            return false;
        out = std::move(ready_.front());
        ready_.pop_front();
        ++delivered_;
        return true;
    }

    double fraction() const {
        return size_ == 0 ? 1.0 : static_cast<double>(consumed_) / static_cast<double>(size_);
    }

  private:
    static void OnField(void* text, size_t length, void* self) {
        auto* scanner = static_cast<Scanner*>(self);
        scanner->building_.cells.emplace_back(text == nullptr ? "" : static_cast<const char*>(text),
                                              length);
        scanner->building_.null.push_back(text == nullptr ? 1 : 0);
    }
    static void OnRecord(int /*terminator*/, void* self) {
        auto* scanner = static_cast<Scanner*>(self);
        scanner->ready_.push_back(std::move(scanner->building_));
        scanner->building_ = Record{};
    }

    void fill() {
        char buffer[kChunk];
        size_t n = std::fread(buffer, 1, sizeof buffer, file_);
        const char* data = buffer;
        if (consumed_ == 0 && n >= 3 && std::memcmp(buffer, "\xEF\xBB\xBF", 3) == 0) {
            data += 3;  // a UTF-8 byte order mark is not part of the first name
            n -= 3;
            consumed_ += 3;
        }
        if (n > 0) {
            if (csv_parse(&parser_, data, n, &OnField, &OnRecord, this) != n) {
                throw EngineError("the CSV file " + path_ + " is malformed near record " +
                                  std::to_string(ready_.size() + delivered_ + 1) + ": " +
                                  csv_strerror(csv_error(&parser_)));
            }
            consumed_ += n;
            return;
        }
        if (std::ferror(file_))
            throw EngineError("cannot read the CSV file " + path_);
        finished_ = true;
        if (csv_fini(&parser_, &OnField, &OnRecord, this) != 0) {
            throw EngineError("the CSV file " + path_ + " ends inside a quoted field");
        }
    }

    std::string path_;
    std::FILE* file_ = nullptr;
    csv_parser parser_{};
    uint64_t size_ = 0;
    uint64_t consumed_ = 0;
    uint64_t delivered_ = 0;
    bool finished_ = false;
    Record building_;
    std::deque<Record> ready_;
};

CsvRowSource::CsvRowSource(const std::string& path, bool hasHeader,
                           std::optional<std::vector<EngineField>> model)
    : path_(path), hasHeader_(hasHeader) {
    // First pass: the shape of the file, and the storages when there is no model.
    std::vector<std::string> names;
    std::vector<ColumnGuess> guesses;
    size_t columns = 0;
    {
        Scanner scanner(path);
        Record record;
        uint64_t number = 0;
        bool first = true;
        while (scanner.next(record)) {
            if (first) {
                columns = record.cells.size();
                guesses.resize(columns);
                first = false;
                if (hasHeader) {
                    names = record.cells;
                    continue;
                }
            }
            ++number;
            if (record.cells.size() != columns) {
                throw EngineError("the CSV file " + path + " has " +
                                  std::to_string(record.cells.size()) + " fields in record " +
                                  std::to_string(number) + ", expected " + std::to_string(columns));
            }
            if (!model) {
                for (size_t i = 0; i < columns; ++i) {
                    if (!record.null[i])
                        guesses[i].add(record.cells[i]);
                }
            }
        }
    }
    if (model) {
        fields_ = std::move(*model);
        if (columns != 0 && fields_.size() != columns) {
            throw EngineError("the data model of " + path + " has " +
                              std::to_string(fields_.size()) + " fields, the file " +
                              std::to_string(columns));
        }
    } else {
        for (size_t i = 0; i < columns; ++i) {
            EngineField field;
            field.name = hasHeader ? names[i] : "field" + std::to_string(i + 1);
            field.storage = guesses[i].storage();
            field.measure =
                field.storage == Storage::String ? Measure::Nominal : Measure::Continuous;
            fields_.push_back(std::move(field));
        }
    }
    scanner_ = std::make_unique<Scanner>(path);
    if (hasHeader_) {
        Record header;
        scanner_->next(header);
    }
}

CsvRowSource::~CsvRowSource() = default;

bool CsvRowSource::next() {
    if (!scanner_->next(current_))
        return false;
    ++recordNumber_;
    if (current_.cells.size() != fields_.size()) {
        throw EngineError("the CSV file " + path_ + " has " +
                          std::to_string(current_.cells.size()) + " fields in record " +
                          std::to_string(recordNumber_) + ", expected " +
                          std::to_string(fields_.size()));
    }
    return true;
}

Cell CsvRowSource::cell(size_t index) {
    Cell cell;
    const EngineField& field = fields_.at(index);
    const std::string& text = current_.cells[index];
    if (field.storage == Storage::String) {
        cell.missing = current_.null[index] != 0;
        cell.text = text;
        return cell;
    }
    if (current_.null[index] || text.empty())
        return cell;
    if (!ConvertCell(field.storage, text, cell.number)) {
        throw EngineError("record " + std::to_string(recordNumber_) + " of " + path_ + ": field '" +
                          field.name + "' holds '" + text + "', not a valid " +
                          StorageText(field.storage));
    }
    cell.missing = false;
    return cell;
}

double CsvRowSource::fraction() const {
    return scanner_->fraction();
}

}  // namespace qelocal
