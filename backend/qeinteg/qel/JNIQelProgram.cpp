#include "qeinteg/qel/JNIQelProgram.h"

#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"
#include "qeinteg/platform/QEAssert.h"
#include "qeinteg/qel/JNIQelContainer.h"
#include "qeinteg/qel/JNIQelFieldDerive.h"
#include "qeinteg/qel/JNIQelFragment.h"
#include "qeinteg/qel/JNIQelFunction.h"
#include "qeinteg/qel/JNIQelFunctionParameter.h"
#include "qeinteg/qel/JNITaggedFunctionInput.h"

using qeinteg::jni::Classes;
using qeinteg::jni::LocalRef;

namespace {

// The objects of the wrappers, in order; null for a null vector pointer.
template <typename W>
std::vector<jobject> Objects(const std::vector<W*>& wrappers) {
    std::vector<jobject> out;
    out.reserve(wrappers.size());
    for (const W* w : wrappers)
        out.push_back(w == nullptr ? nullptr : w->getObject());
    return out;
}

}  // namespace

JNIQelProgram::JNIQelProgram() {
    if (const Classes* c = bindings())
        holdObject(c->program.create(*this).get());
}

JNIQelProgram::JNIQelProgram(std::string text) {
    const Classes* c = bindings();
    if (c == nullptr)
        return;
    LocalRef<jstring> jtext = qeinteg::jni::NewString(*this, text);
    holdObject(c->program.createNamed(*this, jtext.get()).get());
}

JNIQelProgram::JNIQelProgram(_jobject* program) {
    holdObject(program);
}

JNIQelProgram::~JNIQelProgram() = default;

JNIQelProgram* JNIQelProgram::clone() {
    const Classes* c = bindings();
    LocalRef<jobject> copy = c != nullptr ? c->program.clone(*this, getObject()) : LocalRef<>();
    auto* wrapper = new JNIQelProgram(copy.get());  // the constructor from an object is private
    RegisterForCleanUp(wrapper);
    return wrapper;
}

// Java collections of the wrappers' objects for the factories; empty for a null vector pointer.
template <typename W>
LocalRef<jobject> JNIQelProgram::listOf(const std::vector<W*>* items) {
    return items == nullptr ? LocalRef<jobject>() : qeinteg::jni::NewList(*this, Objects(*items));
}

template <typename W>
LocalRef<jobjectArray> JNIQelProgram::arrayOf(jclass elementClass, const std::vector<W*>* items) {
    return items == nullptr ? LocalRef<jobjectArray>()
                            : qeinteg::jni::NewObjectArray(*this, elementClass, Objects(*items));
}

// ---- functions ----

namespace {

// Runs one factory call of the program (when the bindings exist) and wraps its result.
template <typename W, typename Call>
W* Make(const Classes* c, Call&& call) {
    LocalRef<jobject> made = c != nullptr ? call(*c) : LocalRef<jobject>();
    return JNIQelAccessor::Registered<W>(made.get());
}

}  // namespace

// A Java string argument; it lives until the end of the call it is written in.
#define NAME(text) qeinteg::jni::NewString(*this, text).get()

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name, JNIJSONObject* config) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        return c.program.function(*this, getObject(), NAME(name), ObjectOf(config));
    });
}

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name, JNIJSONObject* config,
                                                 JNIQelFunction* input) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        return c.program.functionWithInput(*this, getObject(), NAME(name), ObjectOf(config),
                                           ObjectOf(input));
    });
}

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name, JNIJSONObject* config,
                                                 JNIQelExpression* expression,
                                                 JNIQelFunction* input) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        return c.program.functionWithExpression(*this, getObject(), NAME(name), ObjectOf(config),
                                                ObjectOf(expression), ObjectOf(input));
    });
}

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name, JNIJSONObject* config,
                                                 JNIQelFieldDerive* derive, JNIQelFunction* input) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        return c.program.functionWithDerive(*this, getObject(), NAME(name), ObjectOf(config),
                                            ObjectOf(derive), ObjectOf(input));
    });
}

// A HashMap from field name to type constant; every entry is put. Null for a null map pointer.
LocalRef<jobject> JNIQelProgram::typeMap(
    const std::map<std::string, JNIQelExpression::SimpleTypes>* types) {
    const Classes* c = types != nullptr ? bindings() : nullptr;
    if (c == nullptr)
        return LocalRef<jobject>();
    std::vector<std::pair<std::string, jobject>> entries;
    for (const auto& [field, type] : *types) {
        const int index = static_cast<int>(type);
        entries.emplace_back(field,
                             c->qel.simpleTypeValues[index >= 0 && index < 10 ? index : 0].get());
    }
    return qeinteg::jni::NewMap(*this, entries);
}

