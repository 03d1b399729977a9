#include "qeinteg/qel/JNIQelFragment.h"

#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"
#include "qeinteg/qel/JNIQelFunction.h"

using qeinteg::jni::Classes;

JNIQelFragment::JNIQelFragment(_jobject* fragment) {
    holdObject(fragment);
}

JNIQelFragment::~JNIQelFragment() = default;

std::string JNIQelFragment::getId() {
    const Classes* c = bindings();
    return c == nullptr
               ? std::string()
               : qeinteg::jni::ToUtf8(getEnv(), c->qel.fragmentId(*this, getObject()).get());
}

std::string JNIQelFragment::toQELText() {
    const Classes* c = bindings();
    return c == nullptr
               ? std::string()
               : qeinteg::jni::ToUtf8(getEnv(), c->qel.toQELText(*this, getObject()).get());
}

bool JNIQelFragment::containsFunction(JNIQelFunction* function) {
    const Classes* c = bindings();
    return c != nullptr &&
           c->qel.containsFunction(*this, getObject(),
                                   function != nullptr ? function->getObject() : nullptr);
}

std::set<std::string> JNIQelFragment::getPredecessorFragmentIds() {
    std::set<std::string> ids;
    const Classes* c = bindings();
    if (c == nullptr)
        return ids;
    qeinteg::jni::LocalRef<jobject> set = c->qel.predecessorFragmentIds(*this, getObject());
    if (set) {
        qeinteg::jni::ForEach(*this, set.get(),
                              [&](jobject id) { ids.insert(qeinteg::jni::ToUtf8(getEnv(), id)); });
    }
    return ids;
}
