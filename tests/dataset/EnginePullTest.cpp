// The engine's side of the exchange: a loop that knows only the row-iterator interface and the
// data model XML pulls a whole dataset and must see exactly the values the host holds; the local
// engine's source must see the same records through the batch face as value by value.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "DatasetFixture.h"
#include "qeinteg/data/QEDataModel.h"
#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/platform/engine/io/IteratorRowSource.h"
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

// Every record the local engine's source gives, as Values.
std::vector<std::vector<Value>> PullSource(qelocal::IteratorRowSource& source) {
    std::vector<std::vector<Value>> rows;
    while (source.next()) {
        std::vector<Value> row;
        for (size_t k = 0; k < source.fields().size(); ++k) {
            const qelocal::Cell c = source.cell(k);
            row.push_back(Value{c.missing, c.number, std::string(c.text)});
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

class BatchFaceTest : public HostCodePageTest {};

TEST_P(BatchFaceTest, BatchAndValueByValueGiveTheSameRecords) {
    // More cases than one batch holds, with system- and user-missing numbers, missing and padded
    // strings in the host's code page, skipped weights, and a projection that reorders columns.
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
        data.SetNumeric(row, num, i % 17 == 0 ? SYSMIS : (i % 13 == 0 ? -99 : i * 0.25));
        data.SetString(row, str, H(words[i % 6]));
        data.SetNumeric(row, skipped, i);
        data.SetNumeric(row, date, i % 7 == 0 ? SYSMIS : base + 86400.0 * i);
        data.SetNumeric(row, weight, i % 10 == 0 ? 0 : 1);
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
    // Both faces count the same cases in the first pass, and end for good.
    EXPECT_EQ(batched.GetNCases(), plain.GetNCases());
    EXPECT_EQ(batched.GetNInvalidCases(), cases / 10);
    EXPECT_FALSE(fast.next());
    EXPECT_THROW(fast.cell(0), qelocal::EngineError);

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
}

QE_ALL_CODE_PAGES(BatchFaceTest);

}  // namespace
