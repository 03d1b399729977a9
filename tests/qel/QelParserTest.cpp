#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/job/QelParser.h"

using qelocal::JobGraph;
using qelocal::JsonValue;
using qelocal::ParseQel;
using qelocal::QelArgument;
using qelocal::QelBinding;
using qelocal::QelCall;
using qelocal::QelParseError;

namespace {

JobGraph MustParse(const std::string& text) {
    JobGraph graph;
    QelParseError error;
    EXPECT_TRUE(ParseQel(text, graph, error)) << error.describe() << "\n" << text;
    return graph;
}

QelParseError MustFail(const std::string& text) {
    JobGraph graph;
    QelParseError error;
    EXPECT_FALSE(ParseQel(text, graph, error)) << text;
    EXPECT_TRUE(graph.calls.empty());
    return error;
}

std::string Name(const QelCall& call) {
    return call.ns.empty() ? call.function : call.ns + ":" + call.function;
}

// The kinds of the calls of pipeline p, joined with "->".
std::string Chain(const JobGraph& g, size_t p) {
    std::string out;
    for (int c : g.pipelines.at(p).calls)
        out += (out.empty() ? "" : "->") + Name(g.calls[c]);
    return out;
}

// The fenced ```qel blocks of the language document.
std::vector<std::string> DocExamples() {
    std::ifstream in(QEL_LANGUAGE_DOC);
    std::vector<std::string> blocks;
    std::string line, block;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!inside && line == "```qel") {
            inside = true;
            block.clear();
        } else if (inside && line == "```") {
            inside = false;
            blocks.push_back(block);
        } else if (inside) {
            block += line + "\n";
        }
    }
    return blocks;
}

const char* kDescriptives =
    "val deConf = {\"computeSummaryStats\":true}\n"
    "val outCon = [{\"export\":true,\"name\":\"PMML\",\"uri\":\"file:////tmp/a\"},{\"export\":true,"
    "\"name\":\"StatXML\",\"uri\":\"file:////tmp/b\"}]\n"
    "read({\"dataSource\":\"ds\",\"readErrorThreshold\":-1}) -> descriptives:descriptives( deConf, "
    "_,outCon)\n";

const char* kReader = "val readerConf = {\"dataSource\":\"ds\",\"readErrorThreshold\":-1}";
const char* kFileReader =
    "val readerConf = "
    "{\"filesystem\":{\"dataModel\":\"file:////tmp/dm.xml\",\"locations\":[{\"path\":"
    "\"file:////tmp/d.qebf\",\"parser\":{\"name\":\"qebf\",\"config\":{}}}]}}\n";
const char* kWriter =
    "val writerConf = "
    "{\"dataDestination\":\"file:////tmp/d.qebf\",\"dataModelDestination\":\"file:////"
    "tmp/dm.xml\",\"type\":\"qebf\"}";

}  // namespace

TEST(QelParser, DescriptivesTemplate) {
    JobGraph g = MustParse(kDescriptives);
    ASSERT_EQ(g.bindings.size(), 2u);
    EXPECT_EQ(g.bindings[0].json["computeSummaryStats"], true);
    EXPECT_EQ(g.bindings[1].json[1]["uri"], "file:////tmp/b");
    ASSERT_EQ(g.pipelines.size(), 1u);
    EXPECT_EQ(Chain(g, 0), "read->descriptives:descriptives");
    const QelCall& read = g.calls[0];
    ASSERT_EQ(g.configurations(read).size(), 1u);
    EXPECT_EQ((*g.configurations(read)[0])["readErrorThreshold"], -1);
    const QelCall& de = g.calls[1];
    ASSERT_EQ(de.args.size(), 3u);
    EXPECT_EQ(de.args[1].kind, QelArgument::Kind::Pipe);
    ASSERT_EQ(de.inputs.size(), 1u);
    EXPECT_EQ(de.inputs[0].call, 0);
    EXPECT_EQ(g.configurations(de).size(), 2u);  // deConf and outCon, in order
    EXPECT_EQ((*g.configurations(de)[0])["computeSummaryStats"], true);
}

TEST(QelParser, DescriptivesAfterReadStep) {
    // The read step's text directly followed by the call, and the same over a line break.
    std::string step = std::string(kReader) + "\nread(readerConf)";
    std::string head = "val deConf = {}\nval outCon = []\n";
    for (const std::string& join : {std::string(""), std::string("\n")}) {
        JobGraph g =
            MustParse(head + step + join + "-> descriptives:descriptives( deConf, _,outCon)\n");
        ASSERT_EQ(g.pipelines.size(), 1u) << join;
        EXPECT_EQ(Chain(g, 0), "read->descriptives:descriptives");
        EXPECT_EQ(g.calls[1].inputs.at(0).call, 0);
    }
}

