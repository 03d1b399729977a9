// The parts of a conditional expression (JNIQelProgram::createQelExpressionConditional).
#pragma once

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/qeinteg_export.h"

class JNIQelExpression;

class QEINTEG_EXPORT QelExpressionConditional {
  public:
    // One condition and the value it selects. Made and deleted by the caller; it does not own the
    // expressions.
    class QEINTEG_EXPORT Clause : public JNIQelAccessor {
      public:
        Clause(JNIQelExpression* condition, JNIQelExpression* value);
        ~Clause() override;

        JNIQelExpression* getCondition() const { return condition_; }
        JNIQelExpression* getValue() const { return value_; }

      private:
        JNIQelExpression* condition_;
        JNIQelExpression* value_;
    };

    QelExpressionConditional() = delete;
};
