#include "qeinteg/qel/QELFunWrapper.h"

QELFunWrapper::QELFunWrapper(JNIQelProgram* program) : QELFunction(program) {}

QELFunWrapper::~QELFunWrapper() = default;

void QELFunWrapper::SetQEFunction(JNIQelFunction* function) {
    SetFunction(function);
}

bool QELFunWrapper::GenerateQEL() {
    return true;
}
