// Front-end of the temporal causal modelling procedures: what a stored model can do, the gating
// information of the procedure's dialog, impact diagrams of chosen series and scenarios that score
// a series forward (docs/tcm.md).
//
// Before a stored model can be applied to the host's active dataset the dataset is brought into
// the shape the model was built on: the preparation settings are read from the model archive and
// checked against the dataset, a date/time field held as text is converted to timestamps, the
// dataset is written to an engine data file with its data model, and the engine's time-series
// preparation (tsdp) runs.
//
// Every job here is QEL text written by the class itself and run through the interactive wrapper on
// its runner, which has no procedure: failures come back as false and as stored texts, never as
// exceptions. Used on one thread.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "qeinteg/platform/host/data/HostValues.h"
#include "qeinteg/qeinteg_export.h"
#include "qeinteg/runner/QEInteractive.h"

namespace EmbeddedQE {
class RowDataIterator;
}
class CFMetaData;
class JNIJSONArray;
class JNIJSONObject;
class QERawDataIterator;
class QESimpleContainer;
class TAVO_DataSource;

class QEINTEG_EXPORT QEInteractiveTSR : public QEInteractive {
  public:
    QEInteractiveTSR();
    ~QEInteractiveTSR() override;
    QEInteractiveTSR(const QEInteractiveTSR&) = delete;
    QEInteractiveTSR& operator=(const QEInteractiveTSR&) = delete;

    // Each public operation reports failure by false, with the reason for hasError (the engine's
    // error when a job failed); output texts are then left empty or unchanged. No temporary file
    // outlives a call.

    // What the model in `archive` can do: its data model (the summary's <DataModel> section), the
    // scoring input and output data models and model properties, its series graph and its
    // preparation output.
    bool getModelCapabilities(const std::string& archive, std::string& dataModel,
                              std::string& inputDataModel, std::string& outputDataModel,
                              std::string& modelProperties, std::string& graph,
                              std::string& tsdpOutput);
    // The time intervals of `dateTimeField` (when given) and the data model of `fields` (names in
    // the host code page) in the dataset `dataset`, or, for LocallyUniqueID::None(), in the case
    // file `dataFile`. maxDistinct bounds the distinct values listed per field.
    bool getGatingInfo(LocallyUniqueID dataset, const std::string& dataFile,
                       const std::string& dateTimeField, const std::vector<std::string>& fields,
                       int maxDistinct, std::string& timeIntervalJson, std::string& dataModelXml);
    // The impact diagram document ("statJson.json") of `series` and `target` to depth `level`. With
    // LocallyUniqueID::None() from the model alone; otherwise the dataset is prepared the model's
    // way first, with `dimensions` its dimension fields. `flag` is reserved.
    bool getImpactDiagram(LocallyUniqueID dataset, const std::string& archive,
                          const std::string& target, const std::vector<std::string>& dimensions,
                          const std::vector<std::string>& series, bool flag, int level,
                          std::string& statJson);
    // Scores the series of `metric` at `dimensionValues` (one per entry of `dimensions`) forward
    // from the dataset `dataset`. start and end are decimal period offsets from the model's last
    // time point (start 1, end 12: the twelve periods after it); the values of those periods
    // come back, observed values into `observed` and forecasts into `predicted`. The three lists
    // after `end` are reserved.
    bool GetScenarioInfo(LocallyUniqueID dataset, const std::string& archive,
                         const std::string& dateTimeField, const std::string& start,
                         const std::string& end, const std::vector<std::string>& reservedNames,
                         const std::vector<long long>& reservedFirst,
                         const std::vector<long long>& reservedSecond, const std::string& metric,
                         const std::vector<std::string>& dimensions,
                         const std::vector<std::string>& dimensionValues,
                         std::vector<double>& observed, std::vector<double>& predicted);

