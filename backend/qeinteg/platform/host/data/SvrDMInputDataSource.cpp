#include "qeinteg/platform/host/data/SvrDMInputDataSource.h"

SvrDMInputDataSource::SvrDMInputDataSource(const LocallyUniqueID& id, bool)
    : dataset_(SvrDMDataset::Find(id)) {}

const TAVO_DataSource& SvrDMInputDataSource::GetDataSource() const {
    if (dataset_)
        return dataset_->GetData();
    return empty_;
}
