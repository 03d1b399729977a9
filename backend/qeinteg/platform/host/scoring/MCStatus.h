// The outcome of a model-scoring library call: OK, a warning (the call did its work, with a
// remark), or an error (the call did not do its work). The message says why.
#pragma once

#include <string>
#include <utility>

namespace MCCommon_910 {

class MCStatus {
  public:
    enum Code { OK = 0, Warning = 1, Error = 2 };

    MCStatus() = default;
    MCStatus(Code code, std::string message) : code_(code), message_(std::move(message)) {}
    static MCStatus Ok() { return MCStatus(); }
    static MCStatus Fail(std::string message) { return MCStatus(Error, std::move(message)); }

    Code GetCode() const { return code_; }
    bool IsOK() const { return code_ == OK; }
    bool IsWarning() const { return code_ == Warning; }
    bool IsError() const { return code_ == Error; }
    const std::string& GetMessage() const { return message_; }

  private:
    Code code_ = OK;
    std::string message_;
};

}  // namespace MCCommon_910
