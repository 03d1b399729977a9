// Whole job graphs on the local engine: each function against hand-computed tables, the shapes the
// builders write, bad input failing through onError without partial output, and cancellation.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "EngineTestUtil.h"
#include "common/TestSupport.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/engine/service/LocalExecutor.h"
#include "qeinteg/platform/engine/service/LocalMetaDataService.h"

using namespace qelocal;
using enginetest::MemoryIterator;
using enginetest::RecordingListener;

namespace {

class Graph : public testing::Test {
  protected:
    void SetUp() override {
        LocalEngine::instance().reset();
        dir =
            qetest::TestDir() + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(dir);
        LocalEngine::instance().setAnalyticRoot(dir + "/root");
    }

    std::string file(const std::string& name, const std::string& content) {
        const std::string path = dir + "/" + name;
        EXPECT_TRUE(qetest::WriteFile(path, content));
        return path;
    }
    // A read configuration of a CSV file with a header.
    std::string csv(const std::string& path, const std::string& extra = "") {
        return R"({"filesystem":{"locations":[{"path":"file:///)" + path +
               R"(","parser":{"name":"csv","config":{"hasHeader":true}}}]})" + extra + "}";
    }
    std::string writeCsv(const std::string& path) {
        return R"({"dataDestination":"file:///)" + path +
               R"(","dataModelDestination":"","type":"text/csv"})";
    }

    // Runs a job; returns its ending ("success", "error" or "cancel").
    std::string run(const std::string& job, std::vector<EmbeddedQE::RowDataIterator*> its = {}) {
        listener = std::make_unique<RecordingListener>();
        executor = std::make_unique<LocalExecutor>("en_US");
        executor->prepare(qetest::MainEnv(), job);
        for (auto* it : its)
            executor->addInputIterator(qetest::MainEnv(), it, 0);
        executor->execute(qetest::MainEnv(), listener.get());
        const auto e = listener->endings();
        return e.empty() ? "" : e.back();
    }
    // Runs "read(input) -> STEPS -> write(out.csv)" and gives the CSV written.
    std::string pipe(const std::string& input, const std::string& steps,
                     const std::string& vals = "") {
        const std::string out = dir + "/out.csv";
        std::filesystem::remove(out);
        const std::string ending =
            run(vals + "read(" + csv(input) + ")" + steps + "->write(" + writeCsv(out) + ")\n");
        EXPECT_EQ(ending, "success") << listener->errorText;
        return qetest::ReadFile(out);
    }

    std::string dir;
    std::unique_ptr<RecordingListener> listener;
    std::unique_ptr<LocalExecutor> executor;
};

const char* kGroups =
    "g,v,s\n"
    "a,1,x\n"
    "a,3,y\n"
    "b,,z\n"
    "a,2,x\n"
    "b,5,\n"
    ",4,w\n";

}  // namespace

TEST_F(Graph, AggregateSummariesSkipMissingValuesAndKeepMissingKeysAsAGroup) {
    const std::string in = file("groups.csv", kGroups);
    const std::string conf =
        R"({"output":[{"input":"g","function":"key"},{"function":"count","outName":"n"},)"
        R"({"input":"v","function":"count","outName":"nv"},{"input":"v","function":"sum","outName":"sum"},)"
        R"({"input":"v","function":"mean","outName":"mean"},{"input":"v","function":"min","outName":"min"},)"
        R"({"input":"v","function":"max","outName":"max"},{"input":"v","function":"median","outName":"med"},)"
        R"({"input":"v","function":"percentile","outName":"p25","centile":25},)"
        R"({"input":"v","function":"sd","outName":"sd"},{"input":"v","function":"variance","outName":"var"},)"
        R"({"input":"s","function":"first","outName":"first"},{"input":"s","function":"last","outName":"last"},)"
        R"({"input":"s","function":"countDistinct","outName":"nd"}]})";
    EXPECT_EQ(pipe(in, "->aggregate(" + conf + ")"),
              "g,n,nv,sum,mean,min,max,med,p25,sd,var,first,last,nd\n"
              "a,3,3,6,2,1,3,2,1.5,1,1,x,x,2\n"
              "b,2,1,5,5,5,5,5,5,,,z,z,1\n"
              ",1,1,4,4,4,4,4,4,,,w,w,1\n");
    // Without keys the whole input is one group; default out names.
    EXPECT_EQ(
        pipe(in,
             R"(->aggregate({"output":[{"function":"count"},{"input":"v","function":"max"}]}))"),
        "count,v_max\n6,5\n");
    // An empty input: no groups with keys, one group of nothing without.
    const std::string empty = file("empty.csv", "g,v,s\n");
    EXPECT_EQ(
        pipe(empty,
             R"(->aggregate({"output":[{"input":"g","function":"key"},{"function":"count"}]}))"),
        "g,count\n");
    EXPECT_EQ(
        pipe(empty,
             R"(->aggregate({"output":[{"function":"count"},{"input":"g","function":"max"}]}))"),
        "count,g_max\n0,\n");
}

