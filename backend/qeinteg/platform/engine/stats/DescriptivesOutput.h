// The two documents of the descriptives function: the summary "StatXML.xml" and the detected time
// intervals "TIME_INTERVAL.json" (docs/descriptives-output.md).
#pragma once

#include <string>

#include "qeinteg/platform/engine/stats/Descriptives.h"

namespace qelocal {

std::string StatXmlDocument(const DescriptivesResult& result);
std::string TimeIntervalDocument(const DescriptivesResult& result);

}  // namespace qelocal
