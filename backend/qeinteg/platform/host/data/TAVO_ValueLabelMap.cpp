#include "qeinteg/platform/host/data/TAVO_ValueLabelMap.h"

namespace {

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

}  // namespace

bool TAVO_ValueLabelMap::GetNextPair(const OBS*& value, const char*& label) {
    const auto& labels = variable_->GetValueLabels();
    if (next_ >= labels.size())
        return false;
    value = labels[next_].value.data();
    label = labels[next_].label.c_str();
    ++next_;
    return true;
}

const char* TAVO_ValueLabelMap::Lookup(double value) const {
    if (variable_->GetType() != 0)
        return nullptr;
    for (const auto& entry : variable_->GetValueLabels()) {
        if (entry.value[0].f == value)
            return entry.label.c_str();
    }
    return nullptr;
}

const char* TAVO_ValueLabelMap::Lookup(std::string_view value) const {
    const int width = variable_->GetType();
    if (width == 0)
        return nullptr;
    const std::string_view wanted = TrimRight(value);
    for (const auto& entry : variable_->GetValueLabels()) {
        const std::string_view text(entry.value[0].s, static_cast<size_t>(width));
        if (TrimRight(text) == wanted)
            return entry.label.c_str();
    }
    return nullptr;
}
