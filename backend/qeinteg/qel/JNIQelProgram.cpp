#include "qeinteg/qel/JNIQelProgram.h"

#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/platform/QEAssert.h"
#include "qeinteg/platform/jvm/JavaStrings.h"
#include "qeinteg/qel/JNIQelContainer.h"
#include "qeinteg/qel/JNIQelFieldDerive.h"
#include "qeinteg/qel/JNIQelFragment.h"
#include "qeinteg/qel/JNIQelFunction.h"
#include "qeinteg/qel/JNIQelFunctionParameter.h"
#include "qeinteg/qel/JNITaggedFunctionInput.h"
#include "qeinteg/qel/QelJni.h"

using namespace qeinteg::qeljni;
using qeinteg::jni::LocalFrame;
using qeinteg::jni::LocalRef;

namespace {

#define QP "Lcom/tavo/ae/qelhelpers/"
constexpr const char* kFunctionResult = ")Lcom/tavo/ae/qelhelpers/QelFunction;";
constexpr const char* kExpressionResult = ")Lcom/tavo/ae/qelhelpers/QelExpression;";

std::string FunctionSig(const char* arguments) {
    return std::string("(") + arguments + kFunctionResult;
}
std::string ExpressionSig(const char* arguments) {
    return std::string("(") + arguments + kExpressionResult;
}

// Wraps a call's result in a new registered wrapper, which holds no object when the call failed.
template <typename W>
W* Wrap(JNIQelAccessor& self, jobject local) {
    W* wrapper = Register(new W(local));
    if (local != nullptr)
        self.getEnv()->DeleteLocalRef(local);
    return wrapper;
}

// A HashMap from field name to type constant; every entry is put.
jobject NewTypeMap(JNIQelAccessor& self,
                   const std::map<std::string, JNIQelExpression::SimpleTypes>* types) {
    if (types == nullptr || self.getEnv() == nullptr)
        return nullptr;
    std::map<std::string, jobject> entries;
    for (const auto& [field, type] : *types) {
        entries[field] = JNIQelExpression::newObject(self.getEnv(), type);
    }
    jobject map = NewMap(self, &entries);
    for (const auto& entry : entries) {
        if (entry.second != nullptr)
            self.getEnv()->DeleteLocalRef(entry.second);
    }
    return map;
}

}  // namespace

JNIQelProgram::JNIQelProgram() {
    Adopt(*this, NewInstance(*this, kProgram, "()V"), kProgram, false);
}

JNIQelProgram::JNIQelProgram(std::string text) {
    LocalRef<> jtext(getEnv(), newObject(text, false, false));
    Adopt(*this, NewInstance(*this, kProgram, "(Ljava/lang/String;)V", jtext.get()), kProgram,
          false);
}

JNIQelProgram::JNIQelProgram(_jobject* program) {
    Adopt(*this, Borrow(*this, program), kProgram, false);
}

// The program owns its reference (it may outlive a cleanJRef of the wrappers it handed out).
JNIQelProgram::~JNIQelProgram() {
    ReleaseOwned(*this);
}

JNIQelProgram* JNIQelProgram::clone() {
    jobject local = CallObject(*this, kProgram, "clone", "()Lcom/tavo/ae/qelhelpers/QelProgram;");
    auto* copy = Register(new JNIQelProgram(local));
    if (local != nullptr)
        getEnv()->DeleteLocalRef(local);
    return copy;
}

