// An in-memory host dataset: a dictionary of variables, the weight and split settings, and the
// cases, each a row of OBS slots in one contiguous case buffer.
//
// Variables are defined before the first case is added. Iterators read the case buffer in place,
// so the dataset must outlive them and must not change while they are in use.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qeinteg/platform/host/data/TAVO_DataSource.h"

class HostDataset : public TAVO_DataSource {
  public:
    HostDataset() = default;

    // Appends a variable and returns its column; -1 once cases exist or when the name is empty or
    // already used.
    int AddVariable(TAVO_Variable variable);
    TAVO_Variable& Variable(int column) { return variables_.at(column); }

    // -1 for no weight; false (nothing changed) when the column is not a numeric variable.
    bool SetWeightVariable(int column);
    // Each must be an existing column.
    bool SetSplitVariables(const std::vector<int>& columns);

    // Appends a case with every number system-missing and every string blank; returns its row.
    long AddCase();
    void ReserveCases(long count);
    long CaseCount() const { return caseCount_; }
    // REQUIRES: row < CaseCount(), column a numeric (or string, for SetString) variable.
    void SetNumeric(long row, int column, double value);
    void SetString(long row, int column, std::string_view bytes);
    double GetNumeric(long row, int column) const;
    std::string_view GetString(long row, int column) const;

    int SlotsPerCase() const { return slotsPerCase_; }
    int SlotOffset(int column) const { return offsets_.at(column); }
    const OBS* CaseBuffer(long row) const { return cases_.data() + row * slotsPerCase_; }

    // TAVO_DataSource
    int ColumnCount() const override { return static_cast<int>(variables_.size()); }
    const TAVO_Variable& GetVariable(int column) const override { return variables_.at(column); }
    int GetWeightVarIndex() const override { return weight_; }
    int GetSplitCount() const override { return static_cast<int>(splits_.size()); }
    int GetSplitVarIndex(int i) const override { return splits_.at(i); }
    TAVO_InputCaseIterator* MakeIterator(void* filter) const override;

  private:
    std::vector<TAVO_Variable> variables_;
    std::vector<int> offsets_;
    int slotsPerCase_ = 0;
    int weight_ = -1;
    std::vector<int> splits_;
    std::vector<OBS> cases_;
    long caseCount_ = 0;
};
