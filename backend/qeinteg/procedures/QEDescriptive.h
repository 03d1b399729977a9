// Runs the engine's descriptives function over a dataset and brings back the summary document with
// its data model and, for date/time fields, the detected time intervals.
//
// The job text is written here from a fixed template and run on the caller's QERunner; neither the
// runner nor the iterator is owned. The settings document accumulates: keys put by one run stay
// for the next.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qeinteg/qeinteg_export.h"

class CFMetaData;
class JNIJSONObject;
class QERawDataIterator;
class QERunner;
class QESimpleContainer;

class QEINTEG_EXPORT QEDescriptive {
  public:
    QEDescriptive(QERunner& runner, QERawDataIterator* inputIterator);
    // `readQel` is the QEL text of a read step, used when there is no iterator.
    QEDescriptive(QERunner& runner, std::string readQel);
    QEDescriptive(const QEDescriptive& other);
    QEDescriptive& operator=(const QEDescriptive&) = delete;
    ~QEDescriptive();

    void SetDESetting(const std::string& key, const std::string& value);
    void SetDESetting(const std::string& key, const bool& value);

    const std::string& GetStatXML() const { return statXML_; }
    const std::string& GetQELJob() const { return qelJob_; }

    // The data model of `fields` into metaData. False for a null or empty list (nothing runs), a
    // failed run, or a summary that cannot be read.
    bool BuildMetaData(const std::vector<std::string>* fields, CFMetaData& metaData,
                       int maxNOfDistinctValues);
    // The data model of inputFields and the time intervals of dateTimeFields, as texts.
    bool UpdateDateModel(const std::vector<std::string>* inputFields,
                         const std::vector<std::string>* dateTimeFields, bool standardDateTime,
                         std::string& timeIntervalJson, std::string& dataModelXml,
                         int maxNOfDistinctValues);

    // The data model section of a summary document: from the first "<DataModel>" up to
    // "<DatasetSummaries>", closed with "</DataModel>" when the remainder lacks it. Empty when the
    // document has no "<DataModel>".
    static std::string CutDataModel(const std::string& statXml);

  private:
    void BuildDescriptiveJson();
    std::string TransformPath(const std::string& path);
    std::string removeBackslash(std::string text);
    std::string GetOutputContainerJson(const std::string& name, const std::string& uri);
    std::string GetInputDataJson(const std::string& dataSource);
    std::string GetQEL(QESimpleContainer* first, QESimpleContainer* second);
    bool RunDescriptive(QESimpleContainer* first, QESimpleContainer* second);
    void PutList(const char* key, const std::vector<std::string>& names, bool nested);

    QERunner& runner_;
    QERawDataIterator* inputIterator_;
    std::string readQel_;
    std::unique_ptr<JNIJSONObject> deConf_;
    std::string statXML_;
    std::string qelJob_;
};
