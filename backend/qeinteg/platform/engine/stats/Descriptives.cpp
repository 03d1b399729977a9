#include "qeinteg/platform/engine/stats/Descriptives.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <string_view>
#include <unordered_map>

#include <nlohmann/json.hpp>

namespace qelocal {

namespace {

using Json = nlohmann::json;

std::vector<std::string> StringList(const Json& value, const char* key) {
    if (!value.is_array())
        throw EngineError(std::string("descriptives: \"") + key + "\" must be an array");
    std::vector<std::string> out;
    for (const Json& item : value) {
        if (!item.is_string()) {
            throw EngineError(std::string("descriptives: \"") + key + "\" must hold field names");
        }
        out.push_back(item.get<std::string>());
    }
    return out;
}

bool BoolSetting(const Json& settings, const char* key, bool fallback) {
    auto it = settings.find(key);
    if (it == settings.end())
        return fallback;
    if (!it->is_boolean())
        throw EngineError(std::string("descriptives: \"") + key + "\" must be a boolean");
    return it->get<bool>();
}

// Field positions by name, built once per run: a linear search per requested field made a wide
// input cost the square of its width.
class FieldIndex {
  public:
    explicit FieldIndex(const std::vector<EngineField>& fields) {
        positions_.reserve(fields.size());
        for (size_t i = 0; i < fields.size(); ++i)
            positions_.emplace(fields[i].name, i);  // the first of equal names wins
    }
    size_t find(const std::string& name) const {
        auto it = positions_.find(name);
        if (it == positions_.end())
            throw EngineError("descriptives: the input has no field '" + name + "'");
        return it->second;
    }

  private:
    std::unordered_map<std::string_view, size_t> positions_;
};

}  // namespace

std::string NumberText(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc())
        return "0";
    return std::string(buffer, end);
}

DescriptivesSettings ParseDescriptivesSettings(const std::string& text) {
    Json settings = Json::parse(text, nullptr, false);
    if (settings.is_discarded() || !settings.is_object()) {
        throw EngineError("descriptives: the settings are not a JSON object");
    }
    DescriptivesSettings out;
    if (auto it = settings.find("inputFieldList"); it != settings.end()) {
        out.inputFields = StringList(*it, "inputFieldList");
        out.inputFieldsGiven = true;
    }
    if (auto it = settings.find("stdDateTimeFieldList"); it != settings.end()) {
        out.stdDateTimeFields = StringList(*it, "stdDateTimeFieldList");
    }
    if (auto it = settings.find("nonStdDateTimeFieldList"); it != settings.end()) {
        // One inner list of names; a flat list of names is taken as well.
        if (!it->is_array())
            throw EngineError("descriptives: \"nonStdDateTimeFieldList\" must be an array");
        for (const Json& item : *it) {
            if (item.is_array()) {
                for (std::string& name : StringList(item, "nonStdDateTimeFieldList")) {
                    out.nonStdDateTimeFields.push_back(std::move(name));
                }
            } else if (item.is_string()) {
                out.nonStdDateTimeFields.push_back(item.get<std::string>());
            } else {
                throw EngineError(
                    "descriptives: \"nonStdDateTimeFieldList\" must hold field names");
            }
        }
    }
    if (auto it = settings.find("maxNOfDistinctValues"); it != settings.end()) {
        if (!it->is_number_integer()) {
            throw EngineError("descriptives: \"maxNOfDistinctValues\" must be an integer");
        }
        out.maxDistinctValues = it->get<int64_t>();
        if (out.maxDistinctValues < 0) {
            throw EngineError("descriptives: \"maxNOfDistinctValues\" must not be negative");
        }
    }
    out.computeSummaryStats = BoolSetting(settings, "computeSummaryStats", true);
    out.trimTrailingBlank = BoolSetting(settings, "trimTrailingBlank", false);
    out.listDistinctValues = BoolSetting(settings, "listDistinctValues", true);
    return out;
}

