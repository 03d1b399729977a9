// One binding per Java class the library uses: the class (a global reference) and every member the
// library calls, each a typed handle (Method.h). All of them are resolved together, once per
// process, when the object manager is first created; a class or member that is missing (a wrong or
// missing jar) fails that start with a message naming it, and no call is ever made through a
// handle that was not found.
//
// Class and method ids stay valid for as long as their classes are loaded, so the bindings may be
// used from any attached thread.
#pragma once

#include <jni.h>

#include <string>

#include "qeinteg/java/jni/Method.h"
#include "qeinteg/java/jni/Refs.h"

namespace qeinteg::jni {

// A class held as a global reference, with its name for messages.
struct ClassRef {
    GlobalRef ref;
    const char* name = "";
    jclass get() const { return ref.as<jclass>(); }
};

// Looks classes and members up, stopping at the first that is missing and keeping its message.
class Resolver {
  public:
    explicit Resolver(JNIEnv* env) : env_(env) {}

    bool cls(ClassRef& target, const char* name);
    bool method(MethodHandle& target, const ClassRef& cls, const char* name, const char* signature);
    bool staticMethod(MethodHandle& target, const ClassRef& cls, const char* name,
                      const char* signature);
    // The value of a static object field, kept as a global reference.
    bool constant(GlobalRef& target, const ClassRef& cls, const char* name, const char* signature);

    bool ok() const { return error_.empty(); }
    // "Java class not found: a/B" or "Java method not found: a/B.name(signature)".
    const std::string& error() const { return error_; }

  private:
    bool member(MethodHandle& target, const ClassRef& cls, const char* name, const char* signature,
                bool isStatic);
    bool fail(std::string message);

