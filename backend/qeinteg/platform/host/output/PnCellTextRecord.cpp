#include "qeinteg/platform/host/output/PnCellTextRecord.h"

#include <cstdio>
#include <typeinfo>

#include "qeinteg/platform/host/output/PnCellText.h"
#include "qeinteg/platform/host/output/PnComposite.h"
#include "qeinteg/platform/host/output/PnDataValue.h"
#include "qeinteg/platform/host/output/PnNumber.h"
#include "qeinteg/platform/host/output/PnString.h"
#include "qeinteg/platform/host/output/PnUTF8String.h"
#include "qeinteg/platform/host/output/PnVariable.h"

namespace qehost {
namespace {

std::string Number(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> Arguments(const TextRecord& r) {
    if (r.kind != "number")
        return r.args;
    return {{"value", Number(r.value)},
            {"format", std::to_string(r.format.width) + "," + std::to_string(r.format.type) + "," +
                           std::to_string(r.format.decimals)}};
}

TextRecord RecordOf(const PnCellText& text) {
    TextRecord r;
    r.text = text.Text();
    if (const auto* s = dynamic_cast<const PnString*>(&text)) {
        r.kind = "string";
        r.args = {{"text", s->RawText()}, {"translate", s->Translate() ? "true" : "false"}};
    } else if (const auto* u = dynamic_cast<const PnUTF8String*>(&text)) {
        r.kind = "utf8";
        if (u->Form() == 1) {
            r.args = {{"text", u->RawText()}};
        } else {
            r.args = {{"key", u->Key()}, {"value", u->RawText()}};
            if (u->Form() == 3)
                r.args.emplace_back("help", u->Help());
        }
    } else if (const auto* n = dynamic_cast<const PnNumber*>(&text)) {
        r.kind = "number";
        r.numeric = true;
        r.value = n->Value();
        r.format = n->Format();
    } else if (const auto* c = dynamic_cast<const PnComposite*>(&text)) {
        r.kind = "composite";
        r.args = {{"template", c->Pattern().Text()}};
        for (const auto& part : c->Parts())
            r.parts.push_back(RecordOf(*part));
    } else if (const auto* v = dynamic_cast<const PnVariable*>(&text)) {
        r.kind = "variable";
        r.args = {{"name", v->Name()}, {"mode", std::to_string(v->Mode())}};
    } else if (const auto* d = dynamic_cast<const PnDataValue*>(&text)) {
        r.kind = "datavalue";
        r.numeric = !d->IsString();
        r.args = {{"variable", d->Variable()},
                  {"value", d->IsString() ? d->String() : Number(d->Number())},
                  {"mode", std::to_string(d->Mode())}};
    } else {
        r.kind = "text";
    }
    return r;
}

TextRecord NumberRecord(double value, const PnFormatSpec& format) {
    TextRecord r;
    r.kind = "number";
    r.numeric = true;
    r.value = value;
    r.format = format;
    r.text = PnNumber(value, format).Text();
    return r;
}

bool SameRecord(const TextRecord& record, const PnCellText& text) {
    if (typeid(text) != typeid(PnUTF8String))
        return RecordOf(text) == record;
    // The fields RecordOf gives a PnUTF8String, compared in place.
    const auto& u = static_cast<const PnUTF8String&>(text);
    if (record.kind != "utf8" || record.numeric || record.value != 0 ||
        record.format != PnFormatSpec() || !record.parts.empty())
        return false;
    const auto& a = record.args;
    const bool sameArgs =
        u.Form() == 1
            ? a.size() == 1 && a[0].first == "text" && a[0].second == u.RawText()
            : a.size() == static_cast<std::size_t>(u.Form()) && a[0].first == "key" &&
                  a[0].second == u.Key() && a[1].first == "value" && a[1].second == u.RawText() &&
                  (u.Form() == 2 || (a[2].first == "help" && a[2].second == u.Help()));
    return sameArgs && record.text == u.Text();
}

}  // namespace qehost
