// The functions of the local engine's jobs that apply a temporal causal model archive
// (docs/tcm.md): `scoring:scoring` with "isModelCapabilities" describes what scoring needs and
// gives, `tcm:score` and `tcm:ar` fit and forecast series, `rtsdp:rtsdp` puts scored series back
// on the prepared time points, and `OutputComponent:TCMOutputComponent` writes impact diagrams.
#pragma once

#include <memory>

#include "qeinteg/platform/engine/exec/EngineJob.h"

namespace qelocal {

bool IsModelCapabilitiesStep(const EngineStep& step);  // scoring:scoring
bool IsTcmScoreStep(const EngineStep& step);           // tcm:score and tcm:ar
bool IsRtsdpStep(const EngineStep& step);              // rtsdp:rtsdp
bool IsTcmOutputStep(const EngineStep& step);          // OutputComponent:TCMOutputComponent

// Writes "ScoreInputDataModel.xml", "ScoreOutputDataModel.xml" and "ScoreModelProp.xml" of the
// model archive into each output container's archive. Throws EngineError.
void RunModelCapabilitiesStep(const EngineStep& step, JobEnvironment& env);

// Pulls every prepared record of `input` and returns the requested series' records over the
// observed periods and the forecast span: observed values and "<metric>_predicted". Throws
// EngineError or EngineCancelled; nothing is written.
std::unique_ptr<RowSource> RunTcmScoreStep(const EngineStep& step, RowSource& input,
                                           JobEnvironment& env);

// Pulls every record of `input` and returns them per dimension combination on the time points of
// the preparation output, followed by the records after the last time point (with "$FutureFlag"
// 1 when asked for). Throws EngineError or EngineCancelled.
std::unique_ptr<RowSource> RunRtsdpStep(const EngineStep& step, RowSource& input,
                                        JobEnvironment& env);

// Writes "statJson.json" with the impact diagrams the settings ask for into each output
// container's archive. `input`, when given, is read to its end first. Throws EngineError or
// EngineCancelled; nothing is written then.
void RunTcmOutputStep(const EngineStep& step, RowSource* input, JobEnvironment& env);

}  // namespace qelocal
