// A set of texts for counting distinct values quickly: open addressing over a hash of the bytes,
// each text copied once when it is first met. Most values of a long stream repeat, and a repeat
// costs one hash and one comparison, without a copy or an allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qelocal {

class TextSet {
  public:
    // False when `text` was already present.
    bool insert(std::string_view text);
    size_t size() const { return texts_.size(); }
    // The texts in the order they were first inserted.
    const std::vector<std::string>& values() const { return texts_; }
    // Empties the set and gives its memory back.
    void clear();

    // The hash the set files `text` under; equal texts hash alike.
    static uint64_t Hash(std::string_view text);

  private:
    struct Slot {
        uint64_t hash = 0;
        uint32_t index = 0;  // 1 + position in texts_; 0 for a free slot
    };
    void grow();

    std::vector<Slot> slots_;
    std::vector<std::string> texts_;
};

}  // namespace qelocal
