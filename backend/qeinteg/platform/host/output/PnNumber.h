// A number cell text, shown with a host display format.
#pragma once

#include <memory>
#include <string>

#include "qeinteg/platform/host/output/PnCellText.h"
#include "qeinteg/platform/host/output/PnFormatSpec.h"

class PnNumber : public PnCellText {
  public:
    PnNumber(double value, PnFormatSpec format) : value_(value), format_(format) {}

    std::unique_ptr<PnCellText> Clone() const override;
    std::string Text() const override;

    double Value() const { return value_; }
    const PnFormatSpec& Format() const { return format_; }

  private:
    double value_;
    PnFormatSpec format_;
};
