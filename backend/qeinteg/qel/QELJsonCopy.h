// Copies of the JSON objects a builder owns, so that copies of a builder never delete or change
// each other's objects.
#pragma once

#include <memory>

class JNIJSONObject;

namespace qelbuild {

// A new object with the same content (keys in the same order); an empty object when the source
// has no content.
std::unique_ptr<JNIJSONObject> CopyJson(JNIJSONObject& source);

}  // namespace qelbuild