JNIQelFunction* JNIQelProgram::createQelFunction(
    const std::string& name, JNIJSONObject* config, JNIQelFieldDerive* derive,
    JNIQelFunction* input, std::map<std::string, JNIQelExpression::SimpleTypes>* fieldTypes) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        LocalRef<jobject> types = typeMap(fieldTypes);
        return c.program.functionWithDeriveTypes(*this, getObject(), NAME(name), ObjectOf(config),
                                                 ObjectOf(derive), ObjectOf(input), types.get());
    });
}

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name,
                                                 std::vector<JNIJSONObject*>* configs,
                                                 JNIQelFunction* input) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        return c.program.functionWithConfigList(*this, getObject(), NAME(name),
                                                listOf(configs).get(), ObjectOf(input));
    });
}

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name, JNIJSONObject* config,
                                                 std::vector<JNIQelContainer*>* first,
                                                 std::vector<JNIQelContainer*>* second,
                                                 JNIQelFunction* input) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        return c.program.functionWithContainers(*this, getObject(), NAME(name), ObjectOf(config),
                                                listOf(first).get(), listOf(second).get(),
                                                ObjectOf(input));
    });
}

// A HashMap from tag to function; entries with a null function are left out. Null for a null map
// pointer.
LocalRef<jobject> JNIQelProgram::inputMap(const std::map<std::string, JNIQelFunction*>* inputs) {
    if (inputs == nullptr)
        return LocalRef<jobject>();
    std::vector<std::pair<std::string, jobject>> entries;
    for (const auto& [tag, function] : *inputs)
        entries.emplace_back(tag, ObjectOf(function));
    return qeinteg::jni::NewMap(*this, entries);
}

JNIQelFunction* JNIQelProgram::createQelFunction(const std::string& name, JNIJSONObject* config,
                                                 std::map<std::string, JNIQelFunction*>* inputs) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        LocalRef<jobject> map = inputMap(inputs);
        return c.program.functionWithInputs(*this, getObject(), NAME(name), ObjectOf(config),
                                            map.get());
    });
}

JNIQelFunction* JNIQelProgram::createQelFunctionDeriveFields(JNIQelFieldDerive* derive,
                                                             JNIQelFunction* input) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        return c.program.deriveFields(*this, getObject(), ObjectOf(derive), ObjectOf(input));
    });
}

JNIQelFunction* JNIQelProgram::createQelFunctionDeriveFields(
    JNIQelFieldDerive* derive, JNIQelFunction* input,
    std::map<std::string, JNIQelExpression::SimpleTypes>* fieldTypes) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        LocalRef<jobject> types = typeMap(fieldTypes);
        return c.program.deriveFieldsTyped(*this, getObject(), ObjectOf(derive), ObjectOf(input),
                                           types.get());
    });
}

JNIQelFunction* JNIQelProgram::createQelFunctionFilterRecords(JNIQelExpression* condition,
                                                              JNIQelFunction* input) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        return c.program.filterRecords(*this, getObject(), ObjectOf(condition), ObjectOf(input));
    });
}

JNIQelFunction* JNIQelProgram::createQelFunctionFilterRecords(
    JNIQelExpression* condition, JNIQelFunction* input,
    std::map<std::string, JNIQelExpression::SimpleTypes>* fieldTypes) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        LocalRef<jobject> types = typeMap(fieldTypes);
        return c.program.filterRecordsTyped(*this, getObject(), ObjectOf(condition),
                                            ObjectOf(input), types.get());
    });
}

JNIQelFunction* JNIQelProgram::createQelMetaFunction(const std::string& name, JNIJSONObject* config,
                                                     JNIQelFunction* first,
                                                     JNIQelFunction* second) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        return c.program.metaFunction(*this, getObject(), NAME(name), ObjectOf(config),
                                      ObjectOf(first), ObjectOf(second));
    });
}

JNIQelFunction* JNIQelProgram::createQelFunctionGeneral(const std::string& name,
                                                        JNIJSONObject* config,
                                                        const std::vector<std::string>* names,
                                                        JNIQelFunction* input) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        LocalRef<jobjectArray> array;
        if (names != nullptr)
            array = qeinteg::jni::NewStringArray(*this, *names);
        return c.program.generalWithNames(*this, getObject(), NAME(name), ObjectOf(config),
                                          array.get(), ObjectOf(input));
    });
}

JNIQelFunction* JNIQelProgram::createQelFunctionGeneral(
    const std::string& name, std::vector<JNIQelFunctionParameter*>* parameters) {
    return Make<JNIQelFunction>(bindings(), [&](const Classes& c) {
        return c.program.generalWithParameters(*this, getObject(), NAME(name),
                                               arrayOf(c.qel.parameter.get(), parameters).get());
    });
}

