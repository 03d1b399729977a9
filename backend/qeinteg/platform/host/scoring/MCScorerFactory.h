// Creates score computers from model documents (PMML 4.x; docs/scoring.md lists what is
// supported).
#pragma once

#include <istream>

#include "qeinteg/platform/host/scoring/IMCScoreComputer.h"
#include "qeinteg/platform/host/scoring/MCSettings.h"

namespace MCScoring_910 {

class MCScorerFactory {
  public:
    // Reads the whole stream, parses and compiles the document. Returns a computer the caller owns
    // and deletes, or null when the text is not XML, not PMML, or uses an element or attribute
    // value this library does not support; settings.GetErrorMessage() then names the cause.
    static MCXML_910::IMCScoreComputer* CreateMCScoringObject(MCXML_910::MCSettings& settings,
                                                              std::istream& stream);
};

}  // namespace MCScoring_910
