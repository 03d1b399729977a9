#include <gtest/gtest.h>

#include <map>
#include <random>

#include "OutputTestSupport.h"
#include "qeinteg/platform/host/output/PivotRecord.h"
#include "qeinteg/platform/host/output/PnCellTextRecord.h"
#include "qeinteg/platform/host/output/PnNumber.h"
#include "qeinteg/platform/host/output/PnPivotTable.h"
#include "qeinteg/platform/host/output/PnString.h"
#include "qeinteg/platform/host/output/PnUTF8String.h"
#include "qeinteg/platform/host/process/ParserMessage.h"
#include "qeinteg/platform/host/text/HostFormat.h"

namespace {

using qehost::CellNode;
using qehost::PivotCells;
using qehost::TextRecord;

TextRecord T(const std::string& text) {
    TextRecord r;
    r.kind = "utf8";
    r.text = text;
    return r;
}

bool operator==(const CellNode& a, const CellNode& b) {
    return a.text == b.text && a.notes == b.notes;
}

// Every cell as a map from coordinates, in the order ForEach lists them.
std::vector<std::pair<std::vector<int>, CellNode>> Listed(const PivotCells& cells) {
    std::vector<std::pair<std::vector<int>, CellNode>> out;
    cells.ForEach([&](std::span<const int> at, const CellNode& cell) {
        out.emplace_back(std::vector<int>(at.begin(), at.end()), cell);
    });
    return out;
}

// Writes checked against a plain ordered map: first a builder's walk (rows made in key order,
// then named again for notes), then random writes: rows filled in and out of leaf order and out
// of key order, cells written twice, numbers replaced by texts and back, notes on empty and
// filled cells, coordinates of several lengths (a dimension added after cells were made), -1
// coordinates and the empty coordinates of a table without dimensions.
TEST(PivotCells, WritesInAndOutOfOrderAgreeWithAnOrderedMap) {
    for (unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 random(seed);
        auto pick = [&](int lo, int hi) {
            return std::uniform_int_distribution<int>(lo, hi)(random);
        };
        PivotCells cells;
        std::map<std::vector<int>, CellNode> model;
        auto write = [&](const std::vector<int>& at, int what, int step) {
            if (what == 0) {
                const double value = pick(-5, 5) * 0.25;
                const PnFormatSpec format(8, pick(0, 1) ? 40 : 5, pick(0, 3));
                cells.SetNumber(at, value, format);
                model[at].text = qehost::NumberRecord(value, format);
            } else if (what == 1) {
                const TextRecord text = T("t" + std::to_string(step));
                cells.SetText(at, text);
                model[at].text = text;
            } else {
                const TextRecord note = T("n" + std::to_string(step));
                cells.AddNote(at, note);
                model[at].notes.push_back(note);
            }
        };
        auto check = [&](const char* phase) {
            ASSERT_EQ(cells.size(), model.size()) << seed << phase;
            const auto listed = Listed(cells);
            ASSERT_EQ(listed.size(), model.size());
            auto expected = model.begin();
            for (const auto& [at, cell] : listed) {
                EXPECT_EQ(at, expected->first) << seed << phase;
                EXPECT_TRUE(cell == expected->second) << seed << phase;
                ++expected;
            }
            // Every coordinate in range, present or not, is answered as the model answers.
            for (int length = 0; length <= 3; ++length) {
                std::vector<int> at(static_cast<std::size_t>(length), -1);
                for (int n = 0; n < 300; ++n) {
                    for (int& c : at)
                        c = pick(-2, 8);
                    const std::optional<CellNode> found = cells.Find(at);
                    const auto it = model.find(at);
                    ASSERT_EQ(found.has_value(), it != model.end()) << seed << phase << n;
                    if (found) {
                        EXPECT_TRUE(*found == it->second) << seed << phase;
                    }
                }
            }
        };

        int step = 0;
        for (int a = -1; a < 4; ++a) {
            for (int b = 0; b < 4; ++b) {
                for (int c = 0; c < 3; ++c)
                    write({a, b, c}, pick(0, 1), step++);
            }
        }
        for (int n = 0; n < 40; ++n)
            write({pick(-1, 3), pick(0, 3), pick(0, 2)}, 2, step++);
        check(" walk");

        for (int n = 0; n < 3000; ++n, ++step) {
            std::vector<int> at(static_cast<std::size_t>(pick(0, 3)));
            for (int& c : at)
                c = pick(-1, 6);
            // Mostly a leaf-order walk of one row, as builders write.
            if (n % 3 != 0 && !at.empty())
                at.back() = n % 7;
            write(at, pick(0, 2), step);
        }
        check(" random");
    }
}

// A text kept for the shown text: a number's is formatted when the cell is read, and must be what
// the number itself shows, for every kind of format; a text derived from PnNumber shows itself.
TEST(PivotCells, LazyNumbersShowWhatTheNumberShows) {
    class Rounded : public PnNumber {
      public:
        using PnNumber::PnNumber;
        std::unique_ptr<PnCellText> Clone() const override {
            return std::make_unique<Rounded>(*this);
        }
        std::string Text() const override { return "about " + PnNumber::Text(); }
    };
    qehost::PivotTableRecord table;
    PnPivotTable pivot(&table);
    PnDimension dim = pivot.Dimension(PnUTF8String("D"), 2);
    const std::vector<std::pair<double, PnFormatSpec>> numbers = {
        {1234.5, {8, 3, 1}},
        {0.1, {8, 40, 0}},
        {-2.5, {8, 31, 0}},
        {12219379200.0 + 86400, {11, 20, 0}},
        {qehost::SysMis(), {8, 5, 2}},
        {1e300, {8, 17, 3}},
        {3, {8, 26, 0}},
        {90061.5, {12, 25, 1}},
    };
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const auto& [value, format] = numbers[i];
        dim.Category(PnUTF8String("c" + std::to_string(i))).Cell(PnNumber(value, format));
    }
    dim.Category(PnUTF8String("derived")).Cell(Rounded(2.0, PnFormatSpec(8, 5, 1)));
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const auto cell = table.FindCell({static_cast<int>(i)});
        ASSERT_TRUE(cell && cell->text) << i;
        EXPECT_EQ(*cell->text, qehost::RecordOf(PnNumber(numbers[i].first, numbers[i].second)))
            << i;
    }
    const auto derived = table.FindCell({static_cast<int>(numbers.size())});
    ASSERT_TRUE(derived && derived->text);
    EXPECT_EQ(derived->text->text, "about 2.0");
}

