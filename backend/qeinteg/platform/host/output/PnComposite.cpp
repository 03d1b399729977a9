#include "qeinteg/platform/host/output/PnComposite.h"

#include <cctype>

PnComposite::PnComposite(const PnComposite& other)
    : PnCellText(other), pattern_(other.pattern_->Clone()), finished_(other.finished_) {
    for (const auto& part : other.parts_)
        parts_.push_back(part->Clone());
}

std::unique_ptr<PnCellText> PnComposite::Clone() const {
    return std::make_unique<PnComposite>(*this);
}

std::string PnComposite::Text() const {
    const std::string pattern = pattern_->Text();
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '^' && i + 1 < pattern.size() &&
            std::isdigit(static_cast<unsigned char>(pattern[i + 1]))) {
            std::size_t end = i + 1;
            std::size_t number = 0;
            while (end < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[end])) &&
                   number < 100000) {
                number = number * 10 + static_cast<std::size_t>(pattern[end] - '0');
                ++end;
            }
            // A marker without a part is kept as written, so that a missing part stays visible.
            if (number >= 1 && number <= parts_.size()) {
                out += parts_[number - 1]->Text();
                i = end - 1;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}
