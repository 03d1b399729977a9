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
    index_.emplace(name, Size());
    names_.push_back(name);
    values_.push_back(defaultValue);
    defaults_.push_back(defaultValue);
    layoutId_ = NextLayoutId();
    return Size() - 1;
}

int ValueRecord::Find(const std::string& name) const {
    auto it = index_.find(name);
    return it == index_.end() ? -1 : it->second;
}

void ValueRecord::Reset() {
    values_ = defaults_;
}

void ValueRecord::Clear() {
    names_.clear();
    values_.clear();
    defaults_.clear();
    index_.clear();
    layoutId_ = NextLayoutId();
}

}  // namespace MCCommon_910
