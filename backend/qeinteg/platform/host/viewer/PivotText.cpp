#include "qeinteg/platform/host/viewer/PivotText.h"

#include <algorithm>

#include "qeinteg/platform/host/viewer/PivotGrid.h"

namespace qehost {
namespace {

std::string Marked(const GridCell& cell) {
    return cell.marks.empty() ? cell.text : cell.text + "^" + cell.marks;
}

std::string Pad(const std::string& text, std::size_t width, bool right) {
    const std::size_t w = DisplayWidth(text);
    if (w >= width)
        return text;
    return right ? std::string(width - w, ' ') + text : text + std::string(width - w, ' ');
}

// The two characters backslash and "n" are the cell texts' line break, as is a real newline.
std::string BreaksAsNewlines(std::string text) {
    for (std::string::size_type at = 0; (at = text.find("\\n", at)) != std::string::npos;) {
        text.replace(at, 2, "\n");
    }
    return text;
}

// Multi-line texts are drawn on one line, their lines separated by " / "; the grid has no row
// heights.
std::string OneLine(std::string text) {
    text = BreaksAsNewlines(std::move(text));
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += " / ";
        } else {
            out += (c == '\r' || c == '\t') ? ' ' : c;
        }
    }
    return out;
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string PivotToText(const PivotTableRecord& table) {
    std::string out;
    for (const PivotGrid& grid : BuildPivotGrids(table)) {
        if (!grid.title.empty()) {
            out +=
                OneLine(grid.titleMarks.empty() ? grid.title : grid.title + "^" + grid.titleMarks);
            out += "\n";
        }
        if (!grid.layer.empty())
            out += OneLine(grid.layer) + "\n";
        std::size_t columns = 0;
        for (const auto& row : grid.rows)
            columns = std::max(columns, row.size());
        std::vector<std::size_t> widths(columns, 0);
        for (const auto& row : grid.rows) {
            for (std::size_t c = 0; c < row.size(); ++c) {
                if (row[c].span == 1) {
                    widths[c] = std::max(widths[c], DisplayWidth(OneLine(Marked(row[c]))));
                }
            }
        }
        // Spanning labels widen the last column they cover when they do not fit.
        for (const auto& row : grid.rows) {
            for (std::size_t c = 0; c < row.size(); ++c) {
                if (row[c].span <= 1)
                    continue;
                const std::size_t end = c + static_cast<std::size_t>(row[c].span);
                std::size_t have = 3 * (static_cast<std::size_t>(row[c].span) - 1);
                for (std::size_t k = c; k < end; ++k)
                    have += widths[k];
                const std::size_t need = DisplayWidth(OneLine(Marked(row[c])));
                if (need > have)
                    widths[end - 1] += need - have;
            }
        }
        std::string rule = "+";
        for (std::size_t w : widths)
            rule += std::string(w + 2, '-') + "+";
        rule += "\n";
        if (columns > 0)
            out += rule;
        for (std::size_t r = 0; r < grid.rows.size(); ++r) {
            const auto& row = grid.rows[r];
            std::string line = "|";
            for (std::size_t c = 0; c < row.size();) {
                const GridCell& cell = row[c];
                const std::size_t span = std::max(cell.span, 1);
                std::size_t width = 3 * (span - 1);
                for (std::size_t k = c; k < c + span && k < widths.size(); ++k)
                    width += widths[k];
                line += " " + Pad(OneLine(Marked(cell)), width, cell.numeric) + " |";
                c += span;
            }
            out += line + "\n";
            if (static_cast<int>(r) + 1 == grid.headerRows)
                out += rule;
        }
        if (columns > 0)
            out += rule;
        if (!grid.caption.empty()) {
            out +=
                grid.captionMarks.empty() ? grid.caption : grid.caption + "^" + grid.captionMarks;
            out += "\n";
        }
        for (const std::string& note : grid.footnotes)
            out += OneLine(note) + "\n";
    }
    return out;
}

std::string PivotToHtml(const PivotTableRecord& table) {
    std::string out;
    auto marked = [](const std::string& text, const std::string& marks) {
        std::string html = HtmlEscape(BreaksAsNewlines(text));
        std::string::size_type pos = 0;
        while ((pos = html.find('\n', pos)) != std::string::npos) {
            html.replace(pos, 1, "<br>");
            pos += 4;
        }
        if (!marks.empty())
            html += "<sup>" + HtmlEscape(marks) + "</sup>";
        return html;
    };
    for (const PivotGrid& grid : BuildPivotGrids(table)) {
        out += "<table class=\"pivot\">\n";
        if (!grid.title.empty() || !grid.layer.empty()) {
            out += "<caption>" + marked(grid.title, grid.titleMarks);
            if (!grid.layer.empty()) {
                out += "<div class=\"layer\">" + HtmlEscape(grid.layer) + "</div>";
            }
            out += "</caption>\n";
        }
        for (std::size_t r = 0; r < grid.rows.size(); ++r) {
            if (r == 0 && grid.headerRows > 0)
                out += "<thead>\n";
            if (static_cast<int>(r) == grid.headerRows)
                out += "<tbody>\n";
            out += "<tr>";
            const auto& row = grid.rows[r];
            for (std::size_t c = 0; c < row.size(); ++c) {
                const GridCell& cell = row[c];
                if (cell.span == 0)
                    continue;
                const bool stub = static_cast<int>(c) < grid.stubColumns;
                const char* tag = cell.header ? "th" : "td";
                out += "<";
                out += tag;
                if (cell.span > 1)
                    out += " colspan=\"" + std::to_string(cell.span) + "\"";
                if (cell.numeric)
                    out += " class=\"num\"";
                if (stub && static_cast<int>(r) >= grid.headerRows)
                    out += " scope=\"row\"";
                out += ">" + marked(cell.text, cell.marks) + "</" + tag + ">";
            }
            out += "</tr>\n";
            if (static_cast<int>(r) + 1 == grid.headerRows)
                out += "</thead>\n";
        }
        if (static_cast<int>(grid.rows.size()) > grid.headerRows)
            out += "</tbody>\n";
        if (!grid.caption.empty() || !grid.footnotes.empty()) {
            std::size_t columns = 0;
            for (const auto& row : grid.rows)
                columns = std::max(columns, row.size());
            out += "<tfoot><tr><td colspan=\"" + std::to_string(std::max<std::size_t>(columns, 1)) +
                   "\">";
            if (!grid.caption.empty()) {
                out +=
                    "<div class=\"caption\">" + marked(grid.caption, grid.captionMarks) + "</div>";
            }
            for (const std::string& note : grid.footnotes) {
                out += "<div class=\"footnote\">" + HtmlEscape(note) + "</div>";
            }
            out += "</td></tr></tfoot>\n";
        }
        out += "</table>\n";
    }
    return out;
}

}  // namespace qehost
