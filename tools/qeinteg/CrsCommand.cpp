#include "CrsCommand.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandLine.h"
#include "GeoCommandSupport.h"
#include "qeinteg/runner/QERunner.h"

namespace {

using Json = nlohmann::ordered_json;

void PrintJson(const Json& document) {
    std::printf("%s\n", document.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
}

const char* KindName(QERunner::CSTYPE type) {
    return type == QERunner::CSProjected    ? "projected"
           : type == QERunner::CSGeographic ? "geographic"
                                            : "unknown";
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

int Describe(const qecli::CommandLine& cli, const std::string& what, bool json) {
    GeoCommandSession session;
    if (!session.started())
        return qecli::kExitFailure;
    QERunner runner(nullptr);
    int wkid = 0;
    const bool byId = ParseWhole(what, wkid);
    const std::string reply =
        byId ? runner.getCoordinatesSystemInfo(wkid) : runner.getCoordinatesSystemInfo(what);
    std::string name, wkt;
    QERunner::CSTYPE type = QERunner::CSUnknown;
    if (!QERunner::ParseCoordinatesSystemInfo(reply, wkid, name, wkt, type))
        return cli.Failure(what, EngineReason("coordinatesSystem", "unknown coordinate system"));
    if (json) {
        Json out = Json::object();
        out["wkid"] = wkid;
        out["name"] = name;
        out["kind"] = KindName(type);
        out["wkt"] = wkt;
        PrintJson(out);
        return qecli::kExitOk;
    }
    std::printf("name  %s\n", name.c_str());
    std::printf("kind  %s\n", KindName(type));
    std::printf("wkid  %d\n", wkid);
    std::printf("wkt   %s\n", wkt.c_str());
    return qecli::kExitOk;
}

int Recommend(const qecli::CommandLine& cli, const std::string& extentText,
              const double (&extent)[4], int count, bool json) {
    GeoCommandSession session;
    if (!session.started())
        return qecli::kExitFailure;
    QERunner runner(nullptr);
    QERunner::RecommendPCSInputMaker input;
    input.addInput(0, extent[0], extent[3], extent[2], extent[1]);
    std::vector<std::string> replies;
    runner.getRecommendPCSs(replies, input.toString(), count);
    int key = 0;
    std::vector<QERunner::RecommendPCS> systems;
    if (replies.empty() || !QERunner::ParseRecommendPCS(replies[0], key, systems)) {
        return cli.Failure(extentText,
                           EngineReason("recommendPCS", "no recommendation for this extent"));
    }
    if (systems.empty())
        return cli.Failure(extentText, "no projected system covers this extent");
    if (json) {
        Json out = Json::object();
        out["extent"] = {{"minLon", extent[0]},
                         {"minLat", extent[1]},
                         {"maxLon", extent[2]},
                         {"maxLat", extent[3]}};
        Json list = Json::array();
        for (const QERunner::RecommendPCS& pcs : systems) {
            Json transformations = Json::array();
            for (size_t i = 0; i < pcs.transMethods.size(); ++i) {
                transformations.push_back(
                    {{"method", pcs.transMethods[i]},
                     {"forward", i < pcs.transForward.size() && pcs.transForward[i]}});
            }
            list.push_back(
                {{"wkid", pcs.wkid}, {"name", pcs.name}, {"transformations", transformations}});
        }
        out["systems"] = std::move(list);
        PrintJson(out);
        return qecli::kExitOk;
    }
    std::printf("%-7s %-48s %s\n", "wkid", "name", "transformations from WGS 84");
    for (const QERunner::RecommendPCS& pcs : systems) {
        std::string methods;
        for (size_t i = 0; i < pcs.transMethods.size(); ++i) {
            if (!methods.empty())
                methods += "; ";
            const bool forward = i < pcs.transForward.size() && pcs.transForward[i];
            methods += pcs.transMethods[i] + (forward ? "" : " (reverse)");
        }
        std::printf("%-7d %-48s %s\n", pcs.wkid, pcs.name.c_str(),
                    methods.empty() ? "none needed" : methods.c_str());
    }
    return qecli::kExitOk;
}

}  // namespace

int RunCrsCommand(int argc, char** argv) {
    qecli::CommandLine cli(
        "crs", "WKID|NAME [--json] | --recommend MINLON,MINLAT,MAXLON,MAXLAT [--count N] [--json]",
        "describe a coordinate system (a WKID such as 4326, a name or AUTHORITY:CODE), or "
        "recommend projected systems for an extent in WGS 84 degrees, best first");
    std::string extentText;
    std::string countText;
    bool json = false;
    std::vector<std::string> targets;
    cli.Option("--recommend", "MINLON,MINLAT,MAXLON,MAXLAT", extentText,
               "recommend projected systems for this extent");
    cli.Option("--count", "N", countText, "at most N recommendations (default 10)");
    cli.Flag("--json", json, "print one JSON document instead of text");
    cli.Positionals(targets, 0, 1);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    int count = 10;
    if (!countText.empty() && (!ParseWhole(countText, count) || count <= 0))
        return cli.UsageError("--count needs a positive whole number, not '" + countText + "'");
    if (!extentText.empty()) {
        if (!targets.empty())
            return cli.UsageError("give either a system or --recommend, not both");
        double extent[4];
        if (!ParseExtent(extentText, extent))
            return cli.UsageError("the extent must be four numbers MINLON,MINLAT,MAXLON,MAXLAT");
        return Recommend(cli, extentText, extent, count, json);
    }
    if (targets.empty() || targets[0].empty())
        return cli.UsageError("name a coordinate system");
    return Describe(cli, targets[0], json);
}
