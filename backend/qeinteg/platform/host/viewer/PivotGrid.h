// Lays a recorded pivot table out as a grid of text cells: the column headers on top, the row
// labels (the stub) on the left, the data cells below and right of them, one grid per combination
// of layer categories. The text and HTML renderers draw from the same grid.
#pragma once

#include <string>
#include <vector>

#include "qeinteg/platform/host/output/PivotRecord.h"

namespace qehost {

struct GridCell {
    std::string text;
    std::string marks;  // footnote letters, comma-separated
    int span = 1;       // columns covered; the covered cells follow with span 0
    bool header = false;
    bool numeric = false;
};

struct PivotGrid {
    std::string title;  // empty when the title is hidden
    std::string titleMarks;
    std::string layer;  // "Dim = Category, ..." for layered tables
    int headerRows = 0;
    int stubColumns = 0;
    std::vector<std::vector<GridCell>> rows;
    std::string caption;
    std::string captionMarks;
    std::vector<std::string> footnotes;  // "a. text" in letter order
};

// One grid per combination of visible layer categories (one grid when there are no layers).
std::vector<PivotGrid> BuildPivotGrids(const PivotTableRecord& table);

// Number of characters a UTF-8 text takes on a terminal (one per code point).
std::size_t DisplayWidth(const std::string& text);

}  // namespace qehost
