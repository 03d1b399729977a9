#include "qeinteg/output/PivotCellText.h"

#include "qeinteg/output/OutputJson.h"
#include "qeinteg/output/OutputVariables.h"
#include "qeinteg/output/PivotCellFormat.h"
#include "qeinteg/output/dataDictionary.h"
#include "qeinteg/platform/host/output/PnCellText.h"
#include "qeinteg/platform/host/output/PnComposite.h"
#include "qeinteg/platform/host/output/PnDataValue.h"
#include "qeinteg/platform/host/output/PnNumber.h"
#include "qeinteg/platform/host/output/PnString.h"
#include "qeinteg/platform/host/output/PnUTF8String.h"
#include "qeinteg/platform/host/output/PnVariable.h"
#include "qeinteg/platform/host/text/HostFormat.h"

namespace qeinteg::output {
namespace {

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

}  // namespace

PivotCellText::PivotCellText(OutputJson& json, const ProcedureDataSource* dataSource,
                             const dataDictionary& dictionary)
    : json_(json), dataSource_(dataSource), dictionary_(dictionary) {}

std::optional<std::string> PivotCellText::StorageText(const dataField& field, double value) {
    const std::string& storage = field.getStorage();
    if (storage == "date") {
        return Trim(qehost::ValueToText(value * 86400 + qehost::kDateOriginShift, {40, 39, 0}));
    }
    if (storage == "time")
        return Trim(qehost::ValueToText(value, {40, 21, 0}));
    if (storage.rfind("time", 0) == 0) {
        return Trim(qehost::ValueToText(value + qehost::kDateOriginShift, {40, 22, 0}));
    }
    return std::nullopt;
}

std::unique_ptr<PnCellText> PivotCellText::StringText(jobject node) {
    const std::string k = json_.String(node, "key");
    const std::string v = json_.String(node, "value");
    const std::string h = json_.String(node, "helpId");
    if (translate_) {
        if (!k.empty())
            return std::make_unique<PnString>(k.c_str(), true);
        if (v.empty())
            return std::make_unique<PnUTF8String>(" ");
        if (!h.empty())
            return std::make_unique<PnUTF8String>(v, v, h);
        return std::make_unique<PnUTF8String>(v);
    }
    if (v.empty()) {
        if (k.empty())
            return std::make_unique<PnUTF8String>(" ");
        if (!h.empty())
            return std::make_unique<PnUTF8String>(k, k, h);
        return std::make_unique<PnUTF8String>(k, k);
    }
    if (!k.empty()) {
        if (!h.empty())
            return std::make_unique<PnUTF8String>(k, v, h);
        return std::make_unique<PnUTF8String>(k, v);
    }
    if (!h.empty())
        return std::make_unique<PnUTF8String>(v, v, h);
    return std::make_unique<PnUTF8String>(v);
}

std::unique_ptr<PnCellText> PivotCellText::CellText(jobject cellText) {
    jobject text = json_.Get(cellText, "text");
    if (!json_.IsObject(text))
        return nullptr;
    if (jobject n = json_.Get(text, "stringText"); json_.IsObject(n))
        return StringText(n);
    if (jobject n = json_.Get(text, "numericText"); json_.IsObject(n)) {
        auto [value, format] = DisplayedNumber(json_.Double(json_.Get(n, "value")),
                                               ReadCellFormat(json_, json_.Get(n, "format")));
        return std::make_unique<PnNumber>(value, format);
    }
    if (jobject n = json_.Get(text, "variableText"); json_.IsObject(n)) {
        const std::string name = json_.String(n, "variable");
        if (FindVariable(dataSource_, name).found)
            return std::make_unique<PnVariable>(name, 2);
        if (dictionary_.hasField(name)) {
            const std::string label = dictionary_.getField(name).getLabel();
            if (!label.empty())
                return std::make_unique<PnUTF8String>(label);
        }
        return std::make_unique<PnUTF8String>(name);
    }
    if (jobject n = json_.Get(text, "numericDataText"); json_.IsObject(n)) {
        const std::string name = json_.String(n, "variable");
        const double value = json_.Double(json_.Get(n, "value"));
        const HostVariable variable = FindVariable(dataSource_, name);
        if (variable.found) {
            return std::make_unique<PnDataValue>(name,
                                                 HostValueForType(variable.format.type, value), 2);
        }
        if (dictionary_.hasField(name)) {
            if (auto shown = StorageText(dictionary_.getField(name), value)) {
                return std::make_unique<PnUTF8String>(*shown);
            }
        }
        return std::make_unique<PnNumber>(value, PnFormatSpec(40, 40, 3));
    }
    if (jobject n = json_.Get(text, "stringDataText"); json_.IsObject(n)) {
        const std::string name = json_.String(n, "variable");
        const std::string value = json_.String(n, "value");
        if (FindVariable(dataSource_, name).found) {
            return std::make_unique<PnDataValue>(name, value, 2);
        }
        return std::make_unique<PnUTF8String>(value);
    }
    if (jobject n = json_.Get(text, "compositeText"); json_.IsObject(n)) {
        jobject children = json_.Get(n, "children");
        const int count = json_.Size(children);
        std::string pattern;
        for (int i = 1; i <= count; ++i)
            pattern += "^" + std::to_string(i);
        auto composite = std::make_unique<PnComposite>(PnString(pattern.c_str(), false));
        for (int i = 0; i < count; ++i) {
            // A child without text still takes its place, so later parts keep their numbers.
            std::unique_ptr<PnCellText> child = CellText(json_.At(children, i));
            if (child) {
                composite->Add(*child);
            } else {
                composite->Add(PnUTF8String(""));
            }
        }
        composite->Finish();
        return composite;
    }
    return nullptr;
}

std::string PivotCellText::PlainText(jobject cellText) {
    jobject text = json_.Get(cellText, "text");
    if (!json_.IsObject(text))
        return {};
    if (jobject n = json_.Get(text, "stringText"); json_.IsObject(n)) {
        std::string v = json_.String(n, "value");
        return v.empty() ? json_.String(n, "key") : v;
    }
    if (jobject n = json_.Get(text, "numericText"); json_.IsObject(n)) {
        auto [value, format] = DisplayedNumber(json_.Double(json_.Get(n, "value")),
                                               ReadCellFormat(json_, json_.Get(n, "format")));
        return Trim(qehost::ValueToText(value, format));
    }
    if (jobject n = json_.Get(text, "variableText"); json_.IsObject(n)) {
        const std::string name = json_.String(n, "variable");
        const HostVariable variable = FindVariable(dataSource_, name);
        if (variable.found)
            return variable.label;
        if (dictionary_.hasField(name)) {
            const std::string label = dictionary_.getField(name).getLabel();
            if (!label.empty())
                return label;
        }
        return name;
    }
    if (jobject n = json_.Get(text, "numericDataText"); json_.IsObject(n)) {
        const std::string name = json_.String(n, "variable");
        const double value = json_.Double(json_.Get(n, "value"));
        const HostVariable variable = FindVariable(dataSource_, name);
        if (variable.found) {
            std::string label = qeinteg::output::VariableValueLabel(dataSource_, name, value);
            if (!label.empty())
                return label;
            return Trim(qehost::ValueToText(HostValueForType(variable.format.type, value),
                                            variable.format));
        }
        const dataField field = dictionary_.getField(name);
        std::string label = field.getValueLabel(value);
        if (!label.empty())
            return label;
        if (field.getStorage() == "date" || field.getStorage() == "time") {
            return *StorageText(field, value);
        }
        if (field.getStorage() == "timestamp") {
            return Trim(qehost::ValueToText(value + qehost::kDateOriginShift, {40, 22, 0}));
        }
        return Trim(qehost::ValueToText(value, {40, 40, 3}));
    }
    if (jobject n = json_.Get(text, "stringDataText"); json_.IsObject(n)) {
        return json_.String(n, "value");
    }
    if (jobject n = json_.Get(text, "compositeText"); json_.IsObject(n)) {
        jobject children = json_.Get(n, "children");
        std::string joined;
        for (int i = 0, count = json_.Size(children); i < count; ++i) {
            joined += PlainText(json_.At(children, i));
        }
        return joined;
    }
    return {};
}

}  // namespace qeinteg::output
