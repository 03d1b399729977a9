#include "qeinteg/platform/engine/tsdp/ImpactDiagram.h"

#include <cmath>

namespace qelocal {

namespace {

using Json = nlohmann::ordered_json;

Json Text(const std::string& text) {
    return Json{{"text", {{"text", {{"stringText", {{"value", text}}}}}}}};
}

Json FiniteOrNull(double value) {
    return std::isfinite(value) ? Json(value) : Json(nullptr);
}

// The lag whose coefficient is largest in size (the first of equals).
size_t DominantLag(const std::vector<double>& coefficients) {
    size_t best = 0;
    for (size_t l = 1; l < coefficients.size(); ++l) {
        if (std::fabs(coefficients[l]) > std::fabs(coefficients[best]))
            best = l;
    }
    return best;
}

}  // namespace

const char* ImpactDiagram::ArtifactName(Direction direction) {
    return direction == Direction::Causes ? "interpretation.ImpactDiagramCauses"
                                          : "interpretation.ImpactDiagramEffects";
}

ImpactDiagram::ImpactDiagram(const TcmArchive& archive)
    : archive_(archive), causes_(archive.series().size()), effects_(archive.series().size()) {
    const auto& series = archive.series();
    for (size_t s = 0; s < series.size(); ++s) {
        if (!series[s].target || !series[s].fitted)
            continue;
        for (const TcmArchive::Input& input : series[s].inputs) {
            if (input.series == s)
                continue;
            const Link link{input.series, s, &input};
            causes_[s].push_back(link);
            effects_[input.series].push_back(link);
        }
    }
}

Json ImpactDiagram::artifact(Direction direction, const std::vector<std::string>& targets,
                             int level) const {
    const bool causes = direction == Direction::Causes;
    const std::string artifactName = ArtifactName(direction);
    if (level < 1)
        throw EngineError(artifactName + ": the level must be at least 1");
    if (targets.empty())
        throw EngineError(artifactName + ": no target series given");
    const auto& series = archive_.series();
    Json diagrams = Json::array();
    Json rowGroups = Json::array();
    Json cells = Json::array();
    for (const std::string& name : targets) {
        const size_t target = archive_.find(name);
        if (target == TcmArchive::npos)
            throw EngineError(artifactName + ": the model has no series '" + name + "'",
                              "UNKNOWN_SERIES");
        // Breadth first from the target: each series appears at the depth where it is first met,
        // and every link from the series of one depth is listed at that depth.
        std::vector<int> depthOf(series.size(), -1);
        depthOf[target] = 0;
        std::vector<size_t> frontier{target};
        Json nodes = Json::array(
            {{{"series", series[target].id}, {"name", archive_.label(target)}, {"depth", 0}}});
        Json links = Json::array();
        Json rows = Json::array();
        for (int depth = 1; depth <= level && !frontier.empty(); ++depth) {
            std::vector<size_t> next;
            for (size_t node : frontier) {
                for (const Link& link : causes ? causes_[node] : effects_[node]) {
                    const size_t other = causes ? link.from : link.to;
                    if (depthOf[other] < 0) {
                        depthOf[other] = depth;
                        next.push_back(other);
                        nodes.push_back({{"series", series[other].id},
                                         {"name", archive_.label(other)},
                                         {"depth", depth}});
                    }
                    const std::vector<double>& coefficients = link.input->coefficients;
                    const size_t lag = DominantLag(coefficients);
                    Json lags = Json::array();
                    Json weights = Json::array();
                    for (size_t l = 0; l < coefficients.size(); ++l) {
                        lags.push_back(l + 1);
                        weights.push_back(FiniteOrNull(coefficients[l]));
                    }
                    const double coefficient = coefficients.empty() ? 0.0 : coefficients[lag];
                    links.push_back({{"from", series[link.from].id},
                                     {"to", series[link.to].id},
                                     {"depth", depth},
                                     {"lag", lag + 1},
                                     {"coefficient", FiniteOrNull(coefficient)},
                                     {"pValue", FiniteOrNull(link.input->pValue)},
                                     {"lags", std::move(lags)},
                                     {"coefficients", std::move(weights)}});
                    rows.push_back(
                        Text(archive_.label(link.from) + " -> " + archive_.label(link.to)));
                    for (double v : {static_cast<double>(depth), static_cast<double>(lag + 1),
                                     coefficient, link.input->pValue}) {
                        cells.push_back(std::isfinite(v) ? Json(v) : Json(""));
                    }
                }
            }
            frontier = std::move(next);
        }
        if (rows.empty()) {
            rows.push_back(Text(causes ? "no causes" : "no effects"));
            for (int i = 0; i < 4; ++i)
                cells.push_back("");
        }
        Json group = Text(archive_.label(target));
        group["children"] = std::move(rows);
        rowGroups.push_back(std::move(group));
        diagrams.push_back({{"target", series[target].id},
                            {"name", archive_.label(target)},
                            {"level", level},
                            {"nodes", std::move(nodes)},
                            {"links", std::move(links)}});
    }
    Json linkDimension = Text("Link");
    linkDimension["children"] = std::move(rowGroups);
    Json statistics = Text("Statistic");
    statistics["role"] = "column";
    statistics["children"] =
        Json::array({Text("Depth"), Text("Lag"), Text("Coefficient"), Text("Significance")});
    Json title = Text(causes ? "Impact Diagram: Causes" : "Impact Diagram: Effects");
    title["show"] = true;
    Json table{{"tableId", causes ? "impactDiagramCauses" : "impactDiagramEffects"},
               {"title", std::move(title)},
               {"dimensions", Json::array({std::move(linkDimension), std::move(statistics)})},
               {"cells", Json::array({{{"cells", {{"compactCells", {{"value", cells}}}}}}})},
               {"formats", Json::array({{{"index", "*0"}, {"format", {{"decimals", 0}}}},
                                        {{"index", "*1"}, {"format", {{"decimals", 0}}}},
                                        {{"index", "*2"}, {"format", {{"decimals", 4}}}},
                                        {{"index", "*3"}, {"format", {{"decimals", 4}}}}})}};
    return Json{{"diagrams", std::move(diagrams)}, {"table", std::move(table)}};
}

}  // namespace qelocal
