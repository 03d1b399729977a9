// Helpers shared by the zip tests: trees of files to pack, tree comparison, shell commands.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace ziptest {

// Relative path ("/" separators, directories end in "/") -> content ("" for directories).
using Tree = std::map<std::string, std::string>;

// Creates the tree below root (which is created when missing).
void WriteTree(const std::string& root, const Tree& tree);
// Reads the tree below root.
Tree ReadTree(const std::string& root);
// A tree with text, binary, empty and nested entries.
Tree SampleTree();
// Runs a shell command quietly; its exit status.
int Run(const std::string& command);

}  // namespace ziptest
