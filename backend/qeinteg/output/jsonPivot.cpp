#include "qeinteg/output/jsonPivot.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <unordered_map>

#include "qeinteg/output/CellKey.h"
#include "qeinteg/output/OutputJson.h"
#include "qeinteg/output/OutputVariables.h"
#include "qeinteg/output/dataDictionary.h"
#include "qeinteg/platform/host/output/PnCellText.h"
#include "qeinteg/platform/host/output/PnComposite.h"
#include "qeinteg/platform/host/output/PnDataValue.h"
#include "qeinteg/platform/host/output/PnHeading.h"
#include "qeinteg/platform/host/output/PnNumber.h"
#include "qeinteg/platform/host/output/PnPivotTable.h"
#include "qeinteg/platform/host/output/PnString.h"
#include "qeinteg/platform/host/output/PnUTF8String.h"
#include "qeinteg/platform/host/output/PnVariable.h"
#include "qeinteg/platform/host/text/HostFormat.h"

using qeinteg::output::DecodeKeyField;
using qeinteg::output::EncodeKeyField;
using qeinteg::output::FindVariable;
using qeinteg::output::HostVariable;
using qeinteg::output::KeyWidth;
using qeinteg::output::OutputJson;

namespace {

// Cells a table may address. The whole key space is held in memory, so an absurd layout (a
// damaged document) is refused rather than exhausting memory.
constexpr std::uint64_t kMaxCells = std::uint64_t{1} << 26;

constexpr std::uint8_t kTypeNone = 255;
constexpr std::uint8_t kTypeGeneral = 40;

struct CellFormat {
    PnFormatSpec format{40, kTypeNone, 0};
    bool missing = false;
};

// Compact per-cell state; string values and footnote references are rare and kept aside.
struct CellCore {
    double value = DBL_MAX;  // DBL_MAX: no numeric value
    PnFormatSpec format{40, kTypeNone, 0};
    bool missing = false;
};

bool HasH(const std::string& s) {
    return s.find_first_of("hH") != std::string::npos;
}

// Date formats count seconds from the host's origin; the engine counts from 1970-01-01. Weekday and
// month formats hold plain 1-7 and 1-12 numbers, which must not be moved.
bool ShiftsDate(int type, double value) {
    switch (type) {
        case 20:
        case 22:
        case 23:
        case 24:
        case 28:
        case 29:
        case 30:
        case 38:
        case 39:
        case 86:
            return true;
        case 26:
            return !(value >= 1 && value <= 7);
        case 27:
            return !(value >= 1 && value <= 12);
        default:
            return false;
    }
}

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

class jsonPivot::Impl {
  public:
    Impl(JNIJSONObject& document, jobject& item, const ProcedureDataSource* dataSource,
         const dataDictionary& dictionary)
        : json(document), item(item), dataSource(dataSource), dictionary(dictionary) {}

    OutputJson json;
    jobject item;
    std::unique_ptr<PnPivotTable> table;
    std::vector<std::uint64_t> leafCounts;
    std::vector<std::uint64_t> keyWidths;
    std::uint64_t keyWidthTotal = 0;
    std::vector<CellCore> cells;
    std::unordered_map<std::uint64_t, std::string> cellStrings;
    std::unordered_map<std::uint64_t, std::vector<int>> cellNotes;
    std::map<std::int64_t, std::string> cellLabels;
    std::vector<std::unique_ptr<PnCellText>> footnotes;
    const ProcedureDataSource* dataSource;
    const dataDictionary& dictionary;
    std::vector<std::uint64_t> counters;
    std::vector<std::string> hiddenRows, shownRows, hiddenCols, shownCols;
    std::string caption;
    bool translate = false;
    bool splits = true;
    std::vector<jobject> dimensionNodes;

    // ---- cell texts ----------------------------------------------------------------------

