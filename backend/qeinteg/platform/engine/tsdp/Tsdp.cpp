#include "qeinteg/platform/engine/tsdp/Tsdp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <numeric>

#include "qeinteg/platform/engine/exec/EngineTime.h"

namespace qelocal {

namespace {

using Json = nlohmann::ordered_json;

constexpr double kSecondsPerDay = 86400.0;
constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();
// The prepared values are held in memory; beyond this many cells the job fails instead of
// exhausting the machine.
constexpr size_t kMaxCells = 200'000'000;

int64_t FloorDiv(int64_t a, int64_t b) {
    if (b == 1)
        return a;  // the usual step, without a division
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

std::vector<std::string> NameList(const Json& settings, const char* key, bool required) {
    std::vector<std::string> names;
    auto it = settings.find(key);
    if (it == settings.end()) {
        if (required)
            throw EngineError(std::string("tsdp: the settings lack \"") + key + "\"");
        return names;
    }
    if (!it->is_array())
        throw EngineError(std::string("tsdp: \"") + key + "\" must be an array of names");
    for (const Json& name : *it) {
        if (!name.is_string())
            throw EngineError(std::string("tsdp: \"") + key + "\" must be an array of names");
        names.push_back(name.get<std::string>());
    }
    return names;
}

TimeUnit UnitFromText(const std::string& text) {
    for (TimeUnit unit : {TimeUnit::Years, TimeUnit::Quarters, TimeUnit::Months, TimeUnit::Weeks,
                          TimeUnit::Days, TimeUnit::Hours, TimeUnit::Minutes, TimeUnit::Seconds}) {
        if (text == TimeUnitText(unit))
            return unit;
    }
    return TimeUnit::None;
}

// The index of the unit that holds `seconds`, counted from the unit that holds the epoch.
int64_t UnitIndex(TimeUnit unit, double seconds) {
    const double days = std::floor(seconds / kSecondsPerDay);
    switch (unit) {
        case TimeUnit::Years:
        case TimeUnit::Quarters:
        case TimeUnit::Months: {
            const CivilDate date = CivilFromDays(static_cast<int64_t>(days));
            const int64_t years = date.year - 1970;
            if (unit == TimeUnit::Years)
                return years;
            if (unit == TimeUnit::Quarters)
                return years * 4 + (date.month - 1) / 3;
            return years * 12 + (date.month - 1);
        }
        case TimeUnit::Weeks:  // weeks begin on Monday; 1970-01-01 was a Thursday
            return FloorDiv(static_cast<int64_t>(days) + 3, 7);
        case TimeUnit::Days:
            return static_cast<int64_t>(days);
        case TimeUnit::Hours:
            return static_cast<int64_t>(std::floor(seconds / 3600.0));
        case TimeUnit::Minutes:
            return static_cast<int64_t>(std::floor(seconds / 60.0));
        default:
            return static_cast<int64_t>(std::floor(seconds));
    }
}

// The first second of unit `index`.
double UnitStart(TimeUnit unit, int64_t index) {
    switch (unit) {
        case TimeUnit::Years:
            return static_cast<double>(DaysFromCivil(1970 + index, 1, 1)) * kSecondsPerDay;
        case TimeUnit::Quarters:
            return static_cast<double>(
                       DaysFromCivil(1970 + FloorDiv(index, 4),
                                     static_cast<int>(index - FloorDiv(index, 4) * 4) * 3 + 1, 1)) *
                   kSecondsPerDay;
        case TimeUnit::Months:
            return static_cast<double>(
                       DaysFromCivil(1970 + FloorDiv(index, 12),
                                     static_cast<int>(index - FloorDiv(index, 12) * 12) + 1, 1)) *
                   kSecondsPerDay;
        case TimeUnit::Weeks:
            return static_cast<double>(index * 7 - 3) * kSecondsPerDay;
        case TimeUnit::Days:
            return static_cast<double>(index) * kSecondsPerDay;
        case TimeUnit::Hours:
            return static_cast<double>(index) * 3600.0;
        case TimeUnit::Minutes:
            return static_cast<double>(index) * 60.0;
        default:
            return static_cast<double>(index);
    }
}

// One metric of one period. The record count of the period lives in the entry of its first
// metric, so that a record with few metrics touches one cache line.
struct Slot {
    double acc = 0.0;
    uint32_t count = 0;    // present values
    uint32_t records = 0;  // records of the period (first metric's entry only)
};

// Accumulators of one series (combination) by period key, growing at either end.
struct PeriodTable {
    int64_t base = 0;
    size_t size = 0;
    std::vector<Slot> slots;  // per period, per metric
    int64_t caseCount = 0;    // records of this combination so far ($casecount)

    uint32_t records(size_t period, size_t metrics) const {
        return slots[period * metrics].records;
    }

    size_t slot(int64_t key, size_t metrics) {
        if (size == 0) {
            base = key;
            size = 1;
            slots.assign(metrics, Slot{});
            return 0;
        }
        if (key < base) {
            // Grow at the front with slack, so that data in falling order stays linear.
            const size_t need = static_cast<size_t>(base - key);
            const size_t extra = std::max(need, std::min<size_t>(size, 1 << 20));
            slots.insert(slots.begin(), extra * metrics, Slot{});
            base -= static_cast<int64_t>(extra);
            size += extra;
        }
        const size_t position = static_cast<size_t>(key - base);
        if (position >= size) {
            // Grow by half at least: series usually extend one period at a time. Periods beyond
            // the last one used hold no records and count as empty.
            size = std::max(position + 1, size + size / 2 + 8);
            slots.resize(size * metrics, Slot{});
        }
        return position;
    }
};

// Dense numbers for byte keys (dimension combinations, cyclic tuples): open addressing with the
// hash kept beside each entry, so that a lookup compares key bytes once.
class KeyIndex {
  public:
    // The number of `key`, and whether it was new (numbers count up from 0).
    std::pair<size_t, bool> find(std::string_view key) {
        if ((count_ + 1) * 2 > slots_.size())
            grow();
        const uint64_t hash = std::hash<std::string_view>{}(key);
        size_t i = hash & (slots_.size() - 1);
        while (true) {
            Entry& e = slots_[i];
            if (e.length == kEmpty) {
                e = Entry{hash, static_cast<uint32_t>(count_), static_cast<uint32_t>(arena_.size()),
                          static_cast<uint32_t>(key.size())};
                arena_.append(key);
                return {count_++, true};
            }
            if (e.hash == hash && e.length == key.size() &&
                std::memcmp(arena_.data() + e.offset, key.data(), key.size()) == 0) {
                return {e.index, false};
            }
            i = (i + 1) & (slots_.size() - 1);
        }
    }

  private:
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
    struct Entry {
        uint64_t hash = 0;
        uint32_t index = 0;
        uint32_t offset = 0;
        uint32_t length = kEmpty;
    };
    void grow() {
        std::vector<Entry> old = std::move(slots_);
        slots_.assign(std::max<size_t>(64, old.size() * 2), Entry{});
        for (const Entry& e : old) {
            if (e.length == kEmpty)
                continue;
            size_t i = e.hash & (slots_.size() - 1);
            while (slots_[i].length != kEmpty)
                i = (i + 1) & (slots_.size() - 1);
            slots_[i] = e;
        }
    }

    std::vector<Entry> slots_;
    std::string arena_;
    size_t count_ = 0;
};

struct Accumulator {
    const TsdpSettings& settings;
    size_t metrics;

    void add(PeriodTable& table, size_t slot, const std::vector<Cell>& values) const {
        ++table.slots[slot * metrics].records;
        for (size_t m = 0; m < metrics; ++m) {
            const Cell& cell = values[m];
            if (cell.missing || std::isnan(cell.number))
                continue;
            const size_t i = slot * metrics + m;
            double& a = table.slots[i].acc;
            const uint32_t n = table.slots[i].count;
            const double v = cell.number;
            switch (settings.aggregations[m]) {
                case TsdpAggregation::Sum:
                case TsdpAggregation::Mean:
                    a += v;
                    break;
                case TsdpAggregation::Min:
                    if (n == 0 || v < a)
                        a = v;
                    break;
                case TsdpAggregation::Max:
                    if (n == 0 || v > a)
                        a = v;
                    break;
                case TsdpAggregation::First:
                    if (n == 0)
                        a = v;
                    break;
                case TsdpAggregation::Last:
                    a = v;
                    break;
                case TsdpAggregation::Count:
                    break;
            }
            table.slots[i].count = n + 1;
        }
    }

    double result(const PeriodTable& table, size_t slot, size_t m) const {
        if (table.records(slot, metrics) == 0)
            return kMissing;  // an empty period
        const size_t i = slot * metrics + m;
        const uint32_t n = table.slots[i].count;
        if (settings.aggregations[m] == TsdpAggregation::Count)
            return static_cast<double>(n);
        if (n == 0)
            return kMissing;
        if (settings.aggregations[m] == TsdpAggregation::Mean)
            return table.slots[i].acc / static_cast<double>(n);
        return table.slots[i].acc;
    }
};

size_t FieldIndex(const std::vector<EngineField>& fields, const std::string& name,
                  const char* role) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name == name)
            return i;
    }
    throw EngineError("tsdp: the " + std::string(role) + " field '" + name +
                      "' is not in the input");
}

