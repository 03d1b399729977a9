#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <minizip/zip.h>
#include <nlohmann/json.hpp>

#include "common/TestSupport.h"
#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/platform/engine/service/JobScript.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/text/HostDates.h"
#include "qeinteg/procedures/QEDescriptive.h"
#include "qeinteg/runner/QERunner.h"

namespace {

using Levels = std::vector<TAVO_Variable_Enumerations::MeasurementLevel>;
using Strings = std::vector<std::string>;

// The seattle weather data as a host dataset: a date variable, a number and a string.
std::shared_ptr<HostDataset> SeattleDataset() {
    auto data = std::make_shared<HostDataset>();
    TAVO_Variable date("date", 0);
    date.SetFormat(TAVO_Format{20, 11, 0});  // a date format
    data->AddVariable(std::move(date));
    TAVO_Variable precipitation("precipitation", 0);
    precipitation.SetFormat(TAVO_Format{5, 8, 1});
    precipitation.SetMeasurementLevel(TAVO_Variable_Enumerations::Scale);
    data->AddVariable(std::move(precipitation));
    data->AddVariable(TAVO_Variable("weather", 8));
    std::ifstream in(std::string(QEINTEG_SHARED_DATA_DIR) + "/seattle-weather.csv");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::stringstream cells(line);
        std::string d, p, tmax, tmin, wind, weather;
        std::getline(cells, d, ',');
        std::getline(cells, p, ',');
        std::getline(cells, tmax, ',');
        std::getline(cells, tmin, ',');
        std::getline(cells, wind, ',');
        std::getline(cells, weather, ',');
        const long row = data->AddCase();
        data->SetNumeric(
            row, 0,
            qehost::HostDateNumber(std::stoi(d.substr(0, 4)), std::stoi(d.substr(5, 2)),
                                   std::stoi(d.substr(8, 2))));
        data->SetNumeric(row, 1, std::stod(p));
        data->SetString(row, 2, weather);
    }
    return data;
}

class QEDescriptiveTest : public testing::Test {
  protected:
    void SetUp() override { qelocal::LocalEngine::instance().reset(); }
    void TearDown() override { qelocal::LocalEngine::instance().reset(); }

    std::shared_ptr<HostDataset> data = SeattleDataset();
    PnProcedure procedure{"Descriptives"};
    QERunner runner{&procedure};
    QERawDataIterator iterator{*data, std::vector<int>{},        Levels{},
                               false, QERawDataIterator::Ignore, false};
};

Strings Lines(const std::string& text) {
    Strings lines;
    std::stringstream s(text);
    std::string line;
    while (std::getline(s, line))
        lines.push_back(line);
    return lines;
}

}  // namespace

TEST_F(QEDescriptiveTest, BuildMetaDataRunsTheTemplateJobAndReadsTheDataModel) {
    iterator.SetName("active");
    QEDescriptive descriptive(runner, &iterator);
    CFMetaData metadata;
    const Strings fields{"weather", "precipitation"};
    ASSERT_TRUE(descriptive.BuildMetaData(&fields, metadata, 50));

    const Strings lines = Lines(descriptive.GetQELJob());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              "val deConf = {\"computeSummaryStats\":true,\"computeDistSummaryForString\":true,"
              "\"computeCustomPercentiles\":false,\"customPercentilesAccuracy\":\"none\","
              "\"computeAllPercentiles\":false,\"computeAllTargetInputPairs\":false,"
              "\"storageTypeHandling\":\"none\",\"fieldRoleHandling\":\"none\","
              "\"measureHandling\":\"none\",\"computeDistSummaryForNumeric\":\"none\","
              "\"computeBivStatsForBDP\":false,\"identifyExtremeOutliers\":false,"
              "\"dataInterestingness\":false,\"useFeatureSelection\":\"none\","
              "\"useEqualFreqBinning\":false,\"useMissingValueHandling\":false,"
              "\"useSupervisedMerging\":false,\"zeroInflationDetection\":false,"
              "\"zeroInflationHandling\":false,\"trimTrailingBlank\":false,"
              "\"computeDateDuration\":false,\"computeTimeDuration\":false,"
              "\"outlierHandlingMethod\":\"markOut\",\"outlierDetectionMethod\":\"none\","
              "\"inputFieldList\":[\"weather\",\"precipitation\"],\"maxNOfDistinctValues\":50}");
    EXPECT_EQ(
        lines[1].rfind("val outCon = [{\"export\":true,\"name\":\"PMML\",\"uri\":\"file:////", 0),
        0u);
    EXPECT_NE(lines[1].find("},{\"export\":true,\"name\":\"StatXML\",\"uri\":\"file:////"),
              std::string::npos);
    EXPECT_EQ(lines[1].find('\\'), std::string::npos);
    EXPECT_EQ(lines[2],
              "read({\"dataSource\":\"active\",\"readErrorThreshold\":-1}) -> "
              "descriptives:descriptives( deConf, _,outCon)");

    ASSERT_EQ(metadata.FieldCount(), 2);
    EXPECT_EQ(metadata.GetField(0).GetName(), "weather");
    EXPECT_EQ(metadata.GetField(0).GetStorage(), CFField::String);
    EXPECT_EQ(metadata.GetField(0).GetMeasure(), CFField::Nominal);
    EXPECT_EQ(metadata.GetField(1).GetStorage(), CFField::Real);
    EXPECT_NE(descriptive.GetStatXML().find("<DatasetSummaries>"), std::string::npos);
    // The containers' temporary archives are gone with the run.
    const size_t uri = lines[1].find("file:///") + 8;
    const std::string pmmlPath = lines[1].substr(uri, lines[1].find('"', uri) - uri);
    EXPECT_NE(pmmlPath.find("qecontfile_"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(pmmlPath));
}