    CellFormat FormatOf(jobject format) {
        CellFormat f;
        if (!json.IsObject(format))
            return f;
        if (json.Bool(format, "string", false)) {
            f.format.type = 1;
        } else {
            f.format.type = kTypeGeneral;
            f.format.decimals =
                static_cast<std::uint8_t>(std::clamp(json.Int(format, "decimals", 3), 0, 16));
            const std::string decimal = json.String(format, "decimalSeparator");
            const std::string thousands = json.String(format, "thousandsSeparator");
            if (decimal == "." || thousands == ",")
                f.format.type = 3;
            if (decimal == "," || thousands == ".")
                f.format.type = 32;
            if (json.String(format, "prefix") == "$")
                f.format.type = 4;
            if (json.String(format, "suffix") == "%")
                f.format.type = 31;
            const std::string pattern = json.String(format, "dateTimePattern");
            if (!pattern.empty()) {
                f.format.type = 20;
                switch (pattern[0]) {
                    case 'h':
                    case 'H':
                        f.format.type = 21;
                        break;
                    case 'y':
                    case 'Y':
                        f.format.type = 39;
                        break;
                    case 'M':
                        f.format.type = 23;
                        break;
                    case 'm':
                        f.format.type = 85;
                        break;
                    default:
                        if (pattern.find('.') != std::string::npos)
                            f.format.type = 38;
                }
                if (f.format.type == 39 && HasH(pattern))
                    f.format.type = 86;
                if ((f.format.type == 38 || f.format.type == 20) && HasH(pattern))
                    f.format.type = 22;
            }
        }
        f.missing = json.Bool(format, "positiveInfinity", false) ||
                    json.Bool(format, "negativeInfinity", false);
        return f;
    }

    // The value and format a number is shown with: general for no format, the date shift, and
    // infinity shown as missing.
    static std::pair<double, PnFormatSpec> Displayed(double value, CellFormat f) {
        if (f.format.type == kTypeNone)
            f.format.type = kTypeGeneral;
        if (ShiftsDate(f.format.type, value))
            value += qehost::kDateOriginShift;
        if (f.missing)
            value = qehost::SysMis();
        return {value, f.format};
    }

    // A value in days (or seconds, for time types) as the host stores it for a format type.
    static double HostValueForType(int type, double value) {
        switch (type) {
            case 20:
            case 22:
            case 23:
            case 24:
            case 28:
            case 29:
            case 30:
            case 38:
            case 39:
            case 86:
                return value * 86400 + qehost::kDateOriginShift;
            case 26:
                return value >= 1 && value <= 7 ? value : value * 86400 + qehost::kDateOriginShift;
            case 27:
                return value >= 1 && value <= 12 ? value : value * 86400 + qehost::kDateOriginShift;
            default:
                return value;
        }
    }

    // Text of a data value of a dictionary field without a host variable, by the field's storage.
    std::optional<std::string> StorageText(const dataField& field, double value) {
        const std::string& storage = field.getStorage();
        if (storage == "date") {
            return Trim(qehost::ValueToText(value * 86400 + qehost::kDateOriginShift, {40, 39, 0}));
        }
        if (storage == "time")
            return Trim(qehost::ValueToText(value, {40, 21, 0}));
        if (storage.rfind("time", 0) == 0) {
            return Trim(qehost::ValueToText(value + qehost::kDateOriginShift, {40, 22, 0}));
        }
        return std::nullopt;
    }

    std::unique_ptr<PnCellText> StringText(jobject node) {
        const std::string k = json.String(node, "key");
        const std::string v = json.String(node, "value");
        const std::string h = json.String(node, "helpId");
        if (translate) {
            if (!k.empty())
                return std::make_unique<PnString>(k.c_str(), true);
            if (v.empty())
                return std::make_unique<PnUTF8String>(" ");
            if (!h.empty())
                return std::make_unique<PnUTF8String>(v, v, h);
            return std::make_unique<PnUTF8String>(v);
        }
        if (v.empty()) {
            if (k.empty())
                return std::make_unique<PnUTF8String>(" ");
            if (!h.empty())
                return std::make_unique<PnUTF8String>(k, k, h);
            return std::make_unique<PnUTF8String>(k, k);
        }
        if (!k.empty()) {
            if (!h.empty())
                return std::make_unique<PnUTF8String>(k, v, h);
            return std::make_unique<PnUTF8String>(k, v);
        }
        if (!h.empty())
            return std::make_unique<PnUTF8String>(v, v, h);
        return std::make_unique<PnUTF8String>(v);
    }

