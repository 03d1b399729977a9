#include "qeinteg/java/JNIJSONInteger.h"

#include "qeinteg/java/JNIJSONClasses.h"

JNIJSONInteger::JNIJSONInteger() = default;
JNIJSONInteger::~JNIJSONInteger() = default;

int JNIJSONInteger::intValue(jobject node) {
    if (node == nullptr)
        return 0;
    const JNIJSONClasses* t = classes();
    JNIEnv* env = getEnv();
    // Through Number, so that Integer, Long and Double nodes all read; a method id of one box
    // class must never be called on another.
    if (t == nullptr || !env->IsInstanceOf(node, t->number))
        return 0;
    const jint value = env->CallIntMethod(node, t->numberIntValue);
    if (checkException(false))
        return 0;
    return value;
}
