// A cell text already in UTF-8 (engine messages, JSON output), optionally translated when shown.
#pragma once

#include <memory>
#include <string>

#include "qeinteg/platform/host/output/PnCellText.h"

class PnUTF8String : public PnCellText {
  public:
    explicit PnUTF8String(const std::string& text, bool translate = true);
    // A keyed text: shows the key's translation when the host has one, else `value`; `help` names
    // the help topic of the text.
    PnUTF8String(const std::string& key, const std::string& value);
    PnUTF8String(const std::string& key, const std::string& value, const std::string& help);

    std::unique_ptr<PnCellText> Clone() const override;
    std::string Text() const override;

    const std::string& RawText() const { return text_; }
    bool Translate() const { return translate_; }
    // The key and help topic of the keyed forms; empty otherwise.
    const std::string& Key() const { return key_; }
    const std::string& Help() const { return help_; }
    // Number of arguments the text was made with: 1 (text), 2 (key, value), 3 (key, value, help).
    int Form() const { return form_; }

  private:
    std::string text_;
    bool translate_;
    std::string key_;
    std::string help_;
    int form_ = 1;
};
