// JSON helpers of the builders that own lists of JSON objects (aggregate specifications, data
// model updates): independent copies, so that no two builders ever delete the same object and a
// created function never changes when its builder is changed afterwards.
#pragma once

#include <memory>
#include <string>
#include <vector>

class JNIJSONObject;

namespace qelbuild {

// A new object with the same content (keys in the same order); an empty object when the source
// has no content.
std::unique_ptr<JNIJSONObject> CopyJson(JNIJSONObject& source);
std::vector<std::unique_ptr<JNIJSONObject>> CopyJsonList(
    const std::vector<std::unique_ptr<JNIJSONObject>>& sources);
// {key: [copy of each object, in order]}.
std::unique_ptr<JNIJSONObject> ConfigWithList(
    const char* key, const std::vector<std::unique_ptr<JNIJSONObject>>& objects);
std::unique_ptr<JNIJSONObject> ConfigWithList(const char* key,
                                              const std::vector<JNIJSONObject*>& objects);

}  // namespace qelbuild
