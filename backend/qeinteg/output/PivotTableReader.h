// Reads one table object of an output document into native form: the dimensions with their
// category trees, and the cells (values, texts, formats, footnote references) by cell index.
//
// A cell index counts through the leaves of every dimension, the first dimension outermost. A key
// text addresses a cell by one fixed-width field per dimension (CellKey.h); a field naming no leaf
// of its dimension (equal to or past its leaf count) names no cell.
#pragma once

#include <jni.h>

#include <cfloat>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "qeinteg/output/PivotCellFormat.h"

class PnCellText;

namespace qeinteg::output {

class OutputJson;
class PivotCellText;

class PivotTableReader {
  public:
    // Cells a table may address. The whole key space is held in memory, so an absurd layout (a
    // damaged document) is refused rather than exhausting memory.
    static constexpr std::uint64_t kMaxCells = std::uint64_t{1} << 26;

    // Compact per-cell state; string values and footnote references are rare and kept aside.
    struct Cell {
        double value = DBL_MAX;  // DBL_MAX: no numeric value
        PnFormatSpec format{40, kFormatTypeNone, 0};
        bool missing = false;
    };

    // A category as read from the document once; the emitter walks it once per outer leaf.
    struct Category {
        std::unique_ptr<PnCellText> text;  // null: left out (no usable text)
        std::string plain;                 // plain text, for the filters of the top level
        bool group = false;
        bool show = true;
        int sort = 2;
        std::string subscript;
        std::vector<int> notes;
        std::uint64_t leafCount = 1;
        std::vector<Category> children;
    };

    struct Dimension {
        std::unique_ptr<PnCellText> text;  // null: the dimension (and all after it) is left out
        int sort = 2;
        std::vector<int> notes;
        bool rows = true;
        int place = 0;
        int position = 1;
        bool hideName = false;
        bool hideChildren = false;
        std::vector<Category> categories;
    };

    // `item` is the table object; `texts` converts its cell texts. Both outlive the reader.
    PivotTableReader(OutputJson& json, jobject item, PivotCellText& texts);

    // Reads the dimension nodes and their leaf counts; false when the layout addresses more than
    // kMaxCells cells.
    bool ReadLayout();
    // After ReadLayout: the cells (labels, formats, values) and then the dimensions' category
    // trees. `footnoteCount` bounds the footnote references kept.
    void ReadCells();
    void ReadDimensions(std::size_t footnoteCount);

    // The cell index of a key text; nothing when the key names no cell.
    std::optional<std::uint64_t> IndexOfKey(const std::string& key) const;
    // fn(index) for every cell index matched by a key whose fields may hold "*" (any leaf of that
    // dimension), in ascending order.
    void ForEachIndexOfPattern(const std::string& key,
                               const std::function<void(std::uint64_t)>& fn) const;

    // The footnote references of a cell-text object below `footnoteCount`.
    std::vector<int> NoteRefs(jobject cellText, std::size_t footnoteCount);

    const std::vector<Dimension>& dimensions() const { return dims_; }
    std::size_t dimensionCount() const { return dimensionNodes_.size(); }
    std::uint64_t leafCount(std::size_t d) const { return leafCounts_[d]; }
    std::uint64_t keyWidth(std::size_t d) const { return keyWidths_[d]; }
    std::uint64_t cellCount() const { return cells_.size(); }
    const Cell& cell(std::uint64_t index) const { return cells_[index]; }
    // The text value of a cell without a number, if it has one.
    const std::string* cellString(std::uint64_t index) const;
    // The footnote references of a cell (empty when none).
    const std::vector<int>* cellNotes(std::uint64_t index) const;
    const std::map<std::int64_t, std::string>& cellLabels() const { return cellLabels_; }

  private:
    std::uint64_t LeafCount(jobject categories);
    void ReadCellLabels();
    void ApplyFormat(std::uint64_t index, const CellFormat& f, const std::vector<int>& refs,
                     bool wildcard);
    void ReadFormats();
    void ReadValues();
    std::vector<Category> ReadCategories(jobject categories, bool topLevel,
                                         std::size_t footnoteCount);

    OutputJson& json_;
    jobject item_;
    PivotCellText& texts_;
    std::vector<jobject> dimensionNodes_;
    std::vector<std::uint64_t> leafCounts_;
    std::vector<std::uint64_t> keyWidths_;
    std::uint64_t keyWidthTotal_ = 0;
    std::uint64_t total_ = 0;
    std::vector<Cell> cells_;
    std::unordered_map<std::uint64_t, std::string> cellStrings_;
    std::unordered_map<std::uint64_t, std::vector<int>> cellNotes_;
    std::map<std::int64_t, std::string> cellLabels_;
    std::vector<Dimension> dims_;
};

}  // namespace qeinteg::output
