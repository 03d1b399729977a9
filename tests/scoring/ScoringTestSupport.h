// Helpers of the scoring tests: fixture files, a scripted row iterator and model creation.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/platform/host/metadata/CFField.h"
#include "qeinteg/platform/host/scoring/IMCScoreComputer.h"

namespace scoringtest {

// The text of a fixture file (tests/scoring/fixtures/NAME).
std::string Fixture(const std::string& name);

// A CSV file of plain cells (no quoting): header and rows.
struct Table {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    int Column(const std::string& name) const;
};
Table ReadTable(const std::string& text);

// A value of ../shared/data/seattle-weather.csv, the data the fixtures' models were fitted on: the
// number in `column` on `date`, rounded to the nearest float when `asFloat` (the tree models were
// fitted and checked on float values).
double Weather(const std::string& date, const std::string& column, bool asFloat);

// Creates a score computer; fails the test (and returns null) when the factory refuses.
std::unique_ptr<MCXML_910::IMCScoreComputer> Compile(const std::string& pmml);
// The factory's error for a document it refuses; "" when it accepts it.
std::string CompileError(const std::string& pmml);

// A row iterator over rows given in memory, as the engine's iterators deliver them: numbers as
// doubles, strings as bytes, null for a missing value.
class MemoryIterator final : public EmbeddedQE::RowDataIterator {
  public:
    struct Field {
        std::string name;
        CFField::StorageType storage;
    };
    using Cell = std::optional<std::string>;  // numbers written as decimal text

    MemoryIterator(std::vector<Field> fields, std::vector<std::vector<Cell>> rows);

    std::string getName() override { return "memory"; }
    std::string getDataModel() override;
    uint32_t nextRecord() override;
    uint32_t getRecordValue(size_t index, const void** data, size_t* length) override;
    void dispose(JNIEnv*) override {}
    uint32_t Rewind() override {
        row_ = -1;
        return 0;
    }
    int DataModelCalls() const { return dataModelCalls_; }

  private:
    std::vector<Field> fields_;
    std::vector<std::vector<Cell>> rows_;
    long row_ = -1;
    std::vector<double> numbers_;  // one slot per field: values stay valid for the whole row
    int dataModelCalls_ = 0;
};

}  // namespace scoringtest
