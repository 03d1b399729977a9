// join(config, TAG1=input, TAG2=input): matches the records of two inputs on pairs of fields.
//
// Configuration: "matchFields": [{TAG1: field, TAG2: field}, ...] (empty only for Cartesian),
// "outputFields": {TAG: [fields]} (optional: without it every field of both inputs, a name taken
// by an earlier input getting "_" + TAG), "joinType": "Inner" | "Outer" | "Anti" | "Cartesian",
// "nonMatchingSources": [TAG, ...] (Outer and Anti: whose unmatched records are output; all
// inputs when absent).
//
// The second input is read into a hash table; the first streams past it. Missing keys never
// match. Output order: first-input order with matches in second-input order, then the unmatched
// records of the second input. Fields of the side that has no record are missing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/exec/Batch.h"

namespace qelocal {

struct JoinInput {
    std::string tag;
    std::unique_ptr<BatchStream> stream;
};

class JoinOperator final : public BatchStream {
  public:
    enum class Type { Inner, Outer, Anti, Cartesian };

    JoinOperator(std::vector<JoinInput> inputs, const nlohmann::ordered_json& config,
                 const std::string& context, const ExecContext& exec);
    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next(Batch& out) override;

  private:
    void build();
    void emit(Batch& out, const Column* probe, size_t probeRow, int64_t buildRow);
    int64_t findChain(size_t probeRow);

    std::vector<JoinInput> inputs_;
    const ExecContext& exec_;
    std::string context_;
    Type type_ = Type::Inner;
    bool keepProbeUnmatched_ = false;
    bool keepBuildUnmatched_ = false;
    std::vector<size_t> probeKeys_, buildKeys_;
    std::vector<EngineField> fields_;
    // Output columns: from which side (0 probe, 1 build) and which field.
    std::vector<std::pair<int, size_t>> sources_;

    // The build side: all its rows column by column, a table of distinct keys (row of the first
    // record + 1) and the chain of records with the same key.
    std::vector<Column> build_;
    size_t buildRows_ = 0;
    std::vector<uint64_t> buildHash_;
    std::vector<uint32_t> slots_;
    std::vector<int64_t> nextInChain_;
    std::vector<uint8_t> matched_;
    bool built_ = false;

    // The probe position, kept between calls of next().
    Batch probe_;
    std::vector<uint64_t> probeHash_;
    size_t probeRow_ = 0;
    int64_t chain_ = -1;  // next build row of the current probe row's chain
    bool rowMatched_ = false;
    bool probeDone_ = false;
    size_t unmatchedRow_ = 0;
};

}  // namespace qelocal
