// The executing face of the local engine: a job that no test script claims is parsed and its
// functions run on real data.
#pragma once

#include <string>
#include <vector>

#include "qeinteg/platform/engine/service/CancelSignal.h"
#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/platform/engine/service/JobScript.h"

namespace qelocal {

// Parses and runs `jobText` with the job's registered containers and iterators. Progress and
// messages go to `events`, and the run ends with exactly one of success, error and cancel: a text
// that does not parse, an unknown function or any failure while running ends with error, never
// with an exception out of here.
void ExecuteLocalJob(const std::string& jobText,
                     const std::vector<EmbeddedQE::Container*>& inputContainers,
                     const std::vector<EmbeddedQE::Container*>& outputContainers,
                     const std::vector<EmbeddedQE::RowDataIterator*>& inputIterators,
                     const CancelSignal& cancel, ListenerEvents& events);

}  // namespace qelocal
