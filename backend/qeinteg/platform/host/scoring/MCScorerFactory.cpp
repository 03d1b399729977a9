#include "qeinteg/platform/host/scoring/MCScorerFactory.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <new>
#include <string>

#include <pugixml.hpp>

#include "qeinteg/platform/host/scoring/PmmlCore.h"
#include "qeinteg/platform/host/scoring/PmmlScoreComputer.h"

namespace MCScoring_910 {

namespace {

// Compilation recurses along the element tree; a hostile document must not exhaust the stack.
constexpr int kMaxDepth = 400;

struct DepthWalker : pugi::xml_tree_walker {
    int deepest = 0;
    bool for_each(pugi::xml_node&) override {
        deepest = std::max(deepest, depth());
        return deepest <= kMaxDepth;
    }
};

}  // namespace

MCXML_910::IMCScoreComputer* MCScorerFactory::CreateMCScoringObject(MCXML_910::MCSettings& settings,
                                                                    std::istream& stream) {
    settings.SetErrorMessage("");
    try {
        const std::string text((std::istreambuf_iterator<char>(stream)),
                               std::istreambuf_iterator<char>());
        if (text.empty()) {
            settings.SetErrorMessage("the model document is empty");
            return nullptr;
        }
        pugi::xml_document xml;
        const pugi::xml_parse_result parsed = xml.load_buffer(text.data(), text.size());
        if (!parsed) {
            settings.SetErrorMessage(std::string("the model document is not XML: ") +
                                     parsed.description() + " at offset " +
                                     std::to_string(parsed.offset));
            return nullptr;
        }
        DepthWalker walker;
        xml.traverse(walker);
        if (walker.deepest > kMaxDepth) {
            settings.SetErrorMessage("the model document nests elements more than " +
                                     std::to_string(kMaxDepth) + " deep");
            return nullptr;
        }
        auto doc = std::make_shared<mcpmml::Document>();
        mcpmml::Compiler compiler(*doc);
        if (!compiler.CompileDocument(xml.document_element())) {
            settings.SetErrorMessage(compiler.Error());
            return nullptr;
        }
        return new mcpmml::PmmlScoreComputer(std::move(doc));
    } catch (const std::bad_alloc&) {
        settings.SetErrorMessage("out of memory while reading the model document");
        return nullptr;
    }
}

}  // namespace MCScoring_910