  private:
    // The data model of the archive's summary ("StatXML.xml") into metaData. False when the entry
    // is missing or unreadable or its data model does not read.
    bool GetMetaData(const std::string& archive, CFMetaData& metaData);
    // Reads the archive's preparation settings, checks every field they name against dataSource
    // and the dimension list against `dimensions` (exactly, in order), and gives the fields'
    // indexes, the settings text and the date/time field. False at the first failure.
    bool ProcessTsdpSettings(const std::string& archive, const TAVO_DataSource* dataSource,
                             const std::vector<std::string>& dimensions,
                             std::set<int>& fieldIndexes, std::string& settings,
                             std::string& dateTimeField);
    // As above, giving the model's number of time points instead of the date/time field.
    bool ProcessTsdpSettings(const std::string& archive, const TAVO_DataSource* dataSource,
                             const std::vector<std::string>& dimensions,
                             std::set<int>& fieldIndexes, std::string& settings, int& timePoints);
    // Writes the iterator's records into data and the data model of `fields` into dataModel.
    bool UpdateDataModel(const std::vector<std::string>& fields, QERawDataIterator& iterator,
                         QESimpleContainer& data, QESimpleContainer& dataModel);
    // Replaces the text field `field` by timestamps while copying the records into data.
    bool ConvertTimeStr(const std::string& field, QERawDataIterator& iterator,
                        QESimpleContainer& data, QESimpleContainer& dataModel);
    bool ConvertTimeStr(const std::string& field, QESimpleContainer& inData,
                        QESimpleContainer& inDataModel, QESimpleContainer& data,
                        QESimpleContainer& dataModel);
    // Runs the time-series preparation with `settings`: prepared records into data and dataModel,
    // the preparation output into tsdpOut.
    bool RunTSDP(QERawDataIterator& iterator, const std::string& settings,
                 QESimpleContainer& tsdpOut, QESimpleContainer& data, QESimpleContainer& dataModel);
    bool RunTSDP(QESimpleContainer& inData, QESimpleContainer& inDataModel,
                 const std::string& settings, QESimpleContainer& tsdpOut, QESimpleContainer& data,
                 QESimpleContainer& dataModel);

    // QEL pieces.
    std::string GetToTimestampLambda(const std::string& field);
    // "val readerConf = " + the reader configuration of an engine data file + "\n".
    std::string GenerateReaderConf(const std::string& dataPath, const std::string& dataModelPath);
    // {"export":true (only when `exported`),"name":...,"uri":...}.
    std::unique_ptr<JNIJSONObject> GetOutputContainerJson(const std::string& name,
                                                          const std::string& uri, bool exported);
    std::string TransformPath(const std::string& path);
    std::string removeBackslash(std::string text);
    void AddLongList(JNIJSONArray& array, const std::vector<long long>& values);

    // Part-two job pieces.
    // "val rtsdpConf = ..." and "val rtsdpInConf = [...]" lines, each ending in "\n".
    std::string GenerateRtsdpConf(const std::string& path);
    std::string GenerateScoringQEL(const std::string& archive, QESimpleContainer& out);
    std::string GenerateImpactDiagramQEL(QESimpleContainer& dataModel, QESimpleContainer& data,
                                         QESimpleContainer& tsdpOut, const std::string& archive,
                                         const std::vector<std::string>& targets, bool flag,
                                         int level, QESimpleContainer& statOut);
    std::string GenerateImpactDiagramQEL(const std::string& archive,
                                         const std::vector<std::string>& targets, bool flag,
                                         int level, QESimpleContainer& statOut);
    void GenerateScoreSettings(JNIJSONObject& conf, const std::vector<std::string>& series,
                               const int& forecastSpan, bool isTcm);
    // `flag` does not change the settings.
    std::unique_ptr<JNIJSONObject> GetTargetsOutputSetting(const std::vector<std::string>& targets,
                                                           bool flag, int level);
    // Score the series of `metric` at `series` (its dimension values) over `span` periods from the
    // prepared data, then read records first .. last - 1 (numbered from 1) of the scored output:
    // "$FutureFlag" 1 gives the "<metric>_predicted" value into predicted, 0 the metric's value
    // into observed. TcmScore scores a target through its model, ArScore any other series through
    // its autoregressive model.
    bool TcmScore(const std::string& archive, const std::string& metric,
                  const std::vector<std::string>& series, QESimpleContainer& tsdpOut,
                  QESimpleContainer& dataModel, QESimpleContainer& data, int span, int first,
                  int last, std::vector<double>& observed, std::vector<double>& predicted);
    bool ArScore(const std::string& archive, const std::string& metric,
                 const std::vector<std::string>& series, QESimpleContainer& tsdpOut,
                 QESimpleContainer& dataModel, QESimpleContainer& data, int span, int first,
                 int last, std::vector<double>& observed, std::vector<double>& predicted);
    // Whether the series of `metric` at `values` of `dimensions` is a target of the model's graph.
    // False (with a message) when the archive lacks its graph or data model or the series cannot be
    // named.
    bool IsTargetSeries(const std::string& archive, const std::string& metric,
                        const std::vector<std::string>& dimensions,
                        const std::vector<std::string>& values, bool& isTarget);
    // The identifier of a series in the model whose data model (XML holding a <DataModel> section
    // with each field's <values>) is `dataModelXml`: the 0-based positions of `values` among the
    // values of `dimensions` (texts compared as texts, numbers as numbers), then the position of
    // `metric` among the values of "metricField". False when a value is not listed.
    bool EncodeSeriesName(const std::string& dataModelXml,
                          const std::vector<std::string>& dimensions,
                          const std::vector<std::string>& values, const std::string& metric,
                          std::string& id);
    // The positions in decimal joined with "-"; empty for none.
    std::string BuildSeriesIDStr(const std::vector<int>& positions);

