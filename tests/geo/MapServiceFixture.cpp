#include "MapServiceFixture.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

extern char** environ;

namespace geotest {

FixtureServer::FixtureServer() {
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0)
        return;
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    const std::string python = QEINTEG_PYTHON;
    const std::string script = QEINTEG_MAP_FIXTURE_SCRIPT;
    const std::string data = std::string(QEINTEG_TEST_DATA_DIR) + "/mapservice";
    char* argv[] = {const_cast<char*>(python.c_str()), const_cast<char*>(script.c_str()),
                    const_cast<char*>(data.c_str()), nullptr};
    const int rc = posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    input_ = toChild[1];
    if (rc != 0) {
        pid_ = -1;
        close(fromChild[0]);
        return;
    }
    std::string line;
    char c = 0;
    while (read(fromChild[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(fromChild[0]);
    port_ = std::atoi(line.c_str());
}

FixtureServer::~FixtureServer() {
    if (input_ >= 0)
        close(input_);
    if (pid_ > 0) {
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

std::string FixtureServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void BypassProxiesForLoopback() {
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
}

}  // namespace geotest
