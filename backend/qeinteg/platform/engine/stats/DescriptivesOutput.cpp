#include "qeinteg/platform/engine/stats/DescriptivesOutput.h"

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"

namespace qelocal {

namespace {

void SetNumber(pugi::xml_node node, const char* name, double value) {
    node.append_attribute(name) = NumberText(value).c_str();
}

void SetCount(pugi::xml_node node, const char* name, uint64_t value) {
    node.append_attribute(name) = static_cast<unsigned long long>(value);
}

// The datum kind of a distinct value: texts for strings, integers for integral values of integer
// storage, reals for everything else (dates and times in the engine's representation).
const char* ValueKind(Storage storage, const std::string& text) {
    if (storage == Storage::String || storage == Storage::Unknown)
        return "string";
    if (storage == Storage::Integer && text.find_first_of(".eEn") == std::string::npos) {
        return "integer";
    }
    return "real";
}

}  // namespace

void WriteStatXml(const DescriptivesResult& result, pugi::xml_writer& out) {
    static constexpr std::string_view kHead =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<StatXML version=\"1\">\n";
    out.write(kHead.data(), kHead.size());

    std::vector<EngineField> fields;
    fields.reserve(result.fields.size());
    for (const FieldSummary& s : result.fields)
        fields.push_back(s.field);
    WriteSummaryDataModel(out, fields, [&result](size_t i) {
        const FieldSummary& s = result.fields[i];
        std::vector<DistinctValue> list;
        list.reserve(s.distinctValues.size());
        for (const std::string& text : s.distinctValues)
            list.push_back({ValueKind(s.field.storage, text), text});
        return list;
    });

    pugi::xml_document document;
    pugi::xml_node summaries = document.append_child("DatasetSummaries");
    pugi::xml_node dataset = summaries.append_child("DatasetSummary");
    SetCount(dataset, "records", result.records);
    SetCount(dataset, "fields", result.fields.size());
    for (const FieldSummary& s : result.fields) {
        pugi::xml_node node = dataset.append_child("FieldSummary");
        node.append_attribute("name") = s.field.name.c_str();
        node.append_attribute("storage") = StorageText(s.field.storage);
        node.append_attribute("measure") = MeasureText(s.field.measure);
        SetCount(node, "count", s.count);
        SetCount(node, "valid", s.valid);
        SetCount(node, "missing", s.missing);
        if (s.hasRange) {
            SetNumber(node, "minimum", s.minimum);
            SetNumber(node, "maximum", s.maximum);
        }
        if (s.hasMean)
            SetNumber(node, "mean", s.mean);
        if (s.hasStdDev)
            SetNumber(node, "stdDev", s.stdDev);
        SetCount(node, "distinctValues", s.distinctCount);
        node.append_attribute("distinctValuesExceeded") = s.distinctExceeded;
        if (s.hasRange && IsTemporalStorage(s.field.storage)) {
            node.append_attribute("minimumText") =
                FormatTemporal(s.field.storage, s.minimum).c_str();
            node.append_attribute("maximumText") =
                FormatTemporal(s.field.storage, s.maximum).c_str();
        }
    }
    PrintXmlNode(out, summaries, 1);
    static constexpr std::string_view kTail = "</StatXML>\n";
    out.write(kTail.data(), kTail.size());
}

std::string StatXmlDocument(const DescriptivesResult& result) {
    struct Collect final : pugi::xml_writer {
        std::string text;
        void write(const void* data, size_t size) override {
            text.append(static_cast<const char*>(data), size);
        }
    } out;
    WriteStatXml(result, out);
    return std::move(out.text);
}

std::string TimeIntervalDocument(const DescriptivesResult& result) {
    using Json = nlohmann::ordered_json;
    Json fields = Json::array();
    for (const TimeIntervalResult& r : result.intervals) {
        Json f = Json::object();
        f["field"] = r.field;
        f["standard"] = r.standard;
        f["storage"] = StorageText(r.storage);
        f["format"] = r.format.empty() ? Json(nullptr) : Json(r.format);
        const IntervalShape& s = r.shape;
        f["unit"] = s.unit == TimeUnit::None ? Json(nullptr) : Json(TimeUnitText(s.unit));
        if (s.unit == TimeUnit::None) {
            f["step"] = nullptr;
        } else if (s.step == static_cast<double>(static_cast<int64_t>(s.step))) {
            f["step"] = static_cast<int64_t>(s.step);
        } else {
            f["step"] = s.step;
        }
        const bool hasPoints = s.points > 0;
        const Storage writeAs =
            r.timeStorage == Storage::Unknown ? Storage::Timestamp : r.timeStorage;
        f["firstTimePoint"] =
            hasPoints ? Json(FormatTemporal(writeAs, SecondsToTemporal(writeAs, s.first)))
                      : Json(nullptr);
        f["lastTimePoint"] = hasPoints
                                 ? Json(FormatTemporal(writeAs, SecondsToTemporal(writeAs, s.last)))
                                 : Json(nullptr);
        f["firstSeconds"] = hasPoints ? Json(s.first) : Json(nullptr);
        f["lastSeconds"] = hasPoints ? Json(s.last) : Json(nullptr);
        f["records"] = r.records;
        f["missing"] = r.missing;
        f["invalid"] = r.invalid;
        f["points"] = s.points;
        f["duplicates"] = s.duplicates;
        f["gaps"] = s.gaps;
        f["irregularIntervals"] = s.irregular;
        f["sorted"] = s.sorted;
        f["regular"] = s.regular;
        f["error"] = r.error.empty() ? Json(nullptr) : Json(r.error);
        fields.push_back(std::move(f));
    }
    Json document = Json::object();
    document["version"] = 1;
    document["timeIntervals"] = std::move(fields);
    return document.dump(2);
}

}  // namespace qelocal
