// A job program: creates functions, expressions, field derivations and containers inside it,
// records dependencies and renders the whole program as QEL text (docs/qel.md).
//
// The program object is owned by its creator. Every wrapper its operations return is registered
// with the object manager and deleted at the next cleanJRef(); callers never delete those.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/JNIQelExpression.h"
#include "qeinteg/qel/QelExpressionConditional.h"

class JNIJSONObject;
class JNIQelContainer;
class JNIQelFieldDerive;
class JNIQelFragment;
class JNIQelFunction;
class JNIQelFunctionParameter;
class JNITaggedFunctionInput;

class QEINTEG_EXPORT JNIQelProgram : public JNIQelAccessor {
  public:
    JNIQelProgram();
    // A program whose generated names start with text, so that texts of two programs can be joined.
    explicit JNIQelProgram(std::string text);
    ~JNIQelProgram() override;

    // A copy as a new program (registered for clean-up).
    JNIQelProgram* clone();

    // Functions. name is the function's kind; null wrappers are passed as null.
    JNIQelFunction* createQelFunction(const std::string& name, JNIJSONObject* config);
    JNIQelFunction* createQelFunction(const std::string& name, JNIJSONObject* config,
                                      JNIQelFunction* input);
    JNIQelFunction* createQelFunction(const std::string& name, JNIJSONObject* config,
                                      JNIQelExpression* expression, JNIQelFunction* input);
    JNIQelFunction* createQelFunction(const std::string& name, JNIJSONObject* config,
                                      JNIQelFieldDerive* derive, JNIQelFunction* input);
    JNIQelFunction* createQelFunction(
        const std::string& name, JNIJSONObject* config, JNIQelFieldDerive* derive,
        JNIQelFunction* input, std::map<std::string, JNIQelExpression::SimpleTypes>* fieldTypes);
    JNIQelFunction* createQelFunction(const std::string& name, std::vector<JNIJSONObject*>* configs,
                                      JNIQelFunction* input);
    JNIQelFunction* createQelFunction(const std::string& name, JNIJSONObject* config,
                                      std::vector<JNIQelContainer*>* first,
                                      std::vector<JNIQelContainer*>* second, JNIQelFunction* input);
    // Several inputs, each under its tag; entries with a null function are left out.
    JNIQelFunction* createQelFunction(const std::string& name, JNIJSONObject* config,
                                      std::map<std::string, JNIQelFunction*>* inputs);
    JNIQelFunction* createQelFunctionDeriveFields(JNIQelFieldDerive* derive, JNIQelFunction* input);
    JNIQelFunction* createQelFunctionDeriveFields(
        JNIQelFieldDerive* derive, JNIQelFunction* input,
        std::map<std::string, JNIQelExpression::SimpleTypes>* fieldTypes);
    JNIQelFunction* createQelFunctionFilterRecords(JNIQelExpression* condition,
                                                   JNIQelFunction* input);
    JNIQelFunction* createQelFunctionFilterRecords(
        JNIQelExpression* condition, JNIQelFunction* input,
        std::map<std::string, JNIQelExpression::SimpleTypes>* fieldTypes);
    JNIQelFunction* createQelMetaFunction(const std::string& name, JNIJSONObject* config,
                                          JNIQelFunction* first, JNIQelFunction* second);
    JNIQelFunction* createQelFunctionGeneral(const std::string& name, JNIJSONObject* config,
                                             const std::vector<std::string>* names,
                                             JNIQelFunction* input);
    JNIQelFunction* createQelFunctionGeneral(const std::string& name,
                                             std::vector<JNIQelFunctionParameter*>* parameters);

    JNIQelFieldDerive* createQelFieldDerive(const std::string& fieldName,
                                            JNIQelExpression* expression);
    JNIQelContainer* createContainer(const std::string& id, const std::string& location, bool flag);
    // second runs after first.
    void addDependency(JNIQelFunction* first, JNIQelFunction* second);

    // Fragments: one new wrapper per fragment.
    std::set<JNIQelFragment*> getFragments();
    // The fragments (new wrappers) in execution order; empty when they depend on each other in a
    // cycle (the failure text is kept, see getLastFailure()).
    std::vector<JNIQelFragment*> sortFragmentsIntoExecutionOrder(
        std::set<JNIQelFragment*>* fragments);
    std::vector<JNITaggedFunctionInput*> getPredecessors(JNIQelFunction* function);
    // JSON text listing the containers; the vectors run parallel to ids. When any pointer is null,
    // the list is empty.
    std::string formatContainerListJSON(const std::vector<std::string>* ids,
                                        const std::vector<std::string>* locations,
                                        const std::vector<bool>* flags);

    // The whole program: the fragments' texts in execution order, joined by "\n" (empty
    // fragments add nothing). Empty when the program cannot be written.
    void getQelText(std::string& text);

    // Expressions.
    JNIQelExpression* createQelExpressionLiteral(const char* text);
    JNIQelExpression* createQelExpressionLiteral(double value);
    JNIQelExpression* createQelExpressionLiteral(long long value);
    JNIQelExpression* createQelExpressionLiteral(bool value);
    JNIQelExpression* createQelExpressionLiteral(int value);
    JNIQelExpression* createQelExpressionFieldReference(const std::string& field);
    // A field of the named record (a lambda parameter) instead of the current record.
    JNIQelExpression* createQelExpressionFieldReference(const std::string& field,
                                                        const std::string& second);
    JNIQelExpression* createQelExpressionParameterName(const std::string& name);
    JNIQelExpression* createQelExpressionNullValue();
    // A template in which each "%s" stands for the text of the next argument.
    JNIQelExpression* createQelExpression(const std::string& name,
                                          std::vector<JNIQelExpression*>* arguments);
    JNIQelExpression* createQelExpressionTuple(std::vector<JNIQelExpression*>* items);
    JNIQelExpression* createQelExpressionList(std::vector<JNIQelExpression*>* items);
    JNIQelExpression* createQelExpressionLambdaFunction(
        std::vector<JNIQelExpression::LambdaSignature*>* parameters, JNIQelExpression* body);
    JNIQelExpression* createQelExpressionConditional(
        std::vector<QelExpressionConditional::Clause*>* clauses, JNIQelExpression* otherwise);

  private:
    explicit JNIQelProgram(_jobject* program);

    // Java collections for the factories; empty for a null pointer.
    qeinteg::jni::LocalRef<jobject> typeMap(
        const std::map<std::string, JNIQelExpression::SimpleTypes>* types);
    qeinteg::jni::LocalRef<jobject> inputMap(const std::map<std::string, JNIQelFunction*>* inputs);
    template <typename W>
    qeinteg::jni::LocalRef<jobject> listOf(const std::vector<W*>* items);
    template <typename W>
    qeinteg::jni::LocalRef<jobjectArray> arrayOf(jclass elementClass, const std::vector<W*>* items);
};
