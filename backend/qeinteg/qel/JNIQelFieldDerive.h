// A program's handle on the derivation of one field from an expression; it is only passed back into
// the program.
#pragma once

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT JNIQelFieldDerive : public JNIQelAccessor {
  public:
    // Wraps the object by a global reference of its own, released with the wrapper.
    explicit JNIQelFieldDerive(_jobject* object);
    ~JNIQelFieldDerive() override;
};
