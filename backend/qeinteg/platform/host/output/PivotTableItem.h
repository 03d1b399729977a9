// A pivot table in the output; the table's content is built through PnPivotTable.
#pragma once

#include "qeinteg/platform/host/output/OutputItem.h"
#include "qeinteg/platform/host/output/PivotRecord.h"

namespace qehost {

class PivotTableItem : public OutputItem {
  public:
    PivotTableItem() : OutputItem(Kind::PivotTable) {}
    PivotTableRecord& table() { return table_; }
    const PivotTableRecord& table() const { return table_; }

  private:
    PivotTableRecord table_;
};

}  // namespace qehost
