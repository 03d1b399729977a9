#include "qeinteg/platform/host/output/PnHeading.h"

#include <mutex>

#include "qeinteg/platform/host/output/HeadingItem.h"
#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PivotTableItem.h"
#include "qeinteg/platform/host/output/PnCellTextRecord.h"
#include "qeinteg/platform/host/output/PnPivotTable.h"

std::unique_ptr<PnHeading> PnHeading::Heading(const PnCellText& title) {
    std::lock_guard<std::recursive_mutex> lock(qehost::HostOutput::instance().mutex());
    auto& child = item_->add(std::make_unique<qehost::HeadingItem>(qehost::RecordOf(title)));
    return std::make_unique<PnHeading>(&child);
}

std::unique_ptr<PnPivotTable> PnHeading::PivotTable(const PnCellText& title,
                                                    const PnCellText& subType, bool supportSplits) {
    std::lock_guard<std::recursive_mutex> lock(qehost::HostOutput::instance().mutex());
    auto item = std::make_unique<qehost::PivotTableItem>();
    qehost::PivotTableRecord& table = item->table();
    table.title = qehost::RecordOf(title);
    table.subType = qehost::RecordOf(subType);
    table.supportSplits = supportSplits;
    item_->add(std::move(item));
    return std::make_unique<PnPivotTable>(&table);
}
