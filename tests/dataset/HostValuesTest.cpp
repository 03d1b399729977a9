// The host stand-in's small pieces that the data exchange relies on: formats, date numbers,
// missing-value rules, the procedure data source and the server registry.
#include <gtest/gtest.h>

#include <memory>

#include "DatasetFixture.h"
#include "qeinteg/platform/host/data/ProcedureDataSource.h"
#include "qeinteg/platform/host/data/SvrDMDataset.h"
#include "qeinteg/platform/host/data/SvrDMInputDataSource.h"
#include "qeinteg/platform/host/text/HostDates.h"

namespace {

TEST(HostValuesTest, FormatsParseAndPrint) {
    TAVO_Format f;
    ASSERT_TRUE(f.Parse("f8.2"));
    EXPECT_EQ(f, (TAVO_Format{TAVO_Format::F, 8, 2}));
    ASSERT_TRUE(f.Parse("A20"));
    EXPECT_EQ(f.ToString(), "A20");
    ASSERT_TRUE(f.Parse("DATETIME20"));
    EXPECT_EQ(f.type, TAVO_Format::DATETIME);
    ASSERT_TRUE(f.Parse("AHEX8"));
    EXPECT_TRUE(f.IsString());
    EXPECT_EQ((TAVO_Format{TAVO_Format::DOLLAR, 10, 2}).ToString(), "DOLLAR10.2");
    for (const char* bad : {"", "F", "Q8", "F0", "F8.", "F8.2x", "F99999", "8F", "F8.99"}) {
        SCOPED_TRACE(bad);
        TAVO_Format unchanged{TAVO_Format::N, 3, 0};
        EXPECT_FALSE(unchanged.Parse(bad));
        EXPECT_EQ(unchanged, (TAVO_Format{TAVO_Format::N, 3, 0}));
    }
    // A variable's format must suit its type; a string's is as wide as the string.
    TAVO_Variable s("s", 6);
    EXPECT_FALSE(s.SetFormat(TAVO_Format{TAVO_Format::F, 8, 2}));
    EXPECT_TRUE(s.SetFormat(TAVO_Format{TAVO_Format::A, 40, 0}));
    EXPECT_EQ(s.GetFormatEx().width, 6);
    TAVO_Variable n("n", 0);
    EXPECT_FALSE(n.SetFormat(TAVO_Format{TAVO_Format::A, 8, 0}));
}

TEST(HostValuesTest, DateNumbers) {
    double s = 0;
    ASSERT_TRUE(qehost::ParseHostDateTime("1582-10-14", s));
    EXPECT_EQ(s, 0.0);
    ASSERT_TRUE(qehost::ParseHostDateTime("2000-02-29 23:59:59.5", s));
    EXPECT_EQ(s, qehost::HostDateNumber(2000, 2, 29) + 86399.5);
    EXPECT_EQ(qehost::HostDateNumber(2001, 3, 1) - qehost::HostDateNumber(2001, 2, 28), 86400.0);
    EXPECT_EQ(GetBaseDateNumber(), 12219379200.0);
    for (const char* bad : {"1900-02-29", "2001-13-01", "2001-04-31", "1500-01-01", "2001-1-1",
                            "2001-01-01 24:00", "2001-01-01x", "2001-01-01 10:61"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(qehost::ParseHostDateTime(bad, s));
    }
    ASSERT_TRUE(qehost::ParseHostTime("100:30", s));  // durations may pass a day
    EXPECT_EQ(s, 361800.0);
    EXPECT_FALSE(qehost::ParseHostTime("10:60", s));
    EXPECT_FALSE(qehost::ParseHostTime("10", s));
}

TEST(HostValuesTest, MissingValueRules) {
    TAVO_Variable n("n", 0);
    EXPECT_FALSE(n.IsMissing(SYSMIS));
    EXPECT_TRUE(n.SetMissingValues({1, 2, 3}));
    EXPECT_TRUE(n.IsMissing(3));
    EXPECT_FALSE(n.IsMissing(4));
    EXPECT_FALSE(n.SetMissingValues({1, 2, 3, 4}));
    EXPECT_FALSE(n.SetMissingRange(5, 1));
    EXPECT_TRUE(n.SetMissingRange(-1, 1, 9));
    EXPECT_TRUE(n.IsMissing(0.5));
    EXPECT_TRUE(n.IsMissing(9));
    EXPECT_FALSE(n.IsMissing(1.5));
    EXPECT_FALSE(n.IsMissing(SYSMIS));
    int count = 0;
    OBS values[3];
    n.GetMissingValues(count, values);
    EXPECT_EQ(count, -3);
    EXPECT_EQ(values[2].f, 9);
    EXPECT_FALSE(n.SetStringMissingValues({"x"}));

    TAVO_Variable s("s", 4);
    EXPECT_FALSE(s.SetMissingRange(1, 2));
    EXPECT_TRUE(s.SetStringMissingValues({"ab  ", ""}));
    EXPECT_TRUE(s.IsMissing("ab  "));
    EXPECT_TRUE(s.IsMissing("    "));
    EXPECT_FALSE(s.IsMissing(" ab "));
    EXPECT_FALSE(s.IsMissing(static_cast<const char*>(nullptr)));
    s.GetMissingValues(count, values);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(std::string(values[0].s, 8), "ab      ");
}

TEST(HostValuesTest, ProcedureDataSourceAndServerDatasets) {
    EXPECT_EQ(ProcedureDataSource().ColumnCount(), 0);
    ProcedureDataSource sized(3);
    EXPECT_EQ(sized.ColumnCount(), 3);
    EXPECT_EQ(sized.GetVariable(2).GetName(), "V3");
    EXPECT_EQ(sized.FindVarIndex("v2", 0), 1);
    EXPECT_EQ(sized.FindVarIndex("V2", 2), -1);
    sized.SetColumnCount(1);
    EXPECT_EQ(sized.ColumnCount(), 1);
    EXPECT_TRUE(sized.SplitEndCheck());

    auto data = std::make_shared<HostDataset>();
    AddNumeric(*data, "x");
    EXPECT_EQ(AddNumeric(*data, "X"), -1);  // names are unique regardless of case
    data->AddCase();
    EXPECT_EQ(AddNumeric(*data, "late"), -1);  // the dictionary is fixed once cases exist
    ProcedureDataSource::SetActiveDataset(data);
    EXPECT_EQ(ProcedureDataSource().ColumnCount(), 1);

    const LocallyUniqueID id = SvrDMDataset::Register(data);
    EXPECT_FALSE(id.IsNone());
    EXPECT_NE(SvrDMDataset::Register(data), id);
    SvrDMInputDataSource open(id, false);
    ASSERT_NE(open.GetDataset(), nullptr);
    EXPECT_EQ(&open.GetDataSource(), data.get());
    EXPECT_NE(open.GetDataset()->GetErrorMonitor(), nullptr);
    EXPECT_TRUE(SvrDMDataset::Remove(id));
    EXPECT_FALSE(SvrDMDataset::Remove(id));
    // An open dataset stays readable after it leaves the registry.
    EXPECT_EQ(open.GetDataSource().ColumnCount(), 1);
    EXPECT_EQ(SvrDMInputDataSource(id, false).GetDataset(), nullptr);
}

}  // namespace
