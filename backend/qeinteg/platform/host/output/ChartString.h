// A text handed to the chart facility, either in the host's code page (native) or in UTF-8.
#pragma once

#include <string>

class ChartString {
  public:
    static ChartString Native(std::string text) { return ChartString(std::move(text), true); }
    static ChartString UTF8(std::string text) { return ChartString(std::move(text), false); }

    const std::string& Text() const { return text_; }
    bool IsNative() const { return native_; }

  private:
    ChartString(std::string text, bool native) : text_(std::move(text)), native_(native) {}
    std::string text_;
    bool native_;
};
