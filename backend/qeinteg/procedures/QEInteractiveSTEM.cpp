#include "qeinteg/procedures/QEInteractiveSTEM.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/data/QESimpleContainer.h"
#include "qeinteg/data/QESimpleFile.h"
#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/data/ZipDir.h"
#include "qeinteg/platform/QEAssert.h"
#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/platform/host/data/FetchFile.h"
#include "qeinteg/platform/host/data/UserCaseFileSpec.h"
#include "qeinteg/platform/host/data/UserInputCaseFile.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/platform/host/process/ParserMessage.h"
#include "qeinteg/platform/host/process/TempDirectory.h"
#include "qeinteg/platform/host/text/ExtNameStr.h"
#include "qeinteg/qel/JNIQelExpression.h"
#include "qeinteg/qel/JNIQelProgram.h"
#include "qeinteg/qel/QELAggregate.h"
#include "qeinteg/qel/QELDataModelBuilder.h"
#include "qeinteg/qel/QELExpressionFun.h"
#include "qeinteg/qel/QELJoin.h"
#include "qeinteg/qel/QELRead.h"
#include "qeinteg/qel/QELReprojection.h"
#include "qeinteg/qel/QELUpdateDataModel.h"
#include "qeinteg/qel/QELWrite.h"
#include "qeinteg/runner/QEProgressListener.h"
#include "qeinteg/runner/QERunImpl.h"
#include "qeinteg/runner/QERunner.h"

namespace {

constexpr const char* kUnknownMessage = "unknown QE message";
constexpr const char* kNoShapeInZip = "The selected zip file does not contain a shape file.";
constexpr const char* kNoDbf = "A corresponding dbf file was not found";
constexpr const char* kInvalidSource = "Shape source is invalid.";
constexpr const char* kUnreadableFile = "Cannot read the selected file.";
constexpr const char* kGeoJsonType = "text/geojson";
constexpr const char* kPointField = "pointCoord";

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(ExtNameStr(path.c_str()).GetU8().c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// shapeName in folder or, for archives made by zipping a folder, in one of its folders (in name
// order); empty when there is none.
std::string FindShapeFile(const std::string& folder, const std::string& shapeName) {
    const std::string top = JoinFilePath(folder, shapeName);
    if (IsFile(top))
        return top;
    std::vector<std::string> below;
    std::error_code error;
    std::filesystem::directory_iterator it(ExtNameStr(folder.c_str()).GetU8(), error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::error_code kindError;
        if (it->is_directory(kindError) && !it->is_symlink(kindError))
            below.push_back(JoinFilePath(folder, transcodeFromUTF8(it->path().filename().c_str())));
    }
    std::sort(below.begin(), below.end());
    for (const std::string& sub : below) {
        const std::string candidate = JoinFilePath(sub, shapeName);
        if (IsFile(candidate))
            return candidate;
    }
    return "";
}

std::string QelPath(const std::string& path) {
    return NormalizeQelPathU(path, "file");
}

// A work file of the analytic directory, by the name the engine resolves there (the engine makes
// that directory when it first writes into it).
std::string WorkPath(const QESimpleFile& file) {
    return NormalizeQelPathU(file.GetFileName(), "file");
}

// The program's text once `last` (and everything before it) is generated; empty on failure.
std::string JobText(JNIQelProgram& program, QELFunction& last) {
    std::string text;
    if (last.GenerateQEL())
        program.getQelText(text);
    return text;
}

// The job text once `last` is followed by a reprojection from srcName to dstName (only when
// dstName is given) and the GeoJSON write with its data model.
std::string GeoJsonJob(JNIQelProgram& program, QELFunction& last, const std::string& srcName,
                       const std::string& dstName, const std::string& dataModelPath,
                       const std::string& geoJsonPath) {
    QELFunction* before = &last;
    QELReprojection reprojection(&program);
    if (!dstName.empty()) {
        reprojection.SetOriCoorSystem(srcName);
        reprojection.SetDesCoorSystem(dstName);
        reprojection.AddPredFunction(&last, "");
        before = &reprojection;
    }
    QELWrite write(&program);
    write.WriteGeoJSON(QelPath(geoJsonPath), kGeoJsonType);
    write.SetDataModel(QelPath(dataModelPath));
    write.AddPredFunction(before, "");
    return JobText(program, write);
}

// The text of a key value: numbers with 15 significant digits, texts as the engine gave them.
bool KeyText(EmbeddedQE::RowDataIterator& rows, int field, bool isString, std::string& text) {
    const void* data = nullptr;
    size_t length = 0;
    if (rows.getRecordValue(static_cast<size_t>(field), &data, &length) != 0 || data == nullptr)
        return false;
    if (isString) {
        text.assign(static_cast<const char*>(data), length);
        return true;
    }
    OBS value;
    std::memcpy(&value.f, data, sizeof value.f);
    ConvertObsValToStr(&value, 0, text);
    return true;
}

}  // namespace

// An opened point or context dataset: the case file (when one was read) outlives its iterator.
struct QEInteractiveSTEM::PointSource {
    std::unique_ptr<UserInputCaseFile> file;
    std::unique_ptr<QERawDataIterator> iterator;
};

QEInteractiveSTEM::QEInteractiveSTEM() = default;

QEInteractiveSTEM::~QEInteractiveSTEM() {
    cleanupTempSubDirs();
}

void QEInteractiveSTEM::keepTranslated(const char* text) {
    exceptionMessage = runner().getParserMessage()->GetTranslatedText(text);
}

void QEInteractiveSTEM::cleanupTempSubDirs() {
    if (!zipFolders)
        return;
    for (const auto& [archive, folder] : *zipFolders)
        RemoveFolderFromTempDir(folder);
    zipFolders.reset();
}

std::string QEInteractiveSTEM::getShapeFilePath(const std::string& path) {
    std::string result;
    if (path.size() >= 4 && std::equal(path.end() - 4, path.end(), ".ZIP", [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) == b;
        })) {
        std::string directory;
        const std::string fileName = SeparateFileName(path, directory);
        const std::string base = fileName.substr(0, fileName.size() - 4);
        std::string folder;
        if (zipFolders && zipFolders->count(path) != 0) {
            folder = zipFolders->at(path);
        } else {
            if (!zipFolders)
                zipFolders = std::make_unique<std::map<std::string, std::string>>();
            folder = CreateTempFolder(base);
            if (!folder.empty() && UnzipToDir(path, folder)) {
                (*zipFolders)[path] = folder;
            } else if (!folder.empty()) {
                // A refused or damaged archive leaves nothing behind.
                RemoveFolderFromTempDir(folder);
                folder.clear();
            }
        }
        if (!folder.empty())
            result = FindShapeFile(folder, base + ".shp");
        if (result.empty()) {
            keepTranslated(kNoShapeInZip);
            return result;
        }
    } else {
        result = path;
    }
    if (!result.empty()) {
        std::string dbf = result;
        if (dbf.size() >= 3)
            dbf.replace(dbf.size() - 3, 3, "dbf");
        if (dbf.size() < 3 || !IsFile(dbf)) {
            keepTranslated(kNoDbf);
            result.clear();
        }
    }
    return result;
}

