// Settings of a score computer's creation, and the place where the factory leaves the reason of a
// failure.
#pragma once

#include <string>

namespace MCXML_910 {

class MCSettings {
  public:
    // Why the last creation with these settings failed; empty after a success.
    const std::string& GetErrorMessage() const { return error_; }
    void SetErrorMessage(std::string message) { error_ = std::move(message); }

  private:
    std::string error_;
};

}  // namespace MCXML_910
