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

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Start the JVM once, before the first input.
    JNIObjectManager::getManager()->getEnv();
    // The error lines of refused documents are noise. libFuzzer itself silences the target's
    // stderr with -close_fd_mask=2 while keeping its own statistics and sanitizer reports on a
    // duplicate descriptor (closing stderr here would lose those too); it reads its flags after
    // this call, so the flag is added here.
    static std::vector<char*> args(*argv, *argv + *argc);
    static char closeStderr[] = "-close_fd_mask=2";
    args.insert(args.begin() + 1, closeStderr);
    args.push_back(nullptr);
    *argc = static_cast<int>(args.size()) - 1;
    *argv = args.data();
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
