#include "qeinteg/qel/QELRead.h"

#include <limits>

#include "qeinteg/data/QEStatDataIterator.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/qel/JNIQelProgram.h"

namespace {

// Counts are unsigned here but 64-bit signed in the job text: a count beyond that range cannot
// limit anything, so it is written as the largest one the text can hold rather than wrapping to a
// negative number.
long long ToJsonCount(unsigned long long count) {
    constexpr auto kMax = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    return static_cast<long long>(count > kMax ? kMax : count);
}

const char* ParserName(int kind) {
    switch (kind) {
        case QELRead::SavFile:
            return "sav";
        case QELRead::CsvFile:
            return "csv";
        default:
            return "qebf";
    }
}

}  // namespace

QELRead::QELRead(JNIQelProgram* program) : QELFunction(program) {
    SetFunctionType(Read);
}

QELRead::~QELRead() = default;

void QELRead::SetDataModel(std::string path) {
    dataModel_ = std::move(path);
}

void QELRead::SetMaxCaseCount(unsigned long long count) {
    maxCaseCount_ = count;
}

void QELRead::SetErrorThreshold(unsigned long long count) {
    errorThreshold_ = count;
}

void QELRead::ReadIterator(QEStatDataIterator& iterator) {
    location_ = iterator.getName();
    sourceKind_ = Iterator;
}

void QELRead::ReadIterator(const std::string& name) {
    location_ = name;
    sourceKind_ = Iterator;
}

void QELRead::ReadQEDatasource(const std::string& name) {
    location_ = name;
    sourceKind_ = DataSource;
}

void QELRead::ReadSAV(const std::string& path, const std::string& password) {
    location_ = path;
    password_ = password;
    sourceKind_ = SavFile;
}

void QELRead::ReadCSV(const std::string& path, bool hasHeader) {
    location_ = path;
    hasHeader_ = hasHeader;
    sourceKind_ = CsvFile;
}

void QELRead::ReadShape(const std::string& path) {
    location_ = path;
    sourceKind_ = ShapeFile;
}

void QELRead::ReadMapService(const std::string& address, int layer) {
    location_ = address;
    layer_ = layer;
    sourceKind_ = MapService;
}

void QELRead::ReadMapService(const std::string& address, const std::string& layer) {
    ReadMapService(address, String2Integer(layer));
}

void QELRead::ReadQEBF(const std::string& path) {
    location_ = path;
    sourceKind_ = QebfFile;
}

JNIQelFunction* QELRead::CreateFunction(JNIQelProgram& program, JNIQelFunction* /*input*/) {
    if (sourceKind_ < Iterator || sourceKind_ > QebfFile)
        return nullptr;

    JNIJSONObject config;
    switch (sourceKind_) {
        case Iterator:
        case DataSource:
            config.put("dataSource", location_);
            break;
        case SavFile:
        case CsvFile:
        case QebfFile: {
            JNIJSONObject parserConfig;
            if (sourceKind_ == SavFile && !password_.empty())
                parserConfig.put("dataPassword", password_);
            if (sourceKind_ == CsvFile)
                parserConfig.put("hasHeader", hasHeader_);
            JNIJSONObject parser;
            parser.put("name", ParserName(sourceKind_));
            parser.put("config", &parserConfig);
            JNIJSONObject file;
            file.put("path", location_);
            file.put("parser", &parser);
            JNIJSONArray locations;
            locations.add(&file);
            JNIJSONObject filesystem;
            if (!dataModel_.empty())
                filesystem.put("dataModel", dataModel_);
            filesystem.put("locations", &locations);
            config.put("filesystem", &filesystem);
            break;
        }
        default: {  // shape file or map service
            JNIJSONObject geospatial;
            if (!dataModel_.empty())
                geospatial.put("dataModel", dataModel_);
            geospatial.put("location", location_);
            geospatial.put("type", sourceKind_ == ShapeFile ? "shp" : "mps");
            if (sourceKind_ == MapService)
                geospatial.put("queryLayer", layer_);
            config.put("geospatial", &geospatial);
            break;
        }
    }
    if (maxCaseCount_ != kNotGiven)
        config.put("maxRecordsCount", ToJsonCount(maxCaseCount_));
    if (errorThreshold_ != kNotGiven)
        config.put("readErrorThreshold", ToJsonCount(errorThreshold_));

    return program.createQelFunction("read", &config);
}
