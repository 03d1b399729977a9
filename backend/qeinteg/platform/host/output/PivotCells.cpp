#include "qeinteg/platform/host/output/PivotCells.h"

#include <algorithm>
#include <numeric>

#include "qeinteg/platform/host/output/PnCellTextRecord.h"

namespace qehost {
namespace {

// The row key (every coordinate but the last) and the last coordinate of a cell.
std::span<const int> PrefixOf(const std::vector<int>& at) {
    return at.empty() ? std::span<const int>() : std::span<const int>(at.data(), at.size() - 1);
}

}  // namespace

std::uint32_t PivotCells::HashOf(std::span<const int> key) {
    std::uint64_t h = 1469598103934665603ull ^ key.size();
    for (int v : key)
        h = (h ^ static_cast<std::uint32_t>(v)) * 1099511628211ull;
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    return static_cast<std::uint32_t>(h >> 32);
}

std::uint32_t PivotCells::FindRow(std::span<const int> key) const {
    if (sorted_) {
        auto it = std::lower_bound(rows_.begin(), rows_.end(), key,
                                   [this](const Row& row, std::span<const int> k) {
                                       return std::ranges::lexicographical_compare(KeyOf(row), k);
                                   });
        if (it == rows_.end() || !std::ranges::equal(KeyOf(*it), key))
            return kNone;
        return static_cast<std::uint32_t>(it - rows_.begin());
    }
    const std::uint32_t hash = HashOf(key);
    const std::size_t mask = buckets_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Bucket& b = buckets_[i];
        if (b.row == kNone)
            return kNone;
        if (b.hash == hash && std::ranges::equal(KeyOf(rows_[b.row]), key))
            return b.row;
    }
}

void PivotCells::Index(std::uint32_t row) {
    if (2 * (static_cast<std::size_t>(row) + 1) > buckets_.size()) {
        std::vector<Bucket> grown(std::max<std::size_t>(16, 2 * buckets_.size()));
        while (2 * (static_cast<std::size_t>(row) + 1) > grown.size())
            grown.resize(2 * grown.size());
        const std::size_t mask = grown.size() - 1;
        for (const Bucket& b : buckets_) {
            if (b.row == kNone)
                continue;
            std::size_t i = b.hash & mask;
            while (grown[i].row != kNone)
                i = (i + 1) & mask;
            grown[i] = b;
        }
        buckets_ = std::move(grown);
    }
    const std::uint32_t hash = HashOf(KeyOf(rows_[row]));
    const std::size_t mask = buckets_.size() - 1;
    std::size_t i = hash & mask;
    while (buckets_[i].row != kNone)
        i = (i + 1) & mask;
    buckets_[i] = {hash, row};
}

std::uint32_t PivotCells::AddRow(std::span<const int> key) {
    if (sorted_ && !rows_.empty() &&
        !std::ranges::lexicographical_compare(KeyOf(rows_.back()), key)) {
        // Out of key order: from here on the rows are found through the hash index.
        sorted_ = false;
        for (std::uint32_t r = 0; r < rows_.size(); ++r)
            Index(r);
    }
    Row row;
    row.keyAt = static_cast<std::uint32_t>(keys_.size());
    row.keyLength = static_cast<std::uint32_t>(key.size());
    keys_.insert(keys_.end(), key.begin(), key.end());
    // Rows of one table mostly hold as many cells as the one before.
    if (!rows_.empty())
        row.slots.reserve(rows_.back().slots.size());
    rows_.push_back(std::move(row));
    const auto number = static_cast<std::uint32_t>(rows_.size() - 1);
    if (!sorted_)
        Index(number);
    return number;
}

