// Builds the "filterFields" function, which keeps the named fields of its one input.
#pragma once

#include <string>
#include <vector>

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/QELFunction.h"

class QEINTEG_EXPORT QELFilterFields : public QELFunction {
  public:
    explicit QELFilterFields(JNIQelProgram* program);
    ~QELFilterFields() override;

    void KeepFieldNames(const std::string& name);
    void KeepFieldNames(const std::vector<std::string>& names);

  protected:
    JNIQelFunction* CreateFunction(JNIQelProgram& program, JNIQelFunction* input) override;

  private:
    std::vector<std::string> fieldNames_;
};
