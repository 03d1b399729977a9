#include "ShapeFixtures.h"

#include <gdal.h>
#include <minizip/zip.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <cstdio>
#include <filesystem>

#include "common/TestSupport.h"

namespace stemtest {

bool WriteShape(const std::string& path, const std::vector<Column>& columns,
                const std::vector<std::string>& wkts,
                const std::vector<std::vector<std::string>>& rows, int epsg) {
    GDALAllRegister();
    GDALDriverH driver = GDALGetDriverByName("ESRI Shapefile");
    if (driver == nullptr)
        return false;
    GDALDatasetH dataset = GDALCreate(driver, path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    if (dataset == nullptr) {
        std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), CPLGetLastErrorMsg());
        return false;
    }
    OGRSpatialReferenceH srs = nullptr;
    if (epsg > 0) {
        srs = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(srs, epsg);
        OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
    }
    OGRwkbGeometryType type = wkbPoint;
    if (!wkts.empty()) {
        OGRGeometryH probe = nullptr;
        char* text = const_cast<char*>(wkts[0].c_str());
        OGR_G_CreateFromWkt(&text, nullptr, &probe);
        if (probe != nullptr) {
            type = OGR_G_GetGeometryType(probe);
            OGR_G_DestroyGeometry(probe);
        }
    }
    std::filesystem::path file(path);
    OGRLayerH layer = GDALDatasetCreateLayer(dataset, file.stem().c_str(), srs, type, nullptr);
    bool ok = layer != nullptr;
    for (size_t c = 0; ok && c < columns.size(); ++c) {
        OGRFieldDefnH field =
            OGR_Fld_Create(columns[c].name.c_str(), columns[c].integer ? OFTInteger : OFTString);
        ok = OGR_L_CreateField(layer, field, TRUE) == OGRERR_NONE;
        OGR_Fld_Destroy(field);
    }
    for (size_t i = 0; ok && i < wkts.size(); ++i) {
        OGRFeatureH feature = OGR_F_Create(OGR_L_GetLayerDefn(layer));
        for (size_t c = 0; i < rows.size() && c < rows[i].size() && c < columns.size(); ++c)
            OGR_F_SetFieldString(feature, static_cast<int>(c), rows[i][c].c_str());
        OGRGeometryH geometry = nullptr;
        char* text = const_cast<char*>(wkts[i].c_str());
        ok = OGR_G_CreateFromWkt(&text, srs, &geometry) == OGRERR_NONE;
        if (ok) {
            OGR_F_SetGeometryDirectly(feature, geometry);
            ok = OGR_L_CreateFeature(layer, feature) == OGRERR_NONE;
        }
        OGR_F_Destroy(feature);
    }
    GDALClose(dataset);
    if (srs != nullptr)
        OSRDestroySpatialReference(srs);
    if (!ok)
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), CPLGetLastErrorMsg());
    return ok;
}

std::string Square(double x, double y) {
    char text[200];
    std::snprintf(text, sizeof text, "POLYGON ((%g %g,%g %g,%g %g,%g %g,%g %g))", x, y, x, y + 1,
                  x + 1, y + 1, x + 1, y, x, y);
    return text;
}

bool WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& entries) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr)
        return false;
    bool ok = true;
    for (const auto& [name, content] : entries) {
        zip_fileinfo info{};
        ok = ok && zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                       Z_DEFLATED, Z_DEFAULT_COMPRESSION) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zip, content.data(),
                                       static_cast<unsigned>(content.size())) == ZIP_OK;
        ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

std::vector<std::pair<std::string, std::string>> ShapeEntries(const std::string& shpPath,
                                                              const std::string& prefix) {
    std::vector<std::pair<std::string, std::string>> entries;
    const std::filesystem::path shp(shpPath);
    for (const char* ext : {".shp", ".shx", ".dbf", ".prj", ".cpg"}) {
        std::filesystem::path file = shp;
        file.replace_extension(ext);
        if (std::filesystem::exists(file))
            entries.emplace_back(prefix + file.filename().string(), qetest::ReadFile(file));
    }
    return entries;
}

}  // namespace stemtest