    std::unique_ptr<PnCellText> CellText(jobject cellText) {
        jobject text = json.Get(cellText, "text");
        if (!json.IsObject(text))
            return nullptr;
        if (jobject n = json.Get(text, "stringText"); json.IsObject(n))
            return StringText(n);
        if (jobject n = json.Get(text, "numericText"); json.IsObject(n)) {
            auto [value, format] =
                Displayed(json.Double(json.Get(n, "value")), FormatOf(json.Get(n, "format")));
            return std::make_unique<PnNumber>(value, format);
        }
        if (jobject n = json.Get(text, "variableText"); json.IsObject(n)) {
            const std::string name = json.String(n, "variable");
            if (FindVariable(dataSource, name).found)
                return std::make_unique<PnVariable>(name, 2);
            if (dictionary.hasField(name)) {
                const std::string label = dictionary.getField(name).getLabel();
                if (!label.empty())
                    return std::make_unique<PnUTF8String>(label);
            }
            return std::make_unique<PnUTF8String>(name);
        }
        if (jobject n = json.Get(text, "numericDataText"); json.IsObject(n)) {
            const std::string name = json.String(n, "variable");
            const double value = json.Double(json.Get(n, "value"));
            const HostVariable variable = FindVariable(dataSource, name);
            if (variable.found) {
                return std::make_unique<PnDataValue>(
                    name, HostValueForType(variable.format.type, value), 2);
            }
            if (dictionary.hasField(name)) {
                if (auto shown = StorageText(dictionary.getField(name), value)) {
                    return std::make_unique<PnUTF8String>(*shown);
                }
            }
            return std::make_unique<PnNumber>(value, PnFormatSpec(40, 40, 3));
        }
        if (jobject n = json.Get(text, "stringDataText"); json.IsObject(n)) {
            const std::string name = json.String(n, "variable");
            const std::string value = json.String(n, "value");
            if (FindVariable(dataSource, name).found) {
                return std::make_unique<PnDataValue>(name, value, 2);
            }
            return std::make_unique<PnUTF8String>(value);
        }
        if (jobject n = json.Get(text, "compositeText"); json.IsObject(n)) {
            jobject children = json.Get(n, "children");
            const int count = json.Size(children);
            std::string pattern;
            for (int i = 1; i <= count; ++i)
                pattern += "^" + std::to_string(i);
            auto composite = std::make_unique<PnComposite>(PnString(pattern.c_str(), false));
            for (int i = 0; i < count; ++i) {
                // A child without text still takes its place, so later parts keep their numbers.
                std::unique_ptr<PnCellText> child = CellText(json.At(children, i));
                if (child) {
                    composite->Add(*child);
                } else {
                    composite->Add(PnUTF8String(""));
                }
            }
            composite->Finish();
            return composite;
        }
        return nullptr;
    }

    std::string PlainText(jobject cellText) {
        jobject text = json.Get(cellText, "text");
        if (!json.IsObject(text))
            return {};
        if (jobject n = json.Get(text, "stringText"); json.IsObject(n)) {
            std::string v = json.String(n, "value");
            return v.empty() ? json.String(n, "key") : v;
        }
        if (jobject n = json.Get(text, "numericText"); json.IsObject(n)) {
            auto [value, format] =
                Displayed(json.Double(json.Get(n, "value")), FormatOf(json.Get(n, "format")));
            return Trim(qehost::ValueToText(value, format));
        }
        if (jobject n = json.Get(text, "variableText"); json.IsObject(n)) {
            const std::string name = json.String(n, "variable");
            const HostVariable variable = FindVariable(dataSource, name);
            if (variable.found)
                return variable.label;
            if (dictionary.hasField(name)) {
                const std::string label = dictionary.getField(name).getLabel();
                if (!label.empty())
                    return label;
            }
            return name;
        }
        if (jobject n = json.Get(text, "numericDataText"); json.IsObject(n)) {
            const std::string name = json.String(n, "variable");
            const double value = json.Double(json.Get(n, "value"));
            const HostVariable variable = FindVariable(dataSource, name);
            if (variable.found) {
                std::string label = qeinteg::output::VariableValueLabel(dataSource, name, value);
                if (!label.empty())
                    return label;
                return Trim(qehost::ValueToText(HostValueForType(variable.format.type, value),
                                                variable.format));
            }
            const dataField field = dictionary.getField(name);
            std::string label = field.getValueLabel(value);
            if (!label.empty())
                return label;
            if (field.getStorage() == "date" || field.getStorage() == "time") {
                return *StorageText(field, value);
            }
            if (field.getStorage() == "timestamp") {
                return Trim(qehost::ValueToText(value + qehost::kDateOriginShift, {40, 22, 0}));
            }
            return Trim(qehost::ValueToText(value, {40, 40, 3}));
        }
        if (jobject n = json.Get(text, "stringDataText"); json.IsObject(n)) {
            return json.String(n, "value");
        }
        if (jobject n = json.Get(text, "compositeText"); json.IsObject(n)) {
            jobject children = json.Get(n, "children");
            std::string joined;
            for (int i = 0, count = json.Size(children); i < count; ++i) {
                joined += PlainText(json.At(children, i));
            }
            return joined;
        }
        return {};
    }

