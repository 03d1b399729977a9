// Hashing and comparing the key values of rows, shared by the aggregate and join tables.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "qeinteg/platform/engine/exec/Batch.h"

namespace qelocal {

inline uint64_t MixHash(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

inline uint64_t HashNumber(double v) {
    if (v == 0)
        v = 0;  // -0 and 0 are one key
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return MixHash(bits);
}

inline uint64_t HashText(std::string_view s) {
    uint64_t h = 1469598103934665603ULL;  // FNV-1a, then mixed
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return MixHash(h);
}

// Hashes of the key columns for every row of a batch, combined column by column.
inline void HashKeys(const std::vector<const Column*>& keys, size_t rows,
                     std::vector<uint64_t>& hashes) {
    hashes.assign(rows, 0x9e3779b97f4a7c15ULL);
    for (const Column* c : keys) {
        for (size_t i = 0; i < rows; ++i) {
            const uint64_t h = !c->valid[i]    ? 0x5bd1e995ULL
                               : c->isString() ? HashText(c->str[i])
                                               : HashNumber(c->num[i]);
            hashes[i] = (hashes[i] ^ h) * 0x100000001b3ULL + (hashes[i] >> 29);
        }
    }
}

// True when row a of column x and row b of column y hold the same key (missing equals missing).
inline bool SameKey(const Column& x, size_t a, const Column& y, size_t b) {
    if (x.valid[a] != y.valid[b])
        return false;
    if (!x.valid[a])
        return true;
    return x.isString() ? x.str[a] == y.str[b] : x.num[a] == y.num[b];
}

}  // namespace qelocal
