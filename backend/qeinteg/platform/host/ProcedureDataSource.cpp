#include "qeinteg/platform/host/ProcedureDataSource.h"

ProcedureDataSource::~ProcedureDataSource() = default;

int ProcedureDataSource::ColumnCount() const {
    return columnCount_;
}

void ProcedureDataSource::SetSplitEndCheck(bool check) {
    splitEndCheck_ = check;
}

bool ProcedureDataSource::SplitEndCheck() const {
    return splitEndCheck_;
}
