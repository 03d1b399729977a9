// The fields a host data source becomes: names and labels in UTF-8, measures, storages, roles,
// value labels, missing values, and the analysis model.
#include <gtest/gtest.h>

#include <memory>

#include "DatasetFixture.h"
#include "qeinteg/data/QEDataModel.h"
#include "qeinteg/platform/host/process/ParserMessage.h"
#include "qeinteg/platform/host/text/HostDates.h"

namespace {

using Levels = std::vector<TAVO_Variable_Enumerations::MeasurementLevel>;
namespace E = TAVO_Variable_Enumerations;

class DataModelTest : public HostCodePageTest {};

TEST_P(DataModelTest, FullModelWithCaseCountAndAnalysisModels) {
    HostDataset data;
    AddNumeric(data, H("ñ1"));
    AddNumeric(data, "n2");
    AddNumeric(data, "n3");
    data.Variable(0).SetLabel(H("Größe"));
    QEDataModel model(data, true, false, false);
    const CFMetaData& full = model.getMetaData();
    ASSERT_EQ(full.FieldCount(), 4);
    EXPECT_EQ(full.GetField(0).GetName(), "ñ1");
    EXPECT_EQ(full.GetField(0).GetLabel(), "Größe");
    EXPECT_EQ(full.GetField(0).GetPrivateFormat(), "F8.2");
    EXPECT_FALSE(full.GetField(1).HasLabel());
    const CFField& count = full.GetField(3);
    EXPECT_EQ(count.GetName(), "$casecount");
    EXPECT_EQ(count.GetRole(), CFField::RecordId);
    EXPECT_EQ(count.GetMeasure(), CFField::Continuous);
    EXPECT_EQ(count.GetStorage(), CFField::Real);
    EXPECT_EQ(count.GetLabel(), "Case Count");
    // The label is the host's translation, in UTF-8.
    qehost::SetTranslation("Case Count", H("Fallzählung"));
    EXPECT_EQ(QEDataModel(data, true, false, false).getMetaData().GetField(3).GetLabel(),
              "Fallzählung");
    EXPECT_TRUE(model.getAnalysVars().empty());
    const std::string fullXml = model.getDataModel();
    EXPECT_EQ(CFMetaData(fullXml), full);

    model.UpdateAnalysMetadata(std::vector<int>{2, 0, -1, 3});
    EXPECT_EQ(model.getAnalysVars(), (std::vector<int>{2, 0, -1}));
    ASSERT_EQ(model.getMetaData().FieldCount(), 3);
    EXPECT_EQ(model.getMetaData().GetField(0).GetName(), "n3");
    EXPECT_EQ(model.getMetaData().GetField(1).GetName(), "ñ1");
    EXPECT_EQ(CFMetaData(model.getDataModel()), model.getMetaData());

    // Only unknown names: no analysis model, the getters fall back to the full model.
    model.UpdateAnalysMetadata(std::vector<std::string>{"zz", ""}, true);
    EXPECT_TRUE(model.getAnalysVars().empty());
    EXPECT_EQ(model.getDataModel(), fullXml);
    EXPECT_EQ(model.getMetaData().FieldCount(), 4);

    // Names in UTF-8 or in the host code page find the same variable.
    model.UpdateAnalysMetadata(std::vector<std::string>{"ñ1"}, true);
    EXPECT_EQ(model.getAnalysVars(), (std::vector<int>{0, -1}));
    model.UpdateAnalysMetadata(std::vector<std::string>{H("N2"), H("ñ1")}, false);
    EXPECT_EQ(model.getAnalysVars(), (std::vector<int>{1, 0, -1}));

    // Copies are independent of the model they came from.
    auto original = std::make_unique<QEDataModel>(model);
    QEDataModel copy(*original);
    original->UpdateAnalysMetadata(std::vector<int>{2});
    original.reset();
    EXPECT_EQ(copy.getAnalysVars(), (std::vector<int>{1, 0, -1}));
    EXPECT_EQ(copy.getDataSource(), &data);
}

TEST_P(DataModelTest, MeasuresStoragesAndRoles) {
    HostDataset data;
    const struct {
        const char* name;
        int width;
        int format;
        int level;
        int role;
    } vars[] = {
        {"s_unknown", 3, TAVO_Format::A, E::Unknown, 0},
        {"n_unknown", 0, TAVO_Format::F, E::Unknown, 1},
        {"s_scale", 3, TAVO_Format::AHEX, E::Scale, 2},
        {"n_nominal", 0, TAVO_Format::DATE, E::Nominal, 3},
        {"n_ordinal", 0, TAVO_Format::TIME, E::Ordinal, 4},
        {"odd", 0, TAVO_Format::DATETIME, 7, 5},
        {"adate", 0, TAVO_Format::ADATE, E::Scale, 0},
        {"mtime", 0, TAVO_Format::MTIME, E::Scale, 0},
        {"ymdhms", 0, TAVO_Format::YMDHMS, E::Scale, 0},
        {"dollar", 0, TAVO_Format::DOLLAR, E::Scale, 0},
    };
    for (const auto& v : vars) {
        TAVO_Variable variable(v.name, v.width);
        variable.SetFormat(TAVO_Format{v.format, v.width > 0 ? v.width : 11, 0});
        variable.SetMeasurementLevel(static_cast<E::MeasurementLevel>(v.level));
        variable.SetRole(v.role);
        ASSERT_GE(data.AddVariable(std::move(variable)), 0);
    }
    QEDataModel model(data, false, true, false);
    const CFMetaData& md = model.getMetaData();
    const CFField::FieldType measures[] = {CFField::Nominal, CFField::Continuous,
                                           CFField::Nominal, CFField::Nominal,
                                           CFField::Ordinal, CFField::Typeless};
    const CFField::StorageType storages[] = {
        CFField::String,    CFField::Real, CFField::String, CFField::Date,      CFField::Time,
        CFField::Timestamp, CFField::Date, CFField::Time,   CFField::Timestamp, CFField::Real};
    const CFField::RoleType roles[] = {CFField::Input, CFField::Target,    CFField::Both,
                                       CFField::None,  CFField::Partition, CFField::Input};
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(vars[i].name);
        if (i < 6) {
            EXPECT_EQ(md.GetField(i).GetMeasure(), measures[i]);
            EXPECT_EQ(md.GetField(i).GetRole(), roles[i]);
        }
        EXPECT_EQ(md.GetField(i).GetStorage(), storages[i]);
    }

