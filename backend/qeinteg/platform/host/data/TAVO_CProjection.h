// A view of a data source restricted to some of its columns, in a chosen order. Cases are read
// from the base source in place; nothing is copied.
#pragma once

#include <vector>

#include "qeinteg/platform/host/data/TAVO_DataSource.h"

class TAVO_CProjection : public TAVO_DataSource {
  public:
    // Columns out of range of the base are left out. The base must outlive the projection.
    TAVO_CProjection(const TAVO_DataSource& base, const int* columns, int count);

    // Column k of the projection is this column of the base.
    int BaseColumn(int column) const { return columns_.at(column); }

    int ColumnCount() const override { return static_cast<int>(columns_.size()); }
    const TAVO_Variable& GetVariable(int column) const override;
    // The weight variable's column within the projection; -1 when it is not projected.
    int GetWeightVarIndex() const override;
    int GetSplitCount() const override { return static_cast<int>(splits_.size()); }
    int GetSplitVarIndex(int i) const override { return splits_.at(i); }
    TAVO_InputCaseIterator* MakeIterator(void* filter) const override;

  private:
    int ProjectedColumn(int baseColumn) const;

    const TAVO_DataSource* base_;
    std::vector<int> columns_;
    std::vector<int> splits_;
};
