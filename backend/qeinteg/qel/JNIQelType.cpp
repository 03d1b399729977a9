#include "qeinteg/qel/JNIQelType.h"

#include "qeinteg/qel/QelJni.h"

using namespace qeinteg::qeljni;

JNIQelType::~JNIQelType() {
    ReleaseOwned(*this);
}

std::string JNIQelType::generate() {
    return CallString(*this, kType, "generate", "()Ljava/lang/String;");
}

JNIQelTypeSimple::JNIQelTypeSimple(JNIQelExpression::SimpleTypes type) {
    jobject constant = JNIQelExpression::newObject(getEnv(), type);
    jobject created =
        constant == nullptr
            ? nullptr
            : NewInstance(*this, kTypeSimple,
                          "(Lcom/tavo/ae/qelhelpers/QelExpression$SimpleTypes;)V", constant);
    if (constant != nullptr)
        getEnv()->DeleteLocalRef(constant);
    Adopt(*this, created, kTypeSimple, false);
}

JNIQelTypeList::JNIQelTypeList(JNIQelType& element) {
    Adopt(*this,
          NewInstance(*this, kTypeList, "(Lcom/tavo/ae/qelhelpers/QelType;)V", ObjectOf(&element)),
          kTypeList, false);
}

JNIQelTypeTuple::JNIQelTypeTuple(std::vector<JNIQelType*>& members) {
    std::vector<jobject> objects = Objects(members);
    jobjectArray array = NewObjectArray(*this, kType, &objects);
    jobject created = array == nullptr ? nullptr
                                       : NewInstance(*this, kTypeTuple,
                                                     "([Lcom/tavo/ae/qelhelpers/QelType;)V", array);
    if (array != nullptr)
        getEnv()->DeleteLocalRef(array);
    Adopt(*this, created, kTypeTuple, false);
}
