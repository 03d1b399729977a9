#include "qeinteg/qel/QELFilterFields.h"

#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/qel/JNIQelProgram.h"

QELFilterFields::QELFilterFields(JNIQelProgram* program) : QELFunction(program) {
    SetFunctionType(FilterFields);
}

QELFilterFields::~QELFilterFields() = default;

void QELFilterFields::KeepFieldNames(const std::string& name) {
    fieldNames_.push_back(name);
}

void QELFilterFields::KeepFieldNames(const std::vector<std::string>& names) {
    fieldNames_.insert(fieldNames_.end(), names.begin(), names.end());
}

bool QELFilterFields::GenerateQEL() {
    if (GetProgram() == nullptr)
        return false;
    if (IsCreatedQel())
        return true;
    GenerationGuard guard(*this);
    if (!guard)
        return false;
    const bool hasInput = !GetPredecessors().empty();
    JNIQelFunction* input = GenerateFirstInput();

    JNIJSONArray fields(static_cast<int>(fieldNames_.size()));
    for (const std::string& name : fieldNames_)
        fields.add(name);
    JNIJSONObject config;
    config.put("fields", &fields);

    JNIQelProgram* program = GetProgram();
    return StoreFunction(hasInput ? program->createQelFunction("filterFields", &config, input)
                                  : program->createQelFunction("filterFields", &config));
}
