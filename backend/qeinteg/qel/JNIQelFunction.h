// A function of a job program: its kind ("read", "join", ...) and its identifier.
#pragma once

#include <string>

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT JNIQelFunction : public JNIQelAccessor {
  public:
    // Wraps a function object by a global reference of its own, released with the wrapper; the
    // caller keeps its own reference. A null object gives a wrapper without object.
    explicit JNIQelFunction(_jobject* function);
    ~JNIQelFunction() override;

    std::string getName();
    std::string getId();

  protected:
    JNIQelFunction(_jobject* function, const char* className);
};
