// Internal: the name the file system knows a host (code-page) path by. The host reaches files
// through one Unicode name whatever its code page, so the library does the same.
#pragma once

#include <string>

#include "qeinteg/platform/host/text/ExtNameStr.h"

namespace qeinteg::detail {

inline std::string ToOsPath(const std::string& generic) {
    ExtNameStr name;
    name.SetGeneric(generic);
    return name.GetU8();
}

inline std::string FromOsPath(const std::string& utf8) {
    ExtNameStr name;
    name.SetU8(utf8);
    return name.GetGeneric();
}

}  // namespace qeinteg::detail
