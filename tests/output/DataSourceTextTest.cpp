#include <gtest/gtest.h>

#include <memory>

#include "OutputTestSupport.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/output/dataDictionary.h"
#include "qeinteg/output/jsonPivot.h"
#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/data/ProcedureDataSource.h"
#include "qeinteg/platform/host/output/PivotTableItem.h"
#include "qeinteg/platform/host/output/PnCellText.h"
#include "qeinteg/platform/host/output/PnCellTextRecord.h"
#include "qeinteg/platform/host/output/PnProcedure.h"

namespace {

class DataSourceTexts : public testing::Test {
  protected:
    void SetUp() override {
        auto data = std::make_shared<HostDataset>();
        TAVO_Variable region("region", 0);
        region.SetLabel("Region of residence");
        region.AddValueLabel(1.0, "North");
        data->AddVariable(region);
        TAVO_Variable joined("joined", 0);
        TAVO_Format date;
        date.type = TAVO_Format::SDATE;
        date.width = 10;
        date.decimals = 0;
        joined.SetFormat(date);
        data->AddVariable(joined);
        data->AddVariable(TAVO_Variable("name", 8));
        ProcedureDataSource::SetActiveDataset(data);
        source = std::make_unique<ProcedureDataSource>(data);
    }

    // The host text and the plain text (through a category filter) of one cell-text object.
    qehost::TextRecord Convert(const std::string& cellText) {
        const std::string text = R"({"c":)" + cellText + "}";
        JNIJSONObject document(text.c_str());
        jobject item = document.get(document.getTop(), "c");
        jsonPivot builder(document, item, source.get(), dictionary);
        std::unique_ptr<PnCellText> made = builder.getCellText(item);
        return made ? qehost::RecordOf(*made) : qehost::TextRecord{};
    }

    std::unique_ptr<ProcedureDataSource> source;
    dataDictionary dictionary;
};

TEST_F(DataSourceTexts, VariablesAndValuesOfTheDataSource) {
    const auto variable = Convert(R"({"text":{"variableText":{"variable":"region"}}})");
    EXPECT_EQ(variable.kind, "variable");
    EXPECT_EQ(qehost::Arguments(variable)[1].second, "2");
    const auto date = Convert(R"({"text":{"numericDataText":{"variable":"joined","value":1}}})");
    EXPECT_EQ(date.kind, "datavalue");
    EXPECT_EQ(qehost::Arguments(date)[1].second, "12219465600");  // one day after 1970-01-01
    const auto code = Convert(R"({"text":{"numericDataText":{"variable":"region","value":1}}})");
    EXPECT_EQ(qehost::Arguments(code)[1].second, "1");
    const auto name = Convert(R"({"text":{"stringDataText":{"variable":"name","value":"Ann"}}})");
    EXPECT_EQ(name.kind, "datavalue");
    EXPECT_EQ(Convert(R"({"text":{"variableText":{"variable":"other"}}})").kind, "utf8");
    // The host shows them with the active dataset's labels and formats.
    EXPECT_EQ(variable.text, "Region of residence");
    EXPECT_EQ(code.text, "North");
    EXPECT_EQ(date.text, "1970/01/02");
    EXPECT_EQ(name.text, "Ann");
}

// Category filters compare plain texts: a data value's label, a variable's label.
TEST_F(DataSourceTexts, FiltersSeeLabelsFromTheDataSource) {
    const std::string doc =
        R"({"t":{"tableId":"t","title":{},"dimensions":[{"text":{"text":{"variableText":{"variable":"region"}}},"children":[)"
        R"({"text":{"text":{"numericDataText":{"variable":"region","value":1}}}},)"
        R"({"text":{"text":{"numericDataText":{"variable":"region","value":2}}}}]}],)"
        R"("caption":{"text":[{"text":{"variableText":{"variable":"region"}}}]},)"
        R"("cells":[{"cells":{"compactCells":{"value":[5,6]}}}]}})";
    JNIJSONObject document(doc.c_str());
    jobject item = document.get(document.getTop(), "t");
    jsonPivot builder(document, item, source.get(), dictionary);
    builder.hideAllCategoriesExcept({"2.00"}, true);  // F8.2, the variable's format
    PnProcedure procedure("p");
    builder.createPivotTable(procedure.Heading(), "T", false, "");
    const auto tables = outtest::Items(qehost::OutputItem::Kind::PivotTable);
    ASSERT_EQ(tables.size(), 1u);
    const auto& table = static_cast<const qehost::PivotTableItem*>(tables[0])->table();
    EXPECT_EQ(table.caption->text, "Region of residence");
    ASSERT_EQ(table.dimensions[0]->leaves.size(), 1u);
    EXPECT_EQ(table.dimensions[0]->leaves[0]->text.text, "2.00");  // no label: the value
    EXPECT_EQ(outtest::CellAt(table, {0})->text->text, "6");
}

}  // namespace
