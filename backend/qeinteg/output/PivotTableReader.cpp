#include "qeinteg/output/PivotTableReader.h"

#include <algorithm>

#include "qeinteg/output/CellKey.h"
#include "qeinteg/output/OutputJson.h"
#include "qeinteg/output/PivotCellText.h"
#include "qeinteg/platform/host/output/PnCellText.h"
#include "qeinteg/platform/host/output/PnUTF8String.h"

namespace qeinteg::output {
namespace {

int SortOf(const std::string& sort) {
    if (sort == "ascending")
        return 0;
    if (sort == "descending")
        return 1;
    return 2;
}

}  // namespace

PivotTableReader::PivotTableReader(OutputJson& json, jobject item, PivotCellText& texts)
    : json_(json), item_(item), texts_(texts) {}

bool PivotTableReader::ReadLayout() {
    jobject dimensions = json_.Get(item_, "dimensions");
    std::uint64_t total = 1;
    for (int d = 0, n = json_.Size(dimensions); d < n; ++d) {
        jobject dimension = json_.At(dimensions, d);
        dimensionNodes_.push_back(dimension);
        const std::uint64_t leaves = LeafCount(json_.Get(dimension, "children"));
        leafCounts_.push_back(leaves);
        keyWidths_.push_back(KeyWidth(leaves));
        keyWidthTotal_ += keyWidths_.back();
        if (leaves != 0 && total > kMaxCells / leaves)
            return false;  // refuse: see kMaxCells
        total *= leaves;
    }
    total_ = dimensionNodes_.empty() ? 0 : total;
    return true;
}

void PivotTableReader::ReadCells() {
    cells_.assign(total_, Cell{});
    ReadCellLabels();
    ReadFormats();
    ReadValues();
}

const std::string* PivotTableReader::cellString(std::uint64_t index) const {
    if (cellStrings_.empty())  // asked once per cell: most tables have none
        return nullptr;
    auto it = cellStrings_.find(index);
    return it == cellStrings_.end() ? nullptr : &it->second;
}

const std::vector<int>* PivotTableReader::cellNotes(std::uint64_t index) const {
    if (cellNotes_.empty())
        return nullptr;
    auto it = cellNotes_.find(index);
    return it == cellNotes_.end() ? nullptr : &it->second;
}

std::vector<int> PivotTableReader::NoteRefs(jobject cellText, std::size_t footnoteCount) {
    std::vector<int> refs;
    for (int ref : json_.Ints(cellText, "footnotes")) {
        if (ref >= 0 && static_cast<std::size_t>(ref) < footnoteCount)
            refs.push_back(ref);
    }
    return refs;
}

std::uint64_t PivotTableReader::LeafCount(jobject categories) {
    std::uint64_t count = 0;
    for (int i = 0, n = json_.Size(categories); i < n; ++i) {
        OutputJson::Scope scope(json_);
        jobject children = json_.Get(json_.At(categories, i), "children");
        count += json_.Size(children) > 0 ? LeafCount(children) : 1;
    }
    return count;
}

std::optional<std::uint64_t> PivotTableReader::IndexOfKey(const std::string& key) const {
    if (key.size() != keyWidthTotal_)
        return std::nullopt;
    std::uint64_t index = 0;
    std::size_t at = 0;
    for (std::size_t d = 0; d < leafCounts_.size(); ++d) {
        auto leaf = DecodeKeyField(key.substr(at, keyWidths_[d]));
        if (!leaf || *leaf >= leafCounts_[d])
            return std::nullopt;
        index = index * leafCounts_[d] + *leaf;
        at += keyWidths_[d];
    }
    return index;
}

void PivotTableReader::ForEachIndexOfPattern(const std::string& key,
                                             const std::function<void(std::uint64_t)>& fn) const {
    if (key.size() != keyWidthTotal_)
        return;
    // Per dimension its one leaf, or nothing for a wildcard field.
    std::vector<std::optional<std::uint64_t>> fields;
    std::size_t at = 0;
    for (std::size_t d = 0; d < leafCounts_.size(); ++d) {
        const std::string field = key.substr(at, keyWidths_[d]);
        at += keyWidths_[d];
        if (field.find('*') != std::string::npos) {
            if (leafCounts_[d] == 0)
                return;
            fields.emplace_back(std::nullopt);
            continue;
        }
        auto leaf = DecodeKeyField(field);
        if (!leaf || *leaf >= leafCounts_[d])
            return;
        fields.emplace_back(leaf);
    }
    // An odometer over the wildcard fields, the last dimension turning fastest: the indexes come
    // in ascending order, and none is held in a list (a pattern may match every cell).
    std::vector<std::uint64_t> leaves(fields.size());
    for (std::size_t d = 0; d < fields.size(); ++d)
        leaves[d] = fields[d].value_or(0);
    while (true) {
        std::uint64_t index = 0;
        for (std::size_t d = 0; d < fields.size(); ++d)
            index = index * leafCounts_[d] + leaves[d];
        fn(index);
        // Turn the innermost wildcard field, carrying outwards; done when all have wrapped.
        bool turned = false;
        for (std::size_t d = fields.size(); d-- > 0 && !turned;) {
            if (fields[d])
                continue;
            turned = ++leaves[d] < leafCounts_[d];
            if (!turned)
                leaves[d] = 0;
        }
        if (!turned)
            return;
    }
}

void PivotTableReader::ReadCellLabels() {
    jobject labels = json_.Get(item_, "cellLabels");
    if (!json_.IsObject(labels))
        return;
    jobject keys = json_.Get(labels, "keys");
    jobject values = json_.Get(labels, "values");
    const int keyCount = json_.Size(keys);
    for (int i = 0, n = json_.Size(values); i < n; ++i) {
        OutputJson::Scope scope(json_);
        jobject value = json_.At(values, i);
        const std::int64_t key = i < keyCount ? json_.Int(json_.At(keys, i)) : i;
        cellLabels_[key] = json_.IsString(value) ? json_.Text(value) : texts_.PlainText(value);
    }
}

void PivotTableReader::ApplyFormat(std::uint64_t index, const CellFormat& f,
                                   const std::vector<int>& refs, bool wildcard) {
    Cell& cell = cells_[index];
    if (f.format.type != kFormatTypeNone) {
        cell.format = f.format;
    } else if (wildcard) {
        cell.format.width = f.format.width;
        cell.format.decimals = f.format.decimals;
    }
    if (!refs.empty())
        cellNotes_[index] = refs;
    cell.missing = f.missing;
}

void PivotTableReader::ReadFormats() {
    // Per-cell formats can be as many as the cells: read from one packed copy.
    const qeinteg::jni::PackedJson tree = json_.Tree(json_.Get(item_, "formats"));
    using Node = qeinteg::jni::PackedJson::Node;
    tree.root().forEachElement([&](Node entry) {
        const std::string key(entry.get("index").text());
        if (key.empty())
            return true;
        const CellFormat f = ReadCellFormat(entry.get("format"));
        std::vector<int> refs;
        entry.get("footnotes").forEachElement([&](Node ref) {
            refs.push_back(ref.intValue());
            return true;
        });
        if (key.find('*') == std::string::npos) {
            if (auto index = IndexOfKey(key))
                ApplyFormat(*index, f, refs, false);
        } else {
            ForEachIndexOfPattern(key,
                                  [&](std::uint64_t index) { ApplyFormat(index, f, refs, true); });
        }
        return true;
    });
}

void PivotTableReader::ReadValues() {
    // The blocks hold every value of the table: they are copied out of Java in one call and read
    // natively, instead of a handful of Java calls per cell.
    const qeinteg::jni::PackedJson tree = json_.Tree(json_.Get(item_, "cells"));
    using Node = qeinteg::jni::PackedJson::Node;
    tree.root().forEachElement([&](Node element) {
        const Node block = element.get("cells");
        if (!block.isObject())
            return true;
        if (const Node compact = block.get("compactCells"); compact.isObject()) {
            const std::string key(compact.get("index").text());
            const std::optional<std::uint64_t> start =
                key.size() == keyWidthTotal_ ? IndexOfKey(key) : std::optional<std::uint64_t>(0);
            if (start && *start < cells_.size()) {
                std::uint64_t index = *start;
                compact.get("value").forEachElement([&](Node value) {
                    if (index >= cells_.size())
                        return false;
                    if (value.isString()) {
                        cellStrings_[index] = std::string(value.text());
                    } else if (!value.isNull()) {  // null holds the place of a cell
                        cells_[index].value = value.number();
                    }
                    ++index;
                    return true;
                });
            }
        }
        if (const Node sparse = block.get("sparse"); sparse.isObject()) {
            const Node keys = sparse.get("index");
            const Node values = sparse.get("value");
            if (keys.isArray() && values.isArray()) {
                // Paired up to the shorter array; both walked once, side by side.
                std::vector<Node> valueNodes;
                valueNodes.reserve(values.size());
                values.forEachElement([&](Node v) {
                    valueNodes.push_back(v);
                    return true;
                });
                std::size_t i = 0;
                keys.forEachElement([&](Node k) {
                    if (i >= valueNodes.size())
                        return false;
                    const Node value = valueNodes[i++];
                    if (!k.isString() || value.isNull() || value.isString())
                        return true;
                    if (auto index = IndexOfKey(std::string(k.text())))
                        cells_[*index].value = value.number();
                    return true;
                });
            }
        }
        // "external" blocks name files the engine keeps for itself; they add no cells here.
        return true;
    });
}

std::vector<PivotTableReader::Category> PivotTableReader::ReadCategories(
    jobject categories, bool topLevel, std::size_t footnoteCount) {
    std::vector<Category> out;
    for (int i = 0, n = json_.Size(categories); i < n; ++i) {
        OutputJson::Scope scope(json_);
        jobject node = json_.At(categories, i);
        Category c;
        jobject textNode = json_.Get(node, "text");
        if (textNode != nullptr)
            c.text = texts_.CellText(textNode);
        jobject children = json_.Get(node, "children");
        c.group = json_.Size(children) > 0;
        c.leafCount = c.group ? LeafCount(children) : 1;
        if (c.text) {
            if (topLevel)
                c.plain = texts_.PlainText(textNode);
            c.show = json_.Bool(node, "show", true);
            c.notes = NoteRefs(textNode, footnoteCount);
            if (c.group) {
                c.sort = SortOf(json_.String(json_.Get(node, "sort"), "order"));
                c.children = ReadCategories(children, false, footnoteCount);
            } else {
                c.subscript = json_.String(node, "subscript");
            }
        }
        out.push_back(std::move(c));
    }
    return out;
}

void PivotTableReader::ReadDimensions(std::size_t footnoteCount) {
    for (std::size_t d = 0; d < dimensionNodes_.size(); ++d) {
        OutputJson::Scope scope(json_);
        jobject node = dimensionNodes_[d];
        Dimension dim;
        jobject textNode = json_.Get(node, "text");
        if (textNode == nullptr) {
            dims_.push_back(std::move(dim));
            continue;
        }
        dim.text = texts_.CellText(textNode);
        if (!dim.text)
            dim.text = std::make_unique<PnUTF8String>("Unknown");
        dim.sort = SortOf(json_.String(node, "sort"));
        dim.notes = NoteRefs(textNode, footnoteCount);
        const std::string role = json_.String(node, "role");
        dim.rows = role != "column" && role != "layer";
        dim.place = role == "column" ? 1 : role == "layer" ? 2 : 0;
        dim.position = json_.Int(node, "position", 1);
        dim.hideName = json_.Bool(node, "hideName", false);
        jobject children = json_.Get(node, "children");
        if (json_.Get(node, "hideChildren") != nullptr) {
            dim.hideChildren = json_.Bool(node, "hideChildren", false);
        } else if (json_.Size(children) == 1) {
            dim.hideChildren = !json_.Bool(json_.At(children, 0), "show", true);
        }
        dim.categories = ReadCategories(children, true, footnoteCount);
        dims_.push_back(std::move(dim));
    }
}

}  // namespace qeinteg::output
