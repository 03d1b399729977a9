#include "qeinteg/platform/engine/tsdp/TcmScoringSteps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <optional>
#include <unordered_map>

#include <pugixml.hpp>

#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"
#include "qeinteg/platform/engine/io/MemoryRowSource.h"
#include "qeinteg/platform/engine/io/ZipInput.h"
#include "qeinteg/platform/engine/io/ZipOutput.h"
#include "qeinteg/platform/engine/tsdp/ImpactDiagram.h"
#include "qeinteg/platform/engine/tsdp/TcmArchive.h"
#include "qeinteg/platform/engine/tsdp/TcmForecast.h"
#include "qeinteg/platform/engine/tsdp/TsdpSteps.h"

namespace qelocal {

namespace {

using Json = nlohmann::ordered_json;
using TimeKey = std::vector<double>;

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kFutureFlag = "$FutureFlag";

// The model archive of a call, named by its first container descriptor.
TcmArchive OpenArchive(const EngineStep& step, const Json& descriptors, JobEnvironment& env) {
    const std::string path = ContainerPaths(step, descriptors, env, ContainerRole::Input).at(0);
    try {
        return TcmArchive(path);
    } catch (const EngineError& e) {
        throw EngineError(StepName(step) + ": " + e.what(), e.id());
    }
}

bool BoolMember(const EngineStep& step, const Json& object, const char* key, bool fallback) {
    auto it = object.find(key);
    if (it == object.end())
        return fallback;
    if (!it->is_boolean())
        throw EngineError(StepName(step) + ": \"" + key + "\" must be true or false",
                          "BAD_CONFIGURATION");
    return it->get<bool>();
}

const Json& ObjectArgument(const EngineStep& step, size_t index, const char* what) {
    const Json& value = StepArgument(step, index, what);
    if (!value.is_object())
        throw EngineError(StepName(step) + ": the " + what + " must be an object",
                          "BAD_CONFIGURATION");
    return value;
}

size_t InputField(const EngineStep& step, const std::vector<EngineField>& fields,
                  const std::string& name) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name == name)
            return i;
    }
    throw EngineError(StepName(step) + ": the input has no field '" + name + "'", "UNKNOWN_FIELD");
}

// The names of the prepared records' time fields.
std::vector<std::string> TimeFieldNames(const TsdpSettings& settings) {
    if (!settings.dateTimeField.empty())
        return {settings.dateTimeField};
    if (settings.caseCount)
        return {"$casecount"};
    return settings.cyclicFields;
}

// The input fields of the time points; they must hold numbers (dates and times included).
std::vector<size_t> TimeFields(const EngineStep& step, const std::vector<EngineField>& fields,
                               const TsdpSettings& settings) {
    std::vector<size_t> indexes;
    for (const std::string& name : TimeFieldNames(settings)) {
        indexes.push_back(InputField(step, fields, name));
        if (!IsNumericStorage(fields[indexes.back()].storage))
            throw EngineError(StepName(step) + ": the time field '" + name +
                                  "' holds text; time points must be dates, times or numbers",
                              "BAD_CONFIGURATION");
    }
    return indexes;
}

// Polls cancellation while records are pulled.
void Pace(JobEnvironment& env, uint64_t records) {
    if ((records & 63) == 0 && env.cancelled && env.cancelled())
        throw EngineCancelled();
}

