// Impact diagrams of a temporal causal model (docs/tcm.md): for chosen series, the series that
// drive them (causes) or that they drive (effects), to a given depth, with lags, coefficients and
// significance, as a document the output renderer shows as tables.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/tsdp/TcmArchive.h"

namespace qelocal {

class ImpactDiagram final {
  public:
    enum class Direction { Causes, Effects };
    // Artifact names of the output settings: "interpretation.ImpactDiagramCauses" and
    // "interpretation.ImpactDiagramEffects".
    static const char* ArtifactName(Direction direction);

    explicit ImpactDiagram(const TcmArchive& archive);

    // The diagrams of `targets` (series identifiers or labels) to depth `level` (at least 1), with
    // the table that shows them. Throws EngineError for an unknown series or a level below 1.
    nlohmann::ordered_json artifact(Direction direction, const std::vector<std::string>& targets,
                                    int level) const;

  private:
    struct Link {
        size_t from = 0;  // the driving series
        size_t to = 0;    // the driven series
        const TcmArchive::Input* input = nullptr;
    };
    const TcmArchive& archive_;
    // Per series, the links that drive it and the links it drives (self-lags left out).
    std::vector<std::vector<Link>> causes_;
    std::vector<std::vector<Link>> effects_;
};

}  // namespace qelocal
