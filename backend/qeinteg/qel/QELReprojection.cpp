#include "qeinteg/qel/QELReprojection.h"

#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/qel/JNIQelProgram.h"

QELReprojection::QELReprojection(JNIQelProgram* program) : QELFunction(program) {
    SetFunctionType(Reprojection);
}

QELReprojection::~QELReprojection() = default;

void QELReprojection::SetOriCoorSystem(int wkid) {
    originWkid_ = wkid;
}

void QELReprojection::SetOriCoorSystem(const std::string& name) {
    originSystem_ = name;
}

void QELReprojection::SetDesCoorSystem(int wkid) {
    destinationWkid_ = wkid;
}

void QELReprojection::SetDesCoorSystem(const std::string& name) {
    destinationSystem_ = name;
}

void QELReprojection::SetTransMethodsName(const std::string& name) {
    transMethodsName_ = name;
}

void QELReprojection::SetProjectionFieldName(const std::string& name) {
    projectionFieldName_ = name;
}

JNIQelFunction* QELReprojection::CreateFunction(JNIQelProgram& program, JNIQelFunction* input) {
    JNIJSONObject field;
    if (!projectionFieldName_.empty())
        field.put("name", projectionFieldName_);
    if (!originSystem_.empty() || originWkid_ != -1) {
        JNIJSONObject inSR;
        if (!originSystem_.empty())
            inSR.put("csName", originSystem_);
        if (originWkid_ != -1)
            inSR.put("wkid", originWkid_);
        field.put("inSR", &inSR);
    }
    if (!destinationSystem_.empty() || destinationWkid_ != -1) {
        JNIJSONObject outSR;
        if (!destinationSystem_.empty())
            outSR.put("csName", destinationSystem_);
        if (destinationWkid_ != -1)
            outSR.put("wkid", destinationWkid_);
        if (!transMethodsName_.empty())
            outSR.put("transMethodsName", transMethodsName_);
        field.put("outSR", &outSR);
    }
    JNIJSONArray fields;
    fields.add(&field);
    JNIJSONObject config;
    config.put("type", projectionFieldName_.empty() ? "all" : "part");
    config.put("reprojectionFields", &fields);

    return CreateWithInput(program, "reprojection", &config, input);
}
