#include "qeinteg/platform/host/ProcedureDataSource.h"

#include <mutex>

#include "qeinteg/platform/host/HostTesting.h"

namespace {

std::mutex& Mutex() {
    static std::mutex m;
    return m;
}
std::shared_ptr<const HostDataset>& Active() {
    static auto* active = new std::shared_ptr<const HostDataset>();
    return *active;
}

const bool registered = qehost::testing::RegisterResetHook([](const std::string&) {
    std::lock_guard<std::mutex> lock(Mutex());
    Active().reset();
});

}  // namespace

ProcedureDataSource::ProcedureDataSource() : ProcedureDataSource(ActiveDataset()) {}

ProcedureDataSource::ProcedureDataSource(std::shared_ptr<const HostDataset> data)
    : data_(data ? std::move(data) : std::make_shared<const HostDataset>()) {}

void ProcedureDataSource::SetActiveDataset(std::shared_ptr<const HostDataset> data) {
    std::lock_guard<std::mutex> lock(Mutex());
    Active() = std::move(data);
}

std::shared_ptr<const HostDataset> ProcedureDataSource::ActiveDataset() {
    std::lock_guard<std::mutex> lock(Mutex());
    return Active();
}
