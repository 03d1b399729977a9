#include "qeinteg/platform/host/viewer/PivotGrid.h"

#include <algorithm>
#include <map>

namespace qehost {
namespace {

// Letters for notes in order of first appearance; equal note texts share a letter.
class FootnoteLetters {
  public:
    std::string Marks(const std::vector<TextRecord>& notes) {
        std::string marks;
        for (const TextRecord& note : notes) {
            auto [it, added] = letters_.try_emplace(note.text, Letter(letters_.size()));
            if (added)
                lines_.push_back(it->second + ". " + note.text);
            if (!marks.empty())
                marks += ",";
            marks += it->second;
        }
        return marks;
    }
    const std::vector<std::string>& Lines() const { return lines_; }

  private:
    static std::string Letter(std::size_t n) {
        std::string s;
        do {
            s.insert(s.begin(), static_cast<char>('a' + n % 26));
            n /= 26;
        } while (n-- > 0);
        return s;
    }
    std::map<std::string, std::string> letters_;
    std::vector<std::string> lines_;
};

struct Step {
    const DimensionNode* dimension;
    const CategoryNode* leaf;
};
using Combination = std::vector<Step>;

void VisibleLeaves(const CategoryNode& node, std::vector<const CategoryNode*>& out) {
    for (const auto& child : node.children) {
        if (child->group) {
            VisibleLeaves(*child, out);
        } else if (!child->hidden) {
            out.push_back(child.get());
        }
    }
}

std::vector<Combination> Combinations(const std::vector<const DimensionNode*>& dims) {
    std::vector<Combination> out(1);
    for (const DimensionNode* d : dims) {
        std::vector<const CategoryNode*> leaves;
        VisibleLeaves(d->root, leaves);
        std::vector<Combination> next;
        for (const Combination& prefix : out) {
            for (const CategoryNode* leaf : leaves) {
                Combination c = prefix;
                c.push_back({d, leaf});
                next.push_back(std::move(c));
            }
        }
        out = std::move(next);
    }
    return out;
}

// Groups from the outermost down, then the leaf.
std::vector<const CategoryNode*> PathOf(const CategoryNode* leaf) {
    std::vector<const CategoryNode*> path;
    for (const CategoryNode* n = leaf; n != nullptr && n->parent != nullptr; n = n->parent) {
        path.insert(path.begin(), n);
    }
    return path;
}

std::size_t Depth(const DimensionNode* d) {
    std::vector<const CategoryNode*> leaves;
    VisibleLeaves(d->root, leaves);
    std::size_t depth = 1;
    for (const CategoryNode* leaf : leaves)
        depth = std::max(depth, PathOf(leaf).size());
    return depth;
}

// The node shown at `level` of a dimension `depth` levels deep: groups fill the upper levels and
// the leaf always sits on the last one.
const CategoryNode* NodeAtLevel(const CategoryNode* leaf, std::size_t level, std::size_t depth) {
    std::vector<const CategoryNode*> path = PathOf(leaf);
    if (level + 1 == depth)
        return leaf;
    if (level + 1 < path.size())
        return path[level];
    return nullptr;
}

std::string Label(const CategoryNode* node) {
    if (node == nullptr || (node->group && !node->show))
        return "";
    return node->text.text;
}

}  // namespace

std::size_t DisplayWidth(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80)
            ++n;
    }
    return n;
}

