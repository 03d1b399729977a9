#include "qeinteg/platform/engine/geo/CrsCatalog.h"

#include <proj.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace qelocal::geo {

namespace {

struct PjDeleter {
    void operator()(PJ* pj) const { proj_destroy(pj); }
};
using PjPtr = std::unique_ptr<PJ, PjDeleter>;

struct PjListDeleter {
    void operator()(PJ_OBJ_LIST* list) const { proj_list_destroy(list); }
};
using PjListPtr = std::unique_ptr<PJ_OBJ_LIST, PjListDeleter>;

// One horizontal system of the database, as listed once at start.
struct Entry {
    std::string authority;
    std::string code;
    std::string name;
    int wkid = 0;
    bool projected = false;
    bool deprecated = false;
    bool hasArea = false;
    AreaOfUse area;
};

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

int NumericCode(std::string_view code) {
    int value = 0;
    const auto [end, ec] = std::from_chars(code.data(), code.data() + code.size(), value);
    if (ec != std::errc() || end != code.data() + code.size())
        return 0;
    return value;
}

// Lower rank is preferred when one name belongs to several systems.
int Rank(const Entry& e) {
    return (e.deprecated ? 2 : 0) + (e.authority == "EPSG" ? 0 : 1);
}

}  // namespace

struct CrsCatalog::Impl {
    std::mutex mutex;
    PJ_CONTEXT* ctx = nullptr;
    bool listed = false;
    std::vector<Entry> entries;
    std::unordered_map<std::string, size_t> byLowerName;
    std::unordered_map<std::string, std::string> wktCache;  // "AUTH:CODE" -> WKT
    PjPtr wgs84;

    Impl() {
        ctx = proj_context_create();
        if (ctx != nullptr) {
            proj_context_set_enable_network(ctx, 0);
            // PROJ logs lookup failures to stderr by default; a miss is a normal answer here.
            proj_log_func(ctx, nullptr, [](void*, int, const char*) {});
        }
    }
    ~Impl() {
        wgs84.reset();
        if (ctx != nullptr)
            proj_context_destroy(ctx);
    }

    void listOnce() {
        if (listed || ctx == nullptr)
            return;
        listed = true;
        PROJ_CRS_LIST_PARAMETERS* params = proj_get_crs_list_parameters_create();
        PJ_TYPE types[] = {PJ_TYPE_GEOGRAPHIC_2D_CRS, PJ_TYPE_PROJECTED_CRS};
        params->types = types;
        params->typesCount = 2;
        params->allow_deprecated = 1;
        for (const char* authority : {"EPSG", "ESRI"}) {
            int count = 0;
            PROJ_CRS_INFO** list =
                proj_get_crs_info_list_from_database(ctx, authority, params, &count);
            for (int i = 0; i < count; ++i) {
                const PROJ_CRS_INFO& info = *list[i];
                Entry e;
                e.authority = info.auth_name ? info.auth_name : "";
                e.code = info.code ? info.code : "";
                e.name = info.name ? info.name : "";
                e.wkid = NumericCode(e.code);
                e.projected = info.type == PJ_TYPE_PROJECTED_CRS;
                e.deprecated = info.deprecated != 0;
                e.hasArea = info.bbox_valid != 0;
                e.area.bounds = {info.west_lon_degree, info.south_lat_degree, info.east_lon_degree,
                                 info.north_lat_degree};
                entries.push_back(std::move(e));
            }
            proj_crs_info_list_destroy(list);
        }
        proj_get_crs_list_parameters_destroy(params);
        for (size_t i = 0; i < entries.size(); ++i) {
            auto [it, inserted] = byLowerName.emplace(Lower(entries[i].name), i);
            if (!inserted) {
                const Entry& held = entries[it->second];
                const Entry& next = entries[i];
                if (Rank(next) < Rank(held) || (Rank(next) == Rank(held) && next.wkid < held.wkid))
                    it->second = i;
            }
        }
    }

    PjPtr create(const std::string& authority, const std::string& code) {
        if (ctx == nullptr || authority.empty() || code.empty())
            return nullptr;
        return PjPtr(proj_create_from_database(ctx, authority.c_str(), code.c_str(),
                                               PJ_CATEGORY_CRS, 0, nullptr));
    }

