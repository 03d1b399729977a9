// One value of the host metadata layer: nothing, a 64-bit integer, a real or a UTF-8 text.
#pragma once

#include <cstdint>
#include <string>

class CFDatum {
  public:
    enum Kind { Empty = 0, Integer = 1, Real = 2, Text = 3 };

    CFDatum() = default;
    static CFDatum MakeInteger(int64_t value);
    static CFDatum MakeReal(double value);
    static CFDatum MakeText(std::string value);

    Kind GetKind() const { return kind_; }
    bool IsEmpty() const { return kind_ == Empty; }
    int64_t GetInteger() const { return integer_; }
    double GetReal() const { return real_; }
    const std::string& GetText() const { return text_; }
    // The numeric value of an integer or real datum; 0 otherwise.
    double AsDouble() const;

    // The value as text: integers in decimal, reals in the shortest form that reads back exactly,
    // texts as they are. A width > 0 truncates or blank-pads to that many bytes; -1 keeps the
    // natural length. Empty gives "".
    std::string ToString(int width) const;

    friend bool operator==(const CFDatum& a, const CFDatum& b);

  private:
    Kind kind_ = Empty;
    int64_t integer_ = 0;
    double real_ = 0;
    std::string text_;
};