// Builders name every category again under each outer category. A repeated name merges with the
// category named there before only when the host would record the same text: another form of the
// same words (keyed, with help, translated) is another category.
TEST(PivotCells, RepeatedCategoryNamesMergeOnlyOnEqualRecords) {
    qehost::SetTranslation("merge-key", "Translated");
    std::vector<std::unique_ptr<PnCellText>> texts;
    texts.push_back(std::make_unique<PnUTF8String>("a"));
    texts.push_back(std::make_unique<PnUTF8String>("a", false));
    texts.push_back(std::make_unique<PnUTF8String>("b"));
    texts.push_back(std::make_unique<PnUTF8String>("a", "a"));
    texts.push_back(std::make_unique<PnUTF8String>("k", "a"));
    texts.push_back(std::make_unique<PnUTF8String>("k", "a", "h"));
    texts.push_back(std::make_unique<PnUTF8String>("k", "a", "h2"));
    texts.push_back(std::make_unique<PnUTF8String>("merge-key"));
    texts.push_back(std::make_unique<PnUTF8String>("merge-key", false));
    texts.push_back(std::make_unique<PnUTF8String>("merge-key", "x"));
    texts.push_back(std::make_unique<PnString>("a", false));
    texts.push_back(std::make_unique<PnNumber>(1.0, PnFormatSpec(8, 5, 0)));
    for (const auto& a : texts) {
        for (const auto& b : texts) {
            const TextRecord ra = qehost::RecordOf(*a);
            EXPECT_EQ(qehost::SameRecord(ra, *b), ra == qehost::RecordOf(*b))
                << ra.text << " / " << b->Text();
        }
    }

    // Through the handles: two passes under two outer categories.
    qehost::PivotTableRecord table;
    PnPivotTable pivot(&table);
    for (const char* outer : {"x", "y"}) {
        pivot.Dimension(PnUTF8String("Outer"), 2).Category(PnUTF8String(outer));
        PnDimension inner = pivot.Dimension(PnUTF8String("Inner"), 2);
        PnGroup group = inner.Group(PnUTF8String("g"), outer[0] == 'x', 2);
        group.Category(PnUTF8String("a")).Cell(PnNumber(1, PnFormatSpec()));
        // The second pass names the same words keyed: a new leaf, not the first one again.
        if (outer[0] == 'x') {
            group.Category(PnUTF8String("a", false)).Cell(PnNumber(2, PnFormatSpec()));
        } else {
            group.Category(PnUTF8String("k", "a")).Cell(PnNumber(3, PnFormatSpec()));
        }
    }
    const qehost::DimensionNode& inner = *table.dimensions[1];
    ASSERT_EQ(inner.root.children.size(), 1u);
    EXPECT_FALSE(inner.root.children[0]->show);  // the group took the later pass's flag
    ASSERT_EQ(inner.leaves.size(), 3u);
    EXPECT_EQ(inner.leaves[2]->text.args[0].second, "k");
    EXPECT_EQ(table.cells.size(), 4u);
    EXPECT_EQ(outtest::CellRecord(table, {1, 0}).text, "1");
    EXPECT_EQ(outtest::CellRecord(table, {1, 2}).text, "3");
    EXPECT_FALSE(table.FindCell({1, 1}).has_value());
}

}  // namespace
