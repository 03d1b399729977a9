// The host stand-in's data: CSV case files, projections, and the UTF-8 view with its converted
// copy, including text the host code page cannot hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "DatasetFixture.h"
#include "common/TestSupport.h"
#include "qeinteg/data/QEDataModel.h"
#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/platform/host/data/TAVO_CProjection.h"
#include "qeinteg/platform/host/data/TempFileDataStore.h"
#include "qeinteg/platform/host/data/UTF8DataSource.h"
#include "qeinteg/platform/host/data/UserInputCaseFile.h"
#include "qeinteg/platform/host/process/TavoErrorMonitor.h"
#include "qeinteg/platform/host/process/TempDirectory.h"
#include "qeinteg/platform/host/testing/CodePageTesting.h"
#include "qeinteg/platform/host/text/CodePage.h"
#include "qeinteg/platform/host/text/HostDates.h"

namespace {

using Levels = std::vector<TAVO_Variable_Enumerations::MeasurementLevel>;

class HostDataTest : public HostCodePageTest {};

TEST_P(HostDataTest, CsvCaseFileWithTheHeaderConvention) {
    const std::string path = qetest::TestDir() + "/points.csv";
    ASSERT_TRUE(qetest::WriteFile(
        path, H("id,stadt:A12:nominal,größe:F8.2:ordinal,born:DATE11,at:DATETIME20,t:TIME8,free\n"
                "1,\"Köln, Süd\",1.5,1970-01-02,1970-01-02 00:00:01,01:00,x\n"
                "2,\"multi\nline\",,2000-02-29,bad,,\n"
                "3,plain,abc,1970-01-01,1970-01-01T12:00:00,00:00:30.5,\"q\"\"q\"\n")));
    UserCaseFileSpec caseFile;
    ASSERT_TRUE(caseFile.Init(path, true, false));
    const UserInputCaseFile file(caseFile);
    ASSERT_TRUE(file.IsOpen()) << file.Error();
    const HostDataset& data = file.Dataset();
    ASSERT_EQ(data.ColumnCount(), 7);
    ASSERT_EQ(data.CaseCount(), 3);
    EXPECT_EQ(data.GetVariable(0).GetType(), 0);
    EXPECT_EQ(data.GetVariable(0).GetMeasurementLevel(), TAVO_Variable_Enumerations::Scale);
    EXPECT_EQ(data.GetVariable(1).GetType(), 12);
    EXPECT_EQ(data.GetVariable(2).GetName(), H("größe"));
    EXPECT_EQ(data.GetVariable(2).GetMeasurementLevel(), TAVO_Variable_Enumerations::Ordinal);
    EXPECT_EQ(data.GetVariable(3).GetFormat().type, TAVO_Format::DATE);
    EXPECT_EQ(data.GetVariable(6).GetType(), 3);  // inferred: a string as wide as "q\"q"
    EXPECT_EQ(data.GetString(0, 1), H("Köln, Süd") + std::string(12 - H("Köln, Süd").size(), ' '));
    EXPECT_EQ(data.GetString(1, 1).substr(0, 10), "multi\nline");
    EXPECT_EQ(data.GetNumeric(0, 2), 1.5);
    EXPECT_EQ(data.GetNumeric(1, 2), SYSMIS);
    EXPECT_EQ(data.GetNumeric(2, 2), SYSMIS);  // not a number
    EXPECT_EQ(data.GetString(2, 6), "q\"q");
    const double base = GetBaseDateNumber();
    EXPECT_EQ(data.GetNumeric(0, 3), base + 86400);
    EXPECT_EQ(data.GetNumeric(1, 3), qehost::HostDateNumber(2000, 2, 29));
    EXPECT_EQ(data.GetNumeric(0, 4), base + 86401);
    EXPECT_EQ(data.GetNumeric(1, 4), SYSMIS);
    EXPECT_EQ(data.GetNumeric(2, 4), base + 43200);
    EXPECT_EQ(data.GetNumeric(0, 5), 3600);
    EXPECT_EQ(data.GetNumeric(2, 5), 30.5);

    // Read as the point-data procedures do: a few named fields, strings in UTF-8.
    QERawDataIterator it(file.DataSource(), std::vector<std::string>{"stadt", "born"}, Levels{},
                         false, QERawDataIterator::Round, false, true);
    ASSERT_EQ(it.nextRecord(), 0u);
    const void* p = nullptr;
    size_t n = 0;
    ASSERT_EQ(it.getRecordValue(0, &p, &n), 0u);
    EXPECT_EQ(std::string(static_cast<const char*>(p), n), "Köln, Süd");
    ASSERT_EQ(it.getRecordValue(1, &p, &n), 0u);
    EXPECT_EQ(*static_cast<const double*>(p), 1.0);
}

TEST_P(HostDataTest, CsvFilesThatCannotBeReadGiveAnEmptySourceAndAReason) {
    const std::string dir = qetest::TestDir();
    const struct {
        const char* name;
        const char* content;
    } files[] = {
        {"format.csv", "a:Q8\n1\n"}, {"level.csv", "a:F8.2:loud\n1\n"}, {"dup.csv", "a,A\n1,2\n"},
        {"short.csv", "a\n1,2\n"},   {"empty-name.csv", ":F8\n1\n"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(qetest::WriteFile(dir + "/" + f.name, f.content));
        UserCaseFileSpec caseFile;
        caseFile.Init(dir + "/" + f.name, true, false);
        const UserInputCaseFile file(caseFile);
        EXPECT_FALSE(file.IsOpen());
        EXPECT_FALSE(file.Error().empty());
        EXPECT_EQ(file.DataSource().ColumnCount(), 0);
    }
    UserCaseFileSpec missing;
    EXPECT_FALSE(missing.Init("", true, false));
    missing.Init(dir + "/none.csv", false, false);
    EXPECT_FALSE(UserInputCaseFile(missing).IsOpen());
    // Without names in the first row every row is data.
    ASSERT_TRUE(qetest::WriteFile(dir + "/plain.csv", "1;x\n2;y\n"));
    UserCaseFileSpec plain;
    plain.Init(dir + "/plain.csv", false, false);
    plain.SetDelimiter(';');
    const UserInputCaseFile file(plain);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Dataset().GetVariable(1).GetName(), "V2");
    EXPECT_EQ(file.Dataset().CaseCount(), 2);
}

TEST_P(HostDataTest, CsvByteOrderMarkIsNotPartOfTheFirstNameAndRepeatedNamesAreNamed) {
    const std::string dir = qetest::TestDir();
    ASSERT_TRUE(qetest::WriteFile(dir + "/bom.csv",
                                  "\xEF\xBB\xBF"
                                  "a,b\n1,2\n"));
    UserCaseFileSpec caseFile;
    caseFile.Init(dir + "/bom.csv", true, false);
    const UserInputCaseFile file(caseFile);
    ASSERT_TRUE(file.IsOpen()) << file.Error();
    EXPECT_EQ(file.Dataset().GetVariable(0).GetName(), "a");
    EXPECT_EQ(file.Dataset().GetNumeric(0, 0), 1.0);

    ASSERT_TRUE(qetest::WriteFile(dir + "/dup.csv", "a,b,B\n1,2,3\n"));
    caseFile.Init(dir + "/dup.csv", true, false);
    const UserInputCaseFile dup(caseFile);
    EXPECT_FALSE(dup.IsOpen());
    EXPECT_EQ(dup.Error(), "duplicate variable name B");

    // A wide dictionary: names are checked by hash, so every column is kept.
    std::string header, row;
    for (int i = 0; i < 20000; ++i) {
        header += (i ? ",v" : "v") + std::to_string(i);
        row += (i ? ",1" : "1");
    }
    ASSERT_TRUE(qetest::WriteFile(dir + "/wide.csv", header + "\n" + row + "\n"));
    caseFile.Init(dir + "/wide.csv", true, false);
    const UserInputCaseFile wide(caseFile);
    ASSERT_TRUE(wide.IsOpen()) << wide.Error();
    EXPECT_EQ(wide.Dataset().ColumnCount(), 20000);
    HostDataset data;
    EXPECT_EQ(data.AddVariable(TAVO_Variable("Name", 0)), 0);
    EXPECT_EQ(data.AddVariable(TAVO_Variable("nAME", 0)), -1);
    EXPECT_EQ(data.AddVariable(TAVO_Variable("name2", 0)), 1);
}

TEST_P(HostDataTest, CsvDictionaryFileAddsLabelsMissingValuesRolesAndWeight) {
    const std::string dir = qetest::TestDir();
    ASSERT_TRUE(qetest::WriteFile(dir + "/d.csv", H("id,größe,city:A8,born:DATE11,w\n"
                                                    "1,2,Köln,1970-01-02,1\n"
                                                    "2,9,Bonn,1970-01-03,2\n")));
    ASSERT_TRUE(qetest::WriteFile(dir + "/d.dict", H("# the survey\n"
                                                     "label größe \"Größe in \"\"m\"\"\"\n"
                                                     "value größe 9 \"nicht gewußt\"\n"
                                                     "range größe 7 8 9\n"
                                                     "value city Köln \"Cologne\"\n"
                                                     "missing city \"n a\" Köln\n"
                                                     "missing born 1970-01-03\n"
                                                     "level id nominal\n"
                                                     "role id partition\n"
                                                     "weight w\n"
                                                     "\n"
                                                     "split city\n")));
    UserCaseFileSpec caseFile;
    caseFile.Init(dir + "/d.csv", true, false);
    caseFile.SetDictionaryPath(dir + "/d.dict");
    const UserInputCaseFile file(caseFile);
    ASSERT_TRUE(file.IsOpen()) << file.Error();
    QEDataModel model(file.DataSource(), false, true, false);
    const CFMetaData& md = model.getMetaData();
    const CFField& size = md.GetField(1);
    EXPECT_EQ(size.GetLabel(), "Größe in \"m\"");
    ASSERT_NE(size.GetMissingValues(), nullptr);
    EXPECT_EQ(size.GetMissingValues()->GetRange(),
              CFRange(CFDatum::MakeReal(7), CFDatum::MakeReal(8)));
    EXPECT_EQ(size.GetMissingValues()->GetValues()[0].GetLabel(), "nicht gewußt");
    const CFField& city = md.GetField(2);
    EXPECT_EQ(city.GetValueLabels()[0], CFValue(CFDatum::MakeText("Köln"), "Cologne", 0, 0));
    ASSERT_EQ(city.GetMissingValues()->GetValues().size(), 2u);
    EXPECT_EQ(city.GetMissingValues()->GetValues()[1].GetLabel(), "Cologne");
    EXPECT_EQ(md.GetField(3).GetMissingValues()->GetValues()[0].GetDatum(), CFDatum::MakeReal(2));
    EXPECT_EQ(md.GetField(0).GetMeasure(), CFField::Nominal);
    EXPECT_EQ(md.GetField(0).GetRole(), CFField::Partition);
    EXPECT_EQ(md.GetField(4).GetRole(), CFField::FreqWeight);
    EXPECT_EQ(file.DataSource().GetSplitCount(), 1);

    const char* bad[] = {"label nobody x\n",  "value größe x \"y\"\n",  "range city 1 2\n",
                         "role id boss\n",    "weight city\n",          "frobnicate id\n",
                         "label id \"open\n", "missing größe 1 2 3 4\n"};
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        ASSERT_TRUE(qetest::WriteFile(dir + "/bad.dict", H(line)));
        caseFile.SetDictionaryPath(dir + "/bad.dict");
        const UserInputCaseFile refused(caseFile);
        EXPECT_FALSE(refused.IsOpen());
        EXPECT_NE(refused.Error().find("line 1"), std::string::npos) << refused.Error();
        EXPECT_EQ(refused.DataSource().ColumnCount(), 0);
    }
    caseFile.SetDictionaryPath(dir + "/none.dict");
    EXPECT_FALSE(UserInputCaseFile(caseFile).IsOpen());
}

