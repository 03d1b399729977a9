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

bool QELExpressionFun::GenerateQEL() {
    JNIQelProgram* program = GetProgram();
    if (program == nullptr || expression_ == nullptr)
        return false;
    if (IsCreatedQel())
        return true;
    if (GetPredecessors().empty())
        return false;
    GenerationGuard guard(*this);
    if (!guard)
        return false;
    JNIQelFunction* input = GenerateFirstInput();
    // These functions take no configuration; a typed null picks the overload.
    JNIJSONObject* noConfig = nullptr;

    JNIQelFunction* created = nullptr;
    switch (GetFunctionType()) {
        case DeriveField:
            created = program->createQelFunctionDeriveFields(
                program->createQelFieldDerive(fieldName_, expression_), input);
            break;
        case ReclassifyField:
            created = program->createQelFunction(
                "reclassifyField", noConfig, program->createQelFieldDerive(fieldName_, expression_),
                input);
            break;
        case FilterRecords:
            created = program->createQelFunctionFilterRecords(expression_, input);
            break;
        case BalanceRecords:
            created = program->createQelFunction("balanceRecords", noConfig, expression_, input);
            break;
        default:
            return false;
    }
    return StoreFunction(created);
}