// ---- functions ----

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name, JNIJSONObject* config) {
    LocalRef<> jname(getEnv(), newObject(name, false, false));
    return Wrap<JNIQelFunction>(
        *this, CallObject(*this, kProgram, "createQelFunction",
                          FunctionSig("Ljava/lang/String;Lcom/keld/json/java/JSONObject;").c_str(),
                          jname.get(), ObjectOf(config)));
}

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name, JNIJSONObject* config,
                                                 JNIQelFunction* input) {
    LocalRef<> jname(getEnv(), newObject(name, false, false));
    return Wrap<JNIQelFunction>(
        *this, CallObject(*this, kProgram, "createQelFunction",
                          FunctionSig("Ljava/lang/String;Lcom/keld/json/java/JSONObject;" QP
                                      "QelFunction;")
                              .c_str(),
                          jname.get(), ObjectOf(config), ObjectOf(input)));
}

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name, JNIJSONObject* config,
                                                 JNIQelExpression* expression,
                                                 JNIQelFunction* input) {
    LocalRef<> jname(getEnv(), newObject(name, false, false));
    return Wrap<JNIQelFunction>(
        *this, CallObject(*this, kProgram, "createQelFunction",
                          FunctionSig("Ljava/lang/String;Lcom/keld/json/java/JSONObject;" QP
                                      "QelExpression;" QP "QelFunction;")
                              .c_str(),
                          jname.get(), ObjectOf(config), ObjectOf(expression), ObjectOf(input)));
}

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name, JNIJSONObject* config,
                                                 JNIQelFieldDerive* derive, JNIQelFunction* input) {
    LocalRef<> jname(getEnv(), newObject(name, false, false));
    return Wrap<JNIQelFunction>(
        *this, CallObject(*this, kProgram, "createQelFunction",
                          FunctionSig("Ljava/lang/String;Lcom/keld/json/java/JSONObject;" QP
                                      "QelFieldDerive;" QP "QelFunction;")
                              .c_str(),
                          jname.get(), ObjectOf(config), ObjectOf(derive), ObjectOf(input)));
}

JNIQelFunction* JNIQelProgram::createQelFunction(
    const std::string& name, JNIJSONObject* config, JNIQelFieldDerive* derive,
    JNIQelFunction* input, std::map<std::string, JNIQelExpression::SimpleTypes>* fieldTypes) {
    LocalRef<> jname(getEnv(), newObject(name, false, false));
    LocalRef<> types(getEnv(), NewTypeMap(*this, fieldTypes));
    return Wrap<JNIQelFunction>(
        *this,
        CallObject(*this, kProgram, "createQelFunction",
                   FunctionSig("Ljava/lang/String;Lcom/keld/json/java/JSONObject;" QP
                               "QelFieldDerive;" QP "QelFunction;Ljava/util/Map;")
                       .c_str(),
                   jname.get(), ObjectOf(config), ObjectOf(derive), ObjectOf(input), types.get()));
}

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name,
                                                 std::vector<JNIJSONObject*>* configs,
                                                 JNIQelFunction* input) {
    LocalRef<> jname(getEnv(), newObject(name, false, false));
    std::vector<jobject> objects;
    if (configs != nullptr)
        objects = Objects(*configs);
    LocalRef<> list(getEnv(), NewList(*this, configs == nullptr ? nullptr : &objects));
    return Wrap<JNIQelFunction>(
        *this,
        CallObject(*this, kProgram, "createQelFunction",
                   FunctionSig("Ljava/lang/String;Ljava/util/List;" QP "QelFunction;").c_str(),
                   jname.get(), list.get(), ObjectOf(input)));
}

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name, JNIJSONObject* config,
                                                 std::vector<JNIQelContainer*>* first,
                                                 std::vector<JNIQelContainer*>* second,
                                                 JNIQelFunction* input) {
    LocalRef<> jname(getEnv(), newObject(name, false, false));
    std::vector<jobject> firstObjects, secondObjects;
    if (first != nullptr)
        firstObjects = Objects(*first);
    if (second != nullptr)
        secondObjects = Objects(*second);
    LocalRef<> firstList(getEnv(), NewList(*this, first == nullptr ? nullptr : &firstObjects));
    LocalRef<> secondList(getEnv(), NewList(*this, second == nullptr ? nullptr : &secondObjects));
    return Wrap<JNIQelFunction>(
        *this,
        CallObject(*this, kProgram, "createQelFunction",
                   FunctionSig("Ljava/lang/String;Lcom/keld/json/java/JSONObject;Ljava/util/List;"
                               "Ljava/util/List;" QP "QelFunction;")
                       .c_str(),
                   jname.get(), ObjectOf(config), firstList.get(), secondList.get(),
                   ObjectOf(input)));
}

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name, JNIJSONObject* config,
                                                 std::map<std::string, JNIQelFunction*>* inputs) {
    LocalRef<> jname(getEnv(), newObject(name, false, false));
    std::map<std::string, jobject> entries;
    if (inputs != nullptr) {
        for (const auto& [tag, function] : *inputs)
            entries[tag] = ObjectOf(function);
    }
    LocalRef<> map(getEnv(), NewMap(*this, inputs == nullptr ? nullptr : &entries));
    return Wrap<JNIQelFunction>(
        *this,
        CallObject(
            *this, kProgram, "createQelFunction",
            FunctionSig("Ljava/lang/String;Lcom/keld/json/java/JSONObject;Ljava/util/Map;").c_str(),
            jname.get(), ObjectOf(config), map.get()));
}

