// Drawing of laid-out pivot tables: as aligned plain text and as an HTML table element.
#pragma once

#include <string>

#include "qeinteg/platform/host/output/PivotRecord.h"

namespace qehost {

// The table as boxed, aligned text: title, layer line, the grid, caption and lettered footnotes.
std::string PivotToText(const PivotTableRecord& table);

// One <table> element per layer (with title, caption and footnotes); texts are HTML-escaped.
std::string PivotToHtml(const PivotTableRecord& table);

std::string HtmlEscape(const std::string& text);

}  // namespace qehost
