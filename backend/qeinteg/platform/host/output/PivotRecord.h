// What the host keeps of a pivot table built through PnPivotTable and its dimension, group and
// category handles: the category trees, the cells by coordinates and every note, title and caption.
// The handles are thin views onto these records; the records live in the host output tree and
// outlive the handles.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "qeinteg/platform/host/output/PnFormatSpec.h"

namespace qehost {

// A cell text as the host received it: its kind, the arguments it was made from (in order) and the
// text the host shows for it.
struct TextRecord {
    std::string kind;  // "string", "utf8", "number", "composite", "variable", "datavalue"
    std::string text;  // shown text
    std::vector<std::pair<std::string, std::string>> args;
    std::vector<TextRecord> parts;  // the parts of a composite
    bool numeric = false;           // shown right-aligned
    // A number's value and format, kept as numbers: tables hold millions of them.
    double value = 0;
    PnFormatSpec format;

    friend bool operator==(const TextRecord&, const TextRecord&) = default;
};

// Hash of cell coordinates.
struct CoordinatesHash {
    std::size_t operator()(const std::vector<int>& key) const noexcept {
        std::size_t h = 1469598103934665603ull;
        for (int v : key)
            h = (h ^ static_cast<std::size_t>(static_cast<unsigned>(v))) * 1099511628211ull;
        return h;
    }
};

struct CategoryNode {
    TextRecord text;
    bool group = false;
    bool show = true;     // a group's show flag: false hides the group's label
    bool hidden = false;  // a leaf hidden with hide()
    int sort = 2;         // 0 ascending, 1 descending, 2 none
    std::vector<TextRecord> notes;
    std::vector<std::unique_ptr<CategoryNode>> children;
    CategoryNode* parent = nullptr;
    int leafId = -1;        // a leaf's index in its dimension, in creation order
    std::size_t visit = 0;  // where the next repeated pass looks for a matching child
};

struct DimensionNode {
    TextRecord text;
    int sort = 2;
    int place = 0;  // 0 row, 1 column, 2 layer
    int position = 1;
    bool hideName = false;
    bool hideChildren = false;
    std::vector<TextRecord> notes;
    CategoryNode root;
    std::vector<CategoryNode*> leaves;  // by leafId
    CategoryNode* current = nullptr;    // the leaf most recently named in this dimension
    std::size_t index = 0;              // creation order in the table
};

struct CellNode {
    std::optional<TextRecord> text;
    std::vector<TextRecord> notes;
};

class PivotTableRecord {
  public:
    TextRecord title;
    TextRecord subType;
    bool supportSplits = true;
    bool titleHidden = false;
    std::vector<TextRecord> notes;
    std::optional<TextRecord> caption;
    std::vector<TextRecord> captionNotes;
    std::optional<TextRecord> cornerText;
    std::optional<int> maxDataColumnWidth;
    std::optional<int> minDataColumnWidth;
    std::vector<std::unique_ptr<DimensionNode>> dimensions;
    // Keyed by one leaf id per dimension (creation order); -1 where a dimension had no current
    // leaf.
    std::unordered_map<std::vector<int>, CellNode, CoordinatesHash> cells;

    // A dimension with this text; naming an existing dimension again returns it and starts a new
    // pass over its categories, in which categories named in the same order are merged.
    DimensionNode* AddDimension(const TextRecord& text, int sort);
    CategoryNode* AddGroup(DimensionNode* dimension, CategoryNode* parent, const TextRecord& text,
                           bool show, int sort);
    // Adds (or merges) a leaf; it becomes the dimension's current leaf.
    CategoryNode* AddCategory(DimensionNode* dimension, CategoryNode* parent,
                              const TextRecord& text);
    // The cell at `leaf` and the current leaves of every other dimension.
    CellNode& CellFor(const DimensionNode* dimension, const CategoryNode* leaf);
    const CellNode* FindCell(const std::vector<int>& coordinates) const;

    // Dimensions of a place (0 row, 1 column, 2 layer) ordered by position, then creation.
    std::vector<const DimensionNode*> DimensionsAt(int place) const;

  private:
    CategoryNode* AddChild(DimensionNode* dimension, CategoryNode* parent, const TextRecord& text,
                           bool group);
};

}  // namespace qehost
