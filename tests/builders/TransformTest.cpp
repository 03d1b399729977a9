#include <string>
#include <vector>

#include "BuilderTestSupport.h"
#include "qeinteg/qel/JNIQelExpression.h"
#include "qeinteg/qel/JNIQelProgram.h"
#include "qeinteg/qel/QELAggregate.h"
#include "qeinteg/qel/QELExpressionFun.h"
#include "qeinteg/qel/QELFilterFields.h"
#include "qeinteg/qel/QELRead.h"
#include "qeinteg/qel/QELReprojection.h"

using buildertest::BuilderTest;
using buildertest::J;
using Strings = std::vector<std::string>;

TEST_F(BuilderTest, AggregateSummaryEntries) {
    QELAggregate aggregate(program());
    aggregate.AddAggregate("count", "", "N");
    aggregate.AddAggregate("count", "", "");
    aggregate.AddAggregate("sum", "", "S");  // only a count may go without input
    aggregate.AddAggregate("min", "x", "minX");
    aggregate.AddAggregate("max", "x", "");
    aggregate.AddPercentileAggregate(0, "x", "p0");
    aggregate.AddPercentileAggregate(101, "x", "p101");
    aggregate.AddPercentileAggregate(50, "", "p50");
    aggregate.AddPercentileAggregate(100, "x", "");
    aggregate.AddPercentileAggregate(1, "y", "p1");
    EXPECT_EQ(aggregate.GetAggregateCount(), 6u);
    ASSERT_TRUE(aggregate.GenerateQEL());
    EXPECT_EQ(Config(aggregate), J(R"({"output":[
        {"function":"count","outName":"N"},
        {"function":"count"},
        {"input":"x","function":"min","outName":"minX"},
        {"input":"x","function":"max"},
        {"input":"x","function":"percentile","centile":100},
        {"input":"y","function":"percentile","outName":"p1","centile":1}]})"));

    // Summary entries added after creation do not change the created function.
    aggregate.AddAggregate("mean", "z", "late");
    EXPECT_EQ(Config(aggregate)["output"].size(), 6u);

    QELAggregate empty(program());
    ASSERT_TRUE(empty.GenerateQEL());
    EXPECT_EQ(Config(empty), J(R"({"output":[]})"));
    EXPECT_EQ(Calls(), (Strings{"aggregate", "aggregate"}));
}

TEST_F(BuilderTest, AggregateCopiesAreIndependent) {
    QELRead read(program());
    read.ReadIterator("ds");
    auto original = std::make_unique<QELAggregate>(program());
    original->AddPredFunction(&read);
    original->AddAggregate("min", "x", "lo");

    QELAggregate copy(*original);
    copy.AddAggregate("max", "x", "hi");
    QELAggregate assigned(nullptr);
    assigned = copy;
    assigned = assigned;  // self-assignment keeps the summary entries
    assigned.AddAggregate("count", "", "n");
    EXPECT_EQ(original->GetAggregateCount(), 1u);
    EXPECT_EQ(copy.GetAggregateCount(), 2u);
    EXPECT_EQ(assigned.GetAggregateCount(), 3u);

    // The original dies first; the copies still hold usable summary entries.
    original.reset();
    ASSERT_TRUE(copy.GenerateQEL());
    ASSERT_TRUE(assigned.GenerateQEL());
    EXPECT_EQ(Config(copy), J(R"({"output":[{"input":"x","function":"min","outName":"lo"},
        {"input":"x","function":"max","outName":"hi"}]})"));
    EXPECT_EQ(Config(assigned)["output"].back(), J(R"({"function":"count","outName":"n"})"));
    EXPECT_EQ(Calls(), (Strings{"read", "aggregate<-read", "aggregate<-read"}));
}

TEST_F(BuilderTest, FilterFields) {
    QELRead read(program());
    read.ReadIterator("ds");
    QELFilterFields filter(program());
    filter.AddPredFunction(&read);
    filter.AddPredFunction(&read);  // only the first input is read
    filter.KeepFieldNames("a");
    filter.KeepFieldNames(Strings{"b c", "d"});
    filter.KeepFieldNames(Strings{});
    ASSERT_TRUE(filter.GenerateQEL());
    EXPECT_EQ(Config(filter), J(R"({"fields":["a","b c","d"]})"));
    QELFilterFields none(program());
    ASSERT_TRUE(none.GenerateQEL());
    EXPECT_EQ(Config(none), J(R"({"fields":[]})"));
    EXPECT_EQ(Calls(), (Strings{"read", "filterFields<-read", "filterFields"}));
}

