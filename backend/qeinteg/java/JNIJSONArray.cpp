#include "qeinteg/java/JNIJSONArray.h"

#include <string_view>

#include "qeinteg/java/JNIJSONClasses.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/platform/jvm/JavaStrings.h"

using qeinteg::jni::LocalRef;

JNIJSONArray::JNIJSONArray() {
    const JNIJSONClasses* t = classes();
    if (t == nullptr)
        return;
    jobject created = getEnv()->NewObject(t->array, t->arrayInit);
    if (checkException(false) || created == nullptr)
        return;
    takeOwnNode(created);
}

JNIJSONArray::JNIJSONArray(int capacity) {
    const JNIJSONClasses* t = classes();
    if (t == nullptr)
        return;
    // A negative capacity makes the Java constructor throw; treat it as no hint instead.
    jobject created =
        getEnv()->NewObject(t->array, t->arrayInitCapacity, capacity < 0 ? 0 : capacity);
    if (checkException(false) || created == nullptr)
        return;
    takeOwnNode(created);
}

JNIJSONArray::JNIJSONArray(const char* text) {
    if (text == nullptr)
        return;
    const JNIJSONClasses* t = classes();
    if (t == nullptr)
        return;
    JNIEnv* env = getEnv();
    LocalRef<jstring> source(env, qejni::NewJavaString(env, text));
    jobject parsed = nullptr;
    if (source)
        parsed = env->CallStaticObjectMethod(t->array, t->arrayParse, source.get());
    if (checkException(false) || parsed == nullptr) {
        if (parsed != nullptr)
            env->DeleteLocalRef(parsed);
        return;
    }
    takeOwnNode(parsed);
}

JNIJSONArray::~JNIJSONArray() = default;

int JNIJSONArray::size() {
    return size(getObject());
}

int JNIJSONArray::size(jobject array) {
    if (array == nullptr)
        return 0;
    const JNIJSONClasses* t = classes();
    JNIEnv* env = getEnv();
    if (t == nullptr || !env->IsInstanceOf(array, t->array))
        return 0;
    const jint count = env->CallIntMethod(array, t->arraySize);
    if (checkException(false))
        return 0;
    return count;
}

jobject JNIJSONArray::get(jobject array, int index) {
    if (array == nullptr)
        return nullptr;
    const JNIJSONClasses* t = classes();
    JNIEnv* env = getEnv();
    if (t == nullptr || !env->IsInstanceOf(array, t->array))
        return nullptr;
    jobject element = env->CallObjectMethod(array, t->arrayGet, static_cast<jint>(index));
    if (checkException(false))
        return nullptr;
    return adoptNode(element);
}

std::string JNIJSONArray::serialize() {
    if (getObject() == nullptr)
        return {};
    return nodeText(getObject());
}

void JNIJSONArray::apply(Op op, int index, jobject value, bool ownsValue) {
    JNIEnv* env = getEnv();
    LocalRef<jobject> ownedValue(env, ownsValue ? value : nullptr);
    const JNIJSONClasses* t = classes();
    if (t == nullptr)
        return;
    jobject target = getObject();
    if (target == nullptr || !env->IsInstanceOf(target, t->array)) {
        fail("the array wrapper holds no array");
        return;
    }
    switch (op) {
        case Op::Append:
            env->CallBooleanMethod(target, t->arrayAdd, value);
            break;
        case Op::Insert:
            env->CallVoidMethod(target, t->arrayInsert, static_cast<jint>(index), value);
            break;
        case Op::Replace: {
            LocalRef<jobject> previous(
                env, env->CallObjectMethod(target, t->arraySet, static_cast<jint>(index), value));
            break;
        }
    }
    checkException(false);
}

template <typename T>
void JNIJSONArray::applyScalar(Op op, int index, T value) {
    if (jobject v = localValue(value))
        apply(op, index, v, true);
}

void JNIJSONArray::applyText(Op op, int index, const char* value) {
    if (value == nullptr) {
        apply(op, index, nullptr, false);
    } else if (jobject v = localValue(std::string_view(value))) {
        apply(op, index, v, true);
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
    apply(Op::Append, 0, value != nullptr ? value->getObject() : nullptr, false);
}
void JNIJSONArray::add(JNIJSONArray* value) {
    apply(Op::Append, 0, value != nullptr ? value->getObject() : nullptr, false);
}
void JNIJSONArray::addNull() {
    apply(Op::Append, 0, nullptr, false);
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
    apply(Op::Insert, index, value != nullptr ? value->getObject() : nullptr, false);
}
void JNIJSONArray::add(int index, JNIJSONArray* value) {
    apply(Op::Insert, index, value != nullptr ? value->getObject() : nullptr, false);
}
void JNIJSONArray::addNull(int index) {
    apply(Op::Insert, index, nullptr, false);
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
    apply(Op::Replace, index, value != nullptr ? value->getObject() : nullptr, false);
}
void JNIJSONArray::set(int index, JNIJSONArray* value) {
    apply(Op::Replace, index, value != nullptr ? value->getObject() : nullptr, false);
}
void JNIJSONArray::setNull(int index) {
    apply(Op::Replace, index, nullptr, false);
}
