#include "qeinteg/platform/host/PnUTF8String.h"

#include "qeinteg/platform/host/ParserMessage.h"

PnUTF8String::PnUTF8String(const std::string& text, bool translate)
    : text_(text), translate_(translate) {}

std::unique_ptr<PnCellText> PnUTF8String::Clone() const {
    return std::make_unique<PnUTF8String>(*this);
}

std::string PnUTF8String::Text() const {
    return translate_ ? qehost::TranslateText(text_) : text_;
}
