#include "qeinteg/platform/engine/io/IteratorRowSource.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "qeinteg/platform/engine/exec/Batch.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"

namespace qelocal {

namespace {
// The host's system-missing value; a host that forgets to null it out still gets a missing value.
constexpr double kSystemMissing = -DBL_MAX;

// Copies n numbers as value by value gives them: valid[r] = 1 for a number inside
// (-DBL_MAX, DBL_MAX]; the system-missing value, infinities and NaN are missing and become 0.
// The numbers lie `stride` apart (1 for an array, more for a view of the host's cases). Sixteen
// at a time where SSE2 is there, since the compiler leaves this narrowing loop scalar.
template <bool kContiguous>
void CopyNumbersAt(const double* in, std::ptrdiff_t stride, double* number, uint8_t* valid,
                   size_t n) {
    if (kContiguous)
        stride = 1;
    size_t r = 0;
#if defined(__SSE2__)
    const __m128d low = _mm_set1_pd(kSystemMissing);
    const __m128d high = _mm_set1_pd(DBL_MAX);
    const __m128i one = _mm_set1_epi8(1);
    const auto two = [&](size_t at) {
        if (kContiguous)
            return _mm_loadu_pd(in + at);
        const double* p = in + static_cast<std::ptrdiff_t>(at) * stride;
        return _mm_loadh_pd(_mm_load_sd(p), p + stride);
    };
    // Four numbers: copied (a missing one as +0.0) and their masks' low halves as 32-bit lanes.
    const auto four = [&](size_t at) {
        const __m128d a = two(at);
        const __m128d b = two(at + 2);
        const __m128d inA = _mm_and_pd(_mm_cmpgt_pd(a, low), _mm_cmple_pd(a, high));
        const __m128d inB = _mm_and_pd(_mm_cmpgt_pd(b, low), _mm_cmple_pd(b, high));
        _mm_storeu_pd(number + at, _mm_and_pd(a, inA));
        _mm_storeu_pd(number + at + 2, _mm_and_pd(b, inB));
        return _mm_castps_si128(
            _mm_shuffle_ps(_mm_castpd_ps(inA), _mm_castpd_ps(inB), _MM_SHUFFLE(2, 0, 2, 0)));
    };
    for (; r + 16 <= n; r += 16) {
        const __m128i bytes = _mm_packs_epi16(_mm_packs_epi32(four(r), four(r + 4)),
                                              _mm_packs_epi32(four(r + 8), four(r + 12)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(valid + r), _mm_and_si128(bytes, one));
    }
#endif
    for (; r < n; ++r) {
        const double v = in[static_cast<std::ptrdiff_t>(r) * stride];
        const bool present = v > kSystemMissing && v <= DBL_MAX;
        number[r] = present ? v : 0.0;
        valid[r] = present ? 1 : 0;
    }
}

}  // namespace

IteratorRowSource::IteratorRowSource(EmbeddedQE::RowDataIterator& iterator)
    : iterator_(iterator), name_(iterator.getName()) {
    const std::string model = iterator_.getDataModel();
    if (model.empty())
        throw EngineError("input iterator '" + name_ + "' has no data model");
    fields_ = ParseDataModelXml(model);
    batchIterator_ = iterator_.batchIterator();
    batch_.acceptViews = true;
}

bool IteratorRowSource::Accept(uint32_t status) {
    if (status == 0)
        return true;
    if (status == 1)
        return false;
    if (status == 3)
        throw EngineCancelled();
    throw EngineError("input iterator '" + name_ + "' failed with status " +
                      std::to_string(status));
}

bool IteratorRowSource::NextBatch() {
    row_ = 0;
    read_ = 0;
    batch_.rows = 0;
    if (!Accept(batchIterator_->nextBatch(batch_, kBatchRows)))
        return false;
    if (batch_.rows == 0 || batch_.columns.size() < fields_.size()) {
        throw EngineError("input iterator '" + name_ + "' gave a batch of " +
                          std::to_string(batch_.columns.size()) + " columns and " +
                          std::to_string(batch_.rows) + " rows for " +
                          std::to_string(fields_.size()) + " fields");
    }
    for (size_t k = 0; k < fields_.size(); ++k) {
        const EmbeddedQE::RowBatch::Column& c = batch_.columns[k];
        const bool text = fields_[k].storage == Storage::String;
        const bool complete = c.isText ? c.starts.size() > batch_.rows &&
                                             c.missing.size() >= batch_.rows &&
                                             c.starts[batch_.rows] <= c.text.size()
                                       : c.view != nullptr || c.numbers.size() >= batch_.rows;
        if (c.isText != text || !complete) {
            throw EngineError("input iterator '" + name_ + "' gave an unusable column for " +
                              (text ? "string" : "numeric") + " field '" + fields_[k].name + "'");
        }
    }
    return true;
}

bool IteratorRowSource::next() {
    if (batchIterator_ != nullptr) {
        if (read_ >= batch_.rows && !NextBatch()) {
            row_ = batch_.rows;
            return false;
        }
        row_ = read_++;
        return true;
    }
    return Accept(iterator_.nextRecord());
}

size_t IteratorRowSource::nextBatch(Batch& out, size_t maxRows) {
    if (batchIterator_ == nullptr)
        return RowSource::nextBatch(out, maxRows);
    if (out.columns.size() != fields_.size()) {
        throw EngineError("input iterator '" + name_ + "' was asked for a batch of " +
                          std::to_string(out.columns.size()) + " columns for " +
                          std::to_string(fields_.size()) + " fields");
    }
    size_t added = 0;
    while (added < maxRows) {
        if (read_ >= batch_.rows && !NextBatch())
            break;
        const size_t from = read_;
        const size_t n = std::min(maxRows - added, batch_.rows - from);
        for (size_t k = 0; k < fields_.size(); ++k) {
            const EmbeddedQE::RowBatch::Column& c = batch_.columns[k];
            Column& column = out.columns[k];
            if (!c.isText && !column.isString()) {
                const size_t at = column.num.size();
                column.num.resize(at + n);
                column.valid.resize(at + n);
                double* number = column.num.data() + at;
                uint8_t* valid = column.valid.data() + at;
                if (c.view != nullptr)
                    CopyNumbersAt<false>(c.view + static_cast<std::ptrdiff_t>(from) * c.viewStride,
                                         c.viewStride, number, valid, n);
                else
                    CopyNumbersAt<true>(c.numbers.data() + from, 1, number, valid, n);
            } else if (c.isText && column.isString()) {
                const std::string_view text(c.text);
                for (size_t r = from; r < from + n; ++r) {
                    if (c.missing[r] != 0)
                        column.appendMissing();
                    else
                        column.appendText(text.substr(c.starts[r], c.starts[r + 1] - c.starts[r]));
                }
            } else {
                // A column whose kind differs from the field's: as value by value.
                for (size_t r = from; r < from + n; ++r) {
                    row_ = r;
                    const Cell value = BatchCell(k);
                    if (value.missing)
                        column.appendMissing();
                    else if (column.isString())
                        column.appendText(value.text);
                    else
                        column.appendNumber(value.number);
                }
            }
        }
        read_ += n;
        added += n;
    }
    row_ = batch_.rows;
    out.rows += added;
    return added;
}

inline Cell IteratorRowSource::BatchCell(size_t index) const {
    Cell cell;
    const EmbeddedQE::RowBatch::Column& c = batch_.columns[index];  // index < fields_.size()
    if (c.isText) {
        if (c.missing[row_] != 0)
            return cell;
        cell.missing = false;
        cell.text =
            std::string_view(c.text).substr(c.starts[row_], c.starts[row_ + 1] - c.starts[row_]);
        return cell;
    }
    const double number = c.view != nullptr
                              ? c.view[static_cast<std::ptrdiff_t>(row_) * c.viewStride]
                              : c.numbers[row_];
    // As value by value: the system-missing value arrives as no value at all.
    if (number == kSystemMissing)
        return cell;
    cell.number = number;
    cell.missing = !std::isfinite(number);
    return cell;
}

Cell IteratorRowSource::cell(size_t index) {
    if (batchIterator_ != nullptr) {
        if (index >= fields_.size() || row_ >= batch_.rows) {
            throw EngineError("input iterator '" + name_ + "' could not give field " +
                              std::to_string(index) + " (no current row)");
        }
        return BatchCell(index);
    }
    Cell cell;
    const void* data = nullptr;
    size_t length = 0;
    const uint32_t status = iterator_.getRecordValue(index, &data, &length);
    if (status != 0) {
        throw EngineError("input iterator '" + name_ + "' could not give field " +
                          std::to_string(index) + " (status " + std::to_string(status) + ")");
    }
    if (data == nullptr)
        return cell;
    if (fields_.at(index).storage == Storage::String) {
        cell.missing = false;
        cell.text = std::string_view(static_cast<const char*>(data), length);
        return cell;
    }
    if (length != sizeof(double)) {
        throw EngineError("input iterator '" + name_ + "' gave " + std::to_string(length) +
                          " bytes for numeric field '" + fields_[index].name + "'");
    }
    std::memcpy(&cell.number, data, sizeof(double));
    cell.missing = cell.number == kSystemMissing || !std::isfinite(cell.number);
    return cell;
}

}  // namespace qelocal