JNIQelFieldDerive* JNIQelProgram::createQelFieldDerive(const std::string& fieldName,
                                                       JNIQelExpression* expression) {
    return Make<JNIQelFieldDerive>(bindings(), [&](const Classes& c) {
        return c.program.fieldDerive(*this, getObject(), NAME(fieldName), ObjectOf(expression));
    });
}

JNIQelContainer* JNIQelProgram::createContainer(const std::string& id, const std::string& location,
                                                bool flag) {
    return Make<JNIQelContainer>(bindings(), [&](const Classes& c) {
        return c.program.container(*this, getObject(), NAME(id), NAME(location),
                                   flag ? JNI_TRUE : JNI_FALSE);
    });
}

void JNIQelProgram::addDependency(JNIQelFunction* first, JNIQelFunction* second) {
    if (const Classes* c = bindings())
        c->program.addDependency(*this, getObject(), ObjectOf(first), ObjectOf(second));
}

// ---- fragments ----

std::set<JNIQelFragment*> JNIQelProgram::getFragments() {
    std::set<JNIQelFragment*> fragments;
    const Classes* c = bindings();
    if (c == nullptr)
        return fragments;
    LocalRef<jobject> set = c->program.getFragments(*this, getObject());
    if (set) {
        qeinteg::jni::ForEach(*this, set.get(), [&](jobject fragment) {
            fragments.insert(Registered<JNIQelFragment>(fragment));
        });
    }
    return fragments;
}

std::vector<JNIQelFragment*> JNIQelProgram::sortFragmentsIntoExecutionOrder(
    std::set<JNIQelFragment*>* fragments) {
    std::vector<JNIQelFragment*> sorted;
    const Classes* c = bindings();
    if (c == nullptr)
        return sorted;
    LocalRef<jobject> set;
    if (fragments != nullptr) {
        std::vector<jobject> objects;
        for (JNIQelFragment* fragment : *fragments)
            objects.push_back(ObjectOf(fragment));
        set = qeinteg::jni::NewHashSet(*this, objects);
        if (!set)
            return sorted;
    }
    LocalRef<jobject> list = c->program.sortFragments(*this, set.get());
    if (list) {
        qeinteg::jni::ForEach(*this, list.get(), [&](jobject fragment) {
            sorted.push_back(Registered<JNIQelFragment>(fragment));
        });
    }
    return sorted;
}

std::vector<JNITaggedFunctionInput*> JNIQelProgram::getPredecessors(JNIQelFunction* function) {
    std::vector<JNITaggedFunctionInput*> inputs;
    const Classes* c = bindings();
    if (c == nullptr)
        return inputs;
    LocalRef<jobject> list = c->program.getPredecessors(*this, getObject(), ObjectOf(function));
    if (list) {
        qeinteg::jni::ForEach(*this, list.get(), [&](jobject input) {
            inputs.push_back(Registered<JNITaggedFunctionInput>(input));
        });
    }
    return inputs;
}

std::string JNIQelProgram::formatContainerListJSON(const std::vector<std::string>* ids,
                                                   const std::vector<std::string>* locations,
                                                   const std::vector<bool>* flags) {
    const Classes* c = bindings();
    if (c == nullptr)
        return {};
    LocalRef<jobjectArray> jids, jlocations;
    LocalRef<jbooleanArray> jflags;
    if (ids != nullptr && locations != nullptr && flags != nullptr) {
        QE_ASSERT(locations->size() >= ids->size() && flags->size() >= ids->size());
        // The count is the number of ids; longer lists are cut to it.
        std::vector<std::string> l(locations->begin(), locations->begin() + ids->size());
        std::vector<bool> f(flags->begin(), flags->begin() + ids->size());
        jids = qeinteg::jni::NewStringArray(*this, *ids);
        jlocations = qeinteg::jni::NewStringArray(*this, l);
        jflags = qeinteg::jni::NewBooleanArray(*this, f);
    }
    LocalRef<jstring> text =
        c->qel.formatContainerListJSON(*this, jids.get(), jlocations.get(), jflags.get());
    return qeinteg::jni::ToUtf8(getEnv(), text.get());
}

void JNIQelProgram::getQelText(std::string& text) {
    text.clear();
    text.reserve(1024);
    const Classes* c = getObject() != nullptr ? bindings() : nullptr;
    if (c == nullptr)
        return;
    // The fragments only live for this call: plain local references, no wrappers.
    LocalRef<jobject> set = c->program.getFragments(*this, getObject());
    if (!set)
        return;
    LocalRef<jobject> list = c->program.sortFragments(*this, set.get());
    if (!list)
        return;
    std::vector<std::string> pieces;
    bool failed = false;
    const bool walked = qeinteg::jni::ForEach(*this, list.get(), [&](jobject fragment) {
        qeinteg::jni::FailureWatch watch(*this);
        pieces.push_back(qeinteg::jni::ToUtf8(getEnv(), c->qel.toQELText(watch, fragment).get()));
        failed = watch.failed();
        return !failed;
    });
    if (!walked || failed)
        return;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].empty())
            continue;
        text += pieces[i];
        if (i + 1 < pieces.size())
            text += "\n";
    }
}

