// The engine's side of the exchange: a loop that knows only the row-iterator interface and the
// data model XML pulls a whole dataset and must see exactly the values the host holds.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "DatasetFixture.h"
#include "qeinteg/data/QEDataModel.h"
#include "qeinteg/data/QERawDataIterator.h"
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
