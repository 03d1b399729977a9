#include "qeinteg/platform/engine/stats/TextSet.h"

#include <cstring>
#include <limits>
#include <stdexcept>

namespace qelocal {

namespace {

inline uint64_t Load64(const char* p) {
    uint64_t word = 0;
    std::memcpy(&word, p, 8);
    return word;
}

inline uint64_t Load32(const char* p) {
    uint32_t word = 0;
    std::memcpy(&word, p, 4);
    return word;
}

inline uint64_t Mix(uint64_t h) {
    h ^= h >> 32;
    h *= 0xd6e8feb86659fd93ull;
    h ^= h >> 32;
    return h;
}

}  // namespace

uint64_t TextSet::Hash(std::string_view text) {
    // Eight bytes at a time, each word folded in with a multiplication; the last bytes are read
    // as words that may overlap those before (the length is in the seed), so a short text of a
    // category column costs one or two fixed-size loads and no byte loop.
    const char* p = text.data();
    const size_t n = text.size();
    uint64_t h = 0x9e3779b97f4a7c15ull ^ (static_cast<uint64_t>(n) * 0xff51afd7ed558ccdull);
    if (n >= 8) {
        size_t i = 0;
        for (; i + 8 < n; i += 8)
            h = Mix(h ^ Load64(p + i));
        h = Mix(h ^ Load64(p + n - 8));
    } else if (n >= 4) {
        h = Mix(h ^ ((Load32(p) << 32) | Load32(p + n - 4)));
    } else if (n > 0) {
        const auto byte = [p](size_t i) {
            return static_cast<uint64_t>(static_cast<uint8_t>(p[i]));
        };
        h = Mix(h ^ ((byte(0) << 16) | (byte(n >> 1) << 8) | byte(n - 1)));
    }
    return Mix(h);
}

bool TextSet::insert(std::string_view text) {
    if ((texts_.size() + 1) * 2 > slots_.size())
        grow();
    const uint64_t hash = Hash(text);
    const size_t mask = slots_.size() - 1;
    for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
        Slot& slot = slots_[i];
        if (slot.index == 0) {
            if (texts_.size() >= std::numeric_limits<uint32_t>::max())
                throw std::length_error("too many distinct texts");
            texts_.emplace_back(text);
            slot = Slot{hash, static_cast<uint32_t>(texts_.size())};
            return true;
        }
        if (slot.hash == hash && texts_[slot.index - 1] == text)
            return false;
    }
}

void TextSet::grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.index == 0)
            continue;
        size_t i = static_cast<size_t>(slot.hash) & mask;
        while (slots_[i].index != 0)
            i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

void TextSet::clear() {
    std::vector<Slot>().swap(slots_);
    std::vector<std::string>().swap(texts_);
}

}  // namespace qelocal
