// Builds the "write" function that sends the records of its predecessor to one destination: an
// engine data source, a host data file, a CSV file, a GeoJSON file or a QEBF file, together with
// the data model file that describes them. Paths are given in the engine's form (NormalizeQelPath).
#pragma once

#include <string>

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/QELFunction.h"

class QEINTEG_EXPORT QELWrite : public QELFunction {
  public:
    enum DestinationKind {
        NoDestination = 0,
        DataSource = 2,
        SavFile = 3,
        CsvFile = 4,
        GeoJson = 5,
        QebfFile = 6
    };

    explicit QELWrite(JNIQelProgram* program);
    ~QELWrite() override;

    // Path of the data model file to write beside the data.
    void SetDataModel(std::string path);

    void WriteQEDatasource(const std::string& name, bool append);
    // A host data file; an empty password means none.
    void WriteSAV(const std::string& path, const std::string& password);
    void WriteCSV(const std::string& path);
    // contentType is the GeoJSON media type ("text/geojson").
    void WriteGeoJSON(const std::string& path, const std::string& contentType);
    // With metadata: written only when both resourceId and key are given.
    void WriteGeoJSON(const std::string& path, const std::string& contentType,
                      const std::string& resourceId, const std::string& key);
    void WriteQEBF(const std::string& path);

  protected:
    // Fails when the predecessor fails; creates nothing without a destination.
    Inputs InputKind() const override { return Inputs::FirstRequired; }
    JNIQelFunction* CreateFunction(JNIQelProgram& program, JNIQelFunction* input) override;

  private:
    std::string location_;
    int destinationKind_ = NoDestination;
    // The append mode (data source), the password (host data file) or the content type (GeoJSON).
    std::string second_;
    std::string dataModel_;
    std::string resourceId_;
    std::string key_;
};