    // ---- footnotes -----------------------------------------------------------------------

    // The footnote references of a cell-text object that point into the footnote list.
    std::vector<int> NoteRefs(jobject cellText) {
        std::vector<int> refs;
        for (int ref : json.Ints(cellText, "footnotes")) {
            if (ref >= 0 && static_cast<std::size_t>(ref) < footnotes.size())
                refs.push_back(ref);
        }
        return refs;
    }

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

    // ---- keys ----------------------------------------------------------------------------

    std::uint64_t LeafCount(jobject categories) {
        std::uint64_t count = 0;
        for (int i = 0, n = json.Size(categories); i < n; ++i) {
            OutputJson::Scope scope(json);
            jobject children = json.Get(json.At(categories, i), "children");
            count += json.Size(children) > 0 ? LeafCount(children) : 1;
        }
        return count;
    }

    // The cell index of a key text; nothing when the key names no cell.
    std::optional<std::uint64_t> IndexOfKey(const std::string& key) {
        if (key.size() != keyWidthTotal)
            return std::nullopt;
        std::uint64_t index = 0;
        std::size_t at = 0;
        for (std::size_t d = 0; d < leafCounts.size(); ++d) {
            auto leaf = DecodeKeyField(key.substr(at, keyWidths[d]));
            if (!leaf || *leaf >= leafCounts[d])
                return std::nullopt;
            index = index * leafCounts[d] + *leaf;
            at += keyWidths[d];
        }
        return index;
    }

    // Every cell index matched by a key whose fields may hold "*" (any leaf of that dimension).
    std::vector<std::uint64_t> IndexesOfPattern(const std::string& key) {
        if (key.size() != keyWidthTotal)
            return {};
        std::vector<std::optional<std::uint64_t>> fields;
        std::size_t at = 0;
        for (std::size_t d = 0; d < leafCounts.size(); ++d) {
            const std::string field = key.substr(at, keyWidths[d]);
            at += keyWidths[d];
            if (field.find('*') != std::string::npos) {
                fields.emplace_back(std::nullopt);
                continue;
            }
            auto leaf = DecodeKeyField(field);
            if (!leaf || *leaf >= leafCounts[d])
                return {};
            fields.emplace_back(leaf);
        }
        std::vector<std::uint64_t> out{0};
        for (std::size_t d = 0; d < fields.size(); ++d) {
            std::vector<std::uint64_t> next;
            for (std::uint64_t prefix : out) {
                if (fields[d]) {
                    next.push_back(prefix * leafCounts[d] + *fields[d]);
                } else {
                    for (std::uint64_t leaf = 0; leaf < leafCounts[d]; ++leaf) {
                        next.push_back(prefix * leafCounts[d] + leaf);
                    }
                }
            }
            out = std::move(next);
        }
        return out;
    }

    // ---- building ------------------------------------------------------------------------

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

    void ReadCellLabels() {
        jobject labels = json.Get(item, "cellLabels");
        if (!json.IsObject(labels))
            return;
        jobject keys = json.Get(labels, "keys");
        jobject values = json.Get(labels, "values");
        const int keyCount = json.Size(keys);
        for (int i = 0, n = json.Size(values); i < n; ++i) {
            OutputJson::Scope scope(json);
            jobject value = json.At(values, i);
            const std::int64_t key = i < keyCount ? json.Int(json.At(keys, i)) : i;
            cellLabels[key] = json.IsString(value) ? json.Text(value) : PlainText(value);
        }
    }

