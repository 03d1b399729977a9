// The local engine's metadata service.
//
// A reply scripted on LocalEngine (scriptMetadata) answers first, or throws its failure. Otherwise
// coordinate systems come from PROJ's database and map-service layers from the service itself
// (geo/GeoMetadata.h); metadata and dataSourceInfo answer empty. Every call is recorded, and the
// reason of an empty answer is recorded as a "metadataMessage".
#pragma once

#include "qeinteg/platform/engine/service/EmbeddedQE.h"

namespace qelocal {

class LocalMetaDataService final : public EmbeddedQE::QEMetaDataService {
  public:
    std::string metadata(JNIEnv* env, const std::string& jobText, int64_t& reserved, int flags,
                         EmbeddedQE::Container* container) override;
    std::string dataSourceInfo(JNIEnv* env, const std::string& jobText) override;
    std::string mapServiceLayers(JNIEnv* env, const std::string& url) override;
    void geographics(JNIEnv* env, std::vector<std::string>& out) override;
    void projections(JNIEnv* env, std::vector<std::string>& out) override;
    void recommendPCS(JNIEnv* env, const std::string& input, int count,
                      std::vector<std::string>& out) override;
    void recommendPCS(JNIEnv* env, const std::string& input,
                      std::vector<std::string>& out) override;
    std::string coordinatesSystem(JNIEnv* env, const std::string& name) override;
    std::string coordinatesSystem(JNIEnv* env, int wkid) override;
};

}  // namespace qelocal
