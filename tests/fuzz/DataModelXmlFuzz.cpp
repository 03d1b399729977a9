// The data-model XML reader, and the round trip: a model that reads is written and read back to
// the same fields.
#include <cstdlib>

#include "FuzzSupport.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"

namespace {

bool SameFields(const std::vector<qelocal::EngineField>& a,
                const std::vector<qelocal::EngineField>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].storage != b[i].storage ||
            a[i].measure != b[i].measure || a[i].role != b[i].role || a[i].label != b[i].label)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<qelocal::EngineField> fields;
    try {
        fields = qelocal::ParseDataModelXml(std::string(qefuzz::AsText(data, size)));
    } catch (const qelocal::EngineError&) {
        return 0;
    }
    const std::string written = qelocal::DataModelDocument(fields);
    std::vector<qelocal::EngineField> again;
    try {
        again = qelocal::ParseDataModelXml(written);
    } catch (const qelocal::EngineError&) {
        std::abort();  // what we write must read back
    }
    if (!SameFields(fields, again))
        std::abort();
    return 0;
}
