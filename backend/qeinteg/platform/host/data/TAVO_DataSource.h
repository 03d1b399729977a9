// A host data source: a dictionary of variables and a way to read its cases. The active dataset,
// server datasets, data files, projections and converted views are all data sources.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/host/data/TAVO_InputCaseIterator.h"
#include "qeinteg/platform/host/data/TAVO_Variable.h"

class TAVO_DataSource {
  public:
    virtual ~TAVO_DataSource() = default;

    virtual int ColumnCount() const = 0;
    // REQUIRES: 0 <= column < ColumnCount().
    virtual const TAVO_Variable& GetVariable(int column) const = 0;
    // The weight variable's column, -1 when the source is not weighted.
    virtual int GetWeightVarIndex() const = 0;
    virtual int GetSplitCount() const = 0;
    // REQUIRES: 0 <= i < GetSplitCount().
    virtual int GetSplitVarIndex(int i) const = 0;
    // A new iterator positioned before the first case; the caller owns it. filter is reserved
    // (the host's case filter) and must be null.
    virtual TAVO_InputCaseIterator* MakeIterator(void* filter) const = 0;

    // The column of the variable with this name (host code page, case-insensitive), searching
    // from column `start`; -1 when there is none.
    int FindVarIndex(const std::string& name, int start) const;
};
