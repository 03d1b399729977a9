#include "qeinteg/platform/host/testing/HostTesting.h"

#include <mutex>
#include <vector>

namespace qehost::testing {
namespace {

std::mutex& HooksMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<ResetHook>& Hooks() {
    static auto* hooks = new std::vector<ResetHook>();
    return *hooks;
}

}  // namespace

bool RegisterResetHook(ResetHook hook) {
    std::lock_guard<std::mutex> lock(HooksMutex());
    Hooks().push_back(std::move(hook));
    return true;
}

void ResetForTest(const std::string& tempRoot) {
    std::vector<ResetHook> hooks;
    {
        std::lock_guard<std::mutex> lock(HooksMutex());
        hooks = Hooks();
    }
    for (const ResetHook& hook : hooks) hook(tempRoot);
}

}  // namespace qehost::testing
