#include "qeinteg/platform/host/PnCellText.h"

PnCellText::~PnCellText() = default;
