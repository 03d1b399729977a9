#include "qeinteg/platform/engine/DataModelXml.h"

#include <cstdlib>
#include <sstream>

namespace qelocal {

namespace {

bool ParseDouble(const char* text, double& out) {
    if (text == nullptr || *text == '\0')
        return false;
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0';
}

}  // namespace

const char* StorageText(Storage storage) {
    switch (storage) {
        case Storage::Integer:
            return "integer";
        case Storage::Real:
            return "real";
        case Storage::String:
            return "string";
        case Storage::Date:
            return "date";
        case Storage::Time:
            return "time";
        case Storage::Timestamp:
            return "timestamp";
        default:
            return "unknown";
    }
}

const char* MeasureText(Measure measure) {
    switch (measure) {
        case Measure::Continuous:
            return "continuous";
        case Measure::Nominal:
            return "nominal";
        case Measure::Ordinal:
            return "ordinal";
        case Measure::Flag:
            return "flag";
        case Measure::Discrete:
            return "discrete";
        default:
            return "typeless";
    }
}

Storage StorageFromText(std::string_view text) {
    for (Storage s : {Storage::Integer, Storage::Real, Storage::String, Storage::Date,
                      Storage::Time, Storage::Timestamp}) {
        if (text == StorageText(s))
            return s;
    }
    return Storage::Unknown;
}

Measure MeasureFromText(std::string_view text) {
    for (Measure m : {Measure::Continuous, Measure::Nominal, Measure::Ordinal, Measure::Flag,
                      Measure::Discrete}) {
        if (text == MeasureText(m))
            return m;
    }
    return Measure::Typeless;
}

std::vector<EngineField> ParseDataModelXml(const std::string& xml) {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer(xml.data(), xml.size());
    if (!parsed) {
        throw EngineError(std::string("the data model is not well-formed XML: ") +
                          parsed.description());
    }
    pugi::xml_node model = document.child("DataModel");
    if (!model)
        throw EngineError("the data model has no <DataModel> element");
    std::vector<EngineField> fields;
    for (pugi::xml_node node : model.children("Field")) {
        EngineField field;
        field.name = node.attribute("name").as_string();
        if (field.name.empty())
            throw EngineError("a data model field has no name");
        field.storage = StorageFromText(node.attribute("storage").as_string());
        if (field.storage == Storage::Unknown) {
            throw EngineError("data model field '" + field.name + "' has an unknown storage '" +
                              node.attribute("storage").as_string() + "'");
        }
        field.measure = MeasureFromText(node.attribute("measure").as_string());
        if (pugi::xml_attribute role = node.attribute("role"))
            field.role = role.as_string();
        field.label = node.attribute("label").as_string();
        for (pugi::xml_node v : node.child("ValueLabels").children("ValueLabel")) {
            field.valueLabels.push_back(
                {v.attribute("value").as_string(), v.attribute("label").as_string()});
        }
        pugi::xml_node missing = node.child("MissingValues");
        for (pugi::xml_node v : missing.children("Value")) {
            field.missingValues.push_back(v.text().as_string());
        }
        if (pugi::xml_node range = missing.child("Range")) {
            field.hasMissingRange =
                ParseDouble(range.attribute("low").as_string(), field.missingLow) &&
                ParseDouble(range.attribute("high").as_string(), field.missingHigh);
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

void AppendDataModel(pugi::xml_node parent, const std::vector<EngineField>& fields,
                     const std::vector<std::vector<std::string>>* distinctValues) {
    pugi::xml_node model = parent.append_child("DataModel");
    for (size_t i = 0; i < fields.size(); ++i) {
        const EngineField& field = fields[i];
        pugi::xml_node node = model.append_child("Field");
        node.append_attribute("name") = field.name.c_str();
        node.append_attribute("storage") = StorageText(field.storage);
        node.append_attribute("measure") = MeasureText(field.measure);
        node.append_attribute("role") = field.role.c_str();
        if (!field.label.empty())
            node.append_attribute("label") = field.label.c_str();
        if (!field.valueLabels.empty()) {
            pugi::xml_node labels = node.append_child("ValueLabels");
            for (const ValueLabel& v : field.valueLabels) {
                pugi::xml_node label = labels.append_child("ValueLabel");
                label.append_attribute("value") = v.value.c_str();
                label.append_attribute("label") = v.label.c_str();
            }
        }
        if (!field.missingValues.empty() || field.hasMissingRange) {
            pugi::xml_node missing = node.append_child("MissingValues");
            for (const std::string& v : field.missingValues) {
                missing.append_child("Value").text() = v.c_str();
            }
            if (field.hasMissingRange) {
                pugi::xml_node range = missing.append_child("Range");
                range.append_attribute("low") = field.missingLow;
                range.append_attribute("high") = field.missingHigh;
            }
        }
        if (distinctValues != nullptr && i < distinctValues->size() &&
            !(*distinctValues)[i].empty()) {
            pugi::xml_node values = node.append_child("Values");
            for (const std::string& v : (*distinctValues)[i]) {
                values.append_child("Value").text() = v.c_str();
            }
        }
    }
}

std::string DataModelDocument(const std::vector<EngineField>& fields) {
    pugi::xml_document document;
    AppendDataModel(document, fields);
    return SerializeXml(document);
}

std::string SerializeXml(const pugi::xml_document& document) {
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    document.save(
        out, "  ",
        pugi::format_indent | pugi::format_no_empty_element_tags | pugi::format_no_declaration,
        pugi::encoding_utf8);
    return out.str();
}

}  // namespace qelocal