    std::string wktOf(const std::string& authority, const std::string& code, PJ* crs) {
        const std::string key = authority + ":" + code;
        if (auto it = wktCache.find(key); it != wktCache.end())
            return it->second;
        const char* text = proj_as_wkt(ctx, crs, PJ_WKT1_ESRI, nullptr);
        if (text == nullptr)
            text = proj_as_wkt(ctx, crs, PJ_WKT1_GDAL, nullptr);
        std::string wkt = text != nullptr ? text : "";
        wktCache.emplace(key, wkt);
        return wkt;
    }

    std::optional<CrsDescription> describe(const std::string& authority, const std::string& code) {
        PjPtr crs = create(authority, code);
        if (!crs)
            return std::nullopt;
        const PJ_TYPE type = proj_get_type(crs.get());
        if (type != PJ_TYPE_GEOGRAPHIC_2D_CRS && type != PJ_TYPE_PROJECTED_CRS)
            return std::nullopt;
        CrsDescription out;
        out.authority = authority;
        out.code = code;
        out.wkid = NumericCode(code);
        const char* name = proj_get_name(crs.get());
        out.name = name != nullptr ? name : "";
        out.projected = type == PJ_TYPE_PROJECTED_CRS;
        out.wkt = wktOf(authority, code, crs.get());
        if (out.wkt.empty())
            return std::nullopt;
        return out;
    }

    // Transformations from WGS 84 to `base` usable over `extent`, best first.
    std::vector<TransMethod> transMethods(PJ* base, const GeoExtent& extent) {
        std::vector<TransMethod> out;
        if (!wgs84)
            wgs84 = create("EPSG", "4326");
        if (!wgs84 || base == nullptr)
            return out;
        if (proj_is_equivalent_to_with_ctx(ctx, base, wgs84.get(),
                                           PJ_COMP_EQUIVALENT_EXCEPT_AXIS_ORDER_GEOGCRS))
            return out;
        PJ_OPERATION_FACTORY_CONTEXT* factory = proj_create_operation_factory_context(ctx, nullptr);
        if (factory == nullptr)
            return out;
        proj_operation_factory_context_set_grid_availability_use(
            ctx, factory, PROJ_GRID_AVAILABILITY_DISCARD_OPERATION_IF_MISSING_GRID);
        proj_operation_factory_context_set_spatial_criterion(
            ctx, factory, PROJ_SPATIAL_CRITERION_PARTIAL_INTERSECTION);
        proj_operation_factory_context_set_area_of_interest(ctx, factory, extent.west, extent.south,
                                                            extent.east, extent.north);
        PjListPtr ops(proj_create_operations(ctx, wgs84.get(), base, factory));
        proj_operation_factory_context_destroy(factory);
        const int count = ops ? proj_list_get_count(ops.get()) : 0;
        for (int i = 0; i < count; ++i) {
            PjPtr op(proj_list_get(ctx, ops.get(), i));
            const char* authority = op ? proj_get_id_auth_name(op.get(), 0) : nullptr;
            const char* name = op ? proj_get_name(op.get()) : nullptr;
            // Operations without an identifier are PROJ's ad-hoc fallbacks, not named methods.
            if (authority == nullptr || name == nullptr)
                continue;
            TransMethod method;
            method.name = name;
            // PROJ names the reverse use of a database transformation "Inverse of <name>" and
            // marks its authority "INVERSE(<authority>)".
            constexpr std::string_view kInverse = "Inverse of ";
            method.forward = std::string_view(authority).rfind("INVERSE(", 0) != 0;
            if (!method.forward && method.name.rfind(kInverse, 0) == 0)
                method.name.erase(0, kInverse.size());
            const bool seen = std::any_of(out.begin(), out.end(), [&](const TransMethod& m) {
                return m.name == method.name;
            });
            if (!seen)
                out.push_back(std::move(method));
        }
        return out;
    }
};