PivotCells::Slot& PivotCells::SlotAt(const Coordinates& at) {
    const std::span<const int> key = PrefixOf(at);
    const int position = at.empty() ? kNoPosition : at.back();

    if (lastRow_ == kNone || !std::ranges::equal(KeyOf(rows_[lastRow_]), key)) {
        // A key past the last row's, while rows are in key order, is a new row.
        const bool next = sorted_ && (rows_.empty() || std::ranges::lexicographical_compare(
                                                           KeyOf(rows_.back()), key));
        lastRow_ = next ? kNone : FindRow(key);
        if (lastRow_ == kNone)
            lastRow_ = AddRow(key);
    }
    Row& row = rows_[lastRow_];

    if (!row.positions) {
        if (position >= 0 && static_cast<std::size_t>(position) < row.slots.size())
            return row.slots[static_cast<std::size_t>(position)];
        if (position >= 0 && static_cast<std::size_t>(position) == row.slots.size()) {
            ++count_;
            return row.slots.emplace_back();
        }
        // Out of leaf order: from here on the row keeps each slot's last coordinate.
        row.positions = std::make_unique<Positions>();
        row.positions->of.resize(row.slots.size());
        std::iota(row.positions->of.begin(), row.positions->of.end(), 0);
        for (std::size_t i = 0; i < row.slots.size(); ++i)
            row.positions->index.emplace(static_cast<int>(i), static_cast<std::uint32_t>(i));
    }
    auto [it, added] =
        row.positions->index.try_emplace(position, static_cast<std::uint32_t>(row.slots.size()));
    if (!added)
        return row.slots[it->second];
    ++count_;
    row.positions->of.push_back(position);
    return row.slots.emplace_back();
}

const PivotCells::Slot* PivotCells::FindSlot(const Coordinates& at) const {
    const std::span<const int> key = PrefixOf(at);
    const std::uint32_t found = FindRow(key);
    if (found == kNone)
        return nullptr;
    const Row& row = rows_[found];
    const int position = at.empty() ? kNoPosition : at.back();
    if (!row.positions) {
        return position >= 0 && static_cast<std::size_t>(position) < row.slots.size()
                   ? &row.slots[static_cast<std::size_t>(position)]
                   : nullptr;
    }
    auto slot = row.positions->index.find(position);
    return slot == row.positions->index.end() ? nullptr : &row.slots[slot->second];
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
        std::span<const int> key;
        const Row* row;
        std::uint32_t slot;
        int position;
    };
    // An entry's coordinates are its row key followed by its position (none for kNoPosition).
    auto less = [](const Entry& a, const Entry& b) {
        const std::size_t na = a.key.size() + (a.position == kNoPosition ? 0 : 1);
        const std::size_t nb = b.key.size() + (b.position == kNoPosition ? 0 : 1);
        for (std::size_t i = 0; i < na && i < nb; ++i) {
            const int x = i < a.key.size() ? a.key[i] : a.position;
            const int y = i < b.key.size() ? b.key[i] : b.position;
            if (x != y)
                return x < y;
        }
        return na < nb;
    };

    std::vector<const Row*> rows;
    rows.reserve(rows_.size());
    for (const Row& row : rows_)
        rows.push_back(&row);
    if (!sorted_) {
        std::sort(rows.begin(), rows.end(), [this](const Row* a, const Row* b) {
            return std::ranges::lexicographical_compare(KeyOf(*a), KeyOf(*b));
        });
    }
    const bool oneKeyLength = std::all_of(rows.begin(), rows.end(), [&](const Row* row) {
        return row->keyLength == rows.front()->keyLength;
    });

    std::vector<Entry> entries;
    std::vector<int> at;
    auto emit = [&](const Entry& e) {
        at.assign(e.key.begin(), e.key.end());
        if (e.position != kNoPosition)
            at.push_back(e.position);
        fn(at, Whole(e.row->slots[e.slot]));
    };
    for (const Row* row : rows) {
        for (std::uint32_t i = 0; i < row->slots.size(); ++i)
            entries.push_back({KeyOf(*row), row, i, row->PositionOf(i)});
        // Rows in key order, each in position order, are in coordinate order when every key has
        // the same length; keys of several lengths interleave and need the whole sort.
        if (oneKeyLength) {
            if (row->positions)
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
