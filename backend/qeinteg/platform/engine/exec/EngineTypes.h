// Types shared by the local engine's executing functions: field descriptions, the engine's failure
// type and the row source that every function pulls records from.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qelocal {

// A job failure with a message meant for the user. The executor turns it into onError.
class EngineError : public std::runtime_error {
  public:
    explicit EngineError(const std::string& message, std::string id = "ENGINE_ERROR")
        : std::runtime_error(message), id_(std::move(id)) {}
    // A short code for the kind of failure, reported as the error id.
    const std::string& id() const { return id_; }

  private:
    std::string id_;
};

// Thrown when a run notices that it was cancelled; the executor turns it into onCancel.
class EngineCancelled : public std::runtime_error {
  public:
    EngineCancelled() : std::runtime_error("cancelled") {}
};

// Storage codes as the data model uses them (0 means not known).
enum class Storage : int {
    Unknown = 0,
    Integer = 1,
    Real = 2,
    String = 3,
    Date = 4,
    Time = 5,
    Timestamp = 6
};

// Measurement levels as the data model uses them.
enum class Measure : int {
    Continuous = 0,
    Nominal = 1,
    Ordinal = 2,
    Flag = 3,
    Discrete = 4,
    Typeless = 5
};

const char* StorageText(Storage storage);
const char* MeasureText(Measure measure);
// Unknown texts give Storage::Unknown and Measure::Typeless.
Storage StorageFromText(std::string_view text);
Measure MeasureFromText(std::string_view text);
// True for every storage whose values travel as doubles.
inline bool IsNumericStorage(Storage s) {
    return s != Storage::String && s != Storage::Unknown;
}
inline bool IsTemporalStorage(Storage s) {
    return s == Storage::Date || s == Storage::Time || s == Storage::Timestamp;
}

// The bounding box of geometries: x grows to the right, y upwards.
struct GeoEnvelope {
    double leftUpperX = 0;
    double leftUpperY = 0;
    double rightLowerX = 0;
    double rightLowerY = 0;
};

// What makes a field a geometry field. Its values are ISO WKB (little-endian) in a string column.
// A system is named by csName and wkid (either may be missing) and defined by wkt; a field without
// any of the three holds planar coordinates without a system ("CARTESIAN") and is never
// reprojected.
struct GeoInfo {
    std::string type;  // "Point", "MultiPoint", "LineString", ... "MultiPolygon"
    int coordinates = 2;
    int wkid = 0;  // 0 or below: not known
    std::string csName;
    std::string wkt;
    bool projected = false;
    std::optional<GeoEnvelope> envelope;

    bool hasSystem() const { return wkid > 0 || !csName.empty() || !wkt.empty(); }
};

// One field of a record layout.
struct EngineField {
    std::string name;
    Storage storage = Storage::Unknown;
    Measure measure = Measure::Typeless;
    std::string role = "input";
    std::string label;
    std::string format;  // the host's display format, passed through
    // Value labels and missing values as data model XML elements, passed through unchanged.
    std::string detailXml;
    // Set on geometry fields only.
    std::optional<GeoInfo> geo;
};

// The value of one field in the current row. For numeric storages `number` holds the value in the
// engine's representation (see EngineTime.h for dates and times); for strings `text` views bytes
// that stay valid until the next call of RowSource::next().
struct Cell {
    bool missing = true;
    double number = 0.0;
    std::string_view text;
};

struct Batch;

// The current row of a source that keeps it in arrays indexed by field: cell(i) of that source is
// {missing[i] != 0, numbers[i], texts[i]}. Valid until the source's next next().
struct RowArrays {
    const char* missing = nullptr;
    const double* numbers = nullptr;
    const std::string_view* texts = nullptr;

    Cell cell(size_t index) const {
        return Cell{missing[index] != 0, numbers[index], texts[index]};
    }
};

// A forward-only stream of rows.
class RowSource {
  public:
    virtual ~RowSource() = default;
    virtual const std::vector<EngineField>& fields() const = 0;
    // True when a row is current, false at the end. Throws EngineError on bad data and
    // EngineCancelled when the underlying source reports cancellation.
    virtual bool next() = 0;
    // The value of field `index` of the current row.
    virtual Cell cell(size_t index) = 0;
    // Appends up to maxRows following rows to `out`, whose columns are laid out for fields() as
    // Batch::reset does, and adds them to out.rows; returns how many, fewer than maxRows only at
    // the end. Afterwards no row is current. The default goes value by value through next() and
    // cell(); a source that holds its rows in columns overrides it. Throws as next() does.
    virtual size_t nextBatch(Batch& out, size_t maxRows);
    // The current row's arrays, for a consumer that takes every value of every row without a
    // call per value; false (the default) when the source has none, and then `out` is untouched.
    virtual bool rowArrays(RowArrays& /*out*/) const { return false; }
    // How far the stream has got, 0..1, or a negative number when the total is not known.
    virtual double fraction() const { return -1.0; }
};

}  // namespace qelocal
