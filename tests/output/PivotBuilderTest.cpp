#include <gtest/gtest.h>

#include <cfloat>

#include "OutputTestSupport.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/output/CellKey.h"
#include "qeinteg/output/dataDictionary.h"
#include "qeinteg/output/jsonPivot.h"
#include "qeinteg/platform/host/output/PnCellText.h"
#include "qeinteg/platform/host/output/PnCellTextRecord.h"
#include "qeinteg/platform/host/viewer/PivotText.h"

namespace {

using namespace outtest;
using qehost::TextRecord;

std::string Arg(const TextRecord& r, const std::string& name) {
    for (const auto& [k, v] : qehost::Arguments(r)) {
        if (k == name)
            return v;
    }
    return "<none>";
}

std::string CellText(const qehost::PivotTableRecord& t, std::vector<int> at) {
    const std::optional<qehost::CellNode> cell = CellAt(t, at);
    if (!cell)
        return "<no cell>";
    return cell->text ? cell->text->text : "<no text>";
}

// A rows x columns table; `body` adds members after the dimensions (cells, formats, ...).
std::string Table(const std::string& rows, const std::string& cols, const std::string& body) {
    return R"({"tableId":"t","title":{"text":)" + S("T") + R"(},"dimensions":[)" +
           Dim("Rows", rows) + "," + Dim("Cols", cols, R"("role":"column")") + "]," + body + "}";
}

std::string Compact(const std::string& values, const std::string& index = "") {
    return R"("cells":[{"cells":{"compactCells":{"index":")" + index + R"(","value":[)" + values +
           "]}}}]";
}

std::string Count(int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += (i ? "," : "") + std::to_string(i);
    return out;
}

TEST(CellKey, WidthsAndDigits) {
    using namespace qeinteg::output;
    EXPECT_EQ(KeyDigits().size(), 86u);
    EXPECT_EQ(KeyWidth(0), 1u);
    EXPECT_EQ(KeyWidth(86), 1u);
    EXPECT_EQ(KeyWidth(87), 2u);
    EXPECT_EQ(KeyWidth(86 * 86), 2u);
    EXPECT_EQ(KeyWidth(86 * 86 + 1), 3u);
    EXPECT_EQ(EncodeKeyField(85, 1), "~");
    EXPECT_EQ(EncodeKeyField(86, 2), "10");
    EXPECT_EQ(EncodeKeyField(5, 3), "005");
    EXPECT_EQ(DecodeKeyField("~"), 85u);
    EXPECT_EQ(DecodeKeyField("1~"), 171u);
    EXPECT_FALSE(DecodeKeyField("a*").has_value());
    EXPECT_FALSE(DecodeKeyField("\"").has_value());
}

TEST(PivotBuilder, EightySixLeavesTakeOneDigitAndEightySevenTwo) {
    // 86 rows: keys are one row digit and one column digit.
    const std::string sparse86 = R"(,{"cells":{"sparse":{"index":["~1","a1"],"value":[1000,7]}}}])";
    std::string cells = Compact(Count(172));
    cells.pop_back();  // reopen the block list
    const auto* t = Build(Table(Leaves("r", 86), Leaves("c", 2), cells + sparse86));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(CellText(*t, {0, 0}), "0");
    EXPECT_EQ(CellText(*t, {3, 1}), "7");
    EXPECT_EQ(CellText(*t, {85, 0}), "170");
    EXPECT_EQ(CellText(*t, {85, 1}), "1000");
    EXPECT_EQ(CellText(*t, {10, 1}), "7");  // "a" is ten

    // 87 rows: the row field is two digits wide; one-digit keys name nothing.
    cells = Compact(Count(174));
    cells.pop_back();
    const std::string sparse87 =
        R"(,{"cells":{"sparse":{"index":["101","~1","0a1"],"value":[1000,5,9]}}}])";
    t = Build(Table(Leaves("r", 87), Leaves("c", 2), cells + sparse87));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->dimensions[0]->leaves.size(), 87u);
    EXPECT_EQ(CellText(*t, {86, 0}), "172");
    EXPECT_EQ(CellText(*t, {86, 1}), "1000");
    EXPECT_EQ(CellText(*t, {85, 1}), "171");
    EXPECT_EQ(CellText(*t, {10, 1}), "9");
}

