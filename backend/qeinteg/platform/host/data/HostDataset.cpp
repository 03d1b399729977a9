#include "qeinteg/platform/host/data/HostDataset.h"

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
    // The case buffer is one array: any number of the following cases at once.
    size_t NextRun(size_t maxCases, const OBS*& first, std::ptrdiff_t& stride,
                   long& caseNumber) override {
        const long left = data_->CaseCount() - next_;
        if (left <= 0)
            return 0;
        const size_t n = std::min(maxCases == 0 ? 1 : maxCases, static_cast<size_t>(left));
        first = data_->CaseBuffer(next_);
        stride = data_->SlotsPerCase();
        caseNumber = next_ + 1;
        next_ += static_cast<long>(n);
        return n;
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
    std::string folded = variable.GetName();
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    if (!foldedNames_.insert(std::move(folded)).second)
        return -1;
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
