// The host's dataset reaches the executing engine through the library's iterator and runner, as
// the descriptives procedure sends it: host dates arrive as the engine's day counts, and the
// summary's data model reads back into host metadata.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include <nlohmann/json.hpp>

#include "EngineTestUtil.h"
#include "common/TestSupport.h"
#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/data/QEStatContainer.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/text/HostDates.h"
#include "qeinteg/runner/QEProgressListener.h"
#include "qeinteg/runner/QERunner.h"

namespace {

using Levels = std::vector<TAVO_Variable_Enumerations::MeasurementLevel>;

class PathContainer final : public QEStatContainer {
  public:
    PathContainer(std::string name, std::string path)
        : name_(std::move(name)), path_(std::move(path)) {}
    std::string getName() override { return name_; }
    std::string getAbsolutePath() override { return path_; }

  private:
    std::string name_;
    std::string path_;
};

// seattle-weather.csv as a host dataset: a date variable, a number and a string.
std::shared_ptr<HostDataset> SeattleDataset() {
    auto data = std::make_shared<HostDataset>();
    TAVO_Variable date("date", 0);
    date.SetFormat(TAVO_Format{20, 11, 0});
    data->AddVariable(std::move(date));
    TAVO_Variable precipitation("precipitation", 0);
    precipitation.SetFormat(TAVO_Format{5, 8, 1});
    precipitation.SetMeasurementLevel(TAVO_Variable_Enumerations::Scale);
    data->AddVariable(std::move(precipitation));
    data->AddVariable(TAVO_Variable("weather", 8));
    const auto rows = enginetest::ReadPlainCsv(enginetest::SharedData("seattle-weather.csv"));
    for (size_t i = 1; i < rows.size(); ++i) {
        const std::string& d = rows[i][0];
        const long row = data->AddCase();
        data->SetNumeric(
            row, 0,
            qehost::HostDateNumber(std::stoi(d.substr(0, 4)), std::stoi(d.substr(5, 2)),
                                   std::stoi(d.substr(8, 2))));
        data->SetNumeric(row, 1, std::stod(rows[i][1]));
        data->SetString(row, 2, rows[i][5]);
    }
    return data;
}

}  // namespace

TEST(LibraryPath, HostDatasetThroughRunnerAndIteratorToDescriptives) {
    qelocal::LocalEngine::instance().reset();
    auto data = SeattleDataset();
    QERawDataIterator iterator(*data, std::vector<int>{}, Levels{}, false,
                               QERawDataIterator::Ignore, false);
    iterator.SetName("active");
    const std::string dir = qetest::TestDir();
    PathContainer json("JSON", dir + "/json.zip");
    PathContainer stat("StatXML", dir + "/stat.zip");
    {
        PnProcedure procedure("Descriptives");
        QERunner runner(&procedure);
        const std::string job =
            "val deConf = {\"computeSummaryStats\":true,\"inputFieldList\":[\"precipitation\","
            "\"weather\",\"date\"],\"stdDateTimeFieldList\":[\"date\"],\"maxNOfDistinctValues\":10}"
            "\n"
            "val outCon = [{\"export\":true,\"name\":\"JSON\",\"uri\":\"file:///" +
            json.getAbsolutePath() +
            "\"},{\"export\":true,\"name\":\"StatXML\",\"uri\":\"file:///" +
            stat.getAbsolutePath() +
            "\"}]\n"
            "read({\"dataSource\":\"active\",\"readErrorThreshold\":-1}) -> "
            "descriptives:descriptives( deConf, _,outCon)\n";
        ASSERT_TRUE(runner.prepareQELJob(job));
        ASSERT_TRUE(runner.addInputIterator(&iterator));
        ASSERT_TRUE(runner.addOutputContainer(&json));
        ASSERT_TRUE(runner.addOutputContainer(&stat));
        ASSERT_TRUE(runner.execute());
        EXPECT_EQ(runner.getProgressListener()->getState(), QEProgressListener::Succeeded);
        runner.cleanExecution();
    }
    const auto intervals = nlohmann::json::parse(
        enginetest::ReadZipEntry(json.getAbsolutePath(), "TIME_INTERVAL.json").value());
    const auto& date = intervals["timeIntervals"][0];
    EXPECT_EQ(date["storage"], "date");
    EXPECT_EQ(date["unit"], "days");
    EXPECT_EQ(date["points"], 1461);
    EXPECT_EQ(date["firstTimePoint"], "2012-01-01");
    EXPECT_EQ(date["lastTimePoint"], "2015-12-31");
    EXPECT_EQ(date["regular"], true);

    const std::string xml = enginetest::ReadZipEntry(stat.getAbsolutePath(), "StatXML.xml").value();
    const size_t start = xml.find("<DataModel>");
    const size_t end = xml.find("<DatasetSummaries>");
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    CFMetaData metadata(xml.substr(start, end - start));
    ASSERT_EQ(metadata.FieldCount(), 3) << metadata.GetError();
    EXPECT_EQ(metadata.GetField(0).GetName(), "precipitation");
    EXPECT_EQ(metadata.GetField(0).GetStorage(), CFField::Real);
    EXPECT_EQ(metadata.GetField(0).GetMeasure(), CFField::Continuous);
    EXPECT_EQ(metadata.GetField(1).GetStorage(), CFField::String);
    EXPECT_EQ(metadata.GetField(1).GetMeasure(), CFField::Nominal);
    EXPECT_EQ(metadata.GetField(2).GetStorage(), CFField::Date);
    // Five kinds of weather fit the limit of ten; the dates do not.
    EXPECT_NE(xml.find("value=\"drizzle\""), std::string::npos);
    EXPECT_NE(xml.find("name=\"date\" storage=\"date\" measure=\"continuous\" count=\"1461\""),
              std::string::npos);
    EXPECT_NE(xml.find("minimumText=\"2012-01-01\""), std::string::npos);
}
