#include "qeinteg/output/QEDebug.h"

#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

#include "qeinteg/platform/host/output/PnHeading.h"
#include "qeinteg/platform/host/output/PnNumber.h"
#include "qeinteg/platform/host/output/PnPivotTable.h"
#include "qeinteg/platform/host/output/PnString.h"

namespace {

const PnFormatSpec kCount(40, 5, 0);
const PnFormatSpec kGeneral(40, 40, 3);
const PnFormatSpec kPercent(40, 5, 1);

}  // namespace

struct QEDebug::State {
    PnHeading* heading = nullptr;
    Clock clock;
    std::unique_ptr<PnPivotTable> table;
    PnDimension rows;
    PnDimension columns;
    std::chrono::system_clock::time_point start;
    std::chrono::system_clock::time_point last;
    int32_t lines = 0;
    std::vector<double> elapsed;
    // One leaf per line and per column, named once: a cell is set on a leaf handle and lands at the
    // other dimension's current leaf.
    std::vector<PnCategory> rowLeaves;
    std::map<std::string, PnCategory> columnLeaves;

    void makeTable() {
        if (heading == nullptr)
            return;
        table = heading->PivotTable(PnString("Debug", false), PnString("Debug", false), true);
        rows = table->Dimension(PnString("row", false), 2);
        rows.Position(0, 1, true, true);
        columns = table->Dimension(PnString("col", false), 2);
        columns.Position(1, 1, true, false);
        for (const char* label : {"Time", "Elapsed Time", "Total Elapsed Time", "Comment"})
            columnLeaves[label] = columns.Category(PnString(label, false));
    }
    std::chrono::system_clock::time_point now() const {
        return clock ? clock() : std::chrono::system_clock::now();
    }
    static double Seconds(std::chrono::system_clock::duration d) {
        // Millisecond resolution, as the host's clock gives it.
        return static_cast<double>(
                   std::chrono::duration_cast<std::chrono::milliseconds>(d).count()) /
               1000.0;
    }
    // A new row: its leaf becomes the row dimension's current one.
    void addRow(int row) {
        if (table)
            rowLeaves.push_back(rows.Category(PnNumber(row, kCount)));
    }
    // A cell of the current row.
    void cell(const char* column, const PnCellText& text) {
        if (table)
            columnLeaves[column].Cell(text);
    }
};

QEDebug::QEDebug(PnHeading* heading, Clock clock) : state_(std::make_unique<State>()) {
    state_->heading = heading;
    state_->clock = std::move(clock);
    state_->makeTable();
    state_->start = state_->last = state_->now();
}

QEDebug::QEDebug(const QEDebug& other) : state_(std::make_unique<State>()) {
    *this = other;
}

QEDebug& QEDebug::operator=(const QEDebug& other) {
    if (this == &other)
        return *this;
    auto copy = std::make_unique<State>();
    copy->heading = other.state_->heading;
    copy->clock = other.state_->clock;
    copy->start = other.state_->start;
    copy->last = other.state_->last;
    copy->makeTable();
    state_ = std::move(copy);
    // The copy's table shows only its own lines; its times continue from the original's.
    return *this;
}

QEDebug::~QEDebug() {
    State& s = *state_;
    if (!s.table)
        return;
    const double total = State::Seconds(s.last - s.start);
    if (total <= 0)
        return;  // all lines in the same millisecond: no share can be given
    // The share columns: each named once (so it is current), then one cell per row leaf.
    s.columns.Category(PnString("Percent", false));
    for (size_t i = 0; i < s.rowLeaves.size(); ++i)
        s.rowLeaves[i].Cell(PnNumber(s.elapsed[i] / total * 100.0, kPercent));
    s.columns.Category(PnString("Cumulative Percent", false));
    double cumulative = 0;
    for (size_t i = 0; i < s.rowLeaves.size(); ++i) {
        cumulative += s.elapsed[i];
        s.rowLeaves[i].Cell(PnNumber(cumulative / total * 100.0, kPercent));
    }
}

QEDebug& QEDebug::addOutputLine(const std::string& text) {
    State& s = *state_;
    const auto now = s.now();
    const double elapsed = State::Seconds(now - s.last);
    s.elapsed.push_back(elapsed);
    s.last = now;
    const double total = State::Seconds(now - s.start);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    char clock[32];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(millis < 0 ? millis + 1000 : millis));
    s.addRow(s.lines++);
    s.cell("Time", PnString(clock, false));
    s.cell("Elapsed Time", PnNumber(elapsed, kGeneral));
    s.cell("Total Elapsed Time", PnNumber(total, kGeneral));
    s.cell("Comment", PnString(text.c_str(), false));
    return *this;
}
