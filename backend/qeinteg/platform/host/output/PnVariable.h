// A cell text naming a variable of the active dataset; `labelMode` is the host's choice of name,
// label or both (2: the label where there is one, else the name).
#pragma once

#include <memory>
#include <string>

#include "qeinteg/platform/host/output/PnCellText.h"

class PnVariable : public PnCellText {
  public:
    PnVariable(std::string name, int labelMode) : name_(std::move(name)), mode_(labelMode) {}

    std::unique_ptr<PnCellText> Clone() const override;
    // The variable's label in the active dataset (mode 2, where there is one), else its name.
    std::string Text() const override;

    const std::string& Name() const { return name_; }
    int Mode() const { return mode_; }

  private:
    std::string name_;
    int mode_;
};
