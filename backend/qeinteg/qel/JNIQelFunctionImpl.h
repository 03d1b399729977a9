// A function as the program's renderer sees it: its configuration and its call as job text.
#pragma once

#include <string>

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/JNIQelFunction.h"

class JNIQelFragment;

class QEINTEG_EXPORT JNIQelFunctionImpl : public JNIQelFunction {
  public:
    explicit JNIQelFunctionImpl(_jobject* function);
    ~JNIQelFunctionImpl() override;

    // The configuration as JSON text; empty when the function has none.
    std::string generateConfiguration();
    // The text that calls the function inside the fragment.
    std::string generateInvocation(JNIQelFragment* fragment);
};
