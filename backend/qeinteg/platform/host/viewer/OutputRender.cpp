#include "qeinteg/platform/host/viewer/OutputRender.h"

#include <cstdio>

#include "qeinteg/platform/host/output/ChartItem.h"
#include "qeinteg/platform/host/output/HeadingItem.h"
#include "qeinteg/platform/host/output/PivotTableItem.h"
#include "qeinteg/platform/host/output/PnCellTextRecord.h"

#include <algorithm>
#include "qeinteg/platform/host/viewer/PivotText.h"

namespace qehost {
namespace {

const char* LevelName(int level) {
    switch (level) {
        case 0:
            return "Note";
        case 1:
            return "Comment";
        case 2:
            return "Message";
        case 3:
            return "Error";
        case 4:
            return "Fatal";
        case 5:
            return "Catastrophic";
        default:
            return "Message";
    }
}

std::string ChartSummary(const ChartRecord& r) {
    std::string line = r.interactive ? "[Interactive] " : "[Chart] ";
    line += r.description;
    if (r.interactive) {
        line += " (path " + r.jsonPath + ", " + std::to_string(r.interactiveJSON.size()) +
                " characters";
    } else {
        line += " (template of " + std::to_string(r.vizTemplate.size()) + " characters";
    }
    if (!r.options.empty())
        line += ", options " + r.options;
    if (!r.geoJSON.empty()) {
        line += ", layers";
        for (std::size_t i = 0; i < r.geoJSON.size(); ++i) {
            line += (i == 0 ? " " : ", ") + r.geoJSON[i].first;
        }
    }
    return line + ")";
}

void Text(const OutputItem& item, int depth, std::string& out) {
    switch (item.kind()) {
        case OutputItem::Kind::Procedure: {
            const auto& p = static_cast<const ProcedureItem&>(item);
            out += "=== " + (p.name().empty() ? std::string("Procedure") : p.name()) + " ===\n\n";
            break;
        }
        case OutputItem::Kind::Heading:
            out += std::string(static_cast<std::size_t>(depth), '#') + " " +
                   static_cast<const HeadingItem&>(item).title().text + "\n\n";
            break;
        case OutputItem::Kind::PivotTable:
            out += PivotToText(static_cast<const PivotTableItem&>(item).table()) + "\n";
            break;
        case OutputItem::Kind::Chart:
            out += ChartSummary(static_cast<const ChartItem&>(item).record()) + "\n\n";
            break;
        case OutputItem::Kind::Error: {
            const auto& e = static_cast<const ErrorItem&>(item);
            out += std::string(LevelName(e.level())) + ": " + e.text().Text() + "\n\n";
            break;
        }
        default:
            break;
    }
    const int next = item.kind() == OutputItem::Kind::Heading ? depth + 1 : depth;
    for (const auto& child : item.children())
        Text(*child, next, out);
}

struct HtmlState {
    std::string outline;
    std::string body;
    int nextId = 1;
};

void Html(const OutputItem& item, int depth, HtmlState& s) {
    bool closeSection = false;
    bool closeOutline = false;
    switch (item.kind()) {
        case OutputItem::Kind::Procedure: {
            const auto& p = static_cast<const ProcedureItem&>(item);
            const std::string id = "h" + std::to_string(s.nextId++);
            const std::string name = p.name().empty() ? "Procedure" : p.name();
            s.body += "<section class=\"procedure\"><h1 id=\"" + id + "\">" + HtmlEscape(name) +
                      "</h1>\n";
            s.outline += "<li><a href=\"#" + id + "\">" + HtmlEscape(name) + "</a><ul>";
            closeSection = closeOutline = true;
            break;
        }
        case OutputItem::Kind::Heading: {
            const std::string title = static_cast<const HeadingItem&>(item).title().text;
            const std::string id = "h" + std::to_string(s.nextId++);
            const int level = depth + 2 > 6 ? 6 : depth + 2;
            s.body += "<section class=\"heading\"><h" + std::to_string(level) + " id=\"" + id +
                      "\">" + HtmlEscape(title) + "</h" + std::to_string(level) + ">\n";
            s.outline += "<li><a href=\"#" + id + "\">" + HtmlEscape(title) + "</a><ul>";
            closeSection = closeOutline = true;
            break;
        }
        case OutputItem::Kind::PivotTable:
            s.body += PivotToHtml(static_cast<const PivotTableItem&>(item).table());
            break;
        case OutputItem::Kind::Chart: {
            const ChartRecord& r = static_cast<const ChartItem&>(item).record();
            s.body += "<figure class=\"chart\"><figcaption>" + HtmlEscape(ChartSummary(r)) +
                      "</figcaption><pre>" +
                      HtmlEscape(r.interactive ? r.interactiveJSON : r.vizTemplate) +
                      "</pre></figure>\n";
            break;
        }
        case OutputItem::Kind::Error: {
            const auto& e = static_cast<const ErrorItem&>(item);
            s.body += "<p class=\"message level" + std::to_string(e.level()) + "\"><b>" +
                      LevelName(e.level()) + ":</b> " + HtmlEscape(e.text().Text()) + "</p>\n";
            break;
        }
        default:
            break;
    }
    const int next = item.kind() == OutputItem::Kind::Heading ? depth + 1 : depth;
    for (const auto& child : item.children())
        Html(*child, next, s);
    if (closeSection)
        s.body += "</section>\n";
    if (closeOutline)
        s.outline += "</ul></li>";
}

void JsonString(const std::string& text, std::string& out) {
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

// A small indenting JSON writer: members are written in the order given.
class JsonOut {
  public:
    explicit JsonOut(std::string& out) : out_(out) {}
    void Open(char bracket) {
        Separate();
        out_ += bracket;
        ++indent_;
        first_ = true;
    }
    void Close(char bracket) {
        --indent_;
        if (!first_)
            Newline();
        out_ += bracket;
        first_ = false;
    }
    void Key(const std::string& key) {
        Separate();
        JsonString(key, out_);
        out_ += ": ";
        afterKey_ = true;
    }
    void String(const std::string& value) {
        Separate();
        JsonString(value, out_);
    }
    void Raw(const std::string& value) {
        Separate();
        out_ += value;
    }

  private:
    void Newline() {
        out_ += '\n';
        out_.append(static_cast<std::size_t>(indent_) * 2, ' ');
    }
    void Separate() {
        if (afterKey_) {
            afterKey_ = false;
            first_ = false;
            return;
        }
        if (indent_ > 0) {
            if (!first_)
                out_ += ',';
            Newline();
        }
        first_ = false;
    }
    std::string& out_;
    int indent_ = 0;
    bool first_ = true;
    bool afterKey_ = false;
};

void TextJson(const TextRecord& r, JsonOut& j) {
    j.Open('{');
    j.Key("kind");
    j.String(r.kind);
    j.Key("shown");
    j.String(r.text);
    for (const auto& [name, value] : Arguments(r)) {
        j.Key(name);
        j.String(value);
    }
    if (!r.parts.empty()) {
        j.Key("parts");
        j.Open('[');
        for (const TextRecord& part : r.parts)
            TextJson(part, j);
        j.Close(']');
    }
    j.Close('}');
}

void NotesJson(const char* key, const std::vector<TextRecord>& notes, JsonOut& j) {
    if (notes.empty())
        return;
    j.Key(key);
    j.Open('[');
    for (const TextRecord& note : notes)
        TextJson(note, j);
    j.Close(']');
}

void CategoryJson(const CategoryNode& c, JsonOut& j) {
    j.Open('{');
    j.Key(c.group ? "group" : "category");
    TextJson(c.text, j);
    if (c.group) {
        j.Key("show");
        j.Raw(c.show ? "true" : "false");
        j.Key("sort");
        j.Raw(std::to_string(c.sort));
    } else {
        j.Key("leaf");
        j.Raw(std::to_string(c.leafId));
        if (c.hidden) {
            j.Key("hidden");
            j.Raw("true");
        }
    }
    NotesJson("notes", c.notes, j);
    if (!c.children.empty()) {
        j.Key("children");
        j.Open('[');
        for (const auto& child : c.children)
            CategoryJson(*child, j);
        j.Close(']');
    }
    j.Close('}');
}

void PivotJson(const PivotTableRecord& t, JsonOut& j) {
    j.Key("title");
    TextJson(t.title, j);
    j.Key("subType");
    TextJson(t.subType, j);
    j.Key("supportSplits");
    j.Raw(t.supportSplits ? "true" : "false");
    j.Key("titleHidden");
    j.Raw(t.titleHidden ? "true" : "false");
    NotesJson("notes", t.notes, j);
    if (t.caption) {
        j.Key("caption");
        TextJson(*t.caption, j);
    }
    NotesJson("captionNotes", t.captionNotes, j);
    if (t.cornerText) {
        j.Key("cornerText");
        TextJson(*t.cornerText, j);
    }
    if (t.maxDataColumnWidth) {
        j.Key("maxDataColumnWidth");
        j.Raw(std::to_string(*t.maxDataColumnWidth));
    }
    if (t.minDataColumnWidth) {
        j.Key("minDataColumnWidth");
        j.Raw(std::to_string(*t.minDataColumnWidth));
    }
    j.Key("dimensions");
    j.Open('[');
    for (const auto& d : t.dimensions) {
        j.Open('{');
        j.Key("text");
        TextJson(d->text, j);
        j.Key("sort");
        j.Raw(std::to_string(d->sort));
        j.Key("place");
        j.Raw(std::to_string(d->place));
        j.Key("position");
        j.Raw(std::to_string(d->position));
        j.Key("hideName");
        j.Raw(d->hideName ? "true" : "false");
        j.Key("hideChildren");
        j.Raw(d->hideChildren ? "true" : "false");
        NotesJson("notes", d->notes, j);
        NotesJson("topNotes", d->root.notes, j);
        j.Key("categories");
        j.Open('[');
        for (const auto& c : d->root.children)
            CategoryJson(*c, j);
        j.Close(']');
        j.Close('}');
    }
    j.Close(']');
    j.Key("cells");
    j.Open('[');
    t.cells.ForEach([&j](std::span<const int> key, const CellNode& cell) {
        j.Open('{');
        std::string at = "[";
        for (std::size_t i = 0; i < key.size(); ++i) {
            at += (i ? "," : "") + std::to_string(key[i]);
        }
        j.Key("at");
        j.Raw(at + "]");
        if (cell.text) {
            j.Key("value");
            TextJson(*cell.text, j);
        }
        NotesJson("notes", cell.notes, j);
        j.Close('}');
    });
    j.Close(']');
}

void Json(const OutputItem& item, JsonOut& j) {
    j.Open('{');
    j.Key("kind");
    switch (item.kind()) {
        case OutputItem::Kind::Root:
            j.String("root");
            break;
        case OutputItem::Kind::Procedure:
            j.String("procedure");
            j.Key("name");
            j.String(static_cast<const ProcedureItem&>(item).name());
            break;
        case OutputItem::Kind::Heading:
            j.String("heading");
            j.Key("title");
            TextJson(static_cast<const HeadingItem&>(item).title(), j);
            break;
        case OutputItem::Kind::PivotTable:
            j.String("pivotTable");
            PivotJson(static_cast<const PivotTableItem&>(item).table(), j);
            break;
        case OutputItem::Kind::Chart: {
            const ChartRecord& r = static_cast<const ChartItem&>(item).record();
            j.String(r.interactive ? "interactive" : "chart");
            j.Key("description");
            j.String(r.description);
            j.Key("nativeDescription");
            j.Raw(r.nativeDescription ? "true" : "false");
            j.Key("options");
            j.String(r.options);
            if (r.interactive) {
                j.Key("procedureName");
                j.String(r.procedureName);
                j.Key("jsonPath");
                j.String(r.jsonPath);
                j.Key("document");
                j.String(r.interactiveJSON);
            } else {
                j.Key("template");
                j.String(r.vizTemplate);
            }
            j.Key("geoJSON");
            j.Open('[');
            for (const auto& [key, text] : r.geoJSON) {
                j.Open('[');
                j.String(key);
                j.String(text);
                j.Close(']');
            }
            j.Close(']');
            break;
        }
        case OutputItem::Kind::Error: {
            const auto& e = static_cast<const ErrorItem&>(item);
            j.String("error");
            j.Key("text");
            j.String(e.text().Text());
            j.Key("show");
            j.Raw(std::to_string(e.show()));
            j.Key("level");
            j.Raw(std::to_string(e.level()));
            break;
        }
    }
    if (!item.children().empty()) {
        j.Key("children");
        j.Open('[');
        for (const auto& child : item.children())
            Json(*child, j);
        j.Close(']');
    }
    j.Close('}');
}

constexpr const char* kStyle =
    "body{font-family:sans-serif;margin:0;display:flex}"
    "nav{width:16em;padding:1em;background:#f4f4f4;font-size:90%;min-height:100vh}"
    "nav ul{list-style:none;padding-left:1em;margin:0}"
    "main{padding:1em 2em;flex:1}"
    "section.heading{margin-left:.5em}"
    "table.pivot{border-collapse:collapse;margin:1em 0 2em}"
    "table.pivot caption{font-weight:bold;text-align:left;padding:.3em 0}"
    "table.pivot th,table.pivot td{border:1px solid #999;padding:.2em .6em;vertical-align:top}"
    "table.pivot th{background:#e8eef6;font-weight:normal;text-align:left}"
    "table.pivot td.num{text-align:right}"
    "table.pivot tfoot td{border:none;font-size:90%}"
    ".layer{font-weight:normal;font-style:italic}"
    "figure.chart{border:1px dashed #999;padding:.5em;margin:1em 0}"
    "figure.chart pre{max-height:10em;overflow:auto;font-size:80%}"
    "sup{line-height:0;font-size:75%}"
    "p.message.level3,p.message.level4,p.message.level5{color:#a00}";

}  // namespace

std::string RenderText(const OutputItem& item) {
    std::string out;
    Text(item, 1, out);
    return out;
}

std::string RenderHtml(const OutputItem& item, const std::string& pageTitle) {
    HtmlState s;
    Html(item, 0, s);
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(pageTitle) +
           "</title>\n<style>" + kStyle + "</style></head>\n<body>\n<nav><ul>" + s.outline +
           "</ul></nav>\n<main>\n" + s.body + "</main>\n</body></html>\n";
}

std::string RenderJson(const OutputItem& item) {
    std::string out;
    JsonOut j(out);
    Json(item, j);
    out += "\n";
    return out;
}

}  // namespace qehost
