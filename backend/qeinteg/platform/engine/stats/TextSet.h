// A set of texts for counting distinct values quickly: open addressing over a hash of the bytes,
// each text copied once when it is first met. Most values of a long stream repeat, and a repeat
// costs one hash and one comparison, inline, without a copy, an allocation or a library call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace qelocal {

class TextSet {
  public:
    // False when `text` was already present.
    bool insert(std::string_view text) {
        const uint64_t hash = Hash(text);
        if (!slots_.empty()) {
            const size_t mask = slots_.size() - 1;
            for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
                const Slot& slot = slots_[i];
                if (slot.index == 0)
                    break;
                if (slot.hash == hash && Same(texts_[slot.index - 1], text))
                    return false;
            }
        }
        add(text, hash);
        return true;
    }
    size_t size() const { return texts_.size(); }
    // The texts in the order they were first inserted.
    const std::vector<std::string>& values() const { return texts_; }
    // Empties the set and gives its memory back.
    void clear();

    // The hash the set files `text` under; equal texts hash alike. Eight bytes at a time, each
    // word folded in with a multiplication; the last bytes are read as words that may overlap
    // those before (the length is in the seed), so a short text costs one or two fixed-size loads.
    static uint64_t Hash(std::string_view text) {
        const char* p = text.data();
        const size_t n = text.size();
        uint64_t h = 0x9e3779b97f4a7c15ull ^ (static_cast<uint64_t>(n) * 0xff51afd7ed558ccdull);
        if (n >= 8) {
            for (size_t i = 0; i + 8 < n; i += 8)
                h = Mix(h ^ Load64(p + i));
            h = Mix(h ^ Load64(p + n - 8));
        } else if (n >= 4) {
            h = Mix(h ^ ((Load32(p) << 32) | Load32(p + n - 4)));
        } else if (n > 0) {
            h = Mix(h ^ ((Byte(p, 0) << 16) | (Byte(p, n >> 1) << 8) | Byte(p, n - 1)));
        }
        return Mix(h);
    }

  private:
    struct Slot {
        uint64_t hash = 0;
        uint32_t index = 0;  // 1 + position in texts_; 0 for a free slot
    };
    // Copies `text` (not present) into the set, growing it first when needed.
    void add(std::string_view text, uint64_t hash);
    void grow();

    static uint64_t Load64(const char* p) {
        uint64_t word = 0;
        std::memcpy(&word, p, 8);
        return word;
    }
    static uint64_t Load32(const char* p) {
        uint32_t word = 0;
        std::memcpy(&word, p, 4);
        return word;
    }
    static uint64_t Byte(const char* p, size_t i) {
        return static_cast<uint64_t>(static_cast<unsigned char>(p[i]));
    }
    static uint64_t Mix(uint64_t h) {
        h ^= h >> 32;
        h *= 0xd6e8feb86659fd93ull;
        h ^= h >> 32;
        return h;
    }
    // Byte equality with fixed-size loads inside both texts for up to 16 bytes.
    static bool Same(const std::string& kept, std::string_view text) {
        const size_t n = text.size();
        if (kept.size() != n)
            return false;
        const char* a = kept.data();
        const char* b = text.data();
        if (n >= 8 && n <= 16)
            return Load64(a) == Load64(b) && Load64(a + n - 8) == Load64(b + n - 8);
        if (n >= 4 && n < 8)
            return Load32(a) == Load32(b) && Load32(a + n - 4) == Load32(b + n - 4);
        if (n < 4) {
            for (size_t i = 0; i < n; ++i) {
                if (a[i] != b[i])
                    return false;
            }
            return true;
        }
        return std::memcmp(a, b, n) == 0;
    }

    std::vector<Slot> slots_;
    std::vector<std::string> texts_;
};

}  // namespace qelocal
