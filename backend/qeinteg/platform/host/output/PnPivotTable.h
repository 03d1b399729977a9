// The host's pivot table calls. A table is made on a heading (PnHeading::PivotTable); dimensions,
// groups and categories are made through the handles below, and cells are set on the categories of
// the innermost dimension. Naming a dimension again, or the same categories again in the same
// order, continues the existing ones, so a builder may walk the category trees once per outer leaf.
//
// The handles are views: what they record lives in the host output and outlives them.
#pragma once

#include "qeinteg/platform/host/output/PivotRecord.h"

class PnCellText;
class PnCategory;

class PnGroup {
  public:
    PnGroup() = default;
    PnGroup(qehost::PivotTableRecord* table, qehost::DimensionNode* dimension,
            qehost::CategoryNode* node)
        : table_(table), dimension_(dimension), node_(node) {}

    // sort: 0 ascending, 1 descending, 2 none.
    PnGroup Group(const PnCellText& text, bool show, int sort);
    PnCategory Category(const PnCellText& text);
    void Note(const PnCellText& note);

    bool valid() const { return table_ != nullptr; }

  protected:
    qehost::PivotTableRecord* table_ = nullptr;
    qehost::DimensionNode* dimension_ = nullptr;
    qehost::CategoryNode* node_ = nullptr;  // null: the dimension's top level
};

class PnDimension : public PnGroup {
  public:
    using PnGroup::PnGroup;
    void Note(const PnCellText& note);
    // place: 0 row, 1 column, 2 layer; position orders the dimensions of one place.
    void Position(int place, int position, bool hideName, bool hideChildren);
};

class PnCategory {
  public:
    PnCategory() = default;
    PnCategory(qehost::PivotTableRecord* table, qehost::DimensionNode* dimension,
               qehost::CategoryNode* node)
        : table_(table), dimension_(dimension), node_(node) {}

    void hide();
    void Note(const PnCellText& note);
    // The cell at this category and the current categories of the other dimensions.
    void Cell(const PnCellText& text);
    void CellNote(const PnCellText& note);

  private:
    qehost::PivotTableRecord* table_ = nullptr;
    qehost::DimensionNode* dimension_ = nullptr;
    qehost::CategoryNode* node_ = nullptr;
};

class PnPivotTable {
  public:
    explicit PnPivotTable(qehost::PivotTableRecord* record) : record_(record) {}

    PnDimension Dimension(const PnCellText& text, int sort);
    void HideTitle();
    void Note(const PnCellText& note);
    void Caption(const PnCellText& text);
    void CaptionNote(const PnCellText& note);
    void CornerText(const PnCellText& text);
    void MaxDataColumnWidth(int width);
    void MinDataColumnWidth(int width);

    const qehost::PivotTableRecord& record() const { return *record_; }

  private:
    qehost::PivotTableRecord* record_;
};