JNIQelFunction* JNIQelProgram::createQelFunctionDeriveFields(JNIQelFieldDerive* derive,
                                                             JNIQelFunction* input) {
    return Wrap<JNIQelFunction>(
        *this, CallObject(*this, kProgram, "createQelFunctionDeriveFields",
                          FunctionSig(QP "QelFieldDerive;" QP "QelFunction;").c_str(),
                          ObjectOf(derive), ObjectOf(input)));
}

JNIQelFunction* JNIQelProgram::createQelFunctionDeriveFields(
    JNIQelFieldDerive* derive, JNIQelFunction* input,
    std::map<std::string, JNIQelExpression::SimpleTypes>* fieldTypes) {
    LocalRef<> types(getEnv(), NewTypeMap(*this, fieldTypes));
    return Wrap<JNIQelFunction>(
        *this,
        CallObject(*this, kProgram, "createQelFunctionDeriveFields",
                   FunctionSig(QP "QelFieldDerive;" QP "QelFunction;Ljava/util/Map;").c_str(),
                   ObjectOf(derive), ObjectOf(input), types.get()));
}

JNIQelFunction* JNIQelProgram::createQelFunctionFilterRecords(JNIQelExpression* condition,
                                                              JNIQelFunction* input) {
    return Wrap<JNIQelFunction>(
        *this, CallObject(*this, kProgram, "createQelFunctionFilterRecords",
                          FunctionSig(QP "QelExpression;" QP "QelFunction;").c_str(),
                          ObjectOf(condition), ObjectOf(input)));
}

JNIQelFunction* JNIQelProgram::createQelFunctionFilterRecords(
    JNIQelExpression* condition, JNIQelFunction* input,
    std::map<std::string, JNIQelExpression::SimpleTypes>* fieldTypes) {
    LocalRef<> types(getEnv(), NewTypeMap(*this, fieldTypes));
    return Wrap<JNIQelFunction>(
        *this, CallObject(*this, kProgram, "createQelFunctionFilterRecords",
                          FunctionSig(QP "QelExpression;" QP "QelFunction;Ljava/util/Map;").c_str(),
                          ObjectOf(condition), ObjectOf(input), types.get()));
}

JNIQelFunction* JNIQelProgram::createQelMetaFunction(const std::string& name, JNIJSONObject* config,
                                                     JNIQelFunction* first,
                                                     JNIQelFunction* second) {
    LocalRef<> jname(getEnv(), newObject(name, false, false));
    return Wrap<JNIQelFunction>(
        *this, CallObject(*this, kProgram, "createQelMetaFunction",
                          FunctionSig("Ljava/lang/String;Lcom/keld/json/java/JSONObject;" QP
                                      "QelFunction;" QP "QelFunction;")
                              .c_str(),
                          jname.get(), ObjectOf(config), ObjectOf(first), ObjectOf(second)));
}

