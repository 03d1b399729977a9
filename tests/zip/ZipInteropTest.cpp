// Archives exchanged with Info-ZIP zip and unzip, and directory trees packed and unpacked.
#include <gtest/gtest.h>
#include <minizip/zip.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "ZipTestSupport.h"
#include "common/TestSupport.h"
#include "qeinteg/data/ZipDir.h"
#include "qeinteg/data/ZipReader.h"
#include "qeinteg/data/ZipWriter.h"

namespace fs = std::filesystem;

TEST(ZipInterop, ZipDirArchivesPassInfoZipAndUnpackTheSameTree) {
    const std::string source = qetest::TestDir() + "/src";
    const std::string archive = qetest::TestDir() + "/tree.zip";
    const ziptest::Tree tree = ziptest::SampleTree();
    ziptest::WriteTree(source, tree);

    ASSERT_TRUE(ZipDir(archive, source));
    EXPECT_EQ(ziptest::Run("unzip -tq " + archive), 0);
    const std::string byUnzip = qetest::TestDir() + "/by-unzip";
    ASSERT_EQ(ziptest::Run("unzip -q " + archive + " -d " + byUnzip), 0);
    EXPECT_EQ(ziptest::ReadTree(byUnzip), tree);

    const std::string ours = qetest::TestDir() + "/ours";
    ASSERT_TRUE(UnzipToDir(archive, ours));
    EXPECT_EQ(ziptest::ReadTree(ours), tree);

    // Every directory is listed before what it holds, so a second unpack into the same place
    // stops at the first directory entry it finds existing.
    EXPECT_FALSE(UnzipToDir(archive, ours));

    // A missing directory packs into an empty, valid archive, which unpacks to nothing.
    const std::string empty = qetest::TestDir() + "/empty.zip";
    ASSERT_TRUE(ZipDir(empty, qetest::TestDir() + "/no-such-dir"));
    ZipReader reader(empty);
    EXPECT_EQ(reader.GetEntryCount(), 0);
    EXPECT_TRUE(UnzipToDir(empty, qetest::TestDir() + "/from-empty"));
    EXPECT_TRUE(fs::is_directory(qetest::TestDir() + "/from-empty"));
}

TEST(ZipInterop, InfoZipArchivesReadBackEntryByEntry) {
    const std::string source = qetest::TestDir() + "/src";
    const ziptest::Tree tree = ziptest::SampleTree();
    ziptest::WriteTree(source, tree);
    // Deflated with directory entries, stored, and deflated without directory entries.
    const std::vector<std::pair<std::string, std::string>> variants = {
        {"deflated.zip", "-r"}, {"stored.zip", "-r -0"}, {"nodirs.zip", "-r -D -9"}};
    for (const auto& [file, options] : variants) {
        SCOPED_TRACE(file);
        const std::string archive = qetest::TestDir() + "/" + file;
        ASSERT_EQ(ziptest::Run("cd " + source + " && zip -q " + options + " " + archive + " ."), 0);

        ZipReader reader(archive);
        ASSERT_TRUE(reader.IsOpen());
        ziptest::Tree read;
        std::string name;
        bool isDirectory = false;
        for (bool more = reader.GetFirst(name, isDirectory); more;
             more = reader.GetNext(name, isDirectory)) {
            std::string content;
            if (!isDirectory) {
                ASSERT_TRUE(reader.ExportString(content)) << name;
            }
            read[name] = content;
        }
        const bool noDirs = options.find("-D") != std::string::npos;
        ziptest::Tree expected = tree;
        if (noDirs)
            std::erase_if(expected, [](const auto& e) { return e.first.back() == '/'; });
        EXPECT_EQ(read, expected);

        // Without directory entries the directories holding files are made all the same; only
        // the empty one is lost.
        const std::string target = qetest::TestDir() + "/out-" + file;
        ASSERT_TRUE(UnzipToDir(archive, target));
        const ziptest::Tree unpacked = ziptest::ReadTree(target);
        expected = tree;
        if (noDirs)
            expected.erase("emptydir/");
        EXPECT_EQ(unpacked, expected);
    }
}

TEST(ZipInterop, WindowsSeparatorsReadBackAsForwardSlashes) {
    // Crafted with minizip directly: a writer on Windows stores "\" in names.
    const std::string archive = qetest::TestDir() + "/windows.zip";
    zipFile zip = zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (const char* name : {"win\\", "win\\sub\\", "win\\sub\\f.txt"}) {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                      Z_DEFAULT_COMPRESSION),
                  ZIP_OK);
        if (name[std::char_traits<char>::length(name) - 1] != '\\') {
            ASSERT_EQ(zipWriteInFileInZip(zip, "windows", 7), ZIP_OK);
        }
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);

    ZipReader reader(archive);
    std::string name;
    bool isDirectory = false;
    ASSERT_TRUE(reader.GetFirst(name, isDirectory));
    EXPECT_EQ(name, "win/");
    EXPECT_TRUE(isDirectory);
    ZipReader located(archive);
    ASSERT_TRUE(located.GotoFile("win/sub/f.txt"));
    std::string text;
    ASSERT_TRUE(located.ExportString(text));
    EXPECT_EQ(text, "windows");

    const std::string target = qetest::TestDir() + "/out";
    ASSERT_TRUE(UnzipToDir(archive, target));
    EXPECT_EQ(ziptest::ReadTree(target),
              (ziptest::Tree{{"win/", ""}, {"win/sub/", ""}, {"win/sub/f.txt", "windows"}}));
}

TEST(ZipInterop, ReadOnlyTargetIsLeftUntouched) {
    const std::string archive = qetest::TestDir() + "/tree.zip";
    ziptest::WriteTree(qetest::TestDir() + "/src", ziptest::SampleTree());
    ASSERT_TRUE(ZipDir(archive, qetest::TestDir() + "/src"));

    const std::string target = qetest::TestDir() + "/readonly";
    fs::create_directory(target);
    ASSERT_EQ(::chmod(target.c_str(), 0555), 0);
    EXPECT_FALSE(UnzipToDir(archive, target));
    ::chmod(target.c_str(), 0755);
    EXPECT_TRUE(fs::is_empty(target));

    // A target two levels down cannot be made in one step.
    EXPECT_FALSE(UnzipToDir(archive, qetest::TestDir() + "/missing/deeper"));
    EXPECT_FALSE(fs::exists(qetest::TestDir() + "/missing"));
}

TEST(ZipInterop, ArchiveInsideThePackedTreeAndLinkLoopsAreSkipped) {
    const std::string source = qetest::TestDir() + "/src";
    ziptest::WriteTree(source, {{"a.txt", "a"}, {"sub/", ""}, {"sub/b.txt", "b"}});
    fs::create_directory_symlink("..", source + "/sub/loop");
    const std::string archive = source + "/self.zip";
    ASSERT_TRUE(ZipDir(archive, source));
    EXPECT_EQ(ziptest::Run("unzip -tq " + archive), 0);

    ZipReader reader(archive);
    std::vector<std::string> names;
    std::string name;
    bool isDirectory = false;
    for (bool more = reader.GetFirst(name, isDirectory); more;
         more = reader.GetNext(name, isDirectory)) {
        names.push_back(name);
    }
    EXPECT_EQ(std::count(names.begin(), names.end(), "self.zip"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "sub/loop/"), 1);
    EXPECT_LT(names.size(), 10u);
}
