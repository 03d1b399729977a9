#include "qeinteg/platform/host/output/PnCellText.h"

PnCellText::~PnCellText() = default;