TEST_F(Graph, AggregateRejectsUnknownFunctionsAndTextSums) {
    const std::string in = file("groups.csv", kGroups);
    EXPECT_EQ(run("read(" + csv(in) +
                  R"()->aggregate({"output":[{"input":"v","function":"mode"}]})->write()" +
                  writeCsv(dir + "/o.csv") + ")\n"),
              "error");
    EXPECT_NE(listener->errorText.find("'mode'"), std::string::npos) << listener->errorText;
    EXPECT_EQ(run("read(" + csv(in) +
                  R"()->aggregate({"output":[{"input":"s","function":"sum"}]})->write()" +
                  writeCsv(dir + "/o.csv") + ")\n"),
              "error");
    EXPECT_NE(listener->errorText.find("'s'"), std::string::npos) << listener->errorText;
    EXPECT_FALSE(std::filesystem::exists(dir + "/o.csv"));
}

namespace {

const char* kLeft = "k,a\n1,x\n1,y\n2,z\n3,w\n,m\n";
const char* kRight = "k2,b\n1,p\n1,q\n2,r\n4,s\n,t\n";

}  // namespace

TEST_F(Graph, JoinsMatchDuplicateKeysOnBothSidesAndNeverMatchMissingKeys) {
    const std::string left = file("left.csv", kLeft);
    const std::string right = file("right.csv", kRight);
    auto join = [&](const std::string& conf) {
        const std::string out = dir + "/join.csv";
        std::filesystem::remove(out);
        const std::string job = "val frag_l = read(" + csv(left) + ")\nval frag_r = read(" +
                                csv(right) + ")\njoin(" + conf +
                                ", left=frag_l, right=frag_r)->write(" + writeCsv(out) + ")\n";
        EXPECT_EQ(run(job), "success") << listener->errorText;
        return qetest::ReadFile(out);
    };
    const std::string match = R"("matchFields":[{"left":"k","right":"k2"}])";
    EXPECT_EQ(join("{" + match + R"(,"outputFields":{},"joinType":"Inner"})"),
              "k,a,k2,b\n1,x,1,p\n1,x,1,q\n1,y,1,p\n1,y,1,q\n2,z,2,r\n");
    // Anti join both ways, each reporting the fields of its own side.
    EXPECT_EQ(
        join(
            "{" + match +
            R"(,"outputFields":{"left":["a","k"]},"joinType":"Anti","nonMatchingSources":["left"]})"),
        "a,k\nw,3\nm,\n");
    EXPECT_EQ(
        join(
            "{" + match +
            R"(,"outputFields":{"right":["b"]},"joinType":"Anti","nonMatchingSources":["right"]})"),
        "b\ns\nt\n");
    // A full outer join: unmatched left records in place, unmatched right records at the end.
    EXPECT_EQ(join("{" + match + R"(,"outputFields":{},"joinType":"Outer"})"),
              "k,a,k2,b\n1,x,1,p\n1,x,1,q\n1,y,1,p\n1,y,1,q\n2,z,2,r\n3,w,,\n,m,,\n,,4,s\n,,,t\n");
    // A left outer join names its non-matching source.
    EXPECT_EQ(join("{" + match +
                   R"(,"outputFields":{},"joinType":"Outer","nonMatchingSources":["left"]})"),
              "k,a,k2,b\n1,x,1,p\n1,x,1,q\n1,y,1,p\n1,y,1,q\n2,z,2,r\n3,w,,\n,m,,\n");
    const std::string cartesian = join(
        R"({"matchFields":[],"outputFields":{"left":["a"],"right":["b"]},"joinType":"Cartesian"})");
    EXPECT_EQ(std::count(cartesian.begin(), cartesian.end(), '\n'), 1 + 25);
    EXPECT_EQ(cartesian.substr(0, 20), "a,b\nx,p\nx,q\nx,r\nx,s\n");
    // Clashing names from the second input get its tag.
    const std::string same = file("same.csv", "k,a\n2,zz\n");
    const std::string out = dir + "/clash.csv";
    EXPECT_EQ(run("val frag_l = read(" + csv(left) + ")\nval frag_r = read(" + csv(same) +
                  R"()
join({"matchFields":[{"left":"k","right":"k"}],"outputFields":{},"joinType":"Inner"}, left=frag_l, right=frag_r)->write()" +
                  writeCsv(out) + ")\n"),
              "success")
        << listener->errorText;
    EXPECT_EQ(qetest::ReadFile(out), "k,a,k_right,a_right\n2,z,2,zz\n");
}

