// A fragment of a job program: a pipeline of functions written as one piece of job text.
#pragma once

#include <set>
#include <string>

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/qeinteg_export.h"

class JNIQelFunction;

class QEINTEG_EXPORT JNIQelFragment : public JNIQelAccessor {
  public:
    // Wraps a fragment object by a global reference of its own, released with the wrapper.
    explicit JNIQelFragment(_jobject* fragment);
    ~JNIQelFragment() override;

    std::string getId();
    std::string toQELText();
    bool containsFunction(JNIQelFunction* function);
    std::set<std::string> getPredecessorFragmentIds();
};
