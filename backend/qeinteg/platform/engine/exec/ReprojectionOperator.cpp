#include "qeinteg/platform/engine/exec/ReprojectionOperator.h"

#include <cstring>

namespace qelocal {

using Json = nlohmann::ordered_json;

namespace {

constexpr const char* kCartesian = "CARTESIAN";

// {"csName"?, "wkid"?} of a configuration; false when the object is absent.
bool SystemOf(const Json& entry, const char* key, geo::SystemRef& out, const std::string& where) {
    auto it = entry.find(key);
    if (it == entry.end())
        return false;
    if (!it->is_object())
        throw EngineError(where + ": \"" + key + "\" must be an object", "BAD_CONFIGURATION");
    if (auto name = it->find("csName"); name != it->end()) {
        if (!name->is_string())
            throw EngineError(where + ": \"csName\" of \"" + key + "\" must be a text",
                              "BAD_CONFIGURATION");
        out.name = name->get<std::string>();
    }
    if (auto wkid = it->find("wkid"); wkid != it->end()) {
        if (!wkid->is_number_integer())
            throw EngineError(where + ": \"wkid\" of \"" + key + "\" must be an integer",
                              "BAD_CONFIGURATION");
        out.wkid = wkid->get<int>();
    }
    if (out.name.empty() && out.wkid <= 0)
        throw EngineError(where + ": \"" + key + "\" names no coordinate system",
                          "BAD_CONFIGURATION");
    return true;
}

}  // namespace

ReprojectionOperator::ReprojectionOperator(std::unique_ptr<BatchStream> input, const Json& config,
                                           const std::string& context)
    : input_(std::move(input)), fields_(input_->fields()), context_(context) {
    if (!config.is_object())
        throw EngineError(context + ": the configuration must be an object", "BAD_CONFIGURATION");
    std::string type = "all";
    if (auto t = config.find("type"); t != config.end()) {
        if (!t->is_string() || (*t != "all" && *t != "part"))
            throw EngineError(context + ": \"type\" must be \"all\" or \"part\"",
                              "BAD_CONFIGURATION");
        type = t->get<std::string>();
    }
    auto entries = config.find("reprojectionFields");
    if (entries == config.end() || !entries->is_array() || entries->empty())
        throw EngineError(context + ": \"reprojectionFields\" must list at least one entry",
                          "BAD_CONFIGURATION");
    // Which entry converts which field.
    std::vector<const Json*> entryOf(fields_.size(), nullptr);
    const Json* unnamed = nullptr;
    for (const Json& entry : *entries) {
        if (!entry.is_object())
            throw EngineError(context + ": every reprojection entry must be an object",
                              "BAD_CONFIGURATION");
        auto name = entry.find("name");
        if (name == entry.end()) {
            if (type == "part")
                throw EngineError(context + ": a \"part\" reprojection must name its field",
                                  "BAD_CONFIGURATION");
            if (unnamed == nullptr)
                unnamed = &entry;
            continue;
        }
        if (!name->is_string())
            throw EngineError(context + ": \"name\" must be a text", "BAD_CONFIGURATION");
        const int index = FindField(fields_, name->get<std::string>());
        if (index < 0)
            throw EngineError(context + ": there is no field '" + name->get<std::string>() + "'",
                              "UNKNOWN_FIELD");
        if (!fields_[static_cast<size_t>(index)].geo)
            throw EngineError(
                context + ": the field '" + name->get<std::string>() + "' holds no geometry",
                "BAD_CONFIGURATION");
        entryOf[static_cast<size_t>(index)] = &entry;
    }
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (!fields_[i].geo)
            continue;
        const Json* entry = entryOf[i] != nullptr ? entryOf[i] : unnamed;
        if (entry == nullptr)
            continue;
        GeoInfo& geo = *fields_[i].geo;
        const std::string where = context + " (field '" + fields_[i].name + "')";
        geo::SystemRef to;
        if (!SystemOf(*entry, "outSR", to, where))
            throw EngineError(where + ": \"outSR\" is missing", "BAD_CONFIGURATION");
        geo::SystemRef from;
        if (!SystemOf(*entry, "inSR", from, where)) {
            if (!geo.hasSystem())
                throw EngineError(where +
                                      ": the field has no coordinate system, so \"inSR\" "
                                      "must say what its coordinates are",
                                  "BAD_CONFIGURATION");
            from = geo::SystemRef{geo.csName, geo.wkid, geo.wkt};
        }
        // Planar coordinates without a system stay as they are.
        if (from.name == kCartesian || to.name == kCartesian)
            continue;
        std::string method;
        if (auto out = entry->find("outSR"); out != entry->end()) {
            if (auto m = out->find("transMethodsName"); m != out->end()) {
                if (!m->is_string())
                    throw EngineError(where + ": \"transMethodsName\" must be a text",
                                      "BAD_CONFIGURATION");
                method = m->get<std::string>();
            }
        }
        std::string reason;
        auto transform = geo::CoordinateTransform::Create(from, to, method, reason);
        if (!transform)
            throw EngineError(where + ": " + reason, "BAD_CONFIGURATION");
        if (geo.envelope) {
            double bounds[4] = {geo.envelope->leftUpperX, geo.envelope->rightLowerY,
                                geo.envelope->rightLowerX, geo.envelope->leftUpperY};
            if (transform->transformBounds(bounds))
                geo.envelope = GeoEnvelope{bounds[0], bounds[3], bounds[2], bounds[1]};
            else
                geo.envelope.reset();
        }
        const geo::ResolvedSystem& target = transform->target();
        geo.wkid = target.wkid;
        geo.csName = target.name;
        geo.wkt = target.wkt;
        geo.projected = target.projected;
        targets_.push_back(Target{i, std::move(transform)});
    }
}