TEST(QelParser, WriteActiveDatasetTemplate) {
    JobGraph g =
        MustParse(std::string(kReader) + "\n" + kWriter + "\nread(readerConf)->write(writerConf)");
    EXPECT_EQ(Chain(g, 0), "read->write");
    const QelCall& write = g.calls[1];
    // No "_": the piped input comes first.
    ASSERT_EQ(write.inputs.size(), 1u);
    EXPECT_EQ(write.inputs[0].call, 0);
    EXPECT_EQ((*g.configurations(write).at(0))["type"], "qebf");
}

TEST(QelParser, TimestampConversionTemplate) {
    std::string lambda =
        "val toTS = ctx => x => (\"when\", toTimestamp(x.when, \"yyyy-MM-dd HH:mm:ss\", "
        "\"yyyy-MM-dd\", \"HH:mm:ss\", \"en_US\", date(1970,1,1)))";
    JobGraph g = MustParse(std::string(kFileReader) + lambda + "\n" + kWriter +
                           "\nread(readerConf)->reclassifyField(_,toTS)->write(writerConf)");
    const QelBinding* toTS = g.findBinding("toTS");
    ASSERT_NE(toTS, nullptr);
    EXPECT_EQ(toTS->kind, QelBinding::Kind::Lambda);
    EXPECT_EQ("val toTS = " + toTS->lambda, lambda);
    EXPECT_EQ(Chain(g, 0), "read->reclassifyField->write");
    EXPECT_EQ(g.lambdas(g.calls[1]), std::vector<std::string>{toTS->lambda});
    EXPECT_EQ((*g.configurations(g.calls[0]).at(0))["filesystem"]["locations"][0]["parser"]["name"],
              "qebf");
}

TEST(QelParser, TsdpTemplate) {
    std::string text =
        std::string(kReader) +
        "\nval tsdpOutConf = [{\"export\":true,\"name\":\"JSON\",\"uri\":\"file:////tmp/t\"}]\n"
        "val tsdpConf = {\"dimFieldList\":[\"\"],\"metricFieldList\":[\"m\"]}\n" +
        kWriter + "\nread(readerConf)->tsdp:tsdp(tsdpConf,_,tsdpOutConf)->write(writerConf)";
    JobGraph g = MustParse(text);
    EXPECT_EQ(Chain(g, 0), "read->tsdp:tsdp->write");
    const QelCall& tsdp = g.calls[1];
    EXPECT_EQ(tsdp.ns, "tsdp");
    EXPECT_EQ(tsdp.args[1].kind, QelArgument::Kind::Pipe);
    EXPECT_EQ(g.configurations(tsdp).size(), 2u);
    EXPECT_EQ(g.calls[2].inputs.at(0).call, 1);
}

TEST(QelParser, ModelCapabilitiesTemplate) {
    // A pipeline of one call without input, and JSON with the serialiser's escaped slashes.
    JobGraph g = MustParse(
        "val scoringConf = {\"isModelCapabilities\": true}\n"
        "val inCon = [{\"name\":\"InputPMML\",\"uri\":\"file:\\/\\/\\/\\/tmp\\/model.zip\"}]\n"
        "val outCon = "
        "[{\"export\":true,\"name\":\"ModelCapabilities\",\"uri\":\"file:////tmp/c\"}]\n"
        "scoring:scoring(scoringConf, inCon, outCon)");
    EXPECT_EQ(g.bindings[1].json[0]["uri"], "file:////tmp/model.zip");
    EXPECT_EQ(Chain(g, 0), "scoring:scoring");
    EXPECT_TRUE(g.calls[0].inputs.empty());
    EXPECT_EQ(g.configurations(g.calls[0]).size(), 3u);
}

