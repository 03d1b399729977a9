#include "qeinteg/platform/host/output/PivotCells.h"

#include <algorithm>
#include <numeric>

#include "qeinteg/platform/host/output/PnCellTextRecord.h"

namespace qehost {
namespace {

// The row key (every coordinate but the last) and the last coordinate of a cell.
std::span<const int> KeyOf(const std::vector<int>& at) {
    return at.empty() ? std::span<const int>() : std::span<const int>(at.data(), at.size() - 1);
}

}  // namespace

std::size_t PivotCells::KeyHash::operator()(std::span<const int> key) const noexcept {
    std::size_t h = 1469598103934665603ull;
    for (int v : key)
        h = (h ^ static_cast<std::size_t>(static_cast<unsigned>(v))) * 1099511628211ull;
    return h;
}

PivotCells::Slot& PivotCells::SlotAt(const Coordinates& at) {
    const std::span<const int> key = KeyOf(at);
    const int position = at.empty() ? kNoPosition : at.back();

    if (lastRow_ == kNone || !KeyEqual{}(rows_[lastRow_].key, key)) {
        auto found = rowIndex_.find(key);
        if (found == rowIndex_.end()) {
            Row row;
            row.key.assign(key.begin(), key.end());
            // Rows of one table mostly hold as many cells as the one before.
            if (lastRow_ != kNone)
                row.slots.reserve(rows_[lastRow_].slots.size());
            rows_.push_back(std::move(row));
            found =
                rowIndex_.emplace(rows_.back().key, static_cast<std::uint32_t>(rows_.size() - 1))
                    .first;
        }
        lastRow_ = found->second;
    }
    Row& row = rows_[lastRow_];

    if (row.sequential) {
        if (position >= 0 && static_cast<std::size_t>(position) < row.slots.size())
            return row.slots[static_cast<std::size_t>(position)];
        if (position >= 0 && static_cast<std::size_t>(position) == row.slots.size()) {
            ++count_;
            return row.slots.emplace_back();
        }
        // Out of leaf order: from here on the row keeps each slot's last coordinate.
        row.sequential = false;
        row.positions.resize(row.slots.size());
        std::iota(row.positions.begin(), row.positions.end(), 0);
        for (std::size_t i = 0; i < row.slots.size(); ++i)
            row.index.emplace(static_cast<int>(i), static_cast<std::uint32_t>(i));
    }
    auto [it, added] =
        row.index.try_emplace(position, static_cast<std::uint32_t>(row.slots.size()));
    if (!added)
        return row.slots[it->second];
    ++count_;
    row.positions.push_back(position);
    return row.slots.emplace_back();
}

const PivotCells::Slot* PivotCells::FindSlot(const Coordinates& at) const {
    auto found = rowIndex_.find(KeyOf(at));
    if (found == rowIndex_.end())
        return nullptr;
    const Row& row = rows_[found->second];
    const int position = at.empty() ? kNoPosition : at.back();
    if (row.sequential) {
        return position >= 0 && static_cast<std::size_t>(position) < row.slots.size()
                   ? &row.slots[static_cast<std::size_t>(position)]
                   : nullptr;
    }
    auto slot = row.index.find(position);
    return slot == row.index.end() ? nullptr : &row.slots[slot->second];
}

PivotCells::Extra& PivotCells::ExtraOf(Slot& slot) {
    if (slot.extra == Slot::kEmpty || slot.extra == Slot::kNumber) {
        Extra extra;
        extra.content = slot.extra == Slot::kNumber ? Content::Number : Content::Empty;
        slot.extra = static_cast<std::uint32_t>(extras_.size());
        extras_.push_back(extra);
    }
    return extras_[slot.extra];
}

void PivotCells::SetText(const Coordinates& at, TextRecord text) {
    Extra& extra = ExtraOf(SlotAt(at));
    if (extra.text == kNone) {
        extra.text = static_cast<std::uint32_t>(texts_.size());
        texts_.push_back(std::move(text));
    } else {
        texts_[extra.text] = std::move(text);
    }
    extra.content = Content::Text;
}

void PivotCells::SetNumber(const Coordinates& at, double value, PnFormatSpec format) {
    Slot& slot = SlotAt(at);
    slot.value = value;
    slot.format = format;
    if (slot.extra == Slot::kEmpty || slot.extra == Slot::kNumber) {
        slot.extra = Slot::kNumber;
    } else {
        extras_[slot.extra].content = Content::Number;
    }
}

void PivotCells::AddNote(const Coordinates& at, TextRecord note) {
    Extra& extra = ExtraOf(SlotAt(at));
    if (extra.notes == kNone) {
        extra.notes = static_cast<std::uint32_t>(notes_.size());
        notes_.emplace_back();
    }
    notes_[extra.notes].push_back(std::move(note));
}

CellNode PivotCells::Whole(const Slot& slot) const {
    CellNode cell;
    if (slot.extra == Slot::kNumber) {
        cell.text = NumberRecord(slot.value, slot.format);
        return cell;
    }
    if (slot.extra == Slot::kEmpty)
        return cell;
    const Extra& extra = extras_[slot.extra];
    if (extra.content == Content::Number) {
        cell.text = NumberRecord(slot.value, slot.format);
    } else if (extra.content == Content::Text) {
        cell.text = texts_[extra.text];
    }
    if (extra.notes != kNone)
        cell.notes = notes_[extra.notes];
    return cell;
}

std::optional<CellNode> PivotCells::Find(const Coordinates& at) const {
    const Slot* slot = FindSlot(at);
    if (slot == nullptr)
        return std::nullopt;
    return Whole(*slot);
}

void PivotCells::ForEach(
    const std::function<void(std::span<const int>, const CellNode&)>& fn) const {
    struct Entry {
        const Row* row;
        std::uint32_t slot;
        int position;
    };
    // An entry's coordinates are its row key followed by its position (none for kNoPosition).
    auto less = [](const Entry& a, const Entry& b) {
        const std::size_t na = a.row->key.size() + (a.position == kNoPosition ? 0 : 1);
        const std::size_t nb = b.row->key.size() + (b.position == kNoPosition ? 0 : 1);
        for (std::size_t i = 0; i < na && i < nb; ++i) {
            const int x = i < a.row->key.size() ? a.row->key[i] : a.position;
            const int y = i < b.row->key.size() ? b.row->key[i] : b.position;
            if (x != y)
                return x < y;
        }
        return na < nb;
    };

    std::vector<const Row*> rows;
    rows.reserve(rows_.size());
    for (const Row& row : rows_)
        rows.push_back(&row);
    std::sort(rows.begin(), rows.end(), [](const Row* a, const Row* b) { return a->key < b->key; });
    const bool oneKeyLength = std::all_of(rows.begin(), rows.end(), [&](const Row* row) {
        return row->key.size() == rows.front()->key.size();
    });

    std::vector<Entry> entries;
    std::vector<int> at;
    auto emit = [&](const Entry& e) {
        at.assign(e.row->key.begin(), e.row->key.end());
        if (e.position != kNoPosition)
            at.push_back(e.position);
        fn(at, Whole(e.row->slots[e.slot]));
    };
    for (const Row* row : rows) {
        for (std::uint32_t i = 0; i < row->slots.size(); ++i)
            entries.push_back({row, i, row->PositionOf(i)});
        // Rows in key order, each in position order, are in coordinate order when every key has
        // the same length; keys of several lengths interleave and need the whole sort.
        if (oneKeyLength) {
            if (!row->sequential)
                std::sort(entries.begin(), entries.end(), less);
            for (const Entry& e : entries)
                emit(e);
            entries.clear();
        }
    }
    std::sort(entries.begin(), entries.end(), less);
    for (const Entry& e : entries)
        emit(e);
}

}  // namespace qehost