TEST_F(QEDescriptiveTest, UpdateDateModelGivesTheDailyIntervalAndTheCutDataModel) {
    iterator.SetName("active");
    QEDescriptive descriptive(runner, &iterator);
    std::string intervals = "stale";
    std::string model = "stale";
    const Strings fields{"precipitation"};
    const Strings dates{"date"};
    ASSERT_TRUE(descriptive.UpdateDateModel(&fields, &dates, true, intervals, model, 10000));
    const auto json = nlohmann::json::parse(intervals);
    EXPECT_EQ(json["timeIntervals"][0]["unit"], "days");
    EXPECT_EQ(json["timeIntervals"][0]["points"], 1461);
    EXPECT_EQ(json["timeIntervals"][0]["firstTimePoint"], "2012-01-01");
    EXPECT_EQ(model.rfind("<DataModel>", 0), 0u);
    EXPECT_EQ(model.find("<DatasetSummaries>"), std::string::npos);
    EXPECT_NE(model.find("</DataModel>"), std::string::npos);
    EXPECT_NE(descriptive.GetQELJob().find("\"stdDateTimeFieldList\":[\"date\"]"),
              std::string::npos);

    // Non-standard fields travel as one inner list; earlier keys stay.
    const Strings none;
    ASSERT_TRUE(descriptive.UpdateDateModel(&none, &dates, false, intervals, model, 100));
    EXPECT_EQ(model, "");
    EXPECT_NE(descriptive.GetQELJob().find("\"nonStdDateTimeFieldList\":[[\"date\"]]"),
              std::string::npos);
    EXPECT_NE(descriptive.GetQELJob().find("\"stdDateTimeFieldList\":[\"date\"]"),
              std::string::npos);
}

