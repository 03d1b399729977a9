// A list of a score computer's variables. The list does not own them: they live as long as the
// score computer that filled it.
#pragma once

#include <vector>

#include "qeinteg/platform/host/scoring/IMCVariable.h"

namespace MCXML_910 {

class MCVarList {
  public:
    int Count() const { return static_cast<int>(variables_.size()); }
    // REQUIRES: 0 <= i < Count().
    const IMCVariable* Get(int i) const { return variables_.at(static_cast<size_t>(i)); }
    void Add(const IMCVariable* variable) { variables_.push_back(variable); }
    void Clear() { variables_.clear(); }

  private:
    std::vector<const IMCVariable*> variables_;
};

}  // namespace MCXML_910
