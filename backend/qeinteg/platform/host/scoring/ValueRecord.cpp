#include "qeinteg/platform/host/scoring/ValueRecord.h"

#include <atomic>

namespace MCCommon_910 {

namespace {

uint64_t NextLayoutId() {
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

ValueRecord::ValueRecord(int capacity) : layoutId_(NextLayoutId()) {
    if (capacity > 0) {
        names_.reserve(static_cast<size_t>(capacity));
        values_.reserve(static_cast<size_t>(capacity));
        defaults_.reserve(static_cast<size_t>(capacity));
    }
}

int ValueRecord::AddValue(const std::string& name, const Value& defaultValue) {
    if (Find(name) >= 0)
        return -1;
    names_.push_back(name);
    values_.push_back(defaultValue);
    defaults_.push_back(defaultValue);
    layoutId_ = NextLayoutId();
    return Size() - 1;
}

int ValueRecord::Find(const std::string& name) const {
    for (size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == name)
            return static_cast<int>(i);
    }
    return -1;
}

void ValueRecord::Reset() {
    values_ = defaults_;
}

void ValueRecord::Clear() {
    names_.clear();
    values_.clear();
    defaults_.clear();
    layoutId_ = NextLayoutId();
}

}  // namespace MCCommon_910