bool QEInteractiveSTEM::getCoordinatesInfo(const std::string& csName, int wkid, std::string& name,
                                           int& outWkid, bool& isProjected, std::string& wkt) {
    std::string info;
    if (!csName.empty())
        info = runner().getCoordinatesSystemInfo(csName);
    if (info.empty() && wkid >= 1)
        info = runner().getCoordinatesSystemInfo(wkid);
    if (info.empty())
        return false;
    QERunner::CSTYPE type = QERunner::CSUnknown;
    if (!QERunner::ParseCoordinatesSystemInfo(info, outWkid, name, wkt, type))
        return false;
    isProjected = type == QERunner::CSProjected;
    return true;
}

bool QEInteractiveSTEM::runJob(const std::string& text, QERawDataIterator* input,
                               const char* message) {
    bool ok = false;
    exceptionMessage.clear();
    if (!text.empty()) {
        try {
            ok = runner().prepareQELJob(text);
            if (ok && input != nullptr)
                ok = input->Rewind() == 0 && runner().addInputIterator(input);
            if (!ok)
                exceptionMessage = kUnknownMessage;
        } catch (const EmbeddedQE::JavaException& e) {
            exceptionMessage = e.getMessage() + "\nTrace message:\n" + e.getTrace();
        } catch (const EmbeddedQE::Exception& e) {
            exceptionMessage = e.getMessage();
        } catch (...) {
            exceptionMessage = kUnknownMessage;
        }
        if (ok)
            ok = tryRunQE(runner());
    } else {
        // The builders could not write the job: nothing the engine could say about it.
        exceptionMessage = kUnknownMessage;
    }
    if (!ok && exceptionMessage == kUnknownMessage)
        keepTranslated(message);
    return ok;
}

