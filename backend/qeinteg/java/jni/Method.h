// Typed handles on Java methods and constructors: looked up once (Classes.h resolves them all at
// start), then called with C++ arguments of the declared types.
//
//   Method<jobject(jobject, jobject)> put;       // Object put(Object, Object)
//   LocalRef<jobject> previous = put(caller, map, key, value);
//
// Every call checks for a pending Java exception and turns it into one failure record (Failure.h)
// handed to the caller. Results: an object comes back as a LocalRef (empty on failure), a boolean
// as bool, other primitives as themselves (0 on failure), and a void call as true when it
// succeeded. A call on a null receiver or through an unresolved handle makes no JNI call and is a
// failure of its own. Arguments travel as a jvalue array (the A forms of the JNI calls), never
// through C varargs, so their types are checked here.
#pragma once

#include <jni.h>

#include <string>
#include <type_traits>

#include "qeinteg/java/jni/Failure.h"
#include "qeinteg/java/jni/Refs.h"

namespace qeinteg::jni {

namespace detail {

template <typename T>
inline constexpr bool kIsReference = std::is_convertible_v<T, jobject>&& std::is_pointer_v<T>;

template <typename R>
struct ResultOf {
    using type = R;
};
template <>
struct ResultOf<void> {
    using type = bool;
};
template <>
struct ResultOf<jboolean> {
    using type = bool;
};
template <typename R>
using Result = std::conditional_t<kIsReference<R>, LocalRef<R>, typename ResultOf<R>::type>;

template <typename T>
jvalue ToValue(T value) {
    jvalue v{};
    if constexpr (kIsReference<T>) {
        v.l = value;
    } else if constexpr (std::is_same_v<T, jboolean>) {
        v.z = value;
    } else if constexpr (std::is_same_v<T, jint>) {
        v.i = value;
    } else if constexpr (std::is_same_v<T, jlong>) {
        v.j = value;
    } else if constexpr (std::is_same_v<T, jdouble>) {
        v.d = value;
    } else if constexpr (std::is_same_v<T, jfloat>) {
        v.f = value;
    } else {
        static_assert(kIsReference<T>, "unsupported JNI argument type");
    }
    return v;
}

// Runs one JNI call of result type R through `invoke` (given the environment) and applies the
// exception check and the result mapping.
template <typename R, Caller C, typename Invoke>
Result<R> Finish(C& caller, const Member& member, Invoke&& invoke) {
    JNIEnv* env = caller.getEnv();
    if constexpr (std::is_void_v<R>) {
        invoke(env);
        return !CheckException(caller, member);
    } else if constexpr (kIsReference<R>) {
        LocalRef<R> result(env, static_cast<R>(invoke(env)));
        if (CheckException(caller, member))
            return LocalRef<R>();
        return result;
    } else if constexpr (std::is_same_v<R, jboolean>) {
        const jboolean value = invoke(env);
        return !CheckException(caller, member) && value == JNI_TRUE;
    } else {
        const R value = invoke(env);
        return CheckException(caller, member) ? R{} : value;
    }
}

// The JNI call of the right kind for result type R.
template <typename R>
auto CallInstance(JNIEnv* env, jobject receiver, jmethodID id, const jvalue* args) {
    if constexpr (std::is_void_v<R>)
        return env->CallVoidMethodA(receiver, id, args);
    else if constexpr (kIsReference<R>)
        return env->CallObjectMethodA(receiver, id, args);
    else if constexpr (std::is_same_v<R, jboolean>)
        return env->CallBooleanMethodA(receiver, id, args);
    else if constexpr (std::is_same_v<R, jint>)
        return env->CallIntMethodA(receiver, id, args);
    else if constexpr (std::is_same_v<R, jlong>)
        return env->CallLongMethodA(receiver, id, args);
    else if constexpr (std::is_same_v<R, jdouble>)
        return env->CallDoubleMethodA(receiver, id, args);
    else
        static_assert(std::is_same_v<R, jfloat>, "unsupported JNI result type");
}

template <typename R>
auto CallStatic(JNIEnv* env, jclass cls, jmethodID id, const jvalue* args) {
    if constexpr (std::is_void_v<R>)
        return env->CallStaticVoidMethodA(cls, id, args);
    else if constexpr (kIsReference<R>)
        return env->CallStaticObjectMethodA(cls, id, args);
    else if constexpr (std::is_same_v<R, jboolean>)
        return env->CallStaticBooleanMethodA(cls, id, args);
    else if constexpr (std::is_same_v<R, jint>)
        return env->CallStaticIntMethodA(cls, id, args);
    else if constexpr (std::is_same_v<R, jlong>)
        return env->CallStaticLongMethodA(cls, id, args);
    else
        static_assert(std::is_same_v<R, jdouble>, "unsupported JNI result type");
}

}  // namespace detail

// What every handle shares: the member it names and its method id.
class MethodHandle {
  public:
    // Looks the member up in cls. False (nothing pending) when cls has no such member.
    bool bind(JNIEnv* env, jclass cls, const Member& member, bool isStatic);
    bool resolved() const { return id_ != nullptr; }
    const Member& member() const { return member_; }
    jmethodID id() const { return id_; }

  protected:
    // A failure of ours when the call cannot be made (unresolved handle, null receiver or class).
    template <Caller C>
    bool refuse(C& caller, const void* target) const {
        if (caller.getEnv() == nullptr)
            return true;
        if (id_ == nullptr) {
            Fail(caller, OwnFailure(member_, "the Java member was not resolved"));
            return true;
        }
        if (target == nullptr) {
            Fail(caller, OwnFailure(member_, "no Java object to call"));
            return true;
        }
        return false;
    }

    Member member_;
    jmethodID id_ = nullptr;
    jclass class_ = nullptr;  // the class bound to; a global reference owned by its binding
};

template <typename Signature>
class Method;

// An instance method.
template <typename R, typename... Args>
class Method<R(Args...)> : public MethodHandle {
  public:
    template <Caller C>
    detail::Result<R> operator()(C& caller, jobject receiver, Args... args) const {
        if (refuse(caller, receiver))
            return detail::Result<R>{};
        const jvalue values[] = {detail::ToValue<Args>(args)..., jvalue{}};
        return detail::Finish<R>(caller, member_, [&](JNIEnv* env) {
            return detail::CallInstance<R>(env, receiver, id_, values);
        });
    }
};

template <typename Signature>
class StaticMethod;

// A static method of the class it was bound to.
template <typename R, typename... Args>
class StaticMethod<R(Args...)> : public MethodHandle {
  public:
    template <Caller C>
    detail::Result<R> operator()(C& caller, Args... args) const {
        if (refuse(caller, class_))
            return detail::Result<R>{};
        const jvalue values[] = {detail::ToValue<Args>(args)..., jvalue{}};
        return detail::Finish<R>(caller, member_, [&](JNIEnv* env) {
            return detail::CallStatic<R>(env, class_, id_, values);
        });
    }
};

// A constructor of the class it was bound to; gives the new object.
template <typename... Args>
class Constructor : public MethodHandle {
  public:
    template <Caller C>
    LocalRef<jobject> operator()(C& caller, Args... args) const {
        if (refuse(caller, class_))
            return LocalRef<jobject>();
        const jvalue values[] = {detail::ToValue<Args>(args)..., jvalue{}};
        return detail::Finish<jobject>(
            caller, member_, [&](JNIEnv* env) { return env->NewObjectA(class_, id_, values); });
    }
};

}  // namespace qeinteg::jni
