#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/engine/job/QelParser.h"
#include "qeinteg/qel/JNIQelContainer.h"
#include "qeinteg/qel/JNIQelExpression.h"
#include "qeinteg/qel/JNIQelFieldDerive.h"
#include "qeinteg/qel/JNIQelFragment.h"
#include "qeinteg/qel/JNIQelFunction.h"
#include "qeinteg/qel/JNIQelFunctionImpl.h"
#include "qeinteg/qel/JNIQelFunctionParameter.h"
#include "qeinteg/qel/JNIQelFunctionParameterFactory.h"
#include "qeinteg/qel/JNIQelProgram.h"
#include "qeinteg/qel/JNIQelType.h"
#include "qeinteg/qel/JNITaggedFunctionInput.h"
#include "qeinteg/qel/QelExpressionConditional.h"

using Types = std::map<std::string, JNIQelExpression::SimpleTypes>;

// A null configuration; a bare nullptr would not pick between the overloads.
JNIJSONObject* const kNoConf = nullptr;

namespace {

class QelProgramTest : public testing::Test {
  protected:
    void SetUp() override { manager_ = JNIObjectManager::getManager(); }
    void TearDown() override {
        manager_->cleanJRef();
        EXPECT_EQ(manager_->cleanListSize(), 0u);
        EXPECT_EQ(manager_->trackedGlobalRefCount(), 0u);
    }

    // Parses a rendered text and checks that it holds the program's functions, in creation order,
    // with their kinds, configurations and tagged inputs.
    qelocal::JobGraph CheckRoundTrip(JNIQelProgram& program,
                                     const std::vector<JNIQelFunction*>& functions) {
        std::string text;
        program.getQelText(text);
        qelocal::JobGraph graph;
        qelocal::QelParseError error;
        EXPECT_TRUE(qelocal::ParseQel(text, graph, error)) << error.describe() << "\n" << text;
        EXPECT_EQ(graph.calls.size(), functions.size()) << text;
        if (graph.calls.size() != functions.size())
            return graph;
        std::map<std::string, int> callOfId;
        for (size_t i = 0; i < functions.size(); ++i)
            callOfId[functions[i]->getId()] = static_cast<int>(i);
        for (size_t i = 0; i < functions.size(); ++i) {
            const qelocal::QelCall& call = graph.calls[i];
            JNIQelFunctionImpl impl(functions[i]->getObject());
            std::string kind = call.ns.empty() ? call.function : call.ns + ":" + call.function;
            EXPECT_EQ(kind, functions[i]->getName()) << text;
            std::string conf = impl.generateConfiguration();
            if (!conf.empty()) {
                auto configs = graph.configurations(call);
                EXPECT_FALSE(configs.empty()) << kind;
                if (!configs.empty()) {
                    EXPECT_EQ(*configs[0], qelocal::JsonValue::parse(conf)) << kind;
                }
            }
            std::vector<std::pair<std::string, int>> expected, actual;
            for (JNITaggedFunctionInput* in : program.getPredecessors(functions[i])) {
                expected.emplace_back(in->getTag(), callOfId.at(in->getFunction().getId()));
            }
            for (const auto& in : call.inputs)
                actual.emplace_back(in.tag, in.call);
            EXPECT_EQ(actual, expected) << kind << "\n" << text;
        }
        return graph;
    }

    JNIObjectManager* manager_ = nullptr;
};

std::string Text(JNIQelProgram& program) {
    std::string text;
    program.getQelText(text);
    return text;
}

}  // namespace

