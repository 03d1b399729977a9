// A score computer: a model document compiled for scoring records one at a time.
//
// The caller builds an input record with one entry per input variable (AddValue with the
// variable's name), lets the computer prepare the output record, then for each record sets the
// input values and calls Score. Inputs are bound to record entries by name, once per record
// layout. A computer is used from one thread at a time; Clone gives an independent one that
// shares the compiled (immutable) model.
#pragma once

#include "qeinteg/platform/host/scoring/IMCVariable.h"
#include "qeinteg/platform/host/scoring/MCStatus.h"
#include "qeinteg/platform/host/scoring/MCVarList.h"
#include "qeinteg/platform/host/scoring/ValueRecord.h"

namespace MCXML_910 {

class IMCScoreComputer {
  public:
    // The kinds of object the factory makes (docs/scoring.md).
    enum Kind {
        TransformationKind = 8,  // derived fields only: the document holds no model
        RecordScorerKind = 16    // a model that scores records
    };

    virtual ~IMCScoreComputer() = default;
    virtual int GetKind() const = 0;

    // Appends the input variables, in model order, to `list`.
    virtual MCCommon_910::MCStatus GetInputVariables(MCVarList& list) const = 0;
    virtual int GetOutputCount() const = 0;
    // REQUIRES: 0 <= i < GetOutputCount().
    virtual const IMCVariable* GetOutputVariable(int i) const = 0;

    // Replaces the entries of `output` by one per output variable, in order, each missing.
    virtual MCCommon_910::MCStatus PrepareOutputRecord(MCCommon_910::ValueRecord& output) const = 0;
    // Scores one record. Error: the input record lacks an input variable or the output record was
    // not prepared; the outputs are then all missing. A record the model cannot predict (missing
    // inputs without replacement) is not an error: its outputs are missing. `reserved` must be
    // null.
    virtual MCCommon_910::MCStatus Score(const MCCommon_910::ValueRecord& input,
                                         MCCommon_910::ValueRecord& output, void* reserved) = 0;

    // An independent computer over the same compiled model. The caller owns it.
    virtual IMCScoreComputer* Clone() const = 0;
};

}  // namespace MCXML_910