// Seconds of an ISO date ("2001-01-01"), timestamp ("2001-01-01T10:00:00", fractions allowed) or
// time ("10:00:00") as the preparation output writes its time points.
std::optional<double> IsoSeconds(const std::string& text) {
    long long year = 0;
    int month = 0, day = 0, hour = 0, minute = 0, consumed = 0;
    double second = 0;
    if (std::sscanf(text.c_str(), "%d:%d:%lf%n", &hour, &minute, &second, &consumed) == 3 &&
        static_cast<size_t>(consumed) == text.size() && text.find('-') == std::string::npos) {
        return hour * 3600.0 + minute * 60.0 + second;
    }
    consumed = 0;
    if (std::sscanf(text.c_str(), "%lld-%d-%d%n", &year, &month, &day, &consumed) != 3 ||
        month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    double seconds = static_cast<double>(DaysFromCivil(year, month, day)) * 86400.0;
    if (static_cast<size_t>(consumed) == text.size())
        return seconds;
    int rest = 0;
    if (text[static_cast<size_t>(consumed)] != 'T' ||
        std::sscanf(text.c_str() + consumed + 1, "%d:%d:%lf%n", &hour, &minute, &second, &rest) !=
            3 ||
        static_cast<size_t>(consumed + 1 + rest) != text.size())
        return std::nullopt;
    return seconds + hour * 3600.0 + minute * 60.0 + second;
}

// The time points after `last` on a cyclic grid: the inner fields run through their cycles (the
// values the grid holds, every whole number between the smallest and largest when they are whole)
// and carry into the outer ones; the outermost field goes on past its largest value.
std::vector<TimeKey> NextCyclicKeys(const std::vector<TimeKey>& grid, size_t count) {
    const size_t k = grid.empty() ? 0 : grid[0].size();
    std::vector<std::vector<double>> cycles(k);
    for (size_t c = 0; c < k; ++c) {
        for (const TimeKey& key : grid)
            cycles[c].push_back(key[c]);
        cycles[c] = CycleOf(std::move(cycles[c]));
    }
    std::vector<TimeKey> keys;
    if (grid.empty())
        return keys;
    TimeKey key = grid.back();
    for (size_t n = 0; n < count; ++n) {
        for (size_t c = k; c-- > 0;) {
            const auto& cycle = cycles[c];
            auto at = std::lower_bound(cycle.begin(), cycle.end(), key[c]);
            if (c == 0) {
                // The outermost field has no cycle to wrap around.
                if (at != cycle.end() && at + 1 != cycle.end())
                    key[c] = *(at + 1);
                else
                    key[c] += cycle.size() > 1 ? cycle.back() - cycle[cycle.size() - 2] : 1.0;
                break;
            }
            if (at != cycle.end() && at + 1 != cycle.end()) {
                key[c] = *(at + 1);
                break;
            }
            key[c] = cycle.front();
        }
        keys.push_back(key);
    }
    return keys;
}

// The next `count` time points after the last point of `grid`.
std::vector<TimeKey> FutureKeys(const TsdpSettings& settings, Storage timeStorage,
                                const std::vector<TimeKey>& grid, size_t count) {
    if (grid.empty() || count == 0)
        return {};
    if (!settings.dateTimeField.empty() || settings.caseCount) {
        std::vector<TimeKey> keys;
        for (size_t n = 1; n <= count; ++n) {
            const double last = grid.back()[0];
            keys.push_back({settings.caseCount ? last + static_cast<double>(n)
                                               : ShiftPeriod(settings, timeStorage, last,
                                                             static_cast<int64_t>(n))});
        }
        return keys;
    }
    return NextCyclicKeys(grid, count);
}

// The requested series identifiers: "seriesIDList" holds arrays of identifiers (or identifiers).
std::vector<std::string> RequestedIds(const EngineStep& step, const Json& conf) {
    std::vector<std::string> ids;
    const Json* list = nullptr;
    if (auto setting = conf.find("fieldSetting"); setting != conf.end() && setting->is_object()) {
        if (auto names = setting->find("fieldNameList");
            names != setting->end() && names->is_object()) {
            if (auto it = names->find("seriesIDList"); it != names->end())
                list = &*it;
        }
    }
    if (list == nullptr || !list->is_array())
        throw EngineError(StepName(step) +
                              ": \"fieldSetting\".\"fieldNameList\".\"seriesIDList\" must list "
                              "the series to score",
                          "BAD_CONFIGURATION");
    for (const Json& entry : *list) {
        if (entry.is_string()) {
            ids.push_back(entry.get<std::string>());
            continue;
        }
        if (!entry.is_array())
            throw EngineError(StepName(step) + ": \"seriesIDList\" must hold series identifiers",
                              "BAD_CONFIGURATION");
        for (const Json& id : entry) {
            if (!id.is_string())
                throw EngineError(
                    StepName(step) + ": \"seriesIDList\" must hold series identifiers",
                    "BAD_CONFIGURATION");
            ids.push_back(id.get<std::string>());
        }
    }
    if (ids.empty())
        throw EngineError(StepName(step) + ": \"seriesIDList\" names no series",
                          "BAD_CONFIGURATION");
    return ids;
}

EngineField RealField(const std::string& name) {
    EngineField field;
    field.name = name;
    field.storage = Storage::Real;
    field.measure = Measure::Continuous;
    return field;
}

}  // namespace

