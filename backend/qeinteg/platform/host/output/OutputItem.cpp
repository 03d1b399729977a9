#include "qeinteg/platform/host/output/OutputItem.h"

namespace qehost {

OutputItem::~OutputItem() = default;

OutputItem& OutputItem::add(std::unique_ptr<OutputItem> child) {
    child->parent_ = this;
    children_.push_back(std::move(child));
    return *children_.back();
}

}  // namespace qehost
