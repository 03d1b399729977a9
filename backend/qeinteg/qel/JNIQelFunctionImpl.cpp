#include "qeinteg/qel/JNIQelFunctionImpl.h"

#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"
#include "qeinteg/qel/JNIQelFragment.h"

using qeinteg::jni::Classes;

JNIQelFunctionImpl::JNIQelFunctionImpl(_jobject* function) : JNIQelFunction(function) {}

JNIQelFunctionImpl::~JNIQelFunctionImpl() = default;

std::string JNIQelFunctionImpl::generateConfiguration() {
    const Classes* c = bindings();
    return c == nullptr ? std::string()
                        : qeinteg::jni::ToUtf8(
                              getEnv(), c->qel.generateConfiguration(*this, getObject()).get());
}

std::string JNIQelFunctionImpl::generateInvocation(JNIQelFragment* fragment) {
    const Classes* c = bindings();
    if (c == nullptr)
        return {};
    jobject target = fragment != nullptr ? fragment->getObject() : nullptr;
    return qeinteg::jni::ToUtf8(getEnv(),
                                c->qel.generateInvocation(*this, getObject(), target).get());
}
