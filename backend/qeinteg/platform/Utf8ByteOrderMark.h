// The UTF-8 byte order mark at the start of a text file. Editors on some systems write it; it is
// never part of the first field name. Every reader of text files skips it through this function,
// so none of them can forget it or compare it wrongly (a `peek()` int against a signed char).
#pragma once

#include <cstddef>
#include <cstring>

namespace qeplatform {

inline constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";
inline constexpr std::size_t kUtf8ByteOrderMarkSize = 3;

// The number of leading bytes of `data` (the start of a file) that are a byte order mark: 3 or 0.
inline std::size_t Utf8ByteOrderMarkLength(const char* data, std::size_t size) {
    return size >= kUtf8ByteOrderMarkSize &&
                   std::memcmp(data, kUtf8ByteOrderMark, kUtf8ByteOrderMarkSize) == 0
               ? kUtf8ByteOrderMarkSize
               : 0;
}

}  // namespace qeplatform
