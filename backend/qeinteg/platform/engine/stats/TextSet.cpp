#include "qeinteg/platform/engine/stats/TextSet.h"

#include <limits>
#include <stdexcept>

namespace qelocal {

void TextSet::add(std::string_view text, uint64_t hash) {
    if ((texts_.size() + 1) * 2 > slots_.size())
        grow();
    if (texts_.size() >= std::numeric_limits<uint32_t>::max())
        throw std::length_error("too many distinct texts");
    const size_t mask = slots_.size() - 1;
    size_t i = static_cast<size_t>(hash) & mask;
    while (slots_[i].index != 0)
        i = (i + 1) & mask;
    texts_.emplace_back(text);
    slots_[i] = Slot{hash, static_cast<uint32_t>(texts_.size())};
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
