#include "qeinteg/platform/host/process/Viewer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

#include "qeinteg/platform/host/testing/HostTesting.h"
#include "qeinteg/platform/host/testing/ViewerTesting.h"

namespace {

constexpr std::size_t kMaxLines = 100000;

bool EchoFromEnvironment() {
    const char* value = std::getenv("QEHOST_VIEWER_ECHO");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

struct ViewerState {
    std::mutex mutex;
    std::deque<std::string> lines;
    bool echo = EchoFromEnvironment();
};

ViewerState& State() {
    static auto* state = new ViewerState();
    return *state;
}

const bool kRegistered = qehost::testing::RegisterResetHook([](const std::string&) {
    ViewerState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.lines.clear();
    state.echo = EchoFromEnvironment();
});

}  // namespace

void DSPLNS(const char* text, int lineCount, int length) {
    if (text == nullptr || lineCount <= 0 || length < 0)
        return;
    ViewerState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    const char* p = text;
    for (int i = 0; i < lineCount; ++i) {
        const void* zero = std::memchr(p, '\0', static_cast<std::size_t>(length));
        const std::size_t size = zero != nullptr
                                     ? static_cast<std::size_t>(static_cast<const char*>(zero) - p)
                                     : static_cast<std::size_t>(length);
        std::string line(p, size);
        if (state.echo) {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        state.lines.push_back(std::move(line));
        if (state.lines.size() > kMaxLines)
            state.lines.pop_front();
        p += length;
    }
    if (state.echo)
        std::fflush(stderr);
}

namespace qehost::testing {

std::vector<std::string> ViewerLines() {
    ViewerState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return {state.lines.begin(), state.lines.end()};
}

void ClearViewerLines() {
    ViewerState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.lines.clear();
}

void SetViewerEcho(bool echo) {
    ViewerState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.echo = echo;
}

}  // namespace qehost::testing
