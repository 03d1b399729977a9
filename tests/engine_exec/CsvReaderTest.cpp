#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "EngineTestUtil.h"
#include "common/TestSupport.h"
#include "qeinteg/platform/engine/exec/EngineJob.h"
#include "qeinteg/platform/engine/io/CsvRowSource.h"
#include "qeinteg/platform/engine/io/CsvScanner.h"
#include "qeinteg/platform/engine/stats/Descriptives.h"

using namespace qelocal;
using enginetest::PathContainer;
using Json = nlohmann::ordered_json;

namespace {

// Every record of `path` as texts, an unquoted empty cell written as "<null>".
std::vector<std::vector<std::string>> Records(const std::string& path, size_t block) {
    CsvScanner scanner(path, block);
    std::vector<std::vector<std::string>> out;
    while (scanner.next()) {
        std::vector<std::string>& record = out.emplace_back();
        for (size_t i = 0; i < scanner.size(); ++i)
            record.push_back(scanner.null(i) ? "<null>" : std::string(scanner.text(i)));
    }
    return out;
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

std::string Write(const std::string& name, const std::string& content) {
    const std::string path = qetest::TestDir() + "/" + name;
    qetest::WriteFile(path, content);
    return path;
}

// Two summaries of the same data, read two ways, must agree in every figure.
void ExpectSameSummary(const FieldSummary& a, const FieldSummary& b) {
    EXPECT_EQ(a.field.storage, b.field.storage);
    EXPECT_EQ(a.valid, b.valid);
    EXPECT_EQ(a.missing, b.missing);
    EXPECT_EQ(a.minimum, b.minimum);
    EXPECT_EQ(a.maximum, b.maximum);
    EXPECT_EQ(a.mean, b.mean);
    EXPECT_EQ(a.stdDev, b.stdDev);
    EXPECT_EQ(a.distinctCount, b.distinctCount);
    EXPECT_EQ(a.distinctValues, b.distinctValues);
}

}  // namespace

TEST(CsvReader, QuotingLineBreaksAndBlanksSurviveEveryBufferBoundary) {
    // Each construct of the format, at every position relative to the end of a read block: a
    // record split across two reads must come out as if read whole.
    const std::string path = Write("rfc.csv",
                                   "\xEF\xBB\xBF"
                                   "a,b,c\r\n"
                                   "\"x, y\",\"say \"\"hi\"\"\",\"two\nlines\"\r\n"
                                   "  padded  , \"quoted\" ,\"\"\n"
                                   "\n"
                                   "1,,3\r"
                                   "\"\"\"\",\"a\"\"\",last,\n"
                                   "no,final,newline");
    const std::vector<std::vector<std::string>> expected = {
        {"a", "b", "c"},      {"x, y", "say \"hi\"", "two\nlines"}, {"  padded  ", "quoted", ""},
        {"1", "<null>", "3"}, {"\"", "a\"", "last", "<null>"},      {"no", "final", "newline"}};
    for (size_t block : {size_t{8}, size_t{9}, size_t{13}, size_t{31}, size_t{1} << 20}) {
        SCOPED_TRACE(block);
        EXPECT_EQ(Records(path, block), expected);
    }
}

TEST(CsvReader, CellsEndAtTheRightByteWhereverTheyCrossAWordOrBlock) {
    // Cells of every width from 0 to 70 bytes, so that their ends fall at every position of the
    // 16- and 64-byte steps the scanner compares bytes in, before and after quoted cells with
    // separators inside; the records run longer than a block.
    std::vector<std::vector<std::string>> expected;
    std::string content;
    for (int record = 0; record < 40; ++record) {
        std::vector<std::string>& cells = expected.emplace_back();
        std::string line;
        for (int c = 0; c < 9; ++c) {
            const size_t width = static_cast<size_t>((record * 7 + c * 13) % 71);
            std::string text(width, static_cast<char>('a' + (record + c) % 26));
            const bool quoted = (record + c) % 5 == 0;
            if (quoted && width > 2)
                text[width / 2] = ',';
            if (c > 0)
                line += ',';
            line += quoted ? "\"" + text + "\"" : text;
            cells.push_back(text.empty() && !quoted ? "<null>" : text);
        }
        content += line + (record % 2 == 0 ? "\n" : "\r\n");
    }
    const std::string path = Write("widths.csv", content);
    for (size_t block : {size_t{64}, size_t{100}, size_t{1} << 20}) {
        SCOPED_TRACE(block);
        EXPECT_EQ(Records(path, block), expected);
    }
}

TEST(CsvReader, AFileThatGrowsAfterOpeningIsReadToItsNewEnd) {
    // A small file's buffer is sized by the file's length at opening; records appended before the
    // first read (a log still being written) must come out whole, not cut at the old length.
    const std::string path = Write("growing.csv", "a,b\n");
    CsvScanner scanner(path);
    std::string more;
    for (int i = 0; i < 5000; ++i)
        more += std::to_string(i) + ",\"x" + std::string(static_cast<size_t>(i % 90), 'y') + "\"\n";
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << more;
    }
    size_t records = 0;
    while (scanner.next()) {
        ASSERT_EQ(scanner.size(), 2u) << records;
        if (records > 0) {
            const int i = static_cast<int>(records) - 1;
            ASSERT_EQ(scanner.text(0), std::to_string(i));
            ASSERT_EQ(scanner.text(1), "x" + std::string(static_cast<size_t>(i % 90), 'y'));
        }
        ++records;
    }
    EXPECT_EQ(records, 5001u);
}

