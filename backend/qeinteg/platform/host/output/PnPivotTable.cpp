#include "qeinteg/platform/host/output/PnPivotTable.h"

#include <typeinfo>

#include "qeinteg/platform/host/output/PnCellTextRecord.h"
#include "qeinteg/platform/host/output/PnNumber.h"

using qehost::RecordOf;
using qehost::SameRecord;

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
    if (qehost::CategoryNode* again =
            table_->Repeat(dimension_, node_, true,
                           [&](const qehost::TextRecord& r) { return SameRecord(r, text); })) {
        again->show = show;
        again->sort = sort;
        return {table_, dimension_, again};
    }
    return {table_, dimension_, table_->AddGroup(dimension_, node_, RecordOf(text), show, sort)};
}

PnCategory PnGroup::Category(const PnCellText& text) {
    if (table_ == nullptr)
        return {};
    // Builders name the same categories under every outer category: the one the pass expects is
    // compared in place, and a record is made only of a new one.
    if (qehost::CategoryNode* again =
            table_->Repeat(dimension_, node_, false,
                           [&](const qehost::TextRecord& r) { return SameRecord(r, text); }))
        return {table_, dimension_, again};
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
    if (node_ == nullptr)
        return;
    const std::vector<int>& at = table_->CoordinatesOf(dimension_, node_);
    // Numbers are most of a big table: kept as value and format, and formatted when read. Only a
    // PnNumber itself: a derived text may show itself otherwise.
    if (typeid(text) == typeid(PnNumber)) {
        const auto& number = static_cast<const PnNumber&>(text);
        table_->cells.SetNumber(at, number.Value(), number.Format());
    } else {
        table_->cells.SetText(at, RecordOf(text));
    }
}

void PnCategory::CellNote(const PnCellText& note) {
    if (node_ != nullptr)
        table_->cells.AddNote(table_->CoordinatesOf(dimension_, node_), RecordOf(note));
}

PnDimension PnPivotTable::Dimension(const PnCellText& text, int sort) {
    // Named again under every outer category, like categories: compared in place first.
    for (const auto& dimension : record_->dimensions) {
        if (SameRecord(dimension->text, text))
            return {record_, record_->AddDimension(dimension->text, sort), nullptr};
    }
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
