// Describes a host data source to the engine: one field per variable with its name, measure,
// storage, role, label, display format, value labels and missing values, exported as data model
// XML. Keeps the full model of every variable and an optional analysis model restricted to the
// variables a procedure analyses, in its order, optionally ending with a case-count field.
#pragma once

#include <string>
#include <vector>

#include "qeinteg/platform/host/data/TAVO_DataSource.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QEDataModel {
  public:
    using MeasurementLevel = TAVO_Variable_Enumerations::MeasurementLevel;

    // The source must outlive the model. markWeight gives the weight variable the role
    // freqWeight; useSplits gives split variables the role split (and every other one input).
    QEDataModel(const TAVO_DataSource& source, bool addCaseCount, bool markWeight, bool useSplits);
    QEDataModel(const QEDataModel& other);
    QEDataModel& operator=(const QEDataModel& other);
    ~QEDataModel();

    const TAVO_DataSource* getDataSource() const;
    // The source column of each analysis field, in field order; -1 for the case-count field.
    const std::vector<int>& getAnalysVars() const;
    // The analysis model's XML when there is one, else the full model's.
    std::string getDataModel() const;
    // The analysis metadata when it has fields, else the full metadata.
    const CFMetaData& getMetaData() const;

    // Each form replaces the analysis model. Out-of-range indexes, empty and unknown names are
    // skipped. A level list must be empty or as long as the index or name list; a negative level
    // keeps the variable's own.
    void UpdateAnalysMetadata(const std::vector<int>& indexes);
    void UpdateAnalysMetadata(const std::vector<int>& indexes,
                              const std::vector<MeasurementLevel>& levels);
    void UpdateAnalysMetadata(const std::vector<std::string>& names, bool namesInUtf8);
    void UpdateAnalysMetadata(const std::vector<std::string>& names,
                              const std::vector<MeasurementLevel>& levels, bool namesInUtf8);

  private:
    class Impl;
    Impl* impl_;
};
