#include "ZipTestSupport.h"

#include <sys/wait.h>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace ziptest {

void WriteTree(const std::string& root, const Tree& tree) {
    fs::create_directories(root);
    for (const auto& [name, content] : tree) {
        const fs::path path = fs::path(root) / name;
        if (name.back() == '/') {
            fs::create_directories(path);
            continue;
        }
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        out << content;
    }
}

Tree ReadTree(const std::string& root) {
    Tree tree;
    if (!fs::exists(root))
        return tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string name = fs::relative(entry.path(), root).generic_string();
        if (entry.is_directory()) {
            tree[name + "/"] = "";
        } else {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            tree[name] = text.str();
        }
    }
    return tree;
}

Tree SampleTree() {
    std::string binary;
    for (int i = 0; i < 100000; ++i)
        binary.push_back(static_cast<char>((i * 7919) % 256));
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "line " + std::to_string(i) + " of compressible text\n";
    return Tree{{"x.txt", "hello\n"},
                {"empty.dat", ""},
                {"text.txt", text},
                {"sub/", ""},
                {"sub/y.bin", binary},
                {"sub/deeper/", ""},
                {"sub/deeper/z.txt", "zzz"},
                {"sub/größe é.txt", "non-ASCII name"},
                {"emptydir/", ""}};
}

int Run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace ziptest
