// The diagnostic conversion of a dataset iterator, with QE_STAT_ITER_OPT=2 (CSV) set before its
// first use in this process.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/TestSupport.h"
#include "qeinteg/data/IteratorConversion.h"
#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/output/QEDebug.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/output/OutputItem.h"
#include "qeinteg/platform/host/output/PnHeading.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/runner/QERunner.h"

namespace {

using Levels = std::vector<TAVO_Variable_Enumerations::MeasurementLevel>;

TEST(IteratorConversion, WritesCsvWithUniqueNamesAndReadsTheOptionOnce) {
    qetest::ScopedEnv option("QE_STAT_ITER_OPT", "2");
    qelocal::LocalEngine::instance().reset();
    HostDataset data;
    data.AddVariable(TAVO_Variable("x", 0));
    data.AddVariable(TAVO_Variable("city", 8));
    for (int i = 0; i < 3; ++i) {
        const long row = data.AddCase();
        data.SetNumeric(row, 0, i + 0.5);
        data.SetString(row, 1, i == 1 ? "Zürich" : "Oslo");
    }
    QERawDataIterator iterator{data,  std::vector<int>{},        Levels{},
                               false, QERawDataIterator::Ignore, false};
    iterator.SetName("ds1");
    PnProcedure procedure("Conversion");
    QERunner runner(&procedure);
    const std::string dir = qetest::TestDir() + "/conversion/";
    std::filesystem::create_directories(dir);

    qehost::OutputItem root(qehost::OutputItem::Kind::Root);
    PnHeading heading(&root);
    std::string dataPath, modelPath;
    {
        QEDebug debug(&heading);
        ASSERT_EQ(IteratorConversion(&iterator, &runner, &debug, dir, dataPath, modelPath), 2);
    }
    EXPECT_EQ(dataPath, dir + "qe_stats_ds1.csv");
    EXPECT_EQ(modelPath, dir + "qe_stats_ds1.xml");
    EXPECT_EQ(qetest::ReadFile(dataPath), "x,city\n0.5,Oslo\n1.5,Zürich\n2.5,Oslo\n");
    EXPECT_NE(qetest::ReadFile(modelPath).find("name=\"city\""), std::string::npos);

    // Existing files give the next names; a later change of the variable has no effect.
    qetest::ScopedEnv off("QE_STAT_ITER_OPT", "0");
    ASSERT_EQ(IteratorConversion(&iterator, &runner, nullptr, dir, dataPath, modelPath), 2);
    EXPECT_EQ(dataPath, dir + "qe_stats_ds1_1.csv");
    EXPECT_EQ(modelPath, dir + "qe_stats_ds1_1.xml");
    ASSERT_EQ(IteratorConversion(&iterator, &runner, nullptr, dir, dataPath, modelPath), 2);
    EXPECT_EQ(dataPath, dir + "qe_stats_ds1_2.csv");
    EXPECT_EQ(IteratorConversionOption(), 2);

    // A null iterator or runner.
    std::string untouched = "same";
    EXPECT_EQ(IteratorConversion(nullptr, &runner, nullptr, dir, untouched, untouched), -1);
    EXPECT_EQ(IteratorConversion(&iterator, nullptr, nullptr, dir + "x.csv", dir + "x.xml"), -1);
    EXPECT_EQ(untouched, "same");
    // A failed job gives 0 and leaves the outputs alone.
    EXPECT_EQ(
        IteratorConversion(&iterator, &runner, nullptr, "/nonexistent/dir/", untouched, untouched),
        0);
    EXPECT_EQ(untouched, "same");
}

}  // namespace