TEST(PivotBuilder, LayoutsTooLargeToHoldAreRefused) {
    // 500^3 cells are more than a table may address; the table is left out instead of
    // exhausting memory.
    const std::string many = Leaves("x", 500);
    const std::string table = R"({"tableId":"t","title":{},"dimensions":[)" + Dim("A", many) + "," +
                              Dim("B", many) + "," + Dim("C", many) + "]," + Compact("1") + "}";
    EXPECT_EQ(Build(table), nullptr);
}

TEST(PivotBuilder, AcceptanceNeedsCompactValues) {
    const std::string empty =
        R"("cells":[{"cells":{"compactCells":{"value":[]}}},{"cells":{"sparse":{"index":["00"],"value":[1]}}}])";
    EXPECT_EQ(Build(Table(Leaves("r", 2), Leaves("c", 2), empty)), nullptr);
    EXPECT_TRUE(Items(qehost::OutputItem::Kind::PivotTable).empty());
    // No table id, but footnotes: still a table.
    const std::string noId =
        R"({"footnotes":[],"dimensions":[)" + Dim("R", Leaves("r", 1)) + "]," + Compact("4") + "}";
    const auto* t = Build(noId);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(CellText(*t, {0}), "4");
    // Neither id nor footnotes.
    EXPECT_EQ(Build(R"({"dimensions":[)" + Dim("R", Leaves("r", 1)) + "]," + Compact("4") + "}"),
              nullptr);
    EXPECT_EQ(Build(R"("just text")"), nullptr);
}

TEST(PivotBuilder, CategoryFiltersKeepTheKeysOfLaterCategories) {
    const std::string rows = "[" + Leaf("A") + "," + Leaf("B") + "," + Leaf("C") + "]";
    const std::string table = Table(rows, Leaves("c", 1), Compact("1,2,3"));
    // A hidden list alone hides only what it names.
    const auto* t = Build(table, [](jsonPivot& b) { b.hideCategories({"B"}, true); });
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->dimensions[0]->leaves.size(), 2u);
    EXPECT_EQ(t->dimensions[0]->leaves[1]->text.text, "C");
    EXPECT_EQ(CellText(*t, {1, 0}), "3");
    // A shown list keeps only what it names; hidden wins over shown.
    t = Build(table, [](jsonPivot& b) {
        b.hideAllCategoriesExcept({"A", "C"}, true);
        b.hideCategories({"A"}, true);
    });
    ASSERT_EQ(t->dimensions[0]->leaves.size(), 1u);
    EXPECT_EQ(CellText(*t, {0, 0}), "3");
    // Column filters leave rows alone.
    t = Build(table, [](jsonPivot& b) { b.hideCategories({"A"}, false); });
    EXPECT_EQ(t->dimensions[0]->leaves.size(), 3u);
}

TEST(PivotBuilder, DateShiftsMissingAndEmptyCells) {
    const std::string formats =
        R"("formats":[{"index":"00","format":{"dateTimePattern":"dd-MMM-yyyy"}},)"
        R"({"index":"01","format":{"positiveInfinity":true}},)"
        R"({"index":"10","format":{},"footnotes":[0]},)"
        R"({"index":"11","footnotes":[0,7]}],"footnotes":[)" +
        S("estimated") + "],";
    const auto* t =
        Build(Table(Leaves("r", 2), Leaves("c", 2), formats + Compact(R"(0,5,"",null)")));
    ASSERT_NE(t, nullptr);
    const TextRecord date = CellRecord(*t, {0, 0});
    EXPECT_EQ(Arg(date, "value"), "12219379200");
    EXPECT_EQ(Arg(date, "format"), "40,20,3");
    EXPECT_EQ(date.text, "01-JAN-1970");
    EXPECT_EQ(CellText(*t, {0, 1}), ".");  // infinity shows as missing
    // Never given a value: no text, but the footnote stays (out-of-range references dropped).
    for (std::vector<int> at : {std::vector<int>{1, 0}, std::vector<int>{1, 1}}) {
        const std::optional<qehost::CellNode> cell = CellAt(*t, at);
        ASSERT_TRUE(cell.has_value());
        EXPECT_FALSE(cell->text.has_value());
        ASSERT_EQ(cell->notes.size(), 1u);
        EXPECT_EQ(cell->notes[0].text, "estimated");
    }
}

