// The score computer over a compiled PMML document.
#pragma once

#include <memory>
#include <vector>

#include "qeinteg/platform/host/scoring/IMCScoreComputer.h"
#include "qeinteg/platform/host/scoring/PmmlCore.h"

namespace mcpmml {

class PmmlScoreComputer final : public MCXML_910::IMCScoreComputer {
  public:
    explicit PmmlScoreComputer(std::shared_ptr<const Document> doc);

    int GetKind() const override;
    MCCommon_910::MCStatus GetInputVariables(MCXML_910::MCVarList& list) const override;
    int GetOutputCount() const override { return static_cast<int>(outputVars_.size()); }
    const MCXML_910::IMCVariable* GetOutputVariable(int i) const override;
    MCCommon_910::MCStatus PrepareOutputRecord(MCCommon_910::ValueRecord& output) const override;
    MCCommon_910::MCStatus Score(const MCCommon_910::ValueRecord& input,
                                 MCCommon_910::ValueRecord& output, void* reserved) override;
    IMCScoreComputer* Clone() const override;

  private:
    class Variable final : public MCXML_910::IMCVariable {
      public:
        Variable(std::string name, DataType type);
        const std::string& GetName() const override { return name_; }
        int GetValueType() const override { return valueType_; }
        int GetStorage() const override { return storage_; }

      private:
        std::string name_;
        int valueType_;
        int storage_;
    };

    // Loads input i from a record value into its slot.
    void Load(size_t i, const MCCommon_910::Value& value);

    std::shared_ptr<const Document> doc_;
    Context ctx_;
    std::vector<Variable> inputVars_;
    std::vector<Variable> outputVars_;
    std::vector<double> epochs_;  // per input: host seconds of a dateDaysSince/SecondsSince epoch
    // Binding of the input record's entries to our inputs, for the record layout last seen.
    uint64_t boundLayout_ = 0;
    std::vector<int> binding_;
    std::vector<uint8_t> plain_;  // per input: InputField::Plain()
    uint64_t outputLayout_ = 0;
};

}  // namespace mcpmml
