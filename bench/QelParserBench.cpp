// The QEL parser against its baseline: nlohmann_json parsing the same JSON values alone, so the
// ratio is what the job structure (names, calls, inputs, positions) costs on top of the JSON.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "qeinteg/platform/engine/job/QelParser.h"

namespace {

// A scoring job as the procedures write it, with its configuration grown to n series.
std::string ScoringJob(int series, std::vector<std::string>* jsonValues) {
    std::string ids;
    for (int i = 0; i < series; ++i)
        ids += (i ? ",\"" : "\"") + std::to_string(i) + "-1\"";
    std::vector<std::string> values = {
        R"({"filesystem":{"dataModel":"file:////tmp/dm.xml","locations":[{"path":"file:////tmp/d.qebf","parser":{"name":"qebf","config":{}}}]}})",
        R"({"fieldSetting":{"fieldType":"INCLUDED_TARGET_LIST","fieldNameList":{"seriesIDList":[[)" +
            ids +
            R"(]]}},"forecast":{"doForecast":true,"forecastSpan":3},"fit":{"doFit":true},"outputOriginalValue":true})",
        R"([{"name":"InputTCMXML","uri":"file:////tmp/model.zip"}])",
        R"({"exportFutureFlag":true})",
        R"([{"name":"JSON","uri":"file:////tmp/tsdp.zip"}])",
        R"({"dataDestination":"file:////tmp/s.qebf","dataModelDestination":"file:////tmp/s.xml","type":"qebf"})"};
    const char* names[] = {"readerConf", "scoreConf",   "scoreInConf",
                           "rtsdpConf",  "rtsdpInConf", "writerConf"};
    std::string text;
    for (size_t i = 0; i < values.size(); ++i)
        text += std::string("val ") + names[i] + " = " + values[i] + "\n";
    text +=
        "read(readerConf)->tcm:score(scoreConf, scoreInConf,_)->rtsdp:rtsdp(rtsdpConf, "
        "rtsdpInConf, "
        "_)->write(writerConf)";
    if (jsonValues != nullptr)
        *jsonValues = values;
    return text;
}

void BM_ParseQel(benchmark::State& state) {
    std::string text = ScoringJob(static_cast<int>(state.range(0)), nullptr);
    for (auto _ : state) {
        qelocal::JobGraph graph;
        qelocal::QelParseError error;
        benchmark::DoNotOptimize(qelocal::ParseQel(text, graph, error));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_BaselineJsonOnly(benchmark::State& state) {
    std::vector<std::string> values;
    std::string text = ScoringJob(static_cast<int>(state.range(0)), &values);
    for (auto _ : state) {
        for (const std::string& v : values)
            benchmark::DoNotOptimize(qelocal::JsonValue::parse(v));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

}  // namespace

BENCHMARK(BM_ParseQel)->Arg(2)->Arg(1000);
BENCHMARK(BM_BaselineJsonOnly)->Arg(2)->Arg(1000);

BENCHMARK_MAIN();
