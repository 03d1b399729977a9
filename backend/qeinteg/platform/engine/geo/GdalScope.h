// The settings and error capture around one piece of GDAL work on the calling thread.
//
// While a scope lives, GDAL's HTTP access on this thread uses the given time-out with no retries,
// and GDAL's error messages are collected here instead of being printed. Drivers are registered
// once per process by the first scope. Scopes nest; each restores what it changed.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace qelocal::geo {

class GdalScope final {
  public:
    explicit GdalScope(std::chrono::milliseconds httpTimeout);
    ~GdalScope();
    GdalScope(const GdalScope&) = delete;
    GdalScope& operator=(const GdalScope&) = delete;

    // Failure messages GDAL reported during the scope, oldest first.
    const std::vector<std::string>& errors() const { return errors_; }
    // The last failure message, or `fallback` when there was none.
    std::string lastError(const std::string& fallback) const;

  private:
    void set(const char* key, const std::string& value);

    std::vector<std::pair<std::string, std::string>> saved_;  // key, previous thread-local value
    std::vector<std::string> savedPresent_;                   // keys that had a value
    std::vector<std::string> errors_;
};

}  // namespace qelocal::geo
