// A program's handle on one argument of a general function; it is only passed back into the
// program.
#pragma once

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT JNIQelFunctionParameter : public JNIQelAccessor {
  public:
    // Wraps the object by a global reference of its own, released with the wrapper.
    explicit JNIQelFunctionParameter(_jobject* object);
    ~JNIQelFunctionParameter() override;
};
