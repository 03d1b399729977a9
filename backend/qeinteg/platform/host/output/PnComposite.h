// A cell text assembled from a template and parts: "^1", "^2", ... in the template's text stand for
// the parts in the order they were added. Finish marks the text complete.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/host/output/PnCellText.h"

class PnComposite : public PnCellText {
  public:
    explicit PnComposite(const PnCellText& pattern) : pattern_(pattern.Clone()) {}
    PnComposite(const PnComposite& other);
    PnComposite& operator=(const PnComposite&) = delete;

    void Add(const PnCellText& part) { parts_.push_back(part.Clone()); }
    void Finish() { finished_ = true; }

    std::unique_ptr<PnCellText> Clone() const override;
    std::string Text() const override;

    const PnCellText& Pattern() const { return *pattern_; }
    const std::vector<std::unique_ptr<PnCellText>>& Parts() const { return parts_; }
    bool Finished() const { return finished_; }

  private:
    std::unique_ptr<PnCellText> pattern_;
    std::vector<std::unique_ptr<PnCellText>> parts_;
    bool finished_ = false;
};
