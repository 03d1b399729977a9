#include "qeinteg/platform/host/output/HostOutput.h"

#include <algorithm>

#include "qeinteg/platform/host/testing/HostTesting.h"

namespace qehost {
namespace {

[[maybe_unused]] const bool registered =
    testing::RegisterResetHook([](const std::string&) { HostOutput::instance().reset(); });

void CollectErrors(const OutputItem& item, const std::string& procedure,
                   std::vector<ErrorRecord>& out) {
    std::string name = procedure;
    if (item.kind() == OutputItem::Kind::Procedure) {
        name = static_cast<const ProcedureItem&>(item).name();
    } else if (item.kind() == OutputItem::Kind::Error) {
        const auto& error = static_cast<const ErrorItem&>(item);
        out.push_back(ErrorRecord{name, error.text().Text(), error.show(), error.level()});
    }
    for (const auto& child : item.children())
        CollectErrors(*child, name, out);
}

}  // namespace

HostOutput& HostOutput::instance() {
    static auto* output = new HostOutput();  // never destroyed: procedures may outlive main
    return *output;
}

HostOutput::HostOutput() : root_(std::make_unique<OutputItem>(OutputItem::Kind::Root)) {}

void HostOutput::reset() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    open_.clear();
    root_ = std::make_unique<OutputItem>(OutputItem::Kind::Root);
}

int HostOutput::openProcedure(const std::string& name) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const int id = nextId_++;
    auto& item = currentLocked()->add(std::make_unique<ProcedureItem>(id, name));
    open_.push_back(static_cast<ProcedureItem*>(&item));
    return id;
}

void HostOutput::closeProcedure(int id) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = std::find_if(open_.begin(), open_.end(),
                           [id](const ProcedureItem* p) { return p->id() == id; });
    open_.erase(it, open_.end());
}

void HostOutput::add(std::unique_ptr<OutputItem> item) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    currentLocked()->add(std::move(item));
}

std::vector<ErrorRecord> HostOutput::errors() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<ErrorRecord> out;
    CollectErrors(*root_, std::string(), out);
    return out;
}

OutputItem* HostOutput::currentLocked() {
    return open_.empty() ? root_.get() : static_cast<OutputItem*>(open_.back());
}

}  // namespace qehost
