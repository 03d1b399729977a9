#include "DescribeCommand.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "CommandLine.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/engine/io/CsvRowSource.h"
#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/process/HostProcess.h"
#include "qeinteg/procedures/QEDescriptive.h"
#include "qeinteg/runner/QERunner.h"
#include "qeinteg/runner/StatQEServiceManager.h"

namespace {

using Json = nlohmann::ordered_json;

// The read call of the job: the CSV file through the engine's CSV parser. Written with the JSON
// model, so any path (quotes, backslashes, line breaks) stays one JSON string.
std::string ReadCall(const std::string& path) {
    JNIJSONObject config;
    config.put("hasHeader", true);
    JNIJSONObject parser;
    parser.put("name", "csv");
    parser.put("config", &config);
    JNIJSONObject location;
    location.put("path", FileUri(path));
    location.put("parser", &parser);
    JNIJSONArray locations;
    locations.add(&location);
    JNIJSONObject filesystem;
    filesystem.put("locations", &locations);
    JNIJSONObject read;
    read.put("filesystem", &filesystem);
    return "read(" + read.toString() + ")";
}

Json Summaries(const std::string& statXml) {
    Json fields = Json::array();
    pugi::xml_document doc;
    if (!doc.load_string(statXml.c_str()))
        return fields;
    for (pugi::xml_node s : doc.child("StatXML")
                                .child("DatasetSummaries")
                                .child("DatasetSummary")
                                .children("FieldSummary")) {
        Json f = Json::object();
        for (pugi::xml_attribute a : s.attributes()) {
            const std::string name = a.name();
            if (name == "name" || name == "storage" || name == "measure" || name == "minimumText" ||
                name == "maximumText") {
                f[name] = a.as_string();
            } else if (name == "distinctValuesExceeded") {
                f[name] = a.as_bool();
            } else if (name == "count" || name == "valid" || name == "missing" ||
                       name == "distinctValues") {
                f[name] = a.as_ullong();
            } else {
                // Whole numbers as JSON integers: 1000000000000006, not 1.000000000000006e+15.
                const double v = a.as_double();
                if (v == std::trunc(v) && std::fabs(v) <= 9007199254740992.0) {
                    f[name] = static_cast<std::int64_t>(v);
                } else {
                    f[name] = v;
                }
            }
        }
        fields.push_back(std::move(f));
    }
    return fields;
}

}  // namespace

std::string DescribeNumberText(double value) {
    char buffer[400];
    // Whole numbers in full (1000000000000006, not 1e+15); others in the fewest digits that
    // read back as the same double, so neighbouring values stay apart.
    const bool whole =
        std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e300;
    const auto [end, ec] =
        whole ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
              : std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

namespace {

std::string Number(const Json& f, const char* key) {
    if (!f.contains(key))
        return "";
    const Json& v = f[key];
    if (v.is_number_unsigned())
        return std::to_string(v.get<std::uint64_t>());
    return DescribeNumberText(v.get<double>());
}

void PrintText(const Json& fields, const Json& intervals) {
    // Columns as wide as their widest text: numbers are printed in full, never cut.
    std::vector<std::vector<std::string>> rows = {{"field", "storage", "measure", "count", "valid",
                                                   "missing", "minimum", "maximum", "mean",
                                                   "std.dev", "distinct"}};
    for (const Json& f : fields) {
        std::string distinct = Number(f, "distinctValues");
        if (f.value("distinctValuesExceeded", false))
            distinct = ">" + distinct;
        rows.push_back(
            {f["name"].get<std::string>(), f["storage"].get<std::string>(),
             f["measure"].get<std::string>(), Number(f, "count"), Number(f, "valid"),
             Number(f, "missing"),
             f.contains("minimumText") ? f["minimumText"].get<std::string>() : Number(f, "minimum"),
             f.contains("maximumText") ? f["maximumText"].get<std::string>() : Number(f, "maximum"),
             Number(f, "mean"), Number(f, "stdDev"), distinct});
    }
    constexpr std::size_t kTextColumns = 3;  // name, storage, measure: left-aligned
    std::vector<int> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], static_cast<int>(row[c].size()));
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::string pad(static_cast<std::size_t>(widths[c]) - row[c].size(), ' ');
            line += c == 0 ? "" : "  ";
            line += c < kTextColumns ? row[c] + pad : pad + row[c];
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        std::printf("%s\n", line.c_str());
    }
    if (!intervals.is_object())
        return;
    for (const Json& t : intervals.value("timeIntervals", Json::array())) {
        std::printf("\ntime interval of %s\n", t.value("field", "").c_str());
        if (!t["error"].is_null()) {
            std::printf("  %s\n", t["error"].get<std::string>().c_str());
            continue;
        }
        if (!t["format"].is_null())
            std::printf("  format      %s\n", t["format"].get<std::string>().c_str());
        if (t["unit"].is_null()) {
            std::printf("  unit        (fewer than two time points)\n");
        } else {
            std::printf("  unit        %s, step %s\n", t["unit"].get<std::string>().c_str(),
                        t["step"].dump().c_str());
        }
        if (!t["firstTimePoint"].is_null()) {
            std::printf("  span        %s .. %s\n", t["firstTimePoint"].get<std::string>().c_str(),
                        t["lastTimePoint"].get<std::string>().c_str());
        }
        std::printf("  points      %s (duplicates %s, gaps %s, irregular %s, invalid %s)\n",
                    t["points"].dump().c_str(), t["duplicates"].dump().c_str(),
                    t["gaps"].dump().c_str(), t["irregularIntervals"].dump().c_str(),
                    t["invalid"].dump().c_str());
        std::printf("  regular     %s\n", t["regular"].get<bool>() ? "yes" : "no");
    }
}

}  // namespace

