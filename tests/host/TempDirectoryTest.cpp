#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "qeinteg/platform/host/process/TempDirectory.h"
#include "qeinteg/platform/host/testing/CodePageTesting.h"
#include "qeinteg/platform/host/text/CodePage.h"
#include "qeinteg/platform/host/text/ExtNameStr.h"

namespace fs = std::filesystem;

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

TEST(TempDirectoryTest, TempPathLivesUnderTheTestRootAndNamesAreFreshAndInside) {
    const std::string root = qetest::TestDir() + "/host-temp/";
    const std::string temp = GetTavoTempPath();
    EXPECT_TRUE(StartsWith(temp, root)) << temp;
    EXPECT_EQ(temp.back(), '/');
    EXPECT_TRUE(fs::is_directory(temp));

    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        const std::string name = FormTempName("qecontfile_");
        EXPECT_TRUE(StartsWith(name, temp + "qecontfile_")) << name;
        EXPECT_FALSE(fs::exists(name));
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 20u);
    // A prefix cannot lead out of the temporary directory.
    const std::string escaped = FormTempName("../../x/\\y");
    EXPECT_TRUE(StartsWith(escaped, temp)) << escaped;
    EXPECT_EQ(escaped.find('/', temp.size()), std::string::npos) << escaped;
    EXPECT_EQ(escaped.find('\\'), std::string::npos) << escaped;

    const std::string a = CreateTempFolder("zip");
    const std::string b = CreateTempFolder("zip");
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_TRUE(fs::is_directory(a));
    ASSERT_TRUE(qetest::WriteFile(a + "/inner.txt", "x"));
    EXPECT_TRUE(RemoveFolderFromTempDir(a));
    EXPECT_FALSE(fs::exists(a));

    // Folders outside the temporary directory are refused, also through "..".
    const std::string outside = qetest::TestDir() + "/outside";
    fs::create_directories(outside);
    EXPECT_FALSE(RemoveFolderFromTempDir(outside));
    EXPECT_FALSE(RemoveFolderFromTempDir(temp + "../../outside"));
    EXPECT_FALSE(RemoveFolderFromTempDir(temp));
    EXPECT_FALSE(RemoveFolderFromTempDir(""));
    EXPECT_TRUE(fs::is_directory(outside));
}

