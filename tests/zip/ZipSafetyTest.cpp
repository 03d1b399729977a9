// Hostile archives: entries that try to reach outside the extraction target.
#include <gtest/gtest.h>
#include <minizip/zip.h>

#include <algorithm>
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

// An archive of one entry holding `size` bytes of one repeated byte (deflate at its best).
void CraftBomb(const std::string& path, const std::string& name, std::size_t size) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    zip_fileinfo info{};
    ASSERT_EQ(zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                    Z_DEFLATED, Z_BEST_COMPRESSION, 1),
              ZIP_OK);
    const std::string block(1 << 20, '\0');
    for (std::size_t done = 0; done < size; done += block.size()) {
        const std::size_t n = std::min(block.size(), size - done);
        ASSERT_EQ(zipWriteInFileInZip(zip, block.data(), static_cast<unsigned>(n)), ZIP_OK);
    }
    ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

}  // namespace

TEST(ZipSafety, BombsAndOversizedEntriesAreRefusedByTheLimits) {
    // 64 MiB of zeros: over 1000 times its compressed size. Before, it was inflated in full.
    const std::string bomb = qetest::TestDir() + "/bomb.zip";
    CraftBomb(bomb, "zeros.bin", std::size_t{64} << 20);
    const std::string target = qetest::TestDir() + "/bombed";
    {
        ZipReader reader(bomb);
        EXPECT_FALSE(reader.ExportFullDirectory(target));
        EXPECT_EQ(reader.Status(), ZipReader::kLimitExceeded);
        EXPECT_FALSE(fs::exists(target));  // created by the call, so removed with it
    }
    {
        ZipReader reader(bomb);
        ASSERT_TRUE(reader.GotoFile("zeros.bin"));
        std::string text = "old";
        EXPECT_FALSE(reader.ExportString(text));
        EXPECT_TRUE(text.empty());
        EXPECT_EQ(reader.Status(), ZipReader::kLimitExceeded);
    }
    // Limits are the caller's to set: a small entry limit refuses a plain 2 MiB entry in memory,
    // and a generous ratio lets the bomb through.
    const std::string plain = qetest::TestDir() + "/plain.zip";
    CraftBomb(plain, "zeros.bin", std::size_t{2} << 20);
    {
        ZipReader reader(plain);
        ZipReader::Limits limits;
        limits.maxStringBytes = 1 << 20;
        limits.maxRatio = 1u << 30;
        reader.SetLimits(limits);
        ASSERT_TRUE(reader.GotoFile("zeros.bin"));
        std::string text;
        EXPECT_FALSE(reader.ExportString(text));
    }
    {
        ZipReader reader(plain);
        ZipReader::Limits limits;
        limits.maxRatio = 1u << 30;
        reader.SetLimits(limits);
        ASSERT_TRUE(reader.GotoFile("zeros.bin"));
        std::string text;
        ASSERT_TRUE(reader.ExportString(text));
        EXPECT_EQ(text.size(), std::size_t{2} << 20);
    }
    {
        // The extraction budget counts what was written so far.
        ZipReader reader(plain);
        ZipReader::Limits limits;
        limits.maxRatio = 1u << 30;
        limits.maxExtractBytes = (std::size_t{2} << 20) - 1;
        reader.SetLimits(limits);
        EXPECT_FALSE(reader.ExportFullDirectory(target));
        EXPECT_FALSE(fs::exists(target));
    }
}

TEST(ZipSafety, DuplicateNamesFailAndAFailedExtractionTakesBackOnlyItsOwnFiles) {
    const std::string target = qetest::TestDir() + "/dups";
    ziptest::WriteTree(target, {{"mine.txt", "keep"}, {"sub/", ""}, {"sub/old.txt", "keep"}});
    const std::string archive = qetest::TestDir() + "/dups.zip";
    CraftArchive(archive, {"new/a.txt", "sub/b.txt", "x.txt", "x.txt"});
    ZipReader reader(archive);
    EXPECT_FALSE(reader.ExportFullDirectory(target));
    EXPECT_EQ(reader.Status(), ZipReader::kDuplicateEntry);
    EXPECT_EQ(ziptest::ReadTree(target),
              (ziptest::Tree{{"mine.txt", "keep"}, {"sub/", ""}, {"sub/old.txt", "keep"}}));
}

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
        // What came before the hostile entry is taken back; the target itself was there before.
        EXPECT_EQ(ziptest::ReadTree(root), (ziptest::Tree{{"target/", ""}}));
        EXPECT_FALSE(fs::exists(absolute));
        EXPECT_FALSE(fs::exists(qetest::TestDir() + "/b"));
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
