#include "qeinteg/qel/QELDataModelBuilder.h"

#include <vector>

#include "qeinteg/data/QEStatContainer.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/qel/JNIQelProgram.h"

QELDataModelBuilder::QELDataModelBuilder(JNIQelProgram* program) : QELFunction(program) {
    SetFunctionType(DataModelBuilder);
}

QELDataModelBuilder::~QELDataModelBuilder() = default;

void QELDataModelBuilder::SetOutputContainer(const std::string& name, const std::string& uri) {
    containerName_ = name;
    containerUri_ = uri;
}

void QELDataModelBuilder::SetOutputContainer(const QEStatContainer& container) {
    // The engine's container interface declares its getters non-const; reading them changes
    // nothing.
    auto& readable = const_cast<QEStatContainer&>(container);
    containerName_ = readable.getName();
    containerUri_ = NormalizeQelPath(readable.getAbsolutePath(), "file");
}

void QELDataModelBuilder::SetNormalizeDataModel(bool normalize) {
    normalizeDataModel_ = normalize;
}

JNIQelFunction* QELDataModelBuilder::CreateFunction(JNIQelProgram& program, JNIQelFunction* input) {
    JNIJSONObject exportSettings;
    exportSettings.put("export", true);
    exportSettings.put("name", containerName_);
    exportSettings.put("uri", containerUri_);
    JNIJSONObject normalize;
    normalize.put("normalizeDataModel", true);
    // The first element is JSON null when the data model is taken as it is.
    std::vector<JNIJSONObject*> configs{normalizeDataModel_ ? &normalize : nullptr,
                                        &exportSettings};
    return program.createQelFunction("dataModelBuilder", &configs, input);
}
