#include "qeinteg/platform/host/data/TAVO_InputCaseIterator.h"

#include <utility>

TAVO_InputCaseIterator::TAVO_InputCaseIterator(std::unique_ptr<Cursor> cursor,
                                               std::vector<int> offsets)
    : cursor_(std::move(cursor)), offsets_(std::move(offsets)) {}

void TAVO_InputCaseIterator::SelectColumns(const std::vector<int>& columns) {
    std::vector<int> selected;
    selected.reserve(columns.size());
    for (int column : columns) {
        if (column >= 0 && column < ColumnCount())
            selected.push_back(offsets_[column]);
    }
    offsets_ = std::move(selected);
}

std::unique_ptr<TAVO_InputCaseIterator> TAVO_InputCaseIterator::Clone() const {
    const OBS* row = nullptr;
    auto copy = std::make_unique<TAVO_InputCaseIterator>(cursor_->Clone(row), offsets_);
    copy->row_ = row_ != nullptr ? row : nullptr;
    copy->caseNumber_ = caseNumber_;
    return copy;
}
