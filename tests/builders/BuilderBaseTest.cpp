#include <string>
#include <vector>

#include "BuilderTestSupport.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/qel/JNIQelFunction.h"
#include "qeinteg/qel/JNIQelProgram.h"
#include "qeinteg/qel/QELAggregate.h"
#include "qeinteg/qel/QELFunWrapper.h"
#include "qeinteg/qel/QELFunction.h"
#include "qeinteg/qel/QELRead.h"
#include "qeinteg/qel/QELWrite.h"

using buildertest::BuilderTest;
using buildertest::J;
using Strings = std::vector<std::string>;

namespace {

// Exposes tag completion, which builders with tagged inputs use internally.
class TagProbe : public QELFunction {
  public:
    TagProbe() : QELFunction(nullptr) {}
    bool GenerateQEL() override { return true; }
    Strings Complete(const Strings& tags, const char* prefix) {
        TagProbe input;
        for (const std::string& tag : tags)
            AddPredFunction(&input, tag);
        CompleteTags(prefix);
        return GetTags();
    }
};

Strings Complete(const Strings& tags, const char* prefix = "str") {
    TagProbe probe;
    return probe.Complete(tags, prefix);
}

}  // namespace

TEST(BuilderBase, PredecessorsAndTags) {
    QELRead read(nullptr);
    QELWrite write(nullptr);
    write.AddPredFunction(nullptr, "a");
    write.AddPredFunction(nullptr);
    EXPECT_TRUE(write.GetPredecessors().empty());
    EXPECT_TRUE(write.GetTags().empty());
    write.AddPredFunction(&read);
    write.AddPredFunction(&read, "again");
    EXPECT_EQ(write.GetPredecessors(), (std::vector<QELFunction*>{&read, &read}));
    EXPECT_EQ(write.GetTags(), (Strings{"", "again"}));
    EXPECT_EQ(write.GetFunctionType(), QELFunction::Write);
    EXPECT_EQ(read.GetFunctionType(), QELFunction::Read);
    EXPECT_EQ(QELFunWrapper(nullptr).GetFunctionType(), QELFunction::None);
}

TEST(BuilderBase, CompleteTagsMakesTagsNonEmptyAndUnique) {
    EXPECT_EQ(Complete({"", "", "x", "x"}), (Strings{"str1", "str2", "x", "x3"}));
    EXPECT_EQ(Complete({"", "str1"}), (Strings{"str1", "str12"}));
    EXPECT_EQ(Complete({"str1", ""}), (Strings{"str1", "str2"}));
    EXPECT_EQ(Complete({"shape", "dataset"}), (Strings{"shape", "dataset"}));
    EXPECT_EQ(Complete({"a", "a", "a", ""}), (Strings{"a", "a1", "a2", "str3"}));
    EXPECT_EQ(Complete({"", ""}, "in"), (Strings{"in1", "in2"}));
    EXPECT_EQ(Complete({""}, nullptr), (Strings{"1"}));
    // Tags are text, never formats: conversions in them stay as they are.
    EXPECT_EQ(Complete({"%s%n%d", "%s%n%d"}), (Strings{"%s%n%d", "%s%n%d1"}));
    EXPECT_EQ(Complete({"", ""}, "%s%n"), (Strings{"%s%n1", "%s%n2"}));
    // No length limit on candidates.
    const std::string longTag(5000, 'k');
    EXPECT_EQ(Complete({longTag, longTag, longTag}),
              (Strings{longTag, longTag + "1", longTag + "2"}));
}

TEST_F(BuilderTest, GenerateOnceAndSharedPredecessors) {
    QELRead read(program());
    read.ReadQEDatasource("ds");
    QELWrite first(program()), second(program());
    first.WriteCSV("file:////tmp/a.csv");
    second.WriteQEBF("file:////tmp/b.qebf");
    first.AddPredFunction(&read);
    second.AddPredFunction(&read);
    EXPECT_EQ(read.GetQEFunction(), nullptr);
    EXPECT_FALSE(read.IsCreatedQel());

    ASSERT_TRUE(first.GenerateQEL());
    JNIQelFunction* created = first.GetQEFunction();
    ASSERT_NE(created, nullptr);
    EXPECT_TRUE(first.IsCreatedQel());
    EXPECT_TRUE(read.IsCreatedQel());
    JNIQelFunction* readFunction = read.GetQEFunction();
    EXPECT_TRUE(first.GenerateQEL());
    EXPECT_EQ(first.GetQEFunction(), created);
    ASSERT_TRUE(second.GenerateQEL());
    EXPECT_EQ(read.GetQEFunction(), readFunction);
    // One read feeding two writes.
    EXPECT_EQ(Calls(), (Strings{"read", "write<-read", "write<-read"}));

    // A setter after creation does not re-create the function.
    first.WriteCSV("file:////tmp/other.csv");
    EXPECT_TRUE(first.GenerateQEL());
    EXPECT_EQ(Config(first)["dataDestination"], "file:////tmp/a.csv");
}

TEST_F(BuilderTest, WithoutProgramNothingIsCreated) {
    QELRead read(nullptr);
    read.ReadQEDatasource("ds");
    EXPECT_FALSE(read.GenerateQEL());
    EXPECT_EQ(read.GetQEFunction(), nullptr);
    QELAggregate aggregate(nullptr);
    EXPECT_FALSE(aggregate.GenerateQEL());
    // Given a program later, the same builder works.
    read.SetJNIQelProgram(program());
    EXPECT_TRUE(read.GenerateQEL());
    EXPECT_EQ(Calls(), (Strings{"read"}));
}