TEST_P(HostDataTest, ProjectionMapsWeightAndSplitColumns) {
    HostDataset data;
    AddNumeric(data, "a");
    const int w = AddNumeric(data, "w");
    const int s = AddString(data, "s", 2);
    data.SetWeightVariable(w);
    data.SetSplitVariables({s});
    const long row = data.AddCase();
    data.SetNumeric(row, 0, 7);
    data.SetNumeric(row, w, 2);
    const int cols[] = {s, 9, w};
    const TAVO_CProjection projection(data, cols, 3);
    EXPECT_EQ(projection.ColumnCount(), 2);
    EXPECT_EQ(projection.GetWeightVarIndex(), 1);
    ASSERT_EQ(projection.GetSplitCount(), 1);
    EXPECT_EQ(projection.GetSplitVarIndex(0), 0);
    const int only[] = {0};
    EXPECT_EQ(TAVO_CProjection(data, only, 1).GetWeightVarIndex(), -1);
    std::unique_ptr<TAVO_InputCaseIterator> it(projection.MakeIterator(nullptr));
    ASSERT_TRUE(it->NextCase());
    EXPECT_EQ(it->GetNumericValue(1), 2);
    EXPECT_EQ(std::string(it->GetStringValue(0), 2), "  ");
    EXPECT_FALSE(it->NextCase());
}

