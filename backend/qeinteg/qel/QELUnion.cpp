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

bool QELUnion::GenerateQEL() {
    if (GetProgram() == nullptr)
        return false;
    if (IsCreatedQel())
        return true;
    GenerationGuard guard(*this);
    if (!guard)
        return false;
    GenerateAllInputs();

    JNIJSONObject config;
    config.put("matchByPosition", matchByPosition_);
    config.put("matchCase", matchCase_);

    JNIQelProgram* program = GetProgram();
    if (GetPredecessors().empty())
        return StoreFunction(program->createQelFunction("union", &config));
    CompleteTags("str");
    std::map<std::string, JNIQelFunction*> inputs = TaggedInputs();
    return StoreFunction(program->createQelFunction("union", &config, &inputs));
}
