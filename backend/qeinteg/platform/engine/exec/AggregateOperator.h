// aggregate({"output": [entry...]}): grouped summaries in one hash table.
//
// An entry is {"input": FIELD, "function": NAME, "outName": NAME?, "centile": 1..100?}. Entries
// with the function "key" are the grouping fields (in their order); the others are summaries:
// count, min, max, sum, mean, sd, variance, median, percentile, first, last, countDistinct. Output
// fields follow the entries in their order; the default out name is the input name for a key,
// "count" for a count without input, else INPUT_FUNCTION. Missing values are skipped by every
// summary (a count without input counts records); a summary of no values is missing, a count of
// none is 0. Groups come out in the order of their first record; missing keys form a group of their
// own. Without key entries the whole input is one group, also when it is empty.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/exec/Batch.h"

namespace qelocal {

class AggregateOperator final : public BatchStream {
  public:
    AggregateOperator(std::unique_ptr<BatchStream> input, const nlohmann::ordered_json& config,
                      const std::string& context, const ExecContext& exec);
    ~AggregateOperator() override;
    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next(Batch& out) override;

    struct Summary;

  private:
    void consume();
    uint32_t groupOf(const Batch& batch, const std::vector<const Column*>& keys, size_t row,
                     uint64_t hash);
    void grow();

    std::unique_ptr<BatchStream> input_;
    const ExecContext& exec_;
    std::string context_;
    std::vector<EngineField> fields_;
    std::vector<size_t> keyInputs_;
    std::vector<std::unique_ptr<Summary>> summaries_;  // summaries
    std::vector<int> outputOrder_;                     // >= 0: key index; < 0: -(summary index) - 1
    // Groups: key values column by column, and an open-addressing table of group numbers + 1.
    std::vector<Column> groupKeys_;
    std::vector<uint64_t> groupHash_;
    std::vector<uint32_t> slots_;
    uint32_t groups_ = 0;
    bool consumed_ = false;
    uint32_t emitted_ = 0;
};

}  // namespace qelocal
