#include "qeinteg/qel/QELJsonCopy.h"

#include "qeinteg/java/JNIJSONObject.h"

namespace qelbuild {

namespace {

// JSON text of an object we built; "{}" when it has none.
std::string TextOf(JNIJSONObject& object) {
    std::string text = object.isGood() ? object.toString() : std::string();
    return text.empty() ? std::string("{}") : text;
}

}  // namespace

std::unique_ptr<JNIJSONObject> CopyJson(JNIJSONObject& source) {
    auto copy = std::make_unique<JNIJSONObject>(TextOf(source).c_str());
    if (!copy->isGood())
        copy = std::make_unique<JNIJSONObject>();
    return copy;
}

std::vector<std::unique_ptr<JNIJSONObject>> CopyJsonList(
    const std::vector<std::unique_ptr<JNIJSONObject>>& sources) {
    std::vector<std::unique_ptr<JNIJSONObject>> copies;
    copies.reserve(sources.size());
    for (const auto& source : sources)
        copies.push_back(CopyJson(*source));
    return copies;
}

std::unique_ptr<JNIJSONObject> ConfigWithList(const char* key,
                                              const std::vector<JNIJSONObject*>& objects) {
    std::string text = std::string("{\"") + key + "\":[";
    for (size_t i = 0; i < objects.size(); ++i) {
        if (i > 0)
            text += ',';
        text += TextOf(*objects[i]);
    }
    text += "]}";
    return std::make_unique<JNIJSONObject>(text.c_str());
}

std::unique_ptr<JNIJSONObject> ConfigWithList(
    const char* key, const std::vector<std::unique_ptr<JNIJSONObject>>& objects) {
    std::vector<JNIJSONObject*> plain;
    plain.reserve(objects.size());
    for (const auto& object : objects)
        plain.push_back(object.get());
    return ConfigWithList(key, plain);
}

}  // namespace qelbuild
