// The zip reader on any bytes: entries are walked and read into memory, then the archive is
// extracted into a directory inside a jail. Nothing may land outside the target (the jail must
// hold the target alone afterwards), and a failed extraction leaves no target behind.
#include <cstdlib>
#include <filesystem>

#include "FuzzSupport.h"
#include "qeinteg/data/ZipReader.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string archive = qefuzz::WriteInput("input.zip", qefuzz::AsText(data, size));
    ZipReader::Limits limits;
    limits.maxStringBytes = 1 << 20;  // keep the fuzzer's memory small
    limits.maxExtractBytes = 4 << 20;
    {
        ZipReader reader(archive);
        reader.SetLimits(limits);
        std::string name;
        std::string text;
        bool isDirectory = false;
        for (bool more = reader.GetFirst(name, isDirectory); more;
             more = reader.GetNext(name, isDirectory)) {
            if (!isDirectory)
                reader.ExportString(text);
        }
    }
    const fs::path jail = fs::path(qefuzz::ScratchDir()) / "jail";
    const fs::path target = jail / "target";
    fs::remove_all(jail);
    fs::create_directories(jail);
    bool extracted = false;
    {
        ZipReader reader(archive);
        reader.SetLimits(limits);
        extracted = reader.ExportFullDirectory(target.string());
    }
    for (const auto& entry : fs::directory_iterator(jail)) {
        if (entry.path() != target)
            std::abort();  // an entry escaped the target
    }
    if (!extracted && fs::exists(target))
        std::abort();  // a failed extraction takes back what it made
    for (const auto& entry : fs::directory_iterator(qefuzz::ScratchDir())) {
        const auto name = entry.path().filename();
        if (name != "input.zip" && name != "jail")
            std::abort();
    }
    fs::remove_all(jail);
    return 0;
}