TEST_F(BuilderTest, FunWrapperAdoptsAnExistingFunction) {
    QELFunWrapper empty(program());
    EXPECT_TRUE(empty.GenerateQEL());
    EXPECT_EQ(empty.GetQEFunction(), nullptr);
    // A successor of an empty wrapper gets no input.
    QELWrite orphan(program());
    orphan.WriteCSV("file:////tmp/orphan.csv");
    orphan.AddPredFunction(&empty);
    EXPECT_TRUE(orphan.GenerateQEL());

    JNIJSONObject* noConfig = nullptr;
    JNIQelFunction* existing = program()->createQelFunction("read", noConfig);
    QELFunWrapper wrapper(program());
    wrapper.SetQEFunction(existing);
    EXPECT_EQ(wrapper.GetQEFunction(), existing);
    QELWrite write(program());
    write.WriteQEBF("file:////tmp/x.qebf");
    write.AddPredFunction(&wrapper);
    EXPECT_TRUE(write.GenerateQEL());
    EXPECT_EQ(Calls(), (Strings{"write", "read", "write<-read"}));
}

TEST_F(BuilderTest, CopiesShareProgramFunctionAndPredecessors) {
    QELRead read(program());
    read.ReadCSV("file:////tmp/in.csv", true);
    read.SetMaxCaseCount(10);
    QELRead copy(read);
    ASSERT_TRUE(copy.GenerateQEL());
    EXPECT_EQ(Config(copy), J(R"({"filesystem":{"locations":[{"path":"file:////tmp/in.csv",
        "parser":{"name":"csv","config":{"hasHeader":true}}}]},"maxRecordsCount":10})"));
    EXPECT_FALSE(read.IsCreatedQel());

    QELWrite write(program());
    write.WriteCSV("file:////tmp/out.csv");
    write.AddPredFunction(&copy);
    ASSERT_TRUE(write.GenerateQEL());
    QELWrite assigned(nullptr);
    assigned = write;
    EXPECT_TRUE(assigned.IsCreatedQel());
    EXPECT_EQ(assigned.GetQEFunction(), write.GetQEFunction());
    EXPECT_EQ(assigned.GetPredecessors(), write.GetPredecessors());
    EXPECT_TRUE(assigned.GenerateQEL());
    EXPECT_EQ(Calls(), (Strings{"read", "write<-read"}));
}

TEST_F(BuilderTest, PredecessorCycleEndsInsteadOfRecursing) {
    QELAggregate a(program()), b(program());
    a.AddPredFunction(&b);
    b.AddPredFunction(&a);
    EXPECT_TRUE(a.GenerateQEL());
    EXPECT_TRUE(b.IsCreatedQel());
    EXPECT_EQ(Calls(), (Strings{"aggregate", "aggregate<-aggregate"}));
}

namespace {

// A builder as a newcomer writes one: only its own part, the protocol comes from the base.
class CountingBuilder : public QELFunction {
  public:
    CountingBuilder(JNIQelProgram* program, bool requireInput)
        : QELFunction(program), requireInput_(requireInput) {}
    int creations = 0;
    bool ready = true;
    JNIQelFunction* seenInput = nullptr;

  protected:
    Inputs InputKind() const override {
        return requireInput_ ? Inputs::FirstRequired : Inputs::First;
    }
    bool CanGenerate() const override { return ready; }
    JNIQelFunction* CreateFunction(JNIQelProgram& program, JNIQelFunction* input) override {
        ++creations;
        seenInput = input;
        JNIJSONObject config;
        config.put("n", creations);
        return CreateWithInput(program, "aggregate", &config, input);
    }

  private:
    bool requireInput_;
};

}  // namespace

TEST_F(BuilderTest, TemplateMethodGivesEveryBuilderTheWholeProtocol) {
    // No program, or a precondition of the builder's own: nothing is created, nothing generated.
    CountingBuilder orphan(nullptr, false);
    EXPECT_FALSE(orphan.GenerateQEL());
    QELRead source(program());
    source.ReadQEDatasource("ds");
    CountingBuilder notReady(program(), false);
    notReady.ready = false;
    notReady.AddPredFunction(&source);
    EXPECT_FALSE(notReady.GenerateQEL());
    EXPECT_EQ(orphan.creations + notReady.creations, 0);
    EXPECT_FALSE(source.IsCreatedQel());

    // Generated once, with its first input; a second call creates nothing.
    CountingBuilder single(program(), false);
    single.AddPredFunction(&source);
    EXPECT_TRUE(single.GenerateQEL());
    EXPECT_TRUE(single.GenerateQEL());
    EXPECT_EQ(single.creations, 1);
    EXPECT_EQ(single.seenInput, source.GetQEFunction());

    // A required input that fails stops the builder before its own part.
    QELRead unset(program());
    CountingBuilder strict(program(), true);
    strict.AddPredFunction(&unset);
    EXPECT_FALSE(strict.GenerateQEL());
    EXPECT_EQ(strict.creations, 0);

    // A cycle through two such builders ends with one failure instead of recursing.
    CountingBuilder a(program(), false), b(program(), false);
    a.AddPredFunction(&b);
    b.AddPredFunction(&a);
    EXPECT_TRUE(a.GenerateQEL());
    EXPECT_EQ(a.creations + b.creations, 2);
    EXPECT_EQ(b.seenInput, nullptr);
    EXPECT_EQ(a.seenInput, b.GetQEFunction());
}
