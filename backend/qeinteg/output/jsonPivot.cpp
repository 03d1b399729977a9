#include "qeinteg/output/jsonPivot.h"

#include <algorithm>
#include <cstdlib>

#include "qeinteg/output/CellKey.h"
#include "qeinteg/output/OutputJson.h"
#include "qeinteg/output/PivotCellFormat.h"
#include "qeinteg/output/PivotCellText.h"
#include "qeinteg/output/PivotTableReader.h"
#include "qeinteg/platform/host/output/PnCellText.h"
#include "qeinteg/platform/host/output/PnHeading.h"
#include "qeinteg/platform/host/output/PnNumber.h"
#include "qeinteg/platform/host/output/PnPivotTable.h"
#include "qeinteg/platform/host/output/PnString.h"
#include "qeinteg/platform/host/output/PnUTF8String.h"

using qeinteg::output::DecodeKeyField;
using qeinteg::output::DisplayedNumber;
using qeinteg::output::OutputJson;
using qeinteg::output::PivotCellText;
using qeinteg::output::PivotTableReader;

namespace {

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

std::vector<std::string> SplitOn(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        auto end = text.find(separator, start);
        if (end == std::string::npos)
            end = text.size();
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool Contains(const std::vector<std::string>& list, const std::string& s) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

}  // namespace

// Emits the host table: title, caption, corner text and widths, then the dimensions with their
// categories in document order and, at each innermost leaf, the cell under the key built so far.
class jsonPivot::Impl {
  public:
    Impl(JNIJSONObject& document, jobject& item, const ProcedureDataSource* dataSource,
         const dataDictionary& dictionary)
        : json(document), item(item), texts(json, dataSource, dictionary) {}

    OutputJson json;
    jobject item;
    PivotCellText texts;
    std::unique_ptr<PivotTableReader> reader;
    std::unique_ptr<PnPivotTable> table;
    std::vector<std::unique_ptr<PnCellText>> footnotes;
    std::vector<std::uint64_t> counters;
    std::vector<std::string> hiddenRows, shownRows, hiddenCols, shownCols;
    std::string caption;
    bool splits = true;

    template <typename AddNote>
    void Notes(const std::vector<int>& refs, AddNote add) {
        for (int ref : refs) {
            if (ref < 0 || static_cast<std::size_t>(ref) >= footnotes.size())
                continue;
            std::unique_ptr<PnCellText> replica =
                footnotes[static_cast<std::size_t>(ref)]->Replicate();
            if (replica)
                add(*replica);
        }
    }

    bool Acceptable() {
        if (item == nullptr || json.IsString(item))
            return false;
        jobject blocks = json.Get(item, "cells");
        if (blocks == nullptr)
            return false;
        const bool described = !json.String(item, "tableId").empty() &&
                               json.Get(item, "title") != nullptr &&
                               json.Get(item, "dimensions") != nullptr;
        if (!described && json.Get(item, "footnotes") == nullptr)
            return false;
        for (int i = 0, n = json.Size(blocks); i < n; ++i) {
            jobject values = json.ByPath(json.At(blocks, i), "cells.compactCells.value");
            if (json.IsArray(values) && json.Size(values) > 0)
                return true;
        }
        return false;
    }

    void EmitCell(PnCategory& category, std::optional<std::uint64_t> index) {
        if (!index || *index >= reader->cellCount())
            return;
        const PivotTableReader::Cell& cell = reader->cell(*index);
        const auto& labels = reader->cellLabels();
        if (cell.value == DBL_MAX) {
            const std::string* codes = reader->cellString(*index);
            if (codes != nullptr && !codes->empty()) {
                std::string text;
                bool first = true;
                for (const std::string& part : SplitOn(*codes, ',')) {
                    const std::string trimmed = Trim(part);
                    if (trimmed.empty())
                        continue;
                    char* end = nullptr;
                    const long long code = std::strtoll(trimmed.c_str(), &end, 10);
                    if (end == trimmed.c_str() || *end != '\0')
                        continue;
                    auto label = labels.find(code);
                    if (label == labels.end())
                        continue;
                    if (!first)
                        text += "\\n";
                    text += label->second;
                    first = false;
                }
                category.Cell(PnUTF8String(text));
            }
        } else if (cell.format.type == 1 && cell.value >= 0 &&
                   cell.value < static_cast<double>(labels.size())) {
            auto label = labels.find(static_cast<std::int64_t>(cell.value));
            category.Cell(PnUTF8String(label == labels.end() ? std::string() : label->second));
        } else {
            auto [value, format] = DisplayedNumber(cell.value, {cell.format, cell.missing});
            category.Cell(PnNumber(value, format));
        }
        if (const std::vector<int>* notes = reader->cellNotes(*index)) {
            Notes(*notes, [&category](const PnCellText& note) { category.CellNote(note); });
        }
    }

    bool Passes(const PivotTableReader::Dimension& dim, const std::string& text) {
        const auto& hidden = dim.rows ? hiddenRows : hiddenCols;
        const auto& shown = dim.rows ? shownRows : shownCols;
        if (hidden.empty() && shown.empty())
            return true;
        // A hidden list alone hides only what it names; a shown list keeps only what it names.
        return (shown.empty() || Contains(shown, text)) && !Contains(hidden, text);
    }

