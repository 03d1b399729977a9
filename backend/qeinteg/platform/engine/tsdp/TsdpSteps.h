// The time-series functions of the local engine's jobs: `tsdp:tsdp(settings, _, outputs)` turns
// its input records into prepared series records, `tcm:build(configuration, _, outputs)` prepares
// the series and writes a model archive (docs/tcm.md).
#pragma once

#include <memory>

#include "qeinteg/platform/engine/exec/EngineJob.h"

namespace qelocal {

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
