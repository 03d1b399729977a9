// Writing and reading archives with ZipWriter and ZipReader: names, contents, sticky status.
#include <gtest/gtest.h>
#include <minizip/unzip.h>

#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "ZipTestSupport.h"
#include "common/TestSupport.h"
#include "qeinteg/data/ZipDir.h"
#include "qeinteg/data/ZipReader.h"
#include "qeinteg/data/ZipWriter.h"

namespace {

struct Entry {
    std::string name;
    bool isDirectory;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> ListEntries(ZipReader& reader) {
    std::vector<Entry> entries;
    std::string name;
    bool isDirectory = false;
    for (bool more = reader.GetFirst(name, isDirectory); more;
         more = reader.GetNext(name, isDirectory)) {
        entries.push_back({name, isDirectory});
    }
    return entries;
}

// A stream that cannot seek, so its length is unknown while it is packed.
class PipeLikeBuf : public std::streambuf {
  public:
    explicit PipeLikeBuf(std::string data) : data_(std::move(data)) {
        setg(data_.data(), data_.data(), data_.data() + data_.size());
    }

  private:
    std::string data_;
};

}  // namespace

TEST(ZipReaderWriter, EntriesRoundTripWithForwardSlashNames) {
    const std::string archive = qetest::TestDir() + "/a.zip";
    const std::string file = qetest::TestDir() + "/input.bin";
    std::string binary(300000, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 31 % 251);
    ASSERT_TRUE(qetest::WriteFile(file, binary));
    {
        ZipWriter writer(archive);
        ASSERT_TRUE(writer.IsOpen());
        EXPECT_TRUE(writer.AddString("a/b.txt", "text of b"));
        EXPECT_TRUE(writer.AddString("c\\d.txt", ""));
        EXPECT_TRUE(writer.AddDirectoryName("dir"));
        EXPECT_TRUE(writer.AddDirectoryName("dir2\\"));
        std::istringstream stream(std::string(20000, 's'));
        EXPECT_TRUE(writer.AddStream("stream.txt", stream));
        PipeLikeBuf pipe("unseekable bytes");
        std::istream pipeStream(&pipe);
        EXPECT_TRUE(writer.AddStream("pipe.txt", pipeStream));
        EXPECT_TRUE(writer.AddFile("dir/input.bin", file));
        EXPECT_EQ(writer.Status(), 0);
    }
    EXPECT_EQ(ziptest::Run("unzip -tq " + archive), 0);

    ZipReader reader(archive);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.GetEntryCount(), 7);
    const std::vector<Entry> expected = {
        {"a/b.txt", false},    {"c/d.txt", false},  {"dir/", true},          {"dir2/", true},
        {"stream.txt", false}, {"pipe.txt", false}, {"dir/input.bin", false}};
    EXPECT_EQ(ListEntries(reader), expected);

    // The walk is over: every move fails from now on, the first entry included.
    std::string name;
    bool isDirectory = false;
    EXPECT_FALSE(reader.GetNext(name, isDirectory));
    EXPECT_FALSE(reader.GetFirst(name, isDirectory));
    std::string text;
    EXPECT_FALSE(reader.ExportString(text));
    EXPECT_EQ(reader.Status(), UNZ_END_OF_LIST_OF_FILE);

    ZipReader again(archive);
    std::string content;
    ASSERT_TRUE(again.GotoFile("dir/input.bin"));
    ASSERT_TRUE(again.ExportString(content));
    EXPECT_EQ(content, binary);
    ASSERT_TRUE(again.GotoFile("c\\d.txt"));  // either separator finds the entry
    EXPECT_TRUE(again.ExportString(content));
    EXPECT_EQ(content, "");
    ASSERT_TRUE(again.GotoFile("pipe.txt"));
    std::ostringstream out;
    EXPECT_TRUE(again.ExportStream(out));
    EXPECT_EQ(out.str(), "unseekable bytes");
    const std::string exported = qetest::TestDir() + "/exported.txt";
    ASSERT_TRUE(again.GotoFile("a/b.txt"));
    EXPECT_TRUE(again.ExportFile(exported));
    EXPECT_EQ(qetest::ReadFile(exported), "text of b");
    // A missing name ends the reader's use like any other failure.
    EXPECT_FALSE(again.GotoFile("no/such/entry"));
    EXPECT_FALSE(again.GotoFile("a/b.txt"));
}

