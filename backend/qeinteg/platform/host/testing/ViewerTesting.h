// Test access to the lines shown on the host viewer line.
#pragma once

#include <string>
#include <vector>

namespace qehost::testing {

// The lines shown since the last reset (the oldest are dropped beyond 100000 lines).
std::vector<std::string> ViewerLines();
void ClearViewerLines();
// Whether shown lines are echoed to standard error (reset: from QEHOST_VIEWER_ECHO).
void SetViewerEcho(bool echo);

}  // namespace qehost::testing
