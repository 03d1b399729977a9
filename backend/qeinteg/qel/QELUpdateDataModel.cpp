#include "qeinteg/qel/QELUpdateDataModel.h"

#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/platform/host/metadata/CFDatum.h"
#include "qeinteg/platform/host/metadata/CFMissingValues.h"
#include "qeinteg/platform/host/metadata/CFRange.h"
#include "qeinteg/platform/host/metadata/CFValue.h"
#include "qeinteg/qel/JNIQelFunction.h"
#include "qeinteg/qel/JNIQelProgram.h"
#include "qeinteg/qel/QELJsonCopy.h"

namespace {

// Job-language texts of the metadata codes; null for a code outside the table.
const char* MeasureText(int measure) {
    static const char* const kTexts[] = {"continuous", "nominal",  "ordinal",
                                         "flag",       "discrete", "typeless"};
    return measure >= 0 && measure < 6 ? kTexts[measure] : nullptr;
}

const char* StorageText(int storage) {
    static const char* const kTexts[] = {nullptr, "integer", "real",     "string",
                                         "date",  "time",    "timestamp"};
    return storage >= 0 && storage < 7 ? kTexts[storage] : nullptr;
}

const char* RoleText(int role) {
    static const char* const kTexts[] = {"input", "target",     "both",     "partition",
                                         "split", "freqWeight", "recordId", "none"};
    return role >= 0 && role < 8 ? kTexts[role] : nullptr;
}

const char* GeoTypeText(int type) {
    static const char* const kTexts[] = {"Point",           "MultiPoint", "LineString",
                                         "MultiLineString", "Polygon",    "MultiPolygon"};
    return type >= 0 && type < 6 ? kTexts[type] : nullptr;
}

// A range limit keeps its kind: integers as 64-bit integers, reals as doubles. Other kinds are
// not numbers a range can hold and are left out.
void PutLimit(JNIJSONObject& object, const char* key, const CFDatum& limit) {
    if (limit.GetKind() == CFDatum::Integer)
        object.put(key, static_cast<long long>(limit.GetInteger()));
    else if (limit.GetKind() == CFDatum::Real)
        object.put(key, limit.GetReal());
}

}  // namespace

QELUpdateDataModel::QELUpdateDataModel(JNIQelProgram* program) : QELFunction(program) {
    SetFunctionType(UpdateDataModel);
}

QELUpdateDataModel::QELUpdateDataModel(const QELUpdateDataModel& other)
    : QELFunction(other), fieldSensitive_(other.fieldSensitive_) {
    for (const auto& [name, object] : other.fields_)
        fields_.emplace(name, qelbuild::CopyJson(*object));
}

QELUpdateDataModel& QELUpdateDataModel::operator=(const QELUpdateDataModel& other) {
    if (this != &other) {
        std::map<std::string, std::unique_ptr<JNIJSONObject>> copies;
        for (const auto& [name, object] : other.fields_)
            copies.emplace(name, qelbuild::CopyJson(*object));
        QELFunction::operator=(other);
        fieldSensitive_ = other.fieldSensitive_;
        fields_ = std::move(copies);
        objectsInFunction_ = false;
    }
    return *this;
}

QELUpdateDataModel::~QELUpdateDataModel() = default;

JNIJSONObject& QELUpdateDataModel::FieldObject(const std::string& field) {
    if (objectsInFunction_) {
        for (auto& entry : fields_)
            entry.second = qelbuild::CopyJson(*entry.second);
        objectsInFunction_ = false;
    }
    auto found = fields_.find(field);
    if (found != fields_.end())
        return *found->second;
    auto object = std::make_unique<JNIJSONObject>();
    object->put("name", field);
    return *fields_.emplace(field, std::move(object)).first->second;
}

void QELUpdateDataModel::Update(const std::string& field, CFField::FieldType measure) {
    JNIJSONObject& object = FieldObject(field);
    if (const char* text = MeasureText(static_cast<int>(measure)))
        object.put("measure", text);
}

void QELUpdateDataModel::Update(const std::string& field, CFField::StorageType storage) {
    JNIJSONObject& object = FieldObject(field);
    if (const char* text = StorageText(static_cast<int>(storage)))
        object.put("storage", text);
}

void QELUpdateDataModel::Update(const std::string& field, CFField::RoleType role) {
    JNIJSONObject& object = FieldObject(field);
    if (const char* text = RoleText(static_cast<int>(role)))
        object.put("role", text);
}

