// A row iterator over a data file that a write of a finished job produced (QEBF or CSV).
//
// nextRecord() gives 0 with a current row, 1 at the end and 2 when the file is damaged or gone.
// getRecordValue points at a double for numeric storages (dates and times in the engine's
// representation) and at the text's bytes for strings, null for a missing value; the pointer
// lives until the next nextRecord(), Rewind() or dispose(). After dispose() every call fails.
//
// Ownership: the executor that handed the iterator out owns it until release(); an iterator still
// undisposed then becomes its caller's, and dispose() frees it. So a caller that disposes after
// the executor was released (a runner reused for another job) touches nothing freed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/platform/engine/io/WriteOperator.h"

namespace qelocal {

class OutputRowIterator final : public EmbeddedQE::RowDataIterator {
  public:
    OutputRowIterator(std::string name, WrittenOutput output);
    ~OutputRowIterator() override;

    std::string getName() override { return name_; }
    std::string getDataModel() override;
    uint32_t nextRecord() override;
    uint32_t getRecordValue(size_t index, const void** data, size_t* length) override;
    void dispose(JNIEnv* env) override;
    uint32_t Rewind() override;

    // Called by the executor's release(): frees a disposed iterator now, or hands an undisposed one
    // over to be freed by its dispose().
    static void Release(OutputRowIterator* iterator);

  private:
    std::string name_;
    WrittenOutput output_;
    std::unique_ptr<RowSource> source_;
    bool current_ = false;
    bool disposed_ = false;
    bool orphaned_ = false;
    std::string error_;
    // One slot per field, so that the values of one row stay valid together.
    std::vector<double> numbers_;
    std::vector<std::string> texts_;
};

}  // namespace qelocal
