#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/TestSupport.h"
#include "qeinteg/data/QESimpleFile.h"
#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/host/process/AppSettings.h"
#include "qeinteg/platform/host/process/TempDirectory.h"
#include "qeinteg/platform/host/testing/AppSettingsTesting.h"
#include "qeinteg/runner/StatQEServiceManager.h"

namespace {

using Properties = std::vector<std::pair<std::string, std::string>>;

class StatQEServiceManagerTest : public testing::Test {
  protected:
    void SetUp() override {
        StatQEServiceManager::shutdown();
        qelocal::LocalEngine::instance().reset();
    }
    void TearDown() override {
        StatQEServiceManager::shutdown();
        QEStatTracer::resetForTest();
    }

    // Switches tracing on into a fresh root and returns the trace directory.
    std::string StartTracing() {
        const std::string root = qetest::TestDir() + "/trace";
        qetest::ScopedEnv dir("QE_STAT_DEBUG_DIR", root.c_str());
        qetest::ScopedEnv max("QE_STAT_DEBUG_MAXCOUNT", nullptr);
        QEStatTracer::resetForTest();
        EXPECT_TRUE(QETracer()->canTrace());
        return QETracer()->traceDir();
    }

    static qelocal::ServiceRecord OnlyRecord() {
        const auto records = qelocal::LocalEngine::instance().serviceRecords();
        EXPECT_EQ(records.size(), 1u);
        return records.empty() ? qelocal::ServiceRecord{} : records.front();
    }
};

TEST_F(StatQEServiceManagerTest, SettingsComeFromTheHostInOrder) {
    qehost::testing::SetMaxCompThreads(8);
    qehost::testing::SetLocale("de_CH");
    qehost::testing::SetInstallDirectory("/opt/host");
    qehost::testing::SetTempFolder("/var/tmp/hosttmp");

    EmbeddedQE::QEServiceManager* manager = StatQEServiceManager::get(false);
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(StatQEServiceManager::get(false), manager);  // one per process

    const qelocal::ServiceRecord record = OnlyRecord();
    EXPECT_EQ(record.env, JNIObjectManager::getManager()->getEnv());
    EXPECT_EQ(record.analyticRoot, QESimpleFile::GetAnalyticRootUTF());
    EXPECT_EQ(record.componentsPath, "/opt/host/qe-3.1.1.0/af/components");
    EXPECT_EQ(record.locale, "de_CH");
    const Properties expected = {{"ae.temp.path", "/var/tmp/hosttmp/ae"},
                                 {"af.temp.path", "/var/tmp/hosttmp/af"},
                                 {"mmr.threads", "4"},
                                 {"af.io.cache.size", "4194304"}};
    EXPECT_EQ(record.properties, expected);
    EXPECT_EQ(manager->getExecutionService() != nullptr, true);
    EXPECT_EQ(manager->getMetaDataService() != nullptr, true);
}

TEST_F(StatQEServiceManagerTest, ThreadCountIsCappedOnlyFromAbove) {
    for (const auto& [host, expected] :
         std::vector<std::pair<int, std::string>>{{2, "2"}, {4, "4"}, {5, "4"}, {1, "1"}}) {
        StatQEServiceManager::shutdown();
        qelocal::LocalEngine::instance().reset();
        qehost::testing::SetMaxCompThreads(host);
        StatQEServiceManager::get(false);
        EXPECT_EQ(OnlyRecord().properties.at(2),
                  std::make_pair(std::string("mmr.threads"), expected))
            << "host threads " << host;
    }
}

TEST_F(StatQEServiceManagerTest, VerboseFirstGetLogsSevenLinesAndLaterGetsNothing) {
    const std::string traceDir = StartTracing();
    qehost::testing::SetMaxCompThreads(3);
    StatQEServiceManager::get(true);
    StatQEServiceManager::get(true);  // not the creating call: logs nothing

    const std::string log = qetest::ReadFile(JoinFilePath(traceDir, "qeinteg.log"));
    const std::string tempDir = FormalizeFilePath(CFAppHost::getInstance()->getTempFolder(), true);
    const std::string expected = "QE Analytic Root: " + QESimpleFile::GetAnalyticRoot() + "\n" +
                                 "qe.af.components: " + OnlyRecord().componentsPath + "\n" +
                                 "locale: en_US\n" + "ae.temp.path: " + tempDir + "ae\n" +
                                 "af.temp.path: " + tempDir + "af\n" + "mmr.threads: 3\n" +
                                 "af.io.cache.size: 4194304\n";
    EXPECT_EQ(log, expected);
}

TEST_F(StatQEServiceManagerTest, QuietFirstGetThenVerboseGetLogsNothing) {
    const std::string traceDir = StartTracing();
    StatQEServiceManager::get(false);
    StatQEServiceManager::get(true);
    EXPECT_EQ(qetest::ReadFile(JoinFilePath(traceDir, "qeinteg.log")), "");
}

TEST_F(StatQEServiceManagerTest, EngineFailurePassesToCallerAndNextGetRetries) {
    qelocal::LocalEngine::instance().failNextManagerConstruction({"no licence", "", false});
    EXPECT_THROW(StatQEServiceManager::get(false), EmbeddedQE::Exception);
    qelocal::LocalEngine::instance().failNextManagerConstruction({"boom", "at Engine.start", true});
    try {
        StatQEServiceManager::get(false);
        ADD_FAILURE() << "expected a JavaException";
    } catch (const EmbeddedQE::JavaException& e) {
        EXPECT_EQ(e.getMessage(), "boom");
        EXPECT_EQ(e.getTrace(), "at Engine.start");
    }
    EXPECT_EQ(qelocal::LocalEngine::instance().managersCreated(), 0);
    EXPECT_NE(StatQEServiceManager::get(false), nullptr);
    EXPECT_EQ(qelocal::LocalEngine::instance().managersCreated(), 1);
}

TEST_F(StatQEServiceManagerTest, ShutdownDeletesTheManager) {
    StatQEServiceManager::shutdown();  // nothing to delete
    StatQEServiceManager::get(false);
    StatQEServiceManager::shutdown();
    EXPECT_EQ(qelocal::LocalEngine::instance().managersDeleted(), 1);
    StatQEServiceManager::get(false);
    EXPECT_EQ(qelocal::LocalEngine::instance().managersCreated(), 2);
}

TEST_F(StatQEServiceManagerTest, AnalyticDirectoriesAreFixedOnceComputed) {
    const std::string root = QESimpleFile::GetAnalyticRoot();
    EXPECT_EQ(root.substr(root.size() - 14), "analytic-root/");
    EXPECT_EQ(QESimpleFile::GetAnalyticDefaultDir(), root + "keld/public/");
    EXPECT_EQ(root.find('\\'), std::string::npos);
    // The host's temporary directory changed for this test; the analytic root stays where it was.
    EXPECT_EQ(QESimpleFile::GetAnalyticRoot(), root);
    EXPECT_EQ(QESimpleFile::GetAnalyticRootUTF(), root);  // ASCII path: both forms agree
}

TEST(StatQEServiceManagerDeathTest, MissingHostSettingsStopTheProcess) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    StatQEServiceManager::shutdown();
    qehost::testing::SetAppHostAvailable(false);
    EXPECT_DEATH(StatQEServiceManager::get(false), "pAppHost != 0");
}

}  // namespace
