#include "ScoringTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "common/TestSupport.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/platform/host/scoring/MCScorerFactory.h"

namespace scoringtest {

std::string Fixture(const std::string& name) {
    return qetest::ReadFile(std::string(QEINTEG_SCORING_FIXTURES) + "/" + name);
}

int Table::Column(const std::string& name) const {
    for (size_t i = 0; i < header.size(); ++i) {
        if (header[i] == name)
            return static_cast<int>(i);
    }
    return -1;
}

Table ReadTable(const std::string& text) {
    Table table;
    std::istringstream in(text);
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        std::vector<std::string> cells;
        std::istringstream cellStream(line);
        std::string cell;
        while (std::getline(cellStream, cell, ','))
            cells.push_back(cell);
        if (line.back() == ',')
            cells.emplace_back();
        if (first)
            table.header = std::move(cells);
        else
            table.rows.push_back(std::move(cells));
        first = false;
    }
    return table;
}

double Weather(const std::string& date, const std::string& column, bool asFloat) {
    static const Table weather =
        ReadTable(qetest::ReadFile(std::string(QEINTEG_SHARED_DATA_DIR) + "/seattle-weather.csv"));
    const int c = weather.Column(column);
    EXPECT_GE(c, 0) << column;
    for (const auto& row : weather.rows) {
        if (row[0] == date && c >= 0) {
            const double v = std::strtod(row[static_cast<size_t>(c)].c_str(), nullptr);
            return asFloat ? static_cast<double>(static_cast<float>(v)) : v;
        }
    }
    ADD_FAILURE() << "no row for " << date;
    return 0;
}

std::unique_ptr<MCXML_910::IMCScoreComputer> Compile(const std::string& pmml) {
    MCXML_910::MCSettings settings;
    std::istringstream stream(pmml);
    std::unique_ptr<MCXML_910::IMCScoreComputer> computer(
        MCScoring_910::MCScorerFactory::CreateMCScoringObject(settings, stream));
    EXPECT_NE(computer, nullptr) << settings.GetErrorMessage();
    return computer;
}

std::string CompileError(const std::string& pmml) {
    MCXML_910::MCSettings settings;
    std::istringstream stream(pmml);
    std::unique_ptr<MCXML_910::IMCScoreComputer> computer(
        MCScoring_910::MCScorerFactory::CreateMCScoringObject(settings, stream));
    if (computer) {
        EXPECT_EQ(settings.GetErrorMessage(), "");
        return "";
    }
    EXPECT_NE(settings.GetErrorMessage(), "");
    return settings.GetErrorMessage();
}

MemoryIterator::MemoryIterator(std::vector<Field> fields, std::vector<std::vector<Cell>> rows)
    : fields_(std::move(fields)), rows_(std::move(rows)), numbers_(fields_.size(), 0.0) {}

std::string MemoryIterator::getDataModel() {
    ++dataModelCalls_;
    CFMetaData metadata;
    for (const Field& f : fields_) {
        metadata.AddField(
            CFField(f.name, f.storage == CFField::String ? CFField::Nominal : CFField::Continuous,
                    f.storage, CFField::Input));
    }
    std::string xml;
    metadata.ExportXMLDoc(xml);
    return xml;
}

uint32_t MemoryIterator::nextRecord() {
    if (row_ + 1 >= static_cast<long>(rows_.size())) {
        row_ = static_cast<long>(rows_.size());
        return 1;
    }
    ++row_;
    return 0;
}

uint32_t MemoryIterator::getRecordValue(size_t index, const void** data, size_t* length) {
    if (row_ < 0 || row_ >= static_cast<long>(rows_.size()) || index >= fields_.size())
        return 2;
    const Cell& cell = rows_[static_cast<size_t>(row_)][index];
    if (!cell) {
        *data = nullptr;
        *length = 0;
        return 0;
    }
    if (fields_[index].storage == CFField::String) {
        *data = cell->data();
        *length = cell->size();
        return 0;
    }
    numbers_[index] = std::strtod(cell->c_str(), nullptr);
    *data = &numbers_[index];
    *length = sizeof(double);
    return 0;
}

}  // namespace scoringtest
