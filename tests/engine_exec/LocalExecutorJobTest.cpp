#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include <nlohmann/json.hpp>

#include "EngineTestUtil.h"
#include "common/TestSupport.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/engine/service/LocalExecutor.h"

using namespace qelocal;
using enginetest::MemoryIterator;
using enginetest::PathContainer;
using enginetest::RecordingListener;

namespace {

// The job text that the descriptives procedure writes.
std::string DescriptivesJob(const std::string& settings, const std::string& read,
                            const std::string& jsonPath, const std::string& statPath) {
    return "val deConf = " + settings + "\n" +
           "val outCon = [{\"export\":true,\"name\":\"JSON\",\"uri\":\"file:///" + jsonPath +
           "\"},{\"export\":true,\"name\":\"StatXML\",\"uri\":\"file:///" + statPath + "\"}]\n" +
           read + " -> descriptives:descriptives( deConf, _,outCon)\n";
}

int Count(const std::vector<std::string>& events, const std::string& e) {
    return static_cast<int>(std::count(events.begin(), events.end(), e));
}

// Exactly one of success, error and cancel, and it comes last.
void ExpectOneEnding(const RecordingListener& listener, const std::string& ending) {
    const std::vector<std::string> e = listener.endings();
    ASSERT_FALSE(e.empty());
    EXPECT_EQ(e.front(), "init");
    EXPECT_EQ(e.back(), ending);
    EXPECT_EQ(Count(e, "success") + Count(e, "error") + Count(e, "cancel"), 1);
}

class LocalExecutorJob : public testing::Test {
  protected:
    void SetUp() override { LocalEngine::instance().reset(); }
    std::string dir = qetest::TestDir();
};

}  // namespace

TEST_F(LocalExecutorJob, DescriptivesJobPullsEveryRowOnceAndFillsBothArchives) {
    const auto rows = enginetest::ReadPlainCsv(enginetest::SharedData("seattle-weather.csv"));
    std::vector<std::vector<std::string>> data;
    for (size_t i = 1; i < rows.size(); ++i)
        data.push_back({rows[i][0], rows[i][1], rows[i][5]});
    MemoryIterator it(
        "ds",
        {{"date", Storage::String}, {"precipitation", Storage::Real}, {"weather", Storage::String}},
        data);
    PathContainer json("JSON", dir + "/json.zip");
    PathContainer stat("StatXML", dir + "/stat.zip");
    LocalExecutor executor("en_US");
    JNIEnv* env = qetest::MainEnv();
    executor.prepare(
        env, DescriptivesJob(
                 R"({"computeSummaryStats":true,"inputFieldList":["precipitation","weather"],)"
                 R"("nonStdDateTimeFieldList":[["date"]],"maxNOfDistinctValues":10000})",
                 R"(read({"dataSource":"ds","readErrorThreshold":-1}))", json.getAbsolutePath(),
                 stat.getAbsolutePath()));
    executor.addInputIterator(env, &it, 0);
    executor.addOutputContainer(env, &json);
    executor.addOutputContainer(env, &stat);
    RecordingListener listener;
    executor.execute(env, &listener);
    executor.release(env);

    ExpectOneEnding(listener, "success");
    EXPECT_EQ(it.pulled.load(), 1461);
    ASSERT_FALSE(listener.progress.empty());
    EXPECT_EQ(listener.progress.back(), 1.0f);
    const auto intervals = nlohmann::json::parse(
        enginetest::ReadZipEntry(json.getAbsolutePath(), "TIME_INTERVAL.json").value());
    EXPECT_EQ(intervals["timeIntervals"][0]["unit"], "days");
    EXPECT_EQ(intervals["timeIntervals"][0]["format"], "yyyy-MM-dd");
    EXPECT_EQ(intervals["timeIntervals"][0]["points"], 1461);
    const std::string xml = enginetest::ReadZipEntry(stat.getAbsolutePath(), "StatXML.xml").value();
    EXPECT_NE(xml.find("<DataModel>"), std::string::npos);
    EXPECT_NE(xml.find("name=\"weather\""), std::string::npos);
}