TEST_F(Graph, BadJoinsFailNamingTheCulprit) {
    const std::string left = file("left.csv", kLeft);
    const std::string right = file("right.csv", kRight);
    auto error = [&](const std::string& conf) {
        const std::string job =
            "val frag_l = read(" + csv(left) + ")\nval frag_r = read(" + csv(right) + ")\njoin(" +
            conf + ", left=frag_l, right=frag_r)->write(" + writeCsv(dir + "/j.csv") + ")\n";
        EXPECT_EQ(run(job), "error");
        EXPECT_FALSE(std::filesystem::exists(dir + "/j.csv"));
        return listener->errorText;
    };
    const std::string none = error(R"({"matchFields":[],"joinType":"Inner"})");
    EXPECT_NE(none.find("without match fields"), std::string::npos) << none;
    EXPECT_NE(none.find("join (line 3, column"), std::string::npos) << none;
    EXPECT_NE(error(R"({"matchFields":[{"left":"nope","right":"k2"}]})").find("'nope'"),
              std::string::npos);
    EXPECT_NE(error(R"({"matchFields":[{"left":"k","right":"b"}]})").find("'b'"),
              std::string::npos);
    EXPECT_NE(error(R"({"matchFields":[{"left":"k","right":"k2"}],"joinType":"Sideways"})")
                  .find("'Sideways'"),
              std::string::npos);
}

TEST_F(Graph, KeyMatchingShapedJobWritesCsvReadBackThroughTheOutputIterator) {
    const std::string shapes = file("shapes.csv", "region,area\nNord,1\nSüd,2\nOst,3\nNord,4\n");
    const std::string data = file("data.csv", "region,sales\nNord,10\nNord,11\nWest,5\nSüd,7\n");
    const std::string out = dir + "/unmatched.csv";
    // The text the builders write for key matching: two aggregates tagged shape and dataset.
    const std::string job =
        "val f1_conf = " + csv(shapes) + "\n" +
        R"(val f2_conf = {"output":[{"input":"region","function":"key"}]})" + "\n" +
        "val frag_f1 = read(f1_conf)->aggregate(f2_conf, _)\n" + "val f3_conf = " + csv(data) +
        "\n" + R"(val f4_conf = {"output":[{"input":"region","function":"key"}]})" + "\n" +
        "val frag_f3 = read(f3_conf)->aggregate(f4_conf, _)\n" +
        R"(val f5_conf = {"matchFields":[{"shape":"region","dataset":"region"}],"outputFields":{"dataset":["region"]},"joinType":"Anti","nonMatchingSources":["dataset"]})" +
        "\nval f6_conf = " + writeCsv(out) + "\n" +
        "join(f5_conf, dataset=frag_f3, shape=frag_f1)->write(f6_conf, _)\n";
    ASSERT_EQ(run(job), "success") << listener->errorText;
    EXPECT_EQ(qetest::ReadFile(out), "region\nWest\n");
    EmbeddedQE::RowDataIterator* it =
        executor->getOutputIterator(qetest::MainEnv(), "unmatched.csv");
    ASSERT_NE(it, nullptr);
    EXPECT_NE(it->getDataModel().find("name=\"region\""), std::string::npos);
    ASSERT_EQ(it->nextRecord(), 0u);
    const void* value = nullptr;
    size_t length = 0;
    ASSERT_EQ(it->getRecordValue(0, &value, &length), 0u);
    EXPECT_EQ(std::string(static_cast<const char*>(value), length), "West");
    EXPECT_EQ(it->nextRecord(), 1u);
    EXPECT_EQ(it->Rewind(), 0u);
    EXPECT_EQ(it->nextRecord(), 0u);
    it->dispose(qetest::MainEnv());
    EXPECT_NE(it->nextRecord(), 0u);
    // A name that no write produced gives no iterator.
    EXPECT_EQ(executor->getOutputIterator(qetest::MainEnv(), "other.csv"), nullptr);
}

