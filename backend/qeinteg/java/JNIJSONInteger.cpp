#include "qeinteg/java/JNIJSONInteger.h"

#include "qeinteg/java/jni/Classes.h"

JNIJSONInteger::JNIJSONInteger() = default;
JNIJSONInteger::~JNIJSONInteger() = default;

int JNIJSONInteger::intValue(jobject node) {
    const qeinteg::jni::Classes* c = node != nullptr ? bindings() : nullptr;
    // Through Number, so that Integer, Long and Double nodes all read; a method id of one box
    // class must never be called on another.
    if (c == nullptr || !isInstance(node, c->box.number.get()))
        return 0;
    return c->box.intValue(*this, node);
}