TEST(QelParser, ImpactDiagramTemplates) {
    std::string confs =
        "val outputConf = "
        "{\"artifacts\":[{\"name\":\"interpretation.ImpactDiagramEffects\",\"target\":"
        "[[\"t\"]],\"level\":1}],\"timeFormat\":\"hh:mm:ss\",\"isEncoded\":false}\n"
        "val inputCons = [{\"name\":\"TCM\",\"uri\":\"file:////tmp/m.zip\"}]\n"
        "val outputCons = "
        "[{\"export\":true,\"name\":\"tcmStatJson\",\"uri\":\"file:////tmp/s\"}]\n";
    std::string rtsdp =
        "val rtsdpConf = {\"exportFutureFlag\": true}\n"
        "val rtsdpInConf = [{\"name\":\"JSON\",\"uri\":\"file:////tmp/t\"}]\n";
    JobGraph withData = MustParse(std::string(kFileReader) + rtsdp + confs +
                                  "read(readerConf)->rtsdp:rtsdp(rtsdpConf, rtsdpInConf, "
                                  "_)->OutputComponent:TCMOutputComponent("
                                  "outputConf, inputCons, outputCons)");
    EXPECT_EQ(Chain(withData, 0), "read->rtsdp:rtsdp->OutputComponent:TCMOutputComponent");
    const QelCall& out = withData.calls[2];
    ASSERT_EQ(out.inputs.size(), 1u);  // implicit piped input
    EXPECT_EQ(out.inputs[0].call, 1);
    EXPECT_EQ(withData.calls[1].args[2].kind, QelArgument::Kind::Pipe);

    JobGraph modelOnly =
        MustParse(confs + "OutputComponent:TCMOutputComponent(outputConf,inputCons,outputCons)");
    EXPECT_EQ(Chain(modelOnly, 0), "OutputComponent:TCMOutputComponent");
    EXPECT_TRUE(modelOnly.calls[0].inputs.empty());
}

TEST(QelParser, ScenarioScoringTemplates) {
    for (const char* fn : {"tcm:score", "tcm:ar"}) {
        std::string text =
            std::string(kFileReader) +
            "val scoreConf = {\"fieldSetting\":{\"fieldNameList\":{\"seriesIDList\":[[\"0-1\"]]}},"
            "\"outputOriginalValue\":true}\n"
            "val scoreInConf = [{\"name\":\"InputTCMXML\",\"uri\":\"file:////tmp/m\"}]\n"
            "val rtsdpConf = {\"exportFutureFlag\": true}\n"
            "val rtsdpInConf = [{\"name\":\"JSON\",\"uri\":\"file:////tmp/t\"}]\n" +
            kWriter + "\n" + "read(readerConf)->" + fn +
            "(scoreConf, scoreInConf,_)->rtsdp:rtsdp(rtsdpConf, rtsdpInConf, _)->write(writerConf)";
        JobGraph g = MustParse(text);
        EXPECT_EQ(Chain(g, 0), std::string("read->") + fn + "->rtsdp:rtsdp->write");
        EXPECT_EQ(g.calls[1].args[2].kind, QelArgument::Kind::Pipe);
    }
}

TEST(QelParser, EveryExampleOfTheLanguageDocumentParses) {
    std::vector<std::string> examples = DocExamples();
    ASSERT_GE(examples.size(), 10u);
    for (const std::string& text : examples)
        MustParse(text);
}

TEST(QelParser, NamedPipelinesAndTagsBecomeInputs) {
    JobGraph g = MustParse(
        "val a = read({\"dataSource\":\"l\"})\n"
        "val b = read({\"dataSource\":\"r\"})->filterRecords(_, \n"
        "  {\"x\":1})\n"
        "join({\"keys\":[\"id\"]}, left=a, right = b) -> write(\n"
        "   {\"type\":\"qebf\"}, out=_)\n");
    ASSERT_EQ(g.pipelines.size(), 3u);
    EXPECT_EQ(g.pipelines[0].name, "a");
    EXPECT_EQ(g.findBinding("b")->kind, QelBinding::Kind::Pipeline);
    const QelCall& join = g.calls[g.pipelines[2].calls[0]];
    ASSERT_EQ(join.inputs.size(), 2u);
    EXPECT_EQ(join.inputs[0].tag, "left");
    EXPECT_EQ(g.calls[join.inputs[0].call].function, "read");
    EXPECT_EQ(join.inputs[1].tag, "right");
    EXPECT_EQ(g.calls[join.inputs[1].call].function, "filterRecords");
    const QelCall& write = g.calls[g.pipelines[2].calls[1]];
    ASSERT_EQ(write.inputs.size(), 1u);
    EXPECT_EQ(write.inputs[0].tag, "out");
    EXPECT_EQ(g.calls[write.inputs[0].call].function, "join");
    EXPECT_EQ(g.calls[1].pos.line, 2);
    EXPECT_EQ(g.calls[1].pos.column, 9);
}

