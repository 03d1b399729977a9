// Host variable names. The host compares variable names without regard to case: two names are the
// same variable when their upper-case forms are equal. Names here are UTF-8.
#pragma once

#include <string>

class TavoVarName {
  public:
    TavoVarName() = default;
    explicit TavoVarName(std::string name) : name_(std::move(name)) {}

    const std::string& GetVarName() const { return name_; }
    // The name in upper case, as the host compares names: letters of every script that has case
    // are mapped; bytes that are not valid UTF-8 are kept as they are.
    std::string GetUpperVarName() const;

  private:
    std::string name_;
};

// The metadata layer's upper-casing function object, the same mapping as GetUpperVarName.
class CFUpperFuncImpl {
  public:
    std::string operator()(const std::string& name) const {
        return TavoVarName(name).GetUpperVarName();
    }
};
