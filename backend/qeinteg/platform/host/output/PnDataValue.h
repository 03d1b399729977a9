// A cell text showing one value of a variable of the active dataset: its value label (mode 2, where
// there is one), else the value in the variable's format; numeric or string.
#pragma once

#include <memory>
#include <string>

#include "qeinteg/platform/host/output/PnCellText.h"

class PnDataValue : public PnCellText {
  public:
    PnDataValue(std::string variable, double value, int labelMode)
        : variable_(std::move(variable)), number_(value), mode_(labelMode) {}
    PnDataValue(std::string variable, std::string value, int labelMode)
        : variable_(std::move(variable)),
          string_(std::move(value)),
          isString_(true),
          mode_(labelMode) {}

    std::unique_ptr<PnCellText> Clone() const override;
    std::string Text() const override;

    const std::string& Variable() const { return variable_; }
    bool IsString() const { return isString_; }
    double Number() const { return number_; }
    const std::string& String() const { return string_; }
    int Mode() const { return mode_; }

  private:
    std::string variable_;
    double number_ = 0;
    std::string string_;
    bool isString_ = false;
    int mode_;
};