TEST_F(Graph, ExpressionsFollowSqlMissingSemanticsAndHandleMultiByteText) {
    const std::string in = file("people.csv",
                                "name,age,city\n"
                                "Anna,34,Zürich\n"
                                "Bo,,東京\n"
                                "Cé,17,\n"
                                "Dan,51,oslo\n");
    // A comparison with missing is missing, and a filter drops it; || is true when one side is.
    EXPECT_EQ(pipe(in, "->filterRecords(_, c)->filterFields({\"fields\":[\"name\"]})",
                   "val c = ctx => x => x.age > 20\n"),
              "name\nAnna\nDan\n");
    EXPECT_EQ(pipe(in, "->filterRecords(_, c)->filterFields({\"fields\":[\"name\"]})",
                   "val c = ctx => x => x.age > 20 || isMissing(x.age)\n"),
              "name\nAnna\nBo\nDan\n");
    // Derivations: arithmetic on missing is missing, conditionals, text functions on multi-byte
    // characters, concatenation.
    EXPECT_EQ(pipe(in,
                   "->deriveFields(_, d1)->deriveFields(_, d2)->deriveFields(_, d3)"
                   "->filterFields({\"fields\":[\"months\",\"group\",\"tag\"]})",
                   "val d1 = ctx => x => (\"months\", x.age * 12)\n"
                   "val d2 = ctx => x => (\"group\", (if x.age >= 50 then \"old\" elif x.age >= 18 "
                   "then \"adult\" else \"young\"))\n"
                   "val d3 = ctx => x => (\"tag\", upper(substring(x.city, 1, 2)) + \"-\" + "
                   "toString(length(x.city)))\n"),
              "months,group,tag\n408,adult,ZÜ-6\n,young,東京-2\n204,young,\n612,old,OS-4\n");
    // A reclassification replaces the field in place and may change its storage.
    EXPECT_EQ(pipe(in, "->reclassifyField(_, r)->filterFields({\"fields\":[\"age\"]})",
                   "val r = ctx => x => (\"age\", toString(round(toReal(x.age) / 10)))\n"),
              "age\n3\n\n2\n5\n");
    // The date template of the procedures: texts in one of several formats become timestamps.
    const std::string when =
        file("when.csv", "when\n2021-03-04 05:06:07\n2021-03-05\n07:08:09\nnot a date\n");
    EXPECT_EQ(pipe(when, "->reclassifyField(_,toTS)",
                   "val toTS = ctx => x => (\"when\", toTimestamp(x.when, \"yyyy-MM-dd HH:mm:ss\", "
                   "\"yyyy-MM-dd\", \"HH:mm:ss\", \"en_US\", date(1970,1,2)))\n"),
              "when\n2021-03-04T05:06:07\n2021-03-05T00:00:00\n1970-01-02T07:08:09\n\n");
}

TEST_F(Graph, ExpressionTypeErrorsNameTheExpressionAndTheField) {
    const std::string in = file("people.csv", "name,age\nAnna,34\n");
    auto error = [&](const std::string& lambda, const std::string& step) {
        EXPECT_EQ(run("val e = " + lambda + "\nread(" + csv(in) + ")->" + step + "(_, e)->write(" +
                      writeCsv(dir + "/e.csv") + ")\n"),
                  "error");
        EXPECT_FALSE(std::filesystem::exists(dir + "/e.csv"));
        return listener->errorText;
    };
    std::string text = error("ctx => x => (\"y\", x.name * 2)", "deriveFields");
    EXPECT_NE(text.find("x.name * 2"), std::string::npos) << text;
    EXPECT_NE(text.find("field 'name'"), std::string::npos) << text;
    text = error("ctx => x => x.salary > 3", "filterRecords");
    EXPECT_NE(text.find("'salary'"), std::string::npos) << text;
    text = error("ctx => x => x.age + 1", "filterRecords");
    EXPECT_NE(text.find("not a Bool"), std::string::npos) << text;
    text = error("ctx => x => x.name == 3", "filterRecords");
    EXPECT_NE(text.find("field 'name'"), std::string::npos) << text;
    text = error("ctx => x => frobnicate(x.age) > 1", "filterRecords");
    EXPECT_NE(text.find("'frobnicate'"), std::string::npos) << text;
    text = error("ctx => x => (x.age > 1", "filterRecords");
    EXPECT_NE(text.find("column"), std::string::npos) << text;
    text = error("ctx => x => (\"nope\", 1)", "reclassifyField");
    EXPECT_NE(text.find("'nope'"), std::string::npos) << text;
}