TEST(ZipReaderWriter, OpenKeepsTheFirstArchiveAndFailuresAreReported) {
    const std::string first = qetest::TestDir() + "/first.zip";
    const std::string second = qetest::TestDir() + "/second.zip";
    {
        ZipWriter writer;
        EXPECT_FALSE(writer.IsOpen());
        EXPECT_FALSE(writer.AddString("x", "y"));  // nothing open yet
        EXPECT_FALSE(writer.Open(qetest::TestDir() + "/no/such/dir/a.zip"));
        ASSERT_TRUE(writer.Open(first));
        EXPECT_TRUE(writer.Open(second));
        EXPECT_TRUE(writer.AddString("one.txt", "1"));
        // A file that cannot be read and names the format cannot hold fail without spoiling
        // the archive.
        EXPECT_FALSE(writer.AddFile("missing.txt", qetest::TestDir() + "/missing.txt"));
        EXPECT_FALSE(writer.AddString(std::string(70000, 'n'), "too long a name"));
        EXPECT_FALSE(writer.AddString("", "no name"));
        EXPECT_FALSE(writer.AddDirectoryName(""));
        EXPECT_FALSE(writer.AddFile("dir.txt", qetest::TestDir()));
        EXPECT_TRUE(writer.AddString("two.txt", "2"));
        EXPECT_TRUE(writer.Close());
        EXPECT_FALSE(writer.IsOpen());
    }
    EXPECT_FALSE(std::filesystem::exists(second));
    ZipReader reader(first);
    EXPECT_TRUE(reader.Open(second));  // keeps the first
    EXPECT_EQ(ListEntries(reader), (std::vector<Entry>{{"one.txt", false}, {"two.txt", false}}));

    ZipReader missing(qetest::TestDir() + "/missing.zip");
    EXPECT_FALSE(missing.IsOpen());
    std::string name;
    bool isDirectory = false;
    EXPECT_FALSE(missing.GetFirst(name, isDirectory));

    ASSERT_TRUE(qetest::WriteFile(qetest::TestDir() + "/not.zip", "this is not an archive"));
    ZipReader garbage(qetest::TestDir() + "/not.zip");
    EXPECT_FALSE(garbage.IsOpen());

    ZipReader good(first);
    ASSERT_TRUE(good.GetFirst(name, isDirectory));
    EXPECT_FALSE(good.ExportFile(qetest::TestDir() + "/no/such/dir/out.txt"));
    EXPECT_TRUE(good.ExportFile(qetest::TestDir() + "/out.txt"));
}

TEST(ZipReaderWriter, LongNamesAreRefusedNotTruncated) {
    const std::string archive = qetest::TestDir() + "/long.zip";
    const std::string longName = std::string(200, 'd') + "/" + std::string(100, 'f');
    {
        ZipWriter writer(archive);
        EXPECT_TRUE(writer.AddString(longName, "long"));
        EXPECT_TRUE(writer.AddString("short.txt", "short"));
    }
    ZipReader reader(archive);
    std::string name;
    bool isDirectory = false;
    // 301 bytes do not fit the name buffer: refused rather than read cut off.
    EXPECT_FALSE(reader.GetFirst(name, isDirectory));
    ASSERT_TRUE(reader.GetNext(name, isDirectory));
    EXPECT_EQ(name, "short.txt");
    EXPECT_FALSE(UnzipToDir(archive, qetest::TestDir() + "/out"));
}

TEST(ZipReaderWriter, DamagedEntryDataFailsTheExport) {
    const std::string archive = qetest::TestDir() + "/damaged.zip";
    std::string payload;
    for (int i = 0; i < 20000; ++i)
        payload += std::to_string(i * 7 % 1000) + ",";
    {
        ZipWriter writer(archive);
        ASSERT_TRUE(writer.AddString("data.csv", payload));
    }
    std::string bytes = qetest::ReadFile(archive);
    bytes[30 + 8 + bytes.size() / 4] ^= 0x55;  // inside the compressed data
    ASSERT_TRUE(qetest::WriteFile(archive, bytes));

    ZipReader reader(archive);
    std::string name;
    bool isDirectory = false;
    ASSERT_TRUE(reader.GetFirst(name, isDirectory));
    std::string text;
    EXPECT_FALSE(reader.ExportString(text));
    EXPECT_NE(reader.Status(), 0);

    const std::string target = qetest::TestDir() + "/out";
    EXPECT_FALSE(UnzipToDir(archive, target));
    EXPECT_FALSE(std::filesystem::exists(target + "/data.csv"));  // no half-written file
}

TEST(ZipReaderWriter, MoreThan65535EntriesUseZip64Records) {
    const std::string archive = qetest::TestDir() + "/many.zip";
    constexpr int kEntries = 70000;
    {
        ZipWriter writer(archive);
        for (int i = 0; i < kEntries; ++i) {
            ASSERT_TRUE(writer.AddString("e" + std::to_string(i), std::to_string(i)));
        }
        ASSERT_TRUE(writer.Close());
    }
    EXPECT_EQ(ziptest::Run("unzip -tq " + archive), 0);
    ZipReader reader(archive);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.GetEntryCount(), kEntries);
    std::string name;
    bool isDirectory = false;
    int count = 0;
    for (bool more = reader.GetFirst(name, isDirectory); more;
         more = reader.GetNext(name, isDirectory)) {
        ASSERT_EQ(name, "e" + std::to_string(count));
        ++count;
    }
    EXPECT_EQ(count, kEntries);
    ZipReader last(archive);
    ASSERT_TRUE(last.GotoFile("e69999"));
    std::string text;
    ASSERT_TRUE(last.ExportString(text));
    EXPECT_EQ(text, "69999");
}