void DoubleSet::grow() {
    std::vector<uint64_t> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, kEmptySlot);
    shift_ = static_cast<unsigned>(64 - std::countr_zero(slots_.size()));
    size_ = 0;
    for (uint64_t bits : old) {
        if (bits != kEmptySlot)
            insert(std::bit_cast<double>(bits));
    }
}

std::vector<double> DoubleSet::values() const {
    std::vector<double> out;
    out.reserve(size_);
    for (uint64_t bits : slots_) {
        if (bits != kEmptySlot)
            out.push_back(std::bit_cast<double>(bits));
    }
    return out;
}

void DoubleSet::clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    size_ = 0;
    shift_ = 64;
}

FieldAccumulator::FieldAccumulator(const EngineField& field, int64_t maxDistinct,
                                   bool trimTrailingBlank)
    : field_(field), maxDistinct_(maxDistinct), trim_(trimTrailingBlank) {}

void FieldAccumulator::addText(std::string_view text) {
    if (trim_) {
        while (!text.empty() && text.back() == ' ')
            text.remove_suffix(1);
    }
    ++valid_;
    if (exceeded_)
        return;
    if (texts_.insert(text) && static_cast<int64_t>(texts_.size()) > maxDistinct_) {
        exceeded_ = true;
        texts_.clear();
    }
}

void FieldAccumulator::flush() {
    // NaN and infinities count as missing: move the finite values to the front.
    size_t n = 0;
    for (size_t i = 0; i < blockSize_; ++i) {
        const double x = block_[i];
        if (std::isfinite(x))
            block_[n++] = x;
    }
    blockSize_ = 0;
    if (n == 0)
        return;
    // Deviations from the block's first value are small and mostly exact even at large offsets
    // (1e15 + 6 has 16 significant digits); a plain sum of the values would round every addition.
    const double shift = block_[0];
    double sum = 0.0;
    double lo = block_[0];
    double hi = block_[0];
    for (size_t i = 0; i < n; ++i) {
        sum += block_[i] - shift;
        lo = std::min(lo, block_[i]);
        hi = std::max(hi, block_[i]);
    }
    const double shiftedMean = sum / static_cast<double>(n);
    const double blockMean = shift + shiftedMean;
    double blockM2 = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double d = (block_[i] - shift) - shiftedMean;
        blockM2 += d * d;
    }
    if (valid_ == 0) {
        mean_ = blockMean;
        m2_ = blockM2;
        min_ = lo;
        max_ = hi;
    } else {
        const double total = static_cast<double>(valid_ + n);
        const double delta = blockMean - mean_;
        mean_ += delta * static_cast<double>(n) / total;
        m2_ +=
            blockM2 + delta * delta * static_cast<double>(valid_) * static_cast<double>(n) / total;
        min_ = std::min(min_, lo);
        max_ = std::max(max_, hi);
    }
    valid_ += n;
    if (exceeded_)
        return;
    for (size_t i = 0; i < n; ++i) {
        if (numbers_.insert(block_[i]) && static_cast<int64_t>(numbers_.size()) > maxDistinct_) {
            exceeded_ = true;
            numbers_.clear();
            return;
        }
    }
}

FieldSummary FieldAccumulator::finish(bool computeSummaryStats, bool listValues) {
    flush();
    FieldSummary s;
    s.field = field_;
    if (s.field.measure == Measure::Typeless) {
        s.field.measure =
            field_.storage == Storage::String ? Measure::Nominal : Measure::Continuous;
    }
    s.count = count_;
    s.valid = valid_;
    s.missing = count_ - valid_;
    if (field_.storage != Storage::String && valid_ > 0 && computeSummaryStats) {
        s.hasRange = true;
        s.minimum = min_;
        s.maximum = max_;
        s.hasMean = true;
        s.mean = mean_;
        if (valid_ > 1) {
            s.hasStdDev = true;
            s.stdDev = std::sqrt(m2_ / static_cast<double>(valid_ - 1));
        }
    }
    s.distinctExceeded = exceeded_;
    if (exceeded_) {
        s.distinctCount = static_cast<uint64_t>(maxDistinct_);
    } else if (!listValues) {
        s.distinctCount = field_.storage == Storage::String ? texts_.size() : numbers_.size();
    } else if (field_.storage == Storage::String) {
        s.distinctCount = texts_.size();
        s.distinctValues = texts_.values();
        std::sort(s.distinctValues.begin(), s.distinctValues.end());
    } else {
        s.distinctCount = numbers_.size();
        std::vector<double> sorted = numbers_.values();
        std::sort(sorted.begin(), sorted.end());
        s.distinctValues.reserve(sorted.size());
        for (double v : sorted)
            s.distinctValues.push_back(NumberText(v));
    }
    return s;
}

