// Names a delimited text file of cases (CSV, RFC 4180 quoting) and how to read it.
//
// When the first row holds names, each name cell may carry the variable's format and measurement
// level: "name", "name:format" or "name:format:level", e.g. "income:F10.2:scale", "city:A24",
// "born:DATE11". Levels are nominal, ordinal, scale or unknown. Without a format a column is
// numeric when every non-empty cell is a number, else a string as wide as its longest cell. Files
// are in the host code page.
//
// An optional dictionary file adds what a header cannot hold, one statement per line (blank lines
// and lines starting with "#" are ignored; a token with blanks is written in double quotes, a quote
// inside it doubled):
//   label   VAR "Text of the label"
//   value   VAR VALUE "Label of the value"
//   missing VAR VALUE [VALUE [VALUE]]         discrete user-missing values
//   range   VAR LOW HIGH [VALUE]              a missing range, optionally with one more value
//   level   VAR nominal|ordinal|scale|unknown
//   role    VAR input|target|both|none|partition|split
//   weight  VAR                               the frequency weight (a numeric variable)
//   split   VAR [VAR ...]                     the split variables
// Values of date variables are written as in the data ("1970-01-02"), of strings as text.
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
    // The dictionary file; empty (the default) for none.
    const std::string& DictionaryPath() const { return dictionaryPath_; }
    void SetDictionaryPath(const std::string& path) { dictionaryPath_ = path; }

  private:
    std::string path_;
    bool namesInFirstRow_ = true;
    char delimiter_ = ',';
    std::string dictionaryPath_;
};