void AppendKey(std::string& key, const Cell& cell, bool text) {
    if (text) {
        const uint32_t size = static_cast<uint32_t>(cell.text.size());
        key.append(reinterpret_cast<const char*>(&size), sizeof size);
        key.append(cell.text.data(), cell.text.size());
    } else {
        double v = cell.number == 0.0 ? 0.0 : cell.number;  // -0 and 0 are one value
        key.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
}

class PreparedRowSource final : public RowSource {
  public:
    explicit PreparedRowSource(const TsdpResult& result) : result_(result) {
        fields_ = result.dimensionFields;
        fields_.insert(fields_.end(), result.timeFields.begin(), result.timeFields.end());
        for (const std::string& metric : result.metrics) {
            EngineField field;
            field.name = metric;
            field.storage = Storage::Real;
            field.measure = Measure::Continuous;
            fields_.push_back(field);
        }
        rows_ = result.combinations.size() * result.periods;
    }
    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next() override {
        if (row_ >= rows_)
            return false;
        ++row_;
        return true;
    }
    Cell cell(size_t index) override {
        const size_t current = row_ - 1;
        const size_t combination = current / result_.periods;
        const size_t period = current % result_.periods;
        const size_t dims = result_.dimensionFields.size();
        const size_t times = result_.timeFields.size();
        Cell cell;
        if (index < dims) {
            const auto& value =
                result_.dimensionValues[index][result_.combinations[combination][index]];
            cell.missing = false;
            if (result_.dimensionFields[index].storage == Storage::String)
                cell.text = value.text;
            else
                cell.number = value.number;
        } else if (index < dims + times) {
            cell.missing = false;
            cell.number = result_.timeValues[index - dims][period];
        } else {
            const double v = result_.value(combination, index - dims - times, period);
            cell.missing = std::isnan(v);
            cell.number = cell.missing ? 0.0 : v;
        }
        return cell;
    }
    double fraction() const override {
        return rows_ == 0 ? 1.0 : static_cast<double>(row_) / static_cast<double>(rows_);
    }

  private:
    const TsdpResult& result_;
    std::vector<EngineField> fields_;
    size_t rows_ = 0;
    size_t row_ = 0;
};

std::string NumberText(double v) {
    char buffer[32];
    if (v == std::floor(v) && std::fabs(v) < 1e15) {
        std::snprintf(buffer, sizeof buffer, "%.0f", v);
    } else {
        std::snprintf(buffer, sizeof buffer, "%.17g", v);
        for (int precision = 1; precision <= 17; ++precision) {
            std::snprintf(buffer, sizeof buffer, "%.*g", precision, v);
            if (std::strtod(buffer, nullptr) == v)
                break;
        }
    }
    return buffer;
}

}  // namespace

