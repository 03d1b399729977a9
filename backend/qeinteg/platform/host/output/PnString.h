// A cell text in the host's code page, optionally translated through the host's message catalogue
// when it is shown.
#pragma once

#include <memory>
#include <string>

#include "qeinteg/platform/host/output/PnCellText.h"

class PnString : public PnCellText {
  public:
    // A null text is taken as empty.
    PnString(const char* text, bool translate);

    std::unique_ptr<PnCellText> Clone() const override;
    std::string Text() const override;

    // The text as given, before translation.
    const std::string& RawText() const { return text_; }
    bool Translate() const { return translate_; }

  private:
    std::string text_;
    bool translate_;
};
