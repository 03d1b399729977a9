// A record of named values: the input record a model reads and the output record it fills.
//
// Entries are added with a name and a default value; Reset() puts every entry back to its default.
// Entry indexes are stable until Clear(). The layout id changes whenever the list of names does,
// so that a score computer can bind a record's entries to its variables once per layout.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "qeinteg/platform/host/scoring/Value.h"

namespace MCCommon_910 {

class ValueRecord {
  public:
    // `capacity` is a hint of how many entries will be added.
    explicit ValueRecord(int capacity = 0);

    // Appends an entry and returns its index; -1 (nothing added) when the name is already there.
    int AddValue(const std::string& name, const Value& defaultValue);
    int Size() const { return static_cast<int>(values_.size()); }
    // Index of the entry with this name (exact); -1 when none.
    int Find(const std::string& name) const;
    // REQUIRES: 0 <= i < Size() for the accessors below.
    const std::string& GetName(int i) const { return names_.at(i); }
    Value& At(int i) { return values_[static_cast<size_t>(i)]; }
    const Value& At(int i) const { return values_[static_cast<size_t>(i)]; }
    // The entry as a double (Value::GetDouble).
    double GetDouble(int i) const { return values_[static_cast<size_t>(i)].GetDouble(); }

    // Every entry back to its default value.
    void Reset();
    // Removes every entry.
    void Clear();
    uint64_t LayoutId() const { return layoutId_; }

  private:
    std::vector<std::string> names_;
    std::vector<Value> values_;
    std::vector<Value> defaults_;
    std::unordered_map<std::string, int> index_;
    uint64_t layoutId_;
};

}  // namespace MCCommon_910
