// Builds the "dataModelBuilder" function, which derives the data model of the records of its one
// input and exports it to an output container (a file the job writes).
#pragma once

#include <string>

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/QELFunction.h"

class QEStatContainer;

class QEINTEG_EXPORT QELDataModelBuilder : public QELFunction {
  public:
    explicit QELDataModelBuilder(JNIQelProgram* program);
    ~QELDataModelBuilder() override;

    // The container the data model is exported to: its name and its URI in the engine's form.
    void SetOutputContainer(const std::string& name, const std::string& uri);
    void SetOutputContainer(const QEStatContainer& container);
    void SetNormalizeDataModel(bool normalize);

  protected:
    JNIQelFunction* CreateFunction(JNIQelProgram& program, JNIQelFunction* input) override;

  private:
    std::string containerName_;
    std::string containerUri_;
    bool normalizeDataModel_ = false;
};
