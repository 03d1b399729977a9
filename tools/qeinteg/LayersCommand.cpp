#include "LayersCommand.h"

#include <cstdio>
#include <string>
#include <vector>

#include "GeoCommandSupport.h"
#include "qeinteg/runner/QERunner.h"

namespace {

void Usage(FILE* out) {
    std::fputs(
        "usage: qeinteg layers URL\n"
        "  lists the layers of a map service: an OGC API - Features landing page or an\n"
        "  ArcGIS-style REST feature or map service\n",
        out);
}

}  // namespace

int RunLayersCommand(int argc, char** argv) {
    std::string url;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return 0;
        }
        if (!url.empty() || arg.empty() || arg[0] == '-') {
            std::fprintf(stderr, "qeinteg layers: unexpected argument '%s'\n", arg.c_str());
            return 2;
        }
        url = arg;
    }
    if (url.empty()) {
        std::fprintf(stderr, "qeinteg layers: give the URL of a map service\n");
        return 2;
    }
    GeoCommandSession session;
    if (!session.started())
        return 1;
    QERunner runner(nullptr);
    std::string reply;
    std::vector<QERunner::LayerInfo> layers;
    if (!runner.getMapServiceLayers(url, reply) ||
        !QERunner::ParseMapServiceLayers(reply, layers)) {
        std::fprintf(stderr, "qeinteg layers: %s\n",
                     EngineReason("mapServiceLayers", "no layers from " + url).c_str());
        return 1;
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
    return 0;
}