TEST_P(HostDataTest, CaseRunsCoverEveryCaseOnceWhateverTheMix) {
    HostDataset data;
    AddNumeric(data, "a");
    AddString(data, "s", 9);  // two slots: a stride longer than one value
    for (int i = 0; i < 10; ++i)
        data.SetNumeric(data.AddCase(), 0, i);
    std::unique_ptr<TAVO_InputCaseIterator> it(data.MakeIterator(nullptr));
    // Single cases and runs mixed: runs stop at the end and at what was asked, and the last case
    // of a run is the current case (a copy continues after it).
    ASSERT_TRUE(it->NextCase());
    EXPECT_EQ(it->GetNumericValue(0), 0);
    const OBS* first = nullptr;
    std::ptrdiff_t stride = 0;
    ASSERT_EQ(it->NextCases(4, first, stride), 4u);
    EXPECT_EQ(stride, data.SlotsPerCase());
    for (int j = 0; j < 4; ++j)
        EXPECT_EQ(first[j * stride].f, 1 + j);
    EXPECT_EQ(it->GetCaseNumber(), 5);
    EXPECT_EQ(it->GetNumericValue(0), 4);
    std::unique_ptr<TAVO_InputCaseIterator> copy = it->Clone();
    EXPECT_EQ(copy->GetNumericValue(0), 4);
    ASSERT_TRUE(copy->NextCase());
    EXPECT_EQ(copy->GetNumericValue(0), 5);
    ASSERT_EQ(it->NextCases(100, first, stride), 5u);
    EXPECT_EQ(first[0].f, 5);
    EXPECT_EQ(first[4 * stride].f, 9);
    EXPECT_EQ(it->GetCaseNumber(), 10);
    EXPECT_EQ(it->NextCases(100, first, stride), 0u);
    EXPECT_FALSE(it->HasCase());
    EXPECT_FALSE(it->NextCase());
}