TEST(CsvReader, MalformedFilesAreRefusedWithTheirCause) {
    auto error = [](const std::string& content) {
        const std::string path = Write("bad.csv", content);
        return ErrorOf([&] { Records(path, 1 << 20); });
    };
    const std::string dir = qetest::TestDir();
    EXPECT_EQ(error("a,b\n1,x\"y\"z\n"), "the CSV file " + dir +
                                             "/bad.csv is malformed near record 2: a quote inside "
                                             "an unquoted field");
    EXPECT_EQ(error("a,b\n\"1\"x,2\n"), "the CSV file " + dir +
                                            "/bad.csv is malformed near record 2: text after the "
                                            "closing quote of a field");
    EXPECT_EQ(error("a,b\n1,\"open\nstill open"),
              "the CSV file " + dir + "/bad.csv ends inside a quoted field");
    // A closing quote as the last byte of the file closes the field.
    const std::string path = Write("end.csv", "a\n\"x\"");
    EXPECT_EQ(Records(path, 8), (std::vector<std::vector<std::string>>{{"a"}, {"x"}}));
}

TEST(CsvReader, OnePassTypesWidenOrStartOverAndAgreeWithTheSettledRead) {
    // Past the sample: an integer column meets a real (widened in place), another a text (start
    // over), a column empty in the sample meets numbers (start over), and blanks around a number
    // still read as the number.
    std::string content = "id,n,t,late\n";
    for (int i = 0; i < 12000; ++i) {
        std::string n = std::to_string(i);
        if (i == 11000)
            n = "2.5";
        std::string t = i == 11500 ? "many" : std::to_string(i % 7);
        std::string late = i >= 11800 ? " " + std::to_string(i) + " " : "";
        content += std::to_string(i) + "," + n + "," + t + "," + late + "\n";
    }
    const std::string path = Write("widen.csv", content);

    auto summarise = [&](CsvTyping typing, uint64_t& restarts) {
        CsvRowSource source(path, true, std::nullopt, {}, typing);
        DescriptivesSettings settings;
        DescriptivesResult result =
            ComputeDescriptives(source, settings, {}, [&] { return source.restarts(); });
        restarts = source.restarts();
        return result;
    };
    uint64_t onePassRestarts = 0;
    uint64_t settledRestarts = 0;
    const DescriptivesResult onePass = summarise(CsvTyping::Provisional, onePassRestarts);
    const DescriptivesResult settled = summarise(CsvTyping::Settled, settledRestarts);
    EXPECT_EQ(onePassRestarts, 1u);
    EXPECT_EQ(settledRestarts, 0u);
    ASSERT_EQ(onePass.fields.size(), 4u);
    EXPECT_EQ(onePass.records, 12000u);
    const std::vector<Storage> storages = {Storage::Integer, Storage::Real, Storage::String,
                                           Storage::Integer};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(onePass.fields[i].field.storage, storages[i]);
        ExpectSameSummary(onePass.fields[i], settled.fields[i]);
    }
    EXPECT_EQ(onePass.fields[3].valid, 200u);
    EXPECT_EQ(onePass.fields[3].minimum, 11800);
    EXPECT_EQ(onePass.fields[2].distinctCount, 8u);

    // Only a widening from integer to real: one pass, no restart.
    std::string reals = "x\n";
    for (int i = 0; i < 11000; ++i)
        reals += (i == 10500 ? "0.5" : std::to_string(i)) + "\n";
    CsvRowSource source(Write("reals.csv", reals), true, std::nullopt, {}, CsvTyping::Provisional);
    DescriptivesResult result =
        ComputeDescriptives(source, DescriptivesSettings{}, {}, [&] { return source.restarts(); });
    EXPECT_EQ(source.restarts(), 0u);
    EXPECT_EQ(result.fields[0].field.storage, Storage::Real);
    EXPECT_EQ(result.fields[0].minimum, 0);
    EXPECT_EQ(result.records, 11000u);
}