TEST_F(Graph, UnionsMatchByNameIgnoringCaseOrByPosition) {
    const std::string a = file("a.csv", "id,Name\n1,x\n");
    const std::string b = file("b.csv", "name,id,extra\ny,2.5,e\n");
    auto unite = [&](const std::string& conf) {
        const std::string out = dir + "/u.csv";
        EXPECT_EQ(
            run("val frag_a = read(" + csv(a) + ")\nval frag_b = read(" + csv(b) + ")\nunion(" +
                conf + ", str1=frag_a, str2=frag_b)->write(" + writeCsv(out) + ")\n"),
            "success")
            << listener->errorText;
        return qetest::ReadFile(out);
    };
    EXPECT_EQ(unite(R"({"matchByPosition":false,"matchCase":false})"),
              "id,Name,extra\n1,x,\n2.5,y,e\n");
    EXPECT_EQ(unite(R"({"matchByPosition":false,"matchCase":true})"),
              "id,Name,name,extra\n1,x,,\n2.5,,y,e\n");
    // By position the numeric id meets the text name: refused, naming the field.
    EXPECT_EQ(
        run("val frag_a = read(" + csv(a) + ")\nval frag_b = read(" + csv(b) +
            ")\n"
            R"(union({"matchByPosition":true,"matchCase":false}, str1=frag_a, str2=frag_b)->write()" +
            writeCsv(dir + "/p.csv") + ")\n"),
        "error");
    EXPECT_NE(listener->errorText.find("'id'"), std::string::npos) << listener->errorText;
}

TEST_F(Graph, ResultsReadTwiceDataSourcesAndTheDataModelFunctions) {
    const std::string in = file("groups.csv", kGroups);
    // The engine data source survives the job; append adds to it.
    ASSERT_EQ(
        run("val c = ctx => x => x.v > 3\nread(" + csv(in) +
            R"()->filterRecords(_, c)->write({"dataSource":"kept","mode":"overwrite"}))" + "\n"),
        "success")
        << listener->errorText;
    ASSERT_EQ(run("val c = ctx => x => x.v == 1\nread(" + csv(in) +
                  R"()->filterRecords(_, c)->write({"dataSource":"kept","mode":"append"}))" + "\n"),
              "success")
        << listener->errorText;
    EXPECT_EQ(run(R"(val frag_k = read({"dataSource":"kept"}))"
                  "\n"
                  R"(filterFields({"fields":["s","g"]}, frag_k)->write()" +
                  writeCsv(dir + "/k1.csv") + ")\n" +
                  R"(aggregate({"output":[{"function":"count"}]}, frag_k)->write()" +
                  writeCsv(dir + "/k2.csv") + ")\n"),
              "success")
        << listener->errorText;
    EXPECT_EQ(qetest::ReadFile(dir + "/k1.csv"), "s,g\n,b\nw,\nx,a\n");
    EXPECT_EQ(qetest::ReadFile(dir + "/k2.csv"), "count\n3\n");
    // updateDataModel and dataModelBuilder, through the metadata service.
    const std::string model = dir + "/model.xml";
    struct Box final : EmbeddedQE::Container {
        std::string path;
        std::string getName() override { return "DM"; }
        std::string getAbsolutePath() override { return path; }
    } box;
    box.path = model;
    LocalMetaDataService metadata;
    int64_t reserved = 0;
    const std::string xml = metadata.metadata(
        qetest::MainEnv(),
        "read(" + csv(in) +
            R"()->updateDataModel({"fields":[{"name":"v","measure":"ordinal","storage":"real","displayLabel":"Wert","valueLabels":[{"value":"1","displayLabel":"eins"}]}]}))"
            R"(->dataModelBuilder([{"normalizeDataModel":true},{"export":true,"name":"DM","uri":"file:///nowhere.xml"}], _))"
            "\n",
        reserved, 0, &box);
    EXPECT_NE(xml.find(R"(name="v" measure="ordinal" storage="real")"), std::string::npos) << xml;
    EXPECT_NE(xml.find(R"(label="Wert")"), std::string::npos) << xml;
    EXPECT_NE(xml.find(R"(label="eins")"), std::string::npos) << xml;
    EXPECT_THROW(metadata.metadata(qetest::MainEnv(),
                                   "read({\"dataSource\":\"none\"})->dataModelBuilder([null,{"
                                   "\"export\":true,\"name\":\"DM\",\"uri\":\"\"}], _)\n",
                                   reserved, 0, &box),
                 EmbeddedQE::Exception);
}