TEST_P(HostDataTest, AStoredCopyGivesRunsWithinItsBlocksAndAcrossThem) {
    // Enough cases for several of the file copy's read blocks (16-byte records, 256 KiB blocks).
    HostDataset data;
    AddNumeric(data, "a");
    constexpr long kCases = 40000;
    for (long i = 0; i < kCases; ++i)
        data.SetNumeric(data.AddCase(), 0, static_cast<double>(i) * 2);
    const TempFileDataStore store(data);
    ASSERT_FALSE(store.Path().empty());
    std::unique_ptr<TAVO_InputCaseIterator> it(store.MakeIterator(nullptr));
    long seen = 0;
    size_t runs = 0;
    const OBS* first = nullptr;
    std::ptrdiff_t stride = 0;
    while (const size_t n = it->NextCases(5000, first, stride)) {
        ASSERT_LE(n, 5000u);
        for (size_t j = 0; j < n; ++j)
            ASSERT_EQ(first[static_cast<std::ptrdiff_t>(j) * stride].f, (seen + j) * 2.0)
                << "case " << seen + j;
        seen += static_cast<long>(n);
        ASSERT_EQ(it->GetCaseNumber(), seen);
        ++runs;
        if (runs == 3) {
            // A copy taken after a run goes on from the case after it.
            std::unique_ptr<TAVO_InputCaseIterator> copy = it->Clone();
            EXPECT_EQ(copy->GetNumericValue(0), (seen - 1) * 2.0);
            ASSERT_TRUE(copy->NextCase());
            EXPECT_EQ(copy->GetNumericValue(0), seen * 2.0);
            EXPECT_EQ(copy->GetCaseNumber(), seen + 1);
        }
    }
    EXPECT_EQ(seen, kCases);
    // 5000 at most, and cut at each block's end: a few more than 8, not one case at a time.
    EXPECT_GT(runs, 8u);
    EXPECT_LT(runs, 20u);
    EXPECT_FALSE(it->HasCase());
}

// Counts what it is told.
class CountingMonitor : public ErrorMonitor {
  public:
    void Report(const std::string& message) override {
        Count();
        last = message;
    }
    std::string last;
};

