#include "qeinteg/platform/host/metadata/CFDatum.h"

#include <charconv>
#include <cmath>

CFDatum CFDatum::MakeInteger(int64_t value) {
    CFDatum d;
    d.kind_ = Integer;
    d.integer_ = value;
    return d;
}

CFDatum CFDatum::MakeReal(double value) {
    CFDatum d;
    d.kind_ = Real;
    d.real_ = value;
    return d;
}

CFDatum CFDatum::MakeText(std::string value) {
    CFDatum d;
    d.kind_ = Text;
    d.text_ = std::move(value);
    return d;
}

double CFDatum::AsDouble() const {
    switch (kind_) {
        case Integer:
            return static_cast<double>(integer_);
        case Real:
            return real_;
        default:
            return 0;
    }
}

std::string CFDatum::ToString(int width) const {
    std::string out;
    switch (kind_) {
        case Empty:
            break;
        case Integer:
            out = std::to_string(integer_);
            break;
        case Real: {
            char buffer[64];
            const auto result = std::to_chars(buffer, buffer + sizeof buffer, real_);
            out.assign(buffer, result.ptr);
            break;
        }
        case Text:
            out = text_;
            break;
    }
    if (width > 0)
        out.resize(static_cast<size_t>(width), ' ');
    return out;
}

bool operator==(const CFDatum& a, const CFDatum& b) {
    if (a.kind_ != b.kind_)
        return false;
    switch (a.kind_) {
        case CFDatum::Empty:
            return true;
        case CFDatum::Integer:
            return a.integer_ == b.integer_;
        case CFDatum::Real:
            return a.real_ == b.real_ || (std::isnan(a.real_) && std::isnan(b.real_));
        case CFDatum::Text:
            return a.text_ == b.text_;
    }
    return false;
}
