// One value of a scoring record: missing, an integer, a double or a string.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "qeinteg/platform/host/scoring/MCMV.h"

namespace MCCommon_910 {

class Value {
  public:
    // The value type codes, also those of IMCVariable::GetValueType.
    enum Type { Missing = 0, Integer = 1, Double = 2, String = 3 };

    Value() = default;
    // A double equal to the missing value (or NaN) makes a missing value.
    explicit Value(double number) { SetDouble(number); }
    explicit Value(int64_t number) { SetInteger(number); }
    explicit Value(std::string_view text) { SetString(text); }
    explicit Value(const char* text) { SetString(text == nullptr ? "" : text); }

    Type GetType() const { return type_; }
    bool IsMissing() const { return type_ == Missing; }

    // The number: a double as it is, an integer converted; the missing value for a string or a
    // missing value.
    double GetDouble() const {
        if (type_ == Double)
            return number_;
        return type_ == Integer ? static_cast<double>(integer_) : MCMV::Missing();
    }
    // The integer: a double truncated toward zero; 0 for anything else.
    int64_t GetInteger() const;
    // The text of a string value; empty for any other type.
    const std::string& GetString() const { return text_; }

    void SetMissing() { type_ = Missing; }
    void SetDouble(double number) {
        type_ = MCMV::IsMissing(number) ? Missing : Double;
        number_ = number;
    }
    void SetInteger(int64_t number) {
        type_ = Integer;
        integer_ = number;
    }
    void SetString(std::string_view text) {
        type_ = String;
        text_.assign(text.data(), text.size());
    }

  private:
    Type type_ = Missing;
    double number_ = 0;
    int64_t integer_ = 0;
    std::string text_;
};

}  // namespace MCCommon_910
