#include "qeinteg/java/JNIJSONBoolean.h"

#include "qeinteg/java/jni/Classes.h"

JNIJSONBoolean::JNIJSONBoolean() = default;
JNIJSONBoolean::~JNIJSONBoolean() = default;

bool JNIJSONBoolean::booleanValue(jobject node) {
    const qeinteg::jni::Classes* c = node != nullptr ? bindings() : nullptr;
    if (c == nullptr || !isInstance(node, c->box.boolean.get()))
        return false;
    return c->box.booleanValue(*this, node);
}
