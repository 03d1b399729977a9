#include "qeinteg/platform/engine/io/IteratorRowSource.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "qeinteg/platform/engine/io/DataModelXml.h"

namespace qelocal {

namespace {
// The host's system-missing value; a host that forgets to null it out still gets a missing value.
constexpr double kSystemMissing = -DBL_MAX;
}  // namespace

IteratorRowSource::IteratorRowSource(EmbeddedQE::RowDataIterator& iterator)
    : iterator_(iterator), name_(iterator.getName()) {
    const std::string model = iterator_.getDataModel();
    if (model.empty())
        throw EngineError("input iterator '" + name_ + "' has no data model");
    fields_ = ParseDataModelXml(model);
    batchIterator_ = iterator_.batchIterator();
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
                                       : c.numbers.size() >= batch_.rows;
        if (c.isText != text || !complete) {
            throw EngineError("input iterator '" + name_ + "' gave an unusable column for " +
                              (text ? "string" : "numeric") + " field '" + fields_[k].name + "'");
        }
    }
    row_ = 0;
    return true;
}

bool IteratorRowSource::next() {
    if (batchIterator_ != nullptr) {
        if (row_ + 1 < batch_.rows) {
            ++row_;
            return true;
        }
        return NextBatch();
    }
    return Accept(iterator_.nextRecord());
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
    const double number = c.numbers[row_];
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
