// Test-only control of the host stand-in: puts every host setting back to its default and roots the
// host's temporary directories under a fresh directory, so that tests do not see each other.
#pragma once

#include <string>

namespace qehost::testing {

// Resets all host stand-in state and makes tempRoot the per-process temporary root under which
// GetTavoTempPath() and friends live. REQUIRES: tempRoot is an existing, writable directory.
void ResetForTest(const std::string& tempRoot);

}  // namespace qehost::testing