TEST(CsvReader, RowArraysHoldNoStaleValuesAfterTheReadStartsOver) {
    // Columns change between text and number when the read starts over: "t" is numeric in the
    // sample and text after, "late" is empty (text) in the sample and numeric after. The arrays a
    // consumer reads whole rows from must say what cell() says, at every record, and a summary
    // taken through them must equal one taken value by value.
    std::string content = "t,late,s\n";
    for (int i = 0; i < 10500; ++i) {
        const std::string t = i == 10400 ? "many" : std::to_string(i % 5) + ".5";
        const std::string late = i >= 10300 ? std::to_string(i) : "";
        content += t + "," + late + "," + (i % 3 == 0 ? "" : "v" + std::to_string(i % 4)) + "\n";
    }
    const std::string path = Write("arrays.csv", content);
    {
        CsvRowSource source(path, true, std::nullopt, {}, CsvTyping::Provisional);
        uint64_t records = 0;
        uint64_t restarts = 0;
        while (source.next()) {
            if (source.restarts() != restarts) {
                restarts = source.restarts();
                records = 0;  // the first record again
            }
            ++records;
            RowArrays row;
            ASSERT_TRUE(source.rowArrays(row));
            for (size_t i = 0; i < source.fields().size(); ++i) {
                const Cell byCall = source.cell(i);
                const Cell byArray = row.cell(i);
                ASSERT_EQ(byArray.missing, byCall.missing) << records << " " << i;
                ASSERT_EQ(byArray.number, byCall.number) << records << " " << i;
                ASSERT_EQ(byArray.text, byCall.text) << records << " " << i;
                if (source.fields()[i].storage != Storage::String) {
                    ASSERT_TRUE(byCall.text.empty()) << records << " " << i;
                } else {
                    ASSERT_EQ(byCall.number, 0.0) << records << " " << i;
                }
            }
        }
        EXPECT_EQ(source.restarts(), 1u);
        EXPECT_EQ(records, 10500u);
    }

    // The same summary through a source that offers no arrays (one call per value).
    class ByValue final : public RowSource {
      public:
        explicit ByValue(RowSource& inner) : inner_(inner) {}
        const std::vector<EngineField>& fields() const override { return inner_.fields(); }
        bool next() override { return inner_.next(); }
        Cell cell(size_t index) override { return inner_.cell(index); }

      private:
        RowSource& inner_;
    };
    CsvRowSource a(path, true, std::nullopt, {}, CsvTyping::Provisional);
    CsvRowSource b(path, true, std::nullopt, {}, CsvTyping::Provisional);
    ByValue byValue(b);
    DescriptivesSettings settings;
    const DescriptivesResult fast =
        ComputeDescriptives(a, settings, {}, [&] { return a.restarts(); });
    const DescriptivesResult slow =
        ComputeDescriptives(byValue, settings, {}, [&] { return b.restarts(); });
    ASSERT_EQ(fast.fields.size(), 3u);
    ASSERT_EQ(slow.fields.size(), 3u);
    EXPECT_EQ(fast.records, slow.records);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ExpectSameSummary(fast.fields[i], slow.fields[i]);
    }
    EXPECT_EQ(fast.fields[0].field.storage, Storage::String);
    EXPECT_EQ(fast.fields[1].field.storage, Storage::Integer);
    EXPECT_EQ(fast.fields[1].valid, 200u);
    EXPECT_EQ(fast.fields[2].distinctValues, (std::vector<std::string>{"v0", "v1", "v2", "v3"}));
}

TEST(CsvReader, BadRecordsAreReportedOnceEvenWhenTheReadStartsOver) {
    // Two records of the wrong width before a text that makes the reader start over: the
    // threshold counts each bad record once, so a threshold of 2 lets the job pass.
    std::string content = "a,b\n1,2\n3\n4,5,6\n";
    for (int i = 0; i < 10500; ++i)
        content += std::to_string(i) + ",7\n";
    content += "text,8\n";
    const std::string path = Write("skips.csv", content);
    const std::string stat = qetest::TestDir() + "/skips.zip";
    PathContainer container("StatXML", stat);
    JobEnvironment env;
    env.outputContainers = {&container};
    std::vector<std::string> skipped;
    env.message = [&](const std::string& id, const std::string& text) {
        if (id == "BAD_RECORD_SKIPPED")
            skipped.push_back(text);
    };
    Json reader = {
        {"filesystem",
         {{"locations",
           Json::array({{{"path", "file:///" + path}, {"parser", {{"name", "csv"}}}}})}}},
        {"readErrorThreshold", 2}};
    Json outputs = Json::array({{{"export", true}, {"name", "StatXML"}, {"uri", "file:///x"}}});
    RunPipelines({{EngineStep{"", "read", {reader}, 1},
                   EngineStep{"descriptives", "descriptives", {Json::object(), outputs}, 2}}},
                 env);
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_NE(skipped[0].find("record 2 of"), std::string::npos);
    EXPECT_NE(skipped[1].find("record 3 of"), std::string::npos);
    const std::string xml = enginetest::ReadZipEntry(stat, "StatXML.xml").value_or("");
    EXPECT_NE(xml.find("<FieldSummary name=\"a\" storage=\"string\""), std::string::npos);
    EXPECT_NE(xml.find("records=\"10502\""), std::string::npos);
}
