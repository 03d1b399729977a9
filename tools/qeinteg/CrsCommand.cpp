#include "CrsCommand.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "GeoCommandSupport.h"
#include "qeinteg/runner/QERunner.h"

namespace {

void Usage(FILE* out) {
    std::fputs(
        "usage: qeinteg crs WKID|NAME\n"
        "       qeinteg crs --recommend MINLON,MINLAT,MAXLON,MAXLAT [--count N]\n"
        "  WKID|NAME    a well-known id (4326), a name (\"WGS 84\") or AUTHORITY:CODE; prints\n"
        "               its name, kind and definition (ESRI WKT)\n"
        "  --recommend  projected systems whose area of use holds the extent (WGS 84\n"
        "               degrees), best first\n"
        "  --count N    at most N of them (default 10)\n",
        out);
}

int BadInput(const std::string& text) {
    std::fprintf(stderr, "qeinteg crs: %s\n", text.c_str());
    return 2;
}

template <typename T>
bool ParseWhole(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && stop == end;
}

bool ParseExtent(const std::string& text, double (&values)[4]) {
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t comma = text.find(',', start);
        if ((i < 3) == (comma == std::string::npos))
            return false;
        const std::string part =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!ParseWhole(part, values[i]) || !std::isfinite(values[i]))
            return false;
        start = comma + 1;
    }
    return true;
}

int Describe(const std::string& what) {
    GeoCommandSession session;
    if (!session.started())
        return 1;
    QERunner runner(nullptr);
    int wkid = 0;
    const bool byId = ParseWhole(what, wkid);
    const std::string reply =
        byId ? runner.getCoordinatesSystemInfo(wkid) : runner.getCoordinatesSystemInfo(what);
    std::string name, wkt;
    QERunner::CSTYPE type = QERunner::CSUnknown;
    if (!QERunner::ParseCoordinatesSystemInfo(reply, wkid, name, wkt, type)) {
        std::fprintf(
            stderr, "qeinteg crs: %s\n",
            EngineReason("coordinatesSystem", "unknown coordinate system " + what).c_str());
        return 1;
    }
    std::printf("name  %s\n", name.c_str());
    std::printf("kind  %s\n", type == QERunner::CSProjected    ? "projected"
                              : type == QERunner::CSGeographic ? "geographic"
                                                               : "unknown");
    std::printf("wkid  %d\n", wkid);
    std::printf("wkt   %s\n", wkt.c_str());
    return 0;
}

int Recommend(const double (&extent)[4], int count) {
    GeoCommandSession session;
    if (!session.started())
        return 1;
    QERunner runner(nullptr);
    QERunner::RecommendPCSInputMaker input;
    input.addInput(0, extent[0], extent[3], extent[2], extent[1]);
    std::vector<std::string> replies;
    runner.getRecommendPCSs(replies, input.toString(), count);
    int key = 0;
    std::vector<QERunner::RecommendPCS> systems;
    if (replies.empty() || !QERunner::ParseRecommendPCS(replies[0], key, systems)) {
        std::fprintf(stderr, "qeinteg crs: %s\n",
                     EngineReason("recommendPCS", "no recommendation for this extent").c_str());
        return 1;
    }
    if (systems.empty()) {
        std::fprintf(stderr, "qeinteg crs: no projected system covers this extent\n");
        return 1;
    }
    std::printf("%-7s %-48s %s\n", "wkid", "name", "transformations from WGS 84");
    for (const QERunner::RecommendPCS& pcs : systems) {
        std::string methods;
        for (size_t i = 0; i < pcs.transMethods.size(); ++i) {
            if (!methods.empty())
                methods += "; ";
            methods += pcs.transMethods[i] + (pcs.transForward[i] ? "" : " (reverse)");
        }
        std::printf("%-7d %-48s %s\n", pcs.wkid, pcs.name.c_str(),
                    methods.empty() ? "none needed" : methods.c_str());
    }
    return 0;
}

}  // namespace

int RunCrsCommand(int argc, char** argv) {
    std::string target;
    std::string extentText;
    bool recommend = false;
    int count = 10;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return 0;
        }
        if (arg == "--recommend") {
            if (i + 1 >= argc)
                return BadInput("--recommend needs MINLON,MINLAT,MAXLON,MAXLAT");
            recommend = true;
            extentText = argv[++i];
        } else if (arg == "--count") {
            if (i + 1 >= argc || !ParseWhole(std::string(argv[i + 1]), count) || count <= 0)
                return BadInput("--count needs a positive whole number");
            ++i;
        } else if (target.empty() && !arg.empty() && (arg[0] != '-' || arg.size() > 1) &&
                   !(arg.size() > 2 && arg.compare(0, 2, "--") == 0)) {
            target = arg;
        } else {
            return BadInput("unexpected argument '" + arg + "' (see qeinteg crs --help)");
        }
    }
    if (recommend) {
        if (!target.empty())
            return BadInput("give either a system or --recommend, not both");
        double extent[4];
        if (!ParseExtent(extentText, extent))
            return BadInput("the extent must be four numbers MINLON,MINLAT,MAXLON,MAXLAT");
        return Recommend(extent, count);
    }
    if (target.empty())
        return BadInput("name a coordinate system (see qeinteg crs --help)");
    return Describe(target);
}
