// A value with its label, as a value label or a discrete missing value of a field.
#pragma once

#include <string>

#include "qeinteg/platform/host/metadata/CFDatum.h"

class CFValue {
  public:
    CFValue() = default;
    CFValue(CFDatum datum, std::string label, int flag, int partition)
        : datum_(std::move(datum)), label_(std::move(label)), flag_(flag), partition_(partition) {}

    const CFDatum& GetDatum() const { return datum_; }
    const std::string& GetLabel() const { return label_; }
    int GetFlag() const { return flag_; }
    int GetPartition() const { return partition_; }

    friend bool operator==(const CFValue&, const CFValue&) = default;

  private:
    CFDatum datum_;
    std::string label_;
    int flag_ = 0;
    int partition_ = 0;
};
