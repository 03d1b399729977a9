// Work files: unique names, where they are made, and their removal.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "ZipTestSupport.h"
#include "common/TestSupport.h"
#include "qeinteg/data/QESimpleContainer.h"
#include "qeinteg/data/QESimpleFile.h"
#include "qeinteg/data/ZipDir.h"
#include "qeinteg/platform/host/process/TempDirectory.h"
#include "qeinteg/platform/host/testing/CodePageTesting.h"
#include "qeinteg/platform/host/text/CodePage.h"

namespace fs = std::filesystem;

TEST(QESimpleFile, TemporaryFilesGetTheNextFreeNameAndGoWithTheObject) {
    const std::string temp = GetTavoTempPath();
    auto first = std::make_unique<QESimpleFile>("data.csv", false, true);
    auto second = std::make_unique<QESimpleFile>("data.csv", false, true);
    auto third = std::make_unique<QESimpleFile>("data.csv", false, false);
    EXPECT_EQ(first->GetAbsolutePath(), temp + "data.csv");
    EXPECT_EQ(second->GetFileName(), "data_1.csv");
    EXPECT_EQ(third->GetFileName(), "data_2.csv");
    EXPECT_EQ(third->GetAbsolutePath(), temp + "data_2.csv");
    EXPECT_EQ(third->GetGenericPath(), third->GetAbsolutePath());  // UTF-8 host code page
    for (const auto* file : {first.get(), second.get(), third.get()}) {
        ASSERT_TRUE(fs::is_regular_file(file->GetGenericPath()));
        EXPECT_EQ(fs::file_size(file->GetGenericPath()), 0u);
    }
    const std::string firstPath = first->GetAbsolutePath();
    const std::string thirdPath = third->GetAbsolutePath();
    first.reset();
    second.reset();
    third.reset();
    EXPECT_FALSE(fs::exists(firstPath));
    EXPECT_TRUE(fs::exists(thirdPath));  // not to be removed
    EXPECT_EQ(QESimpleFile("report", false, true).GetFileName(), "report");
}

TEST(QESimpleFile, AnalyticFilesAreLeftToTheEngineAndRemovedWithTheirContents) {
    const std::string dir = QESimpleFile::GetAnalyticDefaultDir();
    std::string path;
    {
        QESimpleFile model("outmodel.xml", true, true);
        path = model.GetAbsolutePath();
        EXPECT_EQ(path, dir + "outmodel.xml");
        EXPECT_EQ(model.GetGenericPath(),
                  QESimpleFile::GetAnalyticDefaultDirUTF() + "outmodel.xml");
        EXPECT_FALSE(fs::exists(path));  // the engine makes it
        // The engine may write a directory of that name.
        ziptest::WriteTree(path, {{"part-0", "rows"}, {"meta/", ""}, {"meta/schema", "s"}});
    }
    EXPECT_FALSE(fs::exists(path));

    fs::create_directories(dir);
    ASSERT_TRUE(qetest::WriteFile(dir + "outitera.qebf", "taken"));
    {
        QESimpleFile data("outitera.qebf", true, false);
        EXPECT_EQ(data.GetFileName(), "outitera_1.qebf");
    }
    EXPECT_EQ(qetest::ReadFile(dir + "outitera.qebf"), "taken");
}

TEST(QESimpleFile, SingleByteCodePagePathsKeepBothForms) {
    ASSERT_TRUE(qehost::testing::SetCodePage("windows-1252"));
    const std::string generic =
        "gr\xF6\xDF"
        "e.csv";  // "größe.csv" in windows-1252
    QESimpleFile file(generic, false, true);
    EXPECT_EQ(file.GetFileName(), generic);
    EXPECT_EQ(file.GetAbsolutePath(), GetTavoTempPath() + generic);
    const std::string utf8 = file.GetGenericPath();
    EXPECT_EQ(fs::path(utf8).filename().string(), "größe.csv");
    EXPECT_TRUE(fs::is_regular_file(utf8));

    const std::string containerPath = qetest::TestDir() + "/\xE9t\xE9.zip";  // "été.zip"
    QESimpleContainer container("out", containerPath);
    EXPECT_EQ(container.getGenericPath(), containerPath);
    EXPECT_EQ(container.getAbsolutePath(), qetest::TestDir() + "/été.zip");
    QESimpleContainer temporary("tmp", "");
    EXPECT_TRUE(fs::is_regular_file(temporary.getAbsolutePath()));

    // Packing and unpacking through generic paths reaches the files by their UTF-8 names.
    const std::string source = qetest::TestDir() + "/src";
    ziptest::WriteTree(source, {{"größe.txt", "umlaut"}, {"sub/", ""}, {"sub/été", "accents"}});
    ASSERT_TRUE(ZipDir(container.getGenericPath(), source));
    EXPECT_TRUE(fs::is_regular_file(container.getAbsolutePath()));
    ASSERT_TRUE(UnzipToDir(container.getGenericPath(), qetest::TestDir() + "/\xFCout"));
    EXPECT_EQ(ziptest::ReadTree(qetest::TestDir() + "/üout"),
              (ziptest::Tree{{"größe.txt", "umlaut"}, {"sub/", ""}, {"sub/été", "accents"}}));
}
