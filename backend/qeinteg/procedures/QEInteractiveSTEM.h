// Front-end of the spatio-temporal modelling dialog. Before a model is built the user picks
// geographic sources: a shape file (possibly zipped), a layer of a map service, or a point dataset
// with two or three coordinate fields. This class validates such a source and returns its data
// model, writes a GeoJSON file of it (with its data model) reprojected for the dialog's map, and
// tells how well the map's key fields match those of the context data.
//
// Every operation builds small jobs with the function builders and runs them through the
// interactive wrapper: failures come back as false, with the reason (when there is one) for
// hasError, never as exceptions. Paths are in the host code page. A zip archive is unpacked once
// per object into a temporary folder that lives until the object is destroyed. Used on one thread.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/host/data/HostValues.h"
#include "qeinteg/qeinteg_export.h"
#include "qeinteg/runner/QEInteractive.h"

class QERawDataIterator;
class QESimpleFile;

class QEINTEG_EXPORT QEInteractiveSTEM : public QEInteractive {
  public:
    // Names a planar system: coordinates are taken as they are, never reprojected.
    static constexpr const char* kCartesian = "CARTESIAN";

    QEInteractiveSTEM();
    // Removes the folders of unpacked archives.
    ~QEInteractiveSTEM() override;
    QEInteractiveSTEM(const QEInteractiveSTEM&) = delete;
    QEInteractiveSTEM& operator=(const QEInteractiveSTEM&) = delete;

    // The layer list JSON of the map service at url (empty url: false).
    bool validateMapService(const std::string& url, std::string& layersJson);
    // The data model XML of one map-service layer, read from its first feature.
    bool validateServiceLayer(const std::string& url, int layer, std::string& dataModelXml);
    // The data model XML of a shape file, or of the shape file in a zip archive of that base name.
    bool validateShapeSource(const std::string& path, std::string& dataModelXml);

    // Writes the layer's features as GeoJSON to geoJsonPath and their data model to
    // dataModelPath, reprojected from (srcCS, srcWkid) to (dstCS, dstWkid) when the destination
    // resolves. srcCS kCartesian never reprojects.
    bool getServiceGeoJSON(const std::string& srcCS, int srcWkid, const std::string& dstCS,
                           int dstWkid, const std::string& url, int layer,
                           const std::string& dataModelPath, const std::string& geoJsonPath);
    bool getShapeGeoJSON(const std::string& srcCS, int srcWkid, const std::string& dstCS,
                         int dstWkid, const std::string& shapePath,
                         const std::string& dataModelPath, const std::string& geoJsonPath);
    // Points from two or three numeric coordinate fields (x, y[, z]) of the host dataset
    // datasetId or, when datasetId is none, of the case file pointFilePath (REQUIRES: not empty
    // then). Outside kCartesian the source system must resolve. False without a message when the
    // fields are not 2 or 3, are missing or hold text, or the source system is unknown.
    bool getPointGeoJSON(const std::string& srcCS, int srcWkid, const std::string& dstCS,
                         int dstWkid, LocallyUniqueID datasetId, const std::string& pointFilePath,
                         const std::vector<std::string>& coordFields,
                         const std::string& dataModelPath, const std::string& geoJsonPath);

    // How the key combinations of a map source match those of the context data (the host dataset
    // datasetId or, when it is none, the case file contextFilePath). mapKeys and dataKeys pair up
    // by position. matchedCount: the distinct matched map combinations; the unmatched lists hold
    // at most maxRows + 1 combinations each (maxRows -1: all). False when the map source is
    // invalid, the key lists are empty or of unequal length, a key field is missing on either
    // side, or a job fails.
    bool matchShapeKeys(const std::string& shapePath, const std::vector<std::string>& mapKeys,
                        std::vector<std::vector<std::string>>& unmatchedMapKeys,
                        LocallyUniqueID datasetId, const std::string& contextFilePath,
                        const std::vector<std::string>& dataKeys,
                        std::vector<std::vector<std::string>>& unmatchedDataKeys, int maxRows,
                        int& matchedCount);
    bool matchServiceKeys(const std::string& url, int layer,
                          const std::vector<std::string>& mapKeys,
                          std::vector<std::vector<std::string>>& unmatchedMapKeys,
                          LocallyUniqueID datasetId, const std::string& contextFilePath,
                          const std::vector<std::string>& dataKeys,
                          std::vector<std::vector<std::string>>& unmatchedDataKeys, int maxRows,
                          int& matchedCount);

  private:
    struct PointSource;

    // The shape file to read for `path`: path itself, or for a ".zip" the base-named shape file
    // in its unpacked folder (or one folder below). Empty, with the translated reason kept, when
    // the archive holds no such shape file or the .dbf beside the shape file is missing.
    std::string getShapeFilePath(const std::string& path);
    // [min x, max y, max x, min y] of the points; empty when the job failed.
    std::vector<double> getGeoEnvelope(QERawDataIterator& points, const std::string& xField,
                                       const std::string& yField);
    // Resolves a coordinate system by name, else by wkid (>= 1). False when neither is known.
    bool getCoordinatesInfo(const std::string& csName, int wkid, std::string& name, int& outWkid,
                            bool& isProjected, std::string& wkt);
    // Runs one join of the map's distinct key combinations with the context data's and reads
    // the reported side's combinations into out (at most maxRows + 1 unless maxRows is -1).
    bool getMatchedValues(const QESimpleFile& mapData, const QESimpleFile& mapModel,
                          QERawDataIterator& contextData, const std::vector<std::string>& mapKeys,
                          const std::vector<std::string>& dataKeys,
                          std::vector<std::vector<std::string>>& out, bool fromMap, int maxRows,
                          bool unmatchedOnly);
    void cleanupTempSubDirs();

    // The GeoJSON job of a map source (shape file or service layer).
    bool getMapGeoJSON(const std::string& srcCS, int srcWkid, const std::string& dstCS, int dstWkid,
                       const std::string* url, int layer, const std::string& shp,
                       const std::string& dataModelPath, const std::string& geoJsonPath,
                       const char* operation);
    bool validateSource(const std::string* url, int layer, const std::string& shp,
                        std::string& dataModelXml, const char* operation);
    bool matchKeys(const std::string* url, int layer, const std::string& shp,
                   const std::vector<std::string>& mapKeys,
                   std::vector<std::vector<std::string>>& unmatchedMapKeys,
                   LocallyUniqueID datasetId, const std::string& contextFilePath,
                   const std::vector<std::string>& dataKeys,
                   std::vector<std::vector<std::string>>& unmatchedDataKeys, int maxRows,
                   int& matchedCount);
    // Prepares `text`, adds `input` (rewound) when given and runs the job. On failure an unknown
    // engine failure is replaced by the translation of `message`.
    bool runJob(const std::string& text, QERawDataIterator* input, const char* message);
    // Keeps the host translation of `text` as the reason for hasError.
    void keepTranslated(const char* text);
    // Opens the host dataset datasetId, or the case file `path` when it is none, restricted to
    // `fields` (UTF-8) and named `name`. Null when the file cannot be opened.
    std::unique_ptr<PointSource> openData(LocallyUniqueID datasetId, const std::string& path,
                                          const std::vector<std::string>& fields, const char* name);
    // Reads both written files back and traces them under `operation`.
    void traceOutputs(const std::string& dataModelPath, const std::string& geoJsonPath,
                      const char* operation);

    // Archive path (as given) -> the temporary folder it was unpacked into.
    std::unique_ptr<std::map<std::string, std::string>> zipFolders;

    friend class QEInteractiveSTEMTestAccess;
};
