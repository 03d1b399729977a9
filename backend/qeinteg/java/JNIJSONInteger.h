// Reads a number node as a 32-bit integer.
#pragma once

#include <jni.h>

#include "qeinteg/java/JNIJSONArtifact.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT JNIJSONInteger : public JNIJSONArtifact {
  public:
    JNIJSONInteger();
    ~JNIJSONInteger() override;

    // Any number node (Integer, Long, Double) read as Java's Number.intValue() does; 0 for a null
    // handle or a node that is not a number.
    int intValue(jobject node);
};
