// Builds a function driven by an expression over the records of its one input: derive a field,
// reclassify a field, filter records or balance records. The last setter called decides which;
// a setter given a null expression changes nothing. The expression is not owned.
#pragma once

#include <string>

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/QELFunction.h"

class JNIQelExpression;

class QEINTEG_EXPORT QELExpressionFun : public QELFunction {
  public:
    explicit QELExpressionFun(JNIQelProgram* program);
    ~QELExpressionFun() override;

    // A new field computed by the expression.
    void SetDeriveField(const std::string& field, JNIQelExpression* expression);
    // An existing field replaced by the value of the expression.
    void SetReclassifyField(const std::string& field, JNIQelExpression* expression);
    // Keeps the records for which the condition holds.
    void SetFilterRecords(JNIQelExpression* condition);
    void SetBalanceRecords(JNIQelExpression* expression);

  protected:
    // False without an expression, an operation or a predecessor.
    bool CanGenerate() const override;
    JNIQelFunction* CreateFunction(JNIQelProgram& program, JNIQelFunction* input) override;

  private:
    std::string fieldName_;
    JNIQelExpression* expression_ = nullptr;
};
