#include "RenderCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/output/OutputOrder.h"
#include "qeinteg/output/jsonToPennant.h"
#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/process/FacSTDictionary.h"
#include "qeinteg/platform/host/viewer/OutputRender.h"

namespace {

bool ReadAll(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    out = text.str();
    return true;
}

bool WriteAll(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

std::string Join(const std::vector<std::string>& parts, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count && i < parts.size(); ++i) {
        if (i > 0)
            out += ".";
        out += parts[i];
    }
    return out;
}

int CountItems(const qehost::OutputItem& item, qehost::OutputItem::Kind kind) {
    int n = item.kind() == kind ? 1 : 0;
    for (const auto& child : item.children())
        n += CountItems(*child, kind);
    return n;
}

class Finder {
  public:
    explicit Finder(JNIJSONObject& document) : document_(document) {}

    // Paths (below the section) of the table objects, depth first in member-name order.
    void Tables(jobject node, std::vector<std::string>& path,
                std::vector<std::vector<std::string>>& out) {
        if (!document_.isJSONObject(node))
            return;
        const std::set<std::string> keys = document_.keySet(node);
        if (!path.empty() && keys.count("cells") != 0 && keys.count("dimensions") != 0) {
            out.push_back(path);
            return;
        }
        for (const std::string& key : keys) {
            jobject child = document_.get(node, key.c_str());
            path.push_back(key);
            Tables(child, path, out);
            path.pop_back();
        }
    }

    // The plain title of a table object, when it is a string text.
    std::string Title(jobject table) {
        jobject text = document_.getByPath(table, "title.text.text.stringText");
        if (!document_.isJSONObject(text))
            return {};
        std::string value = document_.getChildAsString(text, "value");
        return value.empty() ? document_.getChildAsString(text, "key") : value;
    }

    bool IsTable(jobject node) {
        if (!document_.isJSONObject(node))
            return false;
        return document_.keySet(node).count("cells") != 0;
    }

    bool IsMap(jobject node) {
        return document_.isJSONObject(node) && document_.keySet(node).count("parameters") != 0;
    }

  private:
    JNIJSONObject& document_;
};

}  // namespace

int RunRenderCommand(int argc, char** argv) {
    qecli::CommandLine cli("render",
                           "DOC.json SECTION [--item HEADING=PATH ...] [--html FILE] [--text FILE] "
                           "[--json]",
                           "render a section of an engine output document as host output");
    std::vector<std::string> positional;
    std::vector<std::string> items;
    std::string htmlFile;
    std::string textFile;
    bool json = false;
    cli.Repeated("--item", "HEADING=PATH", items,
                 "render only these items, under these headings (default: every table)");
    cli.Option("--html", "FILE", htmlFile, "also write the rendering as an HTML page");
    cli.Option("--text", "FILE", textFile, "write the text rendering here instead of stdout");
    cli.Flag("--json", json, "print the recorded host output as JSON instead of text");
    cli.Positionals(positional, 2, 2);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    for (const std::string& item : items) {
        if (item.find('=') == std::string::npos)
            return cli.UsageError("--item takes HEADING=PATH, not " + item);
    }
    const std::string& docPath = positional[0];
    const std::string& section = positional[1];

    std::string text;
    if (!ReadAll(docPath, text))
        return cli.Failure(docPath, std::string("cannot read it: ") + std::strerror(errno));

    qehost::HostOutput::instance().reset();
    FacSTDictionary dictionary;
    bool rendered = false;
    int tablesAsked = 0;
    std::string parseError;
    {
        PnProcedure procedure(section);
        jsonToPennant renderer(&procedure, nullptr, dictionary, text);
        JNIJSONObject document(text.c_str());
        Finder finder(document);
        jobject sectionNode =
            document.isGood() ? document.get(document.getTop(), section.c_str()) : nullptr;
        if (items.empty() && sectionNode != nullptr) {
            std::vector<std::vector<std::string>> tables;
            std::vector<std::string> path;
            finder.Tables(sectionNode, path, tables);
            for (const auto& table : tables) {
                const std::string dotted = Join(table, table.size());
                std::string title = finder.Title(document.getByPath(sectionNode, dotted));
                if (title.empty())
                    title = table.back();
                OutputOrder order;
                order.setHeading(Join(table, table.size() - 1));
                order.addLocation(table);
                order.setOutlineTitle(title);
                renderer.addObjectToOutput(order);
                ++tablesAsked;
            }
        }
        for (const std::string& item : items) {
            const auto equals = item.find('=');
            const std::string path = item.substr(equals + 1);
            jobject node = sectionNode != nullptr ? document.getByPath(sectionNode, path) : nullptr;
            OutputOrder::Type type = OutputOrder::PivotTable;
            if (node != nullptr && !finder.IsTable(node)) {
                type = finder.IsMap(node) ? OutputOrder::MapChart : OutputOrder::Chart;
            }
            const auto parts = OutputOrder::SplitPath(path);
            OutputOrder order;
            order.setHeading(item.substr(0, equals));
            order.addLocation(path);
            order.setType(type);
            std::string title = type == OutputOrder::PivotTable && node != nullptr
                                    ? finder.Title(node)
                                    : std::string();
            if (title.empty())
                title = parts.empty() ? path : parts.back();
            order.setOutlineTitle(title);
            renderer.addObjectToOutput(order);
            if (type == OutputOrder::PivotTable)
                ++tablesAsked;
        }
        if (!document.isGood())
            parseError = document.getParserError();
        rendered = renderer.generateOutput(section);
    }
    const int tablesMade =
        CountItems(qehost::HostOutput::instance().root(), qehost::OutputItem::Kind::PivotTable);

    const qehost::OutputItem& root = qehost::HostOutput::instance().root();
    const std::string rendering = json ? qehost::RenderJson(root) : qehost::RenderText(root);
    if (!textFile.empty()) {
        if (!WriteAll(textFile, rendering))
            return cli.Failure(textFile, "cannot write it");
    } else {
        std::fputs(rendering.c_str(), stdout);
    }
    if (!htmlFile.empty() && !WriteAll(htmlFile, qehost::RenderHtml(root, docPath)))
        return cli.Failure(htmlFile, "cannot write it");
    if (!parseError.empty())
        return cli.Failure(docPath, "not a JSON document: " + parseError);
    if (!rendered)
        return cli.Failure(docPath, "no section \"" + section + "\" that could be rendered");
    if (tablesMade < tablesAsked) {
        return cli.Failure(docPath, std::to_string(tablesAsked - tablesMade) + " of " +
                                        std::to_string(tablesAsked) +
                                        " tables could not be rendered (not table objects)");
    }
    return qecli::kExitOk;
}
