#include "qeinteg/platform/host/data/ProcedureDataSource.h"

#include <mutex>
#include <string>

#include "qeinteg/platform/host/testing/HostTesting.h"

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

std::shared_ptr<const HostDataset> NumericColumns(int count) {
    auto data = std::make_shared<HostDataset>();
    for (int i = 1; i <= count; ++i)
        data->AddVariable(TAVO_Variable("V" + std::to_string(i), 0));
    return data;
}

}  // namespace

ProcedureDataSource::ProcedureDataSource() : ProcedureDataSource(ActiveDataset()) {}

ProcedureDataSource::ProcedureDataSource(std::shared_ptr<const HostDataset> data)
    : data_(data ? std::move(data) : std::make_shared<const HostDataset>()) {}

ProcedureDataSource::ProcedureDataSource(int columnCount)
    : ProcedureDataSource(NumericColumns(columnCount)) {}

ProcedureDataSource::~ProcedureDataSource() = default;

void ProcedureDataSource::SetSplitEndCheck(bool check) {
    splitEndCheck_ = check;
}

bool ProcedureDataSource::SplitEndCheck() const {
    return splitEndCheck_;
}

void ProcedureDataSource::SetColumnCount(int columnCount) {
    data_ = NumericColumns(columnCount);
}

void ProcedureDataSource::SetActiveDataset(std::shared_ptr<const HostDataset> data) {
    std::lock_guard<std::mutex> lock(Mutex());
    Active() = std::move(data);
}

std::shared_ptr<const HostDataset> ProcedureDataSource::ActiveDataset() {
    std::lock_guard<std::mutex> lock(Mutex());
    return Active();
}