    // Given levels replace the variable's own; a negative level keeps it.
    model.UpdateAnalysMetadata(std::vector<int>{1, 0, 4},
                               Levels{E::Ordinal, static_cast<E::MeasurementLevel>(-1), E::Scale});
    ASSERT_EQ(model.getMetaData().FieldCount(), 3);
    EXPECT_EQ(model.getMetaData().GetField(0).GetMeasure(), CFField::Ordinal);
    EXPECT_EQ(model.getMetaData().GetField(1).GetMeasure(), CFField::Nominal);
    EXPECT_EQ(model.getMetaData().GetField(2).GetMeasure(), CFField::Continuous);
    model.UpdateAnalysMetadata(std::vector<std::string>{"n_nominal"}, Levels{E::Scale}, false);
    EXPECT_EQ(model.getMetaData().GetField(0).GetMeasure(), CFField::Continuous);
    EXPECT_DEATH(model.UpdateAnalysMetadata(std::vector<int>{1, 2}, Levels{E::Scale}),
                 "indexes.size\\(\\) == levels.size\\(\\)");
}

TEST_P(DataModelTest, WeightAndSplitRoles) {
    HostDataset data;
    const int w = AddNumeric(data, "w");
    const int t = AddNumeric(data, "t");
    const int s = AddString(data, H("grüppe"), 4);
    data.Variable(w).SetRole(E::RoleTarget);
    data.Variable(t).SetRole(E::RoleTarget);
    data.Variable(s).SetRole(E::RolePartition);
    data.SetWeightVariable(w);
    data.SetSplitVariables({s});

    const QEDataModel marked(data, false, true, true);
    EXPECT_EQ(marked.getMetaData().GetField(w).GetRole(), CFField::FreqWeight);
    EXPECT_EQ(marked.getMetaData().GetField(t).GetRole(), CFField::Input);
    EXPECT_EQ(marked.getMetaData().GetField(s).GetRole(), CFField::Split);

    const QEDataModel plain(data, false, false, false);
    EXPECT_EQ(plain.getMetaData().GetField(w).GetRole(), CFField::Target);
    EXPECT_EQ(plain.getMetaData().GetField(t).GetRole(), CFField::Target);
    EXPECT_EQ(plain.getMetaData().GetField(s).GetRole(), CFField::Partition);
}

