#include "qeinteg/qel/JNIQelExpression.h"

#include "qeinteg/qel/JNIQelType.h"
#include "qeinteg/qel/QelJni.h"

using namespace qeinteg::qeljni;

JNIQelExpression::JNIQelExpression(_jobject* expression) {
    Adopt(*this, Borrow(*this, expression), kExpression, true);
}

JNIQelExpression::~JNIQelExpression() = default;

std::string JNIQelExpression::generate() {
    return CallString(*this, kExpression, "generate", "()Ljava/lang/String;");
}

jobject JNIQelExpression::newObject(JNIEnv_* env, SimpleTypes type) {
    static const char* const kNames[] = {"Any",  "Number", "String", "Int",  "Real",
                                         "Char", "Bool",   "Time",   "Date", "Timestamp"};
    int index = static_cast<int>(type);
    const char* name = index >= 0 && index < 10 ? kNames[index] : "Any";
    if (env == nullptr)
        return nullptr;
    jclass cls = JNIAccessor::FindClassCached(env, kSimpleTypes);
    if (cls == nullptr)
        return nullptr;
    jfieldID field =
        env->GetStaticFieldID(cls, name, "Lcom/tavo/ae/qelhelpers/QelExpression$SimpleTypes;");
    if (field == nullptr) {
        env->ExceptionClear();
        return nullptr;
    }
    jobject constant = env->GetStaticObjectField(cls, field);
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return nullptr;
    }
    return constant;
}

JNIQelExpression::LambdaSignature::LambdaSignature(const std::string& name, JNIQelType* type)
    : name_(name), type_(type) {
    jobject jname = newObject(name, false, true);
    Adopt(
        *this,
        NewInstance(*this, kLambdaSignature,
                    "(Ljava/lang/String;Lcom/tavo/ae/qelhelpers/QelType;)V", jname, ObjectOf(type)),
        kLambdaSignature, false);
}

JNIQelExpression::LambdaSignature::~LambdaSignature() {
    ReleaseOwned(*this);
}
