// The key-matching job (two reads, a reclassification, two aggregates, a join and a write) built
// through the function builders against the same job made directly with the program factories
// and hand-built configurations. Both render the job text; the ratio is the builders' overhead.
#include <benchmark/benchmark.h>

#include "common/BenchSupport.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/qel/JNIQelExpression.h"
#include "qeinteg/qel/JNIQelFunction.h"
#include "qeinteg/qel/JNIQelProgram.h"
#include "qeinteg/qel/QELAggregate.h"
#include "qeinteg/qel/QELExpressionFun.h"
#include "qeinteg/qel/QELJoin.h"
#include "qeinteg/qel/QELRead.h"
#include "qeinteg/qel/QELWrite.h"

namespace {

std::string WithBuilders() {
    JNIQelProgram program;
    QELRead shapeRead(&program);
    shapeRead.ReadQEBF("file:////tmp/keys/shape.qebf");
    shapeRead.SetDataModel("file:////tmp/keys/shape.xml");
    std::vector<JNIQelExpression*> key{program.createQelExpressionFieldReference("FIPS")};
    QELExpressionFun toReal(&program);
    toReal.SetReclassifyField("FIPS", program.createQelExpression("toReal(%s)", &key));
    toReal.AddPredFunction(&shapeRead);
    QELAggregate shapeKeys(&program);
    shapeKeys.AddAggregate("count", "", "shapeCount");
    shapeKeys.AddPredFunction(&toReal);
    QELRead datasetRead(&program);
    datasetRead.ReadIterator("activeDS");
    QELAggregate datasetKeys(&program);
    datasetKeys.AddAggregate("count", "", "caseCount");
    datasetKeys.AddPredFunction(&datasetRead);
    QELJoin join(&program);
    join.AddPredFunction(&shapeKeys, "shape");
    join.AddPredFunction(&datasetKeys, "dataset");
    join.SetJoinType(QELJoin::Anti);
    join.AddMatchField(0, "FIPS", 1, "fips");
    join.SetOutputFieldNames(1, {"fips"});
    join.AddNonMatchingSource(1);
    QELWrite write(&program);
    write.WriteCSV("file:////tmp/keys/unmatched.csv");
    write.SetDataModel("file:////tmp/keys/unmatched.xml");
    write.AddPredFunction(&join);
    write.GenerateQEL();
    std::string text;
    program.getQelText(text);
    return text;
}

std::string Direct() {
    JNIQelProgram program;
    JNIJSONObject parserConfig, parser, location, filesystem, shapeConf;
    JNIJSONArray locations;
    parser.put("name", "qebf");
    parser.put("config", &parserConfig);
    location.put("path", "file:////tmp/keys/shape.qebf");
    location.put("parser", &parser);
    locations.add(&location);
    filesystem.put("dataModel", "file:////tmp/keys/shape.xml");
    filesystem.put("locations", &locations);
    shapeConf.put("filesystem", &filesystem);
    JNIQelFunction* shapeRead = program.createQelFunction("read", &shapeConf);
    std::vector<JNIQelExpression*> key{program.createQelExpressionFieldReference("FIPS")};
    JNIJSONObject* noConfig = nullptr;
    JNIQelFunction* toReal = program.createQelFunction(
        "reclassifyField", noConfig,
        program.createQelFieldDerive("FIPS", program.createQelExpression("toReal(%s)", &key)),
        shapeRead);
    JNIJSONObject shapeCount, shapeAgg;
    JNIJSONArray shapeOutput;
    shapeCount.put("function", "count");
    shapeCount.put("outName", "shapeCount");
    shapeOutput.add(&shapeCount);
    shapeAgg.put("output", &shapeOutput);
    JNIQelFunction* shapeKeys = program.createQelFunction("aggregate", &shapeAgg, toReal);
    JNIJSONObject datasetConf;
    datasetConf.put("dataSource", "activeDS");
    JNIQelFunction* datasetRead = program.createQelFunction("read", &datasetConf);
    JNIJSONObject caseCount, datasetAgg;
    JNIJSONArray datasetOutput;
    caseCount.put("function", "count");
    caseCount.put("outName", "caseCount");
    datasetOutput.add(&caseCount);
    datasetAgg.put("output", &datasetOutput);
    JNIQelFunction* datasetKeys = program.createQelFunction("aggregate", &datasetAgg, datasetRead);
    JNIJSONObject pair, outputs, joinConf;
    JNIJSONArray matches, fields, sources;
    pair.put("shape", "FIPS");
    pair.put("dataset", "fips");
    matches.add(&pair);
    fields.add("fips");
    outputs.put("dataset", &fields);
    sources.add("dataset");
    joinConf.put("matchFields", &matches);
    joinConf.put("outputFields", &outputs);
    joinConf.put("joinType", "Anti");
    joinConf.put("nonMatchingSources", &sources);
    std::map<std::string, JNIQelFunction*> inputs{{"shape", shapeKeys}, {"dataset", datasetKeys}};
    JNIQelFunction* join = program.createQelFunction("join", &joinConf, &inputs);
    JNIJSONObject writeConf;
    writeConf.put("dataDestination", "file:////tmp/keys/unmatched.csv");
    writeConf.put("dataModelDestination", "file:////tmp/keys/unmatched.xml");
    writeConf.put("type", "text/csv");
    program.createQelFunction("write", &writeConf, join);
    std::string text;
    program.getQelText(text);
    return text;
}

template <std::string (*Make)()>
void KeyMatching(benchmark::State& state) {
    JNIObjectManager* manager = JNIObjectManager::getManager();
    for (auto _ : state) {
        benchmark::DoNotOptimize(Make());
        manager->cleanJRef();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qeinteg::jni::AttachCurrentThread() == nullptr) {
        std::fprintf(stderr, "could not start the JVM\n");
        return 2;
    }
    if (WithBuilders() != Direct()) {
        std::fprintf(stderr, "the two jobs differ:\n%s\n---\n%s\n", WithBuilders().c_str(),
                     Direct().c_str());
        return 1;
    }
    // Both sides run the same Java code; warm it up for both before anything is timed, so that
    // neither pays for the JIT compiling it.
    for (int i = 0; i < 3000; ++i) {
        WithBuilders();
        Direct();
        JNIObjectManager::getManager()->cleanJRef();
    }
    benchmark::RegisterBenchmark("KeyMatching/Builders", KeyMatching<WithBuilders>)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("KeyMatching/Direct", KeyMatching<Direct>)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    qeinteg::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.real.count("KeyMatching/Builders") && reporter.real.count("KeyMatching/Direct"))
        std::printf("\nBuilders / Direct (same run, real time): %.2fx\n",
                    reporter.real["KeyMatching/Builders"] / reporter.real["KeyMatching/Direct"]);
    benchmark::Shutdown();
    return 0;
}