    std::string IteratorReaderConf(QERawDataIterator& iterator);
    std::string WriterConf(QESimpleContainer& data, QESimpleContainer& dataModel);
    bool ReadSettings(const std::string& archive, const TAVO_DataSource* dataSource,
                      const std::vector<std::string>& dimensions, std::set<int>& fieldIndexes,
                      std::string& settings, std::string& dateTimeField, int* timePoints);
    bool RunJob(const std::string& job, QERawDataIterator* iterator, const char* traceName);
    // The preparation job after its reader line: settings, output containers, writer, pipeline.
    bool RunTsdpJob(std::string job, QERawDataIterator* iterator, const std::string& settings,
                    QESimpleContainer& tsdpOut, QESimpleContainer& data,
                    QESimpleContainer& dataModel);

    // The containers of a preparation for scoring or an impact diagram.
    struct Prepared;
    // Prepares the dataset read by `iterator` the model's way (see getImpactDiagram).
    bool PrepareDataset(QERawDataIterator& iterator, const std::string& settings,
                        const std::string& dateTimeField, bool hasDimensions, Prepared& files);
    // The summary's <DataModel> section: up to and with the first "</DataModel>", else to the end
    // and closed. False when the entry is missing or has no data model.
    bool ReadSummaryDataModel(const std::string& archive, std::string& dataModel);
    // TcmScore (isTcm) and ArScore.
    bool Score(bool isTcm, const std::string& archive, const std::string& metric,
               const std::vector<std::string>& series, QESimpleContainer& tsdpOut,
               QESimpleContainer& dataModel, QESimpleContainer& data, int span, int first, int last,
               std::vector<double>& observed, std::vector<double>& predicted);
    // Prepares and runs a job of a public operation; false with a message naming `what`.
    bool PrepareAndRun(const std::string& job, const std::string& what);
    // Reads records first .. last - 1 (numbered from 1) of scored output `rows` as TcmScore says.
    // False with a message when a flag or a forecast cannot be read, a field is missing, or the
    // records end before `first`.
    bool ReadScoredRecords(EmbeddedQE::RowDataIterator& rows, const std::string& metric, int first,
                           int last, std::vector<double>& observed, std::vector<double>& predicted);
    // The forecast span and the scored records of a scenario from start to end (decimal texts)
    // after a model of `timePoints` time points: span = end when at least 1, else 0; first =
    // start + timePoints; last = end + timePoints + 1.
    void ScenarioRecords(const std::string& start, const std::string& end, int timePoints,
                         int& span, int& first, int& last);
    // Keeps `text` for hasError and returns false.
    bool Fail(const std::string& text);
    // The start of every public operation: bridge and messages reset.
    void BeginOperation();
    // The end of every public operation.
    void EndOperation();

    friend class QEInteractiveTSRTestAccess;
};