TEST(PivotBuilder, ColumnWidthsDefaultAndGiven) {
    const auto* t = Build(Table(Leaves("r", 1), Leaves("c", 1), Compact("1")));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->maxDataColumnWidth, 260);
    EXPECT_FALSE(t->minDataColumnWidth.has_value());
    t = Build(Table(Leaves("r", 1), Leaves("c", 1),
                    R"("maxDataColumnWidth":90,"minDataColumnWidth":20,)" + Compact("1")));
    EXPECT_EQ(t->maxDataColumnWidth, 90);
    EXPECT_EQ(t->minDataColumnWidth, 20);
}

TEST(PivotBuilder, WildcardFormatsAndCompactStart) {
    const std::string formats =
        R"("formats":[{"index":"*1","format":{"decimals":2,"thousandsSeparator":","}},)"
        R"({"index":"1*"},)"
        R"({"index":"","format":{"prefix":"$"}},)"
        R"({"index":"0*","format":{"decimals":1,"prefix":"$"}}],)";
    // Values start at key "10": row 0 stays empty.
    const auto* t =
        Build(Table(Leaves("r", 3), Leaves("c", 2), formats + Compact("1234.5,2,3.25,4", "10")));
    ASSERT_NE(t, nullptr);
    EXPECT_FALSE(CellAt(*t, {0, 0}).has_value());
    // Row 1: the "1*" entry has no format, so the type stays and width and decimals are reset.
    EXPECT_EQ(Arg(CellRecord(*t, {1, 0}), "format"), "40,40,0");
    EXPECT_EQ(CellText(*t, {1, 0}), "1234.5");
    EXPECT_EQ(Arg(CellRecord(*t, {1, 1}), "format"), "40,3,0");
    EXPECT_EQ(CellText(*t, {1, 1}), "2");
    EXPECT_EQ(Arg(CellRecord(*t, {2, 1}), "format"), "40,3,2");
    EXPECT_EQ(CellText(*t, {2, 1}), "4.00");
    EXPECT_EQ(CellText(*t, {2, 0}), "3.25");
}

// Wildcards in any field of a three-dimension key reach exactly the cells whose other fields
// match, later entries winning; a wildcard over a dimension without leaves, or a fixed field past
// the last leaf, reaches none.
TEST(PivotBuilder, WildcardFormatsReachEveryMatchInThreeDimensions) {
    const std::string formats = R"("formats":[{"index":"*1*","format":{"prefix":"$"}},)"
                                R"({"index":"1*0","format":{"suffix":"%"}},)"
                                R"({"index":"**2","format":{"string":true}},)"
                                R"({"index":"3**","format":{"decimals":1}}],)";
    const std::string table =
        R"({"tableId":"t","title":{"text":)" + S("T") + R"(},"dimensions":[)" +
        Dim("L", Leaves("l", 2), R"("role":"layer")") + "," + Dim("R", Leaves("r", 3)) + "," +
        Dim("C", Leaves("c", 2), R"("role":"column")") + "]," + formats + Compact(Count(12)) + "}";
    const auto* t = Build(table);
    ASSERT_NE(t, nullptr);
    for (int l = 0; l < 2; ++l) {
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 2; ++c) {
                std::string want = "40,40,0";  // no format
                if (r == 1)
                    want = "40,4,3";
                if (l == 1 && c == 0)
                    want = "40,31,3";
                EXPECT_EQ(Arg(CellRecord(*t, {l, r, c}), "format"), want) << l << r << c;
            }
        }
    }
}

