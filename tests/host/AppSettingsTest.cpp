#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "qeinteg/platform/host/process/AppSettings.h"
#include "qeinteg/platform/host/testing/AppSettingsTesting.h"

namespace {

TEST(AppSettingsTest, DefaultsFollowTheTestTempRootAndSettersChangeThem) {
    const std::string root = qetest::TestDir() + "/host-temp";
    CFAppHost::update();
    CFAppHost* host = CFAppHost::getInstance();
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->getLocale(), "en_US");
    EXPECT_EQ(host->getTempFolder(), root);
    EXPECT_EQ(host->getMaxCompThreads(), 2);
    EXPECT_EQ(PathFactory::getPathInstance()->GetInstallDirectory(), root + "/install");
    EXPECT_EQ(ExtensionFinder::GetCFPath(), root + "/cf/");
    EXPECT_EQ(qehost::testing::AppHostUpdateCount(), 1);

    qehost::testing::SetLocale("de_DE");
    qehost::testing::SetTempFolder("/somewhere/else");
    qehost::testing::SetMaxCompThreads(8);
    qehost::testing::SetInstallDirectory("/opt/host");
    qehost::testing::SetCFPath("/opt/host/cf/");
    EXPECT_EQ(host->getLocale(), "de_DE");
    EXPECT_EQ(host->getTempFolder(), "/somewhere/else");
    EXPECT_EQ(host->getMaxCompThreads(), 8);
    // The library reaches the install directory through the finder's second virtual operation.
    HostPathFinder* finder = PathFactory::getPathInstance();
    EXPECT_EQ(finder->GetInstallDirectory(), "/opt/host");
    EXPECT_EQ(ExtensionFinder::GetCFPath(), "/opt/host/cf/");

    qehost::testing::SetAppHostAvailable(false);
    EXPECT_EQ(CFAppHost::getInstance(), nullptr);
}

TEST(AppSettingsTest, MetadataLayerInitialisationIsRecorded) {
    EXPECT_EQ(qehost::testing::CFEntryInitializeCount(), 0);
    void* callback = CFAppHost::getInstance()->createCFHostingCalbck();
    ASSERT_NE(callback, nullptr);
    EXPECT_EQ(callback, qehost::testing::HostingCallback());
    CFEntry::initialize(callback);
    EXPECT_EQ(qehost::testing::CFEntryInitializeCount(), 1);
    EXPECT_EQ(qehost::testing::LastCFEntryCallback(), callback);
}

}  // namespace
