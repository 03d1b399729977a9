#include "qeinteg/platform/host/metadata/CFMetaData.h"

#include <pugixml.hpp>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

constexpr const char* kRoot = "dataModel";
constexpr int kVersion = 1;

void WriteDatum(pugi::xml_node node, const CFDatum& datum) {
    switch (datum.GetKind()) {
        case CFDatum::Integer:
            node.append_attribute("kind") = "integer";
            break;
        case CFDatum::Real:
            node.append_attribute("kind") = "real";
            break;
        case CFDatum::Text:
            node.append_attribute("kind") = "string";
            break;
        case CFDatum::Empty:
            return;
    }
    node.append_attribute("value") = datum.ToString(-1).c_str();
}

bool ReadDatum(pugi::xml_node node, CFDatum& datum, std::string& error) {
    const std::string kind = node.attribute("kind").as_string();
    const char* text = node.attribute("value").as_string();
    const char* end = text + std::strlen(text);
    if (kind == "integer") {
        int64_t value = 0;
        const auto r = std::from_chars(text, end, value);
        if (r.ec != std::errc() || r.ptr != end) {
            error = "bad integer value '" + std::string(text) + "'";
            return false;
        }
        datum = CFDatum::MakeInteger(value);
    } else if (kind == "real") {
        double value = 0;
        const auto r = std::from_chars(text, end, value);
        if (r.ec != std::errc() || r.ptr != end) {
            error = "bad real value '" + std::string(text) + "'";
            return false;
        }
        datum = CFDatum::MakeReal(value);
    } else if (kind == "string") {
        datum = CFDatum::MakeText(text);
    } else if (kind.empty() && node.attribute("value").empty()) {
        datum = CFDatum();
    } else {
        error = "unknown value kind '" + kind + "'";
        return false;
    }
    return true;
}

void WriteValue(pugi::xml_node parent, const CFValue& value) {
    pugi::xml_node node = parent.append_child("value");
    WriteDatum(node, value.GetDatum());
    if (!value.GetLabel().empty())
        node.append_attribute("label") = value.GetLabel().c_str();
    if (value.GetFlag() != 0)
        node.append_attribute("flag") = value.GetFlag();
    if (value.GetPartition() != 0)
        node.append_attribute("partition") = value.GetPartition();
}

bool ReadValue(pugi::xml_node node, CFValue& value, std::string& error) {
    CFDatum datum;
    if (!ReadDatum(node, datum, error))
        return false;
    value = CFValue(std::move(datum), node.attribute("label").as_string(),
                    node.attribute("flag").as_int(0), node.attribute("partition").as_int(0));
    return true;
}

int Code(pugi::xml_node node, const char* attribute, int (*lookup)(const std::string&),
         std::string& error) {
    const std::string text = node.attribute(attribute).as_string();
    const int code = lookup(text);
    if (code < 0)
        error = std::string("unknown ") + attribute + " '" + text + "'";
    return code;
}

bool ReadField(pugi::xml_node node, CFField& field, std::string& error) {
    const std::string name = node.attribute("name").as_string();
    if (name.empty()) {
        error = "a field without a name";
        return false;
    }
    const int measure = Code(node, "measure", &CFField::MeasureFromName, error);
    const int storage = Code(node, "storage", &CFField::StorageFromName, error);
    const int role = Code(node, "role", &CFField::RoleFromName, error);
    if (measure < 0 || storage < 0 || role < 0) {
        error += " in field " + name;
        return false;
    }
    field =
        CFField(name, static_cast<CFField::FieldType>(measure),
                static_cast<CFField::StorageType>(storage), static_cast<CFField::RoleType>(role));
    field.SetLabel(node.attribute("label").as_string());
    field.SetPrivateFormat(node.attribute("format").as_string());
    if (pugi::xml_node labels = node.child("valueLabels")) {
        std::vector<CFValue> values;
        for (pugi::xml_node v : labels.children("value")) {
            CFValue value;
            if (!ReadValue(v, value, error))
                return false;
            values.push_back(std::move(value));
        }
        field.SetValueLabels(std::move(values));
    }
    if (pugi::xml_node missing = node.child("missingValues")) {
        CFDatum lower;
        CFDatum upper;
        if (pugi::xml_node range = missing.child("range")) {
            if (pugi::xml_node l = range.child("lower"); l && !ReadDatum(l, lower, error))
                return false;
            if (pugi::xml_node u = range.child("upper"); u && !ReadDatum(u, upper, error))
                return false;
        }
        std::vector<CFValue> values;
        for (pugi::xml_node v : missing.children("value")) {
            CFValue value;
            if (!ReadValue(v, value, error))
                return false;
            values.push_back(std::move(value));
        }
        field.SetMissingValues(CFMissingValues(CFRange(std::move(lower), std::move(upper)),
                                               std::move(values),
                                               missing.attribute("valid").as_bool(false),
                                               missing.attribute("nullIsMissing").as_bool(false)));
    }
    return true;
}

}  // namespace

