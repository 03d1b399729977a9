// The cells of a recorded pivot table, by coordinates: one leaf id per dimension of the table when
// the cell was made (creation order), -1 where a dimension had no current leaf.
//
// Tables hold millions of cells, so a cell is a small slot. A number is kept as its value and
// format and formatted only when the cell is read; other texts and notes, rare in big tables, are
// kept aside. Cells that share every coordinate but the last form a row, and a row filled in leaf
// order (as a builder walks its innermost dimension) is indexed by its last coordinate directly.
//
// One writer at a time (the table's builder); const members may run side by side.
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "qeinteg/platform/host/output/PnFormatSpec.h"
#include "qeinteg/platform/host/output/TextRecord.h"

namespace qehost {

// One cell as a whole: its text (none when it was only given notes) and its notes in order.
struct CellNode {
    std::optional<TextRecord> text;
    std::vector<TextRecord> notes;
};

class PivotCells {
  public:
    // Coordinates are handed in as a vector, read as a range: no copy is kept of them.
    using Coordinates = std::vector<int>;

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

    // Each of these makes the cell when it does not exist yet. A later text replaces an earlier
    // one; notes add up in order.
    void SetText(const Coordinates& at, TextRecord text);
    // The same as SetText with the record of PnNumber(value, format).
    void SetNumber(const Coordinates& at, double value, PnFormatSpec format);
    void AddNote(const Coordinates& at, TextRecord note);

    // The cell at `at`; nothing when no cell was made there.
    std::optional<CellNode> Find(const Coordinates& at) const;

    // fn(coordinates, cell) for every cell, in lexicographic order of the coordinates. The
    // coordinates are valid during the call only.
    void ForEach(const std::function<void(std::span<const int>, const CellNode&)>& fn) const;

  private:
    static constexpr std::uint32_t kNone = UINT32_MAX;
    // The last coordinate of a cell whose coordinates are empty (a table without dimensions).
    static constexpr int kNoPosition = INT_MIN;

    enum class Content : std::uint8_t { Empty, Number, Text };

    // What a cell holds besides a number: its text, when it is not a number, and its notes.
    struct Extra {
        Content content = Content::Empty;
        std::uint32_t text = kNone;   // index into texts_
        std::uint32_t notes = kNone;  // index into notes_
    };

    // 16 bytes: a cell that is a number without notes (most cells of a big table) needs no more.
    struct Slot {
        static constexpr std::uint32_t kEmpty = UINT32_MAX;
        static constexpr std::uint32_t kNumber = UINT32_MAX - 1;

        double value = 0;
        PnFormatSpec format;
        std::uint32_t extra = kEmpty;  // kEmpty, kNumber, or an index into extras_
    };

    // A row's cells. While `positions` is null, slot i holds the cell whose last coordinate is i;
    // after the first cell out of that order, it holds each slot's last coordinate and an index.
    struct Positions {
        std::vector<int> of;
        std::unordered_map<int, std::uint32_t> index;
    };
    struct Row {
        std::uint32_t keyAt = 0;  // the key (every coordinate but the last): keys_[keyAt, +length)
        std::uint32_t keyLength = 0;
        std::vector<Slot> slots;
        std::unique_ptr<Positions> positions;

        int PositionOf(std::size_t slot) const {
            return positions ? positions->of[slot] : static_cast<int>(slot);
        }
    };

    // The row index once rows stop coming in key order: open addressing over row numbers, with
    // each row's key hash beside it.
    struct Bucket {
        std::uint32_t hash = 0;
        std::uint32_t row = kNone;
    };

    static std::uint32_t HashOf(std::span<const int> key);
    std::span<const int> KeyOf(const Row& row) const {
        return {keys_.data() + row.keyAt, row.keyLength};
    }
    // The row with this key, or kNone.
    std::uint32_t FindRow(std::span<const int> key) const;
    std::uint32_t AddRow(std::span<const int> key);
    // Enters `row` into the index, growing it when it would be more than half full.
    void Index(std::uint32_t row);
    Slot& SlotAt(const Coordinates& at);
    const Slot* FindSlot(const Coordinates& at) const;
    // The slot's Extra, made when it has none.
    Extra& ExtraOf(Slot& slot);
    CellNode Whole(const Slot& slot) const;

    std::vector<Row> rows_;
    std::vector<int> keys_;
    // Builders make rows in key order; while they do, rows_ is its own index (binary search) and
    // no hash is kept: a big table's rows are made without a random memory access each.
    bool sorted_ = true;
    std::vector<Bucket> buckets_;    // once not sorted_: a power of two long, at most half full
    std::uint32_t lastRow_ = kNone;  // the row written last: the next write is most often there
    std::vector<Extra> extras_;
    std::vector<TextRecord> texts_;
    std::vector<std::vector<TextRecord>> notes_;
    std::size_t count_ = 0;
};

}  // namespace qehost