    JNIEnv* env_;
    std::string error_;
};

// The class named `name` (slashes, as in "java/util/ArrayList"), for callers that name classes at
// run time; a failure record naming the class when there is none.
template <Caller C>
LocalRef<jclass> FindClassByName(C& caller, const char* name);

// ---- java.lang, java.io ----

struct ThrowableBinding {
    ClassRef throwable, object, classClass, stringWriter, printWriter;
    Method<jstring()> getMessage, toString, getName;
    Method<jobject()> getClass;
    Method<void(jobject)> printStackTrace;
    Constructor<> newStringWriter;
    Method<jstring()> writerText;
    Constructor<jobject> newPrintWriter;
    Method<void()> flush;
    bool resolve(Resolver& r);
};

struct BoxBinding {
    ClassRef string, number, integer, long_, double_, boolean;
    Method<jint()> intValue;
    Method<jdouble()> doubleValue;
    Method<jboolean()> booleanValue;
    Constructor<jint> newInteger;
    Constructor<jlong> newLong;
    Constructor<jdouble> newDouble;
    Constructor<jboolean> newBoolean;
    bool resolve(Resolver& r);
};

// ---- java.util ----

struct CollectionBinding {
    ClassRef iterable, iterator, collection, arrayList, hashMap, hashSet;
    Method<jint()> size;        // Collection.size()
    Method<jobject()> iterate;  // Iterable.iterator()
    Method<jboolean()> hasNext;
    Method<jobject()> next;
    Constructor<jint> newArrayList, newHashMap, newHashSet;
    Method<jboolean(jobject)> listAdd, setAdd;
    Method<jobject(jobject, jobject)> mapPut;
    bool resolve(Resolver& r);
};

// ---- com.keld.json.java ----

struct JsonObjectBinding {
    ClassRef cls;
    Constructor<> create;
    StaticMethod<jobject(jstring)> parse;
    Method<jstring()> serialize;
    Method<jobject(jobject, jobject)> put;
    Method<jobject(jobject)> get;
    Method<jobject()> keySet;
    bool resolve(Resolver& r);
};

struct JsonArrayBinding {
    ClassRef cls;
    Constructor<> create;
    Constructor<jint> createWithCapacity;
    StaticMethod<jobject(jstring)> parse;
    Method<jstring()> serialize;
    Method<jint()> size;
    Method<jobject(jint)> get;
    Method<jboolean(jobject)> add;
    Method<void(jint, jobject)> insert;
    Method<jobject(jint, jobject)> set;
    bool resolve(Resolver& r);
};

// ---- com.qeinteg.bridge (our own Java side) ----

// Copies a JSON value (or an object's keys) into one direct ByteBuffer (PackedJson.h): the
// second argument is a buffer to write into when it is large enough, else a new one is made.
struct JsonPackerBinding {
    ClassRef cls;
    StaticMethod<jobject(jobject, jobject)> pack, packKeys;
    bool resolve(Resolver& r);
};

// ---- com.tavo.utilities.targetpredictormap ----

struct TargetMapBinding {
    ClassRef cls;
    Constructor<> create;
    Method<jboolean(jstring)> fromJSON, isTarget, isPredictor;
    Method<jobject()> allTargets, allPredictors;
    Method<jobject(jstring)> predictorIndexSet;
    bool resolve(Resolver& r);
};

// ---- com.tavo.ae.qelhelpers ----

struct QelProgramBinding {
    ClassRef cls;
    Constructor<> create;
    Constructor<jstring> createNamed;
    Method<jobject()> clone;
    Method<jobject(jstring, jobject)> function;
    Method<jobject(jstring, jobject, jobject)> functionWithInput;
    Method<jobject(jstring, jobject, jobject, jobject)> functionWithExpression;
    Method<jobject(jstring, jobject, jobject, jobject)> functionWithDerive;
    Method<jobject(jstring, jobject, jobject, jobject, jobject)> functionWithDeriveTypes;
    Method<jobject(jstring, jobject, jobject)> functionWithConfigList;
    Method<jobject(jstring, jobject, jobject, jobject, jobject)> functionWithContainers;
    Method<jobject(jstring, jobject, jobject)> functionWithInputs;
    Method<jobject(jobject, jobject)> deriveFields;
    Method<jobject(jobject, jobject, jobject)> deriveFieldsTyped;
    Method<jobject(jobject, jobject)> filterRecords;
    Method<jobject(jobject, jobject, jobject)> filterRecordsTyped;
    Method<jobject(jstring, jobject, jobject, jobject)> metaFunction;
    Method<jobject(jstring, jobject, jobject, jobject)> generalWithNames;
    Method<jobject(jstring, jobject)> generalWithParameters;
    Method<jobject(jstring, jobject)> fieldDerive;
    Method<jobject(jstring, jstring, jboolean)> container;
    Method<void(jobject, jobject)> addDependency;
    Method<jobject()> getFragments;
    StaticMethod<jobject(jobject)> sortFragments;
    Method<jobject(jobject)> getPredecessors;
    Method<jobject(jobject)> literalText, literalDouble, literalLong, literalBoolean,
        literalInteger;
    Method<jobject(jstring)> fieldReference;
    Method<jobject(jstring, jstring)> recordFieldReference;
    Method<jobject(jstring)> parameterName;
    Method<jobject()> nullValue;
    Method<jobject(jstring, jobject)> expression;
    Method<jobject(jobject)> tuple, list;
    Method<jobject(jobject, jobject)> lambda, conditional;
    bool resolve(Resolver& r);
};

struct QelPartsBinding {
    ClassRef function, functionImpl, fragment, taggedInput, expression, simpleTypes,
        lambdaSignature, clause, type, typeSimple, typeList, typeTuple, helpers, container,
        fieldDerive, parameter, parameterFactory, factoryInstance;
    Method<jstring()> functionName, functionId;
    Method<jstring()> generateConfiguration;
    Method<jstring(jobject)> generateInvocation;
    Method<jstring()> fragmentId, toQELText;
    Method<jboolean(jobject)> containsFunction;
    Method<jobject()> predecessorFragmentIds;
    Method<jobject()> inputFunction;
    Method<jstring()> inputTag;
    Method<jstring()> generateExpression, generateType;
    GlobalRef simpleTypeValues[10];  // QelExpression.SimpleTypes, in declaration order
    Constructor<jstring, jobject> newLambdaSignature;
    Constructor<jobject, jobject> newClause;
    Constructor<jobject> newTypeSimple, newTypeList, newTypeTuple;
    StaticMethod<jstring(jobject, jobject, jobject)> formatContainerListJSON;
    StaticMethod<jobject()> getFactory;
    Method<jobject(jobject, jboolean)> createJson;
    Method<jobject(jobject)> createInput;
    Method<jobject(jobject, jboolean)> createExpression;
    Method<jobject(jstring, jboolean)> createRaw;
    Method<jobject(jobject, jboolean)> createInputs, createContainers;
    bool resolve(Resolver& r);
};

struct Classes {
    ThrowableBinding throwable;
    BoxBinding box;
    CollectionBinding collection;
    JsonObjectBinding jsonObject;
    JsonArrayBinding jsonArray;
    JsonPackerBinding jsonPacker;
    QelProgramBinding program;
    QelPartsBinding qel;
    TargetMapBinding targetMap;

    // Resolves every binding, once per process (a failed attempt is tried again on the next call).
    // Null with *error naming the first class or member that is missing.
    static const Classes* Resolve(JNIEnv* env, std::string* error);
    // The bindings when a Resolve has succeeded, else null.
    static const Classes* Get();
    // Why the last Resolve failed; empty when none has.
    static std::string StartFailure();
};

// The bindings; when they were never resolved, null and a failure record that says why (the class
// or member missing at start).
template <Caller C>
const Classes* BindingsFor(C& caller) {
    const Classes* classes = Classes::Get();
    if (classes == nullptr) {
        std::string why = Classes::StartFailure();
        Fail(caller, OwnFailure(Member{}, "the Java classes are not available" +
                                              (why.empty() ? std::string() : ": " + why)));
    }
    return classes;
}

template <Caller C>
LocalRef<jclass> FindClassByName(C& caller, const char* name) {
    JNIEnv* env = caller.getEnv();
    const Member member{name != nullptr ? name : "", "", ""};
    if (env == nullptr || name == nullptr) {
        Fail(caller, OwnFailure(member, "Java class not found: (none)"));
        return LocalRef<jclass>();
    }
    LocalRef<jclass> cls(env, env->FindClass(name));
    if (!cls) {
        env->ExceptionClear();
        Fail(caller, OwnFailure(member, std::string("Java class not found: ") + name));
    }
    return cls;
}

}  // namespace qeinteg::jni
