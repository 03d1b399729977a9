// Developers' diagnostics: each function writes one labelled value, list or map as text lines to
// the front-end text channel (channel 1 unless given). Lines go to the installed text sink; by
// default they are written to standard error.
//
// Containers shown on one line give label + " <none>" when empty; the multi-line displays start
// with the label line ("<none>" appended when empty, then nothing follows).
#pragma once

#include <cfloat>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "qeinteg/qeinteg_export.h"

namespace QEStatDisplay {

using TextSink = std::function<void(long channel, const std::string& line)>;
// Replaces the sink (an empty function restores the default); returns the previous one.
QEINTEG_EXPORT TextSink SetTextSink(TextSink sink);

QEINTEG_EXPORT void DisplayText(long const& channel, std::string const& text);
QEINTEG_EXPORT void DisplayB(std::string label, bool value);
// The system-missing value (-DBL_MAX) shows as "miss".
QEINTEG_EXPORT void DisplayD(std::string label, double value);
QEINTEG_EXPORT void DisplayI(std::string label, int value);
QEINTEG_EXPORT void DisplayT(std::string label, size_t value);
QEINTEG_EXPORT void DisplayS(std::string label, std::string const& value);
// A categorical code: -1 missing, 0 the minimum value, anything else unrecognised.
QEINTEG_EXPORT void DisplayC(std::string label, int value);
QEINTEG_EXPORT void DisplayDV(std::string label, std::vector<double> const& values);
QEINTEG_EXPORT void DisplayNL(std::string label, std::vector<double> const& values);
QEINTEG_EXPORT void DisplayIV(std::string label, std::vector<int> const& values);
QEINTEG_EXPORT void DisplayVL(std::string label, std::vector<int> const& values);
QEINTEG_EXPORT void DisplaySV(std::string label, std::vector<std::string> const& values);
QEINTEG_EXPORT void DisplaySL(std::string label, std::vector<std::string> const& values);
QEINTEG_EXPORT void DisplayVNL(std::string label, std::vector<std::string> const& values);
QEINTEG_EXPORT void DisplayBV(std::string label, std::vector<bool> const& values);
// Elements marked true are categorical ("(cat)"), the others continuous ("(cont)").
QEINTEG_EXPORT void DisplayVCL(std::string label, std::vector<int> const& values,
                               std::vector<bool> const& categorical);
QEINTEG_EXPORT void DisplayIIM(std::string label, std::map<int, int> const& values);
QEINTEG_EXPORT void DisplayVIM(std::string label, std::map<int, int> const& values);
QEINTEG_EXPORT void DisplaySVV(std::string label,
                               std::vector<std::vector<std::string>> const& values);
QEINTEG_EXPORT void DisplayIntVecIntMap(std::string label,
                                        std::map<std::vector<int>, int> const& values);
QEINTEG_EXPORT void DisplayIntVecDVecMap(
    std::string label, std::map<std::vector<int>, std::vector<double>> const& values);
QEINTEG_EXPORT void DisplaySLDM(std::string label,
                                std::map<std::vector<std::string>, double> const& values);

}  // namespace QEStatDisplay
