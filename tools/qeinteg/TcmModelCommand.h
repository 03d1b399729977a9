// The `qeinteg tcm` subcommands that use a model archive through QEInteractiveTSR:
//   capabilities MODEL.zip [--json]                 what the model can do
//   impact MODEL.zip --series S [--level N] [--data DATA.csv] [--html FILE] [--json]
//                                                   the causes and effects of a series
//   scenario MODEL.zip DATA.csv --metric M [--dims FIELD=VALUE,...] --from S --to E [--json]
//                                                   observed and predicted values of a series
// Each takes its own name as argv[0] and returns 0, 1 (failure, one line on stderr) or 2 (usage).
#pragma once

#include <optional>
#include <string>

int RunTcmCapabilities(int argc, char** argv);
int RunTcmImpact(int argc, char** argv);
int RunTcmScenario(int argc, char** argv);

namespace tcmcli {

// The absolute, normalised form of `file`; nothing when it cannot be formed or, with mustExist,
// when no regular file is there.
std::optional<std::string> AbsolutePath(const std::string& file, bool mustExist);
// Ends the engine service and releases the Java bridge before the process ends.
void ShutdownEngine();

}  // namespace tcmcli
