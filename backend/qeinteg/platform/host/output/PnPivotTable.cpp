#include "qeinteg/platform/host/output/PnPivotTable.h"

#include "qeinteg/platform/host/output/PnCellTextRecord.h"

using qehost::RecordOf;

namespace {

// A builder names a dimension and its categories again for every outer category; their notes come
// again with them and are kept once.
void AddNote(std::vector<qehost::TextRecord>& notes, const PnCellText& note) {
    qehost::TextRecord record = RecordOf(note);
    for (const auto& existing : notes) {
        if (existing == record)
            return;
    }
    notes.push_back(std::move(record));
}

}  // namespace

PnGroup PnGroup::Group(const PnCellText& text, bool show, int sort) {
    if (table_ == nullptr)
        return {};
    return {table_, dimension_, table_->AddGroup(dimension_, node_, RecordOf(text), show, sort)};
}

PnCategory PnGroup::Category(const PnCellText& text) {
    if (table_ == nullptr)
        return {};
    return {table_, dimension_, table_->AddCategory(dimension_, node_, RecordOf(text))};
}

void PnGroup::Note(const PnCellText& note) {
    if (table_ == nullptr)
        return;
    AddNote(node_ != nullptr ? node_->notes : dimension_->root.notes, note);
}

void PnDimension::Note(const PnCellText& note) {
    if (dimension_ != nullptr)
        AddNote(dimension_->notes, note);
}

void PnDimension::Position(int place, int position, bool hideName, bool hideChildren) {
    if (dimension_ == nullptr)
        return;
    dimension_->place = place;
    dimension_->position = position;
    dimension_->hideName = hideName;
    dimension_->hideChildren = hideChildren;
}

void PnCategory::hide() {
    if (node_ != nullptr)
        node_->hidden = true;
}

void PnCategory::Note(const PnCellText& note) {
    if (node_ != nullptr)
        AddNote(node_->notes, note);
}

void PnCategory::Cell(const PnCellText& text) {
    if (node_ != nullptr)
        table_->CellFor(dimension_, node_).text = RecordOf(text);
}

void PnCategory::CellNote(const PnCellText& note) {
    if (node_ != nullptr)
        table_->CellFor(dimension_, node_).notes.push_back(RecordOf(note));
}

PnDimension PnPivotTable::Dimension(const PnCellText& text, int sort) {
    return {record_, record_->AddDimension(RecordOf(text), sort), nullptr};
}

void PnPivotTable::HideTitle() {
    record_->titleHidden = true;
}
void PnPivotTable::Note(const PnCellText& note) {
    record_->notes.push_back(RecordOf(note));
}
void PnPivotTable::Caption(const PnCellText& text) {
    record_->caption = RecordOf(text);
}
void PnPivotTable::CaptionNote(const PnCellText& note) {
    record_->captionNotes.push_back(RecordOf(note));
}
void PnPivotTable::CornerText(const PnCellText& text) {
    record_->cornerText = RecordOf(text);
}
void PnPivotTable::MaxDataColumnWidth(int width) {
    record_->maxDataColumnWidth = width;
}
void PnPivotTable::MinDataColumnWidth(int width) {
    record_->minDataColumnWidth = width;
}
