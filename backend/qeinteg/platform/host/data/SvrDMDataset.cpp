#include "qeinteg/platform/host/data/SvrDMDataset.h"

#include <map>
#include <mutex>

#include "qeinteg/platform/host/testing/HostTesting.h"

namespace {

struct Registry {
    std::mutex mutex;
    std::map<LocallyUniqueID, std::shared_ptr<SvrDMDataset>> datasets;
    uint64_t next = 1;
};

Registry& TheRegistry() {
    static auto* registry = new Registry();
    return *registry;
}

const bool registered = qehost::testing::RegisterResetHook([](const std::string&) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.datasets.clear();
});

}  // namespace

LocallyUniqueID SvrDMDataset::Register(std::shared_ptr<const HostDataset> data) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    LocallyUniqueID id{0x5153u, r.next++};
    r.datasets[id] = std::make_shared<SvrDMDataset>(std::move(data));
    return id;
}

std::shared_ptr<SvrDMDataset> SvrDMDataset::Find(const LocallyUniqueID& id) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.datasets.find(id);
    return it == r.datasets.end() ? nullptr : it->second;
}

bool SvrDMDataset::Remove(const LocallyUniqueID& id) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.datasets.erase(id) > 0;
}
