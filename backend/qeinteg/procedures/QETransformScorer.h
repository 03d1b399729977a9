// Scores records one at a time with a model document (PMML) through the host's model-scoring
// library.
//
// PrepareScoring binds the model's inputs to the fields of a row iterator by name and chooses the
// outputs; then, whenever the iterator stands on a row, ScoreRecord feeds that row to the model and
// GetTargetValues() holds the chosen outputs, in the chosen order. The scorer never advances the
// iterator; the iterator must outlive the scorer's use of it.
#pragma once

#include <string>
#include <vector>

#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QETransformScorer {
  public:
    QETransformScorer();
    // A copy has its own score computer and records (over the same compiled model) and the same
    // iterator.
    QETransformScorer(const QETransformScorer& other);
    QETransformScorer& operator=(const QETransformScorer&) = delete;
    virtual ~QETransformScorer();

    // Prepares scoring of `iterator`'s rows with the model in `modelText`. `outputNames` selects
    // outputs by name, matched without regard to case (empty: every model output in model order);
    // they are in the host code page unless `namesInUtf8`. False, with GetLastError() saying why,
    // for: a null iterator or empty model text; a document the scoring library rejects or that is
    // not a model; a model input with no iterator field of that name; a string input over a
    // numeric field or the reverse; a string model output; an unknown requested output. Each call
    // starts from a clean state, so a scorer may be prepared again for another model or iterator.
    bool PrepareScoring(EmbeddedQE::RowDataIterator* iterator, const std::string& modelText,
                        const std::vector<std::string>& outputNames, bool namesInUtf8);

    // Scores the iterator's current row. Numbers arrive as doubles whatever the model's storage;
    // a null value, the system-missing value or NaN reaches the model as missing (a missing string
    // as ""). False when the scorer is not prepared, a value cannot be read or the model reports
    // an error; every target value is then missing. A row the model cannot predict is not an
    // error: its target values are missing.
    bool ScoreRecord();

    const std::vector<std::string>& GetInputModelVarNames() const;
    const std::vector<std::string>& GetOutputModelVarNames() const;
    // One value per selected output, from the last ScoreRecord; the missing value where the model
    // gave none.
    const std::vector<double>& GetTargetValues() const;
    // The scoring library's test for a usable number (finite and not its missing value).
    bool IsValidDouble(double value) const;
    // Why the last PrepareScoring or ScoreRecord failed; empty after a success.
    const std::string& GetLastError() const;

  private:
    class Impl;
    Impl* impl_;
};