void QELUpdateDataModel::Update(const std::string& field, const std::string& label) {
    FieldObject(field).put("displayLabel", label);
}

void QELUpdateDataModel::Update(const std::string& field, const std::vector<CFValue>& labels) {
    if (labels.empty())
        return;
    JNIJSONArray list(static_cast<int>(labels.size()));
    for (const CFValue& value : labels) {
        JNIJSONObject entry;
        entry.put("value", value.GetDatum().ToString(-1));
        entry.put("displayLabel", value.GetLabel());
        list.add(&entry);
    }
    FieldObject(field).put("valueLabels", &list);
}

void QELUpdateDataModel::Update(const std::string& field, const CFMissingValues& missing) {
    JNIJSONObject& object = FieldObject(field);
    if (!missing.IsValid() || missing.IsEmpty())
        return;
    JNIJSONObject missingValues;
    const CFRange& range = missing.GetRange();
    if (!range.IsEmpty()) {
        if (range.HasLower())
            PutLimit(missingValues, "minValue", range.GetLower());
        if (range.HasUpper())
            PutLimit(missingValues, "maxValue", range.GetUpper());
    }
    if (!missing.GetValues().empty()) {
        JNIJSONArray values(static_cast<int>(missing.GetValues().size()));
        for (const CFValue& value : missing.GetValues())
            values.add(value.GetDatum().ToString(-1));
        missingValues.put("Value", &values);
    }
    object.put("missingValues", &missingValues);
}

void QELUpdateDataModel::Update(const std::string& field, CFGeo::Type type, int coordinates) {
    PutGeo(field, type, coordinates, -1, std::string(), false, std::string(), nullptr);
}

void QELUpdateDataModel::Update(const std::string& field, CFGeo::Type type, int coordinates,
                                int wkid, const std::string& csName, bool isProjected,
                                const std::string& wkt) {
    PutGeo(field, type, coordinates, wkid, csName, isProjected, wkt, nullptr);
}

void QELUpdateDataModel::Update(const std::string& field, CFGeo::Type type, int coordinates,
                                int wkid, const std::string& csName, bool isProjected,
                                const std::string& wkt, double leftUpperX, double leftUpperY,
                                double rightLowerX, double rightLowerY) {
    const Envelope envelope{leftUpperX, leftUpperY, rightLowerX, rightLowerY};
    PutGeo(field, type, coordinates, wkid, csName, isProjected, wkt, &envelope);
}

void QELUpdateDataModel::PutGeo(const std::string& field, CFGeo::Type type, int coordinates,
                                int wkid, const std::string& csName, bool isProjected,
                                const std::string& wkt, const Envelope* envelope) {
    JNIJSONObject& object = FieldObject(field);
    const char* typeText = GeoTypeText(static_cast<int>(type));
    if (typeText == nullptr)
        return;
    JNIJSONObject geo;
    geo.put("type", typeText);
    // The engine reads the dimension and the id as texts.
    if (coordinates > 0)
        geo.put("coordinates", std::to_string(coordinates));
    if (wkid > 0) {
        geo.put("wkid", std::to_string(wkid));
        geo.put("csname", csName);
        geo.put("isProjected", isProjected);
    }
    if (!wkt.empty())
        geo.put("wkt", wkt);
    if (envelope != nullptr) {
        JNIJSONObject box;
        box.put("leftUpperX", envelope->leftUpperX);
        box.put("leftUpperY", envelope->leftUpperY);
        box.put("rightLowerX", envelope->rightLowerX);
        box.put("rightLowerY", envelope->rightLowerY);
        geo.put("GeoEnvelope", &box);
    }
    object.put("Geo", &geo);
}

JNIQelFunction* QELUpdateDataModel::CreateFunction(JNIQelProgram& program, JNIQelFunction* input) {
    // Field-name order, the map's.
    JNIJSONArray fields(static_cast<int>(fields_.size()));
    for (const auto& entry : fields_)
        fields.add(entry.second.get());
    JNIJSONObject config;
    config.put("fields", &fields);
    JNIQelFunction* created = CreateWithInput(program, "updateDataModel", &config, input);
    objectsInFunction_ = created != nullptr && created->getObject() != nullptr && !fields_.empty();
    return created;
}
