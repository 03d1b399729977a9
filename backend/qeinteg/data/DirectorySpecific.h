// One directory: its expanded path (always ending in "/"), whether it exists and may be written,
// and a listing of its entries that match a glob pattern.
#pragma once

#include <memory>
#include <string>

#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT DirectorySpecific {
  public:
    // Trailing separators are ignored ("/a/b//" is "/a/b"; "/" stays the root).
    explicit DirectorySpecific(const std::string& path);
    ~DirectorySpecific();
    // A copy has the same path, flags and current entry, but no open listing of its own.
    DirectorySpecific(const DirectorySpecific& other);
    DirectorySpecific& operator=(const DirectorySpecific& other);

    std::string ExpandPath() const;
    bool Exists() const;
    bool ReadOnly() const;

    // Starts a new listing (closing any open one) and moves to its first entry other than "." and
    // ".." whose name matches `pattern` (fnmatch: "*", "?", "[...]"; hidden files included).
    // False when there is none or the directory cannot be read.
    bool BrowseFile();
    bool BrowseFile(const std::string& pattern);
    // Moves to the next matching entry; false when no listing is open or it is exhausted.
    bool Next();
    // The current entry: its name and whether it is a directory.
    void GetFileSpec(std::string& name, bool& isDirectory) const;
    // How many entries the current listing has produced.
    int Count() const;

    // FormUniqueFileName(ExpandPath() + name).
    std::string FormUniqueFileName(const std::string& name) const;

  private:
    bool Advance();

    struct State;
    std::unique_ptr<State> state_;
};
