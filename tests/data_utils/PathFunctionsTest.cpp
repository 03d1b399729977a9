#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/host/testing/CodePageTesting.h"
#include "qeinteg/platform/host/text/CodePage.h"

namespace fs = std::filesystem;

namespace {

TEST(PathFunctionsTest, NormalizeQelPathAddsTheSchemeOnce) {
    EXPECT_EQ(NormalizeQelPath("D:\\x\\y.csv", "file"), "file:///D:/x/y.csv");
    EXPECT_EQ(NormalizeQelPath("/tmp/x", "file"), "file:////tmp/x");
    EXPECT_EQ(NormalizeQelPath("FILE:///C:\\a\\b", "file"), "FILE:///C:/a/b");
    EXPECT_EQ(NormalizeQelPath("File:/x", "file"), "File:/x");
    EXPECT_EQ(NormalizeQelPath("/data/set", "hdfs"), "hdfs:///data/set");
    EXPECT_EQ(NormalizeQelPath("", "file"), "file:///");
    // A relative path that merely starts with the letters of the scheme is still a path.
    EXPECT_EQ(NormalizeQelPath("files\\x.csv", "file"), "file:///files/x.csv");
    EXPECT_EQ(NormalizeQelPath("file", "file"), "file:///file");

    ASSERT_TRUE(qehost::testing::SetCodePage("windows-1252"));
    EXPECT_EQ(NormalizeQelPath("C:\\caf\xe9", "file"), "file:///C:/caf\xe9");
    EXPECT_EQ(NormalizeQelPathU("C:\\caf\xe9", "file"), "file:///C:/caf\xc3\xa9");
    if (qehost::testing::SetCodePage("CP932")) {
        // The second byte of this character is 0x5C and must survive.
        EXPECT_EQ(NormalizeQelPath("C:\\\x95\x5c\\a", "file"), "file:///C:/\x95\x5c/a");
    }
}

TEST(PathFunctionsTest, SeparateFormalizeAndJoinUseForwardSlashes) {
    std::string dir = "stale";
    EXPECT_EQ(SeparateFileName("dir/sub\\file.txt", dir), "file.txt");
    EXPECT_EQ(dir, "dir/sub\\");
    EXPECT_EQ(SeparateFileName("plain.txt", dir), "plain.txt");
    EXPECT_EQ(dir, "");
    EXPECT_EQ(SeparateFileName("/tmp/", dir), "");
    EXPECT_EQ(dir, "/tmp/");

    EXPECT_EQ(FormalizeFilePath("a\\b", true), "a/b/");
    EXPECT_EQ(FormalizeFilePath("a/b/", true), "a/b/");
    EXPECT_EQ(FormalizeFilePath("a\\b\\", false), "a/b/");
    EXPECT_EQ(FormalizeFilePath("", true), "");

    EXPECT_EQ(JoinFilePath("/tmp", "/x.csv"), "/tmp/x.csv");
    EXPECT_EQ(JoinFilePath("C:\\tmp", "\\x.csv"), "C:/tmp/x.csv");
    EXPECT_EQ(JoinFilePath("/tmp/", "//x.csv"), "/tmp/x.csv");
    EXPECT_EQ(JoinFilePath("", "x"), "x");
    EXPECT_EQ(JoinFilePath("", "/x"), "/x");
    EXPECT_EQ(JoinFilePath("/a", ""), "/a/");
    for (const std::string& path :
         {JoinFilePath("a\\b", "c\\d"), FormalizeFilePath("\\\\s\\x", true),
          NormalizeQelPath("C:\\x", "file")}) {
        EXPECT_EQ(path.find('\\'), std::string::npos) << path;
    }
}

TEST(PathFunctionsTest, MakeDirAndRemoveDirDepthFirst) {
    const std::string root = qetest::TestDir() + "/tree";
    EXPECT_FALSE(MakeDir(""));
    ASSERT_TRUE(MakeDir(root));
    EXPECT_FALSE(MakeDir(root));  // already there
    ASSERT_TRUE(MakeDir(root + "/a"));
    ASSERT_TRUE(MakeDir(root + "/a/b"));
    ASSERT_TRUE(qetest::WriteFile(root + "/a/b/deep.txt", "1"));
    ASSERT_TRUE(qetest::WriteFile(root + "/a/.hidden", "2"));
    ASSERT_TRUE(qetest::WriteFile(root + "/top.txt", "3"));

    // A link to a directory outside the tree is removed, not followed.
    const std::string outside = qetest::TestDir() + "/outside";
    ASSERT_TRUE(MakeDir(outside));
    ASSERT_TRUE(qetest::WriteFile(outside + "/keep.txt", "keep"));
    ASSERT_EQ(symlink(outside.c_str(), (root + "/a/link").c_str()), 0);

    EXPECT_TRUE(RemoveDir(root + "//"));
    EXPECT_FALSE(fs::exists(root));
    EXPECT_EQ(qetest::ReadFile(outside + "/keep.txt"), "keep");

    EXPECT_TRUE(RemoveDir(root));  // missing: nothing to do
    EXPECT_FALSE(RemoveDir(""));
    EXPECT_FALSE(RemoveDir("/"));
    EXPECT_FALSE(RemoveDir("///"));

    // A link given directly is removed as a link.
    const std::string link = qetest::TestDir() + "/direct";
    ASSERT_EQ(symlink(outside.c_str(), link.c_str()), 0);
    EXPECT_TRUE(RemoveDir(link));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_EQ(qetest::ReadFile(outside + "/keep.txt"), "keep");
}

TEST(PathFunctionsTest, StatCopyFileCopiesBytesAndProtectsTheSource) {
    const std::string dir = qetest::TestDir();
    const std::string binary("a\0b\r\n\xff", 6);
    ASSERT_TRUE(qetest::WriteFile(dir + "/src.bin", binary));
    EXPECT_TRUE(StatCopyFile(dir + "/dst.bin", dir + "/src.bin"));
    EXPECT_EQ(qetest::ReadFile(dir + "/dst.bin"), binary);

    ASSERT_TRUE(qetest::WriteFile(dir + "/untouched.txt", "old"));
    EXPECT_FALSE(StatCopyFile(dir + "/untouched.txt", dir + "/missing.bin"));
    EXPECT_EQ(qetest::ReadFile(dir + "/untouched.txt"), "old");
    // Copying a file onto itself would truncate it.
    EXPECT_FALSE(StatCopyFile(dir + "/./src.bin", dir + "/src.bin"));
    EXPECT_EQ(qetest::ReadFile(dir + "/src.bin"), binary);
    EXPECT_FALSE(StatCopyFile(dir + "/fromdir.bin", dir));
    EXPECT_FALSE(StatCopyFile(dir + "/no/such/dir/x", dir + "/src.bin"));
    EXPECT_FALSE(StatCopyFile("", dir + "/src.bin"));
}

TEST(PathFunctionsTest, FormUniqueFileNameCountsBeforeTheFileExtension) {
    const std::string dir = qetest::TestDir();
    EXPECT_EQ(FormUniqueFileName(dir + "/data.csv"), dir + "/data.csv");
    ASSERT_TRUE(qetest::WriteFile(dir + "/data.csv", ""));
    EXPECT_EQ(FormUniqueFileName(dir + "/data.csv"), dir + "/data_1.csv");
    ASSERT_TRUE(qetest::WriteFile(dir + "/data_1.csv", ""));
    EXPECT_EQ(FormUniqueFileName(dir + "/data.csv"), dir + "/data_2.csv");

    ASSERT_TRUE(MakeDir(dir + "/my.dir"));
    ASSERT_TRUE(qetest::WriteFile(dir + "/my.dir/report", ""));
    EXPECT_EQ(FormUniqueFileName(dir + "/my.dir/report"), dir + "/my.dir/report_1");
    ASSERT_TRUE(qetest::WriteFile(dir + "/.profile", ""));
    EXPECT_EQ(FormUniqueFileName(dir + "/.profile"), dir + "/.profile_1");
    // A directory takes the name as well.
    EXPECT_EQ(FormUniqueFileName(dir + "/my.dir"), dir + "/my_1.dir");
    EXPECT_EQ(FormUniqueFileName(""), "");
}

TEST(PathFunctionsTest, FormUniqueFileNameFromTwoThreads) {
    // Two threads keep asking for a free name and create it at once; a name may be taken by the
    // other thread in between (names are not reserved), so a thread that loses simply asks again.
    const std::string dir = qetest::TestDir();
    ASSERT_TRUE(qetest::WriteFile(dir + "/job.qel", ""));
    constexpr int kPerThread = 30;
    std::vector<std::string> created[2];
    auto work = [&](int slot) {
        while (static_cast<int>(created[slot].size()) < kPerThread) {
            const std::string name = FormUniqueFileName(dir + "/job.qel");
            const int fd = open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
            if (fd >= 0) {
                close(fd);
                created[slot].push_back(name);
            }
        }
    };
    std::thread a(work, 0), b(work, 1);
    a.join();
    b.join();
    std::set<std::string> all(created[0].begin(), created[0].end());
    all.insert(created[1].begin(), created[1].end());
    std::set<std::string> expected;
    for (int n = 1; n <= 2 * kPerThread; ++n) {
        expected.insert(dir + "/job_" + std::to_string(n) + ".qel");
    }
    EXPECT_EQ(all, expected);
}

}  // namespace
