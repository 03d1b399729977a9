#include "qeinteg/platform/host/output/PnError.h"

#include <memory>

#include "qeinteg/platform/host/output/HostOutput.h"

void PnError(const PnCellText& text, int show, int level) {
    qehost::HostOutput::instance().add(
        std::make_unique<qehost::ErrorItem>(text.Clone(), show, level));
}
