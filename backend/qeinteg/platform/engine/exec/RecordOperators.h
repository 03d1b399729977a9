// The record-at-a-time functions that stream: filterFields, filterRecords, deriveFields,
// reclassifyField, balanceRecords and updateDataModel. Each checks its configuration against the
// input layout when it is made and throws EngineError naming the culprit.
#pragma once

#include <memory>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/exec/Batch.h"
#include "qeinteg/platform/engine/exec/Expression.h"

namespace qelocal {

// {"fields": [names]}: keeps the named fields in the order named.
class FilterFieldsOperator final : public BatchStream {
  public:
    FilterFieldsOperator(std::unique_ptr<BatchStream> input, const nlohmann::ordered_json& config,
                         const std::string& context);
    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next(Batch& out) override;

  private:
    std::unique_ptr<BatchStream> input_;
    std::vector<EngineField> fields_;
    std::vector<size_t> keep_;
    Batch in_;
};

// filterRecords(_, condition): keeps rows whose condition is true (false and missing drop).
class FilterRecordsOperator final : public BatchStream {
  public:
    FilterRecordsOperator(std::unique_ptr<BatchStream> input, const std::string& lambda,
                          const std::string& context);
    const std::vector<EngineField>& fields() const override { return input_->fields(); }
    bool next(Batch& out) override;

  private:
    std::unique_ptr<BatchStream> input_;
    std::unique_ptr<CompiledExpression> condition_;
    std::vector<uint8_t> keep_;
};

// deriveFields(_, derive) and reclassifyField(_, derive): the lambda gives ("name", value). A
// derivation adds the field at the end (or replaces one of that name); a reclassification replaces
// an existing field in place and fails when there is none.
class DeriveOperator final : public BatchStream {
  public:
    DeriveOperator(std::unique_ptr<BatchStream> input, const std::string& lambda, bool reclassify,
                   const std::string& context);
    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next(Batch& out) override;

  private:
    std::unique_ptr<BatchStream> input_;
    std::unique_ptr<CompiledExpression> expression_;
    std::vector<EngineField> fields_;
    size_t target_ = 0;
    bool append_ = false;
};

// balanceRecords(_, expression): each record is repeated by a factor. The expression is a number,
// or a list of (condition, factor) pairs where the first true condition gives the factor (1 when
// none is). A factor f emits floor(f) copies and one more with probability f - floor(f), drawn
// from a generator with a fixed seed so that runs repeat; a missing or negative factor drops the
// record.
class BalanceOperator final : public BatchStream {
  public:
    BalanceOperator(std::unique_ptr<BatchStream> input, const std::string& lambda,
                    const std::string& context);
    const std::vector<EngineField>& fields() const override { return input_->fields(); }
    bool next(Batch& out) override;

  private:
    std::unique_ptr<BatchStream> input_;
    std::unique_ptr<CompiledExpression> expression_;
    std::mt19937_64 random_{20240601};
    Batch in_;
};

// {"fields": [{"name", "measure"?, "storage"?, "role"?, "displayLabel"?, "valueLabels"?,
// "missingValues"?, "Geo"?}]}: changes the data model of named fields; a storage change converts
// the values (texts that are not numbers become missing). "Geo" makes a field a geometry field: a
// derived coordinate list ("[x, y]" or "[x, y, z]") becomes a point, and a record whose list does
// not hold that many numbers fails the job naming the record.
class UpdateDataModelOperator final : public BatchStream {
  public:
    UpdateDataModelOperator(std::unique_ptr<BatchStream> input,
                            const nlohmann::ordered_json& config, const std::string& context);
    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next(Batch& out) override;

  private:
    void ApplyGeo(const nlohmann::ordered_json& config, EngineField& field, size_t index,
                  const std::string& context);

    std::unique_ptr<BatchStream> input_;
    std::vector<EngineField> fields_;
    std::vector<size_t> converted_;  // fields whose storage changed
    std::vector<std::pair<size_t, int>> points_;  // coordinate lists to points: field, count
    std::string context_;
    uint64_t rows_ = 0;
};

// A result read by several consumers: the first to read drains the input into memory, every
// reader gets all batches.
class SharedResult {
  public:
    explicit SharedResult(std::unique_ptr<BatchStream> input) : input_(std::move(input)) {}
    const std::vector<EngineField>& fields() const { return input_->fields(); }
    // Batch `index`, or null after the last.
    const Batch* batch(size_t index);

  private:
    std::unique_ptr<BatchStream> input_;
    std::vector<Batch> batches_;
    bool done_ = false;
};

class SharedReader final : public BatchStream {
  public:
    explicit SharedReader(std::shared_ptr<SharedResult> result) : result_(std::move(result)) {}
    const std::vector<EngineField>& fields() const override { return result_->fields(); }
    bool next(Batch& out) override;

  private:
    std::shared_ptr<SharedResult> result_;
    size_t index_ = 0;
};

// Converts the values of `column` to `storage` in place.
void ConvertColumn(Column& column, Storage storage);

}  // namespace qelocal