CFMetaData::CFMetaData(const std::string& xmlText) {
    ImportXMLDoc(xmlText);
}

int CFMetaData::FindField(const std::string& name) const {
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].GetName() == name)
            return static_cast<int>(i);
    }
    return -1;
}

void CFMetaData::ExportXMLDoc(std::string& xml) const {
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = doc.append_child(kRoot);
    root.append_attribute("version") = kVersion;
    for (const CFField& field : fields_) {
        pugi::xml_node node = root.append_child("field");
        node.append_attribute("name") = field.GetName().c_str();
        const char* measure = CFField::MeasureName(field.GetMeasure());
        const char* storage = CFField::StorageName(field.GetStorage());
        const char* role = CFField::RoleName(field.GetRole());
        node.append_attribute("measure") = measure != nullptr ? measure : "typeless";
        node.append_attribute("storage") = storage != nullptr ? storage : "real";
        node.append_attribute("role") = role != nullptr ? role : "none";
        if (field.HasLabel())
            node.append_attribute("label") = field.GetLabel().c_str();
        if (!field.GetPrivateFormat().empty())
            node.append_attribute("format") = field.GetPrivateFormat().c_str();
        if (!field.GetValueLabels().empty()) {
            pugi::xml_node labels = node.append_child("valueLabels");
            for (const CFValue& value : field.GetValueLabels())
                WriteValue(labels, value);
        }
        if (const CFMissingValues* missing = field.GetMissingValues()) {
            pugi::xml_node m = node.append_child("missingValues");
            m.append_attribute("valid") = missing->IsValid();
            m.append_attribute("nullIsMissing") = missing->IsNullMissing();
            if (!missing->GetRange().IsEmpty()) {
                pugi::xml_node range = m.append_child("range");
                if (missing->GetRange().HasLower())
                    WriteDatum(range.append_child("lower"), missing->GetRange().GetLower());
                if (missing->GetRange().HasUpper())
                    WriteDatum(range.append_child("upper"), missing->GetRange().GetUpper());
            }
            for (const CFValue& value : missing->GetValues())
                WriteValue(m, value);
        }
    }
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    xml = out.str();
}

bool CFMetaData::ImportXMLDoc(const std::string& xml) {
    fields_.clear();
    error_.clear();
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size());
    if (!parsed) {
        error_ = std::string("the data model is not well-formed XML: ") + parsed.description() +
                 " at offset " + std::to_string(parsed.offset);
        return false;
    }
    pugi::xml_node root = doc.child(kRoot);
    // The data model section of an engine summary document, cut out as text, has this root.
    if (!root)
        root = doc.child("DataModel");
    if (!root) {
        error_ = "the data model has no dataModel element";
        return false;
    }
    if (root.attribute("version").as_int(0) > kVersion) {
        error_ = "the data model has an unknown version";
        return false;
    }
    std::vector<CFField> fields;
    for (pugi::xml_node node : root.children("field")) {
        CFField field;
        if (!ReadField(node, field, error_))
            return false;
        fields.push_back(std::move(field));
    }
    fields_ = std::move(fields);
    return true;
}
