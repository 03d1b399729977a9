#include "qeinteg/platform/host/data/FetchFile.h"

#include <sys/stat.h>

#include <cstdio>

#include "qeinteg/platform/host/text/ExtNameStr.h"

bool FetchFile::fetch(const std::string& path, std::string& content) {
    content.clear();
    if (path.empty())
        return false;
    ExtNameStr name(path.c_str());
    FILE* file = name.fopen("rb");
    if (file == nullptr)
        return false;
    struct stat st {};
    if (::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(file);
        return false;
    }
    char buffer[1 << 16];
    bool ok = true;
    for (;;) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, file);
        content.append(buffer, got);
        if (got < sizeof buffer) {
            ok = std::ferror(file) == 0;
            break;
        }
    }
    std::fclose(file);
    if (!ok)
        content.clear();
    return ok;
}