TEST(PivotBuilder, KeyFieldsEqualToTheLeafCountNameNoCell) {
    // 3 rows x 2 columns: row field 3 and column field 2 are one past the last leaf. With an
    // off-by-one range check "12" would land on row 2, column 0 and "30" past the cell list.
    const std::string sparse =
        R"({"cells":{"sparse":{"index":["30","12","02","21"],"value":[7,8,9,10]}}})";
    const std::string formats =
        R"("formats":[{"index":"30","format":{"prefix":"$"}},{"index":"12","format":{"prefix":"$"}},)"
        R"({"index":"3*","format":{"prefix":"$"}},{"index":"*2","format":{"prefix":"$"}}],)";
    const auto* t = Build(Table(Leaves("r", 3), Leaves("c", 2),
                                formats +
                                    R"("cells":[{"cells":{"compactCells":{"index":"00",)"
                                    R"("value":[1,2,3,4,5,6]}}},)" +
                                    sparse + "]"));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(CellText(*t, {0, 0}), "1");
    EXPECT_EQ(CellText(*t, {2, 0}), "5");
    EXPECT_EQ(CellText(*t, {2, 1}), "10");
    // No "$" format reached any cell: every one keeps the general format.
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(Arg(CellRecord(*t, {r, c}), "format"), "40,40,0") << r << "," << c;
    }
    // A compact block starting one past the last row or column adds nothing.
    for (const char* start : {"30", "02"}) {
        t = Build(Table(Leaves("r", 3), Leaves("c", 2), Compact("1,2", start)));
        ASSERT_NE(t, nullptr) << start;
        EXPECT_TRUE(t->cells.empty()) << start;
    }
    // The last cell is a valid start: one value fits.
    t = Build(Table(Leaves("r", 3), Leaves("c", 2), Compact("1,2", "21")));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(CellText(*t, {2, 1}), "1");
    EXPECT_EQ(t->cells.size(), 1u);
}

TEST(PivotBuilder, DimensionsWithoutCategoriesRenderWithoutCrashing) {
    // A column dimension with no categories once made the grid index an empty list (a native
    // crash inside the JVM process). Empty, missing and non-array category lists all render.
    for (const std::string cols : {"[]", "null", "5", "{}"}) {
        const auto* t = Build(Table(Leaves("r", 2), cols, Compact("1,2")));
        ASSERT_NE(t, nullptr) << cols;
        EXPECT_TRUE(t->cells.empty()) << cols;
        // The rows stay; there is no data column to show.
        const std::string text = qehost::PivotToText(*t);
        EXPECT_NE(text.find("| r1   |"), std::string::npos) << text;
    }
    // The same for rows and for a layer.
    const auto* t = Build(Table("[]", Leaves("c", 2), Compact("1,2")));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(qehost::PivotToText(*t).rfind("Title\n", 0), 0u);
    const std::string layered = R"({"tableId":"t","title":{"text":)" + S("T") +
                                R"(},"dimensions":[)" + Dim("R", Leaves("r", 1)) + "," +
                                Dim("L", "[]", R"("role":"layer")") + "]," + Compact("1") + "}";
    t = Build(layered);
    ASSERT_NE(t, nullptr);
    qehost::PivotToText(*t);
}

TEST(PivotBuilder, CellLabelsAndLabelCodedCells) {
    const std::string body = R"("cellLabels":{"keys":[1,2,3],"values":["alpha","beta",)" +
                             S("gamma") +
                             R"(]},"formats":[{"index":"*1","format":{"string":true}}],)" +
                             Compact(R"("1,2","9,3",2,2,7,5,0,0)");
    const auto* t = Build(Table(Leaves("r", 4), Leaves("c", 2), body));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(CellText(*t, {0, 0}), "alpha\\nbeta");  // backslash and n between labels
    EXPECT_EQ(CellText(*t, {0, 1}), "gamma");         // unknown codes are left out
    EXPECT_EQ(CellText(*t, {1, 0}), "2");
    EXPECT_EQ(CellText(*t, {1, 1}), "beta");  // type 1: the label stored under the value
    EXPECT_EQ(CellRecord(*t, {1, 1}).kind, "utf8");
    EXPECT_EQ(CellText(*t, {2, 1}), "5");  // not below the label count: a number
    EXPECT_EQ(CellRecord(*t, {2, 1}).kind, "number");
    EXPECT_EQ(CellText(*t, {3, 1}), "");  // below the count, but no label under 0
}

