// Reads a boolean node.
#pragma once

#include <jni.h>

#include "qeinteg/java/JNIJSONArtifact.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT JNIJSONBoolean : public JNIJSONArtifact {
  public:
    JNIJSONBoolean();
    ~JNIJSONBoolean() override;

    // The value of a boolean node; false for a null handle or a node that is not a boolean.
    bool booleanValue(jobject node);
};
