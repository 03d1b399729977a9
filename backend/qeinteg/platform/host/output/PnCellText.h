// Root of the host's cell texts: what a pivot table cell, a heading or a message shows.
//
// Output items own their texts by value (through Clone), so a caller may pass a temporary.
#pragma once

#include <memory>
#include <string>

class PnCellText {
  public:
    virtual ~PnCellText();
    // A deep copy of this text, with its dynamic type.
    virtual std::unique_ptr<PnCellText> Clone() const = 0;
    // The text as the viewer shows it (UTF-8), after translation where the text asks for it.
    virtual std::string Text() const = 0;
    // A copy to hand on as a note or annotation (the same as Clone).
    std::unique_ptr<PnCellText> Replicate() const { return Clone(); }

  protected:
    PnCellText() = default;
    PnCellText(const PnCellText&) = default;
    PnCellText& operator=(const PnCellText&) = default;
};
