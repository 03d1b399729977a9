#include "qeinteg/platform/host/output/PnUTF8String.h"

#include "qeinteg/platform/host/process/ParserMessage.h"

PnUTF8String::PnUTF8String(const std::string& text, bool translate)
    : text_(text), translate_(translate) {}

PnUTF8String::PnUTF8String(const std::string& key, const std::string& value)
    : text_(value), translate_(false), key_(key), form_(2) {}

PnUTF8String::PnUTF8String(const std::string& key, const std::string& value,
                           const std::string& help)
    : text_(value), translate_(false), key_(key), help_(help), form_(3) {}

std::unique_ptr<PnCellText> PnUTF8String::Clone() const {
    return std::make_unique<PnUTF8String>(*this);
}

std::string PnUTF8String::Text() const {
    if (form_ > 1) {
        const std::string translated = qehost::TranslateText(key_);
        return translated != key_ ? translated : text_;
    }
    return translate_ ? qehost::TranslateText(text_) : text_;
}
