#include "MatchKeysCommand.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandLine.h"
#include "GeoCommandSupport.h"
#include "StemCommandSupport.h"
#include "qeinteg/platform/host/data/UserCaseFileSpec.h"
#include "qeinteg/platform/host/data/UserInputCaseFile.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/procedures/QEInteractiveSTEM.h"

namespace {

using Keys = std::vector<std::vector<std::string>>;

std::string Joined(const std::vector<std::string>& combination) {
    std::string text;
    for (size_t i = 0; i < combination.size(); ++i)
        text += (i == 0 ? "" : ", ") + combination[i];
    return text;
}

// The list as shown: at most `max` combinations (all for -1); `more` when some were left out.
Keys Shown(const Keys& keys, int max, bool& more) {
    more = max >= 0 && keys.size() > static_cast<size_t>(max);
    return more ? Keys(keys.begin(), keys.begin() + max) : keys;
}

void PrintList(const char* title, const Keys& keys, int max) {
    bool more = false;
    const Keys shown = Shown(keys, max, more);
    std::printf("%s: %zu%s\n", title, shown.size(), more ? " (and more)" : "");
    for (const auto& combination : shown)
        std::printf("  %s\n", Joined(combination).c_str());
}

}  // namespace

int RunMatchKeysCommand(int argc, char** argv) {
    qecli::CommandLine cli(
        "match-keys", "MAP [--layer N] --map-keys A[,B] DATA.csv --data-keys C[,D] [--max N]",
        "how the key fields of a map (.shp, a .zip holding one, or a map-service URL) match "
        "those of a CSV file: the matched count and the unmatched keys of both sides");
    std::string layer = "0";
    std::string mapKeyText;
    std::string dataKeyText;
    std::string maxText = "10";
    bool json = false;
    std::vector<std::string> files;
    cli.Option("--layer", "N", layer, "the layer of a map service (default 0)");
    cli.Option("--map-keys", "A[,B]", mapKeyText, "the key fields of the map, in order");
    cli.Option("--data-keys", "C[,D]", dataKeyText,
               "the key fields of the data, paired with the map's by position");
    cli.Option("--max", "N", maxText, "unmatched keys listed per side (default 10; -1: all)");
    cli.Flag("--json", json, "print one JSON document instead of text");
    cli.Positionals(files, 2, 2);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    const std::string& map = files[0];
    const std::string& data = files[1];
    const std::vector<std::string> mapKeys = qecli::SplitList(mapKeyText);
    const std::vector<std::string> dataKeys = qecli::SplitList(dataKeyText);
    if (mapKeys.empty() || dataKeys.empty())
        return cli.UsageError("give the key fields with --map-keys and --data-keys");
    if (mapKeys.size() != dataKeys.size())
        return cli.UsageError("--map-keys and --data-keys must name as many fields");
    int layerNumber = 0;
    if (!stemcli::ParseCount(layer, layerNumber))
        return cli.UsageError("--layer wants a layer number, not '" + layer + "'");
    int max = 0;
    if (!stemcli::ParseCount(maxText, max, true))
        return cli.UsageError("--max wants a number >= 0 or -1, not '" + maxText + "'");

    const bool service = stemcli::IsServiceUrl(map);
    if (!service && !stemcli::HasExtension(map, ".shp") && !stemcli::HasExtension(map, ".zip"))
        return cli.Failure(map, "not a .shp, a .zip or a map-service URL");
    if (!service && !std::filesystem::is_regular_file(map))
        return cli.Failure(map, "no such file");
    if (!std::filesystem::is_regular_file(data))
        return cli.Failure(data, "no such file");
    {
        UserCaseFileSpec caseSpec;
        caseSpec.Init(data, true, false);
        UserInputCaseFile file(caseSpec);
        if (!file.IsOpen())
            return cli.Failure(data, file.Error());
        for (const std::string& key : dataKeys) {
            if (file.DataSource().FindVarIndex(key, 0) < 0)
                return cli.Failure(data, "has no field '" + key + "'");
        }
    }

    GeoCommandSession session;
    if (!session.started())
        return qecli::kExitFailure;
    QEInteractiveSTEM stem;
    std::string model;
    const bool valid = service ? stem.validateServiceLayer(map, layerNumber, model)
                               : stem.validateShapeSource(stemcli::Absolute(map), model);
    if (!valid)
        return cli.Failure(map, stemcli::Reason(stem, "cannot be read"));
    const CFMetaData mapFields(model);
    for (const std::string& key : mapKeys) {
        if (mapFields.FindField(key) < 0)
            return cli.Failure(map, "has no field '" + key + "'");
    }

    Keys unmatchedMap;
    Keys unmatchedData;
    int matched = 0;
    const bool ok = service ? stem.matchServiceKeys(map, layerNumber, mapKeys, unmatchedMap,
                                                    LocallyUniqueID::None(), data, dataKeys,
                                                    unmatchedData, max, matched)
                            : stem.matchShapeKeys(stemcli::Absolute(map), mapKeys, unmatchedMap,
                                                  LocallyUniqueID::None(), data, dataKeys,
                                                  unmatchedData, max, matched);
    if (!ok)
        return cli.Failure(map, stemcli::Reason(stem, "the keys could not be matched"));

    if (json) {
        bool moreMap = false;
        bool moreData = false;
        const Keys mapShown = Shown(unmatchedMap, max, moreMap);
        const Keys dataShown = Shown(unmatchedData, max, moreData);
        const nlohmann::ordered_json result = {{"matched", matched},
                                               {"unmatchedMapKeys", mapShown},
                                               {"moreUnmatchedMapKeys", moreMap},
                                               {"unmatchedDataKeys", dataShown},
                                               {"moreUnmatchedDataKeys", moreData}};
        std::printf("%s\n",
                    result.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else {
        std::printf("matched key combinations: %d\n", matched);
        PrintList("map keys without data", unmatchedMap, max);
        PrintList("data keys without a map feature", unmatchedData, max);
    }
    return qecli::kExitOk;
}
