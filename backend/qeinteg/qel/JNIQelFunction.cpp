#include "qeinteg/qel/JNIQelFunction.h"

#include "qeinteg/qel/QelJni.h"

using namespace qeinteg::qeljni;

JNIQelFunction::JNIQelFunction(_jobject* function) : JNIQelFunction(function, kFunction) {}

JNIQelFunction::JNIQelFunction(_jobject* function, const char* className) {
    Adopt(*this, Borrow(*this, function), className, true);
}

JNIQelFunction::~JNIQelFunction() = default;

std::string JNIQelFunction::getName() {
    return CallString(*this, kFunction, "getName", "()Ljava/lang/String;");
}

std::string JNIQelFunction::getId() {
    return CallString(*this, kFunction, "getId", "()Ljava/lang/String;");
}