TEST(PivotBuilder, StructureTitleCaptionCornerAndNotes) {
    const std::string rows =
        "[" + Leaf("A") + R"(,{"children":[]},)" + R"({"text":)" + S("G", {1}) +
        R"(,"show":false,"sort":{"order":"descending"},"children":[)" +
        Leaf("B", R"("show":false)") + "," + Leaf("C", R"("subscript":"0")") + "]}]";
    const std::string cols = R"([{"text":)" + S("only") + R"(,"show":false}])";
    const std::string table =
        R"({"tableId":"t","title":{"show":false,"text":)" + S("T", {0, 5}) + R"(},"footnotes":[)" +
        S("first") + R"(,{"text":{}},)" + S("second") + R"(],"caption":{"text":[)" + S("line 1") +
        "," + S("line 2", {1}) + R"(]},"cornerText":{"text":)" + S("corner") +
        R"(},"dimensions":[)" + Dim("Rows", rows, R"("position":2)") + R"(,{"text":)" +
        S("Cols", {0}) + R"(,"role":"layer","children":)" + cols + "}]," + Compact("1,2,3,4") + "}";
    const auto* t = Build(table);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->titleHidden);
    ASSERT_EQ(t->notes.size(), 1u);
    EXPECT_EQ(t->notes[0].text, "first");
    ASSERT_TRUE(t->caption.has_value());
    EXPECT_EQ(t->caption->text, "line 1\nline 2");
    ASSERT_EQ(t->captionNotes.size(), 1u);
    EXPECT_EQ(t->captionNotes[0].text, "second");  // the empty footnote was dropped
    EXPECT_EQ(t->cornerText->text, "corner");
    EXPECT_EQ(t->title.text, "Title");
    EXPECT_EQ(Arg(t->subType, "text"), "subtype");

    const qehost::DimensionNode& r = *t->dimensions[0];
    EXPECT_EQ(r.position, 2);
    EXPECT_FALSE(r.hideChildren);
    ASSERT_EQ(r.root.children.size(), 2u);  // the category without text is skipped
    const qehost::CategoryNode& group = *r.root.children[1];
    EXPECT_TRUE(group.group);
    EXPECT_FALSE(group.show);
    EXPECT_EQ(group.sort, 1);
    EXPECT_EQ(group.notes.size(), 1u);
    EXPECT_TRUE(group.children[0]->hidden);
    const qehost::DimensionNode& c = *t->dimensions[1];
    EXPECT_EQ(c.place, 2);
    EXPECT_TRUE(c.hideChildren);  // one child whose show is false
    EXPECT_EQ(c.notes.size(), 1u);
    // A: counter 0; B: counter 1 (the text-less category did not advance it); C: subscript 0.
    EXPECT_EQ(CellText(*t, {0, 0}), "1");
    EXPECT_EQ(CellText(*t, {1, 0}), "2");
    EXPECT_EQ(CellText(*t, {2, 0}), "1");

    // The caller's caption wins.
    t = Build(table, [](jsonPivot& b) { b.setCaption("mine"); });
    EXPECT_EQ(t->caption->text, "mine");
    EXPECT_TRUE(t->captionNotes.empty());
}

TEST(PivotBuilder, DimensionsWithoutTextStopTheWalk) {
    const std::string table = R"({"tableId":"t","title":{},"dimensions":[)" +
                              Dim("R", Leaves("r", 2)) + R"(,{"children":)" + Leaves("c", 2) +
                              "}]," + Compact("1,2,3,4") + "}";
    const auto* t = Build(table);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->dimensions.size(), 1u);
    EXPECT_TRUE(t->cells.empty());
    const std::string unknown =
        R"({"tableId":"t","title":{},"dimensions":[{"text":{"text":{}},"children":)" +
        Leaves("r", 1) + "}]," + Compact("1") + "}";
    t = Build(unknown);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->dimensions[0]->text.text, "Unknown");
}

class CellTexts : public testing::Test {
  protected:
    TextRecord Convert(const std::string& cellText, bool translate = false) {
        const std::string text = R"({"c":)" + cellText + "}";
        JNIJSONObject document(text.c_str());
        EXPECT_TRUE(document.isGood()) << document.getParserError();
        jobject item = document.get(document.getTop(), "c");
        jsonPivot builder(document, item, nullptr, dictionary);
        builder.translateTableStrings(translate);
        std::unique_ptr<PnCellText> made = builder.getCellText(item);
        if (!made) {
            TextRecord none;
            none.kind = "none";
            return none;
        }
        return qehost::RecordOf(*made);
    }
    static std::string StringText(const std::string& k, const std::string& v,
                                  const std::string& h) {
        std::string members;
        auto add = [&members](const char* name, const std::string& value) {
            if (value.empty())
                return;
            members +=
                (members.empty() ? "" : ",") + std::string("\"") + name + "\":\"" + value + "\"";
        };
        add("key", k);
        add("value", v);
        add("helpId", h);
        return R"({"text":{"stringText":{)" + members + "}}}";
    }
    dataDictionary dictionary;
};

