// Offers a host data source to the engine as a stream of rows. The iterator chooses the variables
// that become fields, converts host values into the engine's form (missing values as null, dates
// as days and timestamps as seconds from the base date, strings as trimmed UTF-8), applies the
// frequency weight, skips cases without a positive weight and counts cases in its first pass.
//
// Numbers are delivered from one reused slot per field and strings by address into the host's case
// buffer (or the converted copy), so a delivered value stays valid until the next nextRecord(),
// Rewind() or the iterator's destruction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "qeinteg/data/QEStatDataIterator.h"
#include "qeinteg/platform/host/data/HostValues.h"
#include "qeinteg/platform/host/data/TAVO_DataSource.h"
#include "qeinteg/platform/host/data/TAVO_InputCaseIterator.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/platform/host/process/ErrorMonitor.h"
#include "qeinteg/qeinteg_export.h"

class QEDataModel;
class QEStopCheck;
class QEStopProcessor;

class QEINTEG_EXPORT QERawDataIterator : public QEStatDataIterator,
                                         public EmbeddedQE::RowBatchIterator {
  public:
    // How the frequency weight of a case is adjusted.
    enum WeightAdjust {
        Round = 0,      // floor(w + 0.5)
        Truncate = 1,   // floor(w)
        Unchanged = 2,  // w
        Ignore = 3      // no weighting: every case has weight 1
    };
    using MeasurementLevel = TAVO_Variable_Enumerations::MeasurementLevel;

    // Over a data source, restricted to the given columns (all when empty; out-of-range columns
    // are left out). The source and a given monitor must outlive the iterator; a null monitor
    // makes the iterator report conversion errors through the host's reporter.
    QERawDataIterator(const TAVO_DataSource& source, const std::vector<int>& indices,
                      const std::vector<MeasurementLevel>& levels, bool addCaseCount,
                      WeightAdjust weightAdjust, bool useSplits, ErrorMonitor* monitor = nullptr);
    // As above, with variables chosen by name (unknown names are left out).
    QERawDataIterator(const TAVO_DataSource& source, const std::vector<std::string>& names,
                      const std::vector<MeasurementLevel>& levels, bool addCaseCount,
                      WeightAdjust weightAdjust, bool useSplits, bool namesInUtf8,
                      ErrorMonitor* monitor = nullptr);
    // Over a dataset of the host's data server.
    QERawDataIterator(const LocallyUniqueID& dataset, const std::vector<int>& indices,
                      const std::vector<MeasurementLevel>& levels, bool addCaseCount,
                      WeightAdjust weightAdjust, bool useSplits);
    QERawDataIterator(const LocallyUniqueID& dataset, const std::vector<std::string>& names,
                      const std::vector<MeasurementLevel>& levels, bool addCaseCount,
                      WeightAdjust weightAdjust, bool useSplits, bool namesInUtf8);
    // Over a data model's source, fields and analysis columns; weights rounded.
    QERawDataIterator(const QEDataModel& model, ErrorMonitor* monitor = nullptr);
    // Over a source with metadata, data model XML and analysis columns the caller made (levels
    // are not used). When indices has one entry per field, a column out of range of the source
    // drops its field. Weights rounded.
    QERawDataIterator(const TAVO_DataSource& source, const CFMetaData& metadata,
                      const std::string& dataModel, const std::vector<int>& indices,
                      const std::vector<MeasurementLevel>& levels, ErrorMonitor* monitor = nullptr);

    // A copy reads on from the same position with its own case iterator.
    QERawDataIterator(const QERawDataIterator& other);
    QERawDataIterator& operator=(const QERawDataIterator& other);
    ~QERawDataIterator() override;

    // Changes the adjustment unless the current or the new one is Ignore.
    void SetFreqWeightAdj(WeightAdjust weightAdjust);
    WeightAdjust GetFreqWeightAdj() const;
    void SetExcludeUserMissing(bool exclude);
    bool GetExcludeUserMissing() const;
    void SetName(const std::string& name);

    // EmbeddedQE::RowDataIterator
    std::string getName() override;
    std::string getDataModel() override;
    // 0 a row is current, 1 end of data, 3 cancelled.
    uint32_t nextRecord() override;
    // The value of a field of the current row: data null and length 0 for a missing value. Returns
    // the iterator's status (outputs untouched unless it is 0); 2 for a field out of range.
    uint32_t getRecordValue(size_t field, const void** data, size_t* length) override;
    void dispose(JNIEnv* env) override;
    // Starts again from the first case. In the first pass it reads the rest of the data first, so
    // that the counters are complete.
    uint32_t Rewind() override;

    // Column batches: ReadBatch, offered to the engine through its batch face.
    EmbeddedQE::RowBatchIterator* batchIterator() override { return this; }
    uint32_t nextBatch(EmbeddedQE::RowBatch& batch, size_t maxRows) override;
    // Replaces the batch's rows with up to maxRows (at least 1) following rows: exactly the rows
    // and values nextRecord() and getRecordValue() give, one column per field (numbers with the
    // system-missing value for a missing one; strings trimmed, copied into the batch). Returns 0
    // when the batch holds a row, else the status (1 end, 3 cancelled). The stop processor is
    // polled once per call; a batch that ends early because the data ended holds the rows read
    // before.
    uint32_t ReadBatch(EmbeddedQE::RowBatch& batch, size_t maxRows);

    TAVO_InputCaseIterator* GetStatDSIter() const;
    const CFMetaData& GetMetaData() const;

    // Counters of the first pass; complete only after it has reached the end.
    int GetNCases() const;
    int GetNValidCases() const;
    int GetNInvalidCases() const;
    double GetWeightNCases() const;
    double GetWeightNValidCases() const;
    double GetWeightNInvalidCases() const;
    bool AreAllWeightsGood() const;
    bool AreAllWeightsIntegers() const;

    // The stop processor is polled at every nextRecord and Rewind; it is not owned.
    void SetStopProcessor(QEStopProcessor* stopProcessor);
    QEStopProcessor* GetStopProcessor() const;
    void SetCancelStatus();
    bool GetCancelStatus() const;

  private:
    // Records the stop processor (as given, for GetStopProcessor) and the check the rows ask.
    void SetStopCheck(QEStopProcessor* stopProcessor, const QEStopCheck* check);

    class Impl;
    Impl* impl_;
};
