#include "qeinteg/platform/engine/LocalMetaDataService.h"

#include <fstream>
#include <sstream>

#include "qeinteg/platform/engine/EngineTypes.h"
#include "qeinteg/platform/engine/LocalJob.h"

namespace qelocal {

std::string LocalMetaDataService::metadata(JNIEnv*, const std::string& jobText, int64_t&, int,
                                           EmbeddedQE::Container* container) {
    // The job ends in dataModelBuilder, which exports the data model into `container`.
    try {
        std::vector<EmbeddedQE::Container*> outputs;
        if (container != nullptr)
            outputs.push_back(container);
        RunLocalJob(jobText, outputs);
    } catch (const EngineError& e) {
        throw EmbeddedQE::Exception(e.what());
    } catch (const EngineCancelled&) {
        throw EmbeddedQE::Exception("the metadata job was cancelled");
    }
    if (container == nullptr)
        return {};
    std::ifstream in(container->getAbsolutePath(), std::ios::binary);
    if (!in)
        throw EmbeddedQE::Exception("the metadata job exported no data model to " +
                                    container->getAbsolutePath());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
std::string LocalMetaDataService::dataSourceInfo(JNIEnv*, const std::string&) {
    return {};
}
std::string LocalMetaDataService::mapServiceLayers(JNIEnv*, const std::string&) {
    return {};
}
void LocalMetaDataService::geographics(JNIEnv*, std::vector<std::string>& out) {
    out.clear();
}
void LocalMetaDataService::projections(JNIEnv*, std::vector<std::string>& out) {
    out.clear();
}
void LocalMetaDataService::recommendPCS(JNIEnv*, const std::string&, int,
                                        std::vector<std::string>& out) {
    out.clear();
}
void LocalMetaDataService::recommendPCS(JNIEnv*, const std::string&,
                                        std::vector<std::string>& out) {
    out.clear();
}
std::string LocalMetaDataService::coordinatesSystem(JNIEnv*, const std::string&) {
    return {};
}
std::string LocalMetaDataService::coordinatesSystem(JNIEnv*, int) {
    return {};
}

}  // namespace qelocal
