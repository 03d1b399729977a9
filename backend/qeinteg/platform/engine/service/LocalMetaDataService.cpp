#include "qeinteg/platform/engine/service/LocalMetaDataService.h"

namespace qelocal {

std::string LocalMetaDataService::metadata(JNIEnv*, const std::string&, int64_t&, int,
                                           EmbeddedQE::Container*) {
    return {};
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
