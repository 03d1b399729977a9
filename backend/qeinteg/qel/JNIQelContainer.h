// A program's handle on a container handed to a function (id, location, export flag); it is only
// passed back into the program.
#pragma once

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT JNIQelContainer : public JNIQelAccessor {
  public:
    // Wraps the object by a global reference of its own, released with the wrapper.
    explicit JNIQelContainer(_jobject* object);
    ~JNIQelContainer() override;
};