bool IsModelCapabilitiesStep(const EngineStep& step) {
    return step.ns == "scoring" && step.function == "scoring";
}

bool IsTcmScoreStep(const EngineStep& step) {
    return step.ns == "tcm" && (step.function == "score" || step.function == "ar");
}

bool IsRtsdpStep(const EngineStep& step) {
    return step.ns == "rtsdp" && step.function == "rtsdp";
}

bool IsTcmOutputStep(const EngineStep& step) {
    return step.ns == "OutputComponent" && step.function == "TCMOutputComponent";
}

void RunModelCapabilitiesStep(const EngineStep& step, JobEnvironment& env) {
    const Json& conf = ObjectArgument(step, 0, "scoring settings");
    if (!BoolMember(step, conf, "isModelCapabilities", false)) {
        throw EngineError(StepName(step) +
                              ": only \"isModelCapabilities\": true is supported; score series "
                              "with tcm:score or tcm:ar",
                          "BAD_CONFIGURATION");
    }
    const TcmArchive archive = OpenArchive(step, StepArgument(step, 1, "model containers"), env);
    const std::vector<std::string> paths = ContainerPaths(
        step, StepArgument(step, 2, "output containers"), env, ContainerRole::Output);
    const TsdpSettings& settings = archive.preparation();

    // Scoring reads the prepared fields and gives, per metric, observed and predicted values.
    std::vector<EngineField> output;
    for (const EngineField& field : archive.dataFields()) {
        const bool metric = std::find(settings.metrics.begin(), settings.metrics.end(),
                                      field.name) != settings.metrics.end();
        if (!metric)
            output.push_back(field);
    }
    for (const std::string& metric : settings.metrics) {
        output.push_back(RealField(metric));
        output.push_back(RealField(metric + "_predicted"));
    }
    EngineField flag;
    flag.name = kFutureFlag;
    flag.storage = Storage::Integer;
    flag.measure = Measure::Flag;
    output.push_back(flag);

    pugi::xml_document properties;
    pugi::xml_node root = properties.append_child("ModelProperties");
    root.append_attribute("version") = 1;
    auto property = [&root](const char* name, const std::string& value) {
        root.append_child(name).text().set(value.c_str());
    };
    size_t targets = 0;
    for (const TcmArchive::Series& s : archive.series())
        targets += s.target && s.fitted ? 1 : 0;
    property("modelType", "TCM");
    property("lags", std::to_string(archive.lags()));
    property("timePoints", std::to_string(archive.timePoints()));
    property("maxForecastSpan", std::to_string(archive.maxForecastSpan()));
    property("seriesCount", std::to_string(archive.series().size()));
    property("targetCount", std::to_string(targets));
    pugi::xml_node list = root.append_child("series");
    for (size_t s = 0; s < archive.series().size(); ++s) {
        const TcmArchive::Series& series = archive.series()[s];
        pugi::xml_node node = list.append_child("series");
        node.append_attribute("id") = series.id.c_str();
        node.append_attribute("name") = archive.label(s).c_str();
        node.append_attribute("metric") = series.metric.c_str();
        node.append_attribute("kind") = !series.modelled ? "none" : series.target ? "tcm" : "ar";
        node.append_attribute("fitted") = series.fitted;
    }

    const std::vector<std::pair<std::string, std::string>> entries{
        {"ScoreInputDataModel.xml", DataModelDocument(archive.dataFields())},
        {"ScoreOutputDataModel.xml", DataModelDocument(output)},
        {"ScoreModelProp.xml", SerializeXml(properties)},
    };
    for (const std::string& path : paths)
        WriteZipArchive(path, entries);
}

