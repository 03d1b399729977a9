// Names a delimited text file of cases (CSV, RFC 4180 quoting) and how to read it.
//
// When the first row holds names, each name cell may carry the variable's format and measurement
// level: "name", "name:format" or "name:format:level", e.g. "income:F10.2:scale", "city:A24",
// "born:DATE11". Levels are nominal, ordinal, scale or unknown. Without a format a column is
// numeric when every non-empty cell is a number, else a string as wide as its longest cell. Files
// are in the host code page.
#pragma once

#include <string>

class UserCaseFileSpec {
  public:
    // Returns false for an empty path.
    bool Init(const std::string& path, bool namesInFirstRow, bool reserved);

    const std::string& Path() const { return path_; }
    bool NamesInFirstRow() const { return namesInFirstRow_; }
    char Delimiter() const { return delimiter_; }
    void SetDelimiter(char delimiter) { delimiter_ = delimiter; }

  private:
    std::string path_;
    bool namesInFirstRow_ = true;
    char delimiter_ = ',';
};
