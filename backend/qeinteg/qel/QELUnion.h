// Builds the "union" function, which stacks the records of its tagged inputs.
#pragma once

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/QELFunction.h"

class QEINTEG_EXPORT QELUnion : public QELFunction {
  public:
    explicit QELUnion(JNIQelProgram* program);
    ~QELUnion() override;

    // Fields are matched by position instead of by name.
    void SetMatchByPosition(bool byPosition);
    // Field names are matched case-sensitively.
    void SetMatchCase(bool matchCase);

  protected:
    // Completes the input tags and generates every input first.
    Inputs InputKind() const override { return Inputs::Tagged; }
    JNIQelFunction* CreateFunction(JNIQelProgram& program, JNIQelFunction* input) override;

  private:
    bool matchByPosition_ = false;
    bool matchCase_ = false;
};