JNIQelFunction* JNIQelProgram::createQelFunctionGeneral(const std::string& name,
                                                        JNIJSONObject* config,
                                                        const std::vector<std::string>* names,
                                                        JNIQelFunction* input) {
    LocalRef<> jname(getEnv(), newObject(name, false, false));
    LocalRef<> array(getEnv(), NewStringArray(*this, names));
    return Wrap<JNIQelFunction>(
        *this,
        CallObject(
            *this, kProgram, "createQelFunctionGeneral",
            FunctionSig("Ljava/lang/String;Lcom/keld/json/java/JSONObject;[Ljava/lang/String;" QP
                        "QelFunction;")
                .c_str(),
            jname.get(), ObjectOf(config), array.get(), ObjectOf(input)));
}

JNIQelFunction* JNIQelProgram::createQelFunctionGeneral(
    const std::string& name, std::vector<JNIQelFunctionParameter*>* parameters) {
    LocalRef<> jname(getEnv(), newObject(name, false, false));
    std::vector<jobject> objects;
    if (parameters != nullptr)
        objects = Objects(*parameters);
    LocalRef<> array(getEnv(),
                     NewObjectArray(*this, kParameter, parameters == nullptr ? nullptr : &objects));
    return Wrap<JNIQelFunction>(
        *this, CallObject(*this, kProgram, "createQelFunctionGeneral",
                          FunctionSig("Ljava/lang/String;[" QP "QelFunctionParameter;").c_str(),
                          jname.get(), array.get()));
}

JNIQelFieldDerive* JNIQelProgram::createQelFieldDerive(const std::string& fieldName,
                                                       JNIQelExpression* expression) {
    LocalRef<> jname(getEnv(), newObject(fieldName, false, false));
    return Wrap<JNIQelFieldDerive>(
        *this, CallObject(*this, kProgram, "createQelFieldDerive",
                          "(Ljava/lang/String;" QP "QelExpression;)" QP "QelFieldDerive;",
                          jname.get(), ObjectOf(expression)));
}

JNIQelContainer* JNIQelProgram::createContainer(const std::string& id, const std::string& location,
                                                bool flag) {
    LocalRef<> jid(getEnv(), newObject(id, false, false));
    LocalRef<> jlocation(getEnv(), newObject(location, false, false));
    return Wrap<JNIQelContainer>(
        *this, CallObject(*this, kProgram, "createContainer",
                          "(Ljava/lang/String;Ljava/lang/String;Z)" QP "QelContainer;", jid.get(),
                          jlocation.get(), static_cast<jboolean>(flag)));
}

void JNIQelProgram::addDependency(JNIQelFunction* first, JNIQelFunction* second) {
    CallVoid(*this, kProgram, "addDependency", "(" QP "QelFunction;" QP "QelFunction;)V",
             ObjectOf(first), ObjectOf(second));
}

// ---- fragments ----

std::set<JNIQelFragment*> JNIQelProgram::getFragments() {
    std::set<JNIQelFragment*> fragments;
    JNIEnv* env = getEnv();
    LocalRef<> set(env, CallObject(*this, kProgram, "getFragments", "()Ljava/util/Set;"));
    if (!set)
        return fragments;
    LocalRef<> it(env, env->CallObjectMethod(set.get(), Method(env, "java/util/Set", "iterator",
                                                               "()Ljava/util/Iterator;")));
    if (checkException(true) || !it)
        return fragments;
    jmethodID hasNext = Method(env, "java/util/Iterator", "hasNext", "()Z");
    jmethodID next = Method(env, "java/util/Iterator", "next", "()Ljava/lang/Object;");
    while (true) {
        jboolean more = env->CallBooleanMethod(it.get(), hasNext);
        if (checkException(true) || !more)
            break;
        jobject fragment = env->CallObjectMethod(it.get(), next);
        if (checkException(true))
            break;
        fragments.insert(Wrap<JNIQelFragment>(*this, fragment));
    }
    return fragments;
}