std::string Shape(const TextRecord& r) {
    std::string s = r.kind + "(";
    const auto args = qehost::Arguments(r);
    for (std::size_t i = 0; i < args.size(); ++i) {
        s += (i ? "," : "") + args[i].second;
    }
    return s + ")";
}

TEST_F(CellTexts, StringTextForms) {
    // Translation on.
    EXPECT_EQ(Shape(Convert(StringText("K", "V", "H"), true)), "string(K,true)");
    EXPECT_EQ(Shape(Convert(StringText("", "", "H"), true)), "utf8( )");
    EXPECT_EQ(Shape(Convert(StringText("", "V", "H"), true)), "utf8(V,V,H)");
    EXPECT_EQ(Shape(Convert(StringText("", "V", ""), true)), "utf8(V)");
    // Translation off.
    EXPECT_EQ(Shape(Convert(StringText("", "", ""))), "utf8( )");
    EXPECT_EQ(Shape(Convert(StringText("K", "", "H"))), "utf8(K,K,H)");
    EXPECT_EQ(Shape(Convert(StringText("K", "", ""))), "utf8(K,K)");
    EXPECT_EQ(Shape(Convert(StringText("K", "V", "H"))), "utf8(K,V,H)");
    EXPECT_EQ(Shape(Convert(StringText("K", "V", ""))), "utf8(K,V)");
    EXPECT_EQ(Shape(Convert(StringText("", "V", "H"))), "utf8(V,V,H)");
    EXPECT_EQ(Shape(Convert(StringText("", "V", ""))), "utf8(V)");
    EXPECT_EQ(Convert(StringText("K", "V", "")).text, "V");
    EXPECT_EQ(Convert(R"({"text":{"other":{}}})").kind, "none");
    EXPECT_EQ(Convert(R"({"text":"plain"})").kind, "none");
}

TEST_F(CellTexts, NumbersFormatsAndComposites) {
    auto number = [this](const std::string& format) {
        return Convert(R"({"text":{"numericText":{"value":3,"format":)" + format + "}}}");
    };
    EXPECT_EQ(Arg(number("{}"), "format"), "40,40,3");
    EXPECT_EQ(Arg(number(R"({"string":true})"), "format"), "40,1,0");
    EXPECT_EQ(Arg(number(R"({"decimalSeparator":",","decimals":1})"), "format"), "40,32,1");
    EXPECT_EQ(Arg(number(R"({"decimalSeparator":".","thousandsSeparator":"."})"), "format"),
              "40,32,3");
    EXPECT_EQ(Arg(number(R"({"prefix":"$"})"), "format"), "40,4,3");
    EXPECT_EQ(Arg(number(R"({"suffix":"%","decimals":0})"), "format"), "40,31,0");
    const std::pair<const char*, int> patterns[] = {
        {"HH:mm:ss", 21},         {"yyyy-MM-dd", 39},  {"yyyy-MM-dd HH:mm", 86},
        {"MM/dd/yyyy", 23},       {"mm:ss", 85},       {"dd.MM.yyyy", 38},
        {"dd.MM.yyyy HH:mm", 22}, {"dd-MMM-yyyy", 20}, {"EEE d MMM yyyy hh:mm", 22}};
    for (const auto& [pattern, type] : patterns) {
        TextRecord r = number(std::string(R"({"dateTimePattern":")") + pattern + "\"}");
        EXPECT_EQ(Arg(r, "format"), "40," + std::to_string(type) + ",3") << pattern;
        const bool shifted = type != 21 && type != 85;
        EXPECT_EQ(Arg(r, "value"), shifted ? "12219379203" : "3") << pattern;
    }
    EXPECT_EQ(number(R"({"negativeInfinity":true})").text, ".");

    const TextRecord c = Convert(R"({"text":{"compositeText":{"children":[)" + outtest::S("a") +
                                 R"(,{"text":{}},)" + outtest::S("c") + "]}}}");
    EXPECT_EQ(c.kind, "composite");
    EXPECT_EQ(Arg(c, "template"), "^1^2^3");
    EXPECT_EQ(c.parts.size(), 3u);
    EXPECT_EQ(c.text, "ac");
}