    void ApplyFormat(std::uint64_t index, const CellFormat& f, const std::vector<int>& refs,
                     bool wildcard) {
        CellCore& cell = cells[index];
        if (f.format.type != kTypeNone) {
            cell.format = f.format;
        } else if (wildcard) {
            cell.format.width = f.format.width;
            cell.format.decimals = f.format.decimals;
        }
        if (!refs.empty())
            cellNotes[index] = refs;
        cell.missing = f.missing;
    }

    void ReadFormats() {
        jobject formats = json.Get(item, "formats");
        for (int i = 0, n = json.Size(formats); i < n; ++i) {
            OutputJson::Scope scope(json);
            jobject entry = json.At(formats, i);
            const std::string key = json.String(entry, "index");
            if (key.empty())
                continue;
            const CellFormat f = FormatOf(json.Get(entry, "format"));
            const std::vector<int> refs = json.Ints(entry, "footnotes");
            if (key.find('*') == std::string::npos) {
                if (auto index = IndexOfKey(key))
                    ApplyFormat(*index, f, refs, false);
            } else {
                for (std::uint64_t index : IndexesOfPattern(key))
                    ApplyFormat(index, f, refs, true);
            }
        }
    }

    void ReadValues() {
        jobject blocks = json.Get(item, "cells");
        for (int b = 0, nb = json.Size(blocks); b < nb; ++b) {
            OutputJson::Scope scope(json);
            jobject block = json.Get(json.At(blocks, b), "cells");
            if (!json.IsObject(block))
                continue;
            if (jobject compact = json.Get(block, "compactCells"); json.IsObject(compact)) {
                const std::string key = json.String(compact, "index");
                std::optional<std::uint64_t> start =
                    key.size() == keyWidthTotal ? IndexOfKey(key) : std::optional<std::uint64_t>(0);
                jobject values = json.Get(compact, "value");
                const int n = json.Size(values);
                if (start && *start < cells.size()) {
                    const std::uint64_t room = cells.size() - *start;
                    const int count = static_cast<int>(std::min<std::uint64_t>(n, room));
                    // Element handles are released run by run, so a million cells never hold
                    // a million handles.
                    constexpr int kRun = 4096;
                    for (int run = 0; run < count; run += kRun) {
                        OutputJson::Scope scope(json);
                        for (int i = run; i < count && i < run + kRun; ++i) {
                            const std::uint64_t index = *start + static_cast<std::uint64_t>(i);
                            jobject value = json.At(values, i);
                            if (value == nullptr)
                                continue;  // null holds the place of a cell
                            if (json.IsString(value)) {
                                cellStrings[index] = json.Text(value);
                            } else {
                                cells[index].value = json.Number(value);
                            }
                        }
                    }
                }
            }
            if (jobject sparse = json.Get(block, "sparse"); json.IsObject(sparse)) {
                jobject keys = json.Get(sparse, "index");
                jobject values = json.Get(sparse, "value");
                const int n = std::min(json.Size(keys), json.Size(values));
                for (int i = 0; i < n; ++i) {
                    OutputJson::Scope scope(json);
                    jobject k = json.At(keys, i);
                    if (!json.IsString(k))
                        continue;
                    jobject value = json.At(values, i);
                    if (value == nullptr || json.IsString(value))
                        continue;
                    if (auto index = IndexOfKey(json.Text(k))) {
                        cells[*index].value = json.Double(value);
                    }
                }
            }
            // "external" blocks name files the engine keeps for itself; they add no cells here.
        }
    }

    void EmitCell(PnCategory& category, std::optional<std::uint64_t> index) {
        if (!index || *index >= cells.size())
            return;
        const CellCore& cell = cells[*index];
        if (cell.value == DBL_MAX) {
            auto it = cellStrings.find(*index);
            if (it != cellStrings.end() && !it->second.empty()) {
                std::string text;
                bool first = true;
                for (const std::string& part : SplitOn(it->second, ',')) {
                    const std::string trimmed = Trim(part);
                    if (trimmed.empty())
                        continue;
                    char* end = nullptr;
                    const long long code = std::strtoll(trimmed.c_str(), &end, 10);
                    if (end == trimmed.c_str() || *end != '\0')
                        continue;
                    auto label = cellLabels.find(code);
                    if (label == cellLabels.end())
                        continue;
                    if (!first)
                        text += "\\n";
                    text += label->second;
                    first = false;
                }
                category.Cell(PnUTF8String(text));
            }
        } else if (cell.format.type == 1 && cell.value >= 0 &&
                   cell.value < static_cast<double>(cellLabels.size())) {
            auto label = cellLabels.find(static_cast<std::int64_t>(cell.value));
            category.Cell(PnUTF8String(label == cellLabels.end() ? std::string() : label->second));
        } else {
            auto [value, format] = Displayed(cell.value, {cell.format, cell.missing});
            category.Cell(PnNumber(value, format));
        }
        if (auto notes = cellNotes.find(*index); notes != cellNotes.end()) {
            Notes(notes->second, [&category](const PnCellText& note) { category.CellNote(note); });
        }
    }

