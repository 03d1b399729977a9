// Builds one host pivot table from one table object of an engine output document, and converts
// single cell-text objects of such documents into host cell texts.
//
// Use: construct, set caption, category filters and switches, call createPivotTable once. The host
// table and the footnote texts are released with the builder.
#pragma once

#include <jni.h>

#include <memory>
#include <string>
#include <vector>

#include "qeinteg/qeinteg_export.h"

class JNIJSONObject;
class PnCellText;
class PnHeading;
class ProcedureDataSource;
class dataDictionary;

class QEINTEG_EXPORT jsonPivot {
  public:
    // `item` is the table object inside `document`; both must outlive the builder. `dataSource`
    // (may be null) resolves variable and data-value texts, `dictionary` is the fallback for them.
    jsonPivot(JNIJSONObject& document, jobject& item, const ProcedureDataSource* dataSource,
              const dataDictionary& dictionary);
    ~jsonPivot();
    jsonPivot(const jsonPivot&) = delete;
    jsonPivot& operator=(const jsonPivot&) = delete;

    // A non-empty caption replaces the table object's own caption.
    void setCaption(const std::string& caption);
    // Translate keyed strings through the host dictionary (default false).
    void translateTableStrings(bool translate);
    // Passed to the host when the table is created (default true).
    void supportSplits(bool support);
    // Top-level categories (by plain text) of the row dimensions (rows true) or of the column and
    // layer dimensions to leave out.
    void hideCategories(std::vector<std::string> names, bool rows);
    // The only top-level categories to keep.
    void hideAllCategoriesExcept(std::vector<std::string> names, bool rows);

    // A new host cell text for one cell-text object; null when it has no usable text.
    std::unique_ptr<PnCellText> getCellText(jobject cellText);

    // Builds the table under `heading`. Nothing is output when the table object is not a table.
    void createPivotTable(PnHeading* heading, const std::string& title, bool translateTitle,
                          const std::string& subType);

    class Impl;

  private:
    std::unique_ptr<Impl> impl_;
};
