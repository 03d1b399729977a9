// The missing values of a field: a range and a list of discrete values, either possibly empty.
#pragma once

#include <vector>

#include "qeinteg/platform/host/metadata/CFRange.h"
#include "qeinteg/platform/host/metadata/CFValue.h"

class CFMissingValues {
  public:
    CFMissingValues() = default;
    // valid: these missing values are in force; nullIsMissing: an absent value counts as missing
    // too.
    CFMissingValues(CFRange range, std::vector<CFValue> values, bool valid, bool nullIsMissing)
        : range_(std::move(range)),
          values_(std::move(values)),
          valid_(valid),
          nullIsMissing_(nullIsMissing) {}

    const CFRange& GetRange() const { return range_; }
    const std::vector<CFValue>& GetValues() const { return values_; }
    bool IsValid() const { return valid_; }
    bool IsNullMissing() const { return nullIsMissing_; }
    bool IsEmpty() const { return range_.IsEmpty() && values_.empty(); }

    friend bool operator==(const CFMissingValues&, const CFMissingValues&) = default;

  private:
    CFRange range_;
    std::vector<CFValue> values_;
    bool valid_ = false;
    bool nullIsMissing_ = false;
};
