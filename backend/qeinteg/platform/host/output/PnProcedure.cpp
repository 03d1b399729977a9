#include "qeinteg/platform/host/output/PnProcedure.h"

#include "qeinteg/platform/host/output/HostOutput.h"

#include <mutex>

#include "qeinteg/platform/host/output/PnHeading.h"

namespace {

qehost::OutputItem* FindProcedure(const qehost::OutputItem& item, int id) {
    if (item.kind() == qehost::OutputItem::Kind::Procedure &&
        static_cast<const qehost::ProcedureItem&>(item).id() == id) {
        return const_cast<qehost::OutputItem*>(&item);
    }
    for (const auto& child : item.children()) {
        if (qehost::OutputItem* found = FindProcedure(*child, id))
            return found;
    }
    return nullptr;
}

}  // namespace

PnProcedure::PnProcedure(const std::string& name)
    : name_(name), id_(qehost::HostOutput::instance().openProcedure(name)) {}

PnProcedure::~PnProcedure() {
    qehost::HostOutput::instance().closeProcedure(id_);
}

PnHeading* PnProcedure::Heading() {
    auto& output = qehost::HostOutput::instance();
    std::lock_guard<std::recursive_mutex> lock(output.mutex());
    qehost::OutputItem* item = FindProcedure(output.root(), id_);
    if (item == nullptr)
        return nullptr;
    if (!heading_ || heading_->item() != item)
        heading_ = std::make_unique<PnHeading>(item);
    return heading_.get();
}