    // A category as read from the document once; the walk below emits it once per outer leaf.
    struct Category {
        std::unique_ptr<PnCellText> text;  // null: left out (no usable text)
        std::string plain;                 // plain text, for the filters of the top level
        bool group = false;
        bool show = true;
        int sort = 2;
        std::string subscript;
        std::vector<int> notes;
        std::uint64_t leafCount = 1;
        std::vector<Category> children;
    };

    struct Dimension {
        std::unique_ptr<PnCellText> text;  // null: the dimension (and all after it) is left out
        int sort = 2;
        std::vector<int> notes;
        bool rows = true;
        int place = 0;
        int position = 1;
        bool hideName = false;
        bool hideChildren = false;
        std::vector<Category> categories;
    };
    std::vector<Dimension> dims;

    static int SortOf(const std::string& sort) {
        if (sort == "ascending")
            return 0;
        if (sort == "descending")
            return 1;
        return 2;
    }

    std::vector<Category> ReadCategories(jobject categories, bool topLevel) {
        std::vector<Category> out;
        for (int i = 0, n = json.Size(categories); i < n; ++i) {
            OutputJson::Scope scope(json);
            jobject node = json.At(categories, i);
            Category c;
            jobject textNode = json.Get(node, "text");
            if (textNode != nullptr)
                c.text = CellText(textNode);
            jobject children = json.Get(node, "children");
            c.group = json.Size(children) > 0;
            c.leafCount = c.group ? LeafCount(children) : 1;
            if (c.text) {
                if (topLevel)
                    c.plain = PlainText(textNode);
                c.show = json.Bool(node, "show", true);
                c.notes = NoteRefs(textNode);
                if (c.group) {
                    c.sort = SortOf(json.String(json.Get(node, "sort"), "order"));
                    c.children = ReadCategories(children, false);
                } else {
                    c.subscript = json.String(node, "subscript");
                }
            }
            out.push_back(std::move(c));
        }
        return out;
    }

    void ReadDimensions() {
        for (std::size_t d = 0; d < dimensionNodes.size(); ++d) {
            OutputJson::Scope scope(json);
            jobject node = dimensionNodes[d];
            Dimension dim;
            jobject textNode = json.Get(node, "text");
            if (textNode == nullptr) {
                dims.push_back(std::move(dim));
                continue;
            }
            dim.text = CellText(textNode);
            if (!dim.text)
                dim.text = std::make_unique<PnUTF8String>("Unknown");
            dim.sort = SortOf(json.String(node, "sort"));
            dim.notes = NoteRefs(textNode);
            const std::string role = json.String(node, "role");
            dim.rows = role != "column" && role != "layer";
            dim.place = role == "column" ? 1 : role == "layer" ? 2 : 0;
            dim.position = json.Int(node, "position", 1);
            dim.hideName = json.Bool(node, "hideName", false);
            jobject children = json.Get(node, "children");
            if (json.Get(node, "hideChildren") != nullptr) {
                dim.hideChildren = json.Bool(node, "hideChildren", false);
            } else if (json.Size(children) == 1) {
                dim.hideChildren = !json.Bool(json.At(children, 0), "show", true);
            }
            dim.categories = ReadCategories(children, true);
            dims.push_back(std::move(dim));
        }
    }

    bool Passes(const Dimension& dim, const std::string& text) {
        const auto& hidden = dim.rows ? hiddenRows : hiddenCols;
        const auto& shown = dim.rows ? shownRows : shownCols;
        if (hidden.empty() && shown.empty())
            return true;
        // A hidden list alone hides only what it names; a shown list keeps only what it names.
        return (shown.empty() || Contains(shown, text)) && !Contains(hidden, text);
    }

