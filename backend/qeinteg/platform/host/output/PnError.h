// Shows a message in the host output, in the current procedure. `show` and `level` are the host's
// display class and severity (the library uses show 2 with level 2 for messages, 3 for errors).
#pragma once

#include "qeinteg/platform/host/output/PnCellText.h"

void PnError(const PnCellText& text, int show, int level);
