#include "qeinteg/platform/engine/io/GeoRowSource.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "qeinteg/platform/engine/exec/Batch.h"
#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/geo/CrsCatalog.h"
#include "qeinteg/platform/engine/geo/GdalScope.h"
#include "qeinteg/platform/engine/geo/MapService.h"

namespace qelocal {

namespace {

namespace fs = std::filesystem;

// Shape files are local: a short time-out only matters for services.
constexpr std::chrono::milliseconds kLocalTimeout{10000};

// The side-car file of `shp` with extension `ext` (".dbf"), in either letter case; empty when
// there is none.
std::string SideCar(const std::string& shp, const char* lower, const char* upper) {
    for (const char* ext : {lower, upper}) {
        fs::path candidate = fs::path(shp).replace_extension(ext);
        std::error_code error;
        if (fs::is_regular_file(candidate, error))
            return candidate.string();
    }
    return {};
}

std::string GeometryTypeName(OGRwkbGeometryType type) {
    switch (wkbFlatten(type)) {
        case wkbPoint:
            return "Point";
        case wkbMultiPoint:
            return "MultiPoint";
        case wkbLineString:
            return "LineString";
        case wkbMultiLineString:
            return "MultiLineString";
        case wkbPolygon:
            return "Polygon";
        case wkbMultiPolygon:
            return "MultiPolygon";
        case wkbGeometryCollection:
            return "GeometryCollection";
        default:
            return "";
    }
}

// Names the system of `srs` as the catalog does when it is one of the database's systems;
// otherwise keeps its own name and definition (`wkt`, as the source wrote it, when given).
void DescribeSystem(const OGRSpatialReference& srs, const std::string& sourceWkt, GeoInfo& geo) {
    geo.projected = srs.IsProjected() != 0;
    OGRSpatialReference probe(srs);
    int wkid = 0;
    if (probe.AutoIdentifyEPSG() == OGRERR_NONE || probe.GetAuthorityCode(nullptr) != nullptr) {
        const char* code = probe.GetAuthorityCode(nullptr);
        const char* authority = probe.GetAuthorityName(nullptr);
        if (code != nullptr && authority != nullptr &&
            (EQUAL(authority, "EPSG") || EQUAL(authority, "ESRI")))
            wkid = std::atoi(code);
    }
    if (wkid <= 0) {
        int count = 0;
        int* confidence = nullptr;
        OGRSpatialReferenceH* matches = srs.FindMatches(nullptr, &count, &confidence);
        for (int i = 0; i < count && wkid <= 0; ++i) {
            const auto* match = OGRSpatialReference::FromHandle(matches[i]);
            const char* authority = match->GetAuthorityName(nullptr);
            const char* code = match->GetAuthorityCode(nullptr);
            if (confidence[i] >= 90 && authority != nullptr && code != nullptr &&
                (EQUAL(authority, "EPSG") || EQUAL(authority, "ESRI")))
                wkid = std::atoi(code);
        }
        OSRFreeSRSArray(matches);
        CPLFree(confidence);
    }
    if (wkid > 0) {
        if (auto known = geo::CrsCatalog::instance().find(wkid)) {
            geo.wkid = known->wkid;
            geo.csName = known->name;
            geo.wkt = known->wkt;
            geo.projected = known->projected;
            return;
        }
    }
    geo.wkid = 0;
    geo.csName = srs.GetName() != nullptr ? srs.GetName() : "";
    if (!sourceWkt.empty()) {
        geo.wkt = sourceWkt;
    } else {
        char* text = nullptr;
        const char* options[] = {"FORMAT=WKT1_ESRI", nullptr};
        if (srs.exportToWkt(&text, options) == OGRERR_NONE && text != nullptr)
            geo.wkt = text;
        CPLFree(text);
    }
}

Storage StorageOf(OGRFieldType type) {
    switch (type) {
        case OFTInteger:
        case OFTInteger64:
            return Storage::Integer;
        case OFTReal:
            return Storage::Real;
        case OFTDate:
            return Storage::Date;
        case OFTTime:
            return Storage::Time;
        case OFTDateTime:
            return Storage::Timestamp;
        default:
            return Storage::String;
    }
}

}  // namespace

struct GeoRowSource::Impl {
    std::chrono::milliseconds timeout = kLocalTimeout;
    GDALDataset* dataset = nullptr;  // owned for shape files
    std::unique_ptr<geo::MapServiceFeatures> service;
    OGRLayer* layer = nullptr;
    std::string context;
    std::string source;  // for messages
    std::optional<GeoInfo> geo;
    std::unique_ptr<OGRFeature> feature;
    std::vector<Storage> storages;   // per attribute field
    std::vector<std::string> texts;  // current texts, per field (the geometry last)
    long long total = -1;
    long long read = 0;