TEST_F(QelProgramTest, RendersReadFilterDeriveJoinAndGeneralFunction) {
    JNIQelProgram program;
    JNIJSONObject left, right, joinConf, writeConf;
    left.put("dataSource", "left");
    right.put("dataSource", "right");
    joinConf.put("keys", "id");
    writeConf.put("type", "qebf");

    JNIQelFunction* read1 = program.createQelFunction("read", &left);
    std::vector<JNIQelExpression*> cmp = {program.createQelExpressionFieldReference("age"),
                                          program.createQelExpressionLiteral(30)};
    JNIQelFunction* filter =
        program.createQelFunctionFilterRecords(program.createQelExpression("%s > %s", &cmp), read1);
    std::vector<JNIQelExpression*> times = {program.createQelExpressionFieldReference("age"),
                                            program.createQelExpressionLiteral(12LL)};
    JNIQelFieldDerive* derive =
        program.createQelFieldDerive("ageInMonths", program.createQelExpression("%s * %s", &times));
    JNIQelFunction* derived = program.createQelFunctionDeriveFields(derive, filter);
    JNIQelFunction* read2 = program.createQelFunction("read", &right);
    std::map<std::string, JNIQelFunction*> inputs = {{"right", read2}, {"left", derived}};
    JNIQelFunction* join = program.createQelFunction("join", &joinConf, &inputs);
    JNIQelFunctionParameterFactory factory;
    std::vector<JNIQelFunctionParameter*> params = {factory.createJson(&writeConf, true),
                                                    factory.createInput(join)};
    JNIQelFunction* write = program.createQelFunctionGeneral("write", &params);

    EXPECT_EQ(Text(program),
              "val f1_conf = {\"dataSource\":\"left\"}\n"
              "val f2_cond = ctx => x => x.age > 30\n"
              "val f3_derive = ctx => x => (\"ageInMonths\", x.age * 12)\n"
              "val frag_f1 = read(f1_conf)->filterRecords(_, f2_cond)->deriveFields(_, f3_derive)\n"
              "val f4_conf = {\"dataSource\":\"right\"}\n"
              "val frag_f4 = read(f4_conf)\n"
              "val f5_conf = {\"keys\":\"id\"}\n"
              "val f6_p1 = {\"type\":\"qebf\"}\n"
              "join(f5_conf, left=frag_f1, right=frag_f4)->write(f6_p1, _)");
    qelocal::JobGraph graph = CheckRoundTrip(program, {read1, filter, derived, read2, join, write});
    ASSERT_EQ(graph.calls.size(), 6u);
    EXPECT_EQ(graph.lambdas(graph.calls[1]), std::vector<std::string>{"ctx => x => x.age > 30"});

    // The join's inputs, straight from the program.
    std::vector<JNITaggedFunctionInput*> preds = program.getPredecessors(join);
    ASSERT_EQ(preds.size(), 2u);
    EXPECT_EQ(preds[0]->getTag(), "left");
    EXPECT_EQ(preds[0]->getFunction().getName(), "deriveFields");
    EXPECT_EQ(preds[1]->getFunction().getId(), read2->getId());
    EXPECT_EQ(preds[1]->getFunction().generateConfiguration(), "{\"dataSource\":\"right\"}");
}

