#include "qeinteg/platform/host/output/PnString.h"

#include "qeinteg/platform/host/process/ParserMessage.h"

PnString::PnString(const char* text, bool translate)
    : text_(text != nullptr ? text : ""), translate_(translate) {}

std::unique_ptr<PnCellText> PnString::Clone() const {
    return std::make_unique<PnString>(*this);
}

std::string PnString::Text() const {
    return translate_ ? qehost::TranslateText(text_) : text_;
}