TEST_F(LocalExecutorJob, FilesJobWritesQebfAndSummarisesItInTheSameRun) {
    const std::string csv = enginetest::SharedData("iowa-electricity.csv");
    PathContainer json("JSON", dir + "/json.zip");
    PathContainer stat("StatXML", dir + "/stat.zip");
    const std::string job =
        "val readerConf = {\"filesystem\":{\"locations\":[{\"path\":\"file:///" + csv +
        "\",\"parser\":{\"name\":\"csv\",\"config\":{\"hasHeader\":true}}}]}}\n"
        "val writerConf = {\"dataDestination\":\"file:///" +
        dir + "/i.qebf\",\"dataModelDestination\":\"file:///" + dir +
        "/i.xml\",\"type\":\"qebf\"}\n" + "read(readerConf)->write(writerConf)\n" +
        DescriptivesJob(R"({"stdDateTimeFieldList":["year"],"maxNOfDistinctValues":100})",
                        "read({\"filesystem\":{\"dataModel\":\"file:///" + dir +
                            "/i.xml\",\"locations\":[{\"path\":\"file:///" + dir +
                            "/i.qebf\",\"parser\":{\"name\":\"qebf\",\"config\":{}}}]}})",
                        json.getAbsolutePath(), stat.getAbsolutePath());
    LocalExecutor executor("en_US");
    JNIEnv* env = qetest::MainEnv();
    executor.prepare(env, job);
    executor.addOutputContainer(env, &json);
    executor.addOutputContainer(env, &stat);
    RecordingListener listener;
    executor.execute(env, &listener);
    ExpectOneEnding(listener, "success");
    const auto intervals = nlohmann::json::parse(
        enginetest::ReadZipEntry(json.getAbsolutePath(), "TIME_INTERVAL.json").value());
    EXPECT_EQ(intervals["timeIntervals"][0]["unit"], "years");
    EXPECT_EQ(intervals["timeIntervals"][0]["duplicates"], 34);
}

TEST_F(LocalExecutorJob, BadJobsFailThroughOnError) {
    MemoryIterator it("ds", {{"x", Storage::Real}}, {{"1"}, {"2"}});
    JNIEnv* env = qetest::MainEnv();
    auto run = [&](const std::string& job, RecordingListener& listener) {
        LocalExecutor executor("en_US");
        executor.prepare(env, job);
        executor.addInputIterator(env, &it, 0);
        executor.execute(env, &listener);
        executor.release(env);
    };
    RecordingListener unknown;
    run("val c = {}\nread({\"dataSource\":\"ds\"}) -> frob:frob(c, _, c)\n", unknown);
    ExpectOneEnding(unknown, "error");
    EXPECT_NE(unknown.errorText.find("unknown function frob:frob"), std::string::npos);

    RecordingListener syntax;
    run("read({\"dataSource\":\"ds\"} -> \n", syntax);
    ExpectOneEnding(syntax, "error");
    EXPECT_NE(syntax.errorText.find("not valid QEL"), std::string::npos);

    RecordingListener badSettings;
    run("read({\"dataSource\":\"ds\"}) -> descriptives:descriptives({\"maxNOfDistinctValues\":-5}, "
        "_, [])\n",
        badSettings);
    ExpectOneEnding(badSettings, "error");
    EXPECT_EQ(it.pulled.load(), 0);

    RecordingListener empty;
    run("", empty);
    ExpectOneEnding(empty, "success");
}

TEST_F(LocalExecutorJob, CancelFromAnotherThreadStopsPromptly) {
    std::vector<std::vector<std::string>> rows(200000, {"1"});
    MemoryIterator slow("ds", {{"x", Storage::Real}}, rows);
    slow.delayMicros = 50;
    PathContainer json("JSON", dir + "/json.zip");
    PathContainer stat("StatXML", dir + "/stat.zip");
    LocalExecutor executor("en_US");
    JNIEnv* env = qetest::MainEnv();
    executor.prepare(env, DescriptivesJob("{}", R"(read({"dataSource":"ds"}))",
                                          json.getAbsolutePath(), stat.getAbsolutePath()));
    executor.addInputIterator(env, &slow, 0);
    executor.addOutputContainer(env, &json);
    executor.addOutputContainer(env, &stat);
    std::chrono::steady_clock::time_point cancelledAt;
    std::thread canceller([&] {
        while (slow.pulled.load() < 200)
            std::this_thread::yield();
        cancelledAt = std::chrono::steady_clock::now();
        executor.cancel(nullptr);
    });
    RecordingListener listener;
    executor.execute(env, &listener);
    const auto returnedAt = std::chrono::steady_clock::now();
    canceller.join();
    ExpectOneEnding(listener, "cancel");
    EXPECT_LT(slow.pulled.load(), 2000);
    EXPECT_LT(returnedAt - cancelledAt, std::chrono::milliseconds(500));
    EXPECT_FALSE(std::filesystem::exists(stat.getAbsolutePath()));
}