    void WalkCategories(std::size_t d, PnGroup& group,
                        const std::vector<PivotTableReader::Category>& categories,
                        std::optional<std::uint64_t> prefix, bool topLevel) {
        const auto& dims = reader->dimensions();
        for (const PivotTableReader::Category& c : categories) {
            // Without a text a category is left out and does not advance the key counter.
            if (!c.text)
                continue;
            if (topLevel && !Passes(dims[d], c.plain)) {
                counters[d] += c.leafCount;
                continue;
            }
            if (c.group) {
                PnGroup sub = group.Group(*c.text, c.show, c.sort);
                Notes(c.notes, [&sub](const PnCellText& note) { sub.Note(note); });
                WalkCategories(d, sub, c.children, prefix, false);
                continue;
            }
            std::optional<std::uint64_t> leaf;
            if (!c.subscript.empty()) {
                std::string field = c.subscript;
                if (field.size() < reader->keyWidth(d))
                    field.insert(0, reader->keyWidth(d) - field.size(), '0');
                if (field.size() == reader->keyWidth(d))
                    leaf = DecodeKeyField(field);
            } else {
                leaf = counters[d]++;
            }
            std::optional<std::uint64_t> key;
            if (prefix && leaf && *leaf < reader->leafCount(d))
                key = *prefix * reader->leafCount(d) + *leaf;
            PnCategory cat = group.Category(*c.text);
            if (!c.show)
                cat.hide();
            Notes(c.notes, [&cat](const PnCellText& note) { cat.Note(note); });
            if (d + 1 < dims.size()) {
                EmitDimension(d + 1, key);
            } else {
                EmitCell(cat, key);
            }
        }
    }

    void EmitDimension(std::size_t d, std::optional<std::uint64_t> prefix) {
        const PivotTableReader::Dimension& info = reader->dimensions()[d];
        if (!info.text)
            return;
        PnDimension dim = table->Dimension(*info.text, info.sort);
        Notes(info.notes, [&dim](const PnCellText& note) { dim.Note(note); });
        dim.Position(info.place, info.position, info.hideName, info.hideChildren);
        counters[d] = 0;
        WalkCategories(d, dim, info.categories, prefix, true);
    }

    void EmitTitleCaptionAndCorner() {
        jobject titleNode = json.Get(item, "title");
        if (!json.Bool(titleNode, "show", true))
            table->HideTitle();
        Notes(reader->NoteRefs(json.Get(titleNode, "text"), footnotes.size()),
              [this](const PnCellText& note) { table->Note(note); });

        if (!caption.empty()) {
            table->Caption(PnString(caption.c_str(), false));
        } else if (jobject own = json.Get(item, "caption");
                   json.IsObject(own) && json.Bool(own, "show", true)) {
            jobject captionTexts = json.Get(own, "text");
            const int n = json.Size(captionTexts);
            if (n > 0) {
                std::string joined;
                for (int i = 0; i < n; ++i) {
                    if (i > 0)
                        joined += "\n";
                    joined += texts.PlainText(json.At(captionTexts, i));
                }
                table->Caption(PnUTF8String(joined));
                Notes(reader->NoteRefs(json.At(captionTexts, n - 1), footnotes.size()),
                      [this](const PnCellText& note) { table->CaptionNote(note); });
            }
        }

        if (jobject corner = json.Get(item, "cornerText"); json.IsObject(corner)) {
            if (std::unique_ptr<PnCellText> text = texts.CellText(json.Get(corner, "text"))) {
                table->CornerText(*text);
            }
        }

        table->MaxDataColumnWidth(json.Int(item, "maxDataColumnWidth", 260));
        if (json.Get(item, "minDataColumnWidth") != nullptr) {
            table->MinDataColumnWidth(json.Int(item, "minDataColumnWidth", 0));
        }
    }

    void Create(PnHeading* heading, const std::string& title, bool translateTitle,
                const std::string& subType) {
        if (heading == nullptr || !Acceptable())
            return;

        jobject notes = json.Get(item, "footnotes");
        for (int i = 0, n = json.Size(notes); i < n; ++i) {
            if (std::unique_ptr<PnCellText> text = texts.CellText(json.At(notes, i))) {
                footnotes.push_back(std::move(text));
            }
        }

        reader = std::make_unique<PivotTableReader>(json, item, texts);
        if (!reader->ReadLayout())
            return;

        table = heading->PivotTable(PnString(title.c_str(), translateTitle),
                                    PnString(subType.c_str(), false), splits);
        if (!table)
            return;
        EmitTitleCaptionAndCorner();

        counters.assign(reader->dimensionCount(), 0);
        reader->ReadCells();
        reader->ReadDimensions(footnotes.size());
        if (!reader->dimensions().empty())
            EmitDimension(0, std::uint64_t{0});
    }
};

jsonPivot::jsonPivot(JNIJSONObject& document, jobject& item, const ProcedureDataSource* dataSource,
                     const dataDictionary& dictionary)
    : impl_(std::make_unique<Impl>(document, item, dataSource, dictionary)) {}

jsonPivot::~jsonPivot() = default;

void jsonPivot::setCaption(const std::string& caption) {
    impl_->caption = caption;
}
void jsonPivot::translateTableStrings(bool translate) {
    impl_->texts.SetTranslate(translate);
}
void jsonPivot::supportSplits(bool support) {
    impl_->splits = support;
}

void jsonPivot::hideCategories(std::vector<std::string> names, bool rows) {
    auto& list = rows ? impl_->hiddenRows : impl_->hiddenCols;
    list.insert(list.end(), names.begin(), names.end());
}

void jsonPivot::hideAllCategoriesExcept(std::vector<std::string> names, bool rows) {
    auto& list = rows ? impl_->shownRows : impl_->shownCols;
    list.insert(list.end(), names.begin(), names.end());
}

std::unique_ptr<PnCellText> jsonPivot::getCellText(jobject cellText) {
    return impl_->texts.CellText(cellText);
}

void jsonPivot::createPivotTable(PnHeading* heading, const std::string& title, bool translateTitle,
                                 const std::string& subType) {
    impl_->Create(heading, title, translateTitle, subType);
}
