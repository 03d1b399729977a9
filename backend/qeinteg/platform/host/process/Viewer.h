// The host's output viewer line. Without the host the lines are kept in memory for tests to read
// and, when asked (SetViewerEcho, or the environment variable QEHOST_VIEWER_ECHO=1), also written
// to standard error.
#pragma once

#include <string>
#include <vector>

// Shows `lineCount` lines of `length` bytes each, laid out one after another in `text`; a line
// ends early at a zero byte. Null text or non-positive counts show nothing.
void DSPLNS(const char* text, int lineCount, int length);

