#include "qeinteg/qel/JNIQelFunctionParameter.h"

JNIQelFunctionParameter::JNIQelFunctionParameter(_jobject* object) {
    holdObject(object);
}

JNIQelFunctionParameter::~JNIQelFunctionParameter() = default;
