#include "qeinteg/platform/host/data/HostDataset.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

namespace {

// Walks the case buffer of a dataset.
class MemoryCursor final : public TAVO_InputCaseIterator::Cursor {
  public:
    MemoryCursor(const HostDataset* data, long next) : data_(data), next_(next) {}
    bool Next(const OBS*& row, long& caseNumber) override {
        if (next_ >= data_->CaseCount())
            return false;
        row = data_->CaseBuffer(next_);
        caseNumber = ++next_;
        return true;
    }
    std::unique_ptr<Cursor> Clone(const OBS*& row) const override {
        row = next_ > 0 ? data_->CaseBuffer(next_ - 1) : nullptr;
        return std::make_unique<MemoryCursor>(data_, next_);
    }

  private:
    const HostDataset* data_;
    long next_;
};

}  // namespace

int HostDataset::AddVariable(TAVO_Variable variable) {
    if (caseCount_ > 0 || variable.GetName().empty())
        return -1;
    for (const TAVO_Variable& existing : variables_) {
        if (strcasecmp(existing.GetName().c_str(), variable.GetName().c_str()) == 0)
            return -1;
    }
    offsets_.push_back(slotsPerCase_);
    slotsPerCase_ += variable.SlotCount();
    variables_.push_back(std::move(variable));
    return static_cast<int>(variables_.size()) - 1;
}

bool HostDataset::SetWeightVariable(int column) {
    if (column < -1 || column >= ColumnCount())
        return false;
    if (column >= 0 && variables_[column].GetType() != 0)
        return false;
    weight_ = column;
    return true;
}

bool HostDataset::SetSplitVariables(const std::vector<int>& columns) {
    for (int column : columns) {
        if (column < 0 || column >= ColumnCount())
            return false;
    }
    splits_ = columns;
    return true;
}

long HostDataset::AddCase() {
    const size_t start = cases_.size();
    cases_.resize(start + slotsPerCase_);
    for (int column = 0; column < ColumnCount(); ++column) {
        OBS* slot = &cases_[start + offsets_[column]];
        if (variables_[column].GetType() == 0) {
            slot->f = SYSMIS;
        } else {
            std::memset(slot->s, ' ', static_cast<size_t>(variables_[column].SlotCount()) * 8);
        }
    }
    return caseCount_++;
}

void HostDataset::ReserveCases(long count) {
    cases_.reserve(static_cast<size_t>(count) * slotsPerCase_);
}

void HostDataset::SetNumeric(long row, int column, double value) {
    cases_.at(row * slotsPerCase_ + offsets_.at(column)).f = value;
}

void HostDataset::SetString(long row, int column, std::string_view bytes) {
    const size_t width = static_cast<size_t>(variables_.at(column).GetType());
    char* dest = cases_.at(row * slotsPerCase_ + offsets_[column]).s;
    std::memset(dest, ' ', width);
    std::memcpy(dest, bytes.data(), std::min(width, bytes.size()));
}

double HostDataset::GetNumeric(long row, int column) const {
    return cases_.at(row * slotsPerCase_ + offsets_.at(column)).f;
}

std::string_view HostDataset::GetString(long row, int column) const {
    const size_t width = static_cast<size_t>(variables_.at(column).GetType());
    return std::string_view(cases_.at(row * slotsPerCase_ + offsets_.at(column)).s, width);
}

TAVO_InputCaseIterator* HostDataset::MakeIterator(void*) const {
    return new TAVO_InputCaseIterator(std::make_unique<MemoryCursor>(this, 0), offsets_);
}
