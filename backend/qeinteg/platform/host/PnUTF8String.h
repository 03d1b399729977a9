// A cell text already in UTF-8 (engine messages, JSON output), optionally translated when shown.
#pragma once

#include <memory>
#include <string>

#include "qeinteg/platform/host/PnCellText.h"

class PnUTF8String : public PnCellText {
  public:
    explicit PnUTF8String(const std::string& text, bool translate = true);

    std::unique_ptr<PnCellText> Clone() const override;
    std::string Text() const override;

    const std::string& RawText() const { return text_; }
    bool Translate() const { return translate_; }

  private:
    std::string text_;
    bool translate_;
};