DescriptivesResult ComputeDescriptives(RowSource& source, const DescriptivesSettings& settings,
                                       const std::function<void(uint64_t)>& onRow,
                                       const std::function<uint64_t()>& restarts) {
    const std::vector<EngineField>& fields = source.fields();
    // Which fields to summarise: the list given, else every field unless the job only asks for
    // time intervals.
    const FieldIndex index(fields);
    std::vector<size_t> analysed;
    if (settings.inputFieldsGiven) {
        analysed.reserve(settings.inputFields.size());
        for (const std::string& name : settings.inputFields)
            analysed.push_back(index.find(name));
    } else if (settings.stdDateTimeFields.empty() && settings.nonStdDateTimeFields.empty()) {
        for (size_t i = 0; i < fields.size(); ++i)
            analysed.push_back(i);
    }
    std::vector<FieldAccumulator> accumulators;
    std::vector<size_t> timeIndexes;
    std::vector<TimePointCollector> collectors;
    for (const std::string& name : settings.stdDateTimeFields)
        timeIndexes.push_back(index.find(name));
    for (const std::string& name : settings.nonStdDateTimeFields)
        timeIndexes.push_back(index.find(name));
    // (Re)starts every accumulator from the source's current storages.
    auto start = [&] {
        accumulators.clear();
        accumulators.reserve(analysed.size());
        for (size_t i : analysed) {
            accumulators.emplace_back(fields[i], settings.maxDistinctValues,
                                      settings.trimTrailingBlank);
        }
        collectors.clear();
        for (size_t k = 0; k < timeIndexes.size(); ++k)
            collectors.emplace_back(fields[timeIndexes[k]], k < settings.stdDateTimeFields.size());
    };
    start();

    DescriptivesResult result;
    uint64_t started = restarts ? restarts() : 0;
    while (source.next()) {
        if (restarts && restarts() != started) {
            // The source settled its storages and delivers its first record again.
            started = restarts();
            result.records = 0;
            start();
        }
        ++result.records;
        // A source that keeps its row in arrays is read without a virtual call per value.
        if (RowArrays row; source.rowArrays(row)) {
            for (size_t k = 0; k < analysed.size(); ++k)
                accumulators[k].add(row.cell(analysed[k]));
            for (size_t k = 0; k < timeIndexes.size(); ++k)
                collectors[k].add(row.cell(timeIndexes[k]));
        } else {
            for (size_t k = 0; k < analysed.size(); ++k)
                accumulators[k].add(source.cell(analysed[k]));
            for (size_t k = 0; k < timeIndexes.size(); ++k)
                collectors[k].add(source.cell(timeIndexes[k]));
        }
        if (onRow)
            onRow(result.records);
    }
    // A one-pass source may have widened integer fields to real on the way.
    for (size_t k = 0; k < analysed.size(); ++k)
        accumulators[k].widen(fields[analysed[k]].storage);
    result.fields.reserve(accumulators.size());
    for (FieldAccumulator& a : accumulators) {
        result.fields.push_back(
            a.finish(settings.computeSummaryStats, settings.listDistinctValues));
    }
    for (TimePointCollector& c : collectors)
        result.intervals.push_back(c.finish());
    return result;
}

}  // namespace qelocal
