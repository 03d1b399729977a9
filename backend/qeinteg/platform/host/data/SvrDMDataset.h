// A dataset held by the host's data server, known by a LocallyUniqueID, with the error monitor
// that readers of the dataset report to. The registry keeps datasets until they are removed or the
// host is reset.
#pragma once

#include <memory>

#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/data/HostValues.h"
#include "qeinteg/platform/host/process/TavoErrorMonitor.h"

class SvrDMDataset {
  public:
    explicit SvrDMDataset(std::shared_ptr<const HostDataset> data) : data_(std::move(data)) {}

    const HostDataset& GetData() const { return *data_; }
    ErrorMonitor* GetErrorMonitor() { return &monitor_; }

    // Registers a dataset and returns its new identifier (never the none value).
    static LocallyUniqueID Register(std::shared_ptr<const HostDataset> data);
    // The dataset with this identifier, or null.
    static std::shared_ptr<SvrDMDataset> Find(const LocallyUniqueID& id);
    static bool Remove(const LocallyUniqueID& id);

  private:
    std::shared_ptr<const HostDataset> data_;
    TavoErrorMonitor monitor_;
};
