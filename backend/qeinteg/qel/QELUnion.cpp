#include "qeinteg/qel/QELUnion.h"

#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/qel/JNIQelProgram.h"

QELUnion::QELUnion(JNIQelProgram* program) : QELFunction(program) {
    SetFunctionType(Union);
}

QELUnion::~QELUnion() = default;

void QELUnion::SetMatchByPosition(bool byPosition) {
    matchByPosition_ = byPosition;
}

void QELUnion::SetMatchCase(bool matchCase) {
    matchCase_ = matchCase;
}

JNIQelFunction* QELUnion::CreateFunction(JNIQelProgram& program, JNIQelFunction* /*input*/) {
    JNIJSONObject config;
    config.put("matchByPosition", matchByPosition_);
    config.put("matchCase", matchCase_);
    if (!HasPredecessors())
        return program.createQelFunction("union", &config);
    std::map<std::string, JNIQelFunction*> inputs = TaggedInputs();
    return program.createQelFunction("union", &config, &inputs);
}
