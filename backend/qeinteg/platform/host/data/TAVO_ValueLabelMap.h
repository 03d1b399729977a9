// Walks and searches the value labels of one host variable.
#pragma once

#include <cstddef>
#include <string_view>

#include "qeinteg/platform/host/data/HostValues.h"
#include "qeinteg/platform/host/data/TAVO_Variable.h"

class TAVO_ValueLabelMap {
  public:
    // The variable must outlive the map.
    explicit TAVO_ValueLabelMap(const TAVO_Variable& variable) : variable_(&variable) {}

    void Reset() { next_ = 0; }
    // The next pair, or false when there is none. value points at the value's slots (a number, or
    // the variable's width of string bytes); both stay valid while the variable is unchanged.
    bool GetNextPair(const OBS*& value, const char*& label);
    size_t Count() const { return variable_->GetValueLabels().size(); }

    // The label of a numeric value, or null.
    const char* Lookup(double value) const;
    // The label of a string value (trailing blanks ignored), or null.
    const char* Lookup(std::string_view value) const;

  private:
    const TAVO_Variable* variable_;
    size_t next_ = 0;
};
