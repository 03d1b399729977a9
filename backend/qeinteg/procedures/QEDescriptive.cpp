#include "qeinteg/procedures/QEDescriptive.h"

#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/data/QESimpleContainer.h"
#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/data/ZipReader.h"
#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/runner/QERunner.h"

namespace {

constexpr const char* kStatEntry = "StatXML.xml";
constexpr const char* kIntervalEntry = "TIME_INTERVAL.json";

// Reads one entry of an archive. `found` is false only when the archive opened and lacks the
// entry; an archive that cannot be opened counts as a failed read.
bool ReadEntry(const std::string& archive, const char* entry, std::string& text, bool& found) {
    ZipReader reader;
    found = true;
    if (!reader.Open(archive))
        return false;
    if (!reader.GotoFile(entry)) {
        found = false;
        return false;
    }
    std::string content;
    if (!reader.ExportString(content))
        return false;
    text = std::move(content);
    return true;
}

}  // namespace

QEDescriptive::QEDescriptive(QERunner& runner, QERawDataIterator* inputIterator)
    : runner_(runner), inputIterator_(inputIterator) {
    BuildDescriptiveJson();
}

QEDescriptive::QEDescriptive(QERunner& runner, std::string readQel)
    : runner_(runner), inputIterator_(nullptr), readQel_(std::move(readQel)) {
    BuildDescriptiveJson();
}

QEDescriptive::QEDescriptive(const QEDescriptive& other)
    : runner_(other.runner_),
      inputIterator_(other.inputIterator_),
      readQel_(other.readQel_),
      deConf_(std::make_unique<JNIJSONObject>(other.deConf_->serialize().c_str())),
      statXML_(other.statXML_),
      qelJob_(other.qelJob_) {}

QEDescriptive::~QEDescriptive() = default;

void QEDescriptive::BuildDescriptiveJson() {
    deConf_ = std::make_unique<JNIJSONObject>();
    JNIJSONObject& c = *deConf_;
    c.put("computeSummaryStats", true);
    c.put("computeDistSummaryForString", true);
    c.put("computeCustomPercentiles", false);
    c.put("customPercentilesAccuracy", "none");
    c.put("computeAllPercentiles", false);
    c.put("computeAllTargetInputPairs", false);
    c.put("storageTypeHandling", "none");
    c.put("fieldRoleHandling", "none");
    c.put("measureHandling", "none");
    c.put("computeDistSummaryForNumeric", "none");
    c.put("computeBivStatsForBDP", false);
    c.put("identifyExtremeOutliers", false);
    c.put("dataInterestingness", false);
    c.put("useFeatureSelection", "none");
    c.put("useEqualFreqBinning", false);
    c.put("useMissingValueHandling", false);
    c.put("useSupervisedMerging", false);
    c.put("zeroInflationDetection", false);
    c.put("zeroInflationHandling", false);
    c.put("trimTrailingBlank", false);
    c.put("computeDateDuration", false);
    c.put("computeTimeDuration", false);
    c.put("outlierHandlingMethod", "markOut");
    c.put("outlierDetectionMethod", "none");
}

void QEDescriptive::SetDESetting(const std::string& key, const std::string& value) {
    deConf_->put(key, value);
}

void QEDescriptive::SetDESetting(const std::string& key, const bool& value) {
    deConf_->put(key, value);
}

std::string QEDescriptive::TransformPath(const std::string& path) {
    std::string uri = "file:///" + path;
    for (char& c : uri) {
        if (c == '\\')
            c = '/';
    }
    return uri;
}

std::string QEDescriptive::removeBackslash(std::string text) {
    std::erase(text, '\\');
    return text;
}

std::string QEDescriptive::GetOutputContainerJson(const std::string& name, const std::string& uri) {
    JNIJSONObject descriptor;
    descriptor.put("export", true);
    descriptor.put("name", name);
    descriptor.put("uri", uri);
    return descriptor.serialize();
}

std::string QEDescriptive::GetInputDataJson(const std::string& dataSource) {
    JNIJSONObject descriptor;
    descriptor.put("dataSource", dataSource);
    descriptor.put("readErrorThreshold", -1);
    return descriptor.serialize();
}

std::string QEDescriptive::GetQEL(QESimpleContainer* first, QESimpleContainer* second) {
    std::string job = "val deConf = " + deConf_->serialize() + "\n";
    job += "val outCon = [";
    job += removeBackslash(
        GetOutputContainerJson(first->getName(), TransformPath(first->getAbsolutePath())));
    job += ",";
    job += removeBackslash(
        GetOutputContainerJson(second->getName(), TransformPath(second->getAbsolutePath())));
    job += "]\n";
    if (inputIterator_ != nullptr) {
        job += "read(" + GetInputDataJson(inputIterator_->getName()) +
               ") -> descriptives:descriptives( deConf, _,outCon)\n";
    } else {
        job += readQel_ + "-> descriptives:descriptives( deConf, _,outCon)\n";
    }
    return job;
}

