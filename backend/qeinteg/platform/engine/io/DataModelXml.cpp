#include "qeinteg/platform/engine/io/DataModelXml.h"

#include <charconv>
#include <sstream>

namespace qelocal {

// The layout is the one of docs/data-model-xml.md:
//   <dataModel version="1">
//     <field name=".." measure=".." storage=".." role=".." [label=".."] [format=".."]>
//       <valueLabels><value kind="integer|real|string" value=".." label=".."/>...</valueLabels>
//       <missingValues ...>...</missingValues>
//       <geo type=".." coordinates="2" [wkid=".."] [csname=".."] [isProjected=".."] [wkt=".."]>
//         <envelope leftUpperX=".." leftUpperY=".." rightLowerX=".." rightLowerY=".."/>
//       </geo>
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

std::string DoubleText(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::optional<GeoInfo> GeoOf(pugi::xml_node field) {
    pugi::xml_node node = field.child("geo");
    if (!node)
        return std::nullopt;
    GeoInfo geo;
    geo.type = node.attribute("type").as_string();
    geo.coordinates = node.attribute("coordinates").as_int(2);
    geo.wkid = node.attribute("wkid").as_int(0);
    geo.csName = node.attribute("csname").as_string();
    geo.wkt = node.attribute("wkt").as_string();
    geo.projected = node.attribute("isProjected").as_bool(false);
    if (pugi::xml_node e = node.child("envelope")) {
        geo.envelope = GeoEnvelope{
            e.attribute("leftUpperX").as_double(), e.attribute("leftUpperY").as_double(),
            e.attribute("rightLowerX").as_double(), e.attribute("rightLowerY").as_double()};
    }
    return geo;
}

void AppendGeo(pugi::xml_node field, const GeoInfo& geo) {
    pugi::xml_node node = field.append_child("geo");
    node.append_attribute("type") = geo.type.c_str();
    node.append_attribute("coordinates") = geo.coordinates;
    if (geo.wkid > 0)
        node.append_attribute("wkid") = geo.wkid;
    if (!geo.csName.empty())
        node.append_attribute("csname") = geo.csName.c_str();
    if (geo.hasSystem())
        node.append_attribute("isProjected") = geo.projected ? "true" : "false";
    if (!geo.wkt.empty())
        node.append_attribute("wkt") = geo.wkt.c_str();
    if (geo.envelope) {
        pugi::xml_node e = node.append_child("envelope");
        e.append_attribute("leftUpperX") = DoubleText(geo.envelope->leftUpperX).c_str();
        e.append_attribute("leftUpperY") = DoubleText(geo.envelope->leftUpperY).c_str();
        e.append_attribute("rightLowerX") = DoubleText(geo.envelope->rightLowerX).c_str();
        e.append_attribute("rightLowerY") = DoubleText(geo.envelope->rightLowerY).c_str();
    }
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
        field.geo = GeoOf(node);
        fields.push_back(std::move(field));
    }
    return fields;
}

namespace {

void AppendFields(pugi::xml_node model, const std::vector<EngineField>& fields,
                  const std::vector<std::vector<DistinctValue>>* distinctValues) {
    for (size_t i = 0; i < fields.size(); ++i) {
        const EngineField& field = fields[i];
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
        if (field.geo)
            AppendGeo(node, *field.geo);
        if (distinctValues != nullptr && i < distinctValues->size() &&
            !(*distinctValues)[i].empty()) {
            pugi::xml_node values = node.append_child("values");
            for (const DistinctValue& v : (*distinctValues)[i]) {
                pugi::xml_node value = values.append_child("value");
                value.append_attribute("kind") = v.kind;
                value.append_attribute("value") = v.text.c_str();
            }
        }
    }
}

}  // namespace

void AppendSummaryDataModel(pugi::xml_node parent, const std::vector<EngineField>& fields,
                            const std::vector<std::vector<DistinctValue>>& distinctValues) {
    AppendFields(parent.append_child(kSummaryRoot), fields, &distinctValues);
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
    document.save(
        out, "  ",
        pugi::format_indent | pugi::format_no_empty_element_tags | pugi::format_no_declaration,
        pugi::encoding_utf8);
    return out.str();
}

}  // namespace qelocal
