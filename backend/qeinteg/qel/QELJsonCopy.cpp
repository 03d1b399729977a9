#include "qeinteg/qel/QELJsonCopy.h"

#include <string>

#include "qeinteg/java/JNIJSONObject.h"

namespace qelbuild {

std::unique_ptr<JNIJSONObject> CopyJson(JNIJSONObject& source) {
    // The JSON text carries everything an update object holds: strings, integers, doubles,
    // booleans, nested objects and arrays, in key order.
    const std::string text = source.isGood() ? source.toString() : std::string();
    auto copy = std::make_unique<JNIJSONObject>(text.empty() ? "{}" : text.c_str());
    if (!copy->isGood())
        copy = std::make_unique<JNIJSONObject>();
    return copy;
}

}  // namespace qelbuild