void QEInteractiveSTEM::traceOutputs(const std::string& dataModelPath,
                                     const std::string& geoJsonPath, const char* operation) {
    if (!QETracer()->isTrace())
        return;
    std::string model;
    std::string geojson;
    FetchFile::fetch(dataModelPath, model);
    FetchFile::fetch(geoJsonPath, geojson);
    traceXMLFile(model, "DataModelFile", operation);
    traceJSONFile(geojson, "GeoJSONFile", operation);
}

// ---- Sources ---------------------------------------------------------------------------------

bool QEInteractiveSTEM::validateMapService(const std::string& url, std::string& layersJson) {
    resetJNI();
    CleanExceptions();
    runner().getProgressListener()->reset();
    layersJson.clear();
    if (url.empty())
        return false;
    const bool ok = runner().getMapServiceLayers(url, layersJson);
    if (ok)
        traceJSONFile(layersJson, "LayerInfoContent", "validateMapService");
    cleanJRef();
    cleanExecution();
    return ok;
}

bool QEInteractiveSTEM::validateSource(const std::string* url, int layer, const std::string& shp,
                                       std::string& dataModelXml, const char* operation) {
    QESimpleContainer container("outputDataModel", "");
    dataModelXml.clear();
    bool ok = false;
    {
        JNIQelProgram program;
        QELRead read(&program);
        if (url != nullptr)
            read.ReadMapService(transcodeToUTF8(url->c_str(), converter()), layer);
        else
            read.ReadShape(QelPath(shp));
        read.SetMaxCaseCount(1);
        QELDataModelBuilder builder(&program);
        builder.SetOutputContainer(container);
        builder.SetNormalizeDataModel(true);
        builder.AddPredFunction(&read, "");
        const std::string text = JobText(program, builder);
        traceQELFile(text, "QelJobText", operation);
        ok = !text.empty() && tryGetMetadata(runner(), text, container, dataModelXml);
        if (text.empty())
            exceptionMessage = kUnknownMessage;
        if (!ok && exceptionMessage == kUnknownMessage)
            keepTranslated(url != nullptr ? kInvalidSource : kUnreadableFile);
    }
    if (ok)
        traceXMLFile(dataModelXml, "DataModelContent", operation);
    cleanJRef();
    cleanExecution();
    return ok;
}

bool QEInteractiveSTEM::validateServiceLayer(const std::string& url, int layer,
                                             std::string& dataModelXml) {
    resetJNI();
    CleanExceptions();
    runner().getProgressListener()->reset();
    return validateSource(&url, layer, "", dataModelXml, "validateServiceLayer");
}

bool QEInteractiveSTEM::validateShapeSource(const std::string& path, std::string& dataModelXml) {
    resetJNI();
    CleanExceptions();
    runner().getProgressListener()->reset();
    dataModelXml.clear();
    const std::string shp = getShapeFilePath(path);
    if (shp.empty())
        return false;
    return validateSource(nullptr, 0, shp, dataModelXml, "validateShapeSource");
}

// ---- GeoJSON ---------------------------------------------------------------------------------

bool QEInteractiveSTEM::getMapGeoJSON(const std::string& srcCS, int srcWkid,
                                      const std::string& dstCS, int dstWkid, const std::string* url,
                                      int layer, const std::string& shp,
                                      const std::string& dataModelPath,
                                      const std::string& geoJsonPath, const char* operation) {
    const bool cartesian = srcCS == kCartesian;
    std::string srcName;
    std::string dstName;
    if (!cartesian) {
        int wkid = 0;
        bool projected = false;
        std::string wkt;
        if (!getCoordinatesInfo(srcCS, srcWkid, srcName, wkid, projected, wkt))
            srcName.clear();
        if (!getCoordinatesInfo(dstCS, dstWkid, dstName, wkid, projected, wkt))
            dstName.clear();
    }
    bool ok = false;
    {
        JNIQelProgram program;
        QELRead read(&program);
        if (url != nullptr)
            read.ReadMapService(transcodeToUTF8(url->c_str(), converter()), layer);
        else
            read.ReadShape(QelPath(shp));
        const std::string text = GeoJsonJob(program, read, srcName, cartesian ? "" : dstName,
                                            dataModelPath, geoJsonPath);
        traceQELFile(text, "QelJobText", operation);
        ok = runJob(text, nullptr, url != nullptr ? kInvalidSource : kUnreadableFile);
    }
    cleanJRef();
    cleanExecution();
    if (ok)
        traceOutputs(dataModelPath, geoJsonPath, operation);
    return ok;
}

