// The diagnostic display texts and the timed debug table, with an injected clock.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "qeinteg/output/QEDebug.h"
#include "qeinteg/output/QEStatDisplay.h"
#include "qeinteg/platform/host/output/OutputItem.h"
#include "qeinteg/platform/host/output/PivotRecord.h"
#include "qeinteg/platform/host/output/PivotTableItem.h"
#include "qeinteg/platform/host/output/PnHeading.h"
#include "qeinteg/platform/host/output/PnPivotTable.h"

namespace {

std::vector<std::string> Capture(const std::function<void()>& display) {
    std::vector<std::string> lines;
    auto old = QEStatDisplay::SetTextSink([&](long channel, const std::string& line) {
        EXPECT_EQ(channel, 1);
        lines.push_back(line);
    });
    display();
    QEStatDisplay::SetTextSink(old);
    return lines;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(QEStatDisplay, LinesShowMissingValuesEmptyContainersAndPairs) {
    using namespace QEStatDisplay;
    EXPECT_EQ(Capture([] { DisplayD("d", -DBL_MAX); }), Lines{"d = miss"});
    EXPECT_EQ(Capture([] { DisplayD("d", 0.5); }), Lines{"d = 0.5"});
    EXPECT_EQ(Capture([] { DisplayIV("iv", {}); }), Lines{"iv <none>"});
    EXPECT_EQ(Capture([] { DisplayIV("iv", {1, 2}); }), Lines{"iv 1 2"});
    EXPECT_EQ(Capture([] { DisplayIIM("m", {{1, 2}, {3, 4}}); }), Lines{"m (1,2) (3,4)"});
    EXPECT_EQ(Capture([] { DisplayDV("dv", {1.5, -DBL_MAX}); }), Lines{"dv 1.5 miss"});
    EXPECT_EQ(Capture([] { DisplaySV("sv", {"a b", ""}); }), Lines{"sv \"a b\" \"\""});
    EXPECT_EQ(Capture([] { DisplayBV("bv", {true, false}); }), Lines{"bv true false"});
    EXPECT_EQ(Capture([] { DisplayVCL("c", {4, 5}, {true, false}); }), Lines{"c 4(cat) 5(cont)"});
    EXPECT_EQ(Capture([] { DisplayC("c", -1); }),
              Lines{"c = missing value for a categorical variable"});
    EXPECT_EQ(Capture([] { DisplayC("c", 7); }), Lines{"c = unrecognized"});
    EXPECT_EQ(Capture([] {
                  DisplaySVV("vv", {{"a"}, {}});
              }),
              (Lines{"vv", "vec[0] \"a\"", "vec[1] <none>"}));
    EXPECT_EQ(Capture([] { DisplaySVV("vv", {}); }), Lines{"vv <none>"});
    EXPECT_EQ(Capture([] { DisplayIntVecIntMap("m", {}); }), Lines{"m"});
    EXPECT_EQ(Capture([] {
                  DisplayIntVecIntMap("m", {{{1, 2}, 3}});
              }),
              (Lines{"m", "Map key 1 2", "Map value = 3"}));
    EXPECT_EQ(Capture([] {
                  DisplaySLDM("s", {{{"x"}, 0.25}});
              }),
              (Lines{"s", "Map's String List: \"x\"", "Map's double = 0.25"}));
    EXPECT_EQ(Capture([] { DisplayB("b", true); }), Lines{"b = true"});
    EXPECT_EQ(Capture([] { DisplayT("t", 42); }), Lines{"t = 42"});
}

namespace {

// The debug table's cells as "row/column" -> shown text.
std::map<std::string, std::string> Cells(const qehost::OutputItem& parent) {
    std::map<std::string, std::string> cells;
    for (const auto& child : parent.children()) {
        if (child->kind() != qehost::OutputItem::Kind::PivotTable)
            continue;
        const auto& table = static_cast<const qehost::PivotTableItem&>(*child).table();
        table.cells.ForEach([&](std::span<const int> key, const qehost::CellNode& cell) {
            if (!cell.text)
                return;
            const std::string row =
                table.dimensions[0]->leaves[static_cast<size_t>(key[0])]->text.text;
            const std::string column =
                table.dimensions[1]->leaves[static_cast<size_t>(key[1])]->text.text;
            cells[row + "/" + column] = cell.text->text;
        });
        break;  // the first table only
    }
    return cells;
}

struct FakeClock {
    std::chrono::system_clock::time_point now = std::chrono::system_clock::from_time_t(1000000);
    QEDebug::Clock clock() {
        return [this] { return now; };
    }
};

}  // namespace

TEST(QEDebug, ElapsedTimesAndSharesFollowTheClock) {
    qehost::OutputItem root(qehost::OutputItem::Kind::Root);
    PnHeading heading(&root);
    FakeClock clock;
    {
        QEDebug debug(&heading, clock.clock());
        clock.now += std::chrono::milliseconds(500);
        debug.addOutputLine("first");
        clock.now += std::chrono::milliseconds(1000);
        debug.addOutputLine("second");
    }
    const auto cells = Cells(root);
    EXPECT_EQ(cells.at("0/Comment"), "first");
    EXPECT_EQ(cells.at("1/Comment"), "second");
    EXPECT_EQ(std::stod(cells.at("0/Elapsed Time")), 0.5);
    EXPECT_EQ(std::stod(cells.at("1/Elapsed Time")), 1.0);
    EXPECT_EQ(std::stod(cells.at("1/Total Elapsed Time")), 1.5);
    EXPECT_NEAR(std::stod(cells.at("0/Percent")), 33.3, 0.05);
    EXPECT_NEAR(std::stod(cells.at("1/Percent")), 66.7, 0.05);
    EXPECT_NEAR(std::stod(cells.at("0/Cumulative Percent")), 33.3, 0.05);
    EXPECT_NEAR(std::stod(cells.at("1/Cumulative Percent")), 100.0, 0.05);
    EXPECT_EQ(cells.at("0/Time").size(), 12u);  // HH:MM:SS.mmm
    EXPECT_EQ(cells.at("0/Time").substr(8), ".500");
}

TEST(QEDebug, LinesInTheSameMillisecondLeaveTheSharesEmpty) {
    qehost::OutputItem root(qehost::OutputItem::Kind::Root);
    PnHeading heading(&root);
    FakeClock clock;
    {
        QEDebug debug(&heading, clock.clock());
        debug.addOutputLine("a").addOutputLine("b");
        QEDebug copy(debug);  // its own table: the two never write into each other's
        copy.addOutputLine("c");
    }
    const auto cells = Cells(root);
    EXPECT_EQ(cells.count("0/Percent"), 0u);
    EXPECT_EQ(cells.count("1/Cumulative Percent"), 0u);
    for (const auto& [key, text] : cells)
        EXPECT_EQ(text.find("nan"), std::string::npos) << key << " " << text;
    EXPECT_EQ(cells.at("1/Comment"), "b");
    EXPECT_EQ(cells.at("0/Comment"), "a");  // the copy's "c" went to its own table
}
