// Test-only control of the host stand-in: puts every host setting back to its default and roots the
// host's temporary directories under a fresh directory, so that tests do not see each other.
//
// Each group of the stand-in that keeps state registers a reset hook (usually from a static
// initializer in its own source file); ResetForTest runs all of them in registration order.
#pragma once

#include <functional>
#include <string>

namespace qehost::testing {

using ResetHook = std::function<void(const std::string& tempRoot)>;

// Adds a hook that ResetForTest runs. Returns true so it can initialise a static.
bool RegisterResetHook(ResetHook hook);

// Resets all host stand-in state and makes tempRoot the per-process temporary root under which
// GetTavoTempPath() and friends live. REQUIRES: tempRoot is an existing, writable directory.
void ResetForTest(const std::string& tempRoot);

}  // namespace qehost::testing