// A table's formats are read from a packed copy, a cell text's format node by node: the same
// format object, members of the wrong kind included, must give the same host format either way.
TEST_F(CellTexts, TableFormatsReadAsCellTextFormats) {
    const char* formats[] = {
        "{}",
        R"({"decimals":true})",
        R"({"decimals":"4"})",
        R"({"decimals":2.7})",
        R"({"decimals":40})",
        R"({"decimals":-2,"prefix":5})",
        R"({"string":1})",
        R"({"string":"yes","suffix":"%"})",
        R"({"decimalSeparator":",","thousandsSeparator":"."})",
        R"({"dateTimePattern":"yyyy-MM-dd HH:mm","decimals":0})",
        R"({"dateTimePattern":7})",
        R"({"positiveInfinity":1})",
        R"({"negativeInfinity":true,"decimals":1})",
    };
    for (const char* format : formats) {
        const TextRecord text =
            Convert(R"({"text":{"numericText":{"value":3,"format":)" + std::string(format) + "}}}");
        const auto* t = Build(Table(
            Leaves("r", 1), Leaves("c", 1),
            R"("formats":[{"index":"00","format":)" + std::string(format) + "}]," + Compact("3")));
        ASSERT_NE(t, nullptr) << format;
        const TextRecord cell = CellRecord(*t, {0, 0});
        EXPECT_EQ(Arg(cell, "format"), Arg(text, "format")) << format;
        EXPECT_EQ(cell.text, text.text) << format;
    }
}

TEST_F(CellTexts, VariablesAndDataValuesFallBackToTheDictionary) {
    dataField age;
    age.setName("age");
    age.setLabel("Age in years");
    dictionary.addField(age);
    dataField when;
    when.setName("when");
    when.setStorage("date");
    dictionary.addField(when);
    dataField at;
    at.setName("at");
    at.setStorage("timestamp");
    dictionary.addField(at);
    dataField span;
    span.setName("span");
    span.setStorage("time");
    dictionary.addField(span);

    EXPECT_EQ(Shape(Convert(R"({"text":{"variableText":{"variable":"age"}}})")),
              "utf8(Age in years)");
    EXPECT_EQ(Shape(Convert(R"({"text":{"variableText":{"variable":"other"}}})")), "utf8(other)");
    auto data = [this](const char* variable, double value) {
        return Convert(std::string(R"({"text":{"numericDataText":{"variable":")") + variable +
                       R"(","value":)" + std::to_string(value) + "}}}");
    };
    EXPECT_EQ(data("when", 19723).text, "2024/01/01");  // days since 1970
    EXPECT_EQ(data("at", 86400 + 3661).text, "02-JAN-1970 01:01:01");
    EXPECT_EQ(data("span", 3661).text, "1:01:01");
    EXPECT_EQ(Shape(data("age", 2.5)), "number(2.5,40,40,3)");
    EXPECT_EQ(data("age", 2.5).text, "2.500");
    EXPECT_EQ(Shape(Convert(R"({"text":{"stringDataText":{"variable":"s","value":"x y"}}})")),
              "utf8(x y)");
}

TEST(PivotBuilder, TextRenderingOfABuiltTable) {
    const std::string body =
        R"("footnotes":[)" + S("Rounded") +
        R"(],"formats":[{"index":"*1","format":{"decimals":1},"footnotes":[0]}],)" +
        Compact("10,1.25,20,2.5");
    const auto* t = Build(Table("[" + Leaf("Female") + "," + Leaf("Male") + "]",
                                "[" + Leaf("N") + "," + Leaf("Mean") + "]", body));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(qehost::PivotToText(*t),
              "Title\n"
              "+--------+----+-------+\n"
              "|        | Cols       |\n"
              "| Rows   | N  | Mean  |\n"
              "+--------+----+-------+\n"
              "| Female | 10 | 1.2^a |\n"
              "| Male   | 20 | 2.5^a |\n"
              "+--------+----+-------+\n"
              "a. Rounded\n");
}

}  // namespace
