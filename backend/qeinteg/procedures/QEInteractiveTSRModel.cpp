// The public operations of QEInteractiveTSR: model capabilities, gating information, impact
// diagrams and scenarios, with the job texts and result readers they use. The preparation steps
// they build on are in QEInteractiveTSR.cpp.
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <set>

#include <pugixml.hpp>

#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/data/QESimpleContainer.h"
#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/data/ZipReader.h"
#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/JNITargetMap.h"
#include "qeinteg/platform/QEAssert.h"
#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/platform/host/data/SvrDMInputDataSource.h"
#include "qeinteg/platform/host/data/UserCaseFileSpec.h"
#include "qeinteg/platform/host/data/UserInputCaseFile.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/platform/host/metadata/NumericStorage.h"
#include "qeinteg/platform/host/process/AppSettings.h"
#include "qeinteg/procedures/QEDescriptive.h"
#include "qeinteg/procedures/QEInteractiveTSR.h"
#include "qeinteg/runner/QEProgressListener.h"
#include "qeinteg/runner/QERunImpl.h"
#include "qeinteg/runner/QERunner.h"

namespace {

constexpr const char* kFutureFlag = "$FutureFlag";
constexpr const char* kPredictedSuffix = "_predicted";
constexpr int kTextStorage = 3;

// The whole entry `entry` of `archive`; false when the archive or the entry cannot be read.
bool ReadEntry(const std::string& archive, const char* entry, std::string& text) {
    ZipReader reader;
    if (!reader.Open(archive) || !reader.GotoFile(entry))
        return false;
    return reader.ExportString(text);
}

bool IsZipArchive(const std::string& archive) {
    ZipReader reader;
    return reader.Open(archive);
}

// The number a whole text gives; nothing when it is not one number.
std::optional<double> Number(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (end == begin || *end != '\0' || errno == ERANGE)
        return std::nullopt;
    return value;
}

// The 0-based position of `value` among the <values> of `field`: texts compared as texts, numbers
// as numbers. -1 when it is not listed.
int ValuePosition(pugi::xml_node field, const std::string& value) {
    const bool text = std::string(field.attribute("storage").value()) == "string";
    const std::optional<double> number = text ? std::nullopt : Number(value);
    int position = 0;
    for (pugi::xml_node listed : field.child("values").children("value")) {
        const std::string listedText = listed.attribute("value").value();
        if (text) {
            if (listedText == value)
                return position;
        } else if (number) {
            const std::optional<double> listedNumber = Number(listedText);
            if (listedNumber && *listedNumber == *number)
                return position;
        }
        ++position;
    }
    return -1;
}

// The names of a JSON array of texts under `key` of the settings in "TSDPOutput.json".
bool SettingsNames(const std::string& tsdpOutput, const char* key,
                   std::vector<std::string>& names) {
    JNIJSONObject document(tsdpOutput.c_str());
    if (!document.isGood())
        return false;
    jobject settings = document.get(document.getTop(), "settings");
    if (!document.isJSONObject(settings))
        return false;
    jobject array = document.get(settings, key);
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

// A dimension list of one empty name means no dimensions.
void DropEmptyDimension(std::vector<std::string>& dimensions) {
    if (dimensions.size() == 1 && dimensions[0].empty())
        dimensions.clear();
}

}  // namespace

struct QEInteractiveTSR::Prepared {
    QESimpleContainer tsdpOut{"JSON", ""};
    QESimpleContainer inputData{"inputdata", ""};
    QESimpleContainer inputDataModel{"inputdatamodel", ""};
    QESimpleContainer convertData{"convertdata", ""};
    QESimpleContainer convertDataModel{"convertdatamodel", ""};
    QESimpleContainer data{"data", ""};
    QESimpleContainer dataModel{"datamodel", ""};
};

bool QEInteractiveTSR::Fail(const std::string& text) {
    // A failed job's own error comes first in hasError; this names the step.
    exceptionMessage = text;
    return false;
}

void QEInteractiveTSR::BeginOperation() {
    resetJNI();
    CleanExceptions();
    // Errors of an earlier call must not be reported for this one.
    runner().getProgressListener()->reset();
}

bool QEInteractiveTSR::PrepareAndRun(const std::string& job, const std::string& what) {
    bool ok = false;
    try {
        ok = runner().prepareQELJob(job);
    } catch (const EmbeddedQE::Exception& e) {
        return Fail(what + " cannot start: " + e.getMessage());
    } catch (...) {
        ok = false;
    }
    if (!ok)
        return Fail(what + " cannot start");
    if (tryRunQE(runner()))
        return true;
    // The listener's error, when there is one, comes first in hasError.
    return exceptionMessage.empty() ? Fail(what + " failed") : false;
}

void QEInteractiveTSR::EndOperation() {
    cleanJRef();
    cleanExecution();
}

// --- Job pieces ------------------------------------------------------------------------------

std::string QEInteractiveTSR::GenerateRtsdpConf(const std::string& path) {
    JNIJSONObject conf;
    conf.put("exportFutureFlag", true);
    std::string text = "val rtsdpConf = " + conf.serialize() + "\n";
    text +=
        "val rtsdpInConf = [" +
        removeBackslash(GetOutputContainerJson("JSON", TransformPath(path), false)->serialize()) +
        "]" + "\n";
    return text;
}

std::string QEInteractiveTSR::GenerateScoringQEL(const std::string& archive,
                                                 QESimpleContainer& out) {
    JNIJSONObject conf;
    conf.put("isModelCapabilities", true);
    std::string job = "val scoringConf = " + conf.serialize() + "\n";
    // The archive's descriptor is written as serialised, without backslash removal.
    job += "val inCon = [" +
           GetOutputContainerJson("InputPMML", NormalizeQelPathU(archive, "file"), false)
               ->serialize() +
           "]\n";
    job += "val outCon = [" +
           removeBackslash(
               GetOutputContainerJson(out.getName(), TransformPath(out.getAbsolutePath()), true)
                   ->serialize()) +
           "]\n";
    job += "scoring:scoring(scoringConf, inCon, outCon)";
    return job;
}

std::unique_ptr<JNIJSONObject> QEInteractiveTSR::GetTargetsOutputSetting(
    const std::vector<std::string>& targets, bool /*flag*/, int level) {
    CFAppHost* pAppHost = CFAppHost::getInstance();
    QE_ASSERT(pAppHost != 0);
    auto settings = std::make_unique<JNIJSONObject>();
    JNIJSONArray artifacts;
    for (const char* name :
         {"interpretation.ImpactDiagramEffects", "interpretation.ImpactDiagramCauses"}) {
        JNIJSONArray names;
        for (const std::string& target : targets)
            names.add(target);
        JNIJSONArray target;
        target.add(&names);
        JNIJSONObject artifact;
        artifact.put("name", name);
        artifact.put("target", &target);
        artifact.put("level", level);
        artifacts.add(&artifact);
    }
    settings->put("artifacts", &artifacts);
    settings->put("locale", pAppHost->getLocale());
    settings->put("timeFormat", "hh:mm:ss");
    settings->put("isEncoded", false);
    return settings;
}

std::string QEInteractiveTSR::GenerateImpactDiagramQEL(const std::string& archive,
                                                       const std::vector<std::string>& targets,
                                                       bool flag, int level,
                                                       QESimpleContainer& statOut) {
    std::string job =
        "val outputConf = " + GetTargetsOutputSetting(targets, flag, level)->serialize() + "\n";
    job += "val inputCons = [" +
           GetOutputContainerJson("TCM", NormalizeQelPathU(archive, "file"), false)->serialize() +
           "]" + "\n";
    job += "val outputCons = [" +
           removeBackslash(GetOutputContainerJson(statOut.getName(),
                                                  TransformPath(statOut.getAbsolutePath()), true)
                               ->serialize()) +
           "]" + "\n";
    return job;
}

std::string QEInteractiveTSR::GenerateImpactDiagramQEL(
    QESimpleContainer& dataModel, QESimpleContainer& data, QESimpleContainer& tsdpOut,
    const std::string& archive, const std::vector<std::string>& targets, bool flag, int level,
    QESimpleContainer& statOut) {
    std::string job = GenerateReaderConf(data.getAbsolutePath(), dataModel.getAbsolutePath());
    job += GenerateRtsdpConf(tsdpOut.getAbsolutePath());
    job += GenerateImpactDiagramQEL(archive, targets, flag, level, statOut);
    job += "read(readerConf)->rtsdp:rtsdp(rtsdpConf, rtsdpInConf, _)";
    job += "->OutputComponent:TCMOutputComponent(outputConf, inputCons, outputCons)";
    return job;
}

void QEInteractiveTSR::GenerateScoreSettings(JNIJSONObject& conf,
                                             const std::vector<std::string>& series,
                                             const int& forecastSpan, bool isTcm) {
    JNIJSONArray ids;
    for (const std::string& id : series)
        ids.add(id);
    JNIJSONArray idList;
    idList.add(&ids);
    JNIJSONObject names;
    names.put("seriesIDList", &idList);
    JNIJSONObject fieldSetting;
    if (isTcm)
        fieldSetting.put("fieldType", "INCLUDED_TARGET_LIST");
    fieldSetting.put("fieldNameList", &names);
    conf.put("fieldSetting", &fieldSetting);
    if (forecastSpan > 0) {
        JNIJSONObject forecast;
        if (isTcm)
            forecast.put("doForecast", true);
        forecast.put("forecastSpan", forecastSpan);
        conf.put("forecast", &forecast);
    }
    if (isTcm) {
        JNIJSONObject fit;
        fit.put("doFit", true);
        conf.put("fit", &fit);
    }
}

// --- Series identifiers ----------------------------------------------------------------------

std::string QEInteractiveTSR::BuildSeriesIDStr(const std::vector<int>& positions) {
    std::string id;
    for (size_t i = 0; i < positions.size(); ++i) {
        if (i > 0)
            id += "-";
        id += std::to_string(positions[i]);
    }
    return id;
}

bool QEInteractiveTSR::EncodeSeriesName(const std::string& dataModelXml,
                                        const std::vector<std::string>& dimensions,
                                        const std::vector<std::string>& values,
                                        const std::string& metric, std::string& id) {
    if (dimensions.size() != values.size())
        return Fail("the series names " + std::to_string(values.size()) + " dimension values for " +
                    std::to_string(dimensions.size()) + " dimensions");
    pugi::xml_document document;
    if (!document.load_string(dataModelXml.c_str()))
        return Fail("the model's data model does not read");
    pugi::xml_node model = document.child("DataModel");
    if (!model)
        model = document.child("StatXML").child("DataModel");
    auto field = [&model](const std::string& name) {
        return model.find_child_by_attribute("field", "name", name.c_str());
    };
    std::vector<int> positions;
    for (size_t i = 0; i < dimensions.size(); ++i) {
        pugi::xml_node node = field(dimensions[i]);
        if (!node)
            return Fail("the model has no dimension field '" + dimensions[i] + "'");
        const int position = ValuePosition(node, values[i]);
        if (position < 0)
            return Fail("'" + values[i] + "' is not a value of the model's dimension '" +
                        dimensions[i] + "'");
        positions.push_back(position);
    }
    pugi::xml_node metrics = field("metricField");
    const int position = metrics ? ValuePosition(metrics, metric) : -1;
    if (position < 0)
        return Fail("'" + metric + "' is not a metric of the model");
    positions.push_back(position);
    id = BuildSeriesIDStr(positions);
    return true;
}

bool QEInteractiveTSR::ReadSummaryDataModel(const std::string& archive, std::string& dataModel) {
    std::string text;
    if (!ReadEntry(archive, "StatXML.xml", text))
        return false;
    const size_t start = text.find("<DataModel>");
    if (start == std::string::npos)
        return false;
    const size_t close = text.find("</DataModel>", start);
    if (close == std::string::npos) {
        dataModel = text.substr(start) + "</DataModel>";
    } else {
        dataModel = text.substr(start, close + std::string("</DataModel>").size() - start);
    }
    return true;
}

bool QEInteractiveTSR::IsTargetSeries(const std::string& archive, const std::string& metric,
                                      const std::vector<std::string>& dimensions,
                                      const std::vector<std::string>& values, bool& isTarget) {
    std::string graph, dataModel, id;
    if (!ReadEntry(archive, "TCMGraph.json", graph))
        return Fail("the model archive has no series graph (TCMGraph.json)");
    if (!ReadSummaryDataModel(archive, dataModel))
        return Fail("the model archive has no data model (StatXML.xml)");
    std::vector<std::string> dims = dimensions;
    DropEmptyDimension(dims);
    if (!EncodeSeriesName(dataModel, dims, values, metric, id))
        return false;
    JNITargetMap map(graph);
    isTarget = map.IsTarget(id);
    return true;
}

// --- Scoring ---------------------------------------------------------------------------------

bool QEInteractiveTSR::TcmScore(const std::string& archive, const std::string& metric,
                                const std::vector<std::string>& series, QESimpleContainer& tsdpOut,
                                QESimpleContainer& dataModel, QESimpleContainer& data, int span,
                                int first, int last, std::vector<double>& observed,
                                std::vector<double>& predicted) {
    return Score(true, archive, metric, series, tsdpOut, dataModel, data, span, first, last,
                 observed, predicted);
}

bool QEInteractiveTSR::ArScore(const std::string& archive, const std::string& metric,
                               const std::vector<std::string>& series, QESimpleContainer& tsdpOut,
                               QESimpleContainer& dataModel, QESimpleContainer& data, int span,
                               int first, int last, std::vector<double>& observed,
                               std::vector<double>& predicted) {
    return Score(false, archive, metric, series, tsdpOut, dataModel, data, span, first, last,
                 observed, predicted);
}

bool QEInteractiveTSR::Score(bool isTcm, const std::string& archive, const std::string& metric,
                             const std::vector<std::string>& series, QESimpleContainer& tsdpOut,
                             QESimpleContainer& dataModel, QESimpleContainer& data, int span,
                             int first, int last, std::vector<double>& observed,
                             std::vector<double>& predicted) {
    // The series is named to the engine by its identifier in the model.
    std::string summary, tsdpOutput, id;
    std::vector<std::string> dimensions;
    if (!ReadSummaryDataModel(archive, summary))
        return Fail("the model archive has no data model (StatXML.xml)");
    if (!ReadEntry(archive, "TSDPOutput.json", tsdpOutput) ||
        !SettingsNames(tsdpOutput, "dimFieldList", dimensions))
        return Fail("the model archive has no preparation settings (TSDPOutput.json)");
    DropEmptyDimension(dimensions);
    if (!EncodeSeriesName(summary, dimensions, series, metric, id))
        return false;

    JNIJSONObject conf;
    GenerateScoreSettings(conf, {id}, span, isTcm);
    conf.put("outputOriginalValue", true);

    // The scored records go to files of their own: the prepared data is the job's input.
    QESimpleContainer scored("scoredata", ""), scoredModel("scoredatamodel", "");

    std::string job = GenerateReaderConf(data.getAbsolutePath(), dataModel.getAbsolutePath());
    job += "val scoreConf = " + conf.serialize() + "\n";
    job += "val scoreInConf = [" +
           GetOutputContainerJson("InputTCMXML", archive, false)->serialize() + "]" + "\n";
    job += GenerateRtsdpConf(tsdpOut.getAbsolutePath());
    job += "val writerConf = " + WriterConf(scored, scoredModel) + "\n";
    job += "read(readerConf)";
    job += "->";
    job += isTcm ? "tcm:score(scoreConf, scoreInConf,_)" : "tcm:ar(scoreConf, scoreInConf,_)";
    job += "->";
    job += "rtsdp:rtsdp(rtsdpConf, rtsdpInConf, _)";
    job += "->";
    job += "write(writerConf)";
    traceQELFile(job, "SCENARIO_INFO", isTcm ? "TCM_SCORE" : "AR_SCORE");

    if (!PrepareAndRun(job, "the scoring job"))
        return false;

    // The output iterator is named by the written data file's name.
    const std::string uri = removeBackslash(TransformPath(scored.getAbsolutePath()));
    const std::string name = uri.substr(uri.find_last_of('/') + 1);
    EmbeddedQE::RowDataIterator* rows = runner().getOutputIterator(name);
    if (rows == nullptr)
        return Fail("the scored records cannot be read");
    struct Disposer {
        EmbeddedQE::RowDataIterator* rows;
        ~Disposer() { rows->dispose(QERunImpl::env()); }
    } disposer{rows};

    return ReadScoredRecords(*rows, metric, first, last, observed, predicted);
}

bool QEInteractiveTSR::ReadScoredRecords(EmbeddedQE::RowDataIterator& rows,
                                         const std::string& metric, int first, int last,
                                         std::vector<double>& observed,
                                         std::vector<double>& predicted) {
    const CFMetaData layout(rows.getDataModel());
    const int flagIndex = layout.FindField(kFutureFlag);
    const int metricIndex = layout.FindField(metric);
    const int predictedIndex = layout.FindField(metric + kPredictedSuffix);
    if (flagIndex < 0)
        return Fail("the scored records have no \"$FutureFlag\" field");
    if (metricIndex < 0)
        return Fail("the scored records have no field '" + metric + "'");

    auto value = [&rows](int index, double& number) {
        const void* cell = nullptr;
        size_t length = 0;
        if (index < 0 || rows.getRecordValue(static_cast<size_t>(index), &cell, &length) != 0)
            return false;
        const CFDatum datum =
            cell == nullptr ? CFDatum() : CFDatum::MakeReal(*static_cast<const double*>(cell));
        number = NumericStorageCFToStat(datum, CFField::Real);
        return true;
    };
    int record = 0;
    bool reached = false;
    while (rows.nextRecord() == 0) {
        ++record;
        if (record < first)
            continue;
        if (record >= last)
            break;
        reached = true;
        double flag = 0;
        if (!value(flagIndex, flag))
            return Fail("the future flag of scored record " + std::to_string(record) +
                        " cannot be read");
        double number = 0;
        if (flag != 0 && flag != SYSMIS) {
            if (!value(predictedIndex, number))
                return Fail("the predicted value of scored record " + std::to_string(record) +
                            " cannot be read");
            predicted.push_back(number);
        } else {
            if (!value(metricIndex, number))
                break;
            observed.push_back(number);
        }
    }
    // Too few scored records is not an empty scenario.
    if (!reached && first < last)
        return Fail("the scored output has " + std::to_string(record) +
                    " records; the scenario starts at record " + std::to_string(first));
    return true;
}

void QEInteractiveTSR::ScenarioRecords(const std::string& start, const std::string& end,
                                       int timePoints, int& span, int& first, int& last) {
    const int s = String2Integer(start);
    const int e = String2Integer(end);
    span = e >= 1 ? e : 0;
    first = s + timePoints;
    last = e + timePoints + 1;
}

// --- Preparation -----------------------------------------------------------------------------

bool QEInteractiveTSR::PrepareDataset(QERawDataIterator& iterator, const std::string& settings,
                                      const std::string& dateTimeField, bool hasDimensions,
                                      Prepared& files) {
    const CFMetaData& layout = iterator.GetMetaData();
    bool convert = false;
    if (!dateTimeField.empty()) {
        const int index = layout.FindField(dateTimeField);
        convert = index >= 0 && layout.GetField(index).GetStorage() == kTextStorage;
    }
    if (!hasDimensions) {
        if (!convert)
            return RunTSDP(iterator, settings, files.tsdpOut, files.data, files.dataModel) ||
                   Fail("the time-series preparation of the dataset failed");
        if (!ConvertTimeStr(dateTimeField, iterator, files.convertData, files.convertDataModel))
            return Fail("the date/time field '" + dateTimeField + "' cannot be converted");
        return RunTSDP(files.convertData, files.convertDataModel, settings, files.tsdpOut,
                       files.data, files.dataModel) ||
               Fail("the time-series preparation of the dataset failed");
    }
    std::vector<std::string> fields;
    for (int i = 0; i < layout.FieldCount(); ++i)
        fields.push_back(layout.GetField(i).GetName());
    if (!UpdateDataModel(fields, iterator, files.inputData, files.inputDataModel))
        return Fail("the dataset cannot be written for the preparation");
    if (!convert)
        return RunTSDP(files.inputData, files.inputDataModel, settings, files.tsdpOut, files.data,
                       files.dataModel) ||
               Fail("the time-series preparation of the dataset failed");
    if (!ConvertTimeStr(dateTimeField, files.inputData, files.inputDataModel, files.convertData,
                        files.convertDataModel))
        return Fail("the date/time field '" + dateTimeField + "' cannot be converted");
    return RunTSDP(files.convertData, files.convertDataModel, settings, files.tsdpOut, files.data,
                   files.dataModel) ||
           Fail("the time-series preparation of the dataset failed");
}

// --- Public operations -----------------------------------------------------------------------

bool QEInteractiveTSR::getModelCapabilities(const std::string& archive, std::string& dataModel,
                                            std::string& inputDataModel,
                                            std::string& outputDataModel,
                                            std::string& modelProperties, std::string& graph,
                                            std::string& tsdpOutput) {
    BeginOperation();
    bool ok = false;
    if (!IsZipArchive(archive)) {
        ok = Fail(archive + " is not a zip archive");
    } else {
        QESimpleContainer out("ModelCapabilities", "");
        const std::string job = GenerateScoringQEL(archive, out);
        traceJSONFile(job, "QelJobText", "getModelCapabilities");
        ok = PrepareAndRun(job, "the model capabilities job");
        if (ok) {
            // The first entry that is missing or unreadable ends the reading.
            std::string text;
            if (!ReadSummaryDataModel(archive, text)) {
                dataModel.clear();
                ok = Fail("the model archive has no data model (StatXML.xml)");
            } else {
                dataModel = text;
            }
            const std::string modelEntries[] = {"TCMGraph.json", "TSDPOutput.json"};
            std::string* modelTexts[] = {&graph, &tsdpOutput};
            for (int i = 0; ok && i < 2; ++i) {
                if (!ReadEntry(archive, modelEntries[i].c_str(), *modelTexts[i]))
                    ok = Fail("the model archive has no " + modelEntries[i]);
            }
            const std::string outEntries[] = {"ScoreInputDataModel.xml", "ScoreOutputDataModel.xml",
                                              "ScoreModelProp.xml"};
            std::string* outTexts[] = {&inputDataModel, &outputDataModel, &modelProperties};
            for (int i = 0; ok && i < 3; ++i) {
                if (!ReadEntry(out.getAbsolutePath(), outEntries[i].c_str(), *outTexts[i]))
                    ok = Fail("the model capabilities lack " + outEntries[i]);
            }
        }
        if (ok) {
            traceXMLFile(dataModel, "TSFullDMContent", "getModelCapabilities");
            traceXMLFile(inputDataModel, "TSInputDMContent", "getModelCapabilities");
            traceXMLFile(outputDataModel, "TSOutputDMContent", "getModelCapabilities");
            traceXMLFile(modelProperties, "TSModelPropContent", "getModelCapabilities");
            traceJSONFile(graph, "TSNetGraphContent", "getModelCapabilities");
            traceJSONFile(tsdpOutput, "TSDPOutputContent", "getModelCapabilities");
        }
    }
    EndOperation();
    return ok;
}

bool QEInteractiveTSR::getGatingInfo(LocallyUniqueID dataset, const std::string& dataFile,
                                     const std::string& dateTimeField,
                                     const std::vector<std::string>& fields, int maxDistinct,
                                     std::string& timeIntervalJson, std::string& dataModelXml) {
    BeginOperation();
    std::vector<std::string> names;
    for (const std::string& field : fields)
        names.push_back(transcodeToUTF8(field.c_str(), converter()));
    std::vector<std::string> timeFields;
    if (!dateTimeField.empty())
        timeFields.push_back(transcodeToUTF8(dateTimeField.c_str(), converter()));
    const int limit = maxDistinct < 100 ? 105 : maxDistinct + 1;

    bool ok = false;
    std::unique_ptr<UserInputCaseFile> caseFile;
    std::unique_ptr<QERawDataIterator> iterator;
    if (dataset.IsNone()) {
        UserCaseFileSpec caseSpec;
        if (!caseSpec.Init(dataFile, true, false)) {
            Fail("no dataset and no data file given");
        } else {
            caseFile = std::make_unique<UserInputCaseFile>(caseSpec);
            if (!caseFile->IsOpen())
                Fail(dataFile + ": " + caseFile->Error());
            else
                iterator = std::make_unique<QERawDataIterator>(
                    caseFile->DataSource(), std::vector<int>{},
                    std::vector<QERawDataIterator::MeasurementLevel>{}, false,
                    QERawDataIterator::Ignore, false);
        }
    } else {
        iterator = std::make_unique<QERawDataIterator>(
            dataset, std::vector<int>{}, std::vector<QERawDataIterator::MeasurementLevel>{}, false,
            QERawDataIterator::Ignore, false);
    }
    if (iterator) {
        iterator->SetName("inputData");
        QEDescriptive descriptive(runner(), iterator.get());
        ok = descriptive.UpdateDateModel(&names, timeFields.empty() ? nullptr : &timeFields, true,
                                         timeIntervalJson, dataModelXml, limit);
        if (!ok && exceptionMessage.empty())
            exceptionMessage = "the data model of the fields cannot be built";
    }
    EndOperation();
    return ok;
}

bool QEInteractiveTSR::getImpactDiagram(LocallyUniqueID dataset, const std::string& archive,
                                        const std::string& target,
                                        const std::vector<std::string>& dimensions,
                                        const std::vector<std::string>& series, bool flag,
                                        int level, std::string& statJson) {
    BeginOperation();
    QESimpleContainer statOut("tcmStatJson", "");
    auto files = std::make_unique<Prepared>();
    std::vector<std::string> targets = series;
    targets.push_back(target);

    auto run = [&]() -> bool {
        if (!IsZipArchive(archive))
            return Fail(archive + " is not a zip archive");
        std::string job;
        if (dataset.IsNone()) {
            job = GenerateImpactDiagramQEL(archive, targets, flag, level, statOut);
            job += "OutputComponent:TCMOutputComponent(outputConf,inputCons,outputCons)";
        } else {
            SvrDMInputDataSource source(dataset, false);
            if (source.GetDataset() == nullptr)
                return Fail("the dataset is not open");
            std::set<int> fieldIndexes;
            std::string settings, dateTimeField;
            if (!ProcessTsdpSettings(archive, &source.GetDataSource(), dimensions, fieldIndexes,
                                     settings, dateTimeField))
                return Fail(
                    "the model's preparation settings do not fit the dataset (a field "
                    "or dimension is missing or differs)");
            QERawDataIterator iterator(dataset,
                                       std::vector<int>(fieldIndexes.begin(), fieldIndexes.end()),
                                       std::vector<QERawDataIterator::MeasurementLevel>{}, false,
                                       QERawDataIterator::Ignore, false);
            iterator.SetName("_activeDataset_");
            std::vector<std::string> dims = dimensions;
            DropEmptyDimension(dims);
            if (!PrepareDataset(iterator, settings, dateTimeField, !dims.empty(), *files))
                return false;
            job = GenerateImpactDiagramQEL(files->dataModel, files->data, files->tsdpOut, archive,
                                           targets, flag, level, statOut);
        }
        traceJSONFile(job, "QelJobText", "getImpactDiagram");
        if (!PrepareAndRun(job, "the impact diagram job"))
            return false;
        if (!ReadEntry(statOut.getAbsolutePath(), "statJson.json", statJson))
            return Fail("the impact diagram output has no statJson.json");
        traceJSONFile(statJson, "StatJSON", "getImpactDiagram");
        return true;
    };
    const bool ok = run();
    EndOperation();
    return ok;
}

bool QEInteractiveTSR::GetScenarioInfo(
    LocallyUniqueID dataset, const std::string& archive, const std::string& dateTimeField,
    const std::string& start, const std::string& end, const std::vector<std::string>&,
    const std::vector<long long>&, const std::vector<long long>&, const std::string& metric,
    const std::vector<std::string>& dimensions, const std::vector<std::string>& dimensionValues,
    std::vector<double>& observed, std::vector<double>& predicted) {
    BeginOperation();
    auto run = [&]() -> bool {
        if (metric.empty())
            return Fail("no metric given");
        if (String2Integer(start) > String2Integer(end))
            return Fail("the scenario starts (" + start + ") after it ends (" + end + ")");
        if (!IsZipArchive(archive))
            return Fail(archive + " is not a zip archive");
        SvrDMInputDataSource source(dataset, false);
        if (source.GetDataset() == nullptr)
            return Fail("the dataset is not open");
        Prepared files;
        std::set<int> fieldIndexes;
        std::string settings;
        int timePoints = 0;
        if (!ProcessTsdpSettings(archive, &source.GetDataSource(), dimensions, fieldIndexes,
                                 settings, timePoints))
            return Fail(
                "the model's preparation settings do not fit the dataset (a field or "
                "dimension is missing or differs)");
        QERawDataIterator iterator(dataset,
                                   std::vector<int>(fieldIndexes.begin(), fieldIndexes.end()),
                                   std::vector<QERawDataIterator::MeasurementLevel>{}, false,
                                   QERawDataIterator::Ignore, false);
        iterator.SetName("_activeDataset_");
        std::vector<std::string> dims = dimensions;
        DropEmptyDimension(dims);
        const std::string timeField = transcodeToUTF8(dateTimeField.c_str(), converter());
        if (!PrepareDataset(iterator, settings, timeField, !dims.empty(), files))
            return false;

        int span = 0, first = 0, last = 0;
        ScenarioRecords(start, end, timePoints, span, first, last);
        bool isTarget = false;
        if (!IsTargetSeries(archive, metric, dimensions, dimensionValues, isTarget))
            return false;
        const bool ok =
            isTarget ? TcmScore(archive, metric, dimensionValues, files.tsdpOut, files.dataModel,
                                files.data, span, first, last, observed, predicted)
                     : ArScore(archive, metric, dimensionValues, files.tsdpOut, files.dataModel,
                               files.data, span, first, last, observed, predicted);
        return ok;
    };
    const bool ok = run();
    EndOperation();
    return ok;
}
