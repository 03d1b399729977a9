#include "qeinteg/qel/JNITaggedFunctionInput.h"

#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"
#include "qeinteg/qel/JNIQelFunctionImpl.h"

using qeinteg::jni::Classes;

JNITaggedFunctionInput::JNITaggedFunctionInput(_jobject* input) {
    holdObject(input);
}

// The function wrapper belongs to the object manager's clean-up list, not to this object.
JNITaggedFunctionInput::~JNITaggedFunctionInput() = default;

JNIQelFunctionImpl& JNITaggedFunctionInput::getFunction() {
    if (function_ == nullptr) {
        const Classes* c = bindings();
        qeinteg::jni::LocalRef<jobject> function =
            c != nullptr ? c->qel.inputFunction(*this, getObject()) : qeinteg::jni::LocalRef<>();
        function_ = Registered<JNIQelFunctionImpl>(function.get());
    }
    return *function_;
}

std::string JNITaggedFunctionInput::getTag() {
    if (tag_.empty()) {
        if (const Classes* c = bindings())
            tag_ = qeinteg::jni::ToUtf8(getEnv(), c->qel.inputTag(*this, getObject()).get());
    }
    return tag_;
}