bool QEInteractiveSTEM::getServiceGeoJSON(const std::string& srcCS, int srcWkid,
                                          const std::string& dstCS, int dstWkid,
                                          const std::string& url, int layer,
                                          const std::string& dataModelPath,
                                          const std::string& geoJsonPath) {
    resetJNI();
    CleanExceptions();
    runner().getProgressListener()->reset();
    return getMapGeoJSON(srcCS, srcWkid, dstCS, dstWkid, &url, layer, "", dataModelPath,
                         geoJsonPath, "getServiceGeoJSON");
}

bool QEInteractiveSTEM::getShapeGeoJSON(const std::string& srcCS, int srcWkid,
                                        const std::string& dstCS, int dstWkid,
                                        const std::string& shapePath,
                                        const std::string& dataModelPath,
                                        const std::string& geoJsonPath) {
    resetJNI();
    CleanExceptions();
    runner().getProgressListener()->reset();
    const std::string shp = getShapeFilePath(shapePath);
    if (shp.empty())
        return false;
    return getMapGeoJSON(srcCS, srcWkid, dstCS, dstWkid, nullptr, 0, shp, dataModelPath,
                         geoJsonPath, "getShapeGeoJSON");
}

std::unique_ptr<QEInteractiveSTEM::PointSource> QEInteractiveSTEM::openData(
    LocallyUniqueID datasetId, const std::string& path, const std::vector<std::string>& fields,
    const char* name) {
    auto source = std::make_unique<PointSource>();
    // Every record counts once: a frequency weight would multiply points and keys.
    if (datasetId.IsNone()) {
        UserCaseFileSpec caseFile;
        if (!caseFile.Init(path, true, false))
            return nullptr;
        source->file = std::make_unique<UserInputCaseFile>(caseFile);
        if (!source->file->IsOpen())
            return nullptr;
        source->iterator = std::make_unique<QERawDataIterator>(
            source->file->DataSource(), fields, std::vector<QERawDataIterator::MeasurementLevel>{},
            false, QERawDataIterator::Ignore, false, true);
    } else {
        source->iterator = std::make_unique<QERawDataIterator>(
            datasetId, fields, std::vector<QERawDataIterator::MeasurementLevel>{}, false,
            QERawDataIterator::Ignore, false, true);
    }
    source->iterator->SetName(name);
    return source;
}

std::vector<double> QEInteractiveSTEM::getGeoEnvelope(QERawDataIterator& points,
                                                      const std::string& xField,
                                                      const std::string& yField) {
    static const char* const kNames[4] = {"leftUpperX", "leftUpperY", "rightLowerX", "rightLowerY"};
    QESimpleFile data("aggpointdata.csv", true, true);
    QESimpleFile model("aggpointdatamodel.xml", true, true);
    std::vector<double> result;
    bool ok = false;
    {
        JNIQelProgram program;
        QELRead read(&program);
        read.ReadIterator(points);
        QELAggregate aggregate(&program);
        aggregate.AddAggregate("min", xField, kNames[0]);
        aggregate.AddAggregate("max", yField, kNames[1]);
        aggregate.AddAggregate("max", xField, kNames[2]);
        aggregate.AddAggregate("min", yField, kNames[3]);
        aggregate.AddPredFunction(&read, "");
        QELWrite write(&program);
        write.SetDataModel(WorkPath(model));
        write.WriteCSV(WorkPath(data));
        write.AddPredFunction(&aggregate, "");
        const std::string text = JobText(program, write);
        traceQELFile(text, "QelJobText", "getGeoEnvelope");
        ok = runJob(text, &points, kInvalidSource);
    }
    if (ok) {
        EmbeddedQE::RowDataIterator* rows = runner().getOutputIterator(data.GetFileName());
        if (rows != nullptr) {
            const CFMetaData layout(rows->getDataModel());
            result.assign(4, 0.0);
            if (rows->nextRecord() == 0) {
                for (int i = 0; i < 4; ++i) {
                    const int field = layout.FindField(kNames[i]);
                    if (field < 0 || layout.GetField(field).GetStorage() == CFField::String)
                        continue;
                    const void* value = nullptr;
                    size_t length = 0;
                    if (rows->getRecordValue(static_cast<size_t>(field), &value, &length) == 0 &&
                        value != nullptr)
                        std::memcpy(&result[static_cast<size_t>(i)], value, sizeof(double));
                }
            }
            rows->dispose(QERunImpl::env());
        }
    }
    cleanExecution();
    return result;
}

