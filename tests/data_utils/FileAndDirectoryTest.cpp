#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "qeinteg/data/DirectorySpecific.h"
#include "qeinteg/data/FileSpecific.h"
#include "qeinteg/platform/host/testing/CodePageTesting.h"
#include "qeinteg/platform/host/text/CodePage.h"

namespace fs = std::filesystem;

namespace {

TEST(FileSpecificTest, ReportsFilesDirectoriesAndBadPaths) {
    const std::string dir = qetest::TestDir();
    ASSERT_TRUE(qetest::WriteFile(dir + "/f.txt", "x"));

    FileSpecific file(dir + "/./f.txt");
    EXPECT_TRUE(file.IsValid());
    EXPECT_TRUE(file.Exists());
    EXPECT_FALSE(file.IsDir());
    EXPECT_FALSE(file.ReadOnly());
    EXPECT_FALSE(file.IsLocked());
    EXPECT_EQ(file.ExpandPath(), dir + "/f.txt");
    EXPECT_EQ(file.Path(), dir + "/");
    EXPECT_EQ(file.Name(), "f.txt");

    FileSpecific folder(dir);
    EXPECT_TRUE(folder.Exists());
    EXPECT_TRUE(folder.IsDir());

    FileSpecific missing(dir + "/missing.txt");
    EXPECT_TRUE(missing.IsValid());
    EXPECT_FALSE(missing.Exists());

    for (const std::string& bad : {std::string(), std::string(PATH_MAX + 1, 'x')}) {
        FileSpecific file(bad);
        EXPECT_FALSE(file.IsValid());
        EXPECT_FALSE(file.Exists());
        EXPECT_FALSE(file.IsDir());
        EXPECT_EQ(file.ExpandPath(), "");
        EXPECT_EQ(file.Name(), "");
    }

    // Copies own their state.
    FileSpecific copy(file);
    copy = missing;
    EXPECT_FALSE(copy.Exists());
    EXPECT_TRUE(file.Exists());
    EXPECT_EQ(FileSpecific(file).Name(), "f.txt");
}

std::map<std::string, bool> List(DirectorySpecific& dir, const std::string& pattern) {
    std::map<std::string, bool> entries;
    for (bool more = dir.BrowseFile(pattern); more; more = dir.Next()) {
        std::string name;
        bool isDir = false;
        dir.GetFileSpec(name, isDir);
        entries[name] = isDir;
    }
    return entries;
}

TEST(DirectorySpecificTest, ListsMatchingEntriesWithTrailingSeparatorsIgnored) {
    const std::string root = qetest::TestDir() + "/listing";
    fs::create_directories(root + "/sub");
    ASSERT_TRUE(qetest::WriteFile(root + "/a.txt", ""));
    ASSERT_TRUE(qetest::WriteFile(root + "/b.csv", ""));
    ASSERT_TRUE(qetest::WriteFile(root + "/.hidden.txt", ""));

    DirectorySpecific dir(root + "//\\/");
    EXPECT_TRUE(dir.Exists());
    EXPECT_FALSE(dir.ReadOnly());
    EXPECT_EQ(dir.ExpandPath(), root + "/");
    EXPECT_EQ(DirectorySpecific(root).ExpandPath(), dir.ExpandPath());

    const std::map<std::string, bool> all{
        {"a.txt", false}, {"b.csv", false}, {".hidden.txt", false}, {"sub", true}};
    EXPECT_EQ(List(dir, "*"), all);
    EXPECT_EQ(dir.Count(), 4);
    EXPECT_FALSE(dir.Next());  // exhausted stays exhausted
    EXPECT_EQ(List(dir, "*.txt"),
              (std::map<std::string, bool>{{"a.txt", false}, {".hidden.txt", false}}));
    EXPECT_TRUE(List(dir, "*.none").empty());

    // A copy has no listing of its own and does not disturb the original's.
    ASSERT_TRUE(dir.BrowseFile());
    DirectorySpecific copy(dir);
    EXPECT_FALSE(copy.Next());
    int rest = 0;
    while (dir.Next())
        ++rest;
    EXPECT_EQ(rest, 3);

    EXPECT_EQ(dir.FormUniqueFileName("a.txt"), root + "/a_1.txt");
    EXPECT_EQ(dir.FormUniqueFileName("new.txt"), root + "/new.txt");
}

TEST(DirectorySpecificTest, MissingEmptyAndRootPaths) {
    DirectorySpecific missing(qetest::TestDir() + "/nope/");
    EXPECT_FALSE(missing.Exists());
    EXPECT_FALSE(missing.BrowseFile());
    EXPECT_FALSE(missing.Next());

    DirectorySpecific empty("");
    EXPECT_FALSE(empty.Exists());
    EXPECT_EQ(empty.ExpandPath(), "");
    EXPECT_FALSE(empty.BrowseFile());

    DirectorySpecific root("///");
    EXPECT_TRUE(root.Exists());
    EXPECT_EQ(root.ExpandPath(), "/");
}

TEST(DirectorySpecificTest, NonAsciiNamesUnderEachCodePage) {
    const std::string root = qetest::TestDir() + "/names";
    fs::create_directories(root);
    ASSERT_TRUE(qetest::WriteFile(root + "/r\xc3\xa9sum\xc3\xa9.txt", ""));
    for (const char* codePage : {"UTF-8", "windows-1252"}) {
        SCOPED_TRACE(codePage);
        ASSERT_TRUE(qehost::testing::SetCodePage(codePage));
        const std::string generic = qUTF8mode() ? "r\xc3\xa9sum\xc3\xa9.txt" : "r\xe9sum\xe9.txt";
        DirectorySpecific dir(root);
        EXPECT_EQ(List(dir, "*"), (std::map<std::string, bool>{{generic, false}}));
        EXPECT_TRUE(FileSpecific(root + "/" + generic).Exists());
        EXPECT_EQ(dir.FormUniqueFileName(generic),
                  root + "/" + (qUTF8mode() ? "r\xc3\xa9sum\xc3\xa9_1.txt" : "r\xe9sum\xe9_1.txt"));
    }
}

}  // namespace