std::unique_ptr<RowSource> RunTcmScoreStep(const EngineStep& step, RowSource& input,
                                           JobEnvironment& env) {
    const bool autoregressive = step.function == "ar";
    const Json& conf = ObjectArgument(step, 0, "score settings");
    const TcmArchive archive = OpenArchive(step, StepArgument(step, 1, "model containers"), env);
    const TsdpSettings& settings = archive.preparation();

    std::vector<size_t> requested;
    for (const std::string& id : RequestedIds(step, conf)) {
        const size_t s = archive.find(id);
        if (s == TcmArchive::npos)
            throw EngineError(StepName(step) + ": the model has no series '" + id + "'",
                              "UNKNOWN_SERIES");
        const TcmArchive::Series& series = archive.series()[s];
        if (!series.modelled)
            throw EngineError(StepName(step) + ": series " + series.id + " (" + archive.label(s) +
                                  ") has no model",
                              "UNKNOWN_SERIES");
        if (autoregressive && series.target)
            throw EngineError(StepName(step) + ": series " + series.id + " (" + archive.label(s) +
                                  ") is a target; score it with tcm:score",
                              "BAD_CONFIGURATION");
        if (std::find(requested.begin(), requested.end(), s) == requested.end())
            requested.push_back(s);
    }
    size_t span = 0;
    if (auto forecast = conf.find("forecast"); forecast != conf.end()) {
        if (!forecast->is_object())
            throw EngineError(StepName(step) + ": \"forecast\" must be an object",
                              "BAD_CONFIGURATION");
        auto it = forecast->find("forecastSpan");
        if (it != forecast->end()) {
            if (!it->is_number_integer() || it->get<int64_t>() < 0)
                throw EngineError(StepName(step) +
                                      ": \"forecastSpan\" must be a whole number of "
                                      "periods, 0 or more",
                                  "BAD_CONFIGURATION");
            if (it->get<uint64_t>() > archive.maxForecastSpan())
                throw EngineError(StepName(step) + ": a forecast span of " + it->dump() +
                                      " periods is beyond the " +
                                      std::to_string(archive.maxForecastSpan()) +
                                      " the model allows",
                                  "BAD_CONFIGURATION");
            span = it->get<size_t>();
        }
        if (!BoolMember(step, *forecast, "doForecast", true))
            span = 0;
    }
    bool fit = false;
    if (auto it = conf.find("fit"); it != conf.end()) {
        if (!it->is_object())
            throw EngineError(StepName(step) + ": \"fit\" must be an object", "BAD_CONFIGURATION");
        fit = BoolMember(step, *it, "doFit", false);
    }
    const bool keepObserved = BoolMember(step, conf, "outputOriginalValue", false);
    const TcmForecast forecast(archive, requested);

    // Where the prepared records keep what the scoring reads.
    const std::vector<EngineField>& fields = input.fields();
    std::vector<size_t> dimIndex;
    std::vector<char> dimText;
    for (const std::string& name : settings.dimensions) {
        dimIndex.push_back(InputField(step, fields, name));
        dimText.push_back(fields[dimIndex.back()].storage == Storage::String);
    }
    const std::vector<size_t> timeIndex = TimeFields(step, fields, settings);
    std::map<std::string, size_t> metricIndex;  // metric name to input field
    for (size_t s : forecast.needed()) {
        const std::string& metric = archive.series()[s].metric;
        if (metricIndex.count(metric) == 0)
            metricIndex[metric] = InputField(step, fields, metric);
    }
    // Per metric read: its position in the settings and its input field.
    std::vector<std::pair<size_t, size_t>> metricFields;
    for (size_t m = 0; m < settings.metrics.size(); ++m) {
        if (auto it = metricIndex.find(settings.metrics[m]); it != metricIndex.end())
            metricFields.emplace_back(m, it->second);
    }

    // The series of the records: positions of the dimension values, then the metric position.
    struct Observation {
        size_t series;
        size_t key;  // time point, in order of first appearance
        double value;
    };
    // The distinct time points of the records; few against the records, so looked up by value.
    std::map<TimeKey, size_t> keyIds;
    std::vector<Observation> observations;
    std::unordered_map<std::string, std::vector<size_t>> seriesOfCombination;
    std::vector<TcmArchive::Series> const& allSeries = archive.series();
    std::vector<std::vector<Cell>> dimensionCells(allSeries.size());
    std::vector<std::vector<std::string>> dimensionTexts(allSeries.size());
    std::string combination;
    TimeKey key(timeIndex.size());
    uint64_t records = 0;
    std::vector<char> seen(allSeries.size(), 0);
    while (input.next()) {
        Pace(env, ++records);
        combination.clear();
        bool known = true;
        for (size_t d = 0; d < dimIndex.size() && known; ++d) {
            const size_t position =
                archive.dimensionPosition(d, input.cell(dimIndex[d]), dimText[d]);
            known = position != TcmArchive::npos;
            combination += std::to_string(position) + "-";
        }
        bool timed = known;
        for (size_t t = 0; t < timeIndex.size() && timed; ++t) {
            const Cell cell = input.cell(timeIndex[t]);
            timed = !cell.missing && std::isfinite(cell.number);
            key[t] = cell.number;
        }
        if (!timed)
            continue;  // a combination the model does not know, or a record without a time point
        auto found = seriesOfCombination.find(combination);
        if (found == seriesOfCombination.end()) {
            std::vector<size_t> byMetric;
            for (size_t m = 0; m < settings.metrics.size(); ++m)
                byMetric.push_back(archive.find(combination + std::to_string(m)));
            found = seriesOfCombination.emplace(combination, std::move(byMetric)).first;
        }
        const size_t keyId = keyIds.emplace(key, keyIds.size()).first->second;
        for (const auto& [m, field] : metricFields) {
            const size_t s = found->second[m];
            if (s == TcmArchive::npos)
                continue;
            const Cell cell = input.cell(field);
            observations.push_back({s, keyId, cell.missing ? kMissing : cell.number});
            if (!seen[s]) {
                seen[s] = 1;
                for (size_t d = 0; d < dimIndex.size(); ++d) {
                    const Cell dim = input.cell(dimIndex[d]);
                    dimensionTexts[s].emplace_back(dim.text);
                    dimensionCells[s].push_back(dim);
                }
            }
        }
    }
    for (size_t s : requested) {
        if (!seen[s])
            throw EngineError(StepName(step) + ": the input has no records of series " +
                                  allSeries[s].id + " (" + archive.label(s) + ")",
                              "UNKNOWN_SERIES");
    }

    // The observed periods: every time point of the records, in time order.
    std::vector<TimeKey> grid;
    std::vector<size_t> periodOf(keyIds.size());
    for (const auto& [time, id] : keyIds) {
        periodOf[id] = grid.size();
        grid.push_back(time);
    }
    const size_t periods = grid.size();
    std::vector<std::vector<double>> history(allSeries.size());
    for (size_t s : forecast.needed())
        history[s].assign(periods, kMissing);
    for (const Observation& o : observations) {
        if (history[o.series].empty())
            continue;
        history[o.series][periodOf[o.key]] = o.value;
    }
    const std::vector<TcmForecast::Scores> scores = forecast.score(history, periods, span, fit);
    const Storage timeStorage = fields[timeIndex[0]].storage;
    const std::vector<TimeKey> future = FutureKeys(settings, timeStorage, grid, span);

    // Dimensions, time fields, then per metric of the requested series its observed values (when
    // kept) and its predictions.
    std::vector<EngineField> outFields;
    for (size_t d : dimIndex)
        outFields.push_back(fields[d]);
    for (size_t t : timeIndex)
        outFields.push_back(fields[t]);
    std::map<std::string, std::pair<size_t, size_t>> metricColumns;  // observed, predicted
    for (size_t s : requested) {
        const std::string& metric = allSeries[s].metric;
        if (metricColumns.count(metric) != 0)
            continue;
        size_t observed = std::numeric_limits<size_t>::max();
        if (keepObserved) {
            observed = outFields.size();
            outFields.push_back(RealField(metric));
        }
        metricColumns[metric] = {observed, outFields.size()};
        outFields.push_back(RealField(metric + "_predicted"));
    }
    auto rows = std::make_unique<MemoryRowSource>(std::move(outFields));
    for (size_t r = 0; r < requested.size(); ++r) {
        const size_t s = requested[r];
        const auto [observed, predicted] = metricColumns[allSeries[s].metric];
        for (size_t p = 0; p < periods + future.size(); ++p) {
            rows->addRecord();
            for (size_t d = 0; d < dimIndex.size(); ++d) {
                Cell cell = dimensionCells[s][d];
                cell.text = dimensionTexts[s][d];
                rows->setCell(d, cell);
            }
            const TimeKey& time = p < periods ? grid[p] : future[p - periods];
            for (size_t t = 0; t < timeIndex.size(); ++t)
                rows->setNumber(dimIndex.size() + t, time[t]);
            if (p < periods) {
                if (keepObserved)
                    rows->setNumber(observed, history[s][p]);
                if (fit)
                    rows->setNumber(predicted, scores[r].fitted[p]);
            } else {
                rows->setNumber(predicted, scores[r].forecast[p - periods]);
            }
        }
    }
    if (env.message) {
        env.message("TCM_SCORED", StepName(step) + ": " + std::to_string(requested.size()) +
                                      " series scored over " + std::to_string(periods) +
                                      " periods and " + std::to_string(span) + " forecast periods");
    }
    return rows;
}

