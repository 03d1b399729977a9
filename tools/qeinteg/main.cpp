// qeinteg: the command-line front end of the library.
#include <cstdio>
#include <cstring>
#include <string>

#include "CrsCommand.h"
#include "DescribeCommand.h"
#include "LayersCommand.h"
#include "RenderCommand.h"
#include "ScoreCommand.h"
#include "ServiceCommand.h"
#include "TcmCommand.h"

namespace {

void PrintUsage(FILE* out) {
    std::fputs(
        "usage: qeinteg <command> [arguments]\n"
        "commands:\n"
        "  service    start the engine service and print the settings handed to it\n"
        "  describe   FILE.csv [--fields a,b] [--datetime FIELD] [--json]: field summaries and\n"
        "             detected date/time intervals\n"
        "  render     DOC.json SECTION [--item HEADING=PATH ...] [--html FILE]: render an output\n"
        "             document\n"
        "  crs        WKID|NAME, or --recommend MINLON,MINLAT,MAXLON,MAXLAT [--count N]:\n"
        "             describe a coordinate system, or recommend projected systems\n"
        "  layers     URL: list the layers of a map service\n"
        "  score      MODEL.pmml DATA.csv [--outputs A,B] [--keys A,B] [-o OUT.csv]: score every\n"
        "             record with a PMML model\n"
        "  score-settings [--missing-as-predictor] [--max-predictions N]: the scoring module's\n"
        "             execution settings document\n"
        "  tcm        build DATA.csv --time FIELD --metrics M1,M2 ... -o MODEL.zip, or\n"
        "             prepare MODEL.zip DATA.csv -o PREPARED.csv: temporal causal models\n"
        "  --version  print the version\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "service")
        return RunServiceCommand(argc - 1, argv + 1);
    if (command == "describe")
        return RunDescribeCommand(argc - 1, argv + 1);
    if (command == "render")
        return RunRenderCommand(argc - 1, argv + 1);
    if (command == "crs")
        return RunCrsCommand(argc - 1, argv + 1);
    if (command == "layers")
        return RunLayersCommand(argc - 1, argv + 1);
    if (command == "score")
        return RunScoreCommand(argc - 1, argv + 1);
    if (command == "score-settings")
        return RunScoreSettingsCommand(argc - 1, argv + 1);
    if (command == "tcm")
        return RunTcmCommand(argc - 1, argv + 1);
    if (command == "--version") {
        std::printf("qeinteg %s\n", QEINTEG_VERSION);
        return 0;
    }
    if (command == "-h" || command == "--help" || command == "help") {
        PrintUsage(stdout);
        return 0;
    }
    std::fprintf(stderr, "qeinteg: unknown command '%s'\n", command.c_str());
    PrintUsage(stderr);
    return 2;
}
