// The engine's side of the exchange: a loop that knows only the row-iterator interface and the
// data model XML pulls a whole dataset and must see exactly the values the host holds; the local
// engine's source must see the same records through the batch face as value by value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>

#include "DatasetFixture.h"
#include "common/TestSupport.h"
#include "qeinteg/data/QEDataModel.h"
#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/platform/engine/exec/Batch.h"
#include "qeinteg/platform/engine/io/IteratorRowSource.h"
#include "qeinteg/platform/engine/io/RowSourceStream.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/engine/service/LocalExecutor.h"
#include "qeinteg/platform/host/text/CodePage.h"
#include "qeinteg/platform/host/text/HostDates.h"

namespace {

using Levels = std::vector<TAVO_Variable_Enumerations::MeasurementLevel>;

// One delivered value as the engine keeps it.
struct Value {
    bool null = true;
    double number = 0;
    std::string text;
    bool operator==(const Value&) const = default;
};

// Pulls every row the way the engine does, knowing only the interface and the XML.
std::vector<std::vector<Value>> Pull(EmbeddedQE::RowDataIterator& it, CFMetaData& layout) {
    EXPECT_TRUE(layout.ImportXMLDoc(it.getDataModel())) << layout.GetError();
    std::vector<std::vector<Value>> rows;
    while (it.nextRecord() == 0) {
        std::vector<Value> row;
        for (int k = 0; k < layout.FieldCount(); ++k) {
            const void* data = nullptr;
            size_t length = 0;
            EXPECT_EQ(it.getRecordValue(static_cast<size_t>(k), &data, &length), 0u);
            Value v;
            v.null = data == nullptr;
            if (!v.null && layout.GetField(k).GetStorage() == CFField::String) {
                v.text.assign(static_cast<const char*>(data), length);
            } else if (!v.null) {
                EXPECT_EQ(length, sizeof(double));
                std::memcpy(&v.number, data, sizeof(double));
            }
            row.push_back(v);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string TrimmedUtf8(std::string_view bytes) {
    while (bytes.size() > 1 && bytes.back() == ' ')
        bytes.remove_suffix(1);
    std::string utf8;
    TAVOMBGenericToU8(bytes, utf8, nullptr);
    return utf8;
}

class EnginePullTest : public HostCodePageTest {};

TEST_P(EnginePullTest, EngineSeesExactlyTheHostValues) {
    HostDataset data;
    const int num = AddNumeric(data, H("zählung"));
    const int str = AddString(data, H("näme"), 10);
    const int wide = AddString(data, "wide", 40);
    const int date = AddNumeric(data, "day", TAVO_Format::ADATE);
    const int stamp = AddNumeric(data, "stamp", TAVO_Format::YMDHMS);
    const int weight = AddNumeric(data, "w");
    data.SetWeightVariable(weight);
    data.Variable(num).SetMissingValues({-99});
    const std::string words[] = {"", "a", "Ärger", "ça va", "x y z", "€uro", "ß", "trailing  "};
    std::mt19937 rng(7);
    const double base = GetBaseDateNumber();
    const int cases = 500;
    for (int i = 0; i < cases; ++i) {
        const long row = data.AddCase();
        data.SetNumeric(row, num, i % 17 == 0 ? SYSMIS : (i % 13 == 0 ? -99 : rng() / 7.0));
        data.SetString(row, str, H(words[rng() % 8]));
        data.SetString(row, wide, H(words[rng() % 8] + " " + words[rng() % 8] + "|"));
        data.SetNumeric(row, date, base + 86400.0 * (static_cast<int>(rng() % 20000) - 10000));
        data.SetNumeric(row, stamp, base + (rng() % 1000000) * 0.5);
        data.SetNumeric(row, weight, i % 10 == 0 ? 0 : 1 + i % 3);
    }

    QEDataModel model(data, true, true, false);
    model.UpdateAnalysMetadata(std::vector<int>{stamp, str, num, wide, date, weight});
    QERawDataIterator it(model);
    it.SetName("input");
    CFMetaData layout;
    const auto rows = Pull(it, layout);
    ASSERT_EQ(layout.FieldCount(), 7);
    EXPECT_EQ(layout.GetField(2).GetName(), "zählung");
    EXPECT_EQ(layout.GetField(1).GetName(), "näme");
    EXPECT_EQ(layout.GetField(5).GetRole(), CFField::FreqWeight);
    EXPECT_EQ(layout.GetField(6).GetName(), "$casecount");

    // What the engine should have seen, from the host's own values.
    std::vector<std::vector<Value>> expected;
    for (long r = 0; r < data.CaseCount(); ++r) {
        if (data.GetNumeric(r, weight) <= 0)
            continue;
        const auto number = [](double v) { return v == SYSMIS ? Value{} : Value{false, v, ""}; };
        const double n = data.GetNumeric(r, num);
        expected.push_back({
            number(data.GetNumeric(r, stamp) - base),
            Value{false, 0, TrimmedUtf8(data.GetString(r, str))},
            number(n == -99 ? SYSMIS : n),
            Value{false, 0, TrimmedUtf8(data.GetString(r, wide))},
            number((data.GetNumeric(r, date) - base) / 86400.0),
            number(data.GetNumeric(r, weight)),
            number(static_cast<double>(r + 1)),
        });
    }
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i], expected[i]) << "row " << i;
    }
    EXPECT_EQ(it.GetNCases(), cases);
    EXPECT_EQ(it.GetNInvalidCases(), cases / 10);

    // A second pass after Rewind delivers the same rows.
    ASSERT_EQ(it.Rewind(), 0u);
    CFMetaData again;
    EXPECT_EQ(Pull(it, again), rows);
}

QE_ALL_CODE_PAGES(EnginePullTest);

}  // namespace