TEST_F(QelProgramTest, OtherFunctionFormsSurviveTheRoundTrip) {
    JNIQelProgram program("job 2");
    JNIJSONObject a, b, conf;
    a.put("dataSource", "a");
    b.put("dataSource", "b");
    conf.put("mode", 3);
    JNIQelFunction* src1 = program.createQelFunction("read", &a);
    JNIQelFunction* src2 = program.createQelFunction("read", &b);
    JNIQelFunction* meta = program.createQelMetaFunction("ensemble:combine", &conf, src1, src2);
    std::vector<JNIJSONObject*> configs = {&a, nullptr, &b};
    JNIQelFunction* multi = program.createQelFunction("aggregate", &configs, meta);
    std::vector<JNIQelContainer*> ins = {program.createContainer("in", "file:////tmp/in", false)};
    std::vector<JNIQelContainer*> outs = {program.createContainer("out", "file:////tmp/out", true),
                                          nullptr};
    JNIQelFunction* withCons = program.createQelFunction("score", &conf, &ins, &outs, multi);
    std::vector<std::string> names = {"a", "b c"};
    JNIQelFunction* general = program.createQelFunctionGeneral("select", nullptr, &names, withCons);
    Types types = {{"z", JNIQelExpression::Real}};
    JNIQelFunction* derive = program.createQelFunction(
        "reclassify", &conf,
        program.createQelFieldDerive("z", program.createQelExpressionNullValue()), general, &types);
    JNIQelFunction* withExpr = program.createQelFunction(
        "sample", nullptr, program.createQelExpressionLiteral(0.5), derive);
    // A general function from every kind of parameter.
    JNIQelFunctionParameterFactory factory;
    std::map<std::string, JNIQelFunction*> tagged = {
        {"x", withExpr}, {"y", src1}, {"none", nullptr}};
    std::vector<JNIQelFunctionParameter*> params = {
        factory.createJson(&conf, false),
        factory.createInputs(&tagged, false),
        factory.createContainers(&outs, true),
        factory.createExpression(program.createQelExpressionLiteral(true), false),
        factory.createRaw("[1,2]", false),
        factory.createRaw("{\"k\":1}", true)};
    JNIQelFunction* last = program.createQelFunctionGeneral("tcm:merge", &params);

    qelocal::JobGraph graph = CheckRoundTrip(
        program, {src1, src2, meta, multi, withCons, general, derive, withExpr, last});
    ASSERT_EQ(graph.calls.size(), 9u);
    EXPECT_EQ(general->getId(), "job_2_f6");
    EXPECT_EQ(*graph.configurations(graph.calls[3])[0],
              qelocal::JsonValue::parse(R"([{"dataSource":"a"},null,{"dataSource":"b"}])"));
    // score: configuration, then the two container lists.
    auto scoreConfigs = graph.configurations(graph.calls[4]);
    ASSERT_EQ(scoreConfigs.size(), 3u);
    EXPECT_EQ(*scoreConfigs[1],
              qelocal::JsonValue::parse(R"([{"name":"in","uri":"file:////tmp/in"}])"));
    EXPECT_EQ(*scoreConfigs[2],
              qelocal::JsonValue::parse(
                  R"([{"export":true,"name":"out","uri":"file:////tmp/out"},null])"));
    EXPECT_EQ(*graph.configurations(graph.calls[5])[0],
              qelocal::JsonValue::parse(R"(["a","b c"])"));
    auto reclassify = graph.configurations(graph.calls[6]);
    ASSERT_EQ(reclassify.size(), 2u);
    EXPECT_EQ(*reclassify[1], qelocal::JsonValue::parse(R"({"z":"Real"})"));
    EXPECT_EQ(graph.lambdas(graph.calls[6]), std::vector<std::string>{"ctx => x => (\"z\", null)"});
    EXPECT_EQ(graph.lambdas(graph.calls[7]), std::vector<std::string>{"ctx => x => 0.5"});
    const qelocal::QelCall& merge = graph.calls[8];
    EXPECT_EQ(merge.ns, "tcm");
    EXPECT_EQ(graph.configurations(merge).size(),
              4u);  // inline conf, bound containers, inline and bound raw
    EXPECT_EQ(graph.lambdas(merge), std::vector<std::string>{"ctx => x => true"});
}

TEST_F(QelProgramTest, EmptyFragmentAddsNoSeparatorAndOrderFollowsDependencies) {
    JNIQelProgram program;
    JNIJSONObject a, c;
    a.put("dataSource", "a");
    c.put("dataSource", "c");
    // Created as C, ordering point B, A; the dependencies make the order A, B, C.
    JNIQelFunction* fc = program.createQelFunction("read", &c);
    JNIQelFunction* fb = program.createQelFunction("", nullptr);
    JNIQelFunction* fa = program.createQelFunction("read", &a);
    program.addDependency(fa, fb);
    program.addDependency(fb, fc);

    std::set<JNIQelFragment*> fragments = program.getFragments();
    ASSERT_EQ(fragments.size(), 3u);
    std::vector<JNIQelFragment*> order = program.sortFragmentsIntoExecutionOrder(&fragments);
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[0]->getId(), "frag_f3");
    EXPECT_EQ(order[1]->getId(), "frag_f2");
    EXPECT_EQ(order[2]->getId(), "frag_f1");
    EXPECT_EQ(order[1]->toQELText(), "");
    EXPECT_TRUE(order[0]->containsFunction(fa));
    EXPECT_FALSE(order[0]->containsFunction(fc));
    EXPECT_EQ(order[2]->getPredecessorFragmentIds(), std::set<std::string>{"frag_f2"});

    EXPECT_EQ(Text(program),
              "val f3_conf = {\"dataSource\":\"a\"}\nread(f3_conf)\n"
              "val f1_conf = {\"dataSource\":\"c\"}\nread(f1_conf)");
    // A null set sorts to nothing.
    EXPECT_TRUE(program.sortFragmentsIntoExecutionOrder(nullptr).empty());
}

TEST_F(QelProgramTest, CycleIsReportedNotLooped) {
    JNIQelProgram program;
    JNIJSONObject conf;
    conf.put("dataSource", "a");
    JNIQelFunction* read = program.createQelFunction("read", &conf);
    JNIQelFunction* write = program.createQelFunction("write", &conf, read);
    program.addDependency(write, read);  // read must also run after write

    std::string text = "stale";
    program.getQelText(text);
    EXPECT_EQ(text, "");
    EXPECT_NE(program.getLastFailure().find("cycle"), std::string::npos)
        << program.getLastFailure();
    std::set<JNIQelFragment*> fragments = program.getFragments();
    EXPECT_TRUE(program.sortFragmentsIntoExecutionOrder(&fragments).empty());

    JNIQelProgram empty;
    std::string none = "x";
    empty.getQelText(none);
    EXPECT_EQ(none, "");
}

TEST_F(QelProgramTest, NullFunctionsInInputMapsAreLeftOut) {
    JNIQelProgram program;
    JNIJSONObject conf;
    conf.put("how", "inner");
    std::map<std::string, JNIQelFunction*> onlyNull = {{"left", nullptr}};
    JNIQelFunction* join = program.createQelFunction("join", &conf, &onlyNull);
    EXPECT_TRUE(program.getPredecessors(join).empty());
    EXPECT_EQ(Text(program), "val f1_conf = {\"how\":\"inner\"}\njoin(f1_conf)");

    JNIQelFunction* read = program.createQelFunction("read", nullptr);
    std::map<std::string, JNIQelFunction*> mixed = {{"left", read}, {"right", nullptr}};
    JNIQelFunction* join2 = program.createQelFunction("join", nullptr, &mixed);
    std::vector<JNITaggedFunctionInput*> preds = program.getPredecessors(join2);
    ASSERT_EQ(preds.size(), 1u);
    EXPECT_EQ(preds[0]->getTag(), "left");
    CheckRoundTrip(program, {join, read, join2});
    // A null map passes null: a function without inputs.
    JNIQelFunction* none = program.createQelFunction(
        "join", kNoConf, static_cast<std::map<std::string, JNIQelFunction*>*>(nullptr));
    EXPECT_NE(none->getObject(), nullptr);
    EXPECT_TRUE(program.getPredecessors(none).empty());
}

TEST_F(QelProgramTest, ContainerListJson) {
    JNIQelProgram program;
    std::vector<std::string> ids = {"PMML", "StatXML"};
    std::vector<std::string> locations = {"file:////tmp/a", "file:////tmp/b", "ignored"};
    std::vector<bool> flags = {true, false};
    EXPECT_EQ(program.formatContainerListJSON(&ids, &locations, &flags),
              "[{\"export\":true,\"name\":\"PMML\",\"uri\":\"file:////tmp/a\"},"
              "{\"name\":\"StatXML\",\"uri\":\"file:////tmp/b\"}]");
    // Any null list passes three nulls.
    EXPECT_EQ(program.formatContainerListJSON(nullptr, &locations, &flags), "[]");
    EXPECT_EQ(program.formatContainerListJSON(&ids, nullptr, &flags), "[]");
    EXPECT_EQ(program.formatContainerListJSON(&ids, &locations, nullptr), "[]");
    std::vector<bool> shortFlags = {true};
    EXPECT_DEATH(program.formatContainerListJSON(&ids, &locations, &shortFlags),
                 "Assertion failed: locations->size\\(\\) >= ids->size\\(\\) && flags->size\\(\\) "
                 ">= ids->size\\(\\)");
}

TEST_F(QelProgramTest, SimpleTypesMapToTheirConstantsAndOutOfRangeToAny) {
    const char* names[] = {"Any",  "Number", "String", "Int",  "Real",
                           "Char", "Bool",   "Time",   "Date", "Timestamp"};
    for (int i = 0; i < 10; ++i) {
        JNIQelTypeSimple type(static_cast<JNIQelExpression::SimpleTypes>(i));
        EXPECT_EQ(type.generate(), names[i]);
    }
    JNIQelTypeSimple ten(static_cast<JNIQelExpression::SimpleTypes>(10));
    EXPECT_EQ(ten.generate(), "Any");
    JNIQelTypeSimple negative(static_cast<JNIQelExpression::SimpleTypes>(-1));
    EXPECT_EQ(negative.generate(), "Any");

    // The same conversion serves the field-type maps.
    JNIQelProgram program;
    JNIQelFunction* read = program.createQelFunction("read", nullptr);
    Types types = {{"b", JNIQelExpression::Timestamp},
                   {"a", static_cast<JNIQelExpression::SimpleTypes>(10)}};
    program.createQelFunctionDeriveFields(
        program.createQelFieldDerive("b", program.createQelExpressionFieldReference("a")), read,
        &types);
    EXPECT_NE(Text(program).find("val f2_types = {\"a\":\"Any\",\"b\":\"Timestamp\"}"),
              std::string::npos);
}

TEST_F(QelProgramTest, TaggedInputFetchesItsTagAndFunctionOnce) {
    JNIQelProgram program;
    JNIQelFunction* read = program.createQelFunction("read", nullptr);
    JNIQelFunction* next = program.createQelFunction("sort", kNoConf, read);
    std::map<std::string, JNIQelFunction*> inputs = {{"left", read}};
    JNIQelFunction* join = program.createQelFunction("join", nullptr, &inputs);

    JNITaggedFunctionInput* tagged = program.getPredecessors(join).at(0);
    size_t before = manager_->cleanListSize();
    JNIQelFunctionImpl& function = tagged->getFunction();
    EXPECT_EQ(&tagged->getFunction(), &function);
    EXPECT_EQ(manager_->cleanListSize(), before + 1);
    EXPECT_EQ(tagged->getTag(), "left");
    // With the Java object gone, only the cache can still answer.
    jobject object = tagged->getObject();
    tagged->setObject(nullptr);
    EXPECT_EQ(tagged->getTag(), "left");
    tagged->setObject(object);

    JNITaggedFunctionInput* untagged = program.getPredecessors(next).at(0);
    EXPECT_EQ(untagged->getTag(), "");
    EXPECT_EQ(untagged->getFunction().getId(), read->getId());
}

TEST_F(QelProgramTest, ExpressionTexts) {
    JNIQelProgram program;
    EXPECT_EQ(program.createQelExpressionLiteral("say \"hi\"")->generate(), "\"say \\\"hi\\\"\"");
    EXPECT_EQ(program.createQelExpressionLiteral(2.5)->generate(), "2.5");
    EXPECT_EQ(program.createQelExpressionLiteral(1LL << 40)->generate(), "1099511627776");
    EXPECT_EQ(program.createQelExpressionLiteral(false)->generate(), "false");
    EXPECT_EQ(program.createQelExpressionLiteral(-7)->generate(), "-7");
    EXPECT_EQ(program.createQelExpressionFieldReference("birth date")->generate(),
              "x.`birth date`");
    EXPECT_EQ(program.createQelExpressionFieldReference("age", "r")->generate(), "r.age");
    EXPECT_EQ(program.createQelExpressionParameterName("p")->generate(), "p");
    EXPECT_EQ(program.createQelExpressionNullValue()->generate(), "null");

    JNIQelExpression* one = program.createQelExpressionLiteral(1);
    std::vector<JNIQelExpression*> single = {one};
    std::vector<JNIQelExpression*> withNull = {one, nullptr};
    EXPECT_EQ(program.createQelExpressionTuple(&single)->generate(), "(1,)");
    EXPECT_EQ(program.createQelExpressionList(&withNull)->generate(), "[1, null]");
    EXPECT_EQ(program.createQelExpressionList(nullptr)->generate(), "[]");

    // Templates: "%s" slots filled in order; a null argument array passes null.
    std::vector<JNIQelExpression*> coords = {program.createQelExpressionFieldReference("lon"),
                                             program.createQelExpressionFieldReference("lat")};
    EXPECT_EQ(program.createQelExpression("[%s,%s]", &coords)->generate(), "[x.lon,x.lat]");
    EXPECT_EQ(program.createQelExpression("now()", nullptr)->generate(), "now()");
    JNIQelExpression* broken = program.createQelExpression("toReal(%s)", nullptr);
    EXPECT_EQ(broken->getObject(), nullptr);
    EXPECT_EQ(broken->generate(), "");
    EXPECT_NE(program.getLastFailure().find("place"), std::string::npos);

    // Lambdas and types.
    JNIQelTypeSimple intType(JNIQelExpression::Int);
    JNIQelTypeList listOfInt(intType);
    JNIQelTypeSimple text(JNIQelExpression::String);
    std::vector<JNIQelType*> members = {&intType, &text};
    JNIQelTypeTuple pair(members);
    EXPECT_EQ(pair.generate(), "Tuple[Int, String]");
    JNIQelExpression::LambdaSignature a("a", &listOfInt);
    JNIQelExpression::LambdaSignature b("b", nullptr);
    EXPECT_EQ(a.getParameterName(), "a");
    EXPECT_EQ(a.getParameterType(), &listOfInt);
    std::vector<JNIQelExpression::LambdaSignature*> two = {&a, &b};
    std::vector<JNIQelExpression::LambdaSignature*> just = {&b};
    JNIQelExpression* body = program.createQelExpressionParameterName("b");
    EXPECT_EQ(program.createQelExpressionLambdaFunction(&two, body)->generate(),
              "(a: List[Int], b) => b");
    JNIQelExpression* lambda = program.createQelExpressionLambdaFunction(&just, body);
    EXPECT_EQ(lambda->generate(), "b => b");

    // Conditionals.
    JNIQelExpression* big = program.createQelExpression("%s > 10", &single);
    QelExpressionConditional::Clause clause(big, program.createQelExpressionLiteral("big"));
    EXPECT_EQ(clause.getCondition(), big);
    std::vector<QelExpressionConditional::Clause*> clauses = {&clause, nullptr};
    EXPECT_EQ(
        program
            .createQelExpressionConditional(&clauses, program.createQelExpressionLiteral("small"))
            ->generate(),
        "(if 1 > 10 then \"big\" else \"small\")");
    EXPECT_EQ(program.createQelExpressionConditional(nullptr, one)->generate(), "1");

    // A lambda bound to a function is written as it is; it must parse.
    JNIQelFunction* read = program.createQelFunction("read", nullptr);
    program.createQelFunction("map", nullptr, lambda, read);
    EXPECT_NE(Text(program).find("val f2_expr = b => b\n"), std::string::npos);
    qelocal::JobGraph graph;
    qelocal::QelParseError error;
    EXPECT_TRUE(qelocal::ParseQel(Text(program), graph, error)) << error.describe();
}

TEST_F(QelProgramTest, WrappersAreReleasedByCleanJRef) {
    size_t baseline = manager_->cleanListSize();
    {
        JNIQelProgram program;
        JNIQelFunction* read = program.createQelFunction("read", nullptr);
        program.createQelFunction("write", kNoConf, read);
        std::set<JNIQelFragment*> fragments = program.getFragments();
        program.sortFragmentsIntoExecutionOrder(&fragments);
        program.getPredecessors(read);
        program.clone();
        // Two functions, one fragment twice, one clone; getQelText itself adds nothing.
        EXPECT_EQ(manager_->cleanListSize(), baseline + 5);
        std::string text;
        for (int i = 0; i < 100; ++i)
            program.getQelText(text);
        EXPECT_EQ(manager_->cleanListSize(), baseline + 5);
        EXPECT_EQ(text, "read()->write(_)");
    }
    // The program died before the clean-up and the clone is still usable until it.
    manager_->cleanJRef();
    EXPECT_EQ(manager_->cleanListSize(), 0u);
    EXPECT_EQ(manager_->trackedGlobalRefCount(), 0u);

    // A program outlives a clean-up of the wrappers it handed out.
    JNIQelProgram program;
    program.createQelFunction("read", nullptr);
    manager_->cleanJRef();
    program.createQelFunction("write", nullptr);
    EXPECT_EQ(Text(program), "read()\nwrite()");
    // Building a large program keeps the local reference table flat.
    JNIQelFunction* previous = program.createQelFunction("read", nullptr);
    for (int i = 0; i < 2000; ++i)
        previous = program.createQelFunction("step", kNoConf, previous);
    EXPECT_EQ(qetest::JvmWarningCount(), 0);
}

TEST_F(QelProgramTest, NamesTheTextCannotCarryAreRefused) {
    JNIQelProgram program;
    JNIQelFunction* read = program.createQelFunction("read", kNoConf);
    JNIQelFunction* bad = program.createQelFunction("my func", kNoConf, read);
    EXPECT_EQ(bad->getObject(), nullptr);
    EXPECT_EQ(bad->getName(), "");
    EXPECT_NE(program.getLastFailure().find("not a function name"), std::string::npos);
    std::map<std::string, JNIQelFunction*> inputs = {{"left side", read}};
    EXPECT_EQ(program.createQelFunction("join", kNoConf, &inputs)->getObject(), nullptr);
    JNIQelFunctionParameterFactory factory;
    EXPECT_EQ(factory.createInputs(&inputs, false)->getObject(), nullptr);
    // Nothing half-made entered the program.
    EXPECT_EQ(Text(program), "read()");
}

TEST_F(QelProgramTest, FanOutAndDependenciesCutFragments) {
    JNIQelProgram program;
    JNIJSONObject conf;
    conf.put("dataSource", "ds");
    JNIQelFunction* read = program.createQelFunction("read", &conf);
    JNIQelFunction* sorted = program.createQelFunction("sort", kNoConf, read);
    // Two readers of the sort: it ends its fragment, which is bound and named by both.
    JNIQelFunction* first = program.createQelFunction("head", kNoConf, sorted);
    JNIQelFunction* second = program.createQelFunction("tail", kNoConf, sorted);
    JNIQelFunction* written = program.createQelFunction("write", kNoConf, second);
    // The write must wait for the head branch: it starts a fragment of its own.
    program.addDependency(first, written);

    EXPECT_EQ(Text(program),
              "val f1_conf = {\"dataSource\":\"ds\"}\n"
              "val frag_f1 = read(f1_conf)->sort(_)\n"
              "head(frag_f1)\n"
              "val frag_f4 = tail(frag_f1)\n"
              "write(frag_f4)");
    qelocal::JobGraph graph = CheckRoundTrip(program, {read, sorted, first, second, written});
    ASSERT_EQ(graph.pipelines.size(), 4u);
    EXPECT_EQ(graph.calls[2].inputs.at(0).call, 1);
    EXPECT_EQ(graph.calls[3].inputs.at(0).call, 1);

    // The dependency alone orders fragments against creation order.
    JNIQelProgram reordered;
    JNIQelFunction* late = reordered.createQelFunction("report", kNoConf);
    JNIQelFunction* early = reordered.createQelFunction("prepare", kNoConf);
    reordered.addDependency(early, late);
    EXPECT_EQ(Text(reordered), "prepare()\nreport()");
    // A function depending on itself is a cycle.
    reordered.addDependency(early, early);
    EXPECT_EQ(Text(reordered), "");
}

TEST_F(QelProgramTest, ParsedConfigurationsKeepTheirContent) {
    JNIQelProgram program;
    JNIJSONObject conf(
        "{\"keys\":[\"id\",2,-1.5e3],\"nested\":{\"a\":null,\"t\":true},\"path\":\"file:\\/\\/\\/"
        "\\/tmp\\/x\","
        "\"text\":\"\\u00e9\\\"q\\\"\\n\"}");
    ASSERT_TRUE(conf.isGood()) << conf.getParserError();
    JNIQelFunction* read = program.createQelFunction("read", &conf);
    qelocal::JobGraph graph = CheckRoundTrip(program, {read});
    ASSERT_EQ(graph.calls.size(), 1u);
    EXPECT_EQ(*graph.configurations(graph.calls[0]).at(0),
              qelocal::JsonValue::parse(conf.serialize()));
    EXPECT_EQ((*graph.configurations(graph.calls[0]).at(0))["path"], "file:////tmp/x");
}