bool QEDescriptive::RunDescriptive(QESimpleContainer* first, QESimpleContainer* second) {
    if (inputIterator_ != nullptr && inputIterator_->Rewind() != 0)
        return false;
    qelJob_ = GetQEL(first, second);
    traceQELFile(qelJob_, "QEINTEG", "QEDescriptive");
    bool ok = false;
    try {
        ok = runner_.prepareQELJob(qelJob_);
        if (ok && inputIterator_ != nullptr)
            ok = runner_.addInputIterator(inputIterator_);
        if (ok)
            ok = runner_.addOutputContainer(first);
        if (ok)
            ok = runner_.addOutputContainer(second);
        if (ok)
            ok = runner_.execute();
    } catch (...) {
        ok = false;
    }
    runner_.displayAllMessages(true);
    runner_.cleanExecution();
    return ok;
}

void QEDescriptive::PutList(const char* key, const std::vector<std::string>& names, bool nested) {
    JNIJSONArray list;
    for (const std::string& name : names)
        list.add(name);
    if (!nested) {
        deConf_->put(key, &list);
        return;
    }
    JNIJSONArray outer;
    outer.add(&list);
    deConf_->put(key, &outer);
}

std::string QEDescriptive::CutDataModel(const std::string& statXml) {
    const size_t start = statXml.find("<DataModel>");
    if (start == std::string::npos)
        return "";
    std::string model = statXml.substr(start);
    const size_t summaries = model.find("<DatasetSummaries>");
    if (summaries != std::string::npos)
        model.erase(summaries);
    if (model.find("</DataModel>") == std::string::npos)
        model += "</DataModel>";
    return model;
}

bool QEDescriptive::BuildMetaData(const std::vector<std::string>* fields, CFMetaData& metaData,
                                  int maxNOfDistinctValues) {
    if (fields == nullptr || fields->empty())
        return false;
    PutList("inputFieldList", *fields, false);
    deConf_->put("maxNOfDistinctValues", maxNOfDistinctValues);
    QESimpleContainer pmml("PMML", "");
    QESimpleContainer stat("StatXML", "");
    if (!RunDescriptive(&pmml, &stat))
        return false;
    bool found = false;
    std::string text;
    if (!ReadEntry(stat.getAbsolutePath(), kStatEntry, text, found))
        return false;
    statXML_ = std::move(text);
    traceXMLFile(statXML_, "QEINTEG", "QEDescriptive_DataModel");
    const std::string model = CutDataModel(statXML_);
    if (model.empty())
        return false;
    CFMetaData built(model);
    if (built.FieldCount() == 0 && !built.GetError().empty())
        return false;
    metaData = std::move(built);
    return true;
}

bool QEDescriptive::UpdateDateModel(const std::vector<std::string>* inputFields,
                                    const std::vector<std::string>* dateTimeFields,
                                    bool standardDateTime, std::string& timeIntervalJson,
                                    std::string& dataModelXml, int maxNOfDistinctValues) {
    if (inputFields == nullptr || dateTimeFields == nullptr)
        return false;
    if (inputFields->empty() && dateTimeFields->empty()) {
        dataModelXml.clear();
        timeIntervalJson.clear();
        return false;
    }
    if (!inputFields->empty())
        PutList("inputFieldList", *inputFields, false);
    if (!dateTimeFields->empty()) {
        if (standardDateTime) {
            PutList("stdDateTimeFieldList", *dateTimeFields, false);
        } else {
            PutList("nonStdDateTimeFieldList", *dateTimeFields, true);
        }
    }
    deConf_->put("maxNOfDistinctValues", maxNOfDistinctValues);
    QESimpleContainer json("JSON", "");
    QESimpleContainer stat("StatXML", "");
    if (!RunDescriptive(&json, &stat))
        return false;

    // Every attempted read must succeed: a summary that could not be read must not hide behind a
    // time-interval document that could.
    bool result = true;
    if (!inputFields->empty()) {
        bool found = false;
        std::string text;
        const bool read = ReadEntry(stat.getAbsolutePath(), kStatEntry, text, found);
        result = read;
        if (read) {
            statXML_ = std::move(text);
            traceXMLFile(statXML_, "QEINTEG", "QEDescriptive_DataModel");
            dataModelXml = CutDataModel(statXML_);
            if (dataModelXml.empty())
                result = false;  // a summary without a data model
        } else if (found) {
            dataModelXml.clear();
        }
    } else {
        dataModelXml.clear();
    }
    if (!dateTimeFields->empty()) {
        bool found = false;
        std::string text;
        const bool read = ReadEntry(json.getAbsolutePath(), kIntervalEntry, text, found);
        result = result && read;
        if (read) {
            traceJSONFile(text, "QEINTEG", "QEDescriptive_AutoDetect");
            timeIntervalJson = std::move(text);
        } else if (found) {
            timeIntervalJson.clear();
        }
    } else {
        timeIntervalJson.clear();
    }
    return result;
}
