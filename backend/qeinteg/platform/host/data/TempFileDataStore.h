// A copy of a data source's cases in a temporary file, made once at construction: reading the
// copy again costs a file read instead of a conversion. The store has the dictionary of the source
// it copied (usually a UTF8DataSource), with string variables only as wide as their longest text,
// so that the padding a conversion had to reserve is not stored. The file lives in the host's
// temporary directory; when none can be made, the copy is kept in memory.
#pragma once

#include <string>
#include <vector>

#include "qeinteg/platform/host/data/TAVO_DataSource.h"

class TempFileDataStore : public TAVO_DataSource {
  public:
    // Reads every case of source. The source must outlive the store (for its dictionary).
    explicit TempFileDataStore(const TAVO_DataSource& source);
    ~TempFileDataStore() override;
    TempFileDataStore(const TempFileDataStore&) = delete;
    TempFileDataStore& operator=(const TempFileDataStore&) = delete;

    // The file's path; empty when the copy is held in memory.
    const std::string& Path() const { return path_; }
    long CaseCount() const { return caseCount_; }

    int ColumnCount() const override { return source_->ColumnCount(); }
    // The source's variables, strings narrowed to the longest text they hold.
    const TAVO_Variable& GetVariable(int column) const override { return variables_.at(column); }
    int GetWeightVarIndex() const override { return source_->GetWeightVarIndex(); }
    int GetSplitCount() const override { return source_->GetSplitCount(); }
    int GetSplitVarIndex(int i) const override { return source_->GetSplitVarIndex(i); }
    TAVO_InputCaseIterator* MakeIterator(void* filter) const override;

  private:
    const TAVO_DataSource* source_;
    std::vector<TAVO_Variable> variables_;
    std::string path_;
    std::vector<int> offsets_;
    int slotsPerCase_ = 0;
    long caseCount_ = 0;
    std::vector<OBS> memory_;
};
