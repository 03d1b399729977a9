#include "qeinteg/java/JNIJSONBoolean.h"

#include "qeinteg/java/JNIJSONClasses.h"

JNIJSONBoolean::JNIJSONBoolean() = default;
JNIJSONBoolean::~JNIJSONBoolean() = default;

bool JNIJSONBoolean::booleanValue(jobject node) {
    if (node == nullptr)
        return false;
    const JNIJSONClasses* t = classes();
    JNIEnv* env = getEnv();
    if (t == nullptr || !env->IsInstanceOf(node, t->boolean))
        return false;
    const jboolean value = env->CallBooleanMethod(node, t->booleanValue);
    if (checkException(false))
        return false;
    return value == JNI_TRUE;
}
