#include "qeinteg/platform/engine/tsdp/TcmArchive.h"

#include <cmath>
#include <limits>

#include "qeinteg/platform/engine/io/DataModelXml.h"
#include "qeinteg/platform/engine/io/ZipInput.h"

namespace qelocal {

namespace {

using Json = nlohmann::ordered_json;

Json ParseEntry(const std::string& path, const std::string& name) {
    std::optional<std::string> text = ReadZipEntry(path, name);
    if (!text) {
        throw EngineError("the archive " + path + " is not a temporal causal model: it has no " +
                          name);
    }
    Json document = Json::parse(*text, nullptr, false);
    if (document.is_discarded() || !document.is_object())
        throw EngineError("entry " + name + " of " + path + " is not a JSON object");
    return document;
}

// A number of a document; null (a non-finite statistic) reads as NaN.
double Number(const Json& value) {
    return value.is_number() ? value.get<double>() : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

TcmArchive::TcmArchive(const std::string& path) : path_(path) {
    const Json tsdp = ParseEntry(path, "TSDPOutput.json");
    const Json graph = ParseEntry(path, "TCMGraph.json");
    const Json models = ParseEntry(path, "TCMModel.json");
    const std::optional<std::string> summary = ReadZipEntry(path, "StatXML.xml");
    if (!summary)
        throw EngineError("the archive " + path +
                          " is not a temporal causal model: it has no "
                          "StatXML.xml");
    try {
        settings_ = tsdp.at("settings");
        preparation_ = ParseTsdpSettings(settings_);
        const Json& values = tsdp.at("output").at("dimensionValues");
        for (const std::string& dimension : preparation_.dimensions) {
            auto& texts = textPositions_.emplace_back();
            auto& numbers = numberPositions_.emplace_back();
            const Json& list = values.at(dimension);
            for (size_t v = 0; v < list.size(); ++v) {
                if (list[v].is_string())
                    texts.emplace(list[v].get<std::string>(), v);
                else
                    numbers.emplace(list[v].get<double>(), v);
            }
        }
        lags_ = models.at("lags").get<int>();
        timePoints_ = models.at("timePoints").get<size_t>();
        for (const Json& entry : graph.at("series")) {
            Series s;
            s.id = entry.at("id").get<std::string>();
            s.metric = entry.at("metric").get<std::string>();
            s.dimensionValues = entry.at("dimensionValues").get<std::vector<std::string>>();
            byId_[s.id] = series_.size();
            series_.push_back(std::move(s));
        }
        for (const Json& entry : models.at("models")) {
            auto it = byId_.find(entry.at("series").get<std::string>());
            if (it == byId_.end())
                throw EngineError("a model names an unknown series");
            Series& s = series_[it->second];
            s.modelled = true;
            s.target = entry.at("kind").get<std::string>() == "tcm";
            s.fitted = entry.at("fitted").get<bool>();
            if (auto notes = entry.find("notes"); notes != entry.end())
                s.notes = notes->get<std::vector<std::string>>();
            if (!s.fitted)
                continue;
            s.intercept = Number(entry.at("intercept"));
            for (const Json& input : entry.at("inputs")) {
                auto source = byId_.find(input.at("series").get<std::string>());
                if (source == byId_.end())
                    throw EngineError("a model input names an unknown series");
                Input in;
                in.series = source->second;
                for (const Json& c : input.at("coefficients"))
                    in.coefficients.push_back(Number(c));
                in.pValue = Number(input.at("pValue"));
                s.inputs.push_back(std::move(in));
            }
        }
    } catch (const Json::exception& e) {
        throw EngineError("the model archive " + path + " is malformed: " + e.what());
    } catch (const EngineError& e) {
        throw EngineError("the model archive " + path + " is malformed: " + e.what());
    }
    const size_t start = summary->find("<DataModel>");
    const size_t end = summary->find("</DataModel>");
    if (start == std::string::npos || end == std::string::npos || end < start)
        throw EngineError("the model archive " + path + " has no data model in StatXML.xml");
    for (EngineField& field : ParseDataModelXml(summary->substr(start, end + 12 - start))) {
        if (field.name != "metricField")
            dataFields_.push_back(std::move(field));
    }
}

size_t TcmArchive::find(const std::string& name) const {
    if (auto it = byId_.find(name); it != byId_.end())
        return it->second;
    for (size_t s = 0; s < series_.size(); ++s) {
        if (label(s) == name)
            return s;
    }
    return npos;
}

std::string TcmArchive::label(size_t series) const {
    const Series& s = series_.at(series);
    if (s.dimensionValues.empty())
        return s.metric;
    std::string text = s.metric + " (";
    for (size_t d = 0; d < s.dimensionValues.size(); ++d)
        text += (d > 0 ? ", " : "") + s.dimensionValues[d];
    return text + ")";
}

size_t TcmArchive::dimensionPosition(size_t dimension, const Cell& cell, bool text) const {
    if (cell.missing || dimension >= textPositions_.size())
        return npos;
    if (text) {
        const auto& texts = textPositions_[dimension];
        auto it = texts.find(std::string(cell.text));
        return it == texts.end() ? npos : it->second;
    }
    const auto& numbers = numberPositions_[dimension];
    auto it = numbers.find(cell.number);
    return it == numbers.end() ? npos : it->second;
}

}  // namespace qelocal
