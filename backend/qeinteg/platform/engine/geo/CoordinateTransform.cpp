#include "qeinteg/platform/engine/geo/CoordinateTransform.h"

#include <proj.h>

#include <strings.h>
#include <cmath>
#include <optional>

#include "qeinteg/platform/engine/geo/CrsCatalog.h"

namespace qelocal::geo {

namespace {

struct PjDeleter {
    void operator()(PJ* pj) const { proj_destroy(pj); }
};
using PjPtr = std::unique_ptr<PJ, PjDeleter>;

// The PROJ object of `ref` with its description; null with `reason` when it is not known.
PjPtr Resolve(PJ_CONTEXT* ctx, const SystemRef& ref, ResolvedSystem& out, std::string& reason) {
    std::optional<CrsDescription> known;
    if (!ref.name.empty())
        known = CrsCatalog::instance().find(ref.name);
    if (!known && ref.wkid > 0)
        known = CrsCatalog::instance().find(ref.wkid);
    PjPtr pj;
    if (known) {
        pj.reset(proj_create(ctx, (known->authority + ":" + known->code).c_str()));
        out = ResolvedSystem{known->wkid, known->name, known->wkt, known->projected};
    } else if (!ref.wkt.empty()) {
        pj.reset(proj_create(ctx, ref.wkt.c_str()));
        if (pj) {
            const char* name = proj_get_name(pj.get());
            const PJ_TYPE type = proj_get_type(pj.get());
            out = ResolvedSystem{0, name != nullptr ? name : ref.name, ref.wkt,
                                 type == PJ_TYPE_PROJECTED_CRS};
        }
    }
    if (!pj && !ref.name.empty()) {
        // Other spellings PROJ's database knows (ESRI aliases such as "GCS_WGS_1984").
        pj.reset(proj_create(ctx, ref.name.c_str()));
        const PJ_TYPE type = pj ? proj_get_type(pj.get()) : PJ_TYPE_UNKNOWN;
        if (type != PJ_TYPE_GEOGRAPHIC_2D_CRS && type != PJ_TYPE_PROJECTED_CRS) {
            pj.reset();
        } else {
            const char* authority = proj_get_id_auth_name(pj.get(), 0);
            const char* code = proj_get_id_code(pj.get(), 0);
            if (authority != nullptr && code != nullptr)
                known = CrsCatalog::instance().find(std::string(authority) + ":" + code);
            if (known) {
                out = ResolvedSystem{known->wkid, known->name, known->wkt, known->projected};
            } else {
                const char* name = proj_get_name(pj.get());
                out = ResolvedSystem{0, name != nullptr ? name : ref.name, "",
                                     type == PJ_TYPE_PROJECTED_CRS};
            }
        }
    }
    if (!pj) {
        reason = "the coordinate system " +
                 (!ref.name.empty() ? "'" + ref.name + "'"
                  : ref.wkid > 0    ? std::to_string(ref.wkid)
                                    : std::string("given by its definition")) +
                 " is not known";
    }
    return pj;
}

}  // namespace

struct CoordinateTransform::Impl {
    PJ_CONTEXT* ctx = nullptr;
    PjPtr operation;
    ~Impl() {
        operation.reset();
        if (ctx != nullptr)
            proj_context_destroy(ctx);
    }
};

CoordinateTransform::CoordinateTransform() : impl_(std::make_unique<Impl>()) {}

CoordinateTransform::~CoordinateTransform() = default;

std::unique_ptr<CoordinateTransform> CoordinateTransform::Create(const SystemRef& from,
                                                                 const SystemRef& to,
                                                                 const std::string& method,
                                                                 std::string& reason) {
    std::unique_ptr<CoordinateTransform> t(new CoordinateTransform());
    PJ_CONTEXT* ctx = proj_context_create();
    if (ctx == nullptr) {
        reason = "PROJ cannot be started";
        return nullptr;
    }
    t->impl_->ctx = ctx;
    proj_log_level(ctx, PJ_LOG_NONE);
    proj_context_set_enable_network(ctx, 0);
    PjPtr source = Resolve(ctx, from, t->source_, reason);
    if (!source)
        return nullptr;
    PjPtr target = Resolve(ctx, to, t->target_, reason);
    if (!target)
        return nullptr;
    PjPtr operation;
    if (method.empty()) {
        operation.reset(
            proj_create_crs_to_crs_from_pj(ctx, source.get(), target.get(), nullptr, nullptr));
    } else {
        PJ_OPERATION_FACTORY_CONTEXT* factory = proj_create_operation_factory_context(ctx, nullptr);
        proj_operation_factory_context_set_grid_availability_use(
            ctx, factory, PROJ_GRID_AVAILABILITY_DISCARD_OPERATION_IF_MISSING_GRID);
        // Methods of any region qualify; the caller names the one it wants.
        proj_operation_factory_context_set_spatial_criterion(
            ctx, factory, PROJ_SPATIAL_CRITERION_PARTIAL_INTERSECTION);
        PJ_OBJ_LIST* list = proj_create_operations(ctx, source.get(), target.get(), factory);
        const int count = list != nullptr ? proj_list_get_count(list) : 0;
        for (int i = 0; i < count && !operation; ++i) {
            PjPtr candidate(proj_list_get(ctx, list, i));
            const char* name = candidate ? proj_get_name(candidate.get()) : nullptr;
            if (name != nullptr && strcasecmp(name, method.c_str()) == 0)
                operation = std::move(candidate);
        }
        // A method names a datum step; the candidates name the whole chain that contains it.
        for (int i = 0; i < count && !operation; ++i) {
            PjPtr candidate(proj_list_get(ctx, list, i));
            const char* name = candidate ? proj_get_name(candidate.get()) : nullptr;
            if (name != nullptr && std::string(name).find(method) != std::string::npos)
                operation = std::move(candidate);
        }
        proj_list_destroy(list);
        proj_operation_factory_context_destroy(factory);
        if (!operation) {
            reason = "no transformation named '" + method + "' leads from " + t->source_.name +
                     " to " + t->target_.name;
            return nullptr;
        }
    }
    if (operation)
        operation.reset(proj_normalize_for_visualization(ctx, operation.get()));
    if (!operation) {
        reason =
            std::string("PROJ finds no way from ") + t->source_.name + " to " + t->target_.name;
        return nullptr;
    }
    t->impl_->operation = std::move(operation);
    return t;
}

size_t CoordinateTransform::transform(double* x, double* y, double* z, size_t stride,
                                      size_t count) const {
    if (count == 0)
        return 0;
    proj_trans_generic(impl_->operation.get(), PJ_FWD, x, stride, count, y, stride, count, z,
                       z != nullptr ? stride : 0, z != nullptr ? count : 0, nullptr, 0, 0);
    auto at = [stride](const double* base, size_t i) {
        return *reinterpret_cast<const double*>(reinterpret_cast<const char*>(base) + i * stride);
    };
    for (size_t i = 0; i < count; ++i) {
        if (!std::isfinite(at(x, i)) || !std::isfinite(at(y, i)))
            return i;
    }
    return count;
}

bool CoordinateTransform::transformBounds(double bounds[4]) const {
    double out[4];
    if (!proj_trans_bounds(impl_->ctx, impl_->operation.get(), PJ_FWD, bounds[0], bounds[1],
                           bounds[2], bounds[3], &out[0], &out[1], &out[2], &out[3], 21))
        return false;
    for (int i = 0; i < 4; ++i)
        bounds[i] = out[i];
    return true;
}

}  // namespace qelocal::geo
