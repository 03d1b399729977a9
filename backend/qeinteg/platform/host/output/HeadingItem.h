// A heading in the output outline; the items made under it are its children.
#pragma once

#include "qeinteg/platform/host/output/OutputItem.h"
#include "qeinteg/platform/host/output/PivotRecord.h"

namespace qehost {

class HeadingItem : public OutputItem {
  public:
    explicit HeadingItem(TextRecord title) : OutputItem(Kind::Heading), title_(std::move(title)) {}
    const TextRecord& title() const { return title_; }

  private:
    TextRecord title_;
};

}  // namespace qehost
