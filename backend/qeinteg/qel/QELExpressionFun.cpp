#include "qeinteg/qel/QELExpressionFun.h"

#include "qeinteg/qel/JNIQelProgram.h"

QELExpressionFun::QELExpressionFun(JNIQelProgram* program) : QELFunction(program) {}

QELExpressionFun::~QELExpressionFun() = default;

void QELExpressionFun::SetDeriveField(const std::string& field, JNIQelExpression* expression) {
    if (expression == nullptr)
        return;
    fieldName_ = field;
    expression_ = expression;
    SetFunctionType(DeriveField);
}

void QELExpressionFun::SetReclassifyField(const std::string& field, JNIQelExpression* expression) {
    if (expression == nullptr)
        return;
    fieldName_ = field;
    expression_ = expression;
    SetFunctionType(ReclassifyField);
}

void QELExpressionFun::SetFilterRecords(JNIQelExpression* condition) {
    if (condition == nullptr)
        return;
    expression_ = condition;
    SetFunctionType(FilterRecords);
}

void QELExpressionFun::SetBalanceRecords(JNIQelExpression* expression) {
    if (expression == nullptr)
        return;
    expression_ = expression;
    SetFunctionType(BalanceRecords);
}

bool QELExpressionFun::CanGenerate() const {
    return expression_ != nullptr && HasPredecessors();
}

JNIQelFunction* QELExpressionFun::CreateFunction(JNIQelProgram& program, JNIQelFunction* input) {
    // These functions take no configuration; a typed null picks the overload.
    JNIJSONObject* noConfig = nullptr;
    switch (GetFunctionType()) {
        case DeriveField:
            return program.createQelFunctionDeriveFields(
                program.createQelFieldDerive(fieldName_, expression_), input);
        case ReclassifyField:
            return program.createQelFunction("reclassifyField", noConfig,
                                             program.createQelFieldDerive(fieldName_, expression_),
                                             input);
        case FilterRecords:
            return program.createQelFunctionFilterRecords(expression_, input);
        case BalanceRecords:
            return program.createQelFunction("balanceRecords", noConfig, expression_, input);
        default:
            return nullptr;
    }
}