std::unique_ptr<RowSource> RunRtsdpStep(const EngineStep& step, RowSource& input,
                                        JobEnvironment& env) {
    const Json& conf = ObjectArgument(step, 0, "re-preparation settings");
    const bool exportFlag = BoolMember(step, conf, "exportFutureFlag", false);
    const std::string path =
        ContainerPaths(step, StepArgument(step, 1, "preparation output"), env, ContainerRole::Input)
            .at(0);
    Json document;
    TsdpSettings settings;
    try {
        const std::optional<std::string> text = ReadZipEntry(path, "TSDPOutput.json");
        if (!text)
            throw EngineError(path + " holds no TSDPOutput.json");
        document = Json::parse(*text, nullptr, false);
        if (document.is_discarded() || !document.is_object() || !document.contains("settings"))
            throw EngineError("TSDPOutput.json of " + path + " is not a preparation output");
        settings = ParseTsdpSettings(document["settings"]);
    } catch (const EngineError& e) {
        throw EngineError(StepName(step) + ": " + e.what(), e.id());
    }

    const std::vector<EngineField>& fields = input.fields();
    std::vector<size_t> dimIndex;
    for (const std::string& name : settings.dimensions)
        dimIndex.push_back(InputField(step, fields, name));
    const std::vector<std::string> timeNames = TimeFieldNames(settings);
    const std::vector<size_t> timeIndex = TimeFields(step, fields, settings);

    // The time points of the preparation, in the storage of the records' time fields.
    std::vector<TimeKey> grid;
    const Json& points = document["settings"].contains("timeVariable")
                             ? document["settings"]["timeVariable"]
                             : Json();
    const std::string badPoints = StepName(step) +
                                  ": the preparation output's \"timeVariable\" "
                                  "does not match its settings";
    if (!settings.dateTimeField.empty()) {
        if (!points.is_array())
            throw EngineError(badPoints);
        const Storage storage = fields[timeIndex[0]].storage;
        for (const Json& point : points) {
            std::optional<double> seconds =
                point.is_string() ? IsoSeconds(point.get<std::string>()) : std::nullopt;
            if (!seconds)
                throw EngineError(badPoints);
            grid.push_back({SecondsToTemporal(storage, *seconds)});
        }
    } else {
        if (!points.is_object())
            throw EngineError(badPoints);
        std::vector<const Json*> columns;
        for (const std::string& name : timeNames) {
            auto it = points.find(name);
            if (it == points.end() || !it->is_array() ||
                (!columns.empty() && it->size() != columns[0]->size()))
                throw EngineError(badPoints);
            columns.push_back(&*it);
        }
        for (size_t p = 0; !columns.empty() && p < columns[0]->size(); ++p) {
            TimeKey key;
            for (const Json* column : columns) {
                if (!(*column)[p].is_number())
                    throw EngineError(badPoints);
                key.push_back((*column)[p].get<double>());
            }
            grid.push_back(std::move(key));
        }
    }

    // Every record, grouped by dimension combination in the order they first appear.
    std::vector<EngineField> held = fields;
    MemoryRowSource stored(held);
    std::unordered_map<std::string, size_t> combinationOf;
    std::vector<std::vector<std::pair<TimeKey, size_t>>> byCombination;  // time, record
    std::string combination;
    uint64_t records = 0;
    while (input.next()) {
        Pace(env, ++records);
        TimeKey key;
        bool timed = true;
        for (size_t t : timeIndex) {
            const Cell cell = input.cell(t);
            timed = timed && !cell.missing;
            key.push_back(cell.number);
        }
        if (!timed)
            continue;
        combination.clear();
        for (size_t d : dimIndex) {
            const Cell cell = input.cell(d);
            combination += cell.missing                           ? std::string("\x01", 1)
                           : fields[d].storage == Storage::String ? std::string(cell.text)
                                                                  : std::to_string(cell.number);
            combination += '\0';
        }
        stored.addRecord();
        for (size_t f = 0; f < fields.size(); ++f)
            stored.setCell(f, input.cell(f));
        auto [it, added] = combinationOf.emplace(combination, byCombination.size());
        if (added)
            byCombination.emplace_back();
        byCombination[it->second].emplace_back(std::move(key), stored.records() - 1);
    }

    std::vector<EngineField> outFields = fields;
    if (exportFlag) {
        EngineField flag;
        flag.name = kFutureFlag;
        flag.storage = Storage::Integer;
        flag.measure = Measure::Flag;
        outFields.push_back(flag);
    }
    auto rows = std::make_unique<MemoryRowSource>(std::move(outFields));
    const size_t flagIndex = fields.size();
    for (auto& list : byCombination) {
        // Time order; among records of one time point the last one read counts.
        std::stable_sort(list.begin(), list.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        const size_t example = list.front().second;
        auto copy = [&](size_t record, bool future) {
            rows->addRecord();
            for (size_t f = 0; f < fields.size(); ++f)
                rows->setCell(f, stored.cellAt(record, f));
            if (exportFlag)
                rows->setNumber(flagIndex, future ? 1.0 : 0.0);
        };
        size_t next = 0;
        for (const TimeKey& point : grid) {
            while (next < list.size() && list[next].first < point)
                ++next;  // not a time point of the preparation
            size_t match = list.size();
            while (next < list.size() && list[next].first == point)
                match = next++;
            if (match < list.size()) {
                copy(list[match].second, false);
                continue;
            }
            // A time point without a record: the combination's dimensions, nothing observed.
            rows->addRecord();
            for (size_t d : dimIndex)
                rows->setCell(d, stored.cellAt(example, d));
            for (size_t t = 0; t < timeIndex.size(); ++t)
                rows->setNumber(timeIndex[t], point[t]);
            if (exportFlag)
                rows->setNumber(flagIndex, 0.0);
        }
        for (size_t i = 0; i < list.size(); ++i) {
            const bool after = grid.empty() || grid.back() < list[i].first;
            const bool last = i + 1 == list.size() || list[i + 1].first != list[i].first;
            if (after && last)
                copy(list[i].second, true);
        }
    }
    return rows;
}

void RunTcmOutputStep(const EngineStep& step, RowSource* input, JobEnvironment& env) {
    const Json& conf = ObjectArgument(step, 0, "output settings");
    const TcmArchive archive = OpenArchive(step, StepArgument(step, 1, "model containers"), env);
    const std::vector<std::string> paths = ContainerPaths(
        step, StepArgument(step, 2, "output containers"), env, ContainerRole::Output);
    auto artifacts = conf.find("artifacts");
    if (artifacts == conf.end() || !artifacts->is_array() || artifacts->empty())
        throw EngineError(StepName(step) + ": \"artifacts\" must list the diagrams to write",
                          "BAD_CONFIGURATION");
    if (input != nullptr) {
        uint64_t records = 0;
        while (input->next())
            Pace(env, ++records);
    }
    const ImpactDiagram diagram(archive);
    Json interpretation = Json::object();
    for (const Json& artifact : *artifacts) {
        if (!artifact.is_object() || !artifact.contains("name") || !artifact["name"].is_string())
            throw EngineError(StepName(step) + ": an artifact needs a \"name\"",
                              "BAD_CONFIGURATION");
        const std::string name = artifact["name"].get<std::string>();
        ImpactDiagram::Direction direction;
        if (name == ImpactDiagram::ArtifactName(ImpactDiagram::Direction::Causes))
            direction = ImpactDiagram::Direction::Causes;
        else if (name == ImpactDiagram::ArtifactName(ImpactDiagram::Direction::Effects))
            direction = ImpactDiagram::Direction::Effects;
        else
            throw EngineError(StepName(step) + ": unknown artifact '" + name + "'",
                              "BAD_CONFIGURATION");
        // "target": [[names]], [names] or one name.
        std::vector<std::string> targets;
        const Json target = artifact.value("target", Json());
        const std::string badTarget =
            StepName(step) + ": " + name + ": \"target\" must name series";
        auto addName = [&](const Json& value) {
            if (!value.is_string())
                throw EngineError(badTarget, "BAD_CONFIGURATION");
            targets.push_back(value.get<std::string>());
        };
        if (target.is_string()) {
            addName(target);
        } else if (target.is_array()) {
            for (const Json& entry : target) {
                if (entry.is_array()) {
                    for (const Json& value : entry)
                        addName(value);
                } else {
                    addName(entry);
                }
            }
        } else {
            throw EngineError(badTarget, "BAD_CONFIGURATION");
        }
        const Json level = artifact.value("level", Json(1));
        if (!level.is_number_integer())
            throw EngineError(StepName(step) + ": " + name + ": \"level\" must be a whole number",
                              "BAD_CONFIGURATION");
        try {
            interpretation[name.substr(name.find('.') + 1)] =
                diagram.artifact(direction, targets, level.get<int>());
        } catch (const EngineError& e) {
            throw EngineError(StepName(step) + ": " + e.what(), e.id());
        }
    }
    const std::string text = Json{{"interpretation", std::move(interpretation)}}.dump(1);
    for (const std::string& path : paths)
        WriteZipArchive(path, {{"statJson.json", text}});
}

}  // namespace qelocal
