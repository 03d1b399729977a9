// A cell text as the host received it: its kind, the arguments it was made from (in order) and the
// text the host shows for it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "qeinteg/platform/host/output/PnFormatSpec.h"

namespace qehost {

struct TextRecord {
    std::string kind;  // "string", "utf8", "number", "composite", "variable", "datavalue"
    std::string text;  // shown text
    std::vector<std::pair<std::string, std::string>> args;
    std::vector<TextRecord> parts;  // the parts of a composite
    bool numeric = false;           // shown right-aligned
    // A number's value and format, kept as numbers: tables hold millions of them.
    double value = 0;
    PnFormatSpec format;

    friend bool operator==(const TextRecord&, const TextRecord&) = default;
};

}  // namespace qehost
