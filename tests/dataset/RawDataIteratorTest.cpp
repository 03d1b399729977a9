// The row stream the engine pulls: weights, counters, rewinding, value conversion, field choice,
// cancellation and copies, each under a UTF-8 and a windows-1252 host.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>

#include "DatasetFixture.h"
#include "qeinteg/data/QEDataModel.h"
#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/platform/host/data/SvrDMDataset.h"
#include "qeinteg/platform/host/text/HostDates.h"
#include "qeinteg/runner/QEStopProcessor.h"

namespace {

using Levels = std::vector<TAVO_Variable_Enumerations::MeasurementLevel>;
using Cell = std::optional<std::string>;  // null, or the bytes (a double's 8 bytes for numbers)

std::optional<double> Num(QERawDataIterator& it, size_t field) {
    const void* data = reinterpret_cast<const void*>(1);
    size_t length = 99;
    EXPECT_EQ(it.getRecordValue(field, &data, &length), 0u);
    if (data == nullptr) {
        EXPECT_EQ(length, 0u);
        return std::nullopt;
    }
    EXPECT_EQ(length, 8u);
    double value = 0;
    std::memcpy(&value, data, sizeof value);
    return value;
}

std::optional<std::string> Str(QERawDataIterator& it, size_t field) {
    const void* data = nullptr;
    size_t length = 99;
    EXPECT_EQ(it.getRecordValue(field, &data, &length), 0u);
    if (data == nullptr) {
        EXPECT_EQ(length, 0u);
        return std::nullopt;
    }
    return std::string(static_cast<const char*>(data), length);
}

// All delivered values of one numeric field.
std::vector<std::optional<double>> Column(QERawDataIterator& it, size_t field) {
    std::vector<std::optional<double>> out;
    while (it.nextRecord() == 0)
        out.push_back(Num(it, field));
    return out;
}

// x = 1..n and a weight w per case; w is the weight variable.
std::shared_ptr<HostDataset> Weighted(const std::vector<double>& weights,
                                      const std::string& wName) {
    auto data = std::make_shared<HostDataset>();
    const int x = AddNumeric(*data, "x");
    const int w = AddNumeric(*data, wName);
    data->SetWeightVariable(w);
    for (size_t i = 0; i < weights.size(); ++i) {
        const long row = data->AddCase();
        data->SetNumeric(row, x, static_cast<double>(i + 1));
        data->SetNumeric(row, w, weights[i]);
    }
    return data;
}

class RawDataIteratorTest : public HostCodePageTest {};

TEST_P(RawDataIteratorTest, WeightRulesUnderEachAdjustment) {
    const auto data = Weighted({2.5, 0.4, -1, SYSMIS, 1, 7}, H("gewicht_ä"));
    data->Variable(1).SetMissingValues({7});
    using O = std::optional<double>;
    struct Case {
        QERawDataIterator::WeightAdjust adjust;
        std::vector<O> xs, ws;
    } cases[] = {
        {QERawDataIterator::Round, {1, 5}, {3, 1}},
        {QERawDataIterator::Truncate, {1, 5}, {2, 1}},
        {QERawDataIterator::Unchanged, {1, 2, 5}, {2.5, 0.4, 1}},
        {QERawDataIterator::Ignore, {1, 2, 3, 4, 5, 6}, {2.5, 0.4, -1, O(), 1, O()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.adjust);
        QERawDataIterator it(*data, std::vector<int>{}, Levels{}, false, c.adjust, false);
        std::vector<O> xs, ws;
        while (it.nextRecord() == 0) {
            xs.push_back(Num(it, 0));
            ws.push_back(Num(it, 1));
        }
        EXPECT_EQ(xs, c.xs);
        EXPECT_EQ(ws, c.ws);
        EXPECT_EQ(it.GetNCases(), 6);
        EXPECT_EQ(it.GetNValidCases(), static_cast<int>(c.xs.size()));
        EXPECT_EQ(it.GetNInvalidCases(), 6 - static_cast<int>(c.xs.size()));
        EXPECT_EQ(it.GetWeightNInvalidCases(), 0.0);
    }
    // Rounding records that some weights were not integers and one rounded to nothing.
    QERawDataIterator round(*data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Round,
                            false);
    while (round.nextRecord() == 0) {
    }
    EXPECT_FALSE(round.AreAllWeightsGood());
    EXPECT_FALSE(round.AreAllWeightsIntegers());
    EXPECT_DOUBLE_EQ(round.GetWeightNCases(), 4.0);
    EXPECT_DOUBLE_EQ(round.GetWeightNValidCases(), 4.0);

    // With user-missing delivered as read, the weight 7 counts.
    QERawDataIterator asRead(*data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Round,
                             false);
    asRead.SetExcludeUserMissing(false);
    EXPECT_EQ(Column(asRead, 1), (std::vector<O>{3, 1, 7}));

    // Ignore is fixed once chosen, and cannot be chosen later.
    QERawDataIterator ignore(*data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Ignore,
                             false);
    ignore.SetFreqWeightAdj(QERawDataIterator::Round);
    EXPECT_EQ(ignore.GetFreqWeightAdj(), QERawDataIterator::Ignore);
    round.SetFreqWeightAdj(QERawDataIterator::Ignore);
    EXPECT_EQ(round.GetFreqWeightAdj(), QERawDataIterator::Round);
    round.SetFreqWeightAdj(QERawDataIterator::Truncate);
    EXPECT_EQ(round.GetFreqWeightAdj(), QERawDataIterator::Truncate);
}

TEST_P(RawDataIteratorTest, CountersAfterFullPassAndRewindInTheMiddle) {
    const auto data = Weighted({1, 2, 0, 1, 1, 0, 1, 3, 1, 1}, "w");
    QERawDataIterator it(*data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Round,
                         false);
    // A rewind before any case keeps the first pass going.
    EXPECT_EQ(it.Rewind(), 0u);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(it.nextRecord(), 0u);
    EXPECT_EQ(it.GetNCases(), 4);  // the skipped third case was read too
    // Rewinding in the middle of the first pass reads the rest, so the counters are complete.
    EXPECT_EQ(it.Rewind(), 0u);
    EXPECT_EQ(it.GetNCases(), 10);
    EXPECT_EQ(it.GetNValidCases(), 8);
    EXPECT_EQ(it.GetNInvalidCases(), 2);
    EXPECT_EQ(it.GetWeightNInvalidCases(), 0.0);
    EXPECT_DOUBLE_EQ(it.GetWeightNCases(), 11.0);
    EXPECT_DOUBLE_EQ(it.GetWeightNValidCases(), 11.0);
    EXPECT_TRUE(it.AreAllWeightsGood());
    EXPECT_TRUE(it.AreAllWeightsIntegers());
    // The second pass starts at the first case and no longer counts.
    using O = std::optional<double>;
    EXPECT_EQ(Column(it, 0), (std::vector<O>{1, 2, 4, 5, 7, 8, 9, 10}));
    EXPECT_EQ(it.nextRecord(), 1u);
    EXPECT_EQ(it.nextRecord(), 1u);
    EXPECT_EQ(it.GetNCases(), 10);
    EXPECT_EQ(it.Rewind(), 0u);
    EXPECT_EQ(Column(it, 0).size(), 8u);
    EXPECT_EQ(it.GetNValidCases(), 8);
}

TEST_P(RawDataIteratorTest, TrimmedStringsDatesAndUserMissing) {
    HostDataset data;
    const int s = AddString(data, H("straße"), 5);
    const int wide = AddString(data, "wide", 16);
    const int d = AddNumeric(data, "d", TAVO_Format::DATE);
    const int ts = AddNumeric(data, "ts", TAVO_Format::DATETIME);
    const int t = AddNumeric(data, "t", TAVO_Format::TIME);
    const int m = AddNumeric(data, "m");
    data.Variable(s).SetStringMissingValues({"NA"});
    data.Variable(m).SetMissingRange(1, 5, 9);
    data.Variable(d).SetMissingValues({0});
    const double base = GetBaseDateNumber();
    const struct {
        std::string s, wide;
        double d, ts, t, m;
    } rows[] = {
        {"ab   ", H("héllo wörld!"), base, base + 86400, 3600, 9},
        {"     ", "x", base + 86400, base, 0, 5.5},
        {"NA", "\n\n", SYSMIS, SYSMIS, SYSMIS, 6},
        {"ab\t", H("é"), 0, base - 86400, 59.5, SYSMIS},
        {"ab\n  ", "", base + 10 * 86400, base + 1.5, 1, 1},
    };
    for (const auto& r : rows) {
        const long row = data.AddCase();
        data.SetString(row, s, r.s);
        data.SetString(row, wide, r.wide);
        data.SetNumeric(row, d, r.d);
        data.SetNumeric(row, ts, r.ts);
        data.SetNumeric(row, t, r.t);
        data.SetNumeric(row, m, r.m);
    }
    for (const bool exclude : {true, false}) {
        SCOPED_TRACE(exclude);
        QERawDataIterator it(data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Round,
                             false);
        it.SetExcludeUserMissing(exclude);
        using O = std::optional<double>;
        using S = std::optional<std::string>;
        std::vector<S> ss, wides;
        std::vector<O> ds, tss, tt, ms;
        while (it.nextRecord() == 0) {
            ss.push_back(Str(it, 0));
            wides.push_back(Str(it, 1));
            ds.push_back(Num(it, 2));
            tss.push_back(Num(it, 3));
            tt.push_back(Num(it, 4));
            ms.push_back(Num(it, 5));
        }
        // Blanks and line feeds are trimmed, never the first byte; a tab only in UTF-8 mode.
        const S tab = Utf8Host() ? S("ab") : S("ab\t");
        EXPECT_EQ(ss, (std::vector<S>{"ab", " ", exclude ? S() : S("NA"), tab, "ab"}));
        EXPECT_EQ(wides, (std::vector<S>{"héllo wörld!", "x", "\n", "é", " "}));
        EXPECT_EQ(ds, (std::vector<O>{0.0, 1.0, O(), exclude ? O() : O(-base / 86400.0), 10.0}));
        EXPECT_EQ(tss, (std::vector<O>{86400.0, 0.0, O(), -86400.0, 1.5}));
        EXPECT_EQ(tt, (std::vector<O>{3600, 0, O(), 59.5, 1}));
        EXPECT_EQ(ms, exclude ? (std::vector<O>{O(), 5.5, 6, O(), O()})
                              : (std::vector<O>{9, 5.5, 6, O(), 1}));
    }
}

TEST_P(RawDataIteratorTest, TrimmingAgreesWithAByteLoopAtEveryWidthAndPadding) {
    // Widths around the eight-byte words the trim looks at; in each, the last kept byte at every
    // position (inner blanks before it), followed by each mix of blanks, line feeds and tabs, and
    // values that are padding only.
    constexpr int kWidths = 26;
    const char fill[] = {' ', '\n', '\t'};
    const auto value = [&](int width, int last, int mix) {
        std::string v(static_cast<size_t>(width), ' ');
        for (int i = 0; i < width; ++i) {
            v[i] =
                i <= last ? (i % 5 == 2 ? ' ' : static_cast<char>('a' + i)) : fill[(i + mix) % 3];
        }
        return v;
    };
    const bool tabs = Utf8Host();
    const auto expected = [tabs](const std::string& v) {
        int pos = static_cast<int>(v.size()) - 1;
        while (pos >= 1 && (v[pos] == ' ' || v[pos] == '\n' || (tabs && v[pos] == '\t')))
            --pos;
        return v.substr(0, static_cast<size_t>(pos + 1));
    };
    HostDataset data;
    for (int w = 1; w <= kWidths; ++w)
        AddString(data, "w" + std::to_string(w), w);
    for (int last = -1; last < kWidths; ++last) {
        for (int mix = 0; mix < 3; ++mix) {
            const long row = data.AddCase();
            for (int w = 1; w <= kWidths; ++w)
                data.SetString(row, w - 1, value(w, last, mix));
        }
    }
    QERawDataIterator it(data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Round,
                         false);
    long cases = 0;
    while (it.nextRecord() == 0) {
        const int last = static_cast<int>(cases / 3) - 1;
        const int mix = static_cast<int>(cases % 3);
        for (int w = 1; w <= kWidths; ++w) {
            ASSERT_EQ(Str(it, static_cast<size_t>(w - 1)), expected(value(w, last, mix)))
                << "width " << w << ", last kept byte " << last << ", padding mix " << mix;
        }
        ++cases;
    }
    EXPECT_EQ(cases, (kWidths + 1) * 3);
}

TEST_P(RawDataIteratorTest, CaseCountAndAnalysisFieldsByIndexAndName) {
    HostDataset data;
    AddNumeric(data, "a");
    AddString(data, H("bé"), 4);
    AddNumeric(data, H("çount"));
    const int w = AddNumeric(data, "w");
    data.SetWeightVariable(w);
    const double weights[] = {1, 0, 2, 1};
    for (int i = 0; i < 4; ++i) {
        const long row = data.AddCase();
        data.SetNumeric(row, 0, 10 + i);
        data.SetString(row, 1, H(i % 2 ? "ü" : "o"));
        data.SetNumeric(row, 2, 100 + i);
        data.SetNumeric(row, 3, weights[i]);
    }
    using O = std::optional<double>;
    // By index, in the requested order, ending with the case number of each delivered case.
    QERawDataIterator byIndex(data, std::vector<int>{2, 0, 3}, Levels{}, true,
                              QERawDataIterator::Round, false);
    ASSERT_EQ(byIndex.GetMetaData().FieldCount(), 4);
    EXPECT_EQ(byIndex.GetMetaData().GetField(0).GetName(), "çount");
    EXPECT_EQ(byIndex.GetMetaData().GetField(3).GetName(), "$casecount");
    std::vector<O> counts, as, cs, ws;
    while (byIndex.nextRecord() == 0) {
        cs.push_back(Num(byIndex, 0));
        as.push_back(Num(byIndex, 1));
        ws.push_back(Num(byIndex, 2));
        counts.push_back(Num(byIndex, 3));
    }
    EXPECT_EQ(cs, (std::vector<O>{100, 102, 103}));
    EXPECT_EQ(as, (std::vector<O>{10, 12, 13}));
    EXPECT_EQ(ws, (std::vector<O>{1, 2, 1}));
    EXPECT_EQ(counts, (std::vector<O>{1, 3, 4}));

    // By UTF-8 name; unknown and empty names are left out.
    QERawDataIterator byName(data, std::vector<std::string>{"nope", "bé", "", "a"}, Levels{}, false,
                             QERawDataIterator::Ignore, false, true);
    ASSERT_EQ(byName.GetMetaData().FieldCount(), 2);
    std::vector<std::optional<std::string>> bs;
    as.clear();
    while (byName.nextRecord() == 0) {
        bs.push_back(Str(byName, 0));
        as.push_back(Num(byName, 1));
    }
    EXPECT_EQ(bs, (std::vector<std::optional<std::string>>{"o", "ü", "o", "ü"}));
    EXPECT_EQ(as, (std::vector<O>{10, 11, 12, 13}));

    // Without a selection every column is a field; the case count comes last.
    QERawDataIterator all(data, std::vector<int>{}, Levels{}, true, QERawDataIterator::Ignore,
                          false);
    ASSERT_EQ(all.GetMetaData().FieldCount(), 5);
    ASSERT_EQ(all.nextRecord(), 0u);
    EXPECT_EQ(Num(all, 4), O(1));
    EXPECT_EQ(Num(all, 2), O(100));
}

TEST_P(RawDataIteratorTest, OutOfRangeIndexesKeepFieldsAndColumnsInStep) {
    HostDataset data;
    AddNumeric(data, "a");
    AddNumeric(data, "b");
    AddNumeric(data, "c");
    const long row = data.AddCase();
    for (int k = 0; k < 3; ++k)
        data.SetNumeric(row, k, k + 1);
    using O = std::optional<double>;

    QERawDataIterator it(data, std::vector<int>{2, 7, 0}, Levels{}, true, QERawDataIterator::Round,
                         false);
    ASSERT_EQ(it.GetMetaData().FieldCount(), 3);
    EXPECT_EQ(it.GetMetaData().GetField(1).GetName(), "a");
    ASSERT_EQ(it.nextRecord(), 0u);
    EXPECT_EQ(Num(it, 0), O(3));
    EXPECT_EQ(Num(it, 1), O(1));
    EXPECT_EQ(Num(it, 2), O(1));  // the case number

    // Caller-made metadata: a column the source lacks drops its field.
    QEDataModel model(data, false, true, false);
    model.UpdateAnalysMetadata(std::vector<int>{1, 2});
    CFMetaData three = model.getMetaData();
    three.AddField(CFField("ghost", CFField::Continuous, CFField::Real, CFField::Input));
    std::string xml;
    three.ExportXMLDoc(xml);
    QERawDataIterator given(data, three, xml, std::vector<int>{1, 9, 2}, Levels{});
    ASSERT_EQ(given.GetMetaData().FieldCount(), 2);
    EXPECT_EQ(CFMetaData(given.getDataModel()).FieldCount(), 2);
    ASSERT_EQ(given.nextRecord(), 0u);
    EXPECT_EQ(Num(given, 0), O(2));
    EXPECT_EQ(Num(given, 1), O(3));
    const void* p = nullptr;
    size_t n = 0;
    EXPECT_EQ(given.getRecordValue(2, &p, &n), 2u);
}

// Cancels on the n-th poll.
class CancelAfter : public QEStopProcessor {
  public:
    explicit CancelAfter(int polls) : QEStopProcessor(0), polls_(polls) {}
    bool CheckCancel() const override { return ++calls_ >= polls_; }

  private:
    int polls_;
    mutable int calls_ = 0;
};

TEST_P(RawDataIteratorTest, CancelThroughTheStopProcessorEndsThePassWithStatus3) {
    const auto data = Weighted({1, 1, 1, 1, 1, 1}, "w");
    QERawDataIterator it(*data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Round,
                         false);
    CancelAfter stop(3);
    it.SetStopProcessor(&stop);
    EXPECT_EQ(it.GetStopProcessor(), &stop);
    EXPECT_EQ(it.nextRecord(), 0u);
    EXPECT_EQ(it.nextRecord(), 0u);
    EXPECT_EQ(it.nextRecord(), 3u);
    EXPECT_TRUE(it.GetCancelStatus());
    const void* data0 = &stop;
    size_t length = 77;
    EXPECT_EQ(it.getRecordValue(0, &data0, &length), 3u);
    EXPECT_EQ(data0, &stop);
    EXPECT_EQ(length, 77u);
    EXPECT_EQ(it.Rewind(), 3u);
    EXPECT_EQ(it.nextRecord(), 3u);
    EXPECT_EQ(it.GetNCases(), 2);

    // A cancel set directly is final as well.
    QERawDataIterator other(*data, std::vector<int>{}, Levels{}, false, QERawDataIterator::Round,
                            false);
    other.SetCancelStatus();
    EXPECT_EQ(other.nextRecord(), 3u);
}

TEST_P(RawDataIteratorTest, CopiesReadOnIndependently) {
    HostDataset data;
    AddNumeric(data, "n");
    AddString(data, H("tèxt"), 10);
    for (int i = 0; i < 5; ++i) {
        const long row = data.AddCase();
        data.SetNumeric(row, 0, i);
        data.SetString(row, 1, H("ä" + std::to_string(i)));
    }
    auto original = std::make_unique<QERawDataIterator>(data, std::vector<int>{}, Levels{}, false,
                                                        QERawDataIterator::Round, false);
    original->SetName("in");
    ASSERT_EQ(original->nextRecord(), 0u);
    ASSERT_EQ(original->nextRecord(), 0u);
    QERawDataIterator copy(*original);
    QERawDataIterator assigned(data, std::vector<int>{0}, Levels{}, false, QERawDataIterator::Round,
                               false);
    assigned = *original;
    EXPECT_EQ(copy.getName(), "in");
    ASSERT_EQ(original->nextRecord(), 0u);
    EXPECT_EQ(Num(*original, 0), std::optional<double>(2));
    original.reset();
    // The copies still hold the current row and go on from it on their own.
    EXPECT_EQ(Str(copy, 1), std::optional<std::string>("ä1"));
    EXPECT_EQ(Num(copy, 0), std::optional<double>(1));
    std::vector<std::optional<double>> rest = Column(copy, 0);
    EXPECT_EQ(rest, (std::vector<std::optional<double>>{2, 3, 4}));
    EXPECT_EQ(Str(assigned, 1), std::optional<std::string>("ä1"));
    EXPECT_EQ(Column(assigned, 0).size(), 3u);
    EXPECT_EQ(copy.GetNCases(), 5);
    EXPECT_EQ(copy.Rewind(), 0u);
    EXPECT_EQ(Column(copy, 0).size(), 5u);
}

TEST_P(RawDataIteratorTest, ServerDatasetsByIdentifier) {
    const auto data = Weighted({1, 2}, H("wé"));
    const LocallyUniqueID id = SvrDMDataset::Register(data);
    QERawDataIterator it(id, std::vector<std::string>{H("wé"), "x"}, Levels{}, false,
                         QERawDataIterator::Round, false, false);
    ASSERT_EQ(it.GetMetaData().FieldCount(), 2);
    EXPECT_EQ(it.GetMetaData().GetField(0).GetRole(), CFField::FreqWeight);
    EXPECT_EQ(Column(it, 1), (std::vector<std::optional<double>>{1, 2}));

    QERawDataIterator unknown(LocallyUniqueID::None(), std::vector<int>{0}, Levels{}, false,
                              QERawDataIterator::Round, false);
    EXPECT_EQ(unknown.GetMetaData().FieldCount(), 0);
    EXPECT_EQ(unknown.nextRecord(), 1u);
    EXPECT_EQ(unknown.Rewind(), 0u);
    EXPECT_EQ(unknown.nextRecord(), 1u);
}

QE_ALL_CODE_PAGES(RawDataIteratorTest);

}  // namespace