bool QEInteractiveSTEM::getPointGeoJSON(const std::string& srcCS, int srcWkid,
                                        const std::string& dstCS, int dstWkid,
                                        LocallyUniqueID datasetId, const std::string& pointFilePath,
                                        const std::vector<std::string>& coordFields,
                                        const std::string& dataModelPath,
                                        const std::string& geoJsonPath) {
    resetJNI();
    CleanExceptions();
    runner().getProgressListener()->reset();
    if (coordFields.size() != 2 && coordFields.size() != 3)
        return false;
    const bool cartesian = srcCS == kCartesian;
    std::string srcName;
    std::string dstName;
    std::string wkt;
    int wkid = 0;
    bool isProjected = false;
    if (!cartesian) {
        if (!getCoordinatesInfo(srcCS, srcWkid, srcName, wkid, isProjected, wkt))
            return false;
        int dstWkidOut = 0;
        bool dstProjected = false;
        std::string dstWkt;
        if (!getCoordinatesInfo(dstCS, dstWkid, dstName, dstWkidOut, dstProjected, dstWkt))
            dstName.clear();
    }

    std::vector<std::string> fields;
    for (const std::string& field : coordFields)
        fields.push_back(transcodeToUTF8(field.c_str(), converter()));
    if (datasetId.IsNone())
        QE_ASSERT(!pointFilePath.empty());
    std::unique_ptr<PointSource> source = openData(datasetId, pointFilePath, fields, "pointData");
    if (!source)
        return false;
    QERawDataIterator& points = *source->iterator;
    const CFMetaData& layout = points.GetMetaData();
    for (const std::string& field : fields) {
        const int index = layout.FindField(field);
        if (index < 0 || layout.GetField(index).GetStorage() == CFField::String)
            return false;
    }

    const std::vector<double> envelope = getGeoEnvelope(points, fields[0], fields[1]);
    if (envelope.size() != 4) {
        cleanJRef();
        return false;
    }

    bool ok = false;
    {
        JNIQelProgram program;
        QELRead read(&program);
        read.ReadIterator(points);
        std::vector<JNIQelExpression*> references;
        for (const std::string& field : fields)
            references.push_back(program.createQelExpressionFieldReference(field));
        JNIQelExpression* coordinates =
            program.createQelExpression(fields.size() == 2 ? "[%s,%s]" : "[%s,%s,%s]", &references);
        QELExpressionFun derive(&program);
        derive.SetDeriveField(kPointField, coordinates);
        derive.AddPredFunction(&read, "");
        QELUpdateDataModel update(&program);
        const int count = static_cast<int>(fields.size());
        if (cartesian)
            update.Update(kPointField, CFGeo::Point, count);
        else
            update.Update(kPointField, CFGeo::Point, count, wkid, srcName, isProjected, wkt,
                          envelope[0], envelope[1], envelope[2], envelope[3]);
        update.AddPredFunction(&derive, "");
        const std::string text =
            GeoJsonJob(program, update, srcName, dstName, dataModelPath, geoJsonPath);
        traceQELFile(text, "QelJobText", "getPointGeoJSON");
        ok = runJob(text, &points, kInvalidSource);
    }
    source.reset();
    cleanJRef();
    cleanExecution();
    if (ok)
        traceOutputs(dataModelPath, geoJsonPath, "getPointGeoJSON");
    return ok;
}

// ---- Key matching ----------------------------------------------------------------------------

bool QEInteractiveSTEM::matchShapeKeys(
    const std::string& shapePath, const std::vector<std::string>& mapKeys,
    std::vector<std::vector<std::string>>& unmatchedMapKeys, LocallyUniqueID datasetId,
    const std::string& contextFilePath, const std::vector<std::string>& dataKeys,
    std::vector<std::vector<std::string>>& unmatchedDataKeys, int maxRows, int& matchedCount) {
    resetJNI();
    CleanExceptions();
    runner().getProgressListener()->reset();
    const std::string shp = getShapeFilePath(shapePath);
    if (shp.empty())
        return false;
    return matchKeys(nullptr, 0, shp, mapKeys, unmatchedMapKeys, datasetId, contextFilePath,
                     dataKeys, unmatchedDataKeys, maxRows, matchedCount);
}

