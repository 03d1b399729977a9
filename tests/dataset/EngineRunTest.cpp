// A job on the local engine reads the active dataset through the iterator, as a procedure's run
// does: every delivered row reaches the engine, and a cancel from the stop processor ends the
// engine's pass with status 3 and the run as cancelled.
#include <gtest/gtest.h>

#include <memory>

#include "DatasetFixture.h"
#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/platform/engine/service/JobScript.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/data/ProcedureDataSource.h"
#include "qeinteg/runner/QEProgressListener.h"
#include "qeinteg/runner/QERunner.h"
#include "qeinteg/runner/QEStopProcessor.h"

namespace {

using Levels = std::vector<TAVO_Variable_Enumerations::MeasurementLevel>;
using Strings = std::vector<std::string>;
using qelocal::JobScript;
using qelocal::LocalEngine;

class EngineRunTest : public HostCodePageTest {
  protected:
    void SetUp() override {
        HostCodePageTest::SetUp();
        LocalEngine::instance().reset();
        auto data = std::make_shared<HostDataset>();
        AddNumeric(*data, H("wert€"));
        AddString(*data, H("stadt"), 12);
        const int w = AddNumeric(*data, "w");
        data->SetWeightVariable(w);
        for (int i = 0; i < 20; ++i) {
            const long row = data->AddCase();
            data->SetNumeric(row, 0, i * 1.5);
            data->SetString(row, 1, H(i % 2 ? "Düsseldorf" : "Zürich"));
            data->SetNumeric(row, w, i % 5 == 0 ? 0 : 1);
        }
        ProcedureDataSource::SetActiveDataset(data);
    }
    void TearDown() override { LocalEngine::instance().reset(); }
};

// Cancels from the n-th poll on.
class CancelAfter : public QEStopProcessor {
  public:
    explicit CancelAfter(int polls) : QEStopProcessor(0), polls_(polls) {}
    bool CheckCancel() const override { return ++calls_ >= polls_; }

  private:
    int polls_;
    mutable int calls_ = 0;
};

TEST_P(EngineRunTest, TheEngineReadsEveryDeliveredRowOfTheActiveDataset) {
    ProcedureDataSource ds;
    QERunner runner(nullptr);
    ASSERT_TRUE(runner.prepareActiveDS(ds, true, true));
    EXPECT_FALSE(ds.SplitEndCheck());
    QERawDataIterator it(ds, std::vector<int>{}, Levels{}, true, QERawDataIterator::Round, false);
    it.SetName("active");
    std::string firstCity;
    LocalEngine::instance().setNextJobScript(JobScript().pullRows(4).call([&] {
        // Inside the run, as the engine's next pass would.
        ASSERT_EQ(it.Rewind(), 0u);
        ASSERT_EQ(it.nextRecord(), 0u);
        const void* data = nullptr;
        size_t length = 0;
        ASSERT_EQ(it.getRecordValue(1, &data, &length), 0u);
        firstCity.assign(static_cast<const char*>(data), length);
    }));
    ASSERT_TRUE(runner.prepareQELJob("read(active) -> descriptives(_)"));
    ASSERT_TRUE(runner.addInputIterator(&it));
    ASSERT_TRUE(runner.execute());
    EXPECT_EQ(runner.getProgressListener()->getState(), QEProgressListener::Succeeded);
    const auto pulls = LocalEngine::instance().calls("rowsPulled");
    ASSERT_EQ(pulls.size(), 1u);
    EXPECT_EQ(pulls[0].args, (Strings{"active", "16"}));
    EXPECT_EQ(firstCity, "Düsseldorf");
    EXPECT_EQ(it.GetNCases(), 20);
    EXPECT_EQ(it.GetNValidCases(), 16);
    EXPECT_EQ(it.GetNInvalidCases(), 4);
}

TEST_P(EngineRunTest, ACancelFromTheStopProcessorEndsTheEnginesPass) {
    ProcedureDataSource ds;
    QERunner runner(nullptr);
    QERawDataIterator it(ds, std::vector<int>{}, Levels{}, false, QERawDataIterator::Round, false);
    it.SetName("active");
    CancelAfter stop(5);
    it.SetStopProcessor(&stop);
    LocalEngine::instance().setNextJobScript(JobScript().pullRows(3));
    ASSERT_TRUE(runner.prepareQELJob("read(active) -> descriptives(_)"));
    ASSERT_TRUE(runner.addInputIterator(&it));
    EXPECT_TRUE(runner.execute());
    EXPECT_EQ(runner.getProgressListener()->getState(), QEProgressListener::Cancelled);
    const auto pulls = LocalEngine::instance().calls("rowsPulled");
    ASSERT_EQ(pulls.size(), 1u);
    EXPECT_EQ(pulls[0].args, (Strings{"active", "4"}));
    EXPECT_TRUE(it.GetCancelStatus());
    EXPECT_EQ(it.nextRecord(), 3u);
    EXPECT_EQ(it.Rewind(), 3u);
}

QE_ALL_CODE_PAGES(EngineRunTest);

}  // namespace
