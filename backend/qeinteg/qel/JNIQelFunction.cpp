#include "qeinteg/qel/JNIQelFunction.h"

#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"

using qeinteg::jni::Classes;

JNIQelFunction::JNIQelFunction(_jobject* function) {
    holdObject(function);
}

JNIQelFunction::JNIQelFunction(_jobject* function, const char* /*className*/)
    : JNIQelFunction(function) {}

JNIQelFunction::~JNIQelFunction() = default;

std::string JNIQelFunction::getName() {
    const Classes* c = bindings();
    return c == nullptr
               ? std::string()
               : qeinteg::jni::ToUtf8(getEnv(), c->qel.functionName(*this, getObject()).get());
}

std::string JNIQelFunction::getId() {
    const Classes* c = bindings();
    return c == nullptr
               ? std::string()
               : qeinteg::jni::ToUtf8(getEnv(), c->qel.functionId(*this, getObject()).get());
}
