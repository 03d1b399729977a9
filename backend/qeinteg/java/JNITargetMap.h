// Questions about the series graph of a temporal causal model (the archive's "TCMGraph.json",
// docs/tcm.md): which series are targets, which are predictors of another series, and which targets
// have no input but themselves. The Java class com/tavo/utilities/targetpredictormap/
// TargetPredictorMap does the work; this wrapper holds one instance of it.
//
// Every question answers false (and leaves lists as they are) when the Java side fails; list
// operations keep what they appended before a failure. A text that does not describe a graph gives
// a map that answers false and empty lists. Used on the thread of the process's JNIObjectManager.
#pragma once

#include <string>
#include <vector>

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT JNITargetMap : public JNIQelAccessor {
  public:
    explicit JNITargetMap(std::string graphJson);
    ~JNITargetMap() override;

    bool IsTarget(const std::string& series);
    bool IsPredictor(const std::string& series);
    // A predictor that is not a target: its forecasts come from its own autoregressive model.
    bool IsArModelSeries(const std::string& series);
    // A predictor or a target (predictor asked first).
    bool IsValidSeries(const std::string& series);

    // Append to `out`, in the graph's order.
    bool GetAllTargets(std::vector<std::string>& out);
    bool GetAllPredictors(std::vector<std::string>& out);
    // Targets whose predictor index set holds only themselves.
    bool GetTargetsWithoutInput(std::vector<std::string>& out);
    // Predictors that are not targets.
    bool GetArModelSeries(std::vector<std::string>& out);

  private:
    // The only places that talk to Java: a boolean method taking a series text, a method giving
    // a java/util/List of texts, and the size of the predictor index set of a series. The method
    // is named by its handle in the class bindings.
    enum class Predicate { FromJson, IsTarget, IsPredictor };
    enum class SeriesList { Targets, Predictors };
    bool CallSeriesPredicate(Predicate method, const std::string& series, bool& answer);
    bool CallSeriesList(SeriesList method, std::vector<std::string>& out);
    bool PredictorIndexSetSize(const std::string& series, int& size);
};