bool QEInteractiveSTEM::matchServiceKeys(
    const std::string& url, int layer, const std::vector<std::string>& mapKeys,
    std::vector<std::vector<std::string>>& unmatchedMapKeys, LocallyUniqueID datasetId,
    const std::string& contextFilePath, const std::vector<std::string>& dataKeys,
    std::vector<std::vector<std::string>>& unmatchedDataKeys, int maxRows, int& matchedCount) {
    resetJNI();
    CleanExceptions();
    runner().getProgressListener()->reset();
    return matchKeys(&url, layer, "", mapKeys, unmatchedMapKeys, datasetId, contextFilePath,
                     dataKeys, unmatchedDataKeys, maxRows, matchedCount);
}

bool QEInteractiveSTEM::matchKeys(const std::string* url, int layer, const std::string& shp,
                                  const std::vector<std::string>& mapKeys,
                                  std::vector<std::vector<std::string>>& unmatchedMapKeys,
                                  LocallyUniqueID datasetId, const std::string& contextFilePath,
                                  const std::vector<std::string>& dataKeys,
                                  std::vector<std::vector<std::string>>& unmatchedDataKeys,
                                  int maxRows, int& matchedCount) {
    unmatchedMapKeys.clear();
    unmatchedDataKeys.clear();
    matchedCount = 0;
    // Keys pair up by position: lists that cannot pair are bad input, not a reason to stop.
    if (mapKeys.empty() || mapKeys.size() != dataKeys.size())
        return false;
    std::vector<std::string> mapFields;
    std::vector<std::string> dataFields;
    for (const std::string& key : mapKeys)
        mapFields.push_back(transcodeToUTF8(key.c_str(), converter()));
    for (const std::string& key : dataKeys)
        dataFields.push_back(transcodeToUTF8(key.c_str(), converter()));

    if (datasetId.IsNone())
        QE_ASSERT(!contextFilePath.empty());
    std::unique_ptr<PointSource> context =
        openData(datasetId, contextFilePath, dataFields, "contextData");
    if (!context)
        return false;
    const CFMetaData& layout = context->iterator->GetMetaData();
    for (const std::string& field : dataFields) {
        if (layout.FindField(field) < 0)
            return false;
    }

    QESimpleFile mapData("shapedata.qebf", true, true);
    QESimpleFile mapModel("shapedatamodel.xml", true, true);
    bool ok = false;
    {
        JNIQelProgram program;
        QELRead read(&program);
        if (url != nullptr)
            read.ReadMapService(transcodeToUTF8(url->c_str(), converter()), layer);
        else
            read.ReadShape(QelPath(shp));
        QELWrite write(&program);
        write.WriteQEBF(WorkPath(mapData));
        write.SetDataModel(WorkPath(mapModel));
        write.AddPredFunction(&read, "");
        const std::string text = JobText(program, write);
        traceQELFile(text, "QelJobText",
                     url != nullptr ? "MatchServiceKeys_Preshape" : "MatchShapeKeys_Preshape");
        ok = runJob(text, nullptr, url != nullptr ? kInvalidSource : kUnreadableFile);
        cleanExecution();
    }
    if (ok) {
        std::vector<std::vector<std::string>> matched;
        ok = getMatchedValues(mapData, mapModel, *context->iterator, mapFields, dataFields, matched,
                              true, -1, false);
        if (ok)
            matchedCount = static_cast<int>(matched.size());
        ok = ok && getMatchedValues(mapData, mapModel, *context->iterator, mapFields, dataFields,
                                    unmatchedMapKeys, true, maxRows, true);
        ok = ok && getMatchedValues(mapData, mapModel, *context->iterator, mapFields, dataFields,
                                    unmatchedDataKeys, false, maxRows, true);
    }
    context.reset();
    cleanJRef();
    cleanExecution();
    return ok;
}

