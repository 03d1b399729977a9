#include "qeinteg/java/jni/Method.h"

namespace qeinteg::jni {

bool MethodHandle::bind(JNIEnv* env, jclass cls, const Member& member, bool isStatic) {
    member_ = member;
    class_ = cls;
    id_ = nullptr;
    if (env == nullptr || cls == nullptr)
        return false;
    id_ = isStatic ? env->GetStaticMethodID(cls, member.name, member.signature)
                   : env->GetMethodID(cls, member.name, member.signature);
    if (id_ == nullptr) {
        env->ExceptionClear();  // NoSuchMethodError: the caller reports it with the names
        return false;
    }
    return true;
}

}  // namespace qeinteg::jni
