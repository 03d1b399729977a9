// Cell-text objects of output table documents as host cell texts ("stringText", "numericText",
// "variableText", "numericDataText", "stringDataText", "compositeText") and as plain text (for the
// category filters and captions).
#pragma once

#include <jni.h>

#include <memory>
#include <optional>
#include <string>

class PnCellText;
class ProcedureDataSource;
class dataDictionary;
class dataField;

namespace qeinteg::output {

class OutputJson;

class PivotCellText {
  public:
    // `dataSource` (may be null) resolves variable and data-value texts, `dictionary` is the
    // fallback for them. All three must outlive the converter.
    PivotCellText(OutputJson& json, const ProcedureDataSource* dataSource,
                  const dataDictionary& dictionary);

    // Translate keyed strings through the host dictionary (default false).
    void SetTranslate(bool translate) { translate_ = translate; }

    // A new host cell text for a cell-text object; null when it has no usable text.
    std::unique_ptr<PnCellText> CellText(jobject cellText);
    // The text a reader sees; empty when there is none.
    std::string PlainText(jobject cellText);

  private:
    std::unique_ptr<PnCellText> StringText(jobject node);
    // Text of a data value of a dictionary field without a host variable, by the field's storage.
    std::optional<std::string> StorageText(const dataField& field, double value);

    OutputJson& json_;
    const ProcedureDataSource* dataSource_;
    const dataDictionary& dictionary_;
    bool translate_ = false;
};

}  // namespace qeinteg::output
