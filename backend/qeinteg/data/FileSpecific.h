// What the host knows about one file path: its expanded form and whether the file exists, may be
// written, is locked, or is a directory. The state is taken once, when the object is made.
#pragma once

#include <memory>
#include <string>

#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT FileSpecific {
  public:
    // An empty, over-long or otherwise unexpandable path gives an object that is not valid and
    // whose flags are all false.
    explicit FileSpecific(const std::string& path);
    ~FileSpecific();
    FileSpecific(const FileSpecific& other);
    FileSpecific& operator=(const FileSpecific& other);

    std::string ExpandPath() const;
    // Directory part of the expanded path, with its trailing "/".
    std::string Path() const;
    // File-name part of the expanded path.
    std::string Name() const;
    bool IsValid() const;
    bool Exists() const;
    bool ReadOnly() const;
    bool IsInUse() const;
    bool IsLocked() const;
    bool IsDir() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};