const char* TsdpAggregationText(TsdpAggregation aggregation) {
    switch (aggregation) {
        case TsdpAggregation::Sum:
            return "sum";
        case TsdpAggregation::Mean:
            return "mean";
        case TsdpAggregation::Min:
            return "min";
        case TsdpAggregation::Max:
            return "max";
        case TsdpAggregation::Count:
            return "count";
        case TsdpAggregation::First:
            return "first";
        case TsdpAggregation::Last:
            return "last";
    }
    return "";
}

TsdpSettings ParseTsdpSettings(const Json& settings) {
    if (!settings.is_object())
        throw EngineError("tsdp: the settings must be an object");
    TsdpSettings s;
    s.dimensions = NameList(settings, "dimFieldList", false);
    // One empty name stands for "no dimensions".
    if (s.dimensions.size() == 1 && s.dimensions[0].empty())
        s.dimensions.clear();
    s.metrics = NameList(settings, "metricFieldList", true);
    if (s.metrics.empty())
        throw EngineError("tsdp: \"metricFieldList\" names no metric");
    for (const auto* list : {&s.dimensions, &s.metrics}) {
        for (const std::string& name : *list) {
            if (name.empty())
                throw EngineError("tsdp: a field name in the settings is empty");
        }
    }
    if (auto it = settings.find("dateTimeField"); it != settings.end()) {
        if (!it->is_string())
            throw EngineError("tsdp: \"dateTimeField\" must be a text");
        s.dateTimeField = it->get<std::string>();
    }
    if (s.dateTimeField.empty()) {
        s.cyclicFields = NameList(settings, "cyclicFieldList", false);
        if (s.cyclicFields.empty()) {
            throw EngineError(
                "tsdp: without a date/time field the settings must name cyclic fields or "
                "\"$casecount\"");
        }
        s.caseCount = s.cyclicFields.size() == 1 && s.cyclicFields[0] == "$casecount";
        for (const std::string& name : s.cyclicFields) {
            if (name.empty() || (name == "$casecount" && !s.caseCount)) {
                throw EngineError("tsdp: \"cyclicFieldList\" holds an empty or misplaced name");
            }
        }
    } else {
        auto it = settings.find("timeInterval");
        if (it == settings.end() || !it->is_object()) {
            throw EngineError(
                "tsdp: a date/time field needs \"timeInterval\" {\"unit\", \"step\"}");
        }
        auto unit = it->find("unit");
        if (unit == it->end() || !unit->is_string() ||
            (s.unit = UnitFromText(unit->get<std::string>())) == TimeUnit::None) {
            throw EngineError(
                "tsdp: \"timeInterval\".\"unit\" must be one of years, quarters, months, weeks, "
                "days, hours, minutes, seconds");
        }
        if (auto step = it->find("step"); step != it->end()) {
            if (!step->is_number_integer() || step->get<int64_t>() < 1)
                throw EngineError("tsdp: \"timeInterval\".\"step\" must be a positive integer");
            s.step = step->get<int64_t>();
        }
    }
    s.aggregations.assign(s.metrics.size(), TsdpAggregation::Sum);
    if (auto it = settings.find("metricAggregation"); it != settings.end()) {
        if (!it->is_object())
            throw EngineError("tsdp: \"metricAggregation\" must be an object");
        for (const auto& [metric, method] : it->items()) {
            auto pos = std::find(s.metrics.begin(), s.metrics.end(), metric);
            if (pos == s.metrics.end()) {
                throw EngineError("tsdp: \"metricAggregation\" names '" + metric +
                                  "', which is not a metric");
            }
            bool known = false;
            for (auto a : {TsdpAggregation::Sum, TsdpAggregation::Mean, TsdpAggregation::Min,
                           TsdpAggregation::Max, TsdpAggregation::Count, TsdpAggregation::First,
                           TsdpAggregation::Last}) {
                if (method.is_string() && method.get<std::string>() == TsdpAggregationText(a)) {
                    s.aggregations[static_cast<size_t>(pos - s.metrics.begin())] = a;
                    known = true;
                }
            }
            if (!known) {
                throw EngineError("tsdp: the aggregation of '" + metric +
                                  "' must be sum, mean, min, max, count, first or last");
            }
        }
    }
    return s;
}

