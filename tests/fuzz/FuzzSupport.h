// Helpers shared by the libFuzzer targets: a private scratch directory per process and writing
// the fuzzer's bytes to a file there, for readers that take a path.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace qefuzz {

// A directory of this process's own, removed when the process ends. The path is never destroyed,
// so the exit handler that removes the directory can still read it.
inline const std::string& ScratchDir() {
    static const std::string* const dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        auto* path = new std::string(std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                                     "/qeinteg-fuzz-" + std::to_string(::getpid()));
        std::filesystem::remove_all(*path);
        std::filesystem::create_directories(*path);
        std::atexit([] { std::filesystem::remove_all(ScratchDir()); });
        return path;
    }();
    return *dir;
}

// Writes `bytes` to ScratchDir()/name and returns the path.
inline std::string WriteInput(const std::string& name, std::string_view bytes) {
    const std::string path = ScratchDir() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
        std::abort();
    std::fclose(f);
    return path;
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Splits the input at the first occurrence of `marker`: the part before and the part after (the
// second is empty without a marker).
inline std::pair<std::string_view, std::string_view> SplitAt(std::string_view input,
                                                             std::string_view marker) {
    const auto at = input.find(marker);
    if (at == std::string_view::npos)
        return {input, {}};
    return {input.substr(0, at), input.substr(at + marker.size())};
}

// Pulls every record and every cell of a row source (any type with fields(), next(), cell(i)).
template <typename Source>
void ReadEveryCell(Source& source) {
    const std::size_t columns = source.fields().size();
    while (source.next()) {
        for (std::size_t i = 0; i < columns; ++i)
            source.cell(i);
    }
}

}  // namespace qefuzz
