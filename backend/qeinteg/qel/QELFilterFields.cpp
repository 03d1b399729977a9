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

JNIQelFunction* QELFilterFields::CreateFunction(JNIQelProgram& program, JNIQelFunction* input) {
    JNIJSONArray fields(static_cast<int>(fieldNames_.size()));
    for (const std::string& name : fieldNames_)
        fields.add(name);
    JNIJSONObject config;
    config.put("fields", &fields);
    return CreateWithInput(program, "filterFields", &config, input);
}
