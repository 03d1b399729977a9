#include "qeinteg/qel/JNIQelExpression.h"

#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"
#include "qeinteg/qel/JNIQelType.h"

using qeinteg::jni::Classes;

JNIQelExpression::JNIQelExpression(_jobject* expression) {
    holdObject(expression);
}

JNIQelExpression::~JNIQelExpression() = default;

std::string JNIQelExpression::generate() {
    const Classes* c = bindings();
    return c == nullptr ? std::string()
                        : qeinteg::jni::ToUtf8(getEnv(),
                                               c->qel.generateExpression(*this, getObject()).get());
}

jobject JNIQelExpression::newObject(JNIEnv_* env, SimpleTypes type) {
    const Classes* c = Classes::Get();
    if (env == nullptr || c == nullptr)
        return nullptr;
    const int index = static_cast<int>(type);
    return env->NewLocalRef(c->qel.simpleTypeValues[index >= 0 && index < 10 ? index : 0].get());
}

JNIQelExpression::LambdaSignature::LambdaSignature(const std::string& name, JNIQelType* type)
    : name_(name), type_(type) {
    const Classes* c = bindings();
    if (c == nullptr)
        return;
    qeinteg::jni::LocalRef<jstring> jname = qeinteg::jni::NewString(*this, name);
    holdObject(
        c->qel.newLambdaSignature(*this, jname.get(), type != nullptr ? type->getObject() : nullptr)
            .get());
}

JNIQelExpression::LambdaSignature::~LambdaSignature() = default;
