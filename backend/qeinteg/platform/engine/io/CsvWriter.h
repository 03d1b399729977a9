// Writes records as CSV: a header line of field names, then one line per record. Numbers are
// written in their shortest exact form, dates and times as ISO texts, missing values as empty
// unquoted cells, and texts quoted when they hold a comma, a quote, a line break or nothing.
// Geometry fields are written as GeoJSON geometry objects.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTypes.h"

namespace qelocal {

class CsvWriter {
  public:
    CsvWriter(const std::string& path, const std::vector<EngineField>& fields);
    ~CsvWriter();  // removes the file unless finish() succeeded
    CsvWriter(const CsvWriter&) = delete;
    CsvWriter& operator=(const CsvWriter&) = delete;

    void writeRecord(RowSource& source);
    void finish();

  private:
    void putText(std::string_view text);
    void flush();

    std::string path_;
    std::FILE* file_ = nullptr;
    std::vector<EngineField> fields_;
    std::string buffer_;
    std::string geometry_;  // scratch for geometry cells
    bool finished_ = false;
};

}  // namespace qelocal
