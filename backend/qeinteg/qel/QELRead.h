// Builds the "read" function that brings records into a job from one source: the host dataset
// through a row iterator, an engine data source, a host data file, a CSV file, an engine binary
// file (QEBF), a shape file or a map service layer. A read has no inputs.
#pragma once

#include <string>

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/QELFunction.h"

class QEStatDataIterator;

class QEINTEG_EXPORT QELRead : public QELFunction {
  public:
    // Where the records come from; the last Read... call decides.
    enum SourceKind {
        NoSource = 0,
        Iterator = 1,
        DataSource = 2,
        SavFile = 3,
        CsvFile = 4,
        ShapeFile = 5,
        MapService = 6,
        QebfFile = 7
    };

    explicit QELRead(JNIQelProgram* program);
    ~QELRead() override;

    // Path of the data model file describing the records; empty for none.
    void SetDataModel(std::string path);
    // Largest number of records to read; by default there is no limit.
    void SetMaxCaseCount(unsigned long long count);
    // Number of read errors tolerated; by default the engine's own setting applies.
    void SetErrorThreshold(unsigned long long count);

    void ReadIterator(QEStatDataIterator& iterator);
    void ReadIterator(const std::string& name);
    void ReadQEDatasource(const std::string& name);
    // A host data file; an empty password means none.
    void ReadSAV(const std::string& path, const std::string& password);
    void ReadCSV(const std::string& path, bool hasHeader);
    void ReadShape(const std::string& path);
    void ReadMapService(const std::string& address, int layer);
    // The layer given as text (an unreadable text gives layer 0).
    void ReadMapService(const std::string& address, const std::string& layer);
    void ReadQEBF(const std::string& path);

  protected:
    // Creates nothing without a source. A read has no inputs.
    Inputs InputKind() const override { return Inputs::None; }
    JNIQelFunction* CreateFunction(JNIQelProgram& program, JNIQelFunction* input) override;

  private:
    static constexpr unsigned long long kNotGiven = ~0ULL;

    std::string location_;
    int sourceKind_ = NoSource;
    std::string password_;
    int layer_ = 0;
    std::string dataModel_;
    unsigned long long maxCaseCount_ = kNotGiven;
    unsigned long long errorThreshold_ = kNotGiven;
    bool hasHeader_ = false;
};
