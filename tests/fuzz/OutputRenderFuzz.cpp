// The output renderer and pivot table builder on any document, with the JVM in this process: the
// render command renders every table of every section it finds. It may refuse a document; it may
// not crash.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandLine.h"
#include "FuzzSupport.h"
#include "RenderCommand.h"
#include "qeinteg/java/JNIObjectManager.h"

namespace {

int Render(std::vector<std::string> args) {
    args.insert(args.begin(), "render");
    return qecli::RunInProcess(RunRenderCommand, std::move(args));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Start the JVM once, before the first input; stderr lines from refused documents are noise.
    JNIObjectManager::getManager()->getEnv();
    std::freopen("/dev/null", "w", stderr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(qefuzz::AsText(data, size));
    const std::string doc = qefuzz::WriteInput("doc.json", text);
    const std::string out = qefuzz::ScratchDir() + "/out.txt";
    std::set<std::string> sections{"out"};
    const nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
    if (parsed.is_object()) {
        for (const auto& [key, value] : parsed.items()) {
            if (sections.size() < 4)
                sections.insert(key);
        }
    }
    for (const std::string& section : sections) {
        Render({doc, section, "--text", out});
        Render({doc, section, "--text", out, "--json"});
    }
    return 0;
}
