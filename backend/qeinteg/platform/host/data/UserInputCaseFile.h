// Reads a file named by a UserCaseFileSpec into an in-memory dataset. A file that cannot be read
// or parsed gives an empty data source and an error text.
#pragma once

#include <string>

#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/data/UserCaseFileSpec.h"

class UserInputCaseFile {
  public:
    explicit UserInputCaseFile(const UserCaseFileSpec& caseFile);

    bool IsOpen() const { return error_.empty(); }
    // Why the file could not be read; empty when it was.
    const std::string& Error() const { return error_; }
    const TAVO_DataSource& DataSource() const { return data_; }
    const HostDataset& Dataset() const { return data_; }

  private:
    HostDataset data_;
    std::string error_;
};
