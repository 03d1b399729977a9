#include "GeoShapes.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <filesystem>

namespace geotest {

std::string MakeShape(const std::string& dir, const std::string& base,
                      const std::vector<ShapeFeature>& features, int epsg) {
    GDALAllRegister();
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/" + base + ".shp";
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
    if (driver == nullptr || features.empty())
        return "";
    std::unique_ptr<GDALDataset> dataset(
        driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!dataset)
        return "";
    OGRGeometry* first = nullptr;
    OGRGeometryFactory::createFromWkt(features[0].wkt.c_str(), nullptr, &first);
    if (first == nullptr)
        return "";
    const OGRwkbGeometryType type = first->getGeometryType();
    OGRGeometryFactory::destroyGeometry(first);
    OGRSpatialReference srs;
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (epsg > 0)
        srs.importFromEPSG(epsg);
    OGRLayer* layer = dataset->CreateLayer(base.c_str(), epsg > 0 ? &srs : nullptr, type, nullptr);
    if (layer == nullptr)
        return "";
    OGRFieldDefn id("id", OFTInteger);
    OGRFieldDefn name("name", OFTString);
    name.SetWidth(40);
    layer->CreateField(&id);
    layer->CreateField(&name);
    for (const ShapeFeature& f : features) {
        OGRFeature feature(layer->GetLayerDefn());
        feature.SetField("id", f.id);
        feature.SetField("name", f.name.c_str());
        OGRGeometry* geometry = nullptr;
        OGRGeometryFactory::createFromWkt(f.wkt.c_str(), nullptr, &geometry);
        feature.SetGeometryDirectly(geometry);
        if (layer->CreateFeature(&feature) != OGRERR_NONE)
            return "";
    }
    return path;
}

}  // namespace geotest