TEST_F(BuilderTest, ExpressionFunctions) {
    QELRead read(program());
    read.ReadIterator("ds");
    std::vector<JNIQelExpression*> args{program()->createQelExpressionFieldReference("code")};
    JNIQelExpression* toReal = program()->createQelExpression("toReal(%s)", &args);
    std::vector<JNIQelExpression*> cmp{program()->createQelExpressionFieldReference("age"),
                                       program()->createQelExpressionLiteral(30)};
    JNIQelExpression* older = program()->createQelExpression("%s > %s", &cmp);

    QELExpressionFun none(program());
    none.AddPredFunction(&read);
    EXPECT_EQ(none.GetFunctionType(), QELFunction::None);
    EXPECT_FALSE(none.GenerateQEL());  // no operation

    QELExpressionFun derive(program());
    derive.AddPredFunction(&read);
    derive.SetDeriveField("codeReal", toReal);
    derive.SetFilterRecords(nullptr);  // a null expression changes nothing
    EXPECT_EQ(derive.GetFunctionType(), QELFunction::DeriveField);
    QELExpressionFun reclassify(program());
    reclassify.SetReclassifyField("code", toReal);
    EXPECT_EQ(reclassify.GetFunctionType(), QELFunction::ReclassifyField);
    reclassify.AddPredFunction(&derive);
    QELExpressionFun filter(program());
    filter.SetBalanceRecords(toReal);
    filter.SetFilterRecords(older);  // the last setter decides
    EXPECT_EQ(filter.GetFunctionType(), QELFunction::FilterRecords);
    filter.AddPredFunction(&reclassify);
    QELExpressionFun balance(program());
    balance.SetBalanceRecords(older);
    EXPECT_EQ(balance.GetFunctionType(), QELFunction::BalanceRecords);
    balance.AddPredFunction(&filter);
    ASSERT_TRUE(balance.GenerateQEL());
    EXPECT_TRUE(derive.IsCreatedQel());

    qelocal::JobGraph graph = Parse();
    EXPECT_EQ(Calls(),
              (Strings{"read", "deriveFields<-read", "reclassifyField<-deriveFields",
                       "filterRecords<-reclassifyField", "balanceRecords<-filterRecords"}));
    ASSERT_EQ(graph.calls.size(), 5u);
    EXPECT_EQ(graph.lambdas(graph.calls[1]), Strings{"ctx => x => (\"codeReal\", toReal(x.code))"});
    EXPECT_EQ(graph.lambdas(graph.calls[2]), Strings{"ctx => x => (\"code\", toReal(x.code))"});
    EXPECT_EQ(graph.lambdas(graph.calls[3]), Strings{"ctx => x => x.age > 30"});
    EXPECT_EQ(graph.lambdas(graph.calls[4]), Strings{"ctx => x => x.age > 30"});

    // An expression function requires its input and an expression.
    QELExpressionFun noInput(program());
    noInput.SetFilterRecords(older);
    EXPECT_FALSE(noInput.GenerateQEL());
    QELExpressionFun noExpression(program());
    noExpression.AddPredFunction(&read);
    noExpression.SetDeriveField("x", nullptr);
    EXPECT_EQ(noExpression.GetFunctionType(), QELFunction::None);
    EXPECT_FALSE(noExpression.GenerateQEL());
    EXPECT_EQ(Parse().calls.size(), 5u);
}

TEST_F(BuilderTest, ReprojectionConfigurations) {
    QELReprojection destinationOnly(program());
    destinationOnly.SetDesCoorSystem(4326);
    ASSERT_TRUE(destinationOnly.GenerateQEL());
    EXPECT_EQ(Config(destinationOnly),
              J(R"({"type":"all","reprojectionFields":[{"outSR":{"wkid":4326}}]})"));

    QELReprojection full(program());
    full.SetProjectionFieldName("geometry");
    full.SetOriCoorSystem(3857);
    full.SetOriCoorSystem("WGS_1984_Web_Mercator");
    full.SetDesCoorSystem("GCS_WGS_1984");
    full.SetDesCoorSystem(4326);
    full.SetTransMethodsName("NAD_1927_To_WGS_1984_1");
    ASSERT_TRUE(full.GenerateQEL());
    EXPECT_EQ(Config(full), J(R"({"type":"part","reprojectionFields":[{"name":"geometry",
        "inSR":{"csName":"WGS_1984_Web_Mercator","wkid":3857},
        "outSR":{"csName":"GCS_WGS_1984","wkid":4326,
                 "transMethodsName":"NAD_1927_To_WGS_1984_1"}}]})"));

    // A transformation method without a destination system is not written.
    QELReprojection methodOnly(program());
    methodOnly.SetOriCoorSystem("GCS_North_American_1927");
    methodOnly.SetTransMethodsName("NAD_1927_To_WGS_1984_1");
    ASSERT_TRUE(methodOnly.GenerateQEL());
    EXPECT_EQ(Config(methodOnly), J(R"({"type":"all","reprojectionFields":[
        {"inSR":{"csName":"GCS_North_American_1927"}}]})"));

    QELReprojection nothing(program());
    ASSERT_TRUE(nothing.GenerateQEL());
    EXPECT_EQ(Config(nothing), J(R"({"type":"all","reprojectionFields":[{}]})"));
    EXPECT_EQ(Calls(), Strings(4, "reprojection"));
}
