// The time-series functions of the local engine's jobs: `tsdp:tsdp(settings, _, outputs)` turns
// its input records into prepared series records, `tcm:build(configuration, _, outputs)` prepares
// the series and writes a model archive (docs/tcm.md).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineJob.h"

namespace qelocal {

// "ns:function (line N)", for messages.
std::string StepName(const EngineStep& step);
// Configuration argument `index` of the call; throws EngineError naming `what` when it is absent.
const nlohmann::ordered_json& StepArgument(const EngineStep& step, size_t index, const char* what);

enum class ContainerRole { Input, Output };
// The file paths of an array of container descriptors ({"name": ..., "uri": ...}): a container
// registered with the job under the same name (input or output, by `role`) wins over the URI.
// Throws EngineError when the array is empty or a descriptor has neither.
std::vector<std::string> ContainerPaths(const EngineStep& step,
                                        const nlohmann::ordered_json& descriptors,
                                        const JobEnvironment& env, ContainerRole role);

// True for a call of `tsdp:tsdp`, which sits between read and a consuming function.
bool IsTsdpStep(const EngineStep& step);
// True for a call of `tcm:build`, which ends a pipeline.
bool IsTcmBuildStep(const EngineStep& step);

// Pulls every record of `input`, writes "TSDPOutput.json" into each output container's archive
// and returns the prepared records. Throws EngineError or EngineCancelled.
std::unique_ptr<RowSource> RunTsdpStep(const EngineStep& step, RowSource& input,
                                       JobEnvironment& env, float from, float to);

// Pulls every record of `input`, fits the models and writes the model archive into each output
// container. Nothing is written when preparing or fitting fails. Throws EngineError or
// EngineCancelled.
void RunTcmBuildStep(const EngineStep& step, RowSource& input, JobEnvironment& env, float from,
                     float to);

}  // namespace qelocal
