// Builds the "reprojection" function, which converts the geometry of the records of its one input
// from one coordinate system to another. Each system may be given by well-known id, by name or
// both; -1 and an empty name mean "not given".
#pragma once

#include <string>

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/QELFunction.h"

class QEINTEG_EXPORT QELReprojection : public QELFunction {
  public:
    explicit QELReprojection(JNIQelProgram* program);
    ~QELReprojection() override;

    void SetOriCoorSystem(int wkid);
    void SetOriCoorSystem(const std::string& name);
    void SetDesCoorSystem(int wkid);
    void SetDesCoorSystem(const std::string& name);
    // Datum transformation method; written only together with a destination system.
    void SetTransMethodsName(const std::string& name);
    // The geometry field to convert; empty converts all geometry.
    void SetProjectionFieldName(const std::string& name);

  protected:
    JNIQelFunction* CreateFunction(JNIQelProgram& program, JNIQelFunction* input) override;

  private:
    int originWkid_ = -1;
    int destinationWkid_ = -1;
    std::string originSystem_;
    std::string destinationSystem_;
    std::string transMethodsName_;
    std::string projectionFieldName_;
};
