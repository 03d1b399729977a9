// The job-language parser on any text: it either parses (and every input of every call names a
// call that exists) or fails with a position and a message. It never throws.
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "qeinteg/platform/engine/job/QelParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qelocal::JobGraph graph;
    qelocal::QelParseError error;
    if (qelocal::ParseQel(qefuzz::AsText(data, size), graph, error)) {
        for (const qelocal::QelCall& call : graph.calls) {
            for (const auto& input : call.inputs) {
                if (input.call < 0 || input.call >= static_cast<int>(graph.calls.size()))
                    std::abort();
            }
        }
    } else if (error.line < 1 || error.column < 1 || error.message.empty() ||
               !graph.calls.empty()) {
        std::abort();
    }
    return 0;
}
