#include "qeinteg/qel/JNIQelFragment.h"

#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/platform/jvm/JavaStrings.h"
#include "qeinteg/qel/JNIQelFunction.h"
#include "qeinteg/qel/QelJni.h"

using namespace qeinteg::qeljni;
using qeinteg::jni::LocalRef;

JNIQelFragment::JNIQelFragment(_jobject* fragment) {
    Adopt(*this, Borrow(*this, fragment), kFragment, true);
}

JNIQelFragment::~JNIQelFragment() = default;

std::string JNIQelFragment::getId() {
    return CallString(*this, kFragment, "getId", "()Ljava/lang/String;");
}

std::string JNIQelFragment::toQELText() {
    return CallString(*this, kFragment, "toQELText", "()Ljava/lang/String;");
}

bool JNIQelFragment::containsFunction(JNIQelFunction* function) {
    return CallBoolean(*this, kFragment, "containsFunction",
                       "(Lcom/tavo/ae/qelhelpers/QelFunction;)Z", ObjectOf(function));
}

std::set<std::string> JNIQelFragment::getPredecessorFragmentIds() {
    std::set<std::string> ids;
    JNIEnv* env = getEnv();
    LocalRef<> set(env,
                   CallObject(*this, kFragment, "getPredecessorFragmentIds", "()Ljava/util/Set;"));
    if (!set)
        return ids;
    LocalRef<> it(env, env->CallObjectMethod(set.get(), Method(env, "java/util/Set", "iterator",
                                                               "()Ljava/util/Iterator;")));
    if (checkException(true) || !it)
        return ids;
    jmethodID hasNext = Method(env, "java/util/Iterator", "hasNext", "()Z");
    jmethodID next = Method(env, "java/util/Iterator", "next", "()Ljava/lang/Object;");
    while (true) {
        jboolean more = env->CallBooleanMethod(it.get(), hasNext);
        if (checkException(true) || !more)
            break;
        LocalRef<jstring> id(env, static_cast<jstring>(env->CallObjectMethod(it.get(), next)));
        if (checkException(true))
            break;
        ids.insert(qejni::JavaStringToUtf8(env, id.get()));
    }
    return ids;
}
