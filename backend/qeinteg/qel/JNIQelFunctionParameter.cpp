#include "qeinteg/qel/JNIQelFunctionParameter.h"

#include "qeinteg/qel/QelJni.h"

using namespace qeinteg::qeljni;

JNIQelFunctionParameter::JNIQelFunctionParameter(_jobject* object) {
    Adopt(*this, Borrow(*this, object), kParameter, true);
}

JNIQelFunctionParameter::~JNIQelFunctionParameter() = default;