    void WalkCategories(std::size_t d, PnGroup& group, const std::vector<Category>& categories,
                        std::optional<std::uint64_t> prefix, bool topLevel) {
        for (const Category& c : categories) {
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
                if (field.size() < keyWidths[d])
                    field.insert(0, keyWidths[d] - field.size(), '0');
                if (field.size() == keyWidths[d])
                    leaf = DecodeKeyField(field);
            } else {
                leaf = counters[d]++;
            }
            std::optional<std::uint64_t> key;
            if (prefix && leaf && *leaf < leafCounts[d])
                key = *prefix * leafCounts[d] + *leaf;
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
        const Dimension& info = dims[d];
        if (!info.text)
            return;
        PnDimension dim = table->Dimension(*info.text, info.sort);
        Notes(info.notes, [&dim](const PnCellText& note) { dim.Note(note); });
        dim.Position(info.place, info.position, info.hideName, info.hideChildren);
        counters[d] = 0;
        WalkCategories(d, dim, info.categories, prefix, true);
    }

    void Create(PnHeading* heading, const std::string& title, bool translateTitle,
                const std::string& subType) {
        if (heading == nullptr || !Acceptable())
            return;

        jobject notes = json.Get(item, "footnotes");
        for (int i = 0, n = json.Size(notes); i < n; ++i) {
            if (std::unique_ptr<PnCellText> text = CellText(json.At(notes, i))) {
                footnotes.push_back(std::move(text));
            }
        }

        jobject dimensions = json.Get(item, "dimensions");
        std::uint64_t total = 1;
        for (int d = 0, n = json.Size(dimensions); d < n; ++d) {
            jobject dimension = json.At(dimensions, d);
            dimensionNodes.push_back(dimension);
            const std::uint64_t leaves = LeafCount(json.Get(dimension, "children"));
            leafCounts.push_back(leaves);
            keyWidths.push_back(KeyWidth(leaves));
            keyWidthTotal += keyWidths.back();
            if (leaves != 0 && total > kMaxCells / leaves)
                return;  // refuse: see kMaxCells
            total *= leaves;
        }
        if (dimensionNodes.empty())
            total = 0;

        table = heading->PivotTable(PnString(title.c_str(), translateTitle),
                                    PnString(subType.c_str(), false), splits);
        if (!table)
            return;

        jobject titleNode = json.Get(item, "title");
        if (!json.Bool(titleNode, "show", true))
            table->HideTitle();
        Notes(NoteRefs(json.Get(titleNode, "text")),
              [this](const PnCellText& note) { table->Note(note); });

        if (!caption.empty()) {
            table->Caption(PnString(caption.c_str(), false));
        } else if (jobject own = json.Get(item, "caption");
                   json.IsObject(own) && json.Bool(own, "show", true)) {
            jobject texts = json.Get(own, "text");
            const int n = json.Size(texts);
            if (n > 0) {
                std::string joined;
                for (int i = 0; i < n; ++i) {
                    if (i > 0)
                        joined += "\n";
                    joined += PlainText(json.At(texts, i));
                }
                table->Caption(PnUTF8String(joined));
                Notes(NoteRefs(json.At(texts, n - 1)),
                      [this](const PnCellText& note) { table->CaptionNote(note); });
            }
        }

        if (jobject corner = json.Get(item, "cornerText"); json.IsObject(corner)) {
            if (std::unique_ptr<PnCellText> text = CellText(json.Get(corner, "text"))) {
                table->CornerText(*text);
            }
        }

        table->MaxDataColumnWidth(json.Int(item, "maxDataColumnWidth", 260));
        if (json.Get(item, "minDataColumnWidth") != nullptr) {
            table->MinDataColumnWidth(json.Int(item, "minDataColumnWidth", 0));
        }

        cells.assign(total, CellCore{});
        counters.assign(dimensionNodes.size(), 0);
        ReadCellLabels();
        ReadFormats();
        ReadValues();
        ReadDimensions();
        if (!dims.empty())
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
    impl_->translate = translate;
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
    return impl_->CellText(cellText);
}

void jsonPivot::createPivotTable(PnHeading* heading, const std::string& title, bool translateTitle,
                                 const std::string& subType) {
    impl_->Create(heading, title, translateTitle, subType);
}