void ReprojectionOperator::convert(Column& column, const Target& target) {
    places_.clear();
    bool anyZ = false;
    for (size_t r = 0; r < column.size(); ++r) {
        if (!column.valid[r])
            continue;
        if (!geo::Wkb::Layout(column.str[r], layout_))
            throw EngineError(context_ + ": record " + std::to_string(rows_ + r + 1) +
                              " holds no readable geometry in field '" +
                              fields_[target.field].name + "'");
        for (size_t offset : layout_.offsets)
            places_.push_back(Place{r, offset, layout_.hasZ});
        anyZ = anyZ || layout_.hasZ;
    }
    if (places_.empty())
        return;
    coords_.assign(places_.size() * 3, 0.0);
    for (size_t i = 0; i < places_.size(); ++i) {
        const char* at = column.str[places_[i].row].data() + places_[i].offset;
        std::memcpy(&coords_[3 * i], at, places_[i].z ? 24 : 16);
    }
    const size_t stride = 3 * sizeof(double);
    const size_t failed =
        target.transform->transform(coords_.data(), coords_.data() + 1,
                                    anyZ ? coords_.data() + 2 : nullptr, stride, places_.size());
    if (failed < places_.size()) {
        const Place& p = places_[failed];
        double xy[2];
        std::memcpy(xy, column.str[p.row].data() + p.offset, 16);
        throw EngineError(context_ + ": record " + std::to_string(rows_ + p.row + 1) +
                          ": the point (" + std::to_string(xy[0]) + ", " + std::to_string(xy[1]) +
                          ") of field '" + fields_[target.field].name + "' lies outside what " +
                          target.transform->source().name + " -> " +
                          target.transform->target().name + " can convert");
    }
    for (size_t i = 0; i < places_.size(); ++i) {
        char* at = column.str[places_[i].row].data() + places_[i].offset;
        std::memcpy(at, &coords_[3 * i], places_[i].z ? 24 : 16);
    }
}

bool ReprojectionOperator::next(Batch& out) {
    if (!input_->next(out))
        return false;
    for (const Target& target : targets_)
        convert(out.columns[target.field], target);
    rows_ += out.rows;
    return true;
}

}  // namespace qelocal