std::vector<JNIQelFragment*> JNIQelProgram::sortFragmentsIntoExecutionOrder(
    std::set<JNIQelFragment*>* fragments) {
    std::vector<JNIQelFragment*> sorted;
    JNIEnv* env = getEnv();
    if (env == nullptr)
        return sorted;
    LocalRef<> set;
    if (fragments != nullptr) {
        set = LocalRef<>(env, NewInstance(*this, "java/util/HashSet", "(I)V",
                                          static_cast<jint>(fragments->size())));
        if (!set)
            return sorted;
        jmethodID add = Method(env, "java/util/HashSet", "add", "(Ljava/lang/Object;)Z");
        for (JNIQelFragment* fragment : *fragments) {
            if (ObjectOf(fragment) == nullptr)
                continue;
            env->CallBooleanMethod(set.get(), add, ObjectOf(fragment));
            if (checkException(true))
                return sorted;
        }
    }
    LocalRef<> list(env, CallStaticObject(*this, kProgram, "sortFragmentsIntoExecutionOrder",
                                          "(Ljava/util/Set;)Ljava/util/List;", set.get()));
    if (!list)
        return sorted;
    jint size = env->CallIntMethod(list.get(), Method(env, "java/util/List", "size", "()I"));
    if (checkException(true))
        return sorted;
    jmethodID get = Method(env, "java/util/List", "get", "(I)Ljava/lang/Object;");
    for (jint i = 0; i < size; ++i) {
        jobject fragment = env->CallObjectMethod(list.get(), get, i);
        if (checkException(true))
            break;
        sorted.push_back(Wrap<JNIQelFragment>(*this, fragment));
    }
    return sorted;
}

std::vector<JNITaggedFunctionInput*> JNIQelProgram::getPredecessors(JNIQelFunction* function) {
    std::vector<JNITaggedFunctionInput*> inputs;
    JNIEnv* env = getEnv();
    LocalRef<> list(env, CallObject(*this, kProgram, "getPredecessors",
                                    "(" QP "QelFunction;)Ljava/util/List;", ObjectOf(function)));
    if (!list)
        return inputs;
    jint size = env->CallIntMethod(list.get(), Method(env, "java/util/List", "size", "()I"));
    if (checkException(true))
        return inputs;
    jmethodID get = Method(env, "java/util/List", "get", "(I)Ljava/lang/Object;");
    for (jint i = 0; i < size; ++i) {
        jobject input = env->CallObjectMethod(list.get(), get, i);
        if (checkException(true))
            break;
        inputs.push_back(Wrap<JNITaggedFunctionInput>(*this, input));
    }
    return inputs;
}

std::string JNIQelProgram::formatContainerListJSON(const std::vector<std::string>* ids,
                                                   const std::vector<std::string>* locations,
                                                   const std::vector<bool>* flags) {
    JNIEnv* env = getEnv();
    if (env == nullptr)
        return {};
    LocalRef<> jids, jlocations, jflags;
    if (ids != nullptr && locations != nullptr && flags != nullptr) {
        QE_ASSERT(locations->size() >= ids->size() && flags->size() >= ids->size());
        // The count is the number of ids; longer lists are cut to it.
        std::vector<std::string> l(locations->begin(), locations->begin() + ids->size());
        std::vector<bool> f(flags->begin(), flags->begin() + ids->size());
        jids = LocalRef<>(env, NewStringArray(*this, ids));
        jlocations = LocalRef<>(env, NewStringArray(*this, &l));
        jflags = LocalRef<>(env, NewBooleanArray(*this, &f));
    }
    jclass helpers = JNIAccessor::FindClassCached(env, kHelpers);
    jmethodID format = Method(env, kHelpers, "formatContainerListJSON",
                              "([Ljava/lang/String;[Ljava/lang/String;[Z)Ljava/lang/String;", true);
    if (helpers == nullptr || format == nullptr)
        return {};
    LocalRef<jstring> text(env, static_cast<jstring>(env->CallStaticObjectMethod(
                                    helpers, format, jids.get(), jlocations.get(), jflags.get())));
    if (checkException(true) || !text)
        return {};
    return qejni::JavaStringToUtf8(env, text.get());
}

