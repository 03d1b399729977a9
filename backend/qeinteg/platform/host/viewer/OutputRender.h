// Renderers of the recorded host output: plain text for terminals, a self-contained HTML page, and
// JSON that keeps every recorded detail (for tests).
#pragma once

#include <string>

#include "qeinteg/platform/host/output/OutputItem.h"

namespace qehost {

// Headings as underlined outline lines, tables drawn as aligned text, charts as a summary line,
// messages as "Level: text".
std::string RenderText(const OutputItem& item);

// A complete HTML page: headings as nested sections with an outline, one <table> per pivot table
// (per layer), charts as described boxes.
std::string RenderHtml(const OutputItem& item, const std::string& pageTitle);

// The tree with every recorded argument, as indented JSON.
std::string RenderJson(const OutputItem& item);

}  // namespace qehost
