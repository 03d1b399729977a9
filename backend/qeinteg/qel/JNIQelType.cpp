#include "qeinteg/qel/JNIQelType.h"

#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"

using qeinteg::jni::Classes;

JNIQelType::~JNIQelType() = default;

std::string JNIQelType::generate() {
    const Classes* c = bindings();
    return c == nullptr
               ? std::string()
               : qeinteg::jni::ToUtf8(getEnv(), c->qel.generateType(*this, getObject()).get());
}

JNIQelTypeSimple::JNIQelTypeSimple(JNIQelExpression::SimpleTypes type) {
    if (const Classes* c = bindings()) {
        const int index = static_cast<int>(type);
        jobject constant = c->qel.simpleTypeValues[index >= 0 && index < 10 ? index : 0].get();
        holdObject(c->qel.newTypeSimple(*this, constant).get());
    }
}

JNIQelTypeList::JNIQelTypeList(JNIQelType& element) {
    if (const Classes* c = bindings())
        holdObject(c->qel.newTypeList(*this, element.getObject()).get());
}

JNIQelTypeTuple::JNIQelTypeTuple(std::vector<JNIQelType*>& members) {
    const Classes* c = bindings();
    if (c == nullptr)
        return;
    std::vector<jobject> objects;
    for (const JNIQelType* member : members)
        objects.push_back(member != nullptr ? member->getObject() : nullptr);
    qeinteg::jni::LocalRef<jobjectArray> array =
        qeinteg::jni::NewObjectArray(*this, c->qel.type.get(), objects);
    if (array)
        holdObject(c->qel.newTypeTuple(*this, array.get()).get());
}