TEST_P(DataModelTest, ValueLabelsAndMissingValues) {
    HostDataset data;
    const int r = AddNumeric(data, "r");
    const int d = AddNumeric(data, "d", TAVO_Format::DATE);
    const int s = AddString(data, "s", 6);
    const int n = AddNumeric(data, "n");
    TAVO_Variable& rv = data.Variable(r);
    rv.SetMissingRange(1, 5, 9);
    rv.AddValueLabel(9, H("kein Wert ü"));
    rv.AddValueLabel(10, H("zehn"));
    TAVO_Variable& dv = data.Variable(d);
    const double day = qehost::HostDateNumber(1970, 1, 11);
    dv.AddValueLabel(day, "tenth");
    dv.SetMissingValues({day});
    TAVO_Variable& sv = data.Variable(s);
    sv.AddValueLabel(H("né"), H("Nè"));
    sv.AddValueLabel("x", "");
    sv.SetStringMissingValues({H("né"), "zz"});
    data.Variable(n).SetMissingValues({});

    const QEDataModel model(data, false, false, false);
    const CFMetaData& md = model.getMetaData();

    const CFField& rf = md.GetField(r);
    ASSERT_EQ(rf.GetValueLabels().size(), 2u);
    EXPECT_EQ(rf.GetValueLabels()[0], CFValue(CFDatum::MakeReal(9), "kein Wert ü", 0, 0));
    ASSERT_NE(rf.GetMissingValues(), nullptr);
    const CFMissingValues& rm = *rf.GetMissingValues();
    EXPECT_TRUE(rm.IsValid());
    EXPECT_EQ(rm.GetRange(), CFRange(CFDatum::MakeReal(1), CFDatum::MakeReal(5)));
    ASSERT_EQ(rm.GetValues().size(), 1u);
    EXPECT_EQ(rm.GetValues()[0], CFValue(CFDatum::MakeReal(9), "kein Wert ü", 0, 0));

    // Date values are days from the base date, as the rows deliver them.
    const CFField& df = md.GetField(d);
    EXPECT_EQ(df.GetValueLabels()[0].GetDatum(), CFDatum::MakeReal(10));
    ASSERT_NE(df.GetMissingValues(), nullptr);
    EXPECT_TRUE(df.GetMissingValues()->GetRange().IsEmpty());
    EXPECT_EQ(df.GetMissingValues()->GetValues()[0], CFValue(CFDatum::MakeReal(10), "tenth", 0, 0));

    const CFField& sf = md.GetField(s);
    ASSERT_EQ(sf.GetValueLabels().size(), 2u);
    EXPECT_EQ(sf.GetValueLabels()[0], CFValue(CFDatum::MakeText("né"), "Nè", 0, 0));
    EXPECT_EQ(sf.GetValueLabels()[1], CFValue(CFDatum::MakeText("x"), "", 0, 0));
    ASSERT_NE(sf.GetMissingValues(), nullptr);
    ASSERT_EQ(sf.GetMissingValues()->GetValues().size(), 2u);
    EXPECT_EQ(sf.GetMissingValues()->GetValues()[0], CFValue(CFDatum::MakeText("né"), "Nè", 0, 0));
    EXPECT_EQ(sf.GetMissingValues()->GetValues()[1], CFValue(CFDatum::MakeText("zz"), "", 0, 0));

    EXPECT_EQ(md.GetField(n).GetMissingValues(), nullptr);
    EXPECT_TRUE(md.GetField(n).GetValueLabels().empty());
    // All of it survives the XML the engine reads.
    EXPECT_EQ(CFMetaData(model.getDataModel()), md);
}

QE_ALL_CODE_PAGES(DataModelTest);

}  // namespace
