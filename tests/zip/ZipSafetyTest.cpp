// Hostile archives: entries that try to reach outside the extraction target.
#include <gtest/gtest.h>
#include <minizip/zip.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ZipTestSupport.h"
#include "common/TestSupport.h"
#include "qeinteg/data/ZipDir.h"
#include "qeinteg/data/ZipReader.h"

namespace fs = std::filesystem;

namespace {

// Writes an archive with minizip directly, so that no name is cleaned on the way in.
void CraftArchive(const std::string& path, const std::vector<std::string>& names) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (const std::string& name : names) {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                      Z_DEFLATED, Z_DEFAULT_COMPRESSION),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zip, "pwned", 5), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

}  // namespace

TEST(ZipSafety, EntriesReachingOutsideTheTargetAreRefused) {
    const std::string root = qetest::TestDir() + "/jail";
    const std::string target = root + "/target";
    fs::create_directories(target);
    const std::string absolute = qetest::TestDir() + "/abs-victim";
    const std::vector<std::string> hostile = {"../evil",          "a/../../b", "..\\evil2",
                                              "ok/..\\..\\evil3", absolute,    "C:/windows/evil4",
                                              "d:evil5",          "/"};
    for (const std::string& name : hostile) {
        SCOPED_TRACE(name);
        const std::string archive = qetest::TestDir() + "/hostile.zip";
        CraftArchive(archive, {"fine.txt", name, "after.txt"});
        EXPECT_FALSE(UnzipToDir(archive, target));
        // What came before the hostile entry is there; nothing from it or after it is.
        EXPECT_EQ(ziptest::ReadTree(root),
                  (ziptest::Tree{{"target/", ""}, {"target/fine.txt", "pwned"}}));
        EXPECT_FALSE(fs::exists(absolute));
        EXPECT_FALSE(fs::exists(qetest::TestDir() + "/b"));
        fs::remove(target + "/fine.txt");
    }
    // The hostile names are still readable as names.
    const std::string archive = qetest::TestDir() + "/names.zip";
    CraftArchive(archive, {"../evil"});
    ZipReader reader(archive);
    std::string name;
    bool isDirectory = false;
    ASSERT_TRUE(reader.GetFirst(name, isDirectory));
    EXPECT_EQ(name, "../evil");
}

TEST(ZipSafety, HarmlessDotsStillExtract) {
    const std::string archive = qetest::TestDir() + "/dots.zip";
    CraftArchive(archive, {"..name", "a/./b.txt", "c/d..e"});
    const std::string target = qetest::TestDir() + "/out";
    ASSERT_TRUE(UnzipToDir(archive, target));
    EXPECT_EQ(ziptest::ReadTree(target), (ziptest::Tree{{"..name", "pwned"},
                                                        {"a/", ""},
                                                        {"a/b.txt", "pwned"},
                                                        {"c/", ""},
                                                        {"c/d..e", "pwned"}}));
}
