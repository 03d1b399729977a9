#include "qeinteg/qel/QELWrite.h"

#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/qel/JNIQelProgram.h"

QELWrite::QELWrite(JNIQelProgram* program) : QELFunction(program) {
    SetFunctionType(Write);
}

QELWrite::~QELWrite() = default;

void QELWrite::SetDataModel(std::string path) {
    dataModel_ = std::move(path);
}

void QELWrite::WriteQEDatasource(const std::string& name, bool append) {
    location_ = name;
    second_ = append ? "append" : "overwrite";
    destinationKind_ = DataSource;
}

void QELWrite::WriteSAV(const std::string& path, const std::string& password) {
    location_ = path;
    second_ = password;
    destinationKind_ = SavFile;
}

void QELWrite::WriteCSV(const std::string& path) {
    location_ = path;
    second_.clear();
    destinationKind_ = CsvFile;
}

void QELWrite::WriteGeoJSON(const std::string& path, const std::string& contentType) {
    WriteGeoJSON(path, contentType, std::string(), std::string());
}

void QELWrite::WriteGeoJSON(const std::string& path, const std::string& contentType,
                            const std::string& resourceId, const std::string& key) {
    location_ = path;
    second_ = contentType;
    resourceId_ = resourceId;
    key_ = key;
    destinationKind_ = GeoJson;
}

void QELWrite::WriteQEBF(const std::string& path) {
    location_ = path;
    second_.clear();
    destinationKind_ = QebfFile;
}

JNIQelFunction* QELWrite::CreateFunction(JNIQelProgram& program, JNIQelFunction* input) {
    if (destinationKind_ < DataSource || destinationKind_ > QebfFile)
        return nullptr;

    JNIJSONObject config;
    if (destinationKind_ == DataSource) {
        config.put("dataSource", location_);
        config.put("mode", second_);
    } else {
        config.put("dataDestination", location_);
        config.put("dataModelDestination", dataModel_);
        switch (destinationKind_) {
            case SavFile:
                config.put("type", "application/x-tavo-sav");
                if (!second_.empty())
                    config.put("dataPassword", second_);
                break;
            case CsvFile:
                config.put("type", "text/csv");
                break;
            case GeoJson:
                config.put("type", second_);
                if (!resourceId_.empty() && !key_.empty()) {
                    JNIJSONObject metadata;
                    metadata.put("resourceId", resourceId_);
                    metadata.put("key", key_);
                    config.put("metadata", &metadata);
                }
                break;
            default:
                config.put("type", "qebf");
                break;
        }
    }

    return CreateWithInput(program, "write", &config, input);
}