TEST(TempDirectoryTest, ExpandFileSpecificationNormalisesAndRejectsBadInput) {
    std::string out = "junk";
    EXPECT_FALSE(ExpandFileSpecification("", out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(ExpandFileSpecification(std::string(PATH_MAX + 10, 'a'), out));

    ASSERT_TRUE(ExpandFileSpecification("/a/./b/../c//d", out));
    EXPECT_EQ(out, "/a/c/d");
    ASSERT_TRUE(ExpandFileSpecification("/a/b/", out));
    EXPECT_EQ(out, "/a/b/");
    ASSERT_TRUE(ExpandFileSpecification("/../..", out));
    EXPECT_EQ(out, "/");
    ASSERT_TRUE(ExpandFileSpecification("C:\\x\\..\\y.csv", out));
    EXPECT_EQ(out.find('\\'), std::string::npos);

    const std::string cwd = fs::current_path().string();
    ASSERT_TRUE(ExpandFileSpecification("rel/./x.txt", out));
    EXPECT_EQ(out, (fs::path(cwd) / "rel/x.txt").lexically_normal().string());
}

TEST(TempDirectoryTest, FileAndDirectoryChecksReportState) {
    const std::string dir = qetest::TestDir();
    const std::string file = dir + "/f.txt";
    ASSERT_TRUE(qetest::WriteFile(file, "data"));

    EXPECT_TRUE(ValidateFileSpecification(file));
    EXPECT_FALSE(ValidateFileSpecification(dir + "/missing.txt"));
    EXPECT_FALSE(ValidateFileSpecification(""));

    bool exists = false, valid = false, readOnly = true, inUse = true, locked = true;
    EXPECT_TRUE(ValidateFileSpecificationEx(file, exists, valid, readOnly, inUse, locked));
    EXPECT_TRUE(exists);
    EXPECT_TRUE(valid);
    EXPECT_FALSE(readOnly);
    EXPECT_FALSE(inUse);
    EXPECT_FALSE(locked);

    // A lock held through another open file description shows as locked.
    const int fd = open(file.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &lock), 0);
    EXPECT_TRUE(ValidateFileSpecificationEx(file, exists, valid, readOnly, inUse, locked));
    EXPECT_TRUE(locked);
    close(fd);

    EXPECT_TRUE(
        ValidateFileSpecificationEx(dir + "/missing", exists, valid, readOnly, inUse, locked));
    EXPECT_FALSE(exists);
    EXPECT_FALSE(ValidateFileSpecificationEx("", exists, valid, readOnly, inUse, locked));
    EXPECT_FALSE(valid);

    std::string expanded;
    EXPECT_TRUE(ValidateDirSpecification(dir + "/./", expanded, exists, readOnly));
    EXPECT_EQ(expanded, dir + "/");
    EXPECT_TRUE(exists);
    EXPECT_FALSE(readOnly);
    EXPECT_TRUE(ValidateDirSpecification(file, expanded, exists, readOnly));
    EXPECT_FALSE(exists);  // a file is not a directory
    EXPECT_FALSE(ValidateDirSpecification("", expanded, exists, readOnly));
}

// A directory this process may not write: chmod 0555 when permissions apply, else a kernel
// directory that even a privileged process cannot write.
std::string ReadOnlyDir() {
    const std::string dir = qetest::TestDir() + "/ro";
    fs::create_directories(dir);
    chmod(dir.c_str(), 0555);
    if (access(dir.c_str(), W_OK) != 0)
        return dir;
    if (access("/proc/sys", F_OK) == 0 && access("/proc/sys", W_OK) != 0)
        return "/proc/sys";
    return {};
}

TEST(TempDirectoryTest, ReadOnlyDirectoryIsReported) {
    const std::string dir = ReadOnlyDir();
    if (dir.empty())
        GTEST_SKIP() << "no read-only directory available";
    std::string expanded;
    bool exists = false, readOnly = false;
    EXPECT_TRUE(ValidateDirSpecification(dir, expanded, exists, readOnly));
    EXPECT_TRUE(exists);
    EXPECT_TRUE(readOnly);
}

TEST(TempDirectoryTest, ExtNameStrConvertsAndOpensUnderBothCodePages) {
    for (const char* codePage : {"UTF-8", "windows-1252"}) {
        SCOPED_TRACE(codePage);
        ASSERT_TRUE(qehost::testing::SetCodePage(codePage));
        const std::string generic = qUTF8mode() ? "caf\xc3\xa9.txt" : "caf\xe9.txt";
        ExtNameStr name;
        EXPECT_TRUE(name.Empty());
        EXPECT_EQ(name.fopen("rb"), nullptr);
        EXPECT_FALSE(name.remove());

        ASSERT_TRUE(name.SetGeneric(qetest::TestDir() + "/" + generic));
        EXPECT_EQ(name.GetU8(), qetest::TestDir() + "/caf\xc3\xa9.txt");
        EXPECT_EQ(name.GetU16().substr(name.GetU16().size() - 8), u"caf\u00e9.txt");
        FILE* file = name.fopen("wb");
        ASSERT_NE(file, nullptr);
        std::fclose(file);
        EXPECT_TRUE(fs::exists(qetest::TestDir() + "/caf\xc3\xa9.txt"));
        EXPECT_TRUE(ValidateFileSpecification(name.GetGeneric()));

        ExtNameStr fromU8;
        ASSERT_TRUE(fromU8.SetU8(name.GetU8()));
        EXPECT_EQ(fromU8.GetGeneric(), name.GetGeneric());
        EXPECT_TRUE(fromU8.remove());
        EXPECT_FALSE(fs::exists(name.GetU8()));
    }
    // A character the code page lacks is reported, and the name stays defined.
    ASSERT_TRUE(qehost::testing::SetCodePage("windows-1252"));
    ExtNameStr name;
    EXPECT_FALSE(name.SetU8("\xe6\x97\xa5.txt"));
    EXPECT_EQ(name.GetGeneric(), "?.txt");
    EXPECT_EQ(name.GetU16(), u"\u65e5.txt");
}

}  // namespace
