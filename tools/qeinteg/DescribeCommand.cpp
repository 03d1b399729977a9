#include "DescribeCommand.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/procedures/QEDescriptive.h"
#include "qeinteg/runner/QERunner.h"
#include "qeinteg/runner/StatQEServiceManager.h"

namespace {

using Json = nlohmann::ordered_json;

void Usage(FILE* out) {
    std::fputs(
        "usage: qeinteg describe FILE.csv [--fields a,b] [--datetime FIELD] [--json]\n"
        "  --fields a,b      summarise only these fields (default: every field)\n"
        "  --datetime FIELD  detect the time interval of this date/time field\n"
        "  --json            print one JSON document instead of text\n",
        out);
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty())
            out.push_back(item);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return out;
}

// The field names of the CSV header line (RFC 4180 quoting).
bool ReadHeader(const std::string& path, std::vector<std::string>& names) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string cell;
    bool quoted = false;
    bool any = false;
    char c = 0;
    if (in.peek() == '\xEF') {
        char bom[3];
        in.read(bom, 3);
        if (std::memcmp(bom, "\xEF\xBB\xBF", 3) != 0)
            in.seekg(0);
    }
    while (in.get(c)) {
        any = true;
        if (quoted) {
            if (c == '"') {
                if (in.peek() == '"') {
                    in.get(c);
                    cell += '"';
                } else {
                    quoted = false;
                }
            } else {
                cell += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            names.push_back(cell);
            cell.clear();
        } else if (c == '\n' || c == '\r') {
            break;
        } else {
            cell += c;
        }
    }
    if (any)
        names.push_back(cell);
    return !names.empty();
}

std::string JsonPath(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
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
                f[name] = a.as_double();
            }
        }
        fields.push_back(std::move(f));
    }
    return fields;
}

std::string Number(const Json& f, const char* key) {
    if (!f.contains(key))
        return "";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", f[key].get<double>());
    return buffer;
}

void PrintText(const Json& fields, const Json& intervals) {
    std::printf("%-24s %-10s %-11s %8s %8s %8s %12s %12s %12s %12s %9s\n", "field", "storage",
                "measure", "count", "valid", "missing", "minimum", "maximum", "mean", "std.dev",
                "distinct");
    for (const Json& f : fields) {
        std::string distinct = Number(f, "distinctValues");
        if (f.value("distinctValuesExceeded", false))
            distinct = ">" + distinct;
        std::printf("%-24s %-10s %-11s %8s %8s %8s %12s %12s %12s %12s %9s\n",
                    f["name"].get<std::string>().c_str(), f["storage"].get<std::string>().c_str(),
                    f["measure"].get<std::string>().c_str(), Number(f, "count").c_str(),
                    Number(f, "valid").c_str(), Number(f, "missing").c_str(),
                    f.contains("minimumText") ? f["minimumText"].get<std::string>().c_str()
                                              : Number(f, "minimum").c_str(),
                    f.contains("maximumText") ? f["maximumText"].get<std::string>().c_str()
                                              : Number(f, "maximum").c_str(),
                    Number(f, "mean").c_str(), Number(f, "stdDev").c_str(), distinct.c_str());
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
    std::string file;
    std::vector<std::string> fields;
    std::string dateTimeField;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--fields" && i + 1 < argc) {
            fields = SplitList(argv[++i]);
        } else if (arg == "--datetime" && i + 1 < argc) {
            dateTimeField = argv[++i];
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && file.empty()) {
            file = arg;
        } else {
            Usage(stderr);
            return 2;
        }
    }
    if (file.empty()) {
        Usage(stderr);
        return 2;
    }
    std::error_code ec;
    const std::string path = std::filesystem::absolute(file, ec).lexically_normal().string();
    if (ec || !std::filesystem::is_regular_file(path)) {
        std::fprintf(stderr, "qeinteg: cannot read %s\n", file.c_str());
        return 1;
    }
    if (fields.empty()) {
        if (!ReadHeader(path, fields)) {
            std::fprintf(stderr, "qeinteg: %s has no header line\n", file.c_str());
            return 1;
        }
        if (!dateTimeField.empty())
            std::erase(fields, dateTimeField);
    }
    if (JNIObjectManager::getManager()->getEnv() == nullptr) {
        std::fprintf(stderr, "qeinteg: could not start the Java VM\n");
        return 1;
    }
    int status = 0;
    {
        PnProcedure procedure("describe");
        QERunner runner(&procedure);
        const std::string read =
            "read({\"filesystem\":{\"locations\":[{\"path\":\"file:///" + JsonPath(path) +
            "\",\"parser\":{\"name\":\"csv\",\"config\":{\"hasHeader\":true}}}]}})";
        QEDescriptive descriptive(runner, read);
        std::string intervalText;
        std::string model;
        const std::vector<std::string> dates = dateTimeField.empty()
                                                   ? std::vector<std::string>{}
                                                   : std::vector<std::string>{dateTimeField};
        // Text fields and real date fields alike: the engine handles a date field asked as text.
        const bool ok =
            descriptive.UpdateDateModel(&fields, &dates, false, intervalText, model, 10000);
        if (!ok) {
            std::fprintf(stderr, "qeinteg: the descriptives job failed\n");
            // The run's messages went to the host output; show them here.
            for (const qehost::ErrorRecord& e : qehost::HostOutput::instance().errors()) {
                std::fprintf(stderr, "  %s\n", e.text.c_str());
            }
            status = 1;
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
