// Front-end of the temporal causal modelling procedures. Before a stored model can be applied to
// the host's active dataset the dataset is brought into the shape the model was built on: the
// preparation settings are read from the model archive and checked against the dataset, a
// date/time field held as text is converted to timestamps, the dataset is written to an engine data
// file with its data model, and the engine's time-series preparation (tsdp) runs (docs/tcm.md).
//
// Every job here is QEL text written by the class itself and run through the interactive wrapper on
// its runner, which has no procedure: failures come back as false and as stored texts, never as
// exceptions. Used on one thread.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/runner/QEInteractive.h"

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

    friend class QEInteractiveTSRTestAccess;
};
