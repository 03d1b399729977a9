// Opens a server dataset by its identifier for reading. An unknown identifier gives an empty data
// source (no columns, no cases) and a null dataset, so readers see no data instead of failing.
#pragma once

#include <memory>

#include "qeinteg/platform/host/data/HostValues.h"
#include "qeinteg/platform/host/data/SvrDMDataset.h"

class SvrDMInputDataSource {
  public:
    // exclusive is reserved (the host's exclusive-access request).
    SvrDMInputDataSource(const LocallyUniqueID& id, bool exclusive);

    const TAVO_DataSource& GetDataSource() const;
    // The opened dataset, or null for an unknown identifier.
    SvrDMDataset* GetDataset() const { return dataset_.get(); }

  private:
    std::shared_ptr<SvrDMDataset> dataset_;
    HostDataset empty_;
};
