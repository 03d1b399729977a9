#include <gtest/gtest.h>

#include "OutputTestSupport.h"
#include "qeinteg/platform/host/output/PivotRecord.h"
#include "qeinteg/platform/host/viewer/PivotText.h"

namespace {

using qehost::CategoryNode;
using qehost::DimensionNode;
using qehost::PivotTableRecord;
using qehost::TextRecord;

TextRecord T(const std::string& text, bool numeric = false) {
    TextRecord r;
    r.kind = numeric ? "number" : "utf8";
    r.text = text;
    r.numeric = numeric;
    return r;
}

// Walks a 2 x 2 table the way a builder does: the column dimension is named again under every row
// leaf, and its categories are named again in the same order.
void Fill(PivotTableRecord& table) {
    DimensionNode* rows = table.AddDimension(T("Gender"), 2);
    rows->place = 0;
    for (const char* g : {"Female", "Male"}) {
        CategoryNode* leaf = table.AddCategory(rows, nullptr, T(g));
        (void)leaf;
        DimensionNode* cols = table.AddDimension(T("Statistics"), 2);
        cols->place = 1;
        CategoryNode* group = table.AddGroup(cols, nullptr, T("Salary"), true, 2);
        int i = 0;
        for (const char* s : {"Mean", "N"}) {
            CategoryNode* c = table.AddCategory(cols, group, T(s));
            table.cells.SetText(table.CoordinatesOf(cols, c),
                                T(std::string(g) + std::to_string(i++), true));
        }
    }
}

TEST(PivotRecord, RepeatedPassesMergeDimensionsAndCategories) {
    PivotTableRecord table;
    Fill(table);
    ASSERT_EQ(table.dimensions.size(), 2u);
    EXPECT_EQ(table.dimensions[0]->leaves.size(), 2u);
    EXPECT_EQ(table.dimensions[1]->leaves.size(), 2u);
    ASSERT_EQ(table.dimensions[1]->root.children.size(), 1u);
    EXPECT_EQ(table.cells.size(), 4u);
    EXPECT_EQ(outtest::CellRecord(table, {1, 0}).text, "Male0");
}

TEST(PivotRecord, EqualTextsInOnePassStayDistinct) {
    PivotTableRecord table;
    DimensionNode* d = table.AddDimension(T("D"), 2);
    table.AddCategory(d, nullptr, T("x"));
    table.AddCategory(d, nullptr, T("x"));
    EXPECT_EQ(d->leaves.size(), 2u);
    // A second pass merges them position by position.
    table.AddDimension(T("D"), 2);
    EXPECT_EQ(table.AddCategory(d, nullptr, T("x"))->leafId, 0);
    EXPECT_EQ(table.AddCategory(d, nullptr, T("x"))->leafId, 1);
    EXPECT_EQ(d->leaves.size(), 2u);
}

TEST(PivotRecord, TextDrawingWithSpansNotesAndHiddenCategories) {
    PivotTableRecord table;
    table.title = T("Salaries");
    Fill(table);
    table.dimensions[0]->leaves[0]->notes.push_back(T("Includes part-time staff"));
    table.cells.AddNote({1, 1}, T("Includes part-time staff"));
    table.cells.AddNote({1, 1}, T("Estimated"));
    table.caption = T("Source: payroll");
    table.dimensions[1]->hideName = true;
    EXPECT_EQ(qehost::PivotToText(table),
              "Salaries\n"
              "+----------+---------+-----------+\n"
              "|          | Salary              |\n"
              "| Gender   | Mean    | N         |\n"
              "+----------+---------+-----------+\n"
              "| Female^a | Female0 |   Female1 |\n"
              "| Male     |   Male0 | Male1^a,b |\n"
              "+----------+---------+-----------+\n"
              "Source: payroll\n"
              "a. Includes part-time staff\n"
              "b. Estimated\n");
}

}  // namespace

namespace {

TEST(PivotRecord, HtmlEscapesTextsAndSpansGroupHeaders) {
    PivotTableRecord table;
    table.title = T("A <b> & \"c\"");
    Fill(table);
    table.cells.SetText({0, 0}, T("x<y", true));
    table.caption = T("line 1\nline 2");
    const std::string html = qehost::PivotToHtml(table);
    EXPECT_NE(html.find("<caption>A &lt;b&gt; &amp; &quot;c&quot;</caption>"), std::string::npos)
        << html;
    EXPECT_NE(html.find("<td class=\"num\">x&lt;y</td>"), std::string::npos);
    EXPECT_NE(html.find("<th colspan=\"2\">Salary</th>"), std::string::npos);
    EXPECT_NE(html.find("<th colspan=\"2\">Statistics</th>"), std::string::npos);
    EXPECT_NE(html.find("line 1<br>line 2"), std::string::npos);
    EXPECT_EQ(html.find("<b>"), std::string::npos);
    EXPECT_NE(html.find("<thead>"), std::string::npos);
    EXPECT_NE(html.find("</tbody>"), std::string::npos);
}

TEST(PivotRecord, LayersGiveOneGridEachAndHiddenLabelsStayOut) {
    PivotTableRecord table;
    DimensionNode* layer = table.AddDimension(T("Year"), 2);
    layer->place = 2;
    DimensionNode* rows = nullptr;
    for (const char* y : {"2023", "2024"}) {
        table.AddCategory(layer, nullptr, T(y));
        rows = table.AddDimension(T("Item"), 2);  // named again under every layer category
        CategoryNode* group = table.AddGroup(rows, nullptr, T("hidden group"), false, 2);
        CategoryNode* a = table.AddCategory(rows, group, T("a"));
        table.cells.SetText(table.CoordinatesOf(rows, a), T(y, true));
        table.AddCategory(rows, group, T("b"))->hidden = true;
    }
    rows->hideName = true;
    table.cornerText = T("corner");
    const std::string text = qehost::PivotToText(table);
    EXPECT_NE(text.find("Year = 2023"), std::string::npos) << text;
    EXPECT_NE(text.find("Year = 2024"), std::string::npos);
    EXPECT_EQ(text.find("hidden group"), std::string::npos);
    EXPECT_EQ(text.find("| b"), std::string::npos);
    EXPECT_NE(text.find("corner"), std::string::npos);
    EXPECT_NE(text.find("|        | a | 2023 |\n+"), std::string::npos) << text;
    EXPECT_NE(text.find("|        | a | 2024 |\n+"), std::string::npos) << text;
}

}  // namespace
