// A closed range of values; either limit may be absent (an empty datum).
#pragma once

#include "qeinteg/platform/host/metadata/CFDatum.h"

class CFRange {
  public:
    CFRange() = default;
    CFRange(CFDatum lower, CFDatum upper) : lower_(std::move(lower)), upper_(std::move(upper)) {}

    const CFDatum& GetLower() const { return lower_; }
    const CFDatum& GetUpper() const { return upper_; }
    bool HasLower() const { return !lower_.IsEmpty(); }
    bool HasUpper() const { return !upper_.IsEmpty(); }
    bool IsEmpty() const { return lower_.IsEmpty() && upper_.IsEmpty(); }

    friend bool operator==(const CFRange&, const CFRange&) = default;

  private:
    CFDatum lower_;
    CFDatum upper_;
};
