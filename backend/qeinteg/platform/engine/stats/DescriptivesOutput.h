// The two documents of the descriptives function: the summary "StatXML.xml" and the detected time
// intervals "TIME_INTERVAL.json" (docs/descriptives-output.md).
#pragma once

#include <string>

#include <pugixml.hpp>

#include "qeinteg/platform/engine/stats/Descriptives.h"

namespace qelocal {

// Writes the summary document piece by piece: one field's element at a time.
void WriteStatXml(const DescriptivesResult& result, pugi::xml_writer& out);
// The summary document as one text.
std::string StatXmlDocument(const DescriptivesResult& result);
std::string TimeIntervalDocument(const DescriptivesResult& result);

}  // namespace qelocal