void JNIQelProgram::getQelText(std::string& text) {
    text.clear();
    text.reserve(1024);
    JNIEnv* env = getEnv();
    if (env == nullptr || getObject() == nullptr)
        return;
    // The fragments only live for this call: plain local references in a frame, no wrappers.
    LocalFrame frame(env, 16);
    if (!frame.ok()) {
        checkException(true);
        return;
    }
    jobject set = CallObject(*this, kProgram, "getFragments", "()Ljava/util/Set;");
    if (set == nullptr)
        return;
    jobject list = CallStaticObject(*this, kProgram, "sortFragmentsIntoExecutionOrder",
                                    "(Ljava/util/Set;)Ljava/util/List;", set);
    if (list == nullptr)
        return;
    jint size = env->CallIntMethod(list, Method(env, "java/util/List", "size", "()I"));
    if (checkException(true))
        return;
    jmethodID get = Method(env, "java/util/List", "get", "(I)Ljava/lang/Object;");
    jmethodID toText = Method(env, kFragment, "toQELText", "()Ljava/lang/String;");
    std::string result;
    for (jint i = 0; i < size; ++i) {
        LocalRef<> fragment(env, env->CallObjectMethod(list, get, i));
        if (checkException(true))
            return;
        LocalRef<jstring> piece(
            env, static_cast<jstring>(env->CallObjectMethod(fragment.get(), toText)));
        if (checkException(true))
            return;
        std::string fragmentText = qejni::JavaStringToUtf8(env, piece.get());
        if (fragmentText.empty())
            continue;
        result += fragmentText;
        if (i + 1 < size)
            result += "\n";
    }
    text += result;
}

// ---- expressions ----

JNIQelExpression* JNIQelProgram::createQelExpressionLiteral(const char* value) {
    LocalRef<> jvalue(getEnv(), value == nullptr ? nullptr : newObject(value, false, false));
    return Wrap<JNIQelExpression>(
        *this, CallObject(*this, kProgram, "createQelExpressionLiteral",
                          ExpressionSig("Ljava/lang/String;").c_str(), jvalue.get()));
}

JNIQelExpression* JNIQelProgram::createQelExpressionLiteral(double value) {
    LocalRef<> jvalue(getEnv(), newObject(value, false, false));
    return Wrap<JNIQelExpression>(
        *this, CallObject(*this, kProgram, "createQelExpressionLiteral",
                          ExpressionSig("Ljava/lang/Double;").c_str(), jvalue.get()));
}

JNIQelExpression* JNIQelProgram::createQelExpressionLiteral(long long value) {
    LocalRef<> jvalue(getEnv(), newObject(value, false, false));
    return Wrap<JNIQelExpression>(
        *this, CallObject(*this, kProgram, "createQelExpressionLiteral",
                          ExpressionSig("Ljava/lang/Long;").c_str(), jvalue.get()));
}

JNIQelExpression* JNIQelProgram::createQelExpressionLiteral(bool value) {
    LocalRef<> jvalue(getEnv(), newObject(value, false, false));
    return Wrap<JNIQelExpression>(
        *this, CallObject(*this, kProgram, "createQelExpressionLiteral",
                          ExpressionSig("Ljava/lang/Boolean;").c_str(), jvalue.get()));
}

JNIQelExpression* JNIQelProgram::createQelExpressionLiteral(int value) {
    LocalRef<> jvalue(getEnv(), newObject(value, false, false));
    return Wrap<JNIQelExpression>(
        *this, CallObject(*this, kProgram, "createQelExpressionLiteral",
                          ExpressionSig("Ljava/lang/Integer;").c_str(), jvalue.get()));
}

JNIQelExpression* JNIQelProgram::createQelExpressionFieldReference(const std::string& field) {
    LocalRef<> jfield(getEnv(), newObject(field, false, false));
    return Wrap<JNIQelExpression>(
        *this, CallObject(*this, kProgram, "createQelExpressionFieldReference",
                          ExpressionSig("Ljava/lang/String;").c_str(), jfield.get()));
}

