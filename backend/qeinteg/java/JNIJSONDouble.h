// Reads a number node as a double.
#pragma once

#include <jni.h>

#include "qeinteg/java/JNIJSONArtifact.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT JNIJSONDouble : public JNIJSONArtifact {
  public:
    JNIJSONDouble();
    ~JNIJSONDouble() override;

    // Any number node (Integer, Long, Double) as a double; 0 for a null handle or a node that is
    // not a number.
    double doubleValue(jobject node);
};
