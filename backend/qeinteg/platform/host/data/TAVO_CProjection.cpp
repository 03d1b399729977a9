#include "qeinteg/platform/host/data/TAVO_CProjection.h"

TAVO_CProjection::TAVO_CProjection(const TAVO_DataSource& base, const int* columns, int count)
    : base_(&base) {
    for (int i = 0; i < count; ++i) {
        if (columns[i] >= 0 && columns[i] < base.ColumnCount())
            columns_.push_back(columns[i]);
    }
    for (int i = 0; i < base.GetSplitCount(); ++i) {
        const int projected = ProjectedColumn(base.GetSplitVarIndex(i));
        if (projected >= 0)
            splits_.push_back(projected);
    }
}

const TAVO_Variable& TAVO_CProjection::GetVariable(int column) const {
    return base_->GetVariable(columns_.at(column));
}

int TAVO_CProjection::GetWeightVarIndex() const {
    return ProjectedColumn(base_->GetWeightVarIndex());
}

int TAVO_CProjection::ProjectedColumn(int baseColumn) const {
    if (baseColumn < 0)
        return -1;
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (columns_[i] == baseColumn)
            return static_cast<int>(i);
    }
    return -1;
}

TAVO_InputCaseIterator* TAVO_CProjection::MakeIterator(void* filter) const {
    TAVO_InputCaseIterator* it = base_->MakeIterator(filter);
    if (it != nullptr)
        it->SelectColumns(columns_);
    return it;
}
