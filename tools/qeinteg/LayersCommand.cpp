#include "LayersCommand.h"

#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandLine.h"
#include "GeoCommandSupport.h"
#include "qeinteg/runner/QERunner.h"

int RunLayersCommand(int argc, char** argv) {
    qecli::CommandLine cli("layers", "URL [--json]",
                           "list the layers of a map service (OGC API - Features, or an "
                           "ArcGIS-style REST feature or map service)");
    bool json = false;
    std::vector<std::string> urls;
    cli.Flag("--json", json, "print one JSON document instead of text");
    cli.Positionals(urls, 1, 1);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    const std::string& url = urls[0];
    if (url.empty())
        return cli.UsageError("the URL is empty");
    GeoCommandSession session;
    if (!session.started())
        return qecli::kExitFailure;
    QERunner runner(nullptr);
    std::string reply;
    std::vector<QERunner::LayerInfo> layers;
    if (!runner.getMapServiceLayers(url, reply) ||
        !QERunner::ParseMapServiceLayers(reply, layers)) {
        return cli.Failure(url, EngineReason("mapServiceLayers", "the service lists no layers"));
    }
    if (json) {
        using Json = nlohmann::ordered_json;
        Json list = Json::array();
        for (const QERunner::LayerInfo& layer : layers) {
            list.push_back({{"id", layer.id},
                            {"name", layer.name},
                            {"features", layer.features},
                            {"keys", layer.keys},
                            {"description", layer.description},
                            {"subLayers", layer.subLayers}});
        }
        Json out = Json::object();
        out["url"] = url;
        out["layers"] = std::move(list);
        std::printf("%s\n", out.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
        return qecli::kExitOk;
    }
    std::printf("%-5s %-24s %-10s %s\n", "id", "name", "features", "keys / sub-layers");
    for (const QERunner::LayerInfo& layer : layers) {
        std::string detail = layer.keys;
        if (!layer.subLayers.empty()) {
            detail = "group of";
            for (const int32_t id : layer.subLayers)
                detail += " " + std::to_string(id);
        }
        std::printf("%-5d %-24s %-10s %s\n", layer.id, layer.name.c_str(),
                    layer.features.empty() ? "-" : layer.features.c_str(), detail.c_str());
    }
    return qecli::kExitOk;
}
