#include "qeinteg/java/JNIJSONDouble.h"

#include "qeinteg/java/JNIJSONClasses.h"

JNIJSONDouble::JNIJSONDouble() = default;
JNIJSONDouble::~JNIJSONDouble() = default;

double JNIJSONDouble::doubleValue(jobject node) {
    if (node == nullptr)
        return 0.0;
    const JNIJSONClasses* t = classes();
    JNIEnv* env = getEnv();
    // Parsed integers are Integer or Long nodes: read every number through Number.doubleValue.
    if (t == nullptr || !env->IsInstanceOf(node, t->number))
        return 0.0;
    const jdouble value = env->CallDoubleMethod(node, t->numberDoubleValue);
    if (checkException(false))
        return 0.0;
    return value;
}