CrsCatalog& CrsCatalog::instance() {
    static CrsCatalog* catalog = new CrsCatalog();  // never destroyed: used until exit
    return *catalog;
}

CrsCatalog::CrsCatalog() : impl_(std::make_unique<Impl>()) {}
CrsCatalog::~CrsCatalog() = default;

std::optional<CrsDescription> CrsCatalog::find(int wkid) {
    if (wkid <= 0)
        return std::nullopt;
    std::lock_guard<std::mutex> lock(impl_->mutex);
    const std::string code = std::to_string(wkid);
    if (auto found = impl_->describe("EPSG", code))
        return found;
    return impl_->describe("ESRI", code);
}

std::optional<CrsDescription> CrsCatalog::find(const std::string& nameOrCode) {
    if (nameOrCode.empty())
        return std::nullopt;
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->listOnce();
    if (auto it = impl_->byLowerName.find(Lower(nameOrCode)); it != impl_->byLowerName.end()) {
        const Entry& e = impl_->entries[it->second];
        return impl_->describe(e.authority, e.code);
    }
    const size_t colon = nameOrCode.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == nameOrCode.size())
        return std::nullopt;
    return impl_->describe(Upper(nameOrCode.substr(0, colon)), nameOrCode.substr(colon + 1));
}

namespace {

std::vector<std::string> SortedNames(const std::vector<Entry>& entries, bool projected) {
    std::vector<std::string> out;
    for (const Entry& e : entries) {
        if (!e.deprecated && e.projected == projected && !e.name.empty())
            out.push_back(e.name);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

}  // namespace

std::vector<std::string> CrsCatalog::geographicNames() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->listOnce();
    return SortedNames(impl_->entries, false);
}

std::vector<std::string> CrsCatalog::projectedNames() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->listOnce();
    return SortedNames(impl_->entries, true);
}

std::vector<RecommendedCrs> CrsCatalog::recommend(const GeoExtent& extent, size_t limit) {
    std::vector<RecommendedCrs> out;
    if (!extent.isValidExtent())
        return out;
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->listOnce();
    std::vector<const Entry*> candidates;
    for (const Entry& e : impl_->entries) {
        if (e.projected && !e.deprecated && e.authority == "EPSG" && e.wkid > 0 && e.hasArea &&
            e.area.contains(extent))
            candidates.push_back(&e);
    }
    std::sort(candidates.begin(), candidates.end(), [](const Entry* a, const Entry* b) {
        const double fa = a->area.sphereFraction();
        const double fb = b->area.sphereFraction();
        if (fa != fb)
            return fa < fb;
        return a->wkid < b->wkid;
    });
    // Transformations depend only on the projected system's geographic system.
    std::map<std::string, std::vector<TransMethod>> methodsByBase;
    for (const Entry* e : candidates) {
        if (limit != 0 && out.size() >= limit)
            break;
        PjPtr crs = impl_->create(e->authority, e->code);
        if (!crs)
            continue;
        RecommendedCrs rec;
        rec.wkid = e->wkid;
        rec.name = e->name;
        rec.wkt = impl_->wktOf(e->authority, e->code, crs.get());
        rec.area = e->area;
        rec.areaFraction = e->area.sphereFraction();
        PjPtr base(proj_crs_get_geodetic_crs(impl_->ctx, crs.get()));
        const char* baseAuthority = base ? proj_get_id_auth_name(base.get(), 0) : nullptr;
        const char* baseCode = base ? proj_get_id_code(base.get(), 0) : nullptr;
        std::string key;
        if (baseAuthority != nullptr && baseCode != nullptr) {
            key = std::string(baseAuthority) + ":" + baseCode;
        } else if (base) {
            const char* wkt = proj_as_wkt(impl_->ctx, base.get(), PJ_WKT2_2019, nullptr);
            key = std::string("WKT:") + (wkt != nullptr ? wkt : "");
        }
        auto it = methodsByBase.find(key);
        if (it == methodsByBase.end())
            it = methodsByBase.emplace(key, impl_->transMethods(base.get(), extent)).first;
        rec.transMethods = it->second;
        out.push_back(std::move(rec));
    }
    return out;
}

}  // namespace qelocal::geo
