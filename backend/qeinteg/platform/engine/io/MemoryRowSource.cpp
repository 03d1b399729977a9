#include "qeinteg/platform/engine/io/MemoryRowSource.h"

#include <cmath>
#include <limits>

namespace qelocal {

MemoryRowSource::MemoryRowSource(std::vector<EngineField> fields)
    : fields_(std::move(fields)), columns_(fields_.size()) {}

void MemoryRowSource::addRecord() {
    ++records_;
    for (size_t f = 0; f < fields_.size(); ++f) {
        if (fields_[f].storage == Storage::String) {
            columns_[f].texts.emplace_back();
            columns_[f].present.push_back(0);
        } else {
            columns_[f].numbers.push_back(std::numeric_limits<double>::quiet_NaN());
        }
    }
}

void MemoryRowSource::setNumber(size_t index, double value) {
    columns_.at(index).numbers.back() = value;
}

void MemoryRowSource::setText(size_t index, std::string_view value) {
    Column& column = columns_.at(index);
    column.texts.back().assign(value);
    column.present.back() = 1;
}

void MemoryRowSource::setCell(size_t index, const Cell& cell) {
    if (cell.missing)
        return;
    if (fields_.at(index).storage == Storage::String)
        setText(index, cell.text);
    else
        setNumber(index, cell.number);
}

Cell MemoryRowSource::cellAt(size_t record, size_t index) const {
    const Column& column = columns_.at(index);
    Cell cell;
    if (fields_[index].storage == Storage::String) {
        cell.missing = column.present[record] == 0;
        if (!cell.missing)
            cell.text = column.texts[record];
    } else {
        cell.number = column.numbers[record];
        cell.missing = std::isnan(cell.number);
    }
    return cell;
}

}  // namespace qelocal
