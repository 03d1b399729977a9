// The metadata queries of QERunner against scripted engine replies, and the parsers of the replies.
#include <gtest/gtest.h>

#include "RunnerFakes.h"
#include "qeinteg/runner/QERunner.h"

namespace runnertest {
namespace {

using qelocal::LocalEngine;
using qelocal::MetadataReply;
using qelocal::ScriptedFailure;
using Strings = std::vector<std::string>;

MetadataReply Text(std::string text) {
    MetadataReply reply;
    reply.text = std::move(text);
    return reply;
}

MetadataReply List(Strings list) {
    MetadataReply reply;
    reply.list = std::move(list);
    return reply;
}

MetadataReply Throws(bool java) {
    MetadataReply reply;
    reply.failure = ScriptedFailure{"boom", "at Engine.java:1", java};
    return reply;
}

using MetadataParserTest = RunnerTest;

TEST_F(MetadataParserTest, EmptyLayerArrayIsAnAnswerButAnEmptyTextIsNot) {
    QERunner keepsTheJavaManager(nullptr);
    std::vector<QERunner::LayerInfo> layers(2);
    EXPECT_TRUE(QERunner::ParseMapServiceLayers("[]", layers));
    EXPECT_TRUE(layers.empty());
    std::vector<int> ids{7};
    Strings names{"old"};
    EXPECT_TRUE(QERunner::ParseMapServiceLayers("[]", ids, names));
    EXPECT_TRUE(ids.empty());
    EXPECT_TRUE(names.empty());

    layers.resize(1);
    EXPECT_FALSE(QERunner::ParseMapServiceLayers("", layers));
    EXPECT_EQ(layers.size(), 1u);
    ids = {7};
    EXPECT_FALSE(QERunner::ParseMapServiceLayers("", ids, names));
    EXPECT_EQ(ids, std::vector<int>{7});
    // Not a JSON array: no answer either, and nothing cleared.
    EXPECT_FALSE(QERunner::ParseMapServiceLayers("{\"value\":1}", layers));
    EXPECT_EQ(layers.size(), 1u);
}

TEST_F(MetadataParserTest, LayerNumbersReadAsTextOrNumberAndMissingOnesAreZero) {
    QERunner keepsTheJavaManager(nullptr);
    const std::string reply =
        R"([{"value":"12","name":"Text","keys":"a,b","description":"d","features":"polygon"},)"
        R"({"value":12,"name":"Number","subLayers":[3,"4"]},)"
        R"({"name":"NoValue"}])";
    std::vector<QERunner::LayerInfo> layers;
    ASSERT_TRUE(QERunner::ParseMapServiceLayers(reply, layers));
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_EQ(layers[0].id, 12);
    EXPECT_EQ(layers[0].name, "Text");
    EXPECT_EQ(layers[0].keys, "a,b");
    EXPECT_EQ(layers[0].description, "d");
    EXPECT_EQ(layers[0].features, "polygon");
    EXPECT_TRUE(layers[0].subLayers.empty());
    EXPECT_EQ(layers[1].id, 12);
    EXPECT_EQ(layers[1].keys, "");  // absent keys read as empty text
    // Sub-layers are written out as JSON text first: a quoted number does not read as a number.
    EXPECT_EQ(layers[1].subLayers, (std::vector<int32_t>{3, 0}));
    EXPECT_EQ(layers[2].id, 0);

    std::vector<int> ids;
    Strings names;
    ASSERT_TRUE(QERunner::ParseMapServiceLayers(reply, ids, names));
    EXPECT_EQ(ids, (std::vector<int>{12, 12, 0}));
    EXPECT_EQ(names, (Strings{"Text", "Number", "NoValue"}));
}

TEST_F(MetadataParserTest, CoordinateSystemKindComesOnlyFromABooleanProjectionFlag) {
    QERunner keepsTheJavaManager(nullptr);
    int wkid = -5;
    std::string name = "x", wkt = "y";
    QERunner::CSTYPE type = QERunner::CSProjected;
    EXPECT_FALSE(QERunner::ParseCoordinatesSystemInfo("", wkid, name, wkt, type));
    EXPECT_EQ(type, QERunner::CSUnknown);

    ASSERT_TRUE(QERunner::ParseCoordinatesSystemInfo(
        R"({"wkid":32610,"name":"WGS 84 / UTM zone 10N","wkt":"PROJCS[]","isProjection":true})",
        wkid, name, wkt, type));
    EXPECT_EQ(wkid, 32610);
    EXPECT_EQ(name, "WGS 84 / UTM zone 10N");
    EXPECT_EQ(wkt, "PROJCS[]");
    EXPECT_EQ(type, QERunner::CSProjected);

    ASSERT_TRUE(QERunner::ParseCoordinatesSystemInfo(
        R"({"wkid":4326,"name":"WGS 84","wkt":"GEOGCS[]","isProjection":false})", wkid, name, wkt,
        type));
    EXPECT_EQ(type, QERunner::CSGeographic);

    // A reply that does not say its kind must not pass as geographic.
    ASSERT_TRUE(QERunner::ParseCoordinatesSystemInfo(R"({"wkid":1,"isProjection":"false"})", wkid,
                                                     name, wkt, type));
    EXPECT_EQ(type, QERunner::CSUnknown);
    EXPECT_FALSE(QERunner::ParseCoordinatesSystemInfo("not json", wkid, name, wkt, type));
    EXPECT_EQ(type, QERunner::CSUnknown);
}

TEST_F(MetadataParserTest, RecommendationWithTwoKeysIsRejectedAndLeavesTheListAlone) {
    QERunner keepsTheJavaManager(nullptr);
    std::vector<QERunner::RecommendPCS> out(1);
    out[0].wkid = 99;
    int key = -1;
    EXPECT_FALSE(QERunner::ParseRecommendPCS(R"({"0":[],"1":[]})", key, out));
    EXPECT_FALSE(QERunner::ParseRecommendPCS("{}", key, out));
    EXPECT_FALSE(QERunner::ParseRecommendPCS("", key, out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].wkid, 99);
    EXPECT_EQ(key, -1);
}

TEST_F(MetadataParserTest, TransformationMethodsFollowObjectOrderThenKeyOrder) {
    QERunner keepsTheJavaManager(nullptr);
    const std::string reply =
        R"j({"7":[{"wkid":2285,"name":"NAD83 / Washington North (ftUS)","wkt":"W",)j"
        R"j("trans_methods":[{"b":"reverse","a":"forward"},{"c":"forward"}]},)j"
        R"j({"wkid":32610,"name":"WGS 84 / UTM zone 10N","wkt":"U","trans_methods":[]}]})j";
    // A reused list must not keep the methods of an earlier answer.
    std::vector<QERunner::RecommendPCS> out(3);
    out[0].transMethods = {"stale"};
    out[0].transForward = {true};
    int key = 0;
    ASSERT_TRUE(QERunner::ParseRecommendPCS(reply, key, out));
    EXPECT_EQ(key, 7);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].wkid, 2285);
    EXPECT_EQ(out[0].name, "NAD83 / Washington North (ftUS)");
    EXPECT_EQ(out[0].wkt, "W");
    EXPECT_EQ(out[0].transMethods, (Strings{"a", "b", "c"}));
    EXPECT_EQ(out[0].transForward, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(out[1].wkid, 32610);
    EXPECT_TRUE(out[1].transMethods.empty());
    EXPECT_TRUE(out[1].transForward.empty());
}

TEST_F(MetadataParserTest, InputMakerWritesExtentsByKeyAndCopiesAreIndependent) {
    QERunner keepsTheJavaManager(nullptr);
    QERunner::RecommendPCSInputMaker maker;
    EXPECT_EQ(maker.toString(), "{}");
    maker.addInput(0, -122.5, 47.8, -122.2, 47.4);
    maker.addInput(3, 1, 2, 3, 4);
    maker.addInput(3, 10.5, 20, 30, 0);  // replaces key 3
    EXPECT_EQ(maker.toString(),
              R"({"0":{"leftUpperX":-122.5,"leftUpperY":47.8,"rightLowerX":-122.2,)"
              R"("rightLowerY":47.4},"3":{"leftUpperX":10.5,"leftUpperY":20.0,)"
              R"("rightLowerX":30.0,"rightLowerY":0.0}})");
    QERunner::RecommendPCSInputMaker copy(maker);
    copy.addInput(5, 0, 0, 0, 0);
    EXPECT_EQ(maker.toString().find("\"5\""), std::string::npos);
    EXPECT_NE(copy.toString().find("\"5\""), std::string::npos);
    QERunner::RecommendPCSInputMaker assigned;
    assigned = copy;
    copy.addInput(6, 0, 0, 0, 0);
    EXPECT_EQ(assigned.toString().find("\"6\""), std::string::npos);
}

using MetadataQueryTest = RunnerTest;

TEST_F(MetadataQueryTest, AnEmptyNameLeavesAPreparedJobInPlace) {
    QERunner runner(nullptr);
    LocalEngine::instance().addJobScript("some job", qelocal::JobScript());
    ASSERT_TRUE(runner.prepareQELJob("some job"));
    EXPECT_EQ(runner.getCoordinatesSystemInfo(std::string()), "");
    EXPECT_TRUE(LocalEngine::instance().calls("release").empty());
    EXPECT_TRUE(LocalEngine::instance().calls("coordinatesSystem").empty());
    EXPECT_TRUE(runner.execute());  // the job is still there to run

    LocalEngine::instance().scriptMetadata("coordinatesSystem", Text("{\"wkid\":1}"));
    EXPECT_EQ(runner.getCoordinatesSystemInfo("EPSG:1"), "{\"wkid\":1}");
    // Any other query ends the prepared job first.
    EXPECT_EQ(Operations(0).back(), "coordinatesSystem");
    const Strings ops = Operations();
    const auto release = std::find(ops.begin(), ops.end(), "release");
    const auto query = std::find(ops.begin(), ops.end(), "coordinatesSystem");
    ASSERT_NE(release, ops.end());
    EXPECT_LT(release, query);
}

TEST_F(MetadataQueryTest, QueriesPassTheirArgumentsAndReturnTheReplies) {
    QERunner runner(nullptr);
    LocalEngine& engine = LocalEngine::instance();
    engine.scriptMetadata("mapServiceLayers", Text("[{\"value\":1}]"));
    engine.scriptMetadata("geographics", List({"WGS 84", "NAD83"}));
    engine.scriptMetadata("projections", List({"WGS 84 / UTM zone 10N"}));
    engine.scriptMetadata("recommendPCS", List({"{\"0\":[]}"}));
    engine.scriptMetadata("metadata", Text("<dataModel/>"));

    std::string result = "old";
    EXPECT_TRUE(runner.getMapServiceLayers("http://127.0.0.1:1/x", result));
    EXPECT_EQ(result, "[{\"value\":1}]");
    Strings out{"old"};
    runner.getGeographics(out);
    EXPECT_EQ(out, (Strings{"WGS 84", "NAD83"}));
    runner.getProjections(out);
    EXPECT_EQ(out, Strings{"WGS 84 / UTM zone 10N"});
    runner.getRecommendPCSs(out, "{in}", 4);
    EXPECT_EQ(out, Strings{"{\"0\":[]}"});
    runner.getRecommendPCSs(out, "{in}");
    FakeContainer container("DataModel", "/tmp/model.zip");
    EXPECT_TRUE(runner.getMetadata("read(x)->dataModelBuilder(y)", container, result));
    EXPECT_EQ(result, "<dataModel/>");

    const auto recommend = engine.calls("recommendPCS");
    ASSERT_EQ(recommend.size(), 2u);
    EXPECT_EQ(recommend[0].args, (Strings{"{in}", "4"}));
    EXPECT_EQ(recommend[1].args, Strings{"{in}"});
    const auto metadata = engine.calls("metadata");
    ASSERT_EQ(metadata.size(), 1u);
    EXPECT_EQ(metadata[0].args, (Strings{"read(x)->dataModelBuilder(y)", "0", "DataModel"}));
    EXPECT_EQ(engine.calls("mapServiceLayers")[0].args, Strings{"http://127.0.0.1:1/x"});
}

TEST_F(MetadataQueryTest, EngineExceptionsNeverLeaveAQuery) {
    for (const bool java : {true, false}) {
        SCOPED_TRACE(java ? "JavaException" : "Exception");
        LocalEngine::instance().reset();
        QERunner runner(nullptr);
        for (const char* op : {"metadata", "mapServiceLayers", "geographics", "projections",
                               "recommendPCS", "coordinatesSystem"})
            LocalEngine::instance().scriptMetadata(op, Throws(java));
        std::string result = "old";
        FakeContainer container("c", "/tmp/c");
        EXPECT_FALSE(runner.getMetadata("job", container, result));
        EXPECT_EQ(result, "");
        result = "old";
        EXPECT_FALSE(runner.getMapServiceLayers("http://x", result));
        EXPECT_EQ(result, "");
        EXPECT_EQ(runner.getCoordinatesSystemInfo(4326), "");
        EXPECT_EQ(runner.getCoordinatesSystemInfo("WGS 84"), "");
        Strings out{"old"};
        runner.getGeographics(out);
        EXPECT_TRUE(out.empty());
        out = {"old"};
        runner.getProjections(out);
        EXPECT_TRUE(out.empty());
        out = {"old"};
        runner.getRecommendPCSs(out, "{}");
        EXPECT_TRUE(out.empty());
        out = {"old"};
        runner.getRecommendPCSs(out, "{}", 3);
        EXPECT_TRUE(out.empty());
    }
}

}  // namespace
}  // namespace runnertest
