// Reads QEL job text (docs/qel.md) into a JobGraph. Invalid text is rejected with a message that
// names the line and column; no input makes the parser crash or recurse without bound.
#pragma once

#include <string>
#include <string_view>

#include "qeinteg/platform/engine/job/JobGraph.h"

namespace qelocal {

struct QelParseError {
    std::string message;
    int line = 0;
    int column = 0;

    // "line L, column C: message".
    std::string describe() const;
};

// Parses text into graph (replacing its content). False with error set when the text is invalid.
bool ParseQel(std::string_view text, JobGraph& graph, QelParseError& error);

}  // namespace qelocal