TEST_F(Graph, ReadErrorThresholdSkipsCountsOrFails) {
    const std::string in = file("bad.csv", "a,b\n1,2\n3,4,5\n6,7\n8,x\n9,10\n");
    // The storages come from a data model, so that "x" is a bad number.
    const std::string model = file(
        "model.xml",
        "<?xml version=\"1.0\"?><dataModel version=\"1\"><field name=\"a\" measure=\"continuous\" "
        "storage=\"integer\" role=\"input\"/><field name=\"b\" measure=\"continuous\" "
        "storage=\"integer\" role=\"input\"/></dataModel>");
    auto read = [&](const std::string& threshold) {
        const std::string out = dir + "/t.csv";
        std::filesystem::remove(out);
        const std::string conf = R"({"filesystem":{"dataModel":"file:///)" + model +
                                 R"(","locations":[{"path":"file:///)" + in +
                                 R"(","parser":{"name":"csv","config":{"hasHeader":true}}}]})" +
                                 threshold + "}";
        const std::string ending = run("read(" + conf + ")->write(" + writeCsv(out) + ")\n");
        return ending == "success" ? qetest::ReadFile(out) : "error: " + listener->errorText;
    };
    EXPECT_EQ(read(R"(,"readErrorThreshold":-1)"), "a,b\n1,2\n6,7\n9,10\n");
    int skipped = 0;
    for (const std::string& e : listener->events)
        skipped += e.find("skipped bad record") != std::string::npos ? 1 : 0;
    EXPECT_EQ(skipped, 2);
    EXPECT_EQ(read(R"(,"readErrorThreshold":2)"), "a,b\n1,2\n6,7\n9,10\n");
    const std::string one = read(R"(,"readErrorThreshold":1)");
    EXPECT_NE(one.find("error: "), std::string::npos);
    EXPECT_NE(one.find("'x'"), std::string::npos) << one;
    EXPECT_FALSE(std::filesystem::exists(dir + "/t.csv"));
    EXPECT_NE(read("").find("3 fields"), std::string::npos);
}

TEST_F(Graph, BadJobsFailWithTheCulpritAndLeaveNoOutput) {
    const std::string in = file("groups.csv", kGroups);
    const std::string first = dir + "/first.csv";
    // The first pipeline succeeds and writes; the second fails: nothing of the job remains.
    EXPECT_EQ(run("read(" + csv(in) + ")->write(" + writeCsv(first) + ")\n" + "read(" + csv(in) +
                  R"()->filterFields({"fields":["g","nope"]})->write()" +
                  writeCsv(dir + "/second.csv") + ")\n"),
              "error");
    EXPECT_NE(listener->errorText.find("'nope'"), std::string::npos) << listener->errorText;
    EXPECT_NE(listener->errorText.find("line 2"), std::string::npos) << listener->errorText;
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_EQ(run("read(" + csv(in) + ")->sorcery({})\n"), "error");
    EXPECT_NE(listener->errorText.find("sorcery (line 1, column"), std::string::npos)
        << listener->errorText;
    EXPECT_EQ(run("read(" + csv(in) + R"()->filterFields({"fields":"g"})->write()" +
                  writeCsv(dir + "/x.csv") + ")\n"),
              "error");
    EXPECT_NE(listener->errorText.find("\"fields\""), std::string::npos) << listener->errorText;
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.csv"));
}

