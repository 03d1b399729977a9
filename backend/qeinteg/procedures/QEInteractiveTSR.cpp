#include "qeinteg/procedures/QEInteractiveTSR.h"

#include <cstdio>

#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/data/QESimpleContainer.h"
#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/data/ZipReader.h"
#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/platform/QEAssert.h"
#include "qeinteg/platform/host/data/TAVO_DataSource.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/platform/host/process/AppSettings.h"
#include "qeinteg/platform/host/text/ExtNameStr.h"
#include "qeinteg/procedures/QEDescriptive.h"
#include "qeinteg/runner/QERunner.h"

namespace {

constexpr const char* kCaseCount = "$casecount";

bool ReadEntry(const std::string& archive, const char* entry, std::string& text) {
    ZipReader reader;
    if (!reader.Open(archive) || !reader.GotoFile(entry))
        return false;
    return reader.ExportString(text);
}

// The texts of the array under `key` in `node`. False when the value is absent or not an array of
// texts.
bool Names(JNIJSONObject& document, jobject node, const char* key,
           std::vector<std::string>& names) {
    jobject array = document.get(node, key);
    if (!document.isJSONArray(array))
        return false;
    JNIJSONArray reader;
    const int size = reader.size(array);
    for (int i = 0; i < size; ++i) {
        jobject element = reader.get(array, i);
        if (!document.isString(element))
            return false;
        names.push_back(document.getString(static_cast<jstring>(element)));
    }
    return true;
}

}  // namespace

QEInteractiveTSR::QEInteractiveTSR() = default;

QEInteractiveTSR::~QEInteractiveTSR() = default;

std::string QEInteractiveTSR::TransformPath(const std::string& path) {
    std::string uri = "file:///" + path;
    for (char& c : uri) {
        if (c == '\\')
            c = '/';
    }
    return uri;
}

std::string QEInteractiveTSR::removeBackslash(std::string text) {
    std::erase(text, '\\');
    return text;
}

void QEInteractiveTSR::AddLongList(JNIJSONArray& array, const std::vector<long long>& values) {
    for (long long value : values)
        array.add(value);
}

std::unique_ptr<JNIJSONObject> QEInteractiveTSR::GetOutputContainerJson(const std::string& name,
                                                                        const std::string& uri,
                                                                        bool exported) {
    auto descriptor = std::make_unique<JNIJSONObject>();
    if (exported)
        descriptor->put("export", true);
    descriptor->put("name", name);
    descriptor->put("uri", uri);
    return descriptor;
}

std::string QEInteractiveTSR::GenerateReaderConf(const std::string& dataPath,
                                                 const std::string& dataModelPath) {
    JNIJSONObject parser;
    parser.put("name", "qebf");
    JNIJSONObject config;
    parser.put("config", &config);
    JNIJSONObject location;
    location.put("path", TransformPath(dataPath));
    location.put("parser", &parser);
    JNIJSONArray locations;
    locations.add(&location);
    JNIJSONObject filesystem;
    filesystem.put("dataModel", TransformPath(dataModelPath));
    filesystem.put("locations", &locations);
    JNIJSONObject reader;
    reader.put("filesystem", &filesystem);
    return "val readerConf = " + removeBackslash(reader.serialize()) + "\n";
}

std::string QEInteractiveTSR::GetToTimestampLambda(const std::string& field) {
    CFAppHost* pAppHost = CFAppHost::getInstance();
    QE_ASSERT(pAppHost != 0);
    std::string lambda = "val toTS = ctx => x => ";
    lambda += "(\"";
    lambda += field;
    lambda += "\", toTimestamp(x.";
    lambda += field;
    lambda += ", \"yyyy-MM-dd HH:mm:ss\", \"yyyy-MM-dd\", \"HH:mm:ss\", \"";
    lambda += pAppHost->getLocale();
    lambda += "\", date(1970,1,1)))";
    return lambda;
}

std::string QEInteractiveTSR::IteratorReaderConf(QERawDataIterator& iterator) {
    JNIJSONObject reader;
    reader.put("dataSource", iterator.getName());
    reader.put("readErrorThreshold", -1);
    return reader.serialize();
}

std::string QEInteractiveTSR::WriterConf(QESimpleContainer& data, QESimpleContainer& dataModel) {
    JNIJSONObject writer;
    writer.put("dataDestination", TransformPath(data.getAbsolutePath()));
    writer.put("dataModelDestination", TransformPath(dataModel.getAbsolutePath()));
    writer.put("type", "qebf");
    return removeBackslash(writer.serialize());
}

bool QEInteractiveTSR::GetMetaData(const std::string& archive, CFMetaData& metaData) {
    std::string text;
    if (!ReadEntry(archive, "StatXML.xml", text))
        return false;
    const size_t start = text.find("<DataModel>");
    if (start == std::string::npos)
        return false;
    std::string model = text.substr(start);
    const size_t end = model.find("</StatXML>");
    if (end != std::string::npos)
        model.erase(end);
    if (model.find("</DataModel>") == std::string::npos)
        model += "</DataModel>";
    CFMetaData built(model);
    if (built.FieldCount() == 0 && !built.GetError().empty())
        return false;
    metaData = std::move(built);
    return true;
}

