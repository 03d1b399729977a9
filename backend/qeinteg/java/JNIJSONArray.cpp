#include "qeinteg/java/JNIJSONArray.h"

#include <string_view>

#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"

using qeinteg::jni::Classes;
using qeinteg::jni::LocalRef;

JNIJSONArray::JNIJSONArray() {
    if (const Classes* c = bindings())
        takeOwnNode(c->jsonArray.create(*this));
}

JNIJSONArray::JNIJSONArray(int capacity) {
    // A negative capacity makes the Java constructor throw; treat it as no hint instead.
    if (const Classes* c = bindings())
        takeOwnNode(c->jsonArray.createWithCapacity(*this, capacity < 0 ? 0 : capacity));
}

JNIJSONArray::JNIJSONArray(const char* text) {
    if (text == nullptr)
        return;
    const Classes* c = bindings();
    if (c == nullptr)
        return;
    if (LocalRef<jstring> source = qeinteg::jni::NewString(*this, text))
        takeOwnNode(c->jsonArray.parse(*this, source.get()));
}

JNIJSONArray::~JNIJSONArray() = default;

int JNIJSONArray::size() {
    return size(getObject());
}

int JNIJSONArray::size(jobject array) {
    const Classes* c = array != nullptr ? bindings() : nullptr;
    if (c == nullptr || !isInstance(array, c->jsonArray.cls.get()))
        return 0;
    return c->jsonArray.size(*this, array);
}

jobject JNIJSONArray::get(jobject array, int index) {
    const Classes* c = array != nullptr ? bindings() : nullptr;
    if (c == nullptr || !isInstance(array, c->jsonArray.cls.get()))
        return nullptr;
    return adoptNode(c->jsonArray.get(*this, array, static_cast<jint>(index)));
}

std::string JNIJSONArray::serialize() {
    if (getObject() == nullptr)
        return {};
    return nodeText(getObject());
}

void JNIJSONArray::apply(Op op, int index, jobject value) {
    const Classes* c = bindings();
    if (c == nullptr)
        return;
    jobject target = getObject();
    if (!isInstance(target, c->jsonArray.cls.get())) {
        fail("the array wrapper holds no array");
        return;
    }
    switch (op) {
        case Op::Append:
            c->jsonArray.add(*this, target, value);
            break;
        case Op::Insert:
            c->jsonArray.insert(*this, target, static_cast<jint>(index), value);
            break;
        case Op::Replace:
            c->jsonArray.set(*this, target, static_cast<jint>(index), value);
            break;
    }
}

template <typename T>
void JNIJSONArray::applyScalar(Op op, int index, T value) {
    if (LocalRef<jobject> v = localValue(value))
        apply(op, index, v.get());
}

void JNIJSONArray::applyText(Op op, int index, const char* value) {
    if (value == nullptr) {
        apply(op, index, nullptr);
    } else if (LocalRef<jobject> v = localValue(std::string_view(value))) {
        apply(op, index, v.get());
    }
}

void JNIJSONArray::add(int value) {
    applyScalar(Op::Append, 0, value);
}
void JNIJSONArray::add(long long value) {
    applyScalar(Op::Append, 0, value);
}
void JNIJSONArray::add(double value) {
    applyScalar(Op::Append, 0, value);
}
void JNIJSONArray::add(bool value) {
    applyScalar(Op::Append, 0, value);
}
void JNIJSONArray::add(const char* value) {
    applyText(Op::Append, 0, value);
}
void JNIJSONArray::add(const std::string& value) {
    applyScalar(Op::Append, 0, std::string_view(value));
}
void JNIJSONArray::add(JNIJSONObject* value) {
    apply(Op::Append, 0, value != nullptr ? value->getObject() : nullptr);
}
void JNIJSONArray::add(JNIJSONArray* value) {
    apply(Op::Append, 0, value != nullptr ? value->getObject() : nullptr);
}
void JNIJSONArray::addNull() {
    apply(Op::Append, 0, nullptr);
}

void JNIJSONArray::add(int index, int value) {
    applyScalar(Op::Insert, index, value);
}
void JNIJSONArray::add(int index, long long value) {
    applyScalar(Op::Insert, index, value);
}
void JNIJSONArray::add(int index, double value) {
    applyScalar(Op::Insert, index, value);
}
void JNIJSONArray::add(int index, bool value) {
    applyScalar(Op::Insert, index, value);
}
void JNIJSONArray::add(int index, const char* value) {
    applyText(Op::Insert, index, value);
}
void JNIJSONArray::add(int index, const std::string& value) {
    applyScalar(Op::Insert, index, std::string_view(value));
}
void JNIJSONArray::add(int index, JNIJSONObject* value) {
    apply(Op::Insert, index, value != nullptr ? value->getObject() : nullptr);
}
void JNIJSONArray::add(int index, JNIJSONArray* value) {
    apply(Op::Insert, index, value != nullptr ? value->getObject() : nullptr);
}
void JNIJSONArray::addNull(int index) {
    apply(Op::Insert, index, nullptr);
}

void JNIJSONArray::set(int index, int value) {
    applyScalar(Op::Replace, index, value);
}
void JNIJSONArray::set(int index, long long value) {
    applyScalar(Op::Replace, index, value);
}
void JNIJSONArray::set(int index, double value) {
    applyScalar(Op::Replace, index, value);
}
void JNIJSONArray::set(int index, bool value) {
    applyScalar(Op::Replace, index, value);
}
void JNIJSONArray::set(int index, const char* value) {
    applyText(Op::Replace, index, value);
}
void JNIJSONArray::set(int index, const std::string& value) {
    applyScalar(Op::Replace, index, std::string_view(value));
}
void JNIJSONArray::set(int index, JNIJSONObject* value) {
    apply(Op::Replace, index, value != nullptr ? value->getObject() : nullptr);
}
void JNIJSONArray::set(int index, JNIJSONArray* value) {
    apply(Op::Replace, index, value != nullptr ? value->getObject() : nullptr);
}
void JNIJSONArray::setNull(int index) {
    apply(Op::Replace, index, nullptr);
}