TEST_F(Graph, CancellingALongJoinFromAnotherThreadStopsItPromptly) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 3000; ++i)
        rows.push_back({std::to_string(i % 7)});
    MemoryIterator left("left", {{"k", Storage::Integer}}, rows);
    MemoryIterator right("right", {{"k", Storage::Integer}}, rows);
    const std::string out = dir + "/big.csv";
    const std::string job =
        R"(val frag_l = read({"dataSource":"left"}))"
        "\n"
        R"(val frag_r = read({"dataSource":"right"}))"
        "\n"
        R"(join({"matchFields":[],"joinType":"Cartesian","outputFields":{}}, l=frag_l, r=frag_r)->write()" +
        writeCsv(out) + ")\n";
    listener = std::make_unique<RecordingListener>();
    executor = std::make_unique<LocalExecutor>("en_US");
    executor->prepare(qetest::MainEnv(), job);
    executor->addInputIterator(qetest::MainEnv(), &left, 0);
    executor->addInputIterator(qetest::MainEnv(), &right, 0);
    std::chrono::steady_clock::time_point cancelledAt;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancelledAt = std::chrono::steady_clock::now();
        executor->cancel(nullptr);
    });
    executor->execute(qetest::MainEnv(), listener.get());
    const auto ended = std::chrono::steady_clock::now();
    canceller.join();
    EXPECT_EQ(listener->endings().back(), "cancel");
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(ended - cancelledAt).count(),
              1000);
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(Graph, BalanceRepeatsByTheFirstTrueConditionAndListsBecomeJsonText) {
    const std::string in = file("groups.csv", kGroups);
    EXPECT_EQ(pipe(in, "->balanceRecords(_, b)->filterFields({\"fields\":[\"g\",\"v\"]})",
                   "val b = ctx => x => [(x.g == \"a\", 2), (x.g == \"b\", 0)]\n"),
              "g,v\na,1\na,1\na,3\na,3\na,2\na,2\n,4\n");
    EXPECT_EQ(pipe(in, "->deriveFields(_, p)->filterFields({\"fields\":[\"pair\"]})",
                   "val p = ctx => x => (\"pair\", [x.v, x.s])\n"),
              "pair\n\"[1,\"\"x\"\"]\"\n\"[3,\"\"y\"\"]\"\n\"[null,\"\"z\"\"]\"\n"
              "\"[2,\"\"x\"\"]\"\n\"[5,null]\"\n\"[4,\"\"w\"\"]\"\n");
}

TEST_F(Graph, JoinsWithAnEmptySideKeepOrDropTheOtherSide) {
    const std::string left = file("left.csv", kLeft);
    MemoryIterator empty("none", {{"k2", Storage::Integer}, {"b", Storage::String}}, {});
    auto join = [&](const std::string& type) {
        const std::string out = dir + "/e.csv";
        EXPECT_EQ(
            run("val frag_l = read(" + csv(left) +
                    ")\nval frag_r = read({\"dataSource\":\"none\"}" +
                    R"()
join({"matchFields":[{"left":"k","right":"k2"}],"outputFields":{"left":["a"]},"joinType":")" +
                    type + R"("}, left=frag_l, right=frag_r)->write()" + writeCsv(out) + ")\n",
                {&empty}),
            "success")
            << listener->errorText;
        return qetest::ReadFile(out);
    };
    EXPECT_EQ(join("Inner"), "a\n");
    EXPECT_EQ(join("Anti"), "a\nx\ny\nz\nw\nm\n");
}

TEST_F(Graph, AnOutputIteratorOverADamagedFileFailsInsteadOfCrashing) {
    const std::string in = file("groups.csv", kGroups);
    const std::string out = dir + "/g.qebf";
    ASSERT_EQ(run("read(" + csv(in) + R"()->write({"dataDestination":"file:///)" + out +
                  R"(","dataModelDestination":"","type":"qebf"}))" + "\n"),
              "success")
        << listener->errorText;
    EmbeddedQE::RowDataIterator* it = executor->getOutputIterator(qetest::MainEnv(), "g.qebf");
    ASSERT_NE(it, nullptr);
    // Cut the file short behind the iterator's back: it reports a failure status.
    const std::string whole = qetest::ReadFile(out);
    ASSERT_TRUE(qetest::WriteFile(out, whole.substr(0, whole.size() / 2)));
    uint32_t status = 0;
    int rows = 0;
    while ((status = it->nextRecord()) == 0)
        ++rows;
    EXPECT_EQ(status, 2u);
    EXPECT_LT(rows, 6);
    const void* value = nullptr;
    size_t length = 0;
    EXPECT_NE(it->getRecordValue(0, &value, &length), 0u);  // no current row
    // Released before it is disposed: the iterator stays usable until its own dispose().
    executor->release(qetest::MainEnv());
    executor.reset();
    EXPECT_EQ(it->Rewind(), 0u);
    it->dispose(qetest::MainEnv());
}
