// Record expressions: the lambdas of filters, derivations, reclassifications and balancing
// (docs/qel.md, Expressions), compiled against a record layout and evaluated a batch at a time.
//
// Missing values propagate as in SQL: arithmetic, comparisons and most functions with a missing
// operand give missing; `a && b` is false when either side is false and `a || b` true when either
// side is true, whatever the other; `isMissing` is never missing. A filter keeps only rows whose
// condition is true.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qeinteg/platform/engine/exec/Batch.h"

namespace qelocal {

// The value kinds of expressions. Bool travels as 0/1 in numbers; lists and tuples exist only as
// results of a whole expression (a derived list field is stored as its JSON text).
enum class ValueType { Null, Bool, Int, Real, String, Date, Time, Timestamp, List, Tuple };

const char* ValueTypeText(ValueType type);

// The values of one expression over the rows of a batch. For a list or tuple result the items are
// in `items`.
struct ValueVector {
    ValueType type = ValueType::Null;
    std::vector<double> num;
    std::vector<std::string> str;
    std::vector<uint8_t> valid;
    std::vector<ValueVector> items;
};

class CompiledExpression {
  public:
    // Compiles `lambda` (for example `ctx => x => x.age > 30`) against `fields`. Throws
    // EngineError naming `context`, the expression text and the culprit (an unknown field, a
    // type mismatch, a syntax error with its column).
    static std::unique_ptr<CompiledExpression> Compile(const std::string& lambda,
                                                       const std::vector<EngineField>& fields,
                                                       const std::string& context);
    ~CompiledExpression();

    ValueType type() const;
    // For a tuple or list result: the types of its items.
    std::vector<ValueType> itemTypes() const;
    // The expression's value for each row of `batch`. The result is valid until the next call.
    const ValueVector& evaluate(const Batch& batch);
    // For a tuple or list result: only item `index`, without building the others.
    const ValueVector& evaluateItem(const Batch& batch, size_t index);
    // The body text after the lambda parameters.
    const std::string& text() const { return text_; }

    struct Node;

  private:
    CompiledExpression() = default;
    std::string text_;
    std::unique_ptr<Node> root_;
};

// The storage that a value of `type` gets in a record; lists and tuples become strings.
Storage StorageOfValueType(ValueType type);
// The expression type of a field of `storage`.
ValueType ValueTypeOfStorage(Storage storage);

// Writes the value of row `row` of `values` into `column` (whose storage is
// StorageOfValueType(values.type)); lists and tuples are written as JSON texts.
void AppendValue(Column& column, const ValueVector& values, size_t row);

}  // namespace qelocal
