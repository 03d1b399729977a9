// A view of a data source whose text is UTF-8: names, labels, value labels, string missing values
// and string values are converted from the host code page as cases are read. String variables are
// widened so that the converted text always fits. Conversion errors go to the error monitor; the
// offending bytes become '?'.
#pragma once

#include <string>
#include <vector>

#include "qeinteg/platform/host/process/ErrorMonitor.h"
#include "qeinteg/platform/host/data/TAVO_DataSource.h"

class UTF8DataSource : public TAVO_DataSource {
  public:
    // The base and the monitor must outlive the view.
    UTF8DataSource(const TAVO_DataSource& base, const std::string& codePage, ErrorMonitor* monitor);
    ~UTF8DataSource() override;
    UTF8DataSource(const UTF8DataSource&) = delete;
    UTF8DataSource& operator=(const UTF8DataSource&) = delete;

    int SlotsPerCase() const { return slotsPerCase_; }
    const std::vector<int>& Offsets() const { return offsets_; }

    int ColumnCount() const override { return static_cast<int>(variables_.size()); }
    const TAVO_Variable& GetVariable(int column) const override { return variables_.at(column); }
    int GetWeightVarIndex() const override { return base_->GetWeightVarIndex(); }
    int GetSplitCount() const override { return base_->GetSplitCount(); }
    int GetSplitVarIndex(int i) const override { return base_->GetSplitVarIndex(i); }
    TAVO_InputCaseIterator* MakeIterator(void* filter) const override;

    class Converter;

  private:
    const TAVO_DataSource* base_;
    ErrorMonitor* monitor_;
    Converter* converter_;
    std::vector<TAVO_Variable> variables_;
    std::vector<int> offsets_;
    int slotsPerCase_ = 0;
};
