#include "qeinteg/platform/engine/io/DataModelXml.h"

#include <sstream>

namespace qelocal {

// The layout is the one of docs/data-model-xml.md:
//   <dataModel version="1">
//     <field name=".." measure=".." storage=".." role=".." [label=".."] [format=".."]>
//       <valueLabels><value kind="integer|real|string" value=".." label=".."/>...</valueLabels>
//       <missingValues ...>...</missingValues>
//     </field>
//   </dataModel>
// The summary document embeds the same fields under <DataModel>, each with its distinct values as
// <values><value kind=".." value=".."/>...</values>.

namespace {

constexpr const char* kRoot = "dataModel";
constexpr const char* kSummaryRoot = "DataModel";
constexpr int kVersion = 1;

// The children that the engine does not interpret, serialised for passing through.
std::string DetailOf(pugi::xml_node field) {
    std::ostringstream out;
    for (pugi::xml_node child : field.children()) {
        if (child.type() != pugi::node_element)
            continue;
        const std::string name = child.name();
        if (name == "valueLabels" || name == "missingValues") {
            child.print(out, "", pugi::format_raw);
        }
    }
    return out.str();
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
    // A data model file, or the section cut out of a summary document.
    pugi::xml_node model = document.child(kRoot);
    if (!model)
        model = document.child(kSummaryRoot);
    if (!model)
        throw EngineError("the data model has no dataModel element");
    if (model.attribute("version").as_int(0) > kVersion) {
        throw EngineError("the data model has version " +
                          std::string(model.attribute("version").as_string()) +
                          ", which this engine cannot read");
    }
    std::vector<EngineField> fields;
    for (pugi::xml_node node : model.children("field")) {
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
        // An empty role is the default role, as the writer has it: a model reads back the same.
        if (pugi::xml_attribute role = node.attribute("role"); role && *role.as_string() != '\0')
            field.role = role.as_string();
        field.label = node.attribute("label").as_string();
        field.format = node.attribute("format").as_string();
        field.detailXml = DetailOf(node);
        fields.push_back(std::move(field));
    }
    return fields;
}

namespace {

void AppendField(pugi::xml_node model, const EngineField& field,
                 const std::vector<DistinctValue>* values) {
    pugi::xml_node node = model.append_child("field");
    node.append_attribute("name") = field.name.c_str();
    node.append_attribute("measure") = MeasureText(field.measure);
    node.append_attribute("storage") =
        StorageText(field.storage == Storage::Unknown ? Storage::String : field.storage);
    node.append_attribute("role") = field.role.empty() ? "input" : field.role.c_str();
    if (!field.label.empty())
        node.append_attribute("label") = field.label.c_str();
    if (!field.format.empty())
        node.append_attribute("format") = field.format.c_str();
    if (!field.detailXml.empty()) {
        pugi::xml_document detail;
        if (detail.load_buffer(field.detailXml.data(), field.detailXml.size(),
                               pugi::parse_default | pugi::parse_fragment)) {
            for (pugi::xml_node child : detail.children())
                node.append_copy(child);
        }
    }
    if (values != nullptr && !values->empty()) {
        pugi::xml_node list = node.append_child("values");
        for (const DistinctValue& v : *values) {
            pugi::xml_node value = list.append_child("value");
            value.append_attribute("kind") = v.kind;
            value.append_attribute("value") = v.text.c_str();
        }
    }
}

void AppendFields(pugi::xml_node model, const std::vector<EngineField>& fields,
                  const std::vector<std::vector<DistinctValue>>* distinctValues) {
    for (size_t i = 0; i < fields.size(); ++i) {
        AppendField(model, fields[i],
                    distinctValues != nullptr && i < distinctValues->size() ? &(*distinctValues)[i]
                                                                            : nullptr);
    }
}

constexpr unsigned kXmlFormat =
    pugi::format_indent | pugi::format_no_empty_element_tags | pugi::format_no_declaration;

void Write(pugi::xml_writer& out, std::string_view text) {
    out.write(text.data(), text.size());
}

}  // namespace

void AppendSummaryDataModel(pugi::xml_node parent, const std::vector<EngineField>& fields,
                            const std::vector<std::vector<DistinctValue>>& distinctValues) {
    AppendFields(parent.append_child(kSummaryRoot), fields, &distinctValues);
}

void PrintXmlNode(pugi::xml_writer& out, pugi::xml_node node, unsigned depth) {
    node.print(out, "  ", kXmlFormat, pugi::encoding_utf8, depth);
}

void WriteSummaryDataModel(pugi::xml_writer& out, const std::vector<EngineField>& fields,
                           const std::function<std::vector<DistinctValue>(size_t)>& valuesOf) {
    if (fields.empty()) {
        Write(out, "  <DataModel></DataModel>\n");
        return;
    }
    Write(out, "  <DataModel>\n");
    for (size_t i = 0; i < fields.size(); ++i) {
        pugi::xml_document one;
        const std::vector<DistinctValue> values = valuesOf(i);
        AppendField(one, fields[i], &values);
        PrintXmlNode(out, one.first_child(), 2);
    }
    Write(out, "  </DataModel>\n");
}

std::string DataModelDocument(const std::vector<EngineField>& fields) {
    pugi::xml_document document;
    pugi::xml_node model = document.append_child(kRoot);
    model.append_attribute("version") = kVersion;
    AppendFields(model, fields, nullptr);
    return SerializeXml(document);
}

std::string SerializeXml(const pugi::xml_document& document) {
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    document.save(out, "  ", kXmlFormat, pugi::encoding_utf8);
    return out.str();
}

}  // namespace qelocal