bool QEInteractiveTSR::ReadSettings(const std::string& archive, const TAVO_DataSource* dataSource,
                                    const std::vector<std::string>& dimensions,
                                    std::set<int>& fieldIndexes, std::string& settings,
                                    std::string& dateTimeField, int* timePoints) {
    QE_ASSERT(dataSource != nullptr);
    std::string content;
    if (!ReadEntry(archive, "TSDPOutput.json", content))
        return false;
    traceJSONFile(content, "TSDPOutputContent", "ProcessTsdpSettings");
    JNIJSONObject document(content.c_str());
    if (!document.isGood())
        return false;
    jobject node = document.get(document.getTop(), "settings");
    if (!document.isJSONObject(node))
        return false;
    settings = document.toString(node);
    traceJSONFile(settings, "TSDPSettingsContent", "ProcessTsdpSettings");

    auto find = [dataSource](const std::string& name) { return dataSource->FindVarIndex(name, 0); };
    std::vector<std::string> dimFields;
    if (!Names(document, node, "dimFieldList", dimFields))
        return false;
    if (dimFields.size() == dimensions.size()) {
        for (size_t i = 0; i < dimFields.size(); ++i) {
            const int index = find(dimFields[i]);
            if (index < 0 || dimFields[i] != dimensions[i])
                return false;
            fieldIndexes.insert(index);
        }
    } else if (dimFields.size() != 1 || !dimFields[0].empty() || !dimensions.empty()) {
        return false;
    }

    std::vector<std::string> metrics;
    if (!Names(document, node, "metricFieldList", metrics))
        return false;
    for (const std::string& metric : metrics) {
        const int index = find(metric);
        if (index < 0)
            return false;
        fieldIndexes.insert(index);
    }

    const std::string timeField = document.getChildAsString(node, "dateTimeField");
    dateTimeField = timeField;
    std::string firstCyclic;
    std::string lastCyclic;
    if (!timeField.empty()) {
        const int index = find(timeField);
        if (index < 0)
            return false;
        fieldIndexes.insert(index);
    } else {
        std::vector<std::string> cyclic;
        if (!Names(document, node, "cyclicFieldList", cyclic) || cyclic.empty())
            return false;
        if (!(cyclic.size() == 1 && cyclic[0] == kCaseCount)) {
            for (const std::string& name : cyclic) {
                const int index = find(name);
                if (index < 0)
                    return false;
                fieldIndexes.insert(index);
            }
        }
        firstCyclic = cyclic.front();
        lastCyclic = cyclic.back();
    }

    if (timePoints == nullptr)
        return true;
    jobject variable = document.get(node, "timeVariable");
    JNIJSONArray reader;
    if (!timeField.empty()) {
        if (!document.isJSONArray(variable))
            return false;
        *timePoints = reader.size(variable);
        return true;
    }
    if (!document.isJSONObject(variable))
        return false;
    jobject points = document.get(variable, lastCyclic.c_str());
    if (!document.isJSONArray(points))
        points = document.get(variable, firstCyclic.c_str());
    if (!document.isJSONArray(points))
        return false;
    *timePoints = reader.size(points);
    return true;
}

bool QEInteractiveTSR::ProcessTsdpSettings(const std::string& archive,
                                           const TAVO_DataSource* dataSource,
                                           const std::vector<std::string>& dimensions,
                                           std::set<int>& fieldIndexes, std::string& settings,
                                           std::string& dateTimeField) {
    return ReadSettings(archive, dataSource, dimensions, fieldIndexes, settings, dateTimeField,
                        nullptr);
}

bool QEInteractiveTSR::ProcessTsdpSettings(const std::string& archive,
                                           const TAVO_DataSource* dataSource,
                                           const std::vector<std::string>& dimensions,
                                           std::set<int>& fieldIndexes, std::string& settings,
                                           int& timePoints) {
    std::string dateTimeField;
    return ReadSettings(archive, dataSource, dimensions, fieldIndexes, settings, dateTimeField,
                        &timePoints);
}

