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
}

bool IteratorRowSource::next() {
    const uint32_t status = iterator_.nextRecord();
    if (status == 0)
        return true;
    if (status == 1)
        return false;
    if (status == 3)
        throw EngineCancelled();
    throw EngineError("input iterator '" + name_ + "' failed with status " +
                      std::to_string(status));
}

Cell IteratorRowSource::cell(size_t index) {
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
