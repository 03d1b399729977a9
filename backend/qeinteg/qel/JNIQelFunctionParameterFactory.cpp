#include "qeinteg/qel/JNIQelFunctionParameterFactory.h"

#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/qel/JNIQelContainer.h"
#include "qeinteg/qel/JNIQelExpression.h"
#include "qeinteg/qel/JNIQelFunction.h"
#include "qeinteg/qel/JNIQelFunctionParameter.h"
#include "qeinteg/qel/QelJni.h"

using namespace qeinteg::qeljni;
using qeinteg::jni::LocalRef;

namespace {

constexpr const char* kParameterResult = ")Lcom/tavo/ae/qelhelpers/QelFunctionParameter;";

std::string Signature(const char* arguments) {
    return std::string("(") + arguments + kParameterResult;
}

JNIQelFunctionParameter* Wrap(JNIQelAccessor& self, jobject local) {
    auto* parameter = Register(new JNIQelFunctionParameter(local));
    if (local != nullptr)
        self.getEnv()->DeleteLocalRef(local);
    return parameter;
}

}  // namespace

JNIQelFunctionParameterFactory::JNIQelFunctionParameterFactory() {
    Adopt(*this,
          CallStaticObject(*this, kFactoryInstance, "getFactory",
                           "()Lcom/tavo/ae/qelhelpers/QelFunctionParameter$Factory;"),
          kParameterFactory, false);
}

JNIQelFunctionParameterFactory::~JNIQelFunctionParameterFactory() {
    ReleaseOwned(*this);
}

JNIQelFunctionParameter* JNIQelFunctionParameterFactory::createJson(JNIJSONObject* json,
                                                                    bool flag) {
    return Wrap(*this, CallObject(*this, kParameterFactory, "createJson",
                                  Signature("Lcom/keld/json/java/JSONObject;Z").c_str(),
                                  ObjectOf(json), static_cast<jboolean>(flag)));
}

JNIQelFunctionParameter* JNIQelFunctionParameterFactory::createInput(JNIQelFunction* function) {
    return Wrap(*this, CallObject(*this, kParameterFactory, "createInput",
                                  Signature("Lcom/tavo/ae/qelhelpers/QelFunction;").c_str(),
                                  ObjectOf(function)));
}

JNIQelFunctionParameter* JNIQelFunctionParameterFactory::createExpression(
    JNIQelExpression* expression, bool flag) {
    return Wrap(*this, CallObject(*this, kParameterFactory, "createExpression",
                                  Signature("Lcom/tavo/ae/qelhelpers/QelExpression;Z").c_str(),
                                  ObjectOf(expression), static_cast<jboolean>(flag)));
}

JNIQelFunctionParameter* JNIQelFunctionParameterFactory::createRaw(const std::string& text,
                                                                   bool flag) {
    LocalRef<> jtext(getEnv(), newObject(text, false, false));
    return Wrap(*this, CallObject(*this, kParameterFactory, "createRaw",
                                  Signature("Ljava/lang/String;Z").c_str(), jtext.get(),
                                  static_cast<jboolean>(flag)));
}

JNIQelFunctionParameter* JNIQelFunctionParameterFactory::createInputs(
    std::map<std::string, JNIQelFunction*>* inputs, bool flag) {
    std::map<std::string, jobject> entries;
    if (inputs != nullptr) {
        for (const auto& [tag, function] : *inputs)
            entries[tag] = ObjectOf(function);
    }
    LocalRef<> map(getEnv(), NewMap(*this, inputs == nullptr ? nullptr : &entries));
    return Wrap(*this, CallObject(*this, kParameterFactory, "createInputs",
                                  Signature("Ljava/util/Map;Z").c_str(), map.get(),
                                  static_cast<jboolean>(flag)));
}

JNIQelFunctionParameter* JNIQelFunctionParameterFactory::createContainers(
    std::vector<JNIQelContainer*>* containers, bool flag) {
    std::vector<jobject> objects;
    if (containers != nullptr)
        objects = Objects(*containers);
    LocalRef<> list(getEnv(), NewList(*this, containers == nullptr ? nullptr : &objects));
    return Wrap(*this, CallObject(*this, kParameterFactory, "createContainers",
                                  Signature("Ljava/util/List;Z").c_str(), list.get(),
                                  static_cast<jboolean>(flag)));
}