int RunDescribeCommand(int argc, char** argv) {
    qecli::CommandLine cli("describe", "FILE.csv [--fields a,b] [--datetime FIELD] [--json]",
                           "field summaries and detected date/time intervals of a CSV file");
    std::string fieldList;
    std::string dateTimeField;
    bool json = false;
    std::vector<std::string> files;
    cli.Option("--fields", "a,b", fieldList, "summarise only these fields (default: every field)");
    cli.Option("--datetime", "FIELD", dateTimeField, "detect the time interval of this field");
    cli.Flag("--json", json, "print one JSON document instead of text");
    cli.Positionals(files, 1, 1);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    const std::string& file = files[0];
    std::vector<std::string> fields = qecli::SplitList(fieldList);

    std::error_code ec;
    const std::string path = std::filesystem::absolute(file, ec).lexically_normal().string();
    if (ec)
        return cli.Failure(file, ec.message());
    try {
        // The engine's own reader: the same quoting, byte order mark and name checks as the run.
        const std::vector<std::string> names = qelocal::ReadCsvHeader(path);
        if (fields.empty()) {
            fields = names;
            if (!dateTimeField.empty())
                std::erase(fields, dateTimeField);
        }
    } catch (const qelocal::EngineError& e) {
        return cli.Failure(file, e.what());
    }
    if (JNIObjectManager::getManager()->getEnv() == nullptr)
        return cli.Failure("", "could not start the Java VM");
    int status = qecli::kExitOk;
    {
        qecli::ProgressBar progress("describe " + std::filesystem::path(file).filename().string());
        if (progress.Enabled()) {
            qehost::SetIpcObserver([&progress](int code, const std::string& bytes) {
                double fraction = 0;
                if (code == 79 && bytes.size() == sizeof fraction) {
                    std::memcpy(&fraction, bytes.data(), sizeof fraction);
                    progress.Update(fraction);
                }
            });
        }
        PnProcedure procedure("describe");
        QERunner runner(&procedure);
        QEDescriptive descriptive(runner, ReadCall(path));
        // The command prints counts and statistics only: the lists of distinct values would be
        // written, archived and parsed again for nothing.
        descriptive.SetDESetting("listDistinctValues", false);
        std::string intervalText;
        std::string model;
        const std::vector<std::string> dates = dateTimeField.empty()
                                                   ? std::vector<std::string>{}
                                                   : std::vector<std::string>{dateTimeField};
        // Text fields and real date fields alike: the engine handles a date field asked as text.
        const bool ok =
            descriptive.UpdateDateModel(&fields, &dates, false, intervalText, model, 10000);
        qehost::SetIpcObserver({});
        progress.Finish();
        if (!ok) {
            // The run's messages went to the host output; the last one says why.
            std::string cause = "the descriptives job failed";
            const auto& errors = qehost::HostOutput::instance().errors();
            if (!errors.empty())
                cause += ": " + errors.back().text;
            status = cli.Failure(file, cause);
        } else {
            const Json summaries = Summaries(descriptive.GetStatXML());
            const Json intervals =
                intervalText.empty() ? Json() : Json::parse(intervalText, nullptr, false);
            if (json) {
                Json out = Json::object();
                out["file"] = path;
                out["fields"] = summaries;
                if (intervals.is_object())
                    out["timeIntervals"] = intervals["timeIntervals"];
                std::printf("%s\n", out.dump(2).c_str());
            } else {
                PrintText(summaries, intervals);
            }
        }
    }
    StatQEServiceManager::shutdown();
    JNIObjectManager::releaseManager();
    return status;
}