namespace {

// The row interface alone: hides the batch face of the iterator it forwards to.
class ValueByValue final : public EmbeddedQE::RowDataIterator {
  public:
    explicit ValueByValue(EmbeddedQE::RowDataIterator& inner) : inner_(inner) {}
    std::string getName() override { return inner_.getName(); }
    std::string getDataModel() override { return inner_.getDataModel(); }
    uint32_t nextRecord() override { return inner_.nextRecord(); }
    uint32_t getRecordValue(size_t index, const void** data, size_t* length) override {
        return inner_.getRecordValue(index, data, length);
    }
    void dispose(JNIEnv* env) override { inner_.dispose(env); }
    uint32_t Rewind() override { return inner_.Rewind(); }

  private:
    EmbeddedQE::RowDataIterator& inner_;
};

// A cell as the engine keeps it: the number of a missing cell does not count.
Value FromCell(bool missing, double number, std::string_view text) {
    return missing ? Value{} : Value{false, number, std::string(text)};
}

// Every record the local engine's source gives, as Values.
std::vector<std::vector<Value>> PullSource(qelocal::IteratorRowSource& source) {
    std::vector<std::vector<Value>> rows;
    while (source.next()) {
        std::vector<Value> row;
        for (size_t k = 0; k < source.fields().size(); ++k) {
            const qelocal::Cell c = source.cell(k);
            row.push_back(FromCell(c.missing, c.number, c.text));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// Every record the engine's reader makes of the iterator: column batches, as the engine's
// functions receive them.
std::vector<std::vector<Value>> PullStream(EmbeddedQE::RowDataIterator& face) {
    qelocal::ExecContext context;
    qelocal::RowSourceStream stream(std::make_unique<qelocal::IteratorRowSource>(face), context,
                                    0.0f, 1.0f);
    std::vector<std::vector<Value>> rows;
    qelocal::Batch batch;
    while (stream.next(batch)) {
        for (size_t r = 0; r < batch.rows; ++r) {
            std::vector<Value> row;
            for (const qelocal::Column& c : batch.columns) {
                EXPECT_EQ(c.size(), batch.rows);
                row.push_back(FromCell(c.valid[r] == 0, c.isString() ? 0.0 : c.num[r],
                                       c.isString() ? std::string_view(c.str[r]) : ""));
            }
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

// A difference between two pulls, named by row; empty when they agree.
std::string FirstDifference(const std::vector<std::vector<Value>>& got,
                            const std::vector<std::vector<Value>>& want) {
    if (got.size() != want.size())
        return std::to_string(got.size()) + " rows for " + std::to_string(want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != want[i])
            return "row " + std::to_string(i);
    }
    return "";
}

class BatchFaceTest : public HostCodePageTest {};

TEST_P(BatchFaceTest, BatchAndValueByValueGiveTheSameRecords) {
    // More cases than one batch holds, with system- and user-missing numbers, infinities and NaN,
    // missing and padded strings in the host's code page, rounded and skipped weights, and a
    // projection that reorders columns.
    HostDataset data;
    const int num = AddNumeric(data, "n");
    const int str = AddString(data, H("näme"), 12);
    const int skipped = AddNumeric(data, "not used");
    const int date = AddNumeric(data, "day", TAVO_Format::ADATE);
    const int weight = AddNumeric(data, "w");
    data.SetWeightVariable(weight);
    data.Variable(num).SetMissingValues({-99});
    data.Variable(str).SetStringMissingValues({H("nö")});
    const std::string words[] = {"", "a", "Ärger", "nö", "€uro  ", "x y"};
    const double base = GetBaseDateNumber();
    const int cases = 2600;
    for (int i = 0; i < cases; ++i) {
        const long row = data.AddCase();
        double n = i % 17 == 0 ? SYSMIS : (i % 13 == 0 ? -99 : i * 0.25);
        if (i % 29 == 0)
            n = i % 58 == 0 ? std::numeric_limits<double>::infinity()
                            : std::numeric_limits<double>::quiet_NaN();
        else if (i % 41 == 0)
            n = i % 82 == 0 ? DBL_MAX : std::nextafter(-DBL_MAX, 0.0);  // the extremes of a value
        data.SetNumeric(row, num, n);
        data.SetString(row, str, H(words[i % 6]));
        data.SetNumeric(row, skipped, i);
        data.SetNumeric(row, date, i % 7 == 0 ? SYSMIS : base + 86400.0 * i);
        data.SetNumeric(row, weight,
                        i % 10 == 0 ? 0 : (i % 31 == 0 ? 1.4 : (i % 37 == 0 ? 2.6 : 1)));
    }
    QEDataModel model(data, true, true, false);
    model.UpdateAnalysMetadata(std::vector<int>{str, date, num, weight});

    QERawDataIterator batched(model);
    QERawDataIterator plain(model);
    ValueByValue perValue(plain);
    qelocal::IteratorRowSource fast(batched);
    qelocal::IteratorRowSource slow(perValue);
    ASSERT_TRUE(fast.batched());
    ASSERT_FALSE(slow.batched());
    const auto rows = PullSource(fast);
    const auto expected = PullSource(slow);
    ASSERT_EQ(rows.size(), static_cast<size_t>(cases - cases / 10));
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i)
        ASSERT_EQ(rows[i], expected[i]) << "row " << i;
    // Spot checks that the compared values are the real ones: row 1 is case 1.
    EXPECT_EQ(rows[0][0].text, "a");
    EXPECT_TRUE(rows[2][0].null);  // "nö" is user-missing
    EXPECT_EQ(rows[3][0].text, "€uro");
    EXPECT_TRUE(rows[6][1].null);   // case 7: a missing date
    EXPECT_TRUE(rows[11][2].null);  // case 13: -99 is user-missing
    EXPECT_EQ(rows[1][2].number, 0.5);
    EXPECT_TRUE(rows[26][2].null);                                 // case 29: NaN
    EXPECT_TRUE(rows[52][2].null);                                 // case 58: infinity
    EXPECT_EQ(rows[36][2].number, std::nextafter(-DBL_MAX, 0.0));  // case 41
    EXPECT_EQ(rows[73][2].number, DBL_MAX);                        // case 82
    EXPECT_EQ(rows[27][3].number, 1.0);                            // case 31: weight 1.4 rounded
    EXPECT_EQ(rows[33][3].number, 3.0);                            // case 37: weight 2.6 rounded
    // Both faces count the same cases and weights in the first pass, and end for good.
    EXPECT_EQ(batched.GetNCases(), plain.GetNCases());
    EXPECT_EQ(batched.GetNValidCases(), plain.GetNValidCases());
    EXPECT_EQ(batched.GetNInvalidCases(), cases / 10);
    EXPECT_EQ(batched.GetWeightNCases(), plain.GetWeightNCases());
    EXPECT_EQ(batched.GetWeightNValidCases(), plain.GetWeightNValidCases());
    EXPECT_FALSE(batched.AreAllWeightsIntegers());
    EXPECT_FALSE(plain.AreAllWeightsIntegers());
    EXPECT_FALSE(fast.next());
    EXPECT_THROW(fast.cell(0), qelocal::EngineError);

    // The engine's reader makes the same records of either face, in whole column batches.
    ASSERT_EQ(batched.Rewind(), 0u);
    EXPECT_EQ(FirstDifference(PullStream(batched), expected), "");
    ASSERT_EQ(plain.Rewind(), 0u);
    EXPECT_EQ(FirstDifference(PullStream(perValue), expected), "");

    // After a cancellation both stop with EngineCancelled (the batch face within one batch).
    ASSERT_EQ(batched.Rewind(), 0u);
    ASSERT_EQ(plain.Rewind(), 0u);
    qelocal::IteratorRowSource fastAgain(batched);
    qelocal::IteratorRowSource slowAgain(perValue);
    ASSERT_TRUE(fastAgain.next());
    ASSERT_TRUE(slowAgain.next());
    batched.SetCancelStatus();
    plain.SetCancelStatus();
    EXPECT_THROW(
        {
            for (size_t i = 0; i <= qelocal::IteratorRowSource::kBatchRows; ++i)
                fastAgain.next();
        },
        qelocal::EngineCancelled);
    EXPECT_THROW(slowAgain.next(), qelocal::EngineCancelled);
    EXPECT_THROW(PullStream(batched), qelocal::EngineCancelled);
    EXPECT_THROW(PullStream(perValue), qelocal::EngineCancelled);
}

TEST_P(BatchFaceTest, TheEnginesReaderLosesNoRowAtABatchBoundary) {
    // Sizes around the pieces the reader asks for (256), the iterator's batch (1024) and the
    // engine's batch (4096), each ending in a short batch or exactly on a boundary.
    for (const int cases : {1, 255, 256, 1023, 1024, 1025, 4096, 4097, 5000}) {
        HostDataset data;
        const int num = AddNumeric(data, "n");
        const int str = AddString(data, H("wört"), 6);
        for (int i = 0; i < cases; ++i) {
            const long row = data.AddCase();
            double n = i;
            if (i % 1000 == 999)
                n = SYSMIS;
            else if (i % 500 == 250)
                n = std::numeric_limits<double>::infinity();
            else if (i % 700 == 350)
                n = std::numeric_limits<double>::quiet_NaN();
            data.SetNumeric(row, num, n);
            data.SetString(row, str, H(i % 2 ? "ä" + std::to_string(i % 100) : ""));
        }
        QERawDataIterator batched(data, std::vector<int>{}, Levels{}, true,
                                  QERawDataIterator::Ignore, false);
        QERawDataIterator plain(data, std::vector<int>{}, Levels{}, true, QERawDataIterator::Ignore,
                                false);
        ValueByValue perValue(plain);
        qelocal::IteratorRowSource slow(perValue);
        const auto expected = PullSource(slow);
        ASSERT_EQ(expected.size(), static_cast<size_t>(cases));
        const auto rows = PullStream(batched);
        ASSERT_EQ(FirstDifference(rows, expected), "") << cases << " cases";
        // The last row is the last case, counted by the added case-number field.
        EXPECT_EQ(rows.back()[2].number, cases);

        // Numbers alone, unweighted, in a pass after the first: plain copies and nothing else.
        QERawDataIterator numbers(data, std::vector<int>{num}, Levels{}, false,
                                  QERawDataIterator::Ignore, false);
        std::vector<std::vector<Value>> numbersOnly;
        for (const auto& row : expected)
            numbersOnly.push_back({row[0]});
        for (int pass = 0; pass < 2; ++pass) {
            ASSERT_EQ(numbers.Rewind(), 0u);
            ASSERT_EQ(FirstDifference(PullStream(numbers), numbersOnly), "")
                << cases << " cases, pass " << pass;
            // Cases copied a run at a time are counted as one at a time counts them.
            EXPECT_EQ(numbers.GetNCases(), cases);
            EXPECT_EQ(numbers.GetNValidCases(), cases);
            EXPECT_EQ(numbers.GetWeightNCases(), cases);
            EXPECT_EQ(numbers.GetWeightNValidCases(), cases);
        }
        // The same read a row at a time from the engine's source (views of the cases included).
        ASSERT_EQ(numbers.Rewind(), 0u);
        qelocal::IteratorRowSource numberRows(numbers);
        EXPECT_EQ(FirstDifference(PullSource(numberRows), numbersOnly), "") << cases << " cases";
    }

    // A batch laid out for other fields is refused, not written past its columns.
    HostDataset data;
    AddNumeric(data, "n");
    data.AddCase();
    QERawDataIterator it(data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Ignore,
                         false);
    ValueByValue perValue(it);
    qelocal::Batch none;
    qelocal::IteratorRowSource batchedSource(it);
    EXPECT_THROW(batchedSource.nextBatch(none, 10), qelocal::EngineError);
    qelocal::IteratorRowSource slowSource(perValue);
    EXPECT_THROW(slowSource.nextBatch(none, 10), qelocal::EngineError);
}

// The ending and the events of one run.
class Listener final : public EmbeddedQE::ExecutionListener {
  public:
    void onCancel() override { ending = "cancel"; }
    void onError(const std::string&, const std::string& message, const std::string&) override {
        ending = "error: " + message;
    }
    void onInit(const std::string&) override {}
    void onMessage(const std::string&) override {}
    void onProgress(float) override {}
    void onSuccess() override { ending = "success"; }
    std::string ending;
};

TEST_P(BatchFaceTest, AJobWritesTheSameRecordsThroughEitherFace) {
    // A limit that ends the read inside the iterator's second batch, and one beyond the data.
    HostDataset data;
    const int num = AddNumeric(data, "n");
    const int str = AddString(data, H("städte"), 10);
    const int weight = AddNumeric(data, "w");
    data.SetWeightVariable(weight);
    for (int i = 0; i < 3000; ++i) {
        const long row = data.AddCase();
        data.SetNumeric(row, num, i % 7 == 0 ? SYSMIS : i * 0.5);
        data.SetString(row, str, H(i % 3 ? "Zürich" : "Köln  "));
        data.SetNumeric(row, weight, i % 4 == 0 ? 0 : 1.5);
    }
    const std::string dir = qetest::TestDir() + "/batch-face-job";
    std::filesystem::create_directories(dir);
    qelocal::LocalEngine::instance().reset();
    const auto run = [&](EmbeddedQE::RowDataIterator& it, const std::string& limit) {
        const std::string out = dir + "/out.csv";
        std::filesystem::remove(out);
        Listener listener;
        qelocal::LocalExecutor executor("en_US");
        executor.prepare(qetest::MainEnv(), R"(read({"dataSource":"in")" + limit +
                                                R"(})->write({"dataDestination":"file:///)" + out +
                                                R"(","dataModelDestination":"","type":"text/csv"}))"
                                                "\n");
        executor.addInputIterator(qetest::MainEnv(), &it, 0);
        executor.execute(qetest::MainEnv(), &listener);
        EXPECT_EQ(listener.ending, "success");
        return qetest::ReadFile(out);
    };
    for (const std::string& limit : {std::string(R"(,"maxRecordsCount":1500)"), std::string()}) {
        QERawDataIterator batched(data, std::vector<int>{}, Levels{}, false,
                                  QERawDataIterator::Round, false);
        QERawDataIterator plain(data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Round,
                                false);
        batched.SetName("in");
        plain.SetName("in");
        ValueByValue perValue(plain);
        const std::string fast = run(batched, limit);
        const std::string slow = run(perValue, limit);
        EXPECT_EQ(fast, slow);
        const size_t lines = static_cast<size_t>(std::count(fast.begin(), fast.end(), '\n'));
        EXPECT_EQ(lines, 1 + (limit.empty() ? 2250u : 1500u));
        EXPECT_EQ(fast.substr(0, fast.find('\n', fast.find('\n') + 1)), "n,städte,w\n0.5,Zürich,2");
    }
    qelocal::LocalEngine::instance().reset();
}

QE_ALL_CODE_PAGES(BatchFaceTest);

}  // namespace