JNIQelExpression* JNIQelProgram::createQelExpressionFieldReference(const std::string& field,
                                                                   const std::string& second) {
    LocalRef<> jfield(getEnv(), newObject(field, false, false));
    LocalRef<> jsecond(getEnv(), newObject(second, false, false));
    return Wrap<JNIQelExpression>(
        *this, CallObject(*this, kProgram, "createQelExpressionFieldReference",
                          ExpressionSig("Ljava/lang/String;Ljava/lang/String;").c_str(),
                          jfield.get(), jsecond.get()));
}

JNIQelExpression* JNIQelProgram::createQelExpressionParameterName(const std::string& name) {
    LocalRef<> jname(getEnv(), newObject(name, false, false));
    return Wrap<JNIQelExpression>(
        *this, CallObject(*this, kProgram, "createQelExpressionParameterName",
                          ExpressionSig("Ljava/lang/String;").c_str(), jname.get()));
}

JNIQelExpression* JNIQelProgram::createQelExpressionNullValue() {
    return Wrap<JNIQelExpression>(*this, CallObject(*this, kProgram, "createQelExpressionNullValue",
                                                    ExpressionSig("").c_str()));
}

JNIQelExpression* JNIQelProgram::createQelExpression(const std::string& name,
                                                     std::vector<JNIQelExpression*>* arguments) {
    LocalRef<> jname(getEnv(), newObject(name, false, false));
    std::vector<jobject> objects;
    if (arguments != nullptr)
        objects = Objects(*arguments);
    LocalRef<> array(getEnv(),
                     NewObjectArray(*this, kExpression, arguments == nullptr ? nullptr : &objects));
    return Wrap<JNIQelExpression>(
        *this, CallObject(*this, kProgram, "createQelExpression",
                          ExpressionSig("Ljava/lang/String;[" QP "QelExpression;").c_str(),
                          jname.get(), array.get()));
}

JNIQelExpression* JNIQelProgram::createQelExpressionTuple(std::vector<JNIQelExpression*>* items) {
    std::vector<jobject> objects;
    if (items != nullptr)
        objects = Objects(*items);
    LocalRef<> list(getEnv(), NewList(*this, items == nullptr ? nullptr : &objects));
    return Wrap<JNIQelExpression>(
        *this, CallObject(*this, kProgram, "createQelExpressionTuple",
                          ExpressionSig("Ljava/util/List;").c_str(), list.get()));
}

JNIQelExpression* JNIQelProgram::createQelExpressionList(std::vector<JNIQelExpression*>* items) {
    std::vector<jobject> objects;
    if (items != nullptr)
        objects = Objects(*items);
    LocalRef<> list(getEnv(), NewList(*this, items == nullptr ? nullptr : &objects));
    return Wrap<JNIQelExpression>(
        *this, CallObject(*this, kProgram, "createQelExpressionList",
                          ExpressionSig("Ljava/util/List;").c_str(), list.get()));
}

JNIQelExpression* JNIQelProgram::createQelExpressionLambdaFunction(
    std::vector<JNIQelExpression::LambdaSignature*>* parameters, JNIQelExpression* body) {
    std::vector<jobject> objects;
    if (parameters != nullptr)
        objects = Objects(*parameters);
    LocalRef<> list(getEnv(), NewList(*this, parameters == nullptr ? nullptr : &objects));
    return Wrap<JNIQelExpression>(
        *this, CallObject(*this, kProgram, "createQelExpressionLambdaFunction",
                          ExpressionSig("Ljava/util/List;" QP "QelExpression;").c_str(), list.get(),
                          ObjectOf(body)));
}

JNIQelExpression* JNIQelProgram::createQelExpressionConditional(
    std::vector<QelExpressionConditional::Clause*>* clauses, JNIQelExpression* otherwise) {
    std::vector<jobject> objects;
    if (clauses != nullptr)
        objects = Objects(*clauses);
    LocalRef<> list(getEnv(), NewList(*this, clauses == nullptr ? nullptr : &objects));
    return Wrap<JNIQelExpression>(
        *this, CallObject(*this, kProgram, "createQelExpressionConditional",
                          ExpressionSig("Ljava/util/List;" QP "QelExpression;").c_str(), list.get(),
                          ObjectOf(otherwise)));
}
