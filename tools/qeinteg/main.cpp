// qeinteg: the command-line front end of the library. The subcommands that parse their arguments
// through CommandLine (CommandLine.h) answer --help and --version and share the exit codes:
// 0 success, 1 failure (one line on stderr), 2 usage error.
#include <cstdio>
#include <string>

#include "CommandLine.h"
#include "CrsCommand.h"
#include "DescribeCommand.h"
#include "FetchCommand.h"
#include "GeojsonCommand.h"
#include "LayersCommand.h"
#include "MatchKeysCommand.h"
#include "RenderCommand.h"
#include "RunCommand.h"
#include "ScoreCommand.h"
#include "ServiceCommand.h"
#include "TcmCommand.h"

namespace {

struct Subcommand {
    const char* name;
    int (*run)(int, char**);
    const char* summary;
};

constexpr Subcommand kCommands[] = {
    {"service", RunServiceCommand, "start the engine service and print the settings handed to it"},
    {"describe", RunDescribeCommand,
     "field summaries and detected date/time intervals of a CSV file"},
    {"render", RunRenderCommand, "render a section of an engine output document"},
    {"crs", RunCrsCommand, "describe a coordinate system, or recommend projected systems"},
    {"layers", RunLayersCommand, "list the layers of a map service"},
    {"score", RunScoreCommand, "score every record of a CSV file with a PMML model"},
    {"score-settings", RunScoreSettingsCommand, "the scoring module's execution settings"},
    {"tcm", RunTcmCommand, "build or prepare temporal causal models"},
    {"run", RunRunCommand, "run a job text on the local engine"},
    {"fetch", RunFetchCommand, "print a data file's rows through the output fetcher, as CSV"},
    {"geojson", RunGeojsonCommand, "write a shape file, map layer or CSV of points as GeoJSON"},
    {"match-keys", RunMatchKeysCommand, "how the keys of a map match those of a CSV file"},
};

void PrintUsage(FILE* out) {
    std::fputs(
        "usage: qeinteg <command> [arguments]   (qeinteg <command> --help for more)\n"
        "commands:\n",
        out);
    for (const Subcommand& c : kCommands)
        std::fprintf(out, "  %-15s %s\n", c.name, c.summary);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return qecli::kExitUsage;
    }
    const std::string command = argv[1];
    for (const Subcommand& c : kCommands) {
        if (command != c.name)
            continue;
        // Every subcommand answers --version the same way, whether or not it parses its own
        // options.
        if (argc == 3 && std::string(argv[2]) == "--version") {
            std::printf("%s\n", qecli::VersionText().c_str());
            return qecli::kExitOk;
        }
        return c.run(argc - 1, argv + 1);
    }
    if (command == "-h" || command == "--help" || command == "help") {
        PrintUsage(stdout);
        return qecli::kExitOk;
    }
    if (command == "--version") {
        std::printf("%s\n", qecli::VersionText().c_str());
        return qecli::kExitOk;
    }
    std::fprintf(stderr, "qeinteg: unknown command '%s'\n", command.c_str());
    PrintUsage(stderr);
    return qecli::kExitUsage;
}
