#include "qeinteg/qel/JNITaggedFunctionInput.h"

#include "qeinteg/qel/JNIQelFunctionImpl.h"
#include "qeinteg/qel/QelJni.h"

using namespace qeinteg::qeljni;

JNITaggedFunctionInput::JNITaggedFunctionInput(_jobject* input) {
    Adopt(*this, Borrow(*this, input), kTaggedInput, true);
}

// The function wrapper belongs to the object manager's clean-up list, not to this object.
JNITaggedFunctionInput::~JNITaggedFunctionInput() = default;

JNIQelFunctionImpl& JNITaggedFunctionInput::getFunction() {
    if (function_ == nullptr) {
        jobject local = CallObject(*this, kTaggedInput, "getFunction",
                                   "()Lcom/tavo/ae/qelhelpers/impl/QelFunctionImpl;");
        function_ = Register(new JNIQelFunctionImpl(local));
        if (local != nullptr)
            getEnv()->DeleteLocalRef(local);
    }
    return *function_;
}

std::string JNITaggedFunctionInput::getTag() {
    if (tag_.empty())
        tag_ = CallString(*this, kTaggedInput, "getTag", "()Ljava/lang/String;");
    return tag_;
}
