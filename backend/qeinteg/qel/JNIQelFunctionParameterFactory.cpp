#include "qeinteg/qel/JNIQelFunctionParameterFactory.h"

#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"
#include "qeinteg/qel/JNIQelContainer.h"
#include "qeinteg/qel/JNIQelExpression.h"
#include "qeinteg/qel/JNIQelFunction.h"
#include "qeinteg/qel/JNIQelFunctionParameter.h"

using qeinteg::jni::Classes;
using qeinteg::jni::LocalRef;

namespace {

// A new parameter wrapper of a factory call's result, registered for clean-up.
template <typename Call>
JNIQelFunctionParameter* Make(const Classes* c, Call&& call) {
    LocalRef<jobject> made = c != nullptr ? call(*c) : LocalRef<jobject>();
    return JNIQelAccessor::Registered<JNIQelFunctionParameter>(made.get());
}

jboolean Flag(bool flag) {
    return flag ? JNI_TRUE : JNI_FALSE;
}

}  // namespace

JNIQelFunctionParameterFactory::JNIQelFunctionParameterFactory() {
    if (const Classes* c = bindings())
        holdObject(c->qel.getFactory(*this).get());
}

JNIQelFunctionParameterFactory::~JNIQelFunctionParameterFactory() = default;

JNIQelFunctionParameter* JNIQelFunctionParameterFactory::createJson(JNIJSONObject* json,
                                                                    bool flag) {
    return Make(bindings(), [&](const Classes& c) {
        return c.qel.createJson(*this, getObject(), ObjectOf(json), Flag(flag));
    });
}

JNIQelFunctionParameter* JNIQelFunctionParameterFactory::createInput(JNIQelFunction* function) {
    return Make(bindings(), [&](const Classes& c) {
        return c.qel.createInput(*this, getObject(), ObjectOf(function));
    });
}

JNIQelFunctionParameter* JNIQelFunctionParameterFactory::createExpression(
    JNIQelExpression* expression, bool flag) {
    return Make(bindings(), [&](const Classes& c) {
        return c.qel.createExpression(*this, getObject(), ObjectOf(expression), Flag(flag));
    });
}

JNIQelFunctionParameter* JNIQelFunctionParameterFactory::createRaw(const std::string& text,
                                                                   bool flag) {
    return Make(bindings(), [&](const Classes& c) {
        LocalRef<jstring> jtext = qeinteg::jni::NewString(*this, text);
        return c.qel.createRaw(*this, getObject(), jtext.get(), Flag(flag));
    });
}

JNIQelFunctionParameter* JNIQelFunctionParameterFactory::createInputs(
    std::map<std::string, JNIQelFunction*>* inputs, bool flag) {
    return Make(bindings(), [&](const Classes& c) {
        LocalRef<jobject> map;
        if (inputs != nullptr) {
            std::vector<std::pair<std::string, jobject>> entries;
            for (const auto& [tag, function] : *inputs)
                entries.emplace_back(tag, ObjectOf(function));
            map = qeinteg::jni::NewMap(*this, entries);
        }
        return c.qel.createInputs(*this, getObject(), map.get(), Flag(flag));
    });
}

JNIQelFunctionParameter* JNIQelFunctionParameterFactory::createContainers(
    std::vector<JNIQelContainer*>* containers, bool flag) {
    return Make(bindings(), [&](const Classes& c) {
        LocalRef<jobject> list;
        if (containers != nullptr) {
            std::vector<jobject> objects;
            for (const JNIQelContainer* container : *containers)
                objects.push_back(ObjectOf(container));
            list = qeinteg::jni::NewList(*this, objects);
        }
        return c.qel.createContainers(*this, getObject(), list.get(), Flag(flag));
    });
}
