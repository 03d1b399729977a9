#include "qeinteg/platform/host/data/TAVO_Variable.h"

#include <algorithm>
#include <cstring>

namespace {

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

}  // namespace

TAVO_Variable::TAVO_Variable(std::string name, int type)
    : name_(std::move(name)), type_(std::clamp(type, 0, 32767)) {
    if (type_ > 0) {
        format_ = TAVO_Format{TAVO_Format::A, type_, 0};
        level_ = TAVO_Variable_Enumerations::Nominal;
    }
}

bool TAVO_Variable::SetFormat(const TAVO_Format& format) {
    if (format.IsString() != (type_ > 0))
        return false;
    format_ = format;
    // A string's format is as wide as the string: readers take that many bytes of a value.
    if (type_ > 0)
        format_.width = type_;
    return true;
}

void TAVO_Variable::AddValueLabel(double value, std::string label) {
    for (ValueLabel& existing : valueLabels_) {
        if (existing.value.size() == 1 && existing.value[0].f == value) {
            existing.label = std::move(label);
            return;
        }
    }
    ValueLabel entry;
    entry.value.resize(1);
    entry.value[0].f = value;
    entry.label = std::move(label);
    valueLabels_.push_back(std::move(entry));
}

void TAVO_Variable::AddValueLabel(std::string_view value, std::string label) {
    const size_t width = type_ > 0 ? static_cast<size_t>(type_) : 8;
    std::vector<OBS> slots((width + 7) / 8);
    char* bytes = slots[0].s;
    std::memset(bytes, ' ', slots.size() * 8);
    std::memcpy(bytes, value.data(), std::min(value.size(), width));
    for (ValueLabel& existing : valueLabels_) {
        if (existing.value.size() == slots.size() &&
            std::memcmp(existing.value.data(), slots.data(), slots.size() * 8) == 0) {
            existing.label = std::move(label);
            return;
        }
    }
    valueLabels_.push_back(ValueLabel{std::move(slots), std::move(label)});
}

void TAVO_Variable::GetMissingValues(int& count, OBS values[3]) const {
    count = missingCount_;
    for (int i = 0; i < 3; ++i) {
        if (type_ > 0) {
            std::memset(values[i].s, ' ', 8);
            if (static_cast<size_t>(i) < stringMissing_.size()) {
                std::memcpy(values[i].s, stringMissing_[i].data(),
                            std::min<size_t>(8, stringMissing_[i].size()));
            }
        } else {
            values[i].f = missing_[i];
        }
    }
}

bool TAVO_Variable::SetMissingValues(const std::vector<double>& discrete) {
    if (type_ != 0 || discrete.size() > 3)
        return false;
    ClearMissingValues();
    for (size_t i = 0; i < discrete.size(); ++i)
        missing_[i] = discrete[i];
    missingCount_ = static_cast<int>(discrete.size());
    return true;
}

bool TAVO_Variable::SetMissingRange(double low, double high) {
    if (type_ != 0 || low > high)
        return false;
    ClearMissingValues();
    missing_[0] = low;
    missing_[1] = high;
    missingCount_ = -2;
    return true;
}

bool TAVO_Variable::SetMissingRange(double low, double high, double discrete) {
    if (!SetMissingRange(low, high))
        return false;
    missing_[2] = discrete;
    missingCount_ = -3;
    return true;
}

bool TAVO_Variable::SetStringMissingValues(const std::vector<std::string>& texts) {
    if (type_ == 0 || texts.size() > 3)
        return false;
    ClearMissingValues();
    for (const std::string& text : texts) {
        stringMissing_.emplace_back(TrimRight(text.substr(0, std::max(8, type_))));
    }
    missingCount_ = static_cast<int>(texts.size());
    return true;
}

void TAVO_Variable::ClearMissingValues() {
    missingCount_ = 0;
    missing_[0] = missing_[1] = missing_[2] = 0;
    stringMissing_.clear();
}

bool TAVO_Variable::IsMissingSlow(double value) const {
    if (type_ != 0 || value == SYSMIS)
        return false;
    switch (missingCount_) {
        case -3:
            return (value >= missing_[0] && value <= missing_[1]) || value == missing_[2];
        case -2:
            return value >= missing_[0] && value <= missing_[1];
        default:
            for (int i = 0; i < missingCount_; ++i) {
                if (value == missing_[i])
                    return true;
            }
            return false;
    }
}

bool TAVO_Variable::IsMissingSlow(const char* value) const {
    if (type_ == 0)
        return false;
    const std::string_view text = TrimRight(std::string_view(value, static_cast<size_t>(type_)));
    for (const std::string& missing : stringMissing_) {
        if (text == missing)
            return true;
    }
    return false;
}

TAVO_Variable TAVO_Variable::WithWidth(int width) const {
    if (type_ == 0)
        return *this;
    TAVO_Variable copy(*this);
    copy.type_ = std::clamp(width, 1, 32767);
    copy.format_.width = copy.type_;
    copy.valueLabels_.clear();
    for (const ValueLabel& entry : valueLabels_) {
        const std::string_view text =
            TrimRight(std::string_view(entry.value[0].s, static_cast<size_t>(type_)));
        copy.AddValueLabel(text, entry.label);
    }
    return copy;
}
