#include "qeinteg/platform/engine/geo/ProjLibrary.h"

#include <dlfcn.h>

#include <atomic>
#include <string>

// The definitions below are for this library's own calls only: the hidden visibility keeps them
// from standing in for PROJ in any other library of the process (GDAL links PROJ itself).
#define PROJ_DLL __attribute__((visibility("hidden")))
#include <proj.h>

#include "qeinteg/platform/engine/exec/EngineTypes.h"

// The build names PROJ's library as the dynamic loader knows it (its soname).
#ifndef QEINTEG_PROJ_LIBRARY
#error "QEINTEG_PROJ_LIBRARY must be defined by the build"
#endif

namespace {

std::atomic<bool> loaded{false};

void* ProjHandle() {
    static void* const handle = [] {
        void* h = dlopen(QEINTEG_PROJ_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (h == nullptr) {
            const char* why = dlerror();
            throw qelocal::EngineError(std::string("cannot load the PROJ library ") +
                                       QEINTEG_PROJ_LIBRARY + ": " + (why ? why : "not found"));
        }
        loaded = true;
        return h;
    }();
    return handle;
}

// PROJ's own `name`, looked up in PROJ alone (never this library's forwarder of that name).
template <typename Function>
Function Symbol(const char* name) {
    void* symbol = dlsym(ProjHandle(), name);
    if (symbol == nullptr) {
        throw qelocal::EngineError(std::string("the PROJ library ") + QEINTEG_PROJ_LIBRARY +
                                   " has no function " + name);
    }
    return reinterpret_cast<Function>(symbol);
}

}  // namespace

namespace qelocal::geo {

bool ProjLoaded() {
    return loaded;
}

}  // namespace qelocal::geo

// Each forwarder looks PROJ's function up once; its signature is checked against proj.h.
#define QE_PROJ_FORWARD(Result, name, parameters, arguments)              \
    Result name parameters {                                              \
        static const auto function = Symbol<Result(*) parameters>(#name); \
        return function arguments;                                        \
    }

extern "C" {

QE_PROJ_FORWARD(PJ_CONTEXT*, proj_context_create, (void), ())
QE_PROJ_FORWARD(PJ_CONTEXT*, proj_context_destroy, (PJ_CONTEXT * ctx), (ctx))
QE_PROJ_FORWARD(int, proj_context_set_enable_network, (PJ_CONTEXT * ctx, int enabled),
                (ctx, enabled))
QE_PROJ_FORWARD(PJ_LOG_LEVEL, proj_log_level, (PJ_CONTEXT * ctx, PJ_LOG_LEVEL level), (ctx, level))
QE_PROJ_FORWARD(void, proj_log_func, (PJ_CONTEXT * ctx, void* data, PJ_LOG_FUNCTION f),
                (ctx, data, f))
QE_PROJ_FORWARD(PJ*, proj_create, (PJ_CONTEXT * ctx, const char* definition), (ctx, definition))
QE_PROJ_FORWARD(PJ*, proj_destroy, (PJ * p), (p))
QE_PROJ_FORWARD(PJ*, proj_create_crs_to_crs_from_pj,
                (PJ_CONTEXT * ctx, const PJ* source, const PJ* target, PJ_AREA* area,
                 const char* const* options),
                (ctx, source, target, area, options))
QE_PROJ_FORWARD(PJ*, proj_create_from_database,
                (PJ_CONTEXT * ctx, const char* auth, const char* code, PJ_CATEGORY category,
                 int alternativeGridNames, const char* const* options),
                (ctx, auth, code, category, alternativeGridNames, options))
QE_PROJ_FORWARD(PJ_OPERATION_FACTORY_CONTEXT*, proj_create_operation_factory_context,
                (PJ_CONTEXT * ctx, const char* authority), (ctx, authority))
QE_PROJ_FORWARD(void, proj_operation_factory_context_destroy,
                (PJ_OPERATION_FACTORY_CONTEXT * factory), (factory))
QE_PROJ_FORWARD(void, proj_operation_factory_context_set_area_of_interest,
                (PJ_CONTEXT * ctx, PJ_OPERATION_FACTORY_CONTEXT* factory, double west, double south,
                 double east, double north),
                (ctx, factory, west, south, east, north))
QE_PROJ_FORWARD(void, proj_operation_factory_context_set_grid_availability_use,
                (PJ_CONTEXT * ctx, PJ_OPERATION_FACTORY_CONTEXT* factory,
                 PROJ_GRID_AVAILABILITY_USE use),
                (ctx, factory, use))
QE_PROJ_FORWARD(void, proj_operation_factory_context_set_spatial_criterion,
                (PJ_CONTEXT * ctx, PJ_OPERATION_FACTORY_CONTEXT* factory,
                 PROJ_SPATIAL_CRITERION criterion),
                (ctx, factory, criterion))
QE_PROJ_FORWARD(PJ_OBJ_LIST*, proj_create_operations,
                (PJ_CONTEXT * ctx, const PJ* source, const PJ* target,
                 const PJ_OPERATION_FACTORY_CONTEXT* factory),
                (ctx, source, target, factory))
QE_PROJ_FORWARD(int, proj_list_get_count, (const PJ_OBJ_LIST* list), (list))
QE_PROJ_FORWARD(PJ*, proj_list_get, (PJ_CONTEXT * ctx, const PJ_OBJ_LIST* list, int index),
                (ctx, list, index))
QE_PROJ_FORWARD(void, proj_list_destroy, (PJ_OBJ_LIST * list), (list))
QE_PROJ_FORWARD(PJ*, proj_crs_get_geodetic_crs, (PJ_CONTEXT * ctx, const PJ* crs), (ctx, crs))
QE_PROJ_FORWARD(PJ*, proj_normalize_for_visualization, (PJ_CONTEXT * ctx, const PJ* obj),
                (ctx, obj))
QE_PROJ_FORWARD(PJ_TYPE, proj_get_type, (const PJ* obj), (obj))
QE_PROJ_FORWARD(const char*, proj_get_name, (const PJ* obj), (obj))
QE_PROJ_FORWARD(const char*, proj_get_id_auth_name, (const PJ* obj, int index), (obj, index))
QE_PROJ_FORWARD(const char*, proj_get_id_code, (const PJ* obj, int index), (obj, index))
QE_PROJ_FORWARD(const char*, proj_as_wkt,
                (PJ_CONTEXT * ctx, const PJ* obj, PJ_WKT_TYPE type, const char* const* options),
                (ctx, obj, type, options))
QE_PROJ_FORWARD(int, proj_is_equivalent_to_with_ctx,
                (PJ_CONTEXT * ctx, const PJ* obj, const PJ* other,
                 PJ_COMPARISON_CRITERION criterion),
                (ctx, obj, other, criterion))
QE_PROJ_FORWARD(PROJ_CRS_LIST_PARAMETERS*, proj_get_crs_list_parameters_create, (void), ())
QE_PROJ_FORWARD(void, proj_get_crs_list_parameters_destroy, (PROJ_CRS_LIST_PARAMETERS * params),
                (params))
QE_PROJ_FORWARD(PROJ_CRS_INFO**, proj_get_crs_info_list_from_database,
                (PJ_CONTEXT * ctx, const char* auth, const PROJ_CRS_LIST_PARAMETERS* params,
                 int* count),
                (ctx, auth, params, count))
QE_PROJ_FORWARD(void, proj_crs_info_list_destroy, (PROJ_CRS_INFO * *list), (list))
QE_PROJ_FORWARD(int, proj_trans_bounds,
                (PJ_CONTEXT * ctx, PJ* p, PJ_DIRECTION direction, double xmin, double ymin,
                 double xmax, double ymax, double* outXmin, double* outYmin, double* outXmax,
                 double* outYmax, int densify),
                (ctx, p, direction, xmin, ymin, xmax, ymax, outXmin, outYmin, outXmax, outYmax,
                 densify))
QE_PROJ_FORWARD(size_t, proj_trans_generic,
                (PJ * p, PJ_DIRECTION direction, double* x, size_t sx, size_t nx, double* y,
                 size_t sy, size_t ny, double* z, size_t sz, size_t nz, double* t, size_t st,
                 size_t nt),
                (p, direction, x, sx, nx, y, sy, ny, z, sz, nz, t, st, nt))

}  // extern "C"
