#include "GeojsonCommand.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandLine.h"
#include "GeoCommandSupport.h"
#include "GeojsonViewer.h"
#include "StemCommandSupport.h"
#include "qeinteg/platform/host/data/FetchFile.h"
#include "qeinteg/platform/host/data/UserCaseFileSpec.h"
#include "qeinteg/platform/host/data/UserInputCaseFile.h"
#include "qeinteg/procedures/QEInteractiveSTEM.h"
#include "qeinteg/runner/QERunner.h"

namespace {

// A coordinate system as the command line gives it: a well-known id, CARTESIAN or a name.
struct System {
    std::string name;
    int wkid = 0;
};

System ParseSystem(const std::string& text) {
    System system;
    int wkid = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), wkid);
    if (!text.empty() && ec == std::errc() && end == text.data() + text.size())
        system.wkid = wkid;
    else
        system.name = text;
    return system;
}

// Why a system the user named cannot be used; empty when it resolves (or is CARTESIAN).
std::string Unknown(QERunner& runner, const std::string& text, const System& system) {
    if (text.empty() || system.name == QEInteractiveSTEM::kCartesian)
        return "";
    const std::string info = system.name.empty() ? runner.getCoordinatesSystemInfo(system.wkid)
                                                 : runner.getCoordinatesSystemInfo(system.name);
    return info.empty() ? "unknown coordinate system" : "";
}

// Why the coordinate fields of a point file cannot make points; empty when they can.
std::string PointFieldProblem(const std::string& path, const std::vector<std::string>& fields) {
    UserCaseFileSpec caseSpec;
    caseSpec.Init(path, true, false);
    UserInputCaseFile file(caseSpec);
    if (!file.IsOpen())
        return file.Error().empty() ? "cannot be read" : file.Error();
    const TAVO_DataSource& data = file.DataSource();
    for (const std::string& field : fields) {
        const int index = data.FindVarIndex(field, 0);
        if (index < 0)
            return "has no field '" + field + "'";
        if (data.GetVariable(index).GetType() != 0)
            return "the coordinate field '" + field + "' holds text, not numbers";
    }
    return "";
}

}  // namespace

int RunGeojsonCommand(int argc, char** argv) {
    qecli::CommandLine cli(
        "geojson", "SOURCE [--layer N] [--xy X,Y[,Z]] [--from CS] [--to CS] -o OUT.geojson",
        "writes the features of a shape file (.shp, or a .zip holding one), a map-service layer "
        "(URL) or a CSV file of points as GeoJSON, reprojected");
    std::string layer = "0";
    std::string xy;
    std::string from;
    std::string to = "WGS 84";
    std::string out;
    std::string model;
    bool html = false;
    bool json = false;
    std::vector<std::string> sources;
    cli.Option("--layer", "N", layer, "the layer of a map service (default 0)");
    cli.Option("--xy", "X,Y[,Z]", xy,
               "the coordinate fields of a CSV source (default: the source is a map)");
    cli.Option("--from", "CS", from,
               "the source's coordinate system: a name, a well-known id or CARTESIAN (default: "
               "the map's own, WGS 84 for points)");
    cli.Option("--to", "CS", to, "the coordinate system of the output (default WGS 84)");
    cli.Option("-o", "OUT.geojson", out, "the GeoJSON file to write");
    cli.Option("--model", "FILE.xml", model,
               "where the data model goes (default: OUT with the extension .xml)");
    cli.Flag("--html", html, "also write OUT.html, a viewer page that draws the features");
    cli.Flag("--json", json, "print one JSON document instead of text");
    cli.Positionals(sources, 1, 1);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    const std::string& source = sources[0];
    if (out.empty())
        return cli.UsageError("give the output file with -o OUT.geojson");
    int layerNumber = 0;
    if (!stemcli::ParseCount(layer, layerNumber))
        return cli.UsageError("--layer wants a layer number, not '" + layer + "'");
    const std::vector<std::string> fields = qecli::SplitList(xy);
    const bool points = !xy.empty();
    if (points && (fields.size() < 2 || fields.size() > 3))
        return cli.UsageError("--xy wants two or three field names, not '" + xy + "'");
    const bool service = stemcli::IsServiceUrl(source);
    if (!points && !service && !stemcli::HasExtension(source, ".shp") &&
        !stemcli::HasExtension(source, ".zip"))
        return cli.Failure(source,
                           "not a .shp, a .zip or a map-service URL (give --xy X,Y for "
                           "a CSV of points)");
    if (!service && !std::filesystem::is_regular_file(source))
        return cli.Failure(source, "no such file");
    if (points) {
        if (from.empty())
            from = "WGS 84";
        const std::string problem = PointFieldProblem(source, fields);
        if (!problem.empty())
            return cli.Failure(source, problem);
    }
    if (model.empty())
        model = std::filesystem::path(out).replace_extension(".xml").string();

    GeoCommandSession session;
    if (!session.started())
        return qecli::kExitFailure;
    QEInteractiveSTEM stem;
    const System src = ParseSystem(from);
    const System dst = ParseSystem(to);
    {
        QERunner runner(nullptr);
        for (const auto& [text, system] : {std::pair{from, src}, std::pair{to, dst}}) {
            const std::string unknown = Unknown(runner, text, system);
            if (!unknown.empty())
                return cli.Failure(text, unknown);
        }
    }
    bool ok = false;
    if (points) {
        ok = stem.getPointGeoJSON(src.name, src.wkid, dst.name, dst.wkid, LocallyUniqueID::None(),
                                  stemcli::Absolute(source), fields, stemcli::Absolute(model),
                                  stemcli::Absolute(out));
    } else if (service) {
        ok = stem.getServiceGeoJSON(src.name, src.wkid, dst.name, dst.wkid, source, layerNumber,
                                    stemcli::Absolute(model), stemcli::Absolute(out));
    } else {
        ok = stem.getShapeGeoJSON(src.name, src.wkid, dst.name, dst.wkid, stemcli::Absolute(source),
                                  stemcli::Absolute(model), stemcli::Absolute(out));
    }
    if (!ok)
        return cli.Failure(source, stemcli::Reason(stem, "the features could not be written"));

    std::string document;
    FetchFile::fetch(out, document);
    const nlohmann::json parsed = nlohmann::json::parse(document, nullptr, false);
    const size_t features =
        parsed.is_object() && parsed.contains("features") && parsed["features"].is_array()
            ? parsed["features"].size()
            : 0;
    std::string page;
    if (html) {
        page = std::filesystem::path(out).replace_extension(".html").string();
        std::ofstream file(page, std::ios::binary);
        file << GeojsonViewerPage(document);
        if (!file.flush())
            return cli.Failure(page, "cannot be written");
    }
    if (json) {
        nlohmann::ordered_json result = {
            {"source", source}, {"geojson", out}, {"dataModel", model}, {"features", features}};
        if (!page.empty())
            result["viewer"] = page;
        std::printf("%s\n",
                    result.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else {
        std::printf("%zu feature(s) written to %s (data model %s)\n", features, out.c_str(),
                    model.c_str());
        if (!page.empty())
            std::printf("viewer: %s\n", page.c_str());
    }
    return qecli::kExitOk;
}
