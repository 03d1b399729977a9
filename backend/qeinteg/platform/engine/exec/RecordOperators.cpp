#include "qeinteg/platform/engine/exec/RecordOperators.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <pugixml.hpp>

#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/geo/Wkb.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"

namespace qelocal {

using Json = nlohmann::ordered_json;

namespace {

const Json& Member(const Json& config, const char* key, const std::string& context) {
    if (!config.is_object())
        throw EngineError(context + ": the configuration must be an object", "BAD_CONFIGURATION");
    auto it = config.find(key);
    if (it == config.end())
        throw EngineError(context + ": the configuration has no \"" + key + "\"",
                          "BAD_CONFIGURATION");
    return *it;
}

std::string FieldList(const std::vector<EngineField>& fields) {
    std::string out;
    for (const EngineField& f : fields)
        out += (out.empty() ? "" : ", ") + f.name;
    return out;
}

[[noreturn]] void UnknownField(const std::string& context, const std::string& name,
                               const std::vector<EngineField>& fields) {
    throw EngineError(
        context + ": there is no field '" + name + "' (the records have " + FieldList(fields) + ")",
        "UNKNOWN_FIELD");
}

bool ParseDouble(std::string_view text, double& out) {
    if (text.empty())
        return false;
    auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

std::string ShortestText(double v, bool integer) {
    char buffer[64];
    if (integer && std::fabs(v) < 9.2e18) {
        auto r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(v));
        return std::string(buffer, r.ptr);
    }
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

}  // namespace

void ConvertColumn(Column& column, Storage storage) {
    if (storage == Storage::Unknown)
        storage = Storage::String;
    const bool toString = storage == Storage::String;
    if (column.isString() == toString) {
        if (!toString && storage == Storage::Integer && column.storage != Storage::Integer) {
            for (double& v : column.num)
                v = std::trunc(v);
        }
        column.storage = storage;
        return;
    }
    const size_t n = column.size();
    if (toString) {
        column.str.resize(n);
        for (size_t i = 0; i < n; ++i) {
            if (column.valid[i]) {
                column.str[i] =
                    IsTemporalStorage(column.storage)
                        ? FormatTemporal(column.storage, column.num[i])
                        : ShortestText(column.num[i], column.storage == Storage::Integer);
            }
        }
        column.num.clear();
    } else {
        column.num.assign(n, 0.0);
        for (size_t i = 0; i < n; ++i) {
            if (!column.valid[i])
                continue;
            double v = 0;
            bool ok = false;
            if (IsTemporalStorage(storage)) {
                static const char* patterns[] = {"yyyy-MM-dd", "HH:mm:ss", "yyyy-MM-dd'T'HH:mm:ss",
                                                 "yyyy-MM-dd HH:mm:ss"};
                for (const char* p : patterns) {
                    auto format = DateTimeFormat::Compile(p);
                    double seconds = 0;
                    if (format && format->Parse(column.str[i], seconds)) {
                        v = SecondsToTemporal(storage, seconds);
                        ok = true;
                        break;
                    }
                }
            } else {
                ok = ParseDouble(column.str[i], v);
                if (ok && storage == Storage::Integer)
                    v = std::trunc(v);
            }
            column.valid[i] = ok ? 1 : 0;
            column.num[i] = ok ? v : 0.0;
        }
        column.str.clear();
    }
    column.storage = storage;
}

// --- filterFields ---

FilterFieldsOperator::FilterFieldsOperator(std::unique_ptr<BatchStream> input, const Json& config,
                                           const std::string& context)
    : input_(std::move(input)) {
    const Json& names = Member(config, "fields", context);
    if (!names.is_array())
        throw EngineError(context + ": \"fields\" must be an array of field names",
                          "BAD_CONFIGURATION");
    for (const Json& name : names) {
        if (!name.is_string())
            throw EngineError(context + ": \"fields\" must hold only texts", "BAD_CONFIGURATION");
        const int index = FindField(input_->fields(), name.get<std::string>());
        if (index < 0)
            UnknownField(context, name.get<std::string>(), input_->fields());
        keep_.push_back(static_cast<size_t>(index));
        fields_.push_back(input_->fields()[static_cast<size_t>(index)]);
    }
}

bool FilterFieldsOperator::next(Batch& out) {
    if (!input_->next(in_))
        return false;
    out.rows = in_.rows;
    out.columns.resize(keep_.size());
    // A field kept twice is copied; otherwise the column moves.
    std::vector<int> uses(in_.columns.size(), 0);
    for (size_t k : keep_)
        ++uses[k];
    for (size_t i = 0; i < keep_.size(); ++i) {
        Column& source = in_.columns[keep_[i]];
        if (--uses[keep_[i]] == 0)
            out.columns[i] = std::move(source);
        else
            out.columns[i] = source;
    }
    return true;
}

// --- filterRecords ---

FilterRecordsOperator::FilterRecordsOperator(std::unique_ptr<BatchStream> input,
                                             const std::string& lambda, const std::string& context)
    : input_(std::move(input)) {
    condition_ = CompiledExpression::Compile(lambda, input_->fields(), context);
    const ValueType t = condition_->type();
    if (t != ValueType::Bool && t != ValueType::Null)
        throw EngineError(context + ": the condition `" + condition_->text() + "` is a " +
                              ValueTypeText(t) + ", not a Bool",
                          "EXPRESSION_TYPE_ERROR");
}

bool FilterRecordsOperator::next(Batch& out) {
    while (input_->next(out)) {
        const ValueVector& v = condition_->evaluate(out);
        keep_.resize(out.rows);
        const uint8_t* valid = v.valid.data();
        const double* num = v.num.data();
        for (size_t i = 0; i < out.rows; ++i)
            keep_[i] = valid[i] & (num[i] != 0 ? 1 : 0);
        out.compact(keep_);
        if (out.rows > 0)
            return true;
    }
    return false;
}

// --- deriveFields / reclassifyField ---

DeriveOperator::DeriveOperator(std::unique_ptr<BatchStream> input, const std::string& lambda,
                               bool reclassify, const std::string& context)
    : input_(std::move(input)), fields_(input_->fields()) {
    expression_ = CompiledExpression::Compile(lambda, fields_, context);
    const std::vector<ValueType> items = expression_->itemTypes();
    if (expression_->type() != ValueType::Tuple || items.size() != 2 ||
        items[0] != ValueType::String)
        throw EngineError(context + ": the derivation `" + expression_->text() +
                              "` must give a pair (\"field name\", value)",
                          "EXPRESSION_TYPE_ERROR");
    // The name is a literal in every derivation the builders write; evaluate it on an empty batch.
    Batch empty;
    empty.reset(fields_);
    empty.rows = 1;
    for (Column& c : empty.columns)
        c.appendMissing();
    const ValueVector& probe = expression_->evaluate(empty);
    if (!probe.items[0].valid[0] || probe.items[0].str[0].empty())
        throw EngineError(
            context + ": the derivation `" + expression_->text() + "` does not name its field",
            "EXPRESSION_TYPE_ERROR");
    const std::string name = probe.items[0].str[0];
    const int existing = FindField(fields_, name);
    if (reclassify && existing < 0)
        UnknownField(context, name, fields_);
    EngineField field;
    if (existing >= 0) {
        field = fields_[static_cast<size_t>(existing)];
        target_ = static_cast<size_t>(existing);
    } else {
        field.name = name;
        target_ = fields_.size();
        append_ = true;
    }
    field.storage = StorageOfValueType(items[1]);
    if (existing < 0 || field.storage != fields_[static_cast<size_t>(existing)].storage) {
        field.measure = field.storage == Storage::String ? Measure::Nominal : Measure::Continuous;
        field.detailXml.clear();  // value labels of the old values no longer apply
    }
    if (append_)
        fields_.push_back(field);
    else
        fields_[target_] = field;
}

bool DeriveOperator::next(Batch& out) {
    if (!input_->next(out))
        return false;
    const ValueVector& v = expression_->evaluateItem(out, 1);
    Column column;
    column.storage = fields_[target_].storage;
    column.reserve(out.rows);
    if (v.type == ValueType::List || v.type == ValueType::Tuple || column.isString() ||
        v.type == ValueType::Null) {
        for (size_t i = 0; i < out.rows; ++i)
            AppendValue(column, v, i);
    } else {
        column.num = v.num;
        column.valid = v.valid;
    }
    if (append_)
        out.columns.push_back(std::move(column));
    else
        out.columns[target_] = std::move(column);
    return true;
}

// --- balanceRecords ---

BalanceOperator::BalanceOperator(std::unique_ptr<BatchStream> input, const std::string& lambda,
                                 const std::string& context)
    : input_(std::move(input)) {
    expression_ = CompiledExpression::Compile(lambda, input_->fields(), context);
    const ValueType t = expression_->type();
    bool ok = t == ValueType::Int || t == ValueType::Real;
    if (t == ValueType::List)
        ok = true;  // the items are checked when evaluated
    if (!ok)
        throw EngineError(context + ": the balance expression `" + expression_->text() +
                              "` must be a factor or a list of (condition, factor) pairs",
                          "EXPRESSION_TYPE_ERROR");
}

bool BalanceOperator::next(Batch& out) {
    while (input_->next(in_)) {
        const ValueVector& v = expression_->evaluate(in_);
        out.reset(input_->fields());
        for (size_t i = 0; i < in_.rows; ++i) {
            double factor = 1.0;
            bool valid = true;
            if (v.type == ValueType::List) {
                for (const ValueVector& item : v.items) {
                    if (item.type != ValueType::Tuple || item.items.size() != 2 ||
                        item.items[0].type != ValueType::Bool ||
                        (item.items[1].type != ValueType::Int &&
                         item.items[1].type != ValueType::Real))
                        throw EngineError("balanceRecords: the expression `" + expression_->text() +
                                              "` must list (condition, factor) pairs",
                                          "EXPRESSION_TYPE_ERROR");
                    const ValueVector& c = item.items[0];
                    if (c.valid[i] && c.num[i] != 0) {
                        valid = item.items[1].valid[i] != 0;
                        factor = item.items[1].num[i];
                        break;
                    }
                }
            } else {
                valid = v.valid[i] != 0;
                factor = v.num[i];
            }
            if (!valid || !(factor > 0))
                continue;
            auto copies = static_cast<uint64_t>(std::floor(factor));
            const double rest = factor - std::floor(factor);
            if (rest > 0 && std::uniform_real_distribution<double>(0, 1)(random_) < rest)
                ++copies;
            for (uint64_t k = 0; k < copies; ++k) {
                for (size_t c = 0; c < out.columns.size(); ++c)
                    out.columns[c].appendFrom(in_.columns[c], i);
                ++out.rows;
            }
        }
        if (out.rows > 0)
            return true;
    }
    return false;
}

// --- updateDataModel ---

namespace {

void AppendValueXml(pugi::xml_node parent, const char* name, const Json& value,
                    const std::string& label) {
    pugi::xml_node v = parent.append_child(name);
    if (value.is_number_integer()) {
        v.append_attribute("kind") = "integer";
        v.append_attribute("value") = std::to_string(value.get<int64_t>()).c_str();
    } else if (value.is_number()) {
        v.append_attribute("kind") = "real";
        v.append_attribute("value") = ShortestText(value.get<double>(), false).c_str();
    } else {
        const std::string text = value.is_string() ? value.get<std::string>() : value.dump();
        double number = 0;
        const bool numeric = ParseDouble(text, number);
        v.append_attribute("kind") =
            numeric ? (text.find_first_of(".eE") == std::string::npos ? "integer" : "real")
                    : "string";
        v.append_attribute("value") = text.c_str();
    }
    if (!label.empty())
        v.append_attribute("label") = label.c_str();
}

}  // namespace

UpdateDataModelOperator::UpdateDataModelOperator(std::unique_ptr<BatchStream> input,
                                                 const Json& config, const std::string& context)
    : input_(std::move(input)), fields_(input_->fields()), context_(context) {
    const Json& updates = Member(config, "fields", context);
    if (!updates.is_array())
        throw EngineError(context + ": \"fields\" must be an array of field updates",
                          "BAD_CONFIGURATION");
    for (const Json& update : updates) {
        if (!update.is_object() || !update.contains("name") || !update["name"].is_string())
            throw EngineError(context + ": every field update needs a \"name\" text",
                              "BAD_CONFIGURATION");
        const std::string name = update["name"].get<std::string>();
        const int index = FindField(fields_, name);
        if (index < 0)
            UnknownField(context, name, fields_);
        EngineField& field = fields_[static_cast<size_t>(index)];
        auto text = [&](const char* key) -> std::optional<std::string> {
            auto it = update.find(key);
            if (it == update.end())
                return std::nullopt;
            if (!it->is_string())
                throw EngineError(
                    context + ": \"" + key + "\" of field '" + name + "' must be a text",
                    "BAD_CONFIGURATION");
            return it->get<std::string>();
        };
        if (auto m = text("measure")) {
            field.measure = MeasureFromText(*m);
            if (field.measure == Measure::Typeless && *m != "typeless")
                throw EngineError(
                    context + ": '" + *m + "' is not a measurement level (field '" + name + "')",
                    "BAD_CONFIGURATION");
        }
        if (auto s = text("storage")) {
            const Storage storage = StorageFromText(*s);
            if (storage == Storage::Unknown)
                throw EngineError(
                    context + ": '" + *s + "' is not a storage (field '" + name + "')",
                    "BAD_CONFIGURATION");
            if (storage != field.storage) {
                field.storage = storage;
                converted_.push_back(static_cast<size_t>(index));
            }
        }
        if (auto r = text("role"))
            field.role = *r;
        if (auto l = text("displayLabel"))
            field.label = *l;
        const bool labels = update.contains("valueLabels");
        const bool missing = update.contains("missingValues");
        if (labels || missing) {
            pugi::xml_document doc;
            if (!field.detailXml.empty())
                doc.load_buffer(field.detailXml.data(), field.detailXml.size());
            if (labels) {
                const Json& list = update["valueLabels"];
                if (!list.is_array())
                    throw EngineError(
                        context + ": \"valueLabels\" of field '" + name + "' must be an array",
                        "BAD_CONFIGURATION");
                doc.remove_child("valueLabels");
                pugi::xml_node node = doc.append_child("valueLabels");
                for (const Json& v : list) {
                    if (!v.is_object() || !v.contains("value"))
                        throw EngineError(
                            context + ": a value label of field '" + name + "' has no \"value\"",
                            "BAD_CONFIGURATION");
                    AppendValueXml(node, "value", v["value"],
                                   v.value("displayLabel", std::string()));
                }
            }
            if (missing) {
                const Json& m = update["missingValues"];
                if (!m.is_object())
                    throw EngineError(
                        context + ": \"missingValues\" of field '" + name + "' must be an object",
                        "BAD_CONFIGURATION");
                doc.remove_child("missingValues");
                pugi::xml_node node = doc.append_child("missingValues");
                node.append_attribute("valid") = "true";
                node.append_attribute("nullIsMissing") = "false";
                if (m.contains("minValue") || m.contains("maxValue")) {
                    pugi::xml_node range = node.append_child("range");
                    if (m.contains("minValue"))
                        AppendValueXml(range, "lower", m["minValue"], "");
                    if (m.contains("maxValue"))
                        AppendValueXml(range, "upper", m["maxValue"], "");
                }
                if (auto v = m.find("Value"); v != m.end() && v->is_array()) {
                    for (const Json& item : *v)
                        AppendValueXml(node, "value", item, "");
                }
            }
            std::string xml;
            for (pugi::xml_node child : doc.children()) {
                struct Sink : pugi::xml_writer {
                    std::string* out;
                    void write(const void* data, size_t size) override {
                        out->append(static_cast<const char*>(data), size);
                    }
                } sink;
                sink.out = &xml;
                child.print(sink, "", pugi::format_raw);
            }
            field.detailXml = xml;
        }
        if (auto g = update.find("Geo"); g != update.end())
            ApplyGeo(*g, field, static_cast<size_t>(index), context);
    }
}

void UpdateDataModelOperator::ApplyGeo(const Json& config, EngineField& field, size_t index,
                                       const std::string& context) {
    const std::string where = context + ": \"Geo\" of field '" + field.name + "'";
    if (!config.is_object())
        throw EngineError(where + " must be an object", "BAD_CONFIGURATION");
    // Numbers may come as texts ("coordinates": "2", "wkid": "4326").
    auto integer = [&](const char* key, int fallback) {
        auto it = config.find(key);
        if (it == config.end())
            return fallback;
        if (it->is_number_integer())
            return it->get<int>();
        int value = 0;
        if (it->is_string()) {
            const std::string text = it->get<std::string>();
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (ec == std::errc() && end == text.data() + text.size())
                return value;
        }
        throw EngineError(where + ": \"" + key + "\" must be an integer", "BAD_CONFIGURATION");
    };
    auto text = [&](const char* key) {
        auto it = config.find(key);
        if (it == config.end())
            return std::string();
        if (!it->is_string())
            throw EngineError(where + ": \"" + key + "\" must be a text", "BAD_CONFIGURATION");
        return it->get<std::string>();
    };
    GeoInfo geo = field.geo.value_or(GeoInfo{});
    geo.type = text("type");
    static const char* const kTypes[] = {"Point",           "MultiPoint", "LineString",
                                         "MultiLineString", "Polygon",    "MultiPolygon"};
    if (std::find(std::begin(kTypes), std::end(kTypes), geo.type) == std::end(kTypes))
        throw EngineError(where + ": '" + geo.type + "' is not a geometry type",
                          "BAD_CONFIGURATION");
    geo.coordinates = integer("coordinates", 2);
    if (geo.coordinates != 2 && geo.coordinates != 3)
        throw EngineError(
            where + ": a geometry has 2 or 3 coordinates, not " + std::to_string(geo.coordinates),
            "BAD_CONFIGURATION");
    geo.wkid = integer("wkid", 0);
    geo.csName = text("csname");
    geo.wkt = text("wkt");
    if (auto p = config.find("isProjected"); p != config.end() && p->is_boolean())
        geo.projected = p->get<bool>();
    if (auto e = config.find("GeoEnvelope"); e != config.end()) {
        if (!e->is_object())
            throw EngineError(where + ": \"GeoEnvelope\" must be an object", "BAD_CONFIGURATION");
        auto corner = [&](const char* key) {
            auto it = e->find(key);
            if (it == e->end() || !it->is_number())
                throw EngineError(
                    where + ": \"GeoEnvelope\" needs the number \"" + std::string(key) + "\"",
                    "BAD_CONFIGURATION");
            return it->get<double>();
        };
        geo.envelope = GeoEnvelope{corner("leftUpperX"), corner("leftUpperY"),
                                   corner("rightLowerX"), corner("rightLowerY")};
    }
    if (!field.geo) {
        // A field that is not yet geometry must hold coordinate lists, which become points.
        if (field.storage != Storage::String)
            throw EngineError(where + ": the field holds " +
                                  std::string(StorageText(field.storage)) +
                                  " values, not coordinate lists",
                              "BAD_CONFIGURATION");
        if (geo.type != "Point")
            throw EngineError(where + ": coordinate lists make points, not " + geo.type,
                              "BAD_CONFIGURATION");
        points_.emplace_back(index, geo.coordinates);
        field.measure = Measure::Typeless;
    }
    field.geo = geo;
}

bool UpdateDataModelOperator::next(Batch& out) {
    if (!input_->next(out))
        return false;
    for (size_t index : converted_)
        ConvertColumn(out.columns[index], fields_[index].storage);
    for (const auto& [index, count] : points_) {
        Column& column = out.columns[index];
        std::string point;
        std::string why;
        for (size_t r = 0; r < out.rows; ++r) {
            if (!column.valid[r] || !geo::Wkb::PointFromList(column.str[r], count, point, why)) {
                if (!column.valid[r])
                    why = "has no coordinates";
                throw EngineError(context_ + ": record " + std::to_string(rows_ + r + 1) + " " +
                                  why + " in field '" + fields_[index].name +
                                  (column.valid[r] ? "' (" + column.str[r] + ")" : "'"));
            }
            column.str[r].swap(point);
        }
    }
    rows_ += out.rows;
    return true;
}

// --- shared results ---

const Batch* SharedResult::batch(size_t index) {
    while (index >= batches_.size() && !done_) {
        Batch b;
        if (input_->next(b))
            batches_.push_back(std::move(b));
        else
            done_ = true;
    }
    return index < batches_.size() ? &batches_[index] : nullptr;
}

bool SharedReader::next(Batch& out) {
    const Batch* b = result_->batch(index_);
    if (b == nullptr)
        return false;
    ++index_;
    out = *b;
    return true;
}

}  // namespace qelocal
