// Internal JNI plumbing of the job-program wrappers: cached method ids, calls that check for a
// pending exception, and the conversion of C++ collections into Java ones. Every jobject returned
// here is a local reference that the caller deletes (or a null reference on failure).
#pragma once

#include <jni.h>

#include <map>
#include <string>
#include <vector>

#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/java/JNIQelAccessor.h"

namespace qeinteg::qeljni {

inline constexpr const char* kProgram = "com/tavo/ae/qelhelpers/QelProgram";
inline constexpr const char* kFunction = "com/tavo/ae/qelhelpers/QelFunction";
inline constexpr const char* kFunctionImpl = "com/tavo/ae/qelhelpers/impl/QelFunctionImpl";
inline constexpr const char* kFragment = "com/tavo/ae/qelhelpers/QelFragment";
inline constexpr const char* kContainer = "com/tavo/ae/qelhelpers/QelContainer";
inline constexpr const char* kFieldDerive = "com/tavo/ae/qelhelpers/QelFieldDerive";
inline constexpr const char* kParameter = "com/tavo/ae/qelhelpers/QelFunctionParameter";
inline constexpr const char* kParameterFactory =
    "com/tavo/ae/qelhelpers/QelFunctionParameter$Factory";
inline constexpr const char* kFactoryInstance =
    "com/tavo/ae/qelhelpers/QelFunctionParameter$FactoryInstance";
inline constexpr const char* kTaggedInput = "com/tavo/ae/qelhelpers/TaggedFunctionInput";
inline constexpr const char* kExpression = "com/tavo/ae/qelhelpers/QelExpression";
inline constexpr const char* kSimpleTypes = "com/tavo/ae/qelhelpers/QelExpression$SimpleTypes";
inline constexpr const char* kLambdaSignature =
    "com/tavo/ae/qelhelpers/QelExpression$LambdaSignature";
inline constexpr const char* kClause =
    "com/tavo/ae/qelhelpers/impl/QelExpressionConditional$Clause";
inline constexpr const char* kType = "com/tavo/ae/qelhelpers/QelType";
inline constexpr const char* kTypeSimple = "com/tavo/ae/qelhelpers/QelTypeSimple";
inline constexpr const char* kTypeList = "com/tavo/ae/qelhelpers/QelTypeList";
inline constexpr const char* kTypeTuple = "com/tavo/ae/qelhelpers/QelTypeTuple";
inline constexpr const char* kHelpers = "com/tavo/ae/qelhelpers/QelHelpers";

// The object a wrapper holds; null for a null wrapper pointer.
inline jobject ObjectOf(const JNIQelAccessor* wrapper) {
    return wrapper == nullptr ? nullptr : wrapper->getObject();
}

// A new local reference to object (null stays null), for Adopt to consume.
inline jobject Borrow(JNIQelAccessor& self, jobject object) {
    return object == nullptr || self.getEnv() == nullptr ? nullptr
                                                         : self.getEnv()->NewLocalRef(object);
}

// Instance or static method id of a class, looked up once per process.
jmethodID Method(JNIEnv* env, const char* className, const char* name, const char* signature,
                 bool isStatic = false);

// Calls on self's object (nothing happens for a wrapper without object). A Java exception is
// reported and cleared through self, and the result is then null, false or empty.
jobject CallObject(JNIQelAccessor& self, const char* className, const char* name,
                   const char* signature, ...);
std::string CallString(JNIQelAccessor& self, const char* className, const char* name,
                       const char* signature, ...);
bool CallBoolean(JNIQelAccessor& self, const char* className, const char* name,
                 const char* signature, ...);
void CallVoid(JNIQelAccessor& self, const char* className, const char* name, const char* signature,
              ...);
jobject CallStaticObject(JNIQelAccessor& self, const char* className, const char* name,
                         const char* signature, ...);
jobject NewInstance(JNIQelAccessor& self, const char* className, const char* signature, ...);

// Makes local the object of wrapper: a new global reference of class className, tracked by the
// object manager (released at cleanJRef) when tracked, else owned by the wrapper's destructor
// (ReleaseOwned). The local reference is deleted.
void Adopt(JNIQelAccessor& wrapper, jobject local, const char* className, bool tracked);
// Deletes an untracked global reference made by Adopt.
void ReleaseOwned(JNIQelAccessor& wrapper);
// Registers a wrapper with the object manager so that the next cleanJRef deletes it.
template <typename W>
W* Register(W* wrapper) {
    wrapper->getJNIObjectManager()->addtoCleanList(wrapper);
    return wrapper;
}

// Collections. A null pointer gives a null reference; null elements stay null.
jobjectArray NewStringArray(JNIQelAccessor& self, const std::vector<std::string>* items);
jbooleanArray NewBooleanArray(JNIQelAccessor& self, const std::vector<bool>* items);
jobject NewList(JNIQelAccessor& self, const std::vector<jobject>* items);
jobjectArray NewObjectArray(JNIQelAccessor& self, const char* elementClass,
                            const std::vector<jobject>* items);
// A HashMap of the non-null entries.
jobject NewMap(JNIQelAccessor& self, const std::map<std::string, jobject>* entries);

template <typename W>
std::vector<jobject> Objects(const std::vector<W*>& wrappers) {
    std::vector<jobject> out;
    out.reserve(wrappers.size());
    for (const W* w : wrappers)
        out.push_back(ObjectOf(w));
    return out;
}

}  // namespace qeinteg::qeljni
