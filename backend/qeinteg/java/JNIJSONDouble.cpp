#include "qeinteg/java/JNIJSONDouble.h"

#include "qeinteg/java/jni/Classes.h"

JNIJSONDouble::JNIJSONDouble() = default;
JNIJSONDouble::~JNIJSONDouble() = default;

double JNIJSONDouble::doubleValue(jobject node) {
    const qeinteg::jni::Classes* c = node != nullptr ? bindings() : nullptr;
    // Parsed integers are Integer or Long nodes: read every number through Number.doubleValue.
    if (c == nullptr || !isInstance(node, c->box.number.get()))
        return 0.0;
    return c->box.doubleValue(*this, node);
}