// ---- expressions ----

JNIQelExpression* JNIQelProgram::createQelExpressionLiteral(const char* value) {
    return Make<JNIQelExpression>(bindings(), [&](const Classes& c) {
        LocalRef<jstring> jvalue;
        if (value != nullptr)
            jvalue = qeinteg::jni::NewString(*this, value);
        return c.program.literalText(*this, getObject(), jvalue.get());
    });
}

JNIQelExpression* JNIQelProgram::createQelExpressionLiteral(double value) {
    return Make<JNIQelExpression>(bindings(), [&](const Classes& c) {
        LocalRef<jobject> boxed = c.box.newDouble(*this, value);
        return c.program.literalDouble(*this, getObject(), boxed.get());
    });
}

JNIQelExpression* JNIQelProgram::createQelExpressionLiteral(long long value) {
    return Make<JNIQelExpression>(bindings(), [&](const Classes& c) {
        LocalRef<jobject> boxed = c.box.newLong(*this, static_cast<jlong>(value));
        return c.program.literalLong(*this, getObject(), boxed.get());
    });
}

JNIQelExpression* JNIQelProgram::createQelExpressionLiteral(bool value) {
    return Make<JNIQelExpression>(bindings(), [&](const Classes& c) {
        LocalRef<jobject> boxed = c.box.newBoolean(*this, value ? JNI_TRUE : JNI_FALSE);
        return c.program.literalBoolean(*this, getObject(), boxed.get());
    });
}

JNIQelExpression* JNIQelProgram::createQelExpressionLiteral(int value) {
    return Make<JNIQelExpression>(bindings(), [&](const Classes& c) {
        LocalRef<jobject> boxed = c.box.newInteger(*this, value);
        return c.program.literalInteger(*this, getObject(), boxed.get());
    });
}

JNIQelExpression* JNIQelProgram::createQelExpressionFieldReference(const std::string& field) {
    return Make<JNIQelExpression>(bindings(), [&](const Classes& c) {
        return c.program.fieldReference(*this, getObject(), NAME(field));
    });
}

JNIQelExpression* JNIQelProgram::createQelExpressionFieldReference(const std::string& field,
                                                                   const std::string& second) {
    return Make<JNIQelExpression>(bindings(), [&](const Classes& c) {
        return c.program.recordFieldReference(*this, getObject(), NAME(field), NAME(second));
    });
}

JNIQelExpression* JNIQelProgram::createQelExpressionParameterName(const std::string& name) {
    return Make<JNIQelExpression>(bindings(), [&](const Classes& c) {
        return c.program.parameterName(*this, getObject(), NAME(name));
    });
}

JNIQelExpression* JNIQelProgram::createQelExpressionNullValue() {
    return Make<JNIQelExpression>(
        bindings(), [&](const Classes& c) { return c.program.nullValue(*this, getObject()); });
}

JNIQelExpression* JNIQelProgram::createQelExpression(const std::string& name,
                                                     std::vector<JNIQelExpression*>* arguments) {
    return Make<JNIQelExpression>(bindings(), [&](const Classes& c) {
        return c.program.expression(*this, getObject(), NAME(name),
                                    arrayOf(c.qel.expression.get(), arguments).get());
    });
}

JNIQelExpression* JNIQelProgram::createQelExpressionTuple(std::vector<JNIQelExpression*>* items) {
    return Make<JNIQelExpression>(bindings(), [&](const Classes& c) {
        return c.program.tuple(*this, getObject(), listOf(items).get());
    });
}

JNIQelExpression* JNIQelProgram::createQelExpressionList(std::vector<JNIQelExpression*>* items) {
    return Make<JNIQelExpression>(bindings(), [&](const Classes& c) {
        return c.program.list(*this, getObject(), listOf(items).get());
    });
}

JNIQelExpression* JNIQelProgram::createQelExpressionLambdaFunction(
    std::vector<JNIQelExpression::LambdaSignature*>* parameters, JNIQelExpression* body) {
    return Make<JNIQelExpression>(bindings(), [&](const Classes& c) {
        return c.program.lambda(*this, getObject(), listOf(parameters).get(), ObjectOf(body));
    });
}

JNIQelExpression* JNIQelProgram::createQelExpressionConditional(
    std::vector<QelExpressionConditional::Clause*>* clauses, JNIQelExpression* otherwise) {
    return Make<JNIQelExpression>(bindings(), [&](const Classes& c) {
        return c.program.conditional(*this, getObject(), listOf(clauses).get(),
                                     ObjectOf(otherwise));
    });
}

#undef NAME
