// The fixture map service (map_service_fixture.py) on the loopback address, for one test suite.
#pragma once

#include <sys/types.h>

#include <string>

namespace geotest {

class FixtureServer {
  public:
    // Starts the server on a free port; port() is 0 when it could not start.
    FixtureServer();
    // Closes the server's input, which ends it, and waits for it.
    ~FixtureServer();
    FixtureServer(const FixtureServer&) = delete;
    FixtureServer& operator=(const FixtureServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>" + path.
    std::string url(const std::string& path) const;
    std::string arcgis() const { return url("/arcgis/rest/services/Fixture/FeatureServer"); }
    std::string ogc() const { return url("/ogc"); }

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    int port_ = 0;
};

// Keeps every HTTP request of the process on the loopback address: no proxy for it.
void BypassProxiesForLoopback();

}  // namespace geotest
