// Lets a function that already exists in the program take part as a predecessor of builders.
#pragma once

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/QELFunction.h"

class QEINTEG_EXPORT QELFunWrapper : public QELFunction {
  public:
    explicit QELFunWrapper(JNIQelProgram* program);
    ~QELFunWrapper() override;

    // Stores an existing function (not owned); successors read it as their input.
    void SetQEFunction(JNIQelFunction* function);
    // Creates nothing; always true. Without a stored function successors get a null input.
    bool GenerateQEL() override;
};
