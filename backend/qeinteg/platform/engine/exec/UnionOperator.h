// union({"matchByPosition": bool, "matchCase": bool}, TAG=input, ...): the records of every input
// in turn. By name (the default) the output has every field name in order of first appearance,
// compared without regard to letter case unless "matchCase" is true (the first spelling is kept);
// by position it has the fields of the widest input, named as in the first input that has them.
// An input without a field gives missing values. Storages must agree (integer and real give real,
// any other mix fails naming the field).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/exec/Batch.h"
#include "qeinteg/platform/engine/exec/JoinOperator.h"

namespace qelocal {

class UnionOperator final : public BatchStream {
  public:
    UnionOperator(std::vector<JoinInput> inputs, const nlohmann::ordered_json& config,
                  const std::string& context);
    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next(Batch& out) override;

  private:
    std::vector<JoinInput> inputs_;
    std::vector<EngineField> fields_;
    // Per input, per output field: the input's field index or -1.
    std::vector<std::vector<int>> mapping_;
    size_t current_ = 0;
    Batch in_;
};

}  // namespace qelocal
