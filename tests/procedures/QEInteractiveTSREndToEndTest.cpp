// The public operations of QEInteractiveTSR against the local engine, on a model built from the
// public yearly electricity data (three sources, 2001 to 2017).
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include <nlohmann/json.hpp>

#include "TsrTestAccess.h"
#include "common/TestSupport.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/data/SvrDMDataset.h"
#include "qeinteg/runner/QEProgressListener.h"
#include "qeinteg/runner/QERunner.h"

namespace {

using Numbers = std::vector<double>;
using Json = nlohmann::json;

class TsrEndToEndTest : public testing::Test {
  protected:
    // The host's registry and temporary root are fresh for every test: the model is built anew.
    void SetUp() override {
        qelocal::LocalEngine::instance().reset();
        data_ = tsrtest::IowaDataset();
        dataset_ = SvrDMDataset::Register(data_);
        model_ = qetest::TestDir() + "/iowa-model.zip";
        QERawDataIterator it(*data_, std::vector<int>{},
                             std::vector<TAVO_Variable_Enumerations::MeasurementLevel>{}, false,
                             QERawDataIterator::Ignore, false);
        it.SetName("iowa");
        const std::string job =
            "val readerConf = {\"dataSource\":\"iowa\",\"readErrorThreshold\":-1}\n"
            "val buildConf = {\"dimFieldList\":[\"source\"],\"metricFieldList\":"
            "[\"net_generation\"],\"dateTimeField\":\"year\",\"cyclicFieldList\":[],"
            "\"timeInterval\":{\"unit\":\"years\",\"step\":1},\"lags\":2}\n"
            "val outCons = [{\"export\":true,\"name\":\"TCM\",\"uri\":\"" +
            FileUri(model_) + "\"}]\nread(readerConf)->tcm:build(buildConf,_,outCons)";
        QERunner runner(nullptr);
        built_ = runner.prepareQELJob(job) && runner.addInputIterator(&it) && runner.execute();
        std::string id, detail;
        if (!built_)
            runner.getProgressListener()->hasError(id, buildError_, detail);
        runner.cleanExecution();
        ASSERT_TRUE(built_) << "the model could not be built: " << buildError_;
    }
    void TearDown() override { SvrDMDataset::Remove(dataset_); }

    // The yearly total of a source, by year (host date number).
    std::map<double, double> Totals(const std::string& source) {
        std::map<double, double> totals;
        for (long row = 0; row < data_->CaseCount(); ++row) {
            std::string s(data_->GetString(row, 1));
            while (!s.empty() && s.back() == ' ')
                s.pop_back();
            if (s == source)
                totals[data_->GetNumeric(row, 0)] += data_->GetNumeric(row, 2);
        }
        return totals;
    }

    QEInteractiveTSRTestAccess access;
    std::shared_ptr<HostDataset> data_;
    LocallyUniqueID dataset_;
    std::string model_;
    bool built_ = false;
    std::string buildError_;
};

}  // namespace

TEST_F(TsrEndToEndTest, ScenarioBySourceGivesTwelveForecastsAfterTheObservedYears) {
    Numbers observed, predicted;
    ASSERT_TRUE(access.tsr.GetScenarioInfo(dataset_, model_, "year", "1", "12", {}, {}, {},
                                           "net_generation", {"source"}, {"Renewables"}, observed,
                                           predicted))
        << access.Error();
    EXPECT_TRUE(observed.empty());
    ASSERT_EQ(predicted.size(), 12u);
    for (double v : predicted)
        EXPECT_TRUE(std::isfinite(v) && v != SYSMIS) << v;

    // Two observed years before the forecasts: the last two yearly totals of the data.
    observed.clear();
    predicted.clear();
    ASSERT_TRUE(access.tsr.GetScenarioInfo(dataset_, model_, "year", "-1", "3", {}, {}, {},
                                           "net_generation", {"source"}, {"Nuclear Energy"},
                                           observed, predicted))
        << access.Error();
    const auto totals = Totals("Nuclear Energy");
    ASSERT_EQ(observed.size(), 2u);
    EXPECT_DOUBLE_EQ(observed[0], std::prev(totals.end(), 2)->second);
    EXPECT_DOUBLE_EQ(observed[1], std::prev(totals.end())->second);
    EXPECT_EQ(predicted.size(), 3u);

    // A span the engine refuses is reported, not an empty scenario.
    observed.clear();
    predicted.clear();
    EXPECT_FALSE(access.tsr.GetScenarioInfo(dataset_, model_, "year", "1", "100000", {}, {}, {},
                                            "net_generation", {"source"}, {"Renewables"}, observed,
                                            predicted));
    EXPECT_FALSE(access.Error().empty());
    EXPECT_TRUE(predicted.empty());
}

TEST_F(TsrEndToEndTest, CapabilitiesAndImpactDiagramsOfTheModel) {
    std::string dataModel, input, output, properties, graph, tsdp;
    ASSERT_TRUE(
        access.tsr.getModelCapabilities(model_, dataModel, input, output, properties, graph, tsdp))
        << access.Error();
    EXPECT_EQ(dataModel.rfind("<DataModel>", 0), 0u);
    EXPECT_EQ(dataModel.substr(dataModel.size() - 12), "</DataModel>");
    EXPECT_NE(dataModel.find("Renewables"), std::string::npos);
    EXPECT_FALSE(input.empty());
    EXPECT_FALSE(output.empty());
    EXPECT_FALSE(properties.empty());
    EXPECT_EQ(Json::parse(graph)["series"].size(), 3u);
    EXPECT_EQ(Json::parse(tsdp)["output"]["timePoints"], 17);

    // The model alone, and the dataset prepared first: the same two artifacts.
    for (const LocallyUniqueID id : {LocallyUniqueID::None(), dataset_}) {
        std::string stat;
        ASSERT_TRUE(access.tsr.getImpactDiagram(id, model_, "2-0", {"source"}, {}, false, 1, stat))
            << access.Error();
        const Json document = Json::parse(stat, nullptr, false);
        ASSERT_TRUE(document.is_object()) << stat;
        EXPECT_TRUE(document["interpretation"].contains("ImpactDiagramCauses")) << stat;
        EXPECT_TRUE(document["interpretation"].contains("ImpactDiagramEffects")) << stat;
    }
    std::string stat = "kept";
    EXPECT_FALSE(access.tsr.getImpactDiagram(LocallyUniqueID::None(), model_, "no such series", {},
                                             {}, false, 1, stat));
    EXPECT_NE(access.Error().find("no such series"), std::string::npos) << access.Error();
}
