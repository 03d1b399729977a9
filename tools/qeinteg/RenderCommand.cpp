#include "RenderCommand.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/output/OutputOrder.h"
#include "qeinteg/output/jsonToPennant.h"
#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/process/FacSTDictionary.h"
#include "qeinteg/platform/host/viewer/OutputRender.h"

namespace {

int Usage(const char* message) {
    std::fprintf(stderr,
                 "qeinteg render: %s\n"
                 "usage: qeinteg render DOC.json SECTION [--item HEADING=PATH ...] [--html FILE] "
                 "[--text FILE]\n",
                 message);
    return 2;
}

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
    std::vector<std::string> positional;
    std::vector<std::string> items;
    std::string htmlFile;
    std::string textFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--item" || arg == "--html" || arg == "--text") {
            if (i + 1 >= argc)
                return Usage(("missing value after " + arg).c_str());
            const std::string value = argv[++i];
            if (arg == "--item") {
                items.push_back(value);
            } else if (arg == "--html") {
                htmlFile = value;
            } else {
                textFile = value;
            }
        } else if (arg.rfind("--", 0) == 0) {
            return Usage(("unknown option " + arg).c_str());
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2)
        return Usage("expected a document and a section name");
    const std::string& docPath = positional[0];
    const std::string& section = positional[1];

    std::string text;
    if (!ReadAll(docPath, text)) {
        std::fprintf(stderr, "qeinteg render: cannot read %s\n", docPath.c_str());
        return 1;
    }

    qehost::HostOutput::instance().reset();
    FacSTDictionary dictionary;
    bool rendered = false;
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
            }
        }
        for (const std::string& item : items) {
            const auto equals = item.find('=');
            if (equals == std::string::npos)
                return Usage("--item takes HEADING=PATH");
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
        }
        rendered = renderer.generateOutput(section);
    }

    const qehost::OutputItem& root = qehost::HostOutput::instance().root();
    const std::string rendering = qehost::RenderText(root);
    if (!textFile.empty()) {
        if (!WriteAll(textFile, rendering)) {
            std::fprintf(stderr, "qeinteg render: cannot write %s\n", textFile.c_str());
            return 1;
        }
    } else {
        std::fputs(rendering.c_str(), stdout);
    }
    if (!htmlFile.empty() && !WriteAll(htmlFile, qehost::RenderHtml(root, docPath))) {
        std::fprintf(stderr, "qeinteg render: cannot write %s\n", htmlFile.c_str());
        return 1;
    }
    if (!rendered) {
        std::fprintf(stderr, "qeinteg render: %s has no section \"%s\" that could be rendered\n",
                     docPath.c_str(), section.c_str());
        return 1;
    }
    return 0;
}
