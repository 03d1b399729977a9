#include "qeinteg/platform/host/output/PivotRecord.h"

#include <algorithm>

namespace qehost {
namespace {

void ResetVisits(CategoryNode& node) {
    node.visit = 0;
    for (auto& child : node.children)
        ResetVisits(*child);
}

}  // namespace

DimensionNode* PivotTableRecord::AddDimension(const TextRecord& text, int sort) {
    for (auto& dimension : dimensions) {
        if (dimension->text == text) {
            ResetVisits(dimension->root);
            dimension->sort = sort;
            return dimension.get();
        }
    }
    auto dimension = std::make_unique<DimensionNode>();
    dimension->text = text;
    dimension->sort = sort;
    dimension->root.group = true;
    dimension->index = dimensions.size();
    dimensions.push_back(std::move(dimension));
    return dimensions.back().get();
}

CategoryNode* PivotTableRecord::AddChild(DimensionNode* dimension, CategoryNode* parent,
                                         TextRecord text, bool group) {
    if (parent == nullptr)
        parent = &dimension->root;
    // A repeated pass names the same children in the same order; look from the pass's cursor on,
    // so that two distinct categories with equal texts are never folded into one.
    for (std::size_t i = parent->visit; i < parent->children.size(); ++i) {
        CategoryNode* child = parent->children[i].get();
        if (child->group == group && child->text == text) {
            parent->visit = i + 1;
            return child;
        }
    }
    auto child = std::make_unique<CategoryNode>();
    child->text = std::move(text);
    child->group = group;
    child->parent = parent;
    if (!group) {
        child->leafId = static_cast<int>(dimension->leaves.size());
        dimension->leaves.push_back(child.get());
    }
    parent->children.push_back(std::move(child));
    parent->visit = parent->children.size();
    return parent->children.back().get();
}

CategoryNode* PivotTableRecord::AddGroup(DimensionNode* dimension, CategoryNode* parent,
                                         TextRecord text, bool show, int sort) {
    CategoryNode* group = AddChild(dimension, parent, std::move(text), true);
    group->show = show;
    group->sort = sort;
    return group;
}

CategoryNode* PivotTableRecord::AddCategory(DimensionNode* dimension, CategoryNode* parent,
                                            TextRecord text) {
    CategoryNode* leaf = AddChild(dimension, parent, std::move(text), false);
    dimension->current = leaf;
    return leaf;
}

const std::vector<int>& PivotTableRecord::CoordinatesOf(const DimensionNode* dimension,
                                                        const CategoryNode* leaf) {
    coordinates_.assign(dimensions.size(), -1);
    for (const auto& d : dimensions) {
        const CategoryNode* at = d.get() == dimension ? leaf : d->current;
        coordinates_[d->index] = at == nullptr ? -1 : at->leafId;
    }
    return coordinates_;
}

std::vector<const DimensionNode*> PivotTableRecord::DimensionsAt(int place) const {
    std::vector<const DimensionNode*> out;
    for (const auto& d : dimensions) {
        if (d->place == place)
            out.push_back(d.get());
    }
    std::stable_sort(out.begin(), out.end(), [](const DimensionNode* a, const DimensionNode* b) {
        return a->position < b->position;
    });
    return out;
}

}  // namespace qehost
