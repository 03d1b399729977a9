#include "qeinteg/platform/host/data/AdjustMeasurementLevels.h"

#include <mutex>

#include "qeinteg/platform/host/testing/HostTesting.h"

namespace {

struct AdjustState {
    std::mutex mutex;
    std::vector<const ProcedureDataSource*> calls;
};

AdjustState& State() {
    static auto* state = new AdjustState();
    return *state;
}

[[maybe_unused]] const bool registered = qehost::testing::RegisterResetHook([](const std::string&) {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().calls.clear();
});

}  // namespace

void AdjustMeasurementLevels(ProcedureDataSource& source) {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().calls.push_back(&source);
}

namespace qehost {

std::vector<const ProcedureDataSource*> AdjustMeasurementLevelsCalls() {
    std::lock_guard<std::mutex> lock(State().mutex);
    return State().calls;
}

}  // namespace qehost
