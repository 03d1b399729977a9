#include "qeinteg/platform/host/output/XDocument.h"

#include <memory>
#include <mutex>

#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PnHeading.h"

void XDocument::SetDescription(const ChartString& description) {
    record_.description = description.Text();
    record_.nativeDescription = description.IsNative();
}

void XDocument::Send() {
    auto item = std::make_unique<qehost::ChartItem>(record_);
    auto& output = qehost::HostOutput::instance();
    if (parent_ != nullptr && parent_->item() != nullptr) {
        std::lock_guard<std::recursive_mutex> lock(output.mutex());
        parent_->item()->add(std::move(item));
    } else {
        output.add(std::move(item));
    }
}
