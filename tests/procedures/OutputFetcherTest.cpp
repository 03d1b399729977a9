// The output fetcher on the local engine: real files in, a row iterator out, and no temporary
// file left behind whatever happens.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "common/TestSupport.h"
#include "qeinteg/data/QESimpleFile.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/runner/QEOutputIteratorFetcher.h"
#include "qeinteg/runner/QERunner.h"

namespace {

// Work files of the fetcher in the analytic default directory.
int WorkFiles() {
    int n = 0;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(QESimpleFile::GetAnalyticDefaultDir(), error)) {
        const std::string name = entry.path().filename().string();
        n += name.rfind("outitera", 0) == 0 || name.rfind("outmodel", 0) == 0 ? 1 : 0;
    }
    return n;
}

// The rows as texts; `text` says which fields are strings (numbers are shown with two decimals).
std::vector<std::string> Rows(EmbeddedQE::RowDataIterator* it, std::vector<bool> text) {
    const size_t fields = text.size();
    std::vector<std::string> rows;
    while (it->nextRecord() == 0) {
        std::string row;
        for (size_t i = 0; i < fields; ++i) {
            const void* data = nullptr;
            size_t length = 0;
            EXPECT_EQ(it->getRecordValue(i, &data, &length), 0u);
            if (i > 0)
                row += "|";
            if (data == nullptr)
                row += "(missing)";
            else if (!text[i])
                row += std::to_string(*static_cast<const double*>(data)).substr(0, 4);
            else
                row += std::string(static_cast<const char*>(data), length);
        }
        rows.push_back(row);
    }
    return rows;
}

class OutputFetcherTest : public testing::Test {
  protected:
    void SetUp() override {
        qelocal::LocalEngine::instance().reset();
        dir = qetest::TestDir() + "/fetch";
        std::filesystem::create_directories(dir);
        qetest::WriteFile(dir + "/data.csv", "name,score\nÅsa,1.5\nBo,\nCy,3\n");
        qetest::WriteFile(
            dir + "/model.xml",
            "<?xml version=\"1.0\"?><dataModel version=\"1\">"
            "<field name=\"name\" measure=\"nominal\" storage=\"string\" role=\"input\"/>"
            "<field name=\"score\" measure=\"continuous\" storage=\"real\" role=\"input\"/>"
            "</dataModel>");
    }
    void TearDown() override { qelocal::LocalEngine::instance().reset(); }

    std::string lastJob() {
        for (const auto& e : qelocal::LocalEngine::instance().calls("onError"))
            for (const auto& a : e.args)
                std::cerr << "onError: " << a << "\n";
        const auto prepares = qelocal::LocalEngine::instance().calls("prepare");
        return prepares.empty() ? "" : prepares.back().args.at(0);
    }

    std::string dir;
    PnProcedure procedure{"Fetch"};
    QERunner runner{&procedure};
};

}  // namespace

TEST_F(OutputFetcherTest, CsvWithKeptFieldsAndQebfWithoutFilterComeBackRowByRow) {
    QEOutputIteratorFetcher fetcher(runner);
    EmbeddedQE::RowDataIterator* it = fetcher.Fetch(dir + "/data.csv", dir + "/model.xml",
                                                    QEOutputIteratorFetcher::CSV, {"name"});
    ASSERT_NE(it, nullptr) << lastJob();
    EXPECT_NE(lastJob().find("filterFields"), std::string::npos);
    EXPECT_NE(lastJob().find("\"hasHeader\":false"), std::string::npos);
    EXPECT_EQ(it->getDataModel().find("score"), std::string::npos);
    EXPECT_EQ(Rows(it, {true}), (std::vector<std::string>{"Åsa", "Bo", "Cy"}));
    EXPECT_EQ(WorkFiles(), 2);

    // Write a QEBF file through a job of our own, then fetch it without a field list.
    ASSERT_TRUE(runner.prepareQELJob(
        "read({\"filesystem\":{\"dataModel\":\"file:///" + dir +
        "/model.xml\",\"locations\":[{\"path\":\"file:///" + dir +
        "/data.csv\",\"parser\":{\"name\":\"csv\",\"config\":{\"hasHeader\":true}}}]}})->write({"
        "\"dataDestination\":\"file:///" +
        dir +
        "/data.qebf\",\"dataModelDestination\":\"\","
        "\"type\":\"qebf\"})\n"));
    ASSERT_TRUE(runner.execute());
    runner.cleanExecution();
    // A second fetch without Finalize removes the first fetch's files first.
    it = fetcher.Fetch(dir + "/data.qebf", "", QEOutputIteratorFetcher::QEBF, {});
    ASSERT_NE(it, nullptr) << lastJob();
    EXPECT_EQ(lastJob().find("filterFields"), std::string::npos);
    EXPECT_EQ(WorkFiles(), 2);
    EXPECT_EQ(Rows(it, {true, false}),
              (std::vector<std::string>{"Åsa|1.50", "Bo|(missing)", "Cy|3.00"}));
    fetcher.Finalize();
    EXPECT_EQ(WorkFiles(), 0);
    fetcher.Finalize();  // twice is harmless
}

TEST_F(OutputFetcherTest, AFailedFetchReturnsNullAndLeavesNoFiles) {
    QEOutputIteratorFetcher fetcher(runner);
    EXPECT_EQ(fetcher.Fetch(dir + "/missing.qebf", "", QEOutputIteratorFetcher::QEBF, {}), nullptr);
    EXPECT_EQ(WorkFiles(), 0);
    // A field that the file does not have fails the job as well.
    EXPECT_EQ(fetcher.Fetch(dir + "/data.csv", dir + "/model.xml", QEOutputIteratorFetcher::CSV,
                            {"nope"}),
              nullptr);
    EXPECT_EQ(WorkFiles(), 0);
    const auto messages = qelocal::LocalEngine::instance().calls("onError");
    ASSERT_FALSE(messages.empty());
}