std::string TsdpResult::seriesId(size_t combination, size_t metric) const {
    std::string id;
    for (size_t position : combinations[combination]) {
        id += std::to_string(position);
        id += '-';
    }
    return id + std::to_string(metric);
}

std::string TsdpResult::valueText(size_t dimension, size_t position) const {
    const Value& value = dimensionValues[dimension][position];
    if (dimensionFields[dimension].storage == Storage::String)
        return value.text;
    if (IsTemporalStorage(dimensionFields[dimension].storage))
        return FormatTemporal(dimensionFields[dimension].storage, value.number);
    return NumberText(value.number);
}

std::string TsdpResult::periodText(size_t period) const {
    if (timeFields.size() == 1 && IsTemporalStorage(timeFields[0].storage))
        return FormatTemporal(timeFields[0].storage, timeValues[0][period]);
    std::string text;
    for (size_t f = 0; f < timeFields.size(); ++f) {
        if (f > 0)
            text += '-';
        text += NumberText(timeValues[f][period]);
    }
    return text;
}

TsdpResult PrepareSeries(RowSource& source, const TsdpSettings& settings,
                         const std::function<void(uint64_t)>& pace) {
    const std::vector<EngineField>& fields = source.fields();
    TsdpResult result;
    result.metrics = settings.metrics;
    const size_t metrics = settings.metrics.size();

    std::vector<size_t> dimIndex;
    std::vector<char> dimText;
    for (const std::string& name : settings.dimensions) {
        dimIndex.push_back(FieldIndex(fields, name, "dimension"));
        result.dimensionFields.push_back(fields[dimIndex.back()]);
        dimText.push_back(fields[dimIndex.back()].storage == Storage::String);
    }
    std::vector<size_t> metricIndex;
    for (const std::string& name : settings.metrics) {
        metricIndex.push_back(FieldIndex(fields, name, "metric"));
        if (!IsNumericStorage(fields[metricIndex.back()].storage))
            throw EngineError("tsdp: the metric field '" + name + "' is not numeric");
    }
    size_t timeIndex = 0;
    Storage timeStorage = Storage::Unknown;
    std::vector<size_t> cyclicIndex;
    if (!settings.dateTimeField.empty()) {
        timeIndex = FieldIndex(fields, settings.dateTimeField, "date/time");
        timeStorage = fields[timeIndex].storage;
        if (!IsTemporalStorage(timeStorage)) {
            throw EngineError("tsdp: the date/time field '" + settings.dateTimeField +
                              "' holds no dates or times (convert text dates to timestamps first)");
        }
    } else if (!settings.caseCount) {
        for (const std::string& name : settings.cyclicFields) {
            cyclicIndex.push_back(FieldIndex(fields, name, "cyclic"));
            if (!IsNumericStorage(fields[cyclicIndex.back()].storage))
                throw EngineError("tsdp: the cyclic field '" + name + "' is not numeric");
        }
    }

    const Accumulator accumulator{settings, metrics};
    KeyIndex combinationOf;
    std::vector<std::vector<TsdpResult::Value>> combinationValues;
    std::vector<PeriodTable> tables;
    KeyIndex tupleIds;  // cyclic: tuple bytes to id
    std::vector<std::vector<double>> tuples;
    std::string key;
    size_t lastIndex = 0;
    std::string tupleKey;
    std::vector<double> tuple;
    const bool dayCounts = timeStorage == Storage::Date && settings.unit == TimeUnit::Days;
    std::vector<Cell> values(metrics);
    uint64_t records = 0;

    while (source.next()) {
        ++records;
        if ((records & 63) == 0 && pace)
            pace(records);
        key.clear();
        bool skip = false;
        for (size_t d = 0; d < dimIndex.size() && !skip; ++d) {
            const Cell cell = source.cell(dimIndex[d]);
            skip = cell.missing || (!dimText[d] && std::isnan(cell.number));
            if (!skip)
                AppendKey(key, cell, dimText[d]);
        }
        int64_t timeKey = 0;
        if (!skip && !settings.dateTimeField.empty()) {
            const Cell cell = source.cell(timeIndex);
            skip = cell.missing || !std::isfinite(cell.number);
            if (!skip && dayCounts) {
                timeKey = FloorDiv(static_cast<int64_t>(std::floor(cell.number)), settings.step);
            } else if (!skip) {
                const double seconds = TemporalToSeconds(timeStorage, cell.number);
                timeKey = FloorDiv(UnitIndex(settings.unit, seconds), settings.step);
            }
        } else if (!skip && !cyclicIndex.empty()) {
            tupleKey.clear();
            tuple.clear();
            for (size_t c = 0; c < cyclicIndex.size() && !skip; ++c) {
                const Cell cell = source.cell(cyclicIndex[c]);
                skip = cell.missing || !std::isfinite(cell.number);
                tuple.push_back(cell.number);
                AppendKey(tupleKey, cell, false);
            }
            if (!skip) {
                auto [id, added] = tupleIds.find(tupleKey);
                if (added)
                    tuples.push_back(tuple);
                timeKey = static_cast<int64_t>(id);
            }
        }
        if (skip) {
            ++result.skippedRecords;
            continue;
        }
        {
            auto [index, added] = combinationOf.find(key);
            lastIndex = index;
            if (added) {
                tables.emplace_back();
                std::vector<TsdpResult::Value> dims;
                for (size_t d = 0; d < dimIndex.size(); ++d) {
                    const Cell cell = source.cell(dimIndex[d]);
                    TsdpResult::Value value;
                    if (dimText[d])
                        value.text.assign(cell.text);
                    else
                        value.number = cell.number == 0.0 ? 0.0 : cell.number;
                    dims.push_back(std::move(value));
                }
                combinationValues.push_back(std::move(dims));
            }
        }
        PeriodTable& table = tables[lastIndex];
        if (settings.caseCount)
            timeKey = ++table.caseCount;
        for (size_t m = 0; m < metrics; ++m)
            values[m] = source.cell(metricIndex[m]);
        accumulator.add(table, table.slot(timeKey, metrics), values);
    }
    result.records = records;

    // The dimension values in ascending order and each combination as positions.
    const size_t dims = dimIndex.size();
    result.dimensionValues.resize(dims);
    for (size_t d = 0; d < dims; ++d) {
        auto& list = result.dimensionValues[d];
        for (const auto& combination : combinationValues)
            list.push_back(combination[d]);
        auto less = [&](const TsdpResult::Value& a, const TsdpResult::Value& b) {
            return dimText[d] ? a.text < b.text : a.number < b.number;
        };
        auto equal = [&](const TsdpResult::Value& a, const TsdpResult::Value& b) {
            return dimText[d] ? a.text == b.text : a.number == b.number;
        };
        std::sort(list.begin(), list.end(), less);
        list.erase(std::unique(list.begin(), list.end(), equal), list.end());
    }
    std::vector<std::vector<size_t>> positions(tables.size(), std::vector<size_t>(dims));
    for (size_t c = 0; c < tables.size(); ++c) {
        for (size_t d = 0; d < dims; ++d) {
            const auto& list = result.dimensionValues[d];
            const auto& value = combinationValues[c][d];
            auto pos =
                std::lower_bound(list.begin(), list.end(), value,
                                 [&](const TsdpResult::Value& a, const TsdpResult::Value& b) {
                                     return dimText[d] ? a.text < b.text : a.number < b.number;
                                 });
            positions[c][d] = static_cast<size_t>(pos - list.begin());
        }
    }
    std::vector<size_t> order(tables.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return positions[a] < positions[b]; });
    for (size_t c : order)
        result.combinations.push_back(positions[c]);

    // The time grid and where each table key lands on it.
    std::function<int64_t(int64_t)> gridPosition;
    if (!settings.dateTimeField.empty() || settings.caseCount) {
        int64_t first = std::numeric_limits<int64_t>::max();
        int64_t last = std::numeric_limits<int64_t>::min();
        for (const PeriodTable& table : tables) {
            for (size_t p = 0; p < table.size; ++p) {
                if (table.records(p, metrics) == 0)
                    continue;
                first = std::min(first, table.base + static_cast<int64_t>(p));
                last = std::max(last, table.base + static_cast<int64_t>(p));
            }
        }
        if (settings.caseCount)
            first = 1;
        if (!tables.empty() && last >= first) {
            result.periods = static_cast<size_t>(last - first + 1);
            if (result.periods > kMaxCells)
                throw EngineError("tsdp: the time grid has too many periods");
        }
        gridPosition = [first](int64_t key) { return key - first; };
        EngineField timeField;
        timeField.measure = Measure::Continuous;
        if (settings.caseCount) {
            timeField.name = "$casecount";
            timeField.storage = Storage::Integer;
            timeField.role = "recordId";
        } else {
            timeField = fields[timeIndex];
            const bool wholeDays = settings.unit != TimeUnit::Hours &&
                                   settings.unit != TimeUnit::Minutes &&
                                   settings.unit != TimeUnit::Seconds;
            if (timeStorage == Storage::Date && !wholeDays)
                timeField.storage = Storage::Timestamp;
        }
        result.timeFields.push_back(timeField);
        std::vector<double> starts(result.periods);
        for (size_t p = 0; p < result.periods; ++p) {
            const int64_t key = first + static_cast<int64_t>(p);
            if (settings.caseCount) {
                starts[p] = static_cast<double>(key);
            } else {
                const double seconds = UnitStart(settings.unit, key * settings.step);
                starts[p] = SecondsToTemporal(timeField.storage, seconds);
            }
        }
        result.timeValues.push_back(std::move(starts));
    } else {
        // Cyclic fields: every value met forms the cycle of its field; the grid runs through the
        // combinations in order from the first observed to the last observed.
        const size_t k = cyclicIndex.size();
        std::vector<std::vector<double>> cycle(k);
        for (size_t c = 0; c < k; ++c) {
            for (const auto& tuple : tuples)
                cycle[c].push_back(tuple[c]);
            cycle[c] = CycleOf(std::move(cycle[c]));
        }
        std::vector<int64_t> rank(tuples.size());
        for (size_t t = 0; t < tuples.size(); ++t) {
            int64_t index = 0;
            for (size_t c = 0; c < k; ++c) {
                const auto pos = std::lower_bound(cycle[c].begin(), cycle[c].end(), tuples[t][c]);
                index = index * static_cast<int64_t>(cycle[c].size()) + (pos - cycle[c].begin());
                if (index > static_cast<int64_t>(kMaxCells))
                    throw EngineError("tsdp: the cyclic time grid has too many periods");
            }
            rank[t] = index;
        }
        int64_t first = 0;
        int64_t last = -1;
        if (!rank.empty()) {
            first = *std::min_element(rank.begin(), rank.end());
            last = *std::max_element(rank.begin(), rank.end());
        }
        result.periods = static_cast<size_t>(last - first + 1);
        gridPosition = [first, rank](int64_t key) {
            return rank[static_cast<size_t>(key)] - first;
        };
        for (size_t c = 0; c < k; ++c) {
            result.timeFields.push_back(fields[cyclicIndex[c]]);
            result.timeValues.emplace_back(result.periods);
        }
        for (size_t p = 0; p < result.periods; ++p) {
            int64_t index = first + static_cast<int64_t>(p);
            for (size_t c = k; c-- > 0;) {
                const auto size = static_cast<int64_t>(cycle[c].size());
                result.timeValues[c][p] = cycle[c][static_cast<size_t>(index % size)];
                index /= size;
            }
        }
    }

    if (result.periods > 0 && result.seriesCount() > kMaxCells / result.periods)
        throw EngineError("tsdp: the prepared series would not fit in memory");
    result.values.assign(result.seriesCount() * result.periods, kMissing);
    for (size_t rankIndex = 0; rankIndex < order.size(); ++rankIndex) {
        const PeriodTable& table = tables[order[rankIndex]];
        for (size_t p = 0; p < table.size; ++p) {
            if (table.records(p, metrics) == 0)
                continue;
            const auto period =
                static_cast<size_t>(gridPosition(table.base + static_cast<int64_t>(p)));
            for (size_t m = 0; m < metrics; ++m) {
                result.values[(rankIndex * metrics + m) * result.periods + period] =
                    accumulator.result(table, p, m);
            }
        }
    }
    return result;
}