bool QEInteractiveSTEM::getMatchedValues(const QESimpleFile& mapData, const QESimpleFile& mapModel,
                                         QERawDataIterator& contextData,
                                         const std::vector<std::string>& mapKeys,
                                         const std::vector<std::string>& dataKeys,
                                         std::vector<std::vector<std::string>>& out, bool fromMap,
                                         int maxRows, bool unmatchedOnly) {
    std::string modelText;
    if (!FetchFile::fetch(mapModel.GetAbsolutePath(), modelText))
        return false;
    const CFMetaData mapLayout(modelText);
    for (const std::string& key : mapKeys) {
        // A key the map does not have is the caller's bad input: no job can match on it.
        if (mapLayout.FindField(key) < 0)
            return false;
    }

    QESimpleFile joinData("joindata.csv", true, true);
    QESimpleFile joinModel("joindatamodel.xml", true, true);
    bool ok = false;
    {
        JNIQelProgram program;
        QELRead mapRead(&program);
        mapRead.ReadQEBF(WorkPath(mapData));
        mapRead.SetDataModel(WorkPath(mapModel));
        // Integer map keys compare as reals with the data side's numbers.
        std::vector<std::unique_ptr<QELExpressionFun>> reclassify;
        QELFunction* mapLast = &mapRead;
        for (const std::string& key : mapKeys) {
            if (mapLayout.GetField(mapLayout.FindField(key)).GetStorage() != CFField::Integer)
                continue;
            std::vector<JNIQelExpression*> arguments{
                program.createQelExpressionFieldReference(key)};
            auto function = std::make_unique<QELExpressionFun>(&program);
            function->SetReclassifyField(key,
                                         program.createQelExpression("toReal(%s)", &arguments));
            function->AddPredFunction(mapLast, "");
            mapLast = function.get();
            reclassify.push_back(std::move(function));
        }
        QELRead dataRead(&program);
        dataRead.ReadIterator(contextData.getName());

        QELAggregate mapAggregate(&program);
        QELAggregate dataAggregate(&program);
        for (size_t i = 0; i < mapKeys.size(); ++i) {
            mapAggregate.AddAggregate("key", mapKeys[i], mapKeys[i]);
            dataAggregate.AddAggregate("key", dataKeys[i], dataKeys[i]);
        }
        mapAggregate.AddPredFunction(mapLast, "");
        dataAggregate.AddPredFunction(&dataRead, "");

        QELJoin join(&program);
        join.AddPredFunction(&mapAggregate, "shape");
        join.AddPredFunction(&dataAggregate, "dataset");
        join.SetJoinType(unmatchedOnly ? QELJoin::Anti : QELJoin::Inner);
        const unsigned long long reported = fromMap ? 0 : 1;
        join.SetOutputFieldNames(reported, fromMap ? mapKeys : dataKeys);
        if (unmatchedOnly)
            join.AddNonMatchingSource(reported);
        for (size_t i = 0; i < mapKeys.size(); ++i)
            join.AddMatchField(0, mapKeys[i], 1, dataKeys[i]);

        QELWrite write(&program);
        write.WriteCSV(WorkPath(joinData));
        write.SetDataModel(WorkPath(joinModel));
        write.AddPredFunction(&join, "");
        const std::string text = JobText(program, write);
        const std::string name = std::string("MappingKeys") +
                                 (unmatchedOnly ? "_UnMatch" : "_Match") +
                                 (fromMap ? "_Map" : "_DS");
        traceQELFile(text, "QelJobText", name);
        ok = runJob(text, &contextData, kInvalidSource);
    }

    EmbeddedQE::RowDataIterator* rows =
        ok ? runner().getOutputIterator(joinData.GetFileName()) : nullptr;
    ok = rows != nullptr;
    if (ok) {
        const CFMetaData layout(rows->getDataModel());
        const std::vector<std::string>& keys = fromMap ? mapKeys : dataKeys;
        std::vector<int> indexes;
        std::vector<bool> isString;
        for (const std::string& key : keys) {
            const int index = layout.FindField(key);
            if (index < 0) {
                ok = false;
                break;
            }
            indexes.push_back(index);
            isString.push_back(layout.GetField(index).GetStorage() == CFField::String);
        }
        int count = 0;
        while (ok) {
            const uint32_t status = rows->nextRecord();
            if (status == 1)
                break;
            if (status != 0) {
                ok = false;
                break;
            }
            std::vector<std::string> combination(indexes.size());
            bool complete = true;
            for (size_t i = 0; i < indexes.size() && complete; ++i)
                complete = KeyText(*rows, indexes[i], isString[i], combination[i]);
            if (complete) {
                out.push_back(std::move(combination));
                ++count;
            }
            if (maxRows != -1 && count > maxRows)
                break;
        }
        rows->dispose(QERunImpl::env());
    }
    cleanExecution();
    return ok;
}
