#include "qeinteg/platform/engine/stats/TimeIntervals.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

namespace qelocal {

namespace {

// Texts read before the format of a text field is settled.
constexpr size_t kFormatSamples = 200;

}  // namespace

IntervalShape DetectInterval(const std::vector<double>& seconds) {
    IntervalDetector detector;
    for (double s : seconds)
        detector.add(s);
    return detector.finish();
}

TimePointCollector::TimePointCollector(const EngineField& field, bool standard) {
    result_.field = field.name;
    result_.standard = standard;
    result_.storage = field.storage;
    if (IsTemporalStorage(field.storage)) {
        result_.timeStorage = field.storage;
    } else if (field.storage == Storage::String) {
        textField_ = true;
    } else {
        result_.error = "field '" + field.name + "' of storage " + StorageText(field.storage) +
                        " is not a date/time field";
    }
}

void TimePointCollector::add(const Cell& cell) {
    ++result_.records;
    if (!result_.error.empty())
        return;
    if (cell.missing) {
        ++result_.missing;
        return;
    }
    if (!textField_) {
        // Beyond the range (possible through host dates or QEBF date fields) a point is invalid.
        const double seconds = std::isfinite(cell.number)
                                   ? TemporalToSeconds(result_.timeStorage, cell.number)
                                   : std::numeric_limits<double>::quiet_NaN();
        if (IsValidTimePoint(seconds)) {
            detector_.add(seconds);
        } else {
            ++result_.invalid;
        }
        return;
    }
    // Surrounding blanks are not part of a date.
    std::string_view text = cell.text;
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    if (text.empty()) {
        ++result_.missing;
        return;
    }
    if (!formatSettled_) {
        pending_.emplace_back(text);
        if (pending_.size() >= kFormatSamples)
            detectFormat();
        return;
    }
    addText(text);
}

void TimePointCollector::addText(std::string_view text) {
    double seconds = 0;
    if (format_ && format_->Parse(text, seconds) && IsValidTimePoint(seconds)) {
        detector_.add(seconds);
    } else {
        ++result_.invalid;
    }
}

void TimePointCollector::detectFormat() {
    formatSettled_ = true;
    format_ = DetectDateTimeFormat(pending_);
    if (!format_) {
        result_.error =
            "no known date/time format fits the values of field '" + result_.field + "'";
        pending_.clear();
        return;
    }
    result_.format = format_->pattern();
    result_.timeStorage = format_->storage();
    for (const std::string& text : pending_)
        addText(text);
    pending_.clear();
    pending_.shrink_to_fit();
}

TimeIntervalResult TimePointCollector::finish() {
    if (textField_ && !formatSettled_ && result_.error.empty()) {
        if (pending_.empty()) {
            formatSettled_ = true;  // nothing to detect: no points
        } else {
            detectFormat();
        }
    }
    if (result_.error.empty())
        result_.shape = detector_.finish();
    return result_;
}

}  // namespace qelocal
