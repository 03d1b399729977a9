// Builds the "join" function, which matches the records of its tagged inputs on pairs of fields.
// Inputs are addressed in the options by their position in the predecessor list (0 for the first
// added); a position without an input is skipped wherever it is named.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/QELFunction.h"

class QEINTEG_EXPORT QELJoin : public QELFunction {
  public:
    // Fixed to int: any other value a caller passes is taken as Inner.
    enum JoinType : int { Inner = 0, Outer = 1, Anti = 2, Cartesian = 3 };

    explicit QELJoin(JNIQelProgram* program);
    ~QELJoin() override;

    void SetJoinType(JoinType type);
    // Records of firstInput match records of secondInput where firstField equals secondField.
    void AddMatchField(unsigned long long firstInput, const std::string& firstField,
                       unsigned long long secondInput, const std::string& secondField);
    // The fields kept from one input (replaces an earlier list for that input).
    void SetOutputFieldNames(unsigned long long input, const std::vector<std::string>& names);
    // An input whose unmatched records go to the output.
    void AddNonMatchingSource(unsigned long long input);

  protected:
    // Completes the input tags and generates every input first.
    Inputs InputKind() const override { return Inputs::Tagged; }
    JNIQelFunction* CreateFunction(JNIQelProgram& program, JNIQelFunction* input) override;

  private:
    struct MatchField {
        unsigned long long firstInput;
        std::string firstField;
        unsigned long long secondInput;
        std::string secondField;
    };

    // The tag of the input at that position; null when there is none.
    const std::string* GetTag(unsigned long long input) const;

    JoinType joinType_ = Inner;
    std::vector<MatchField> matchFields_;
    std::map<unsigned long long, std::vector<std::string>> outputFields_;
    std::vector<unsigned long long> nonMatchingSources_;
};
