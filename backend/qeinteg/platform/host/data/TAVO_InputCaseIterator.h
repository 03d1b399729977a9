// Reads the cases of a host data source one at a time. Values are read in place from the case
// buffer of the current case: numbers as doubles, strings as the address of their bytes (the
// variable's width, blank-padded, not terminated).
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "qeinteg/platform/host/data/HostValues.h"

class TAVO_InputCaseIterator {
  public:
    // Where the cases come from: an in-memory dataset, a file, a converted view.
    class Cursor {
      public:
        virtual ~Cursor() = default;
        // Moves to the next case: row points at its first slot, caseNumber is the host's number
        // of the case (1 for the first case of the dataset). False at the end.
        virtual bool Next(const OBS*& row, long& caseNumber) = 0;
        // Moves over up to maxCases (at least 1) next cases that lie one stride apart in memory
        // and have consecutive case numbers: first and caseNumber describe the first of them,
        // case i's slots start at first + i * stride. Returns how many, 0 at the end. A cursor
        // whose cases are paged or converted one at a time gives a run of one.
        virtual size_t NextRun(size_t maxCases, const OBS*& first, std::ptrdiff_t& stride,
                               long& caseNumber) {
            (void)maxCases;
            stride = 0;
            return Next(first, caseNumber) ? 1 : 0;
        }
        // An independent cursor at the same position; row points into the copy's own storage.
        virtual std::unique_ptr<Cursor> Clone(const OBS*& row) const = 0;
    };

    // offsets: the slot index of each column's first slot within a case.
    TAVO_InputCaseIterator(std::unique_ptr<Cursor> cursor, std::vector<int> offsets);
    TAVO_InputCaseIterator(const TAVO_InputCaseIterator&) = delete;
    TAVO_InputCaseIterator& operator=(const TAVO_InputCaseIterator&) = delete;

    // Advances to the next case; false (and no current case) at the end.
    bool NextCase() {
        if (!cursor_->Next(row_, caseNumber_)) {
            row_ = nullptr;
            return false;
        }
        return true;
    }
    // Advances over up to maxCases next cases at once (see Cursor::NextRun): first points at the
    // first one's slots, case i's slots start at first + i * stride, and the last of them becomes
    // the current case. Returns how many, 0 (and no current case) at the end. The slots stay
    // valid until the iterator moves again.
    size_t NextCases(size_t maxCases, const OBS*& first, std::ptrdiff_t& stride) {
        long number = 0;
        const size_t n = cursor_->NextRun(maxCases, first, stride, number);
        if (n == 0) {
            row_ = nullptr;
            return 0;
        }
        row_ = first + static_cast<std::ptrdiff_t>(n - 1) * stride;
        caseNumber_ = number + static_cast<long>(n - 1);
        return n;
    }
    bool HasCase() const { return row_ != nullptr; }
    long GetCaseNumber() const { return caseNumber_; }
    int ColumnCount() const { return static_cast<int>(offsets_.size()); }

    // REQUIRES: a current case and 0 <= column < ColumnCount().
    double GetNumericValue(int column) const { return row_[offsets_[column]].f; }
    const char* GetStringValue(int column) const { return row_[offsets_[column]].s; }
    const OBS* GetValue(int column) const { return row_ + offsets_[column]; }
    // The current case's slots and each column's first slot in it, for readers that resolve
    // columns once instead of per value. The offsets do not change during the iterator's life.
    const OBS* GetRow() const { return row_; }
    int GetSlotOffset(int column) const { return offsets_[column]; }

    // Keeps only the given columns, in the given order (each must be a current column).
    void SelectColumns(const std::vector<int>& columns);
    // An independent iterator at the same case.
    std::unique_ptr<TAVO_InputCaseIterator> Clone() const;

  private:
    std::unique_ptr<Cursor> cursor_;
    std::vector<int> offsets_;
    const OBS* row_ = nullptr;
    long caseNumber_ = 0;
};
