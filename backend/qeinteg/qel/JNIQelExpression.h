// An expression of a job program (a filter condition, a derived field's formula, ...). Made by
// the program's createQelExpression... factories; its text comes from generate().
#pragma once

#include <jni.h>

#include <string>

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/qeinteg_export.h"

class JNIQelType;

class QEINTEG_EXPORT JNIQelExpression : public JNIQelAccessor {
  public:
    enum SimpleTypes { Any = 0, Number, String, Int, Real, Char, Bool, Time, Date, Timestamp };

    // A lambda parameter: its name and optional type. Made and deleted by the caller; it does not
    // own the type, which must live as long as the signature is used.
    class QEINTEG_EXPORT LambdaSignature : public JNIQelAccessor {
      public:
        LambdaSignature(const std::string& name, JNIQelType* type);
        ~LambdaSignature() override;

        const std::string& getParameterName() const { return name_; }
        JNIQelType* getParameterType() const { return type_; }

      private:
        std::string name_;
        JNIQelType* type_;
    };

    // Wraps an expression object by a global reference of its own, released with the wrapper.
    explicit JNIQelExpression(_jobject* expression);
    ~JNIQelExpression() override;

    std::string generate();

    // A new local reference to the Java constant of the type; values outside the enumeration
    // give Any. Null before the Java classes have been resolved.
    static jobject newObject(JNIEnv_* env, SimpleTypes type);
};