TEST(QelParser, RejectsWithLineAndColumn) {
    struct Case {
        const char* text;
        int line, column;
        const char* message;
    };
    const Case cases[] = {
        {"read(conf)", 1, 6, "unknown name 'conf'"},
        {"val a = {\"x\":1}\nval a = {\"x\":2}", 2, 5, "'a' is already bound"},
        {"write(_)", 1, 7, "nothing is piped"},
        {"val c = {\"x\":}", 1, 14, "invalid JSON value"},
        {"read({\"a\":1}) -> write(", 1, 24, "found the end of the text"},
        {"read({\"a\":1}) -> write(_, _)", 1, 27, "named twice"},
        {"read({\"a\":1}) x", 1, 15, "expected the end of the line"},
        {"val f = x => (1, 2", 1, 14, "bracket not closed"},
        {"val f = x => )", 1, 14, "unmatched"},
        {"val f = x =>", 1, 13, "no body"},
        {"val s = \"abc", 1, 9, "unterminated string"},
        {"val j = {\"a\":[1,2}", 1, 18, "expected ']'"},
        {"val = {}", 1, 5, "expected a name"},
        {"val x {}", 1, 7, "expected '='"},
        {"read", 1, 5, "expected '('"},
        {"tcm:(a)", 1, 5, "a function name"},
        {"read(;)", 1, 6, "expected '_', a name or a JSON value, found ';'"},
        {"val true = {}", 1, 5, "cannot be bound"},
        {"\n\n  read({}) -> \xff", 3, 15, "\\xFF"},
        {"read({\"a\":1}) ->", 1, 17, "expected a function call"},
    };
    for (const Case& c : cases) {
        QelParseError e = MustFail(c.text);
        EXPECT_EQ(e.line, c.line) << c.text << ": " << e.describe();
        EXPECT_EQ(e.column, c.column) << c.text << ": " << e.describe();
        EXPECT_NE(e.message.find(c.message), std::string::npos) << c.text << ": " << e.describe();
        EXPECT_EQ(e.describe().rfind("line " + std::to_string(c.line) + ", column ", 0), 0u);
    }
}

TEST(QelParser, DeepNestingIsRejectedNotFollowed) {
    std::string deepJson = "val j = " + std::string(100000, '[') + std::string(100000, ']');
    EXPECT_NE(MustFail(deepJson).message.find("nested too deeply"), std::string::npos);
    std::string deepLambda = "val f = x => " + std::string(100000, '(') + std::string(100000, ')');
    EXPECT_NE(MustFail(deepLambda).message.find("nested too deeply"), std::string::npos);
    // Nesting within the limit is fine.
    MustParse("val j = " + std::string(200, '[') + std::string(200, ']'));
}

TEST(QelParser, RandomAndDamagedTextsNeverCrash) {
    std::vector<std::string> seeds = DocExamples();
    seeds.push_back(kDescriptives);
    std::mt19937 rng(12345);
    const std::string alphabet = "val=>-_(){}[],:\"\\` \n\tabcxyz019.eE+";
    int accepted = 0, rejected = 0;
    auto check = [&](const std::string& text) {
        JobGraph g;
        QelParseError e;
        if (ParseQel(text, g, e)) {
            ++accepted;
            for (const QelCall& c : g.calls) {
                for (const auto& in : c.inputs)
                    ASSERT_TRUE(in.call >= 0 && in.call < (int)g.calls.size());
            }
        } else {
            ++rejected;
            ASSERT_GE(e.line, 1) << text;
            ASSERT_GE(e.column, 1) << text;
            ASSERT_FALSE(e.message.empty());
        }
    };
    for (const std::string& seed : seeds) {
        for (size_t cut = 0; cut <= seed.size(); ++cut)
            check(seed.substr(0, cut));
        for (int i = 0; i < 300; ++i) {
            std::string text = seed;
            int edits = 1 + static_cast<int>(rng() % 4);
            for (int k = 0; k < edits && !text.empty(); ++k) {
                size_t at = rng() % text.size();
                switch (rng() % 3) {
                    case 0:
                        text[at] = alphabet[rng() % alphabet.size()];
                        break;
                    case 1:
                        text.erase(at, 1 + rng() % 5);
                        break;
                    default:
                        text.insert(at, 1, static_cast<char>(rng() % 256));
                        break;
                }
            }
            check(text);
        }
    }
    for (int i = 0; i < 2000; ++i) {
        std::string text(rng() % 80, ' ');
        for (char& c : text)
            c = alphabet[rng() % alphabet.size()];
        check(text);
    }
    EXPECT_GT(accepted, 0);
    EXPECT_GT(rejected, 0);
}