std::vector<PivotGrid> BuildPivotGrids(const PivotTableRecord& table) {
    FootnoteLetters letters;
    const auto rowDims = table.DimensionsAt(0);
    const auto colDims = table.DimensionsAt(1);
    const auto layerDims = table.DimensionsAt(2);
    const std::vector<Combination> rowCombos = Combinations(rowDims);
    const std::vector<Combination> colCombos = Combinations(colDims);
    const std::vector<Combination> layerCombos = Combinations(layerDims);

    std::string titleMarks = letters.Marks(table.notes);
    // Dimension and category notes are lettered before the cells, in tree order.
    std::map<const void*, std::string> nodeMarks;
    for (const auto& d : table.dimensions) {
        nodeMarks[d.get()] = letters.Marks(d->notes);
        std::vector<const CategoryNode*> stack{&d->root};
        while (!stack.empty()) {
            const CategoryNode* n = stack.back();
            stack.pop_back();
            if (n != &d->root)
                nodeMarks[n] = letters.Marks(n->notes);
            for (auto it = n->children.rbegin(); it != n->children.rend(); ++it) {
                stack.push_back(it->get());
            }
        }
    }

    // Stub columns: for every row dimension whose categories are shown, one per level.
    std::vector<std::pair<const DimensionNode*, std::size_t>> stubLevels;
    std::vector<std::size_t> stubDepths;  // the depth of each stub level's dimension, walked once
    for (const DimensionNode* d : rowDims) {
        if (d->hideChildren)
            continue;
        const std::size_t depth = Depth(d);
        for (std::size_t level = 0; level < depth; ++level) {
            stubLevels.emplace_back(d, level);
            stubDepths.push_back(depth);
        }
    }
    // Header rows: per column dimension its name (unless hidden), then one row per level.
    struct HeaderRow {
        std::size_t dimIndex;
        bool nameRow;
        std::size_t level;
        std::size_t depth;
    };
    std::vector<HeaderRow> headerRows;
    for (std::size_t k = 0; k < colDims.size(); ++k) {
        if (!colDims[k]->hideName)
            headerRows.push_back({k, true, 0, 0});
        if (colDims[k]->hideChildren)
            continue;
        const std::size_t depth = Depth(colDims[k]);
        for (std::size_t level = 0; level < depth; ++level) {
            headerRows.push_back({k, false, level, depth});
        }
    }
    const bool anyRowName = std::any_of(rowDims.begin(), rowDims.end(), [](const DimensionNode* d) {
        return !d->hideName && !d->hideChildren;
    });
    if (headerRows.empty() && (anyRowName || table.cornerText) && !stubLevels.empty()) {
        headerRows.push_back({0, false, 0, 0});  // a header row for the stub's names only
    }
    // Without column dimensions the data form one column; with a column dimension that has no
    // visible categories there is no data column at all (never index the empty combination list).
    const std::size_t dataColumns = colDims.empty() ? 1 : colCombos.size();

    std::vector<PivotGrid> grids;
    for (const Combination& layer : layerCombos) {
        PivotGrid grid;
        if (!table.titleHidden) {
            grid.title = table.title.text;
            grid.titleMarks = titleMarks;
        }
        for (const Step& s : layer) {
            if (!grid.layer.empty())
                grid.layer += ", ";
            grid.layer += s.dimension->text.text + " = " + s.leaf->text.text;
        }
        grid.stubColumns = static_cast<int>(stubLevels.size());
        grid.headerRows = static_cast<int>(headerRows.size());

        // Header rows.
        for (std::size_t h = 0; h < headerRows.size(); ++h) {
            std::vector<GridCell> row;
            for (std::size_t s = 0; s < stubLevels.size(); ++s) {
                GridCell cell;
                cell.header = true;
                const DimensionNode* d = stubLevels[s].first;
                const bool lastOfDim = s + 1 == stubLevels.size() || stubLevels[s + 1].first != d;
                if (h == 0 && s == 0 && table.cornerText) {
                    cell.text = table.cornerText->text;
                } else if (h + 1 == headerRows.size() && lastOfDim && !d->hideName) {
                    cell.text = d->text.text;
                    cell.marks = nodeMarks[d];
                }
                row.push_back(cell);
            }
            const HeaderRow& hr = headerRows[h];
            std::vector<std::pair<std::string, GridCell>> keyed;
            for (std::size_t c = 0; c < dataColumns; ++c) {
                GridCell cell;
                cell.header = true;
                std::string key;
                if (!colDims.empty()) {
                    const Combination& combo = colCombos[c];
                    for (std::size_t k = 0; k < hr.dimIndex; ++k) {
                        key +=
                            std::to_string(reinterpret_cast<std::uintptr_t>(combo[k].leaf)) + "/";
                    }
                    if (hr.nameRow) {
                        key += "name";
                        cell.text = colDims[hr.dimIndex]->text.text;
                        cell.marks = nodeMarks[colDims[hr.dimIndex]];
                    } else if (hr.depth > 0) {
                        const CategoryNode* n =
                            NodeAtLevel(combo[hr.dimIndex].leaf, hr.level, hr.depth);
                        key += std::to_string(reinterpret_cast<std::uintptr_t>(n)) + "@" +
                               std::to_string(c * (n == nullptr));
                        cell.text = Label(n);
                        if (n != nullptr)
                            cell.marks = nodeMarks[n];
                    }
                } else {
                    key = "only";
                }
                keyed.emplace_back(key, cell);
            }
            for (std::size_t c = 0; c < keyed.size();) {
                std::size_t end = c + 1;
                while (end < keyed.size() && keyed[end].first == keyed[c].first)
                    ++end;
                GridCell first = keyed[c].second;
                first.span = static_cast<int>(end - c);
                row.push_back(first);
                for (std::size_t k = c + 1; k < end; ++k) {
                    GridCell covered;
                    covered.header = true;
                    covered.span = 0;
                    row.push_back(covered);
                }
                c = end;
            }
            grid.rows.push_back(std::move(row));
        }

        // Data rows.
        std::vector<const CategoryNode*> previous(stubLevels.size(), nullptr);
        for (const Combination& rowCombo : rowCombos) {
            std::vector<GridCell> row;
            bool changed = false;
            for (std::size_t s = 0; s < stubLevels.size(); ++s) {
                const DimensionNode* d = stubLevels[s].first;
                const Step* step = nullptr;
                for (const Step& st : rowCombo) {
                    if (st.dimension == d)
                        step = &st;
                }
                const CategoryNode* n =
                    step == nullptr ? nullptr
                                    : NodeAtLevel(step->leaf, stubLevels[s].second, stubDepths[s]);
                GridCell cell;
                cell.header = true;
                // Nested labels are written once, where they start.
                if (changed || n != previous[s] || n == nullptr || !n->group) {
                    cell.text = Label(n);
                    if (n != nullptr)
                        cell.marks = nodeMarks[n];
                    changed = changed || n != previous[s];
                }
                previous[s] = n;
                row.push_back(cell);
            }
            for (std::size_t c = 0; c < dataColumns; ++c) {
                std::vector<int> key(table.dimensions.size(), -1);
                auto place = [&key](const Combination& combo, std::size_t upTo) {
                    for (std::size_t i = 0; i < upTo; ++i) {
                        key[combo[i].dimension->index] = combo[i].leaf->leafId;
                    }
                };
                place(rowCombo, rowCombo.size());
                if (!colDims.empty())
                    place(colCombos[c], colCombos[c].size());
                place(layer, layer.size());
                GridCell cell;
                if (const std::optional<CellNode> found = table.FindCell(key)) {
                    if (found->text) {
                        cell.text = found->text->text;
                        cell.numeric = found->text->numeric;
                    }
                    cell.marks = letters.Marks(found->notes);
                }
                row.push_back(cell);
            }
            grid.rows.push_back(std::move(row));
        }
        grids.push_back(std::move(grid));
    }

    std::string captionMarks = letters.Marks(table.captionNotes);
    for (PivotGrid& grid : grids) {
        if (table.caption)
            grid.caption = table.caption->text;
        grid.captionMarks = captionMarks;
        grid.footnotes = letters.Lines();
    }
    return grids;
}

}  // namespace qehost
