#include <string>
#include <vector>

#include "BuilderTestSupport.h"
#include "qeinteg/qel/QELJoin.h"
#include "qeinteg/qel/QELRead.h"
#include "qeinteg/qel/QELUnion.h"

using buildertest::BuilderTest;
using buildertest::J;
using Strings = std::vector<std::string>;

namespace {

class JoinTest : public BuilderTest {
  protected:
    void SetUp() override {
        BuilderTest::SetUp();
        shape_ = std::make_unique<QELRead>(program());
        shape_->ReadShape("file:////tmp/map.shp");
        dataset_ = std::make_unique<QELRead>(program());
        dataset_->ReadIterator("ds");
    }
    void TearDown() override {
        shape_.reset();
        dataset_.reset();
        BuilderTest::TearDown();
    }
    std::unique_ptr<QELRead> shape_, dataset_;
};

}  // namespace

TEST_F(JoinTest, TaggedInnerJoin) {
    QELJoin join(program());
    join.AddPredFunction(shape_.get(), "shape");
    join.AddPredFunction(dataset_.get(), "dataset");
    join.AddMatchField(0, "A", 1, "B");
    join.AddMatchField(0, "X", 5, "Y");  // no input at position 5
    join.AddMatchField(7, "X", 1, "Y");
    join.SetOutputFieldNames(1, {"B", "C"});
    join.SetOutputFieldNames(0, {"old"});
    join.SetOutputFieldNames(0, {"A"});  // replaces the earlier list
    join.SetOutputFieldNames(9, {"Z"});
    ASSERT_TRUE(join.GenerateQEL());
    EXPECT_EQ(Config(join), J(R"({"matchFields":[{"shape":"A","dataset":"B"}],
        "outputFields":{"shape":["A"],"dataset":["B","C"]},"joinType":"Inner"})"));
    EXPECT_EQ(Calls(), (Strings{"read", "read", "join<-dataset=read,shape=read"}));
}

TEST_F(JoinTest, AntiJoinOfKeyMatching) {
    QELJoin join(program());
    join.AddPredFunction(shape_.get(), "shape");
    join.AddPredFunction(dataset_.get(), "dataset");
    join.SetJoinType(QELJoin::Anti);
    join.AddMatchField(0, "NAME", 1, "region");
    join.AddMatchField(0, "CODE", 1, "code");
    join.SetOutputFieldNames(1, {"region", "code"});
    join.AddNonMatchingSource(1);
    join.AddNonMatchingSource(4);  // out of range
    join.AddNonMatchingSource(1);  // repeats are kept
    ASSERT_TRUE(join.GenerateQEL());
    EXPECT_EQ(Config(join), J(R"({"matchFields":[{"shape":"NAME","dataset":"region"},
        {"shape":"CODE","dataset":"code"}],"outputFields":{"dataset":["region","code"]},
        "joinType":"Anti","nonMatchingSources":["dataset","dataset"]})"));
}

TEST_F(JoinTest, JoinTypesAndUntaggedInputs) {
    const std::pair<int, const char*> types[] = {{0, "Inner"},     {1, "Outer"}, {2, "Anti"},
                                                 {3, "Cartesian"}, {4, "Inner"}, {-1, "Inner"}};
    std::vector<std::unique_ptr<QELJoin>> joins;
    for (const auto& [type, name] : types) {
        auto join = std::make_unique<QELJoin>(program());
        join->AddPredFunction(shape_.get());
        join->AddPredFunction(dataset_.get());
        join->SetJoinType(static_cast<QELJoin::JoinType>(type));
        join->AddMatchField(0, "A", 1, "B");
        join->AddNonMatchingSource(0);
        ASSERT_TRUE(join->GenerateQEL());
        auto config = Config(*join);
        EXPECT_EQ(config["joinType"], name) << type;
        // A Cartesian join matches nothing by field.
        EXPECT_EQ(config["matchFields"], type == 3 ? J("[]") : J(R"([{"str1":"A","str2":"B"}])"))
            << type;
        EXPECT_EQ(config["nonMatchingSources"], J(R"(["str1"])"));
        EXPECT_EQ(join->GetTags(), (Strings{"str1", "str2"}));
        joins.push_back(std::move(join));
    }
    Strings expected{"read", "read"};
    expected.insert(expected.end(), joins.size(), "join<-str1=read,str2=read");
    EXPECT_EQ(Calls(), expected);
}

TEST_F(JoinTest, SameInputTwiceAndJoinWithoutInputs) {
    // Both positions under one tag: the pair holds one key, the second field.
    QELJoin self(program());
    self.AddPredFunction(shape_.get(), "s");
    self.AddMatchField(0, "A", 0, "B");
    ASSERT_TRUE(self.GenerateQEL());
    EXPECT_EQ(Config(self), J(R"({"matchFields":[{"s":"B"}],"outputFields":{},
        "joinType":"Inner"})"));

    QELJoin empty(program());
    empty.AddMatchField(0, "A", 1, "B");
    empty.SetOutputFieldNames(0, {"A"});
    empty.AddNonMatchingSource(0);
    ASSERT_TRUE(empty.GenerateQEL());
    EXPECT_EQ(Config(empty), J(R"({"matchFields":[],"outputFields":{},"joinType":"Inner",
        "nonMatchingSources":[]})"));
    EXPECT_EQ(Calls(), (Strings{"read", "join<-s=read", "join"}));
}

TEST_F(JoinTest, FailedInputIsLeftOutAndBadTagsFail) {
    QELRead broken(program());  // no source: never created
    QELJoin join(program());
    join.AddPredFunction(shape_.get(), "shape");
    join.AddPredFunction(&broken, "dataset");
    join.AddMatchField(0, "A", 1, "B");
    ASSERT_TRUE(join.GenerateQEL());
    EXPECT_EQ(Config(join)["matchFields"], J(R"([{"shape":"A","dataset":"B"}])"));

    // The job text cannot carry a tag that is not a name: the program refuses the function and
    // the builder reports the failure instead of a function that does not exist.
    QELJoin badTag(program());
    badTag.AddPredFunction(dataset_.get(), "50% off");
    badTag.AddPredFunction(shape_.get(), "%s");
    EXPECT_FALSE(badTag.GenerateQEL());
    EXPECT_EQ(badTag.GetQEFunction(), nullptr);
    EXPECT_FALSE(badTag.IsCreatedQel());
    EXPECT_EQ(Calls(), (Strings{"read", "join<-shape=read", "read"}));
}

TEST_F(JoinTest, UnionConfigurations) {
    QELUnion defaults(program());
    defaults.AddPredFunction(shape_.get());
    defaults.AddPredFunction(dataset_.get());
    ASSERT_TRUE(defaults.GenerateQEL());
    EXPECT_EQ(Config(defaults), J(R"({"matchByPosition":false,"matchCase":false})"));
    EXPECT_EQ(defaults.GetTags(), (Strings{"str1", "str2"}));

    QELUnion set(program());
    set.SetMatchByPosition(true);
    set.SetMatchCase(true);
    set.AddPredFunction(shape_.get(), "a");
    set.AddPredFunction(dataset_.get(), "a");
    ASSERT_TRUE(set.GenerateQEL());
    EXPECT_EQ(Config(set), J(R"({"matchByPosition":true,"matchCase":true})"));

    QELUnion alone(program());
    ASSERT_TRUE(alone.GenerateQEL());
    EXPECT_EQ(Calls(), (Strings{"read", "read", "union<-str1=read,str2=read",
                                "union<-a=read,a1=read", "union"}));
}