TEST(HostDataCp1252Test, TextTheCodePageCannotHoldIsReplacedAndReported) {
    ASSERT_TRUE(qehost::testing::SetCodePage("WINDOWS-1252"));
    HostDataset data;
    AddString(data, "s", 4);
    AddNumeric(data, "n");
    data.Variable(0).SetStringMissingValues({"\xE9"});
    const char* values[] = {
        "a\x81"
        "b",
        "\xE9", "\x80"};
    for (const char* v : values) {
        const long row = data.AddCase();
        data.SetString(row, 0, v);
        data.SetNumeric(row, 1, static_cast<double>(row));
    }
    CountingMonitor monitor;
    const UTF8DataSource view(data, "WINDOWS-1252", &monitor);
    EXPECT_EQ(view.GetVariable(0).GetType(), 12);  // the euro sign needs three bytes
    EXPECT_EQ(view.GetVariable(0).GetStringMissingValues(), std::vector<std::string>{"é"});
    const TempFileDataStore store(view);
    EXPECT_EQ(monitor.ErrorCount(), 1);
    // The copy keeps only the room its texts need.
    EXPECT_EQ(store.GetVariable(0).GetType(), 3);
    EXPECT_EQ(store.CaseCount(), 3);
    EXPECT_NE(monitor.last.find("case 1"), std::string::npos);
    ASSERT_FALSE(store.Path().empty());
    EXPECT_EQ(std::filesystem::path(store.Path()).parent_path(),
              std::filesystem::path(GetTavoTempPath()).parent_path());
    std::unique_ptr<TAVO_InputCaseIterator> it(store.MakeIterator(nullptr));
    ASSERT_TRUE(it->NextCase());
    EXPECT_EQ(std::string(it->GetStringValue(0), 3), "a?b");
    EXPECT_EQ(it->GetCaseNumber(), 1);
    ASSERT_TRUE(it->NextCase());
    EXPECT_TRUE(store.GetVariable(0).IsMissing(it->GetStringValue(0)));
    ASSERT_TRUE(it->NextCase());
    EXPECT_EQ(std::string(it->GetStringValue(0), 3), "€");
    EXPECT_EQ(it->GetNumericValue(1), 2);
    EXPECT_FALSE(it->NextCase());

    // An iterator without a monitor of its own reports through the host; its copy is deleted
    // with it.
    std::string storePath;
    {
        QERawDataIterator raw(data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Round,
                              false);
        ASSERT_EQ(qehost::ReportedMessages().size(), 1u);
        EXPECT_NE(qehost::ReportedMessages()[0].find("variable s"), std::string::npos);
        ASSERT_EQ(raw.nextRecord(), 0u);
        const void* p = nullptr;
        size_t n = 0;
        ASSERT_EQ(raw.getRecordValue(0, &p, &n), 0u);
        EXPECT_EQ(std::string(static_cast<const char*>(p), n), "a?b");
        ASSERT_EQ(raw.nextRecord(), 0u);
        ASSERT_EQ(raw.getRecordValue(0, &p, &n), 0u);
        EXPECT_EQ(p, nullptr);
    }
    int stores = 0;
    for (const auto& entry : std::filesystem::directory_iterator(GetTavoTempPath())) {
        if (entry.path().filename().string().rfind("qe_store_", 0) == 0)
            ++stores;
    }
    EXPECT_EQ(stores, 1);  // only the store made above
    QERawDataIterator given(data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Round,
                            false, &monitor);
    EXPECT_EQ(monitor.ErrorCount(), 2);
    EXPECT_EQ(qehost::ReportedMessages().size(), 1u);
}

TEST(HostDataCp932Test, DoubleByteTextReachesTheEngineWhole) {
    ASSERT_TRUE(qehost::testing::SetCodePage("CP932"));
    HostDataset data;
    AddString(data, "s", 8);
    std::string host;
    TAVOMBU8ToGeneric(std::string_view("日本語"), host, nullptr);
    ASSERT_EQ(host.size(), 6u);
    data.SetString(data.AddCase(), 0, host);
    data.SetString(data.AddCase(), 0, "ab");
    // A value cut after the lead byte of a character, at the very end of the case.
    data.SetString(data.AddCase(), 0, "abcdefg\x82");
    QERawDataIterator it(data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Round,
                         false);
    std::vector<std::string> seen;
    while (it.nextRecord() == 0) {
        const void* p = nullptr;
        size_t n = 0;
        ASSERT_EQ(it.getRecordValue(0, &p, &n), 0u);
        seen.emplace_back(static_cast<const char*>(p), n);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"日本語", "ab", "abcdefg?"}));
    EXPECT_EQ(qehost::ReportedMessages().size(), 1u);
}

QE_ALL_CODE_PAGES(HostDataTest);

}  // namespace
