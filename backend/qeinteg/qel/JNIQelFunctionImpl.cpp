#include "qeinteg/qel/JNIQelFunctionImpl.h"

#include "qeinteg/qel/JNIQelFragment.h"
#include "qeinteg/qel/QelJni.h"

using namespace qeinteg::qeljni;

JNIQelFunctionImpl::JNIQelFunctionImpl(_jobject* function)
    : JNIQelFunction(function, kFunctionImpl) {}

JNIQelFunctionImpl::~JNIQelFunctionImpl() = default;

std::string JNIQelFunctionImpl::generateConfiguration() {
    return CallString(*this, kFunctionImpl, "generateConfiguration", "()Ljava/lang/String;");
}

std::string JNIQelFunctionImpl::generateInvocation(JNIQelFragment* fragment) {
    return CallString(*this, kFunctionImpl, "generateInvocation",
                      "(Lcom/tavo/ae/qelhelpers/QelFragment;)Ljava/lang/String;",
                      ObjectOf(fragment));
}
