// One input of a function as the program reports it: the function read and its tag. Both are
// fetched from Java on first use and kept.
#pragma once

#include <string>

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/qeinteg_export.h"

class JNIQelFunctionImpl;

class QEINTEG_EXPORT JNITaggedFunctionInput : public JNIQelAccessor {
  public:
    explicit JNITaggedFunctionInput(_jobject* input);
    ~JNITaggedFunctionInput() override;

    // The input's function; the wrapper is made once (registered for clean-up) and reused.
    JNIQelFunctionImpl& getFunction();
    // The tag; "" for an untagged input (asked again on each call while it is empty).
    std::string getTag();

  private:
    JNIQelFunctionImpl* function_ = nullptr;
    std::string tag_;
};