    ~Impl() {
        feature.reset();
        service.reset();
        if (dataset != nullptr)
            GDALClose(dataset);
    }
};

GeoRowSource::GeoRowSource(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

GeoRowSource::~GeoRowSource() = default;

std::unique_ptr<GeoRowSource> GeoRowSource::OpenShape(const std::string& path,
                                                      const std::string& context) {
    auto impl = std::make_unique<Impl>();
    impl->context = context;
    impl->source = path;
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        throw EngineError(context + ": the shape file " + path + " does not exist");
    if (SideCar(path, ".dbf", ".DBF").empty())
        throw EngineError(context + ": the shape file " + path +
                          " has no .dbf file with its attributes beside it");
    geo::GdalScope scope(kLocalTimeout);
    const char* drivers[] = {"ESRI Shapefile", nullptr};
    impl->dataset = static_cast<GDALDataset*>(
        GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers, nullptr, nullptr));
    if (impl->dataset == nullptr || impl->dataset->GetLayerCount() < 1)
        throw EngineError(context + ": " + path + " is not a readable shape file (" +
                          scope.lastError("not recognised") + ")");
    impl->layer = impl->dataset->GetLayer(0);

    GeoInfo geo;
    if (const std::string prj = SideCar(path, ".prj", ".PRJ"); !prj.empty()) {
        std::ifstream in(prj, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::string wkt = text.str();
        while (!wkt.empty() && (wkt.back() == '\n' || wkt.back() == '\r' || wkt.back() == ' '))
            wkt.pop_back();
        OGRSpatialReference srs;
        const char* lines[] = {wkt.c_str(), nullptr};
        if (wkt.empty() || srs.importFromESRI(const_cast<char**>(lines)) != OGRERR_NONE ||
            (!srs.IsGeographic() && !srs.IsProjected()))
            throw EngineError(
                context + ": the .prj file of " + path +
                " names no coordinate system this engine knows: " + wkt.substr(0, 120));
        DescribeSystem(srs, wkt, geo);
    }
    impl->geo = geo;
    std::unique_ptr<GeoRowSource> source(new GeoRowSource(std::move(impl)));
    source->describe();
    return source;
}

std::unique_ptr<GeoRowSource> GeoRowSource::OpenService(const std::string& url, int layer,
                                                        std::chrono::milliseconds timeout,
                                                        const std::string& context) {
    auto impl = std::make_unique<Impl>();
    impl->context = context;
    impl->source = url + " layer " + std::to_string(layer);
    impl->timeout = timeout;
    std::string reason;
    geo::MapServiceOptions options;
    options.timeout = timeout;
    std::unique_ptr<geo::MapService> service = geo::MapService::open(url, options, reason);
    if (!service)
        throw EngineError(context + ": the map service " + url + " cannot be read: " + reason);
    impl->service = service->openFeatures(layer, reason);
    if (!impl->service)
        throw EngineError(context + ": the map service " + url + " cannot give layer " +
                          std::to_string(layer) + ": " + reason);
    impl->layer = impl->service->layer();
    GeoInfo geo;
    if (const OGRSpatialReference* srs = impl->layer->GetSpatialRef())
        DescribeSystem(*srs, "", geo);
    impl->geo = geo;
    std::unique_ptr<GeoRowSource> source(new GeoRowSource(std::move(impl)));
    source->describe();
    return source;
}

void GeoRowSource::describe() {
    Impl& d = *impl_;
    geo::GdalScope scope(d.timeout);
    OGRFeatureDefn* definition = d.layer->GetLayerDefn();
    for (int i = 0; i < definition->GetFieldCount(); ++i) {
        const OGRFieldDefn* f = definition->GetFieldDefn(i);
        EngineField field;
        field.name = f->GetNameRef();
        field.storage = StorageOf(f->GetType());
        field.measure = field.storage == Storage::String ? Measure::Nominal : Measure::Continuous;
        d.storages.push_back(field.storage);
        fields_.push_back(std::move(field));
    }
    EngineField geometry;
    geometry.name = "geometry";
    for (int n = 1; FindField(fields_, geometry.name) >= 0; ++n)
        geometry.name = "geometry_" + std::to_string(n);
    geometry.storage = Storage::String;
    geometry.measure = Measure::Typeless;
    GeoInfo geo = *d.geo;
    const OGRwkbGeometryType type = d.layer->GetGeomType();
    geo.type = GeometryTypeName(type);
    geo.coordinates = wkbHasZ(type) ? 3 : 2;
    // Shape files keep their extent in the header; a service is not asked to compute one.
    OGREnvelope extent;
    if (d.layer->GetExtent(&extent, d.dataset != nullptr ? TRUE : FALSE) == OGRERR_NONE)
        geo.envelope = GeoEnvelope{extent.MinX, extent.MaxY, extent.MaxX, extent.MinY};
    geometry.geo = geo;
    fields_.push_back(std::move(geometry));
    d.texts.resize(fields_.size());
    d.total = d.layer->GetFeatureCount(d.dataset != nullptr ? TRUE : FALSE);
    d.layer->ResetReading();
}

bool GeoRowSource::next() {
    Impl& d = *impl_;
    geo::GdalScope scope(d.timeout);
    d.feature.reset(d.layer->GetNextFeature());
    // A damaged record is reported as an error beside a feature without geometry: never pass it
    // on as if it had none.
    if (!scope.errors().empty())
        throw EngineError(d.context + ": " + d.source + " cannot be read after record " +
                          std::to_string(d.read) + ": " + scope.errors().back());
    if (!d.feature)
        return false;
    ++d.read;
    const OGRGeometry* geometry = d.feature->GetGeometryRef();
    std::string& wkb = d.texts.back();
    wkb.clear();
    if (geometry != nullptr && !geometry->IsEmpty()) {
        wkb.resize(static_cast<size_t>(geometry->WkbSize()));
        geometry->exportToWkb(wkbNDR, reinterpret_cast<unsigned char*>(wkb.data()), wkbVariantIso);
    }
    return true;
}

Cell GeoRowSource::cell(size_t index) {
    Impl& d = *impl_;
    Cell cell;
    if (!d.feature || index >= fields_.size())
        return cell;
    if (index + 1 == fields_.size()) {
        if (!d.texts.back().empty()) {
            cell.missing = false;
            cell.text = d.texts.back();
        }
        return cell;
    }
    const int i = static_cast<int>(index);
    if (!d.feature->IsFieldSetAndNotNull(i))
        return cell;
    cell.missing = false;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, zone = 0;
    float second = 0;
    switch (d.storages[index]) {
        case Storage::Integer:
            cell.number = static_cast<double>(d.feature->GetFieldAsInteger64(i));
            break;
        case Storage::Real:
            cell.number = d.feature->GetFieldAsDouble(i);
            break;
        case Storage::Date:
        case Storage::Time:
        case Storage::Timestamp: {
            d.feature->GetFieldAsDateTime(i, &year, &month, &day, &hour, &minute, &second, &zone);
            const double seconds = hour * 3600.0 + minute * 60.0 + second;
            if (d.storages[index] == Storage::Time)
                cell.number = seconds;
            else if (d.storages[index] == Storage::Date)
                cell.number = static_cast<double>(DaysFromCivil(year, month, day));
            else
                cell.number =
                    static_cast<double>(DaysFromCivil(year, month, day)) * 86400.0 + seconds;
            break;
        }
        default:
            d.texts[index] = d.feature->GetFieldAsString(i);
            cell.text = d.texts[index];
            break;
    }
    return cell;
}

double GeoRowSource::fraction() const {
    if (impl_->total <= 0)
        return -1.0;
    return std::min(1.0, static_cast<double>(impl_->read) / static_cast<double>(impl_->total));
}

}  // namespace qelocal