std::vector<double> CycleOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    // Whole numbers (months, days of the week) cycle through every value between the smallest
    // and the largest met, so that a value no record has is a gap, not skipped.
    const bool whole =
        std::all_of(values.begin(), values.end(), [](double v) { return v == std::floor(v); });
    if (whole && !values.empty() && values.back() - values.front() < 100000) {
        const double low = values.front();
        const double high = values.back();
        values.clear();
        for (double v = low; v <= high; v += 1.0)
            values.push_back(v);
    }
    return values;
}

double ShiftPeriod(const TsdpSettings& settings, Storage storage, double value, int64_t ahead) {
    const int64_t key =
        FloorDiv(UnitIndex(settings.unit, TemporalToSeconds(storage, value)), settings.step);
    return SecondsToTemporal(storage, UnitStart(settings.unit, (key + ahead) * settings.step));
}

std::unique_ptr<RowSource> PreparedRows(const TsdpResult& result) {
    return std::make_unique<PreparedRowSource>(result);
}

Json TsdpOutputDocument(const Json& settings, const TsdpSettings& parsed,
                        const TsdpResult& result) {
    Json written = settings;
    if (!parsed.dateTimeField.empty()) {
        Json points = Json::array();
        for (size_t p = 0; p < result.periods; ++p)
            points.push_back(result.periodText(p));
        written["timeVariable"] = std::move(points);
    } else {
        Json byField = Json::object();
        for (size_t f = 0; f < result.timeFields.size(); ++f) {
            Json points = Json::array();
            for (double v : result.timeValues[f]) {
                if (v == std::floor(v) && std::fabs(v) < 9e15)
                    points.push_back(static_cast<int64_t>(v));
                else
                    points.push_back(v);
            }
            byField[result.timeFields[f].name] = std::move(points);
        }
        written["timeVariable"] = std::move(byField);
    }

    Json output = Json::object();
    output["records"] = result.records;
    output["skippedRecords"] = result.skippedRecords;
    output["timePoints"] = result.periods;
    if (!parsed.dateTimeField.empty()) {
        output["timeInterval"] = {{"unit", TimeUnitText(parsed.unit)}, {"step", parsed.step}};
    }
    if (result.periods > 0) {
        output["firstTimePoint"] = result.periodText(0);
        output["lastTimePoint"] = result.periodText(result.periods - 1);
    }
    Json dimensionValues = Json::object();
    for (size_t d = 0; d < result.dimensionFields.size(); ++d) {
        Json list = Json::array();
        for (size_t v = 0; v < result.dimensionValues[d].size(); ++v) {
            if (result.dimensionFields[d].storage == Storage::String)
                list.push_back(result.dimensionValues[d][v].text);
            else
                list.push_back(result.dimensionValues[d][v].number);
        }
        dimensionValues[result.dimensionFields[d].name] = std::move(list);
    }
    output["dimensionValues"] = std::move(dimensionValues);
    Json series = Json::array();
    for (size_t c = 0; c < result.combinations.size(); ++c) {
        for (size_t m = 0; m < result.metrics.size(); ++m) {
            Json dims = Json::array();
            for (size_t d = 0; d < result.dimensionFields.size(); ++d)
                dims.push_back(result.valueText(d, result.combinations[c][d]));
            size_t valid = 0;
            for (size_t p = 0; p < result.periods; ++p)
                valid += std::isnan(result.value(c, m, p)) ? 0 : 1;
            series.push_back({{"id", result.seriesId(c, m)},
                              {"dimensionValues", std::move(dims)},
                              {"metric", result.metrics[m]},
                              {"aggregation", TsdpAggregationText(parsed.aggregations[m])},
                              {"validPoints", valid}});
        }
    }
    output["series"] = std::move(series);
    return Json{{"settings", std::move(written)}, {"output", std::move(output)}};
}

}  // namespace qelocal
