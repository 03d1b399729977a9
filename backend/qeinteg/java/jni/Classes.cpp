#include "qeinteg/java/jni/Classes.h"

#include <atomic>
#include <mutex>

namespace qeinteg::jni {

// ---- Resolver ----

bool Resolver::fail(std::string message) {
    if (error_.empty())
        error_ = std::move(message);
    return false;
}

bool Resolver::cls(ClassRef& target, const char* name) {
    if (!ok())
        return false;
    target.name = name;
    LocalRef<jclass> local(env_, env_->FindClass(name));
    if (!local) {
        env_->ExceptionClear();  // NoClassDefFoundError
        return fail(std::string("Java class not found: ") + name);
    }
    target.ref = GlobalRef(env_, local.get());
    return static_cast<bool>(target.ref) || fail(std::string("Java class not kept: ") + name);
}

bool Resolver::member(MethodHandle& target, const ClassRef& cls, const char* name,
                      const char* signature, bool isStatic) {
    if (!ok())
        return false;
    if (target.bind(env_, cls.get(), Member{cls.name, name, signature}, isStatic))
        return true;
    return fail(
        std::string(isStatic ? "Java static method not found: " : "Java method not found: ") +
        cls.name + "." + name + signature);
}

bool Resolver::method(MethodHandle& target, const ClassRef& cls, const char* name,
                      const char* signature) {
    return member(target, cls, name, signature, false);
}

bool Resolver::staticMethod(MethodHandle& target, const ClassRef& cls, const char* name,
                            const char* signature) {
    return member(target, cls, name, signature, true);
}

bool Resolver::constant(GlobalRef& target, const ClassRef& cls, const char* name,
                        const char* signature) {
    if (!ok())
        return false;
    jfieldID field = env_->GetStaticFieldID(cls.get(), name, signature);
    if (field == nullptr) {
        env_->ExceptionClear();
        return fail(std::string("Java field not found: ") + cls.name + "." + name + " " +
                    signature);
    }
    LocalRef<> value(env_, env_->GetStaticObjectField(cls.get(), field));
    if (env_->ExceptionCheck() || !value) {
        env_->ExceptionClear();
        return fail(std::string("Java field not readable: ") + cls.name + "." + name);
    }
    target = GlobalRef(env_, value.get());
    return true;
}

// ---- bindings ----

#define QP "Lcom/tavo/ae/qelhelpers/"
#define JSON_OBJECT "Lcom/keld/json/java/JSONObject;"

bool ThrowableBinding::resolve(Resolver& r) {
    return r.cls(throwable, "java/lang/Throwable") && r.cls(object, "java/lang/Object") &&
           r.cls(classClass, "java/lang/Class") && r.cls(stringWriter, "java/io/StringWriter") &&
           r.cls(printWriter, "java/io/PrintWriter") &&
           r.method(getMessage, throwable, "getMessage", "()Ljava/lang/String;") &&
           r.method(toString, object, "toString", "()Ljava/lang/String;") &&
           r.method(getClass, object, "getClass", "()Ljava/lang/Class;") &&
           r.method(getName, classClass, "getName", "()Ljava/lang/String;") &&
           r.method(printStackTrace, throwable, "printStackTrace", "(Ljava/io/PrintWriter;)V") &&
           r.method(newStringWriter, stringWriter, "<init>", "()V") &&
           r.method(writerText, stringWriter, "toString", "()Ljava/lang/String;") &&
           r.method(newPrintWriter, printWriter, "<init>", "(Ljava/io/Writer;)V") &&
           r.method(flush, printWriter, "flush", "()V");
}

bool BoxBinding::resolve(Resolver& r) {
    return r.cls(string, "java/lang/String") && r.cls(number, "java/lang/Number") &&
           r.cls(integer, "java/lang/Integer") && r.cls(long_, "java/lang/Long") &&
           r.cls(double_, "java/lang/Double") && r.cls(boolean, "java/lang/Boolean") &&
           r.method(intValue, number, "intValue", "()I") &&
           r.method(doubleValue, number, "doubleValue", "()D") &&
           r.method(booleanValue, boolean, "booleanValue", "()Z") &&
           r.method(newInteger, integer, "<init>", "(I)V") &&
           r.method(newLong, long_, "<init>", "(J)V") &&
           r.method(newDouble, double_, "<init>", "(D)V") &&
           r.method(newBoolean, boolean, "<init>", "(Z)V");
}

bool CollectionBinding::resolve(Resolver& r) {
    return r.cls(iterable, "java/lang/Iterable") && r.cls(iterator, "java/util/Iterator") &&
           r.cls(collection, "java/util/Collection") && r.method(size, collection, "size", "()I") &&
           r.cls(arrayList, "java/util/ArrayList") && r.cls(hashMap, "java/util/HashMap") &&
           r.cls(hashSet, "java/util/HashSet") &&
           r.method(iterate, iterable, "iterator", "()Ljava/util/Iterator;") &&
           r.method(hasNext, iterator, "hasNext", "()Z") &&
           r.method(next, iterator, "next", "()Ljava/lang/Object;") &&
           r.method(newArrayList, arrayList, "<init>", "(I)V") &&
           r.method(newHashMap, hashMap, "<init>", "(I)V") &&
           r.method(newHashSet, hashSet, "<init>", "(I)V") &&
           r.method(listAdd, arrayList, "add", "(Ljava/lang/Object;)Z") &&
           r.method(setAdd, hashSet, "add", "(Ljava/lang/Object;)Z") &&
           r.method(mapPut, hashMap, "put",
                    "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;");
}

bool JsonObjectBinding::resolve(Resolver& r) {
    return r.cls(cls, "com/keld/json/java/JSONObject") && r.method(create, cls, "<init>", "()V") &&
           r.staticMethod(parse, cls, "parse", "(Ljava/lang/String;)" JSON_OBJECT) &&
           r.method(serialize, cls, "serialize", "()Ljava/lang/String;") &&
           r.method(put, cls, "put", "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;") &&
           r.method(get, cls, "get", "(Ljava/lang/Object;)Ljava/lang/Object;") &&
           r.method(keySet, cls, "keySet", "()Ljava/util/Set;");
}

bool JsonArrayBinding::resolve(Resolver& r) {
    return r.cls(cls, "com/keld/json/java/JSONArray") && r.method(create, cls, "<init>", "()V") &&
           r.method(createWithCapacity, cls, "<init>", "(I)V") &&
           r.staticMethod(parse, cls, "parse",
                          "(Ljava/lang/String;)Lcom/keld/json/java/JSONArray;") &&
           r.method(serialize, cls, "serialize", "()Ljava/lang/String;") &&
           r.method(size, cls, "size", "()I") &&
           r.method(get, cls, "get", "(I)Ljava/lang/Object;") &&
           r.method(add, cls, "add", "(Ljava/lang/Object;)Z") &&
           r.method(insert, cls, "add", "(ILjava/lang/Object;)V") &&
           r.method(set, cls, "set", "(ILjava/lang/Object;)Ljava/lang/Object;");
}

bool JsonPackerBinding::resolve(Resolver& r) {
#define PACK "(Ljava/lang/Object;Ljava/nio/ByteBuffer;)Ljava/nio/ByteBuffer;"
    return r.cls(cls, "com/qeinteg/bridge/JsonPacker") && r.staticMethod(pack, cls, "pack", PACK) &&
           r.staticMethod(packKeys, cls, "packKeys", PACK);
#undef PACK
}

bool TargetMapBinding::resolve(Resolver& r) {
    return r.cls(cls, "com/tavo/utilities/targetpredictormap/TargetPredictorMap") &&
           r.method(create, cls, "<init>", "()V") &&
           r.method(fromJSON, cls, "fromJSON", "(Ljava/lang/String;)Z") &&
           r.method(isTarget, cls, "isTarget", "(Ljava/lang/String;)Z") &&
           r.method(isPredictor, cls, "isPredictor", "(Ljava/lang/String;)Z") &&
           r.method(allTargets, cls, "getAllTargetSeries", "()Ljava/util/List;") &&
           r.method(allPredictors, cls, "getAllPredictorSeries", "()Ljava/util/List;") &&
           r.method(predictorIndexSet, cls, "getPredictorIndexSet",
                    "(Ljava/lang/String;)Ljava/util/Set;");
}

bool QelProgramBinding::resolve(Resolver& r) {
#define FN(args) "(" args ")" QP "QelFunction;"
#define EX(args) "(" args ")" QP "QelExpression;"
    return r.cls(cls, "com/tavo/ae/qelhelpers/QelProgram") &&
           r.method(create, cls, "<init>", "()V") &&
           r.method(createNamed, cls, "<init>", "(Ljava/lang/String;)V") &&
           r.method(clone, cls, "clone", "()" QP "QelProgram;") &&
           r.method(function, cls, "createQelFunction", FN("Ljava/lang/String;" JSON_OBJECT)) &&
           r.method(functionWithInput, cls, "createQelFunction",
                    FN("Ljava/lang/String;" JSON_OBJECT QP "QelFunction;")) &&
           r.method(functionWithExpression, cls, "createQelFunction",
                    FN("Ljava/lang/String;" JSON_OBJECT QP "QelExpression;" QP "QelFunction;")) &&
           r.method(functionWithDerive, cls, "createQelFunction",
                    FN("Ljava/lang/String;" JSON_OBJECT QP "QelFieldDerive;" QP "QelFunction;")) &&
           r.method(functionWithDeriveTypes, cls, "createQelFunction",
                    FN("Ljava/lang/String;" JSON_OBJECT QP "QelFieldDerive;" QP
                       "QelFunction;Ljava/util/Map;")) &&
           r.method(functionWithConfigList, cls, "createQelFunction",
                    FN("Ljava/lang/String;Ljava/util/List;" QP "QelFunction;")) &&
           r.method(functionWithContainers, cls, "createQelFunction",
                    FN("Ljava/lang/String;" JSON_OBJECT "Ljava/util/List;Ljava/util/List;" QP
                       "QelFunction;")) &&
           r.method(functionWithInputs, cls, "createQelFunction",
                    FN("Ljava/lang/String;" JSON_OBJECT "Ljava/util/Map;")) &&
           r.method(deriveFields, cls, "createQelFunctionDeriveFields",
                    FN(QP "QelFieldDerive;" QP "QelFunction;")) &&
           r.method(deriveFieldsTyped, cls, "createQelFunctionDeriveFields",
                    FN(QP "QelFieldDerive;" QP "QelFunction;Ljava/util/Map;")) &&
           r.method(filterRecords, cls, "createQelFunctionFilterRecords",
                    FN(QP "QelExpression;" QP "QelFunction;")) &&
           r.method(filterRecordsTyped, cls, "createQelFunctionFilterRecords",
                    FN(QP "QelExpression;" QP "QelFunction;Ljava/util/Map;")) &&
           r.method(metaFunction, cls, "createQelMetaFunction",
                    FN("Ljava/lang/String;" JSON_OBJECT QP "QelFunction;" QP "QelFunction;")) &&
           r.method(generalWithNames, cls, "createQelFunctionGeneral",
                    FN("Ljava/lang/String;" JSON_OBJECT "[Ljava/lang/String;" QP "QelFunction;")) &&
           r.method(generalWithParameters, cls, "createQelFunctionGeneral",
                    FN("Ljava/lang/String;[" QP "QelFunctionParameter;")) &&
           r.method(fieldDerive, cls, "createQelFieldDerive",
                    "(Ljava/lang/String;" QP "QelExpression;)" QP "QelFieldDerive;") &&
           r.method(container, cls, "createContainer",
                    "(Ljava/lang/String;Ljava/lang/String;Z)" QP "QelContainer;") &&
           r.method(addDependency, cls, "addDependency",
                    "(" QP "QelFunction;" QP "QelFunction;)V") &&
           r.method(getFragments, cls, "getFragments", "()Ljava/util/Set;") &&
           r.staticMethod(sortFragments, cls, "sortFragmentsIntoExecutionOrder",
                          "(Ljava/util/Set;)Ljava/util/List;") &&
           r.method(getPredecessors, cls, "getPredecessors",
                    "(" QP "QelFunction;)Ljava/util/List;") &&
           r.method(literalText, cls, "createQelExpressionLiteral", EX("Ljava/lang/String;")) &&
           r.method(literalDouble, cls, "createQelExpressionLiteral", EX("Ljava/lang/Double;")) &&
           r.method(literalLong, cls, "createQelExpressionLiteral", EX("Ljava/lang/Long;")) &&
           r.method(literalBoolean, cls, "createQelExpressionLiteral", EX("Ljava/lang/Boolean;")) &&
           r.method(literalInteger, cls, "createQelExpressionLiteral", EX("Ljava/lang/Integer;")) &&
           r.method(fieldReference, cls, "createQelExpressionFieldReference",
                    EX("Ljava/lang/String;")) &&
           r.method(recordFieldReference, cls, "createQelExpressionFieldReference",
                    EX("Ljava/lang/String;Ljava/lang/String;")) &&
           r.method(parameterName, cls, "createQelExpressionParameterName",
                    EX("Ljava/lang/String;")) &&
           r.method(nullValue, cls, "createQelExpressionNullValue", EX("")) &&
           r.method(expression, cls, "createQelExpression",
                    EX("Ljava/lang/String;[" QP "QelExpression;")) &&
           r.method(tuple, cls, "createQelExpressionTuple", EX("Ljava/util/List;")) &&
           r.method(list, cls, "createQelExpressionList", EX("Ljava/util/List;")) &&
           r.method(lambda, cls, "createQelExpressionLambdaFunction",
                    EX("Ljava/util/List;" QP "QelExpression;")) &&
           r.method(conditional, cls, "createQelExpressionConditional",
                    EX("Ljava/util/List;" QP "QelExpression;"));
#undef FN
#undef EX
}

bool QelPartsBinding::resolve(Resolver& r) {
    static const char* const kSimpleTypeNames[] = {"Any",  "Number", "String", "Int",  "Real",
                                                   "Char", "Bool",   "Time",   "Date", "Timestamp"};
    bool ok =
        r.cls(function, "com/tavo/ae/qelhelpers/QelFunction") &&
        r.cls(functionImpl, "com/tavo/ae/qelhelpers/impl/QelFunctionImpl") &&
        r.cls(fragment, "com/tavo/ae/qelhelpers/QelFragment") &&
        r.cls(taggedInput, "com/tavo/ae/qelhelpers/TaggedFunctionInput") &&
        r.cls(expression, "com/tavo/ae/qelhelpers/QelExpression") &&
        r.cls(simpleTypes, "com/tavo/ae/qelhelpers/QelExpression$SimpleTypes") &&
        r.cls(lambdaSignature, "com/tavo/ae/qelhelpers/QelExpression$LambdaSignature") &&
        r.cls(clause, "com/tavo/ae/qelhelpers/impl/QelExpressionConditional$Clause") &&
        r.cls(type, "com/tavo/ae/qelhelpers/QelType") &&
        r.cls(typeSimple, "com/tavo/ae/qelhelpers/QelTypeSimple") &&
        r.cls(typeList, "com/tavo/ae/qelhelpers/QelTypeList") &&
        r.cls(typeTuple, "com/tavo/ae/qelhelpers/QelTypeTuple") &&
        r.cls(helpers, "com/tavo/ae/qelhelpers/QelHelpers") &&
        r.cls(container, "com/tavo/ae/qelhelpers/QelContainer") &&
        r.cls(fieldDerive, "com/tavo/ae/qelhelpers/QelFieldDerive") &&
        r.cls(parameter, "com/tavo/ae/qelhelpers/QelFunctionParameter") &&
        r.cls(parameterFactory, "com/tavo/ae/qelhelpers/QelFunctionParameter$Factory") &&
        r.cls(factoryInstance, "com/tavo/ae/qelhelpers/QelFunctionParameter$FactoryInstance") &&
        r.method(functionName, function, "getName", "()Ljava/lang/String;") &&
        r.method(functionId, function, "getId", "()Ljava/lang/String;") &&
        r.method(generateConfiguration, functionImpl, "generateConfiguration",
                 "()Ljava/lang/String;") &&
        r.method(generateInvocation, functionImpl, "generateInvocation",
                 "(" QP "QelFragment;)Ljava/lang/String;") &&
        r.method(fragmentId, fragment, "getId", "()Ljava/lang/String;") &&
        r.method(toQELText, fragment, "toQELText", "()Ljava/lang/String;") &&
        r.method(containsFunction, fragment, "containsFunction", "(" QP "QelFunction;)Z") &&
        r.method(predecessorFragmentIds, fragment, "getPredecessorFragmentIds",
                 "()Ljava/util/Set;") &&
        r.method(inputFunction, taggedInput, "getFunction",
                 "()Lcom/tavo/ae/qelhelpers/impl/QelFunctionImpl;") &&
        r.method(inputTag, taggedInput, "getTag", "()Ljava/lang/String;") &&
        r.method(generateExpression, expression, "generate", "()Ljava/lang/String;") &&
        r.method(generateType, type, "generate", "()Ljava/lang/String;") &&
        r.method(newLambdaSignature, lambdaSignature, "<init>",
                 "(Ljava/lang/String;" QP "QelType;)V") &&
        r.method(newClause, clause, "<init>", "(" QP "QelExpression;" QP "QelExpression;)V") &&
        r.method(newTypeSimple, typeSimple, "<init>", "(" QP "QelExpression$SimpleTypes;)V") &&
        r.method(newTypeList, typeList, "<init>", "(" QP "QelType;)V") &&
        r.method(newTypeTuple, typeTuple, "<init>", "([" QP "QelType;)V") &&
        r.staticMethod(formatContainerListJSON, helpers, "formatContainerListJSON",
                       "([Ljava/lang/String;[Ljava/lang/String;[Z)Ljava/lang/String;") &&
        r.staticMethod(getFactory, factoryInstance, "getFactory",
                       "()" QP "QelFunctionParameter$Factory;") &&
        r.method(createJson, parameterFactory, "createJson",
                 "(" JSON_OBJECT "Z)" QP "QelFunctionParameter;") &&
        r.method(createInput, parameterFactory, "createInput",
                 "(" QP "QelFunction;)" QP "QelFunctionParameter;") &&
        r.method(createExpression, parameterFactory, "createExpression",
                 "(" QP "QelExpression;Z)" QP "QelFunctionParameter;") &&
        r.method(createRaw, parameterFactory, "createRaw",
                 "(Ljava/lang/String;Z)" QP "QelFunctionParameter;") &&
        r.method(createInputs, parameterFactory, "createInputs",
                 "(Ljava/util/Map;Z)" QP "QelFunctionParameter;") &&
        r.method(createContainers, parameterFactory, "createContainers",
                 "(Ljava/util/List;Z)" QP "QelFunctionParameter;");
    for (int i = 0; ok && i < 10; ++i) {
        ok = r.constant(simpleTypeValues[i], simpleTypes, kSimpleTypeNames[i],
                        "L"
                        "com/tavo/ae/qelhelpers/QelExpression$SimpleTypes;");
    }
    return ok;
}

#undef QP
#undef JSON_OBJECT

// ---- the process's bindings ----

namespace {

std::atomic<const Classes*> g_classes{nullptr};
std::mutex g_mutex;
std::string g_startFailure;  // guarded by g_mutex

}  // namespace

const Classes* Classes::Resolve(JNIEnv* env, std::string* error) {
    if (const Classes* ready = g_classes.load(std::memory_order_acquire))
        return ready;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (const Classes* ready = g_classes.load(std::memory_order_relaxed))
        return ready;
    if (env == nullptr) {
        if (error != nullptr)
            *error = "no Java environment";
        return nullptr;
    }
    auto* fresh = new Classes();
    Resolver r(env);
    const bool ok = fresh->throwable.resolve(r) && fresh->box.resolve(r) &&
                    fresh->collection.resolve(r) && fresh->jsonObject.resolve(r) &&
                    fresh->jsonArray.resolve(r) && fresh->jsonPacker.resolve(r) &&
                    fresh->program.resolve(r) && fresh->qel.resolve(r) &&
                    fresh->targetMap.resolve(r);
    if (!ok) {
        g_startFailure = r.error();
        if (error != nullptr)
            *error = r.error();
        delete fresh;
        return nullptr;
    }
    // Kept for the life of the process: the VM, and so the classes, are never unloaded.
    g_startFailure.clear();
    g_classes.store(fresh, std::memory_order_release);
    return fresh;
}

const Classes* Classes::Get() {
    return g_classes.load(std::memory_order_acquire);
}

std::string Classes::StartFailure() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_startFailure;
}

}  // namespace qeinteg::jni
