// The execution settings document of the host's model scoring component: which module runs, its
// operation parameters with their values, and the one input container that carries the model.
//
// The parameter list comes from the scoring module's descriptor, <component path>/lib/
// tavo.scoring.9/module.xml (docs/scoring.md). The document is built on the first getXML and kept:
// settings changed afterwards do not reach the text.
#pragma once

#include <string>
#include <vector>

#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QEScorExecXML {
  public:
    static const std::string ScoringFolderName;     // "tavo.scoring.9"
    static const std::string InputPMMLContainerID;  // "InputPMMLContainer"
    static const std::string InputPMMLName;         // "InputPMML"

    // A renamed output of an association model.
    struct AssocNameElem {
        std::string name;  // the output name
        std::string originalName;
        std::string predicate;
    };

    explicit QEScorExecXML(bool missingAsPredictor);
    // Copies have their own state, the built document included.
    QEScorExecXML(const QEScorExecXML& other);
    QEScorExecXML& operator=(const QEScorExecXML& other);
    ~QEScorExecXML();

    void setMaxPredictions(int maxPredictions);
    int getMaxPredictions() const;
    void setAssocOutputValueOnly(bool onlyValue);
    bool getAssocOutputValueOnly() const;
    // Replaces the association name table.
    void setAssocNameTable(const std::vector<AssocNameElem>& table);
    const std::vector<AssocNameElem>& getAssocNameTable() const;

    // The settings document as text. Without a readable descriptor the document is the fixed
    // skeleton (no parameters, empty module names).
    void getXML(std::string& xml);

  private:
    class Impl;
    Impl* impl_;
};
