// A heading of the host output: sub-headings and pivot tables are made under it. The handle is a
// view; what is made under it stays in the output after the handle is gone.
#pragma once

#include <memory>

#include "qeinteg/platform/host/output/OutputItem.h"

class PnCellText;
class PnPivotTable;

class PnHeading {
  public:
    explicit PnHeading(qehost::OutputItem* item) : item_(item) {}

    std::unique_ptr<PnHeading> Heading(const PnCellText& title);
    std::unique_ptr<PnPivotTable> PivotTable(const PnCellText& title, const PnCellText& subType,
                                             bool supportSplits);

    qehost::OutputItem* item() const { return item_; }

  private:
    qehost::OutputItem* item_;
};
