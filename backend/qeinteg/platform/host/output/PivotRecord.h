// What the host keeps of a pivot table built through PnPivotTable and its dimension, group and
// category handles: the category trees, the cells by coordinates and every note, title and caption.
// The handles are thin views onto these records; the records live in the host output tree and
// outlive the handles.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qeinteg/platform/host/output/PivotCells.h"
#include "qeinteg/platform/host/output/PnFormatSpec.h"
#include "qeinteg/platform/host/output/TextRecord.h"

namespace qehost {

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
    PivotCells cells;

    // A dimension with this text; naming an existing dimension again returns it and starts a new
    // pass over its categories, in which categories named in the same order are merged.
    DimensionNode* AddDimension(const TextRecord& text, int sort);
    CategoryNode* AddGroup(DimensionNode* dimension, CategoryNode* parent, TextRecord text,
                           bool show, int sort);
    // Adds (or merges) a leaf; it becomes the dimension's current leaf.
    CategoryNode* AddCategory(DimensionNode* dimension, CategoryNode* parent, TextRecord text);
    // Merges a repeated name without making a record of it: when the child the current pass
    // expects next under `parent` is a group (or a leaf, as `group` says) and same(child->text)
    // holds, the pass moves past it, a leaf becomes the dimension's current one, and the child is
    // returned. Otherwise null, and nothing changes: name it with AddGroup or AddCategory.
    template <typename Same>
    CategoryNode* Repeat(DimensionNode* dimension, CategoryNode* parent, bool group, Same same);

    // The coordinates of the cell at `leaf` and the current leaves of every other dimension.
    // Valid until the next call.
    const std::vector<int>& CoordinatesOf(const DimensionNode* dimension, const CategoryNode* leaf);
    std::optional<CellNode> FindCell(const std::vector<int>& coordinates) const {
        return cells.Find(coordinates);
    }

    // Dimensions of a place (0 row, 1 column, 2 layer) ordered by position, then creation.
    std::vector<const DimensionNode*> DimensionsAt(int place) const;

  private:
    CategoryNode* AddChild(DimensionNode* dimension, CategoryNode* parent, TextRecord text,
                           bool group);

    std::vector<int> coordinates_;  // CoordinatesOf's answer, reused
};

template <typename Same>
CategoryNode* PivotTableRecord::Repeat(DimensionNode* dimension, CategoryNode* parent, bool group,
                                       Same same) {
    if (parent == nullptr)
        parent = &dimension->root;
    if (parent->visit >= parent->children.size())
        return nullptr;
    CategoryNode* child = parent->children[parent->visit].get();
    if (child->group != group || !same(child->text))
        return nullptr;
    ++parent->visit;
    if (!group)
        dimension->current = child;
    return child;
}

}  // namespace qehost