TEST_F(QEDescriptiveTest, EmptyListsFailedRunsAndTheReadTextVariant) {
    QEDescriptive descriptive(runner, &iterator);
    CFMetaData metadata;
    const Strings empty;
    EXPECT_FALSE(descriptive.BuildMetaData(&empty, metadata, 10));
    EXPECT_FALSE(descriptive.BuildMetaData(nullptr, metadata, 10));
    EXPECT_TRUE(qelocal::LocalEngine::instance().calls().empty());  // nothing ran
    std::string intervals = "x", model = "y";
    EXPECT_FALSE(descriptive.UpdateDateModel(&empty, &empty, true, intervals, model, 10));
    EXPECT_EQ(intervals, "");
    EXPECT_EQ(model, "");
    EXPECT_FALSE(descriptive.UpdateDateModel(nullptr, &empty, true, intervals, model, 10));

    // A field the data does not have fails the run; the outputs stay as they were.
    iterator.SetName("active");
    const Strings unknown{"nope"};
    intervals = "keep";
    model = "keep";
    EXPECT_FALSE(descriptive.UpdateDateModel(&unknown, &empty, true, intervals, model, 10));
    EXPECT_EQ(intervals, "keep");
    EXPECT_EQ(model, "keep");

    // Without an iterator the read text is used as given.
    const std::string csv = std::string(QEINTEG_SHARED_DATA_DIR) + "/iowa-electricity.csv";
    const std::string read =
        "read({\"filesystem\":{\"locations\":[{\"path\":\"file:///" + csv +
        "\",\"parser\":{\"name\":\"csv\",\"config\":{\"hasHeader\":true}}}]}})";
    QEDescriptive fromFile(runner, read);
    fromFile.SetDESetting("computeSummaryStats", std::string("yes"));  // a string now
    fromFile.SetDESetting("computeSummaryStats", true);
    const Strings source{"source"};
    ASSERT_TRUE(fromFile.BuildMetaData(&source, metadata, 10));
    const Strings lines = Lines(fromFile.GetQELJob());
    EXPECT_EQ(lines.back(), read + "-> descriptives:descriptives( deConf, _,outCon)");
    ASSERT_EQ(metadata.FieldCount(), 1);
    EXPECT_NE(fromFile.GetStatXML().find("value=\"Renewables\""), std::string::npos);

    // A copy has its own settings.
    QEDescriptive copy(fromFile);
    copy.SetDESetting("trimTrailingBlank", true);
    ASSERT_TRUE(fromFile.BuildMetaData(&source, metadata, 10));
    EXPECT_NE(fromFile.GetQELJob().find("\"trimTrailingBlank\":false"), std::string::npos);
}

TEST(QEDescriptiveCut, TheDataModelSectionIsCutOutAsText) {
    EXPECT_EQ(
        QEDescriptive::CutDataModel("<StatXML><DataModel><field/></DataModel><DatasetSummaries>"
                                    "<x/></DatasetSummaries></StatXML>"),
        "<DataModel><field/></DataModel>");
    EXPECT_EQ(QEDescriptive::CutDataModel("<x><DataModel><field/>"),
              "<DataModel><field/></DataModel>");
    EXPECT_EQ(QEDescriptive::CutDataModel("<StatXML/>"), "");
}

namespace {

// An archive with the given entries, as the engine leaves it in a container's file.
void WriteArchive(const std::string& path, const Strings& namesAndTexts) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (size_t i = 0; i + 1 < namesAndTexts.size(); i += 2) {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip(zip, namesAndTexts[i].c_str(), &info, nullptr, 0, nullptr, 0,
                                      nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION),
                  ZIP_OK);
        zipWriteInFileInZip(zip, namesAndTexts[i + 1].data(),
                            static_cast<unsigned>(namesAndTexts[i + 1].size()));
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
}

}  // namespace

TEST_F(QEDescriptiveTest, AMissingSummaryIsAFailureEvenWhenTheIntervalsWereRead) {
    iterator.SetName("active");
    QEDescriptive descriptive(runner, &iterator);
    // The engine writes the interval document but no summary entry.
    qelocal::LocalEngine::instance().setNextJobScript(qelocal::JobScript().call([] {
        for (const auto& call : qelocal::LocalEngine::instance().calls("addOutputContainer")) {
            if (call.args[0] == "JSON")
                WriteArchive(call.args[1], {"TIME_INTERVAL.json", "{}"});
            if (call.args[0] == "StatXML")
                WriteArchive(call.args[1], {"other.xml", "<x/>"});
        }
    }));
    std::string intervals;
    std::string model = "keep";
    const Strings fields{"precipitation"};
    const Strings dates{"date"};
    EXPECT_FALSE(descriptive.UpdateDateModel(&fields, &dates, true, intervals, model, 10));
    EXPECT_EQ(intervals, "{}");
    EXPECT_EQ(model, "keep");  // a missing entry leaves the text alone

    // An archive that cannot be read empties the text.
    qelocal::LocalEngine::instance().setNextJobScript(qelocal::JobScript().call([] {
        for (const auto& call : qelocal::LocalEngine::instance().calls("addOutputContainer")) {
            if (call.args[0] == "JSON")
                WriteArchive(call.args[1], {"TIME_INTERVAL.json", "{}"});
        }
    }));
    EXPECT_FALSE(descriptive.UpdateDateModel(&fields, &dates, true, intervals, model, 10));
    EXPECT_EQ(model, "");
}
