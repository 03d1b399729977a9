// Makes the parameters of general functions (JNIQelProgram::createQelFunctionGeneral). The flag
// of each factory says whether the argument is bound to a value in the job text and named in the
// call (true) or written into the call.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/qeinteg_export.h"

class JNIJSONObject;
class JNIQelContainer;
class JNIQelExpression;
class JNIQelFunction;
class JNIQelFunctionParameter;

class QEINTEG_EXPORT JNIQelFunctionParameterFactory : public JNIQelAccessor {
  public:
    JNIQelFunctionParameterFactory();
    ~JNIQelFunctionParameterFactory() override;

    // Each returns a new parameter registered for clean-up (a wrapper without object on failure).
    JNIQelFunctionParameter* createJson(JNIJSONObject* json, bool flag);
    JNIQelFunctionParameter* createInput(JNIQelFunction* function);
    JNIQelFunctionParameter* createExpression(JNIQelExpression* expression, bool flag);
    JNIQelFunctionParameter* createRaw(const std::string& text, bool flag);
    // Entries with a null function are left out.
    JNIQelFunctionParameter* createInputs(std::map<std::string, JNIQelFunction*>* inputs,
                                          bool flag);
    JNIQelFunctionParameter* createContainers(std::vector<JNIQelContainer*>* containers, bool flag);
};