bool QEInteractiveTSR::UpdateDataModel(const std::vector<std::string>& fields,
                                       QERawDataIterator& iterator, QESimpleContainer& data,
                                       QESimpleContainer& dataModel) {
    CFMetaData metaData;
    QEDescriptive descriptive(runner(), &iterator);
    if (!descriptive.BuildMetaData(&fields, metaData, 10000))
        return false;
    if (iterator.Rewind() != 0)
        return false;
    std::string job = "val readerConf = " + IteratorReaderConf(iterator) + "\n";
    job += "val writerConf = " + WriterConf(data, dataModel) + "\n";
    job += "read(readerConf)->write(writerConf)";
    traceQELFile(job, "SCENARIO_INFO", "INPUT_DATA");
    bool ok = false;
    try {
        ok = runner().prepareQELJob(job) && runner().addInputIterator(&iterator);
    } catch (...) {
        ok = false;
    }
    if (ok)
        ok = tryRunQE(runner());
    if (ok) {
        // The data model of the descriptives run (labels, levels and values of the host) replaces
        // the one the engine wrote.
        std::string xml;
        metaData.ExportXMLDoc(xml);
        ExtNameStr name(dataModel.getGenericPath().c_str());
        FILE* file = name.fopen("wb");
        ok = file != nullptr && std::fwrite(xml.data(), 1, xml.size(), file) == xml.size();
        if (file != nullptr && std::fclose(file) != 0)
            ok = false;
    }
    return ok;
}

bool QEInteractiveTSR::RunJob(const std::string& job, QERawDataIterator* iterator,
                              const char* traceName) {
    traceQELFile(job, "TCM_API", traceName);
    bool ok = false;
    try {
        ok = runner().prepareQELJob(job);
        if (ok && iterator != nullptr)
            ok = runner().addInputIterator(iterator);
    } catch (...) {
        ok = false;
    }
    if (ok)
        ok = tryRunQE(runner());
    return ok;
}

bool QEInteractiveTSR::ConvertTimeStr(const std::string& field, QERawDataIterator& iterator,
                                      QESimpleContainer& data, QESimpleContainer& dataModel) {
    std::string job = "val readerConf = " + IteratorReaderConf(iterator) + "\n";
    job += GetToTimestampLambda(field) + "\n";
    job += "val writerConf = " + WriterConf(data, dataModel) + "\n";
    job += "read(readerConf)";
    job += "->";
    job += "reclassifyField(_,toTS)";
    job += "->write(writerConf)";
    bool ok = RunJob(job, &iterator, "TimeStrConversion");
    if (iterator.GetCancelStatus()) {
        ok = false;
    } else {
        runner().displayAllMessages(true);
    }
    cleanExecution();
    return ok;
}

bool QEInteractiveTSR::ConvertTimeStr(const std::string& field, QESimpleContainer& inData,
                                      QESimpleContainer& inDataModel, QESimpleContainer& data,
                                      QESimpleContainer& dataModel) {
    std::string job = GenerateReaderConf(inData.getAbsolutePath(), inDataModel.getAbsolutePath());
    job += GetToTimestampLambda(field) + "\n";
    job += "val writerConf = " + WriterConf(data, dataModel) + "\n";
    job += "read(readerConf)";
    job += "->";
    job += "reclassifyField(_,toTS)";
    job += "->write(writerConf)";
    const bool ok = RunJob(job, nullptr, "TimeStrConversion");
    runner().displayAllMessages(true);
    cleanExecution();
    return ok;
}

bool QEInteractiveTSR::RunTSDP(QERawDataIterator& iterator, const std::string& settings,
                               QESimpleContainer& tsdpOut, QESimpleContainer& data,
                               QESimpleContainer& dataModel) {
    // The iterator's reader configuration is not passed through backslash removal.
    return RunTsdpJob("val readerConf = " + IteratorReaderConf(iterator) + "\n", &iterator,
                      settings, tsdpOut, data, dataModel);
}

bool QEInteractiveTSR::RunTSDP(QESimpleContainer& inData, QESimpleContainer& inDataModel,
                               const std::string& settings, QESimpleContainer& tsdpOut,
                               QESimpleContainer& data, QESimpleContainer& dataModel) {
    return RunTsdpJob(GenerateReaderConf(inData.getAbsolutePath(), inDataModel.getAbsolutePath()),
                      nullptr, settings, tsdpOut, data, dataModel);
}

bool QEInteractiveTSR::RunTsdpJob(std::string job, QERawDataIterator* iterator,
                                  const std::string& settings, QESimpleContainer& tsdpOut,
                                  QESimpleContainer& data, QESimpleContainer& dataModel) {
    JNIJSONObject parsed(settings.c_str());
    if (!parsed.isGood())
        return false;
    job += "val tsdpOutConf = [" +
           removeBackslash(GetOutputContainerJson(tsdpOut.getName(),
                                                  TransformPath(tsdpOut.getAbsolutePath()), true)
                               ->serialize()) +
           "]\n";
    job += "val tsdpConf = " + parsed.serialize() + "\n";
    job += "val writerConf = " + WriterConf(data, dataModel) + "\n";
    job += "read(readerConf)->tsdp:tsdp(tsdpConf,_,tsdpOutConf)->write(writerConf)";
    const bool ok = RunJob(job, iterator, "TSDP");
    runner().displayAllMessages(true);
    cleanJRef();
    cleanExecution();
    return ok;
}
