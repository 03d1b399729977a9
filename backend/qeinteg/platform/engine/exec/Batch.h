// Column batches: the unit of work of the local engine's operators.
//
// A batch holds up to kBatchRows rows of a record layout as one typed column per field. Numeric
// storages (integer, real, dates and times) keep doubles, strings keep UTF-8 texts; a validity
// byte per row says whether the value is present (1) or missing (0). The value of a missing cell
// is unspecified.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTypes.h"

namespace qelocal {

// Rows per batch: large enough that per-batch costs (virtual calls, cancel checks) vanish, small
// enough that a batch of a few columns stays in the cache.
constexpr size_t kBatchRows = 4096;

struct Column {
    Storage storage = Storage::Real;
    std::vector<double> num;       // numeric storages
    std::vector<std::string> str;  // Storage::String
    std::vector<uint8_t> valid;

    bool isString() const { return storage == Storage::String; }
    size_t size() const { return valid.size(); }
    void clear() {
        num.clear();
        str.clear();
        valid.clear();
    }
    void reserve(size_t n) {
        valid.reserve(n);
        if (isString())
            str.reserve(n);
        else
            num.reserve(n);
    }
    void appendMissing() {
        valid.push_back(0);
        if (isString())
            str.emplace_back();
        else
            num.push_back(0.0);
    }
    void appendNumber(double v) {
        valid.push_back(1);
        num.push_back(v);
    }
    void appendText(std::string_view v) {
        valid.push_back(1);
        str.emplace_back(v);
    }
    // Appends row `row` of `src`, which has the same kind (string or numeric).
    void appendFrom(const Column& src, size_t row) {
        valid.push_back(src.valid[row]);
        if (isString())
            str.push_back(src.str[row]);
        else
            num.push_back(src.num[row]);
    }
    // Keeps the rows whose flag in `keep` is set, in order.
    void compact(const std::vector<uint8_t>& keep);
};

struct Batch {
    std::vector<Column> columns;
    size_t rows = 0;

    // Empty columns with the storages of `fields`.
    void reset(const std::vector<EngineField>& fields);
    // Keeps the rows whose flag in `keep` is set.
    void compact(const std::vector<uint8_t>& keep);
};

// What every operator may use while it runs.
struct ExecContext {
    // True once the job was cancelled; asked once per batch (and inside long loops).
    std::function<bool()> cancelled;
    // Fractions in 0..1 (the plan makes them non-decreasing).
    std::function<void(float)> progress;
    // Informational messages: id and text.
    std::function<void(const std::string&, const std::string&)> message;

    // Throws EngineCancelled when the job was cancelled.
    void checkCancel() const {
        if (cancelled && cancelled())
            throw EngineCancelled();
    }
};

// A stream of batches. next() fills `out` with at least one row and returns true, or returns false
// at the end; it throws EngineError on bad data and EngineCancelled when the job was cancelled.
class BatchStream {
  public:
    virtual ~BatchStream() = default;
    virtual const std::vector<EngineField>& fields() const = 0;
    virtual bool next(Batch& out) = 0;
};

// The index of field `name` in `fields`, or -1.
int FindField(const std::vector<EngineField>& fields, std::string_view name);

}  // namespace qelocal
