// The job chains the procedures build, end to end: builders linked first to last, generated from
// the last one, rendered to job text and read back by the local engine's parser.
#include <string>
#include <vector>

#include "BuilderTestSupport.h"
#include "qeinteg/qel/JNIQelExpression.h"
#include "qeinteg/qel/JNIQelProgram.h"
#include "qeinteg/qel/QELAggregate.h"
#include "qeinteg/qel/QELDataModelBuilder.h"
#include "qeinteg/qel/QELExpressionFun.h"
#include "qeinteg/qel/QELFilterFields.h"
#include "qeinteg/qel/QELJoin.h"
#include "qeinteg/qel/QELRead.h"
#include "qeinteg/qel/QELReprojection.h"
#include "qeinteg/qel/QELUpdateDataModel.h"
#include "qeinteg/qel/QELWrite.h"

using buildertest::BuilderTest;
using buildertest::J;
using buildertest::Json;
using Strings = std::vector<std::string>;

namespace {

class JobChainTest : public BuilderTest {
  protected:
    // Generates the chain from its last builder, then checks the parsed job: the calls and their
    // inputs, and that each call carries its builder's configuration (builders in call order).
    void ExpectJob(QELFunction& last, const std::vector<QELFunction*>& inCallOrder,
                   const Strings& calls) {
        ASSERT_TRUE(last.GenerateQEL());
        EXPECT_EQ(Calls(), calls) << Text();
        qelocal::JobGraph graph = Parse();
        ASSERT_EQ(graph.calls.size(), inCallOrder.size());
        for (size_t i = 0; i < inCallOrder.size(); ++i) {
            EXPECT_TRUE(inCallOrder[i]->IsCreatedQel()) << i;
            Json config = Config(*inCallOrder[i]);
            auto parsed = graph.configurations(graph.calls[i]);
            if (config.is_null()) {
                EXPECT_TRUE(parsed.empty()) << i;
                continue;
            }
            ASSERT_FALSE(parsed.empty()) << i;
            EXPECT_EQ(Json(*parsed[0]), config) << i;
        }
    }
};

}  // namespace

TEST_F(JobChainTest, DatasetConversion) {
    QELRead read(program());
    read.ReadIterator("activeDS");
    QELWrite write(program());
    write.SetDataModel("file:////tmp/conv/datamodel.xml");
    write.WriteQEBF("file:////tmp/conv/data.qebf");
    write.AddPredFunction(&read, "");
    ExpectJob(write, {&read, &write}, {"read", "write<-read"});
    EXPECT_EQ(Config(write), J(R"({"dataDestination":"file:////tmp/conv/data.qebf",
        "dataModelDestination":"file:////tmp/conv/datamodel.xml","type":"qebf"})"));
}

TEST_F(JobChainTest, OutputFetch) {
    QELRead read(program());
    read.ReadQEBF("file:////tmp/out/result.qebf");
    read.SetDataModel("file:////tmp/out/result.xml");
    QELFilterFields filter(program());
    filter.KeepFieldNames(Strings{"id", "score"});
    filter.AddPredFunction(&read);
    QELWrite write(program());
    write.WriteQEBF("file:////tmp/out/fetch.qebf");
    write.SetDataModel("file:////tmp/out/fetch.xml");
    write.AddPredFunction(&filter);
    ExpectJob(write, {&read, &filter, &write},
              {"read", "filterFields<-read", "write<-filterFields"});
}

TEST_F(JobChainTest, OutputFetchFromCsvWithoutHeader) {
    QELRead read(program());
    read.ReadCSV("file:////tmp/out/result.csv", false);
    read.SetDataModel("file:////tmp/out/result.xml");
    QELFilterFields filter(program());
    filter.KeepFieldNames("score");
    filter.AddPredFunction(&read);
    QELWrite write(program());
    write.WriteQEBF("file:////tmp/out/fetch.qebf");
    write.SetDataModel("file:////tmp/out/fetch.xml");
    write.AddPredFunction(&filter);
    ExpectJob(write, {&read, &filter, &write},
              {"read", "filterFields<-read", "write<-filterFields"});
    EXPECT_EQ(Config(read)["filesystem"]["locations"][0]["parser"],
              J(R"({"name":"csv","config":{"hasHeader":false}})"));
}

TEST_F(JobChainTest, MapServiceAndShapeValidation) {
    QELRead service(program());
    service.ReadMapService("https://maps.example/arcgis/rest/services/States/MapServer", "2");
    service.SetMaxCaseCount(10);
    QELDataModelBuilder serviceModel(program());
    serviceModel.SetOutputContainer("DataModel", "file:////tmp/val/service.xml");
    serviceModel.SetNormalizeDataModel(true);
    serviceModel.AddPredFunction(&service);
    ExpectJob(serviceModel, {&service, &serviceModel}, {"read", "dataModelBuilder<-read"});
    EXPECT_EQ(Config(service), J(R"({"geospatial":{
        "location":"https://maps.example/arcgis/rest/services/States/MapServer","type":"mps",
        "queryLayer":2},"maxRecordsCount":10})"));
}

TEST_F(JobChainTest, ShapeValidation) {
    QELRead shape(program());
    shape.ReadShape("file:////tmp/val/states.shp");
    shape.SetMaxCaseCount(10);
    QELDataModelBuilder model(program());
    model.SetOutputContainer("DataModel", "file:////tmp/val/shape.xml");
    model.AddPredFunction(&shape);
    ExpectJob(model, {&shape, &model}, {"read", "dataModelBuilder<-read"});
    EXPECT_EQ(Config(model),
              J(R"([null,{"export":true,"name":"DataModel","uri":"file:////tmp/val/shape.xml"}])"));
}

TEST_F(JobChainTest, MapServiceAndShapeGeoJson) {
    for (bool fromService : {true, false}) {
        SCOPED_TRACE(fromService ? "map service" : "shape");
        TearDown();
        SetUp();
        QELRead read(program());
        if (fromService)
            read.ReadMapService("https://maps.example/MapServer", 0);
        else
            read.ReadShape("file:////tmp/geo/states.shp");
        QELReprojection reprojection(program());
        reprojection.SetOriCoorSystem("WGS_1984_Web_Mercator_Auxiliary_Sphere");
        reprojection.SetDesCoorSystem("GCS_WGS_1984");
        reprojection.AddPredFunction(&read);
        QELWrite write(program());
        write.WriteGeoJSON("file:////tmp/geo/out.json", "text/geojson");
        write.SetDataModel("file:////tmp/geo/out.xml");
        write.AddPredFunction(&reprojection);
        ExpectJob(write, {&read, &reprojection, &write},
                  {"read", "reprojection<-read", "write<-reprojection"});
        EXPECT_EQ(Config(reprojection), J(R"({"type":"all","reprojectionFields":[{
            "inSR":{"csName":"WGS_1984_Web_Mercator_Auxiliary_Sphere"},
            "outSR":{"csName":"GCS_WGS_1984"}}]})"));
    }
}

TEST_F(JobChainTest, PointGeoJson) {
    QELRead read(program());
    read.ReadIterator("activeDS");
    std::vector<JNIQelExpression*> coordinates{program()->createQelExpressionFieldReference("lon"),
                                               program()->createQelExpressionFieldReference("lat")};
    QELExpressionFun derive(program());
    derive.SetDeriveField("pointCoord", program()->createQelExpression("[%s,%s]", &coordinates));
    derive.AddPredFunction(&read);
    QELUpdateDataModel update(program());
    update.Update("pointCoord", CFGeo::Point, 2, 4326, "GCS_WGS_1984", false, "GEOGCS[]", -10.0,
                  60.0, 30.0, 35.0);
    update.AddPredFunction(&derive);
    QELReprojection reprojection(program());
    reprojection.SetOriCoorSystem(4326);
    reprojection.SetDesCoorSystem(3857);
    reprojection.AddPredFunction(&update);
    QELWrite write(program());
    write.WriteGeoJSON("file:////tmp/geo/points.json", "text/geojson", "points", "id");
    write.SetDataModel("file:////tmp/geo/points.xml");
    write.AddPredFunction(&reprojection);
    ExpectJob(write, {&read, &derive, &update, &reprojection, &write},
              {"read", "deriveFields<-read", "updateDataModel<-deriveFields",
               "reprojection<-updateDataModel", "write<-reprojection"});
    qelocal::JobGraph graph = Parse();
    EXPECT_EQ(graph.lambdas(graph.calls[1]),
              Strings{"ctx => x => (\"pointCoord\", [x.lon,x.lat])"});
}

TEST_F(JobChainTest, GeographicEnvelope) {
    QELRead read(program());
    read.ReadIterator("activeDS");
    QELAggregate aggregate(program());
    for (const char* field : {"x", "y"}) {
        aggregate.AddAggregate("min", field, std::string("min_") + field);
        aggregate.AddAggregate("max", field, std::string("max_") + field);
    }
    aggregate.AddPredFunction(&read);
    QELWrite write(program());
    write.WriteCSV("file:////tmp/env/envelope.csv");
    write.SetDataModel("file:////tmp/env/envelope.xml");
    write.AddPredFunction(&aggregate);
    ExpectJob(write, {&read, &aggregate, &write}, {"read", "aggregate<-read", "write<-aggregate"});
    EXPECT_EQ(Config(aggregate), J(R"({"output":[
        {"input":"x","function":"min","outName":"min_x"},
        {"input":"x","function":"max","outName":"max_x"},
        {"input":"y","function":"min","outName":"min_y"},
        {"input":"y","function":"max","outName":"max_y"}]})"));
}

TEST_F(JobChainTest, ShapeAndServiceKeysToQebf) {
    QELRead shape(program());
    shape.ReadShape("file:////tmp/keys/states.shp");
    QELWrite shapeOut(program());
    shapeOut.WriteQEBF("file:////tmp/keys/shape.qebf");
    shapeOut.SetDataModel("file:////tmp/keys/shape.xml");
    shapeOut.AddPredFunction(&shape);
    ExpectJob(shapeOut, {&shape, &shapeOut}, {"read", "write<-read"});

    TearDown();
    SetUp();
    QELRead service(program());
    service.ReadMapService("https://maps.example/MapServer", 1);
    QELWrite serviceOut(program());
    serviceOut.WriteQEBF("file:////tmp/keys/service.qebf");
    serviceOut.SetDataModel("file:////tmp/keys/service.xml");
    serviceOut.AddPredFunction(&service);
    ExpectJob(serviceOut, {&service, &serviceOut}, {"read", "write<-read"});
}

TEST_F(JobChainTest, KeyMatchingJoin) {
    // Shape side: the converted shape keys, the integer key made real, then summarised.
    QELRead shapeRead(program());
    shapeRead.ReadQEBF("file:////tmp/keys/shape.qebf");
    shapeRead.SetDataModel("file:////tmp/keys/shape.xml");
    std::vector<JNIQelExpression*> key{program()->createQelExpressionFieldReference("FIPS")};
    QELExpressionFun toReal(program());
    toReal.SetReclassifyField("FIPS", program()->createQelExpression("toReal(%s)", &key));
    toReal.AddPredFunction(&shapeRead);
    QELAggregate shapeKeys(program());
    shapeKeys.AddAggregate("count", "", "shapeCount");
    shapeKeys.AddPredFunction(&toReal);
    // Dataset side.
    QELRead datasetRead(program());
    datasetRead.ReadIterator("activeDS");
    QELAggregate datasetKeys(program());
    datasetKeys.AddAggregate("count", "", "caseCount");
    datasetKeys.AddPredFunction(&datasetRead);

    QELJoin join(program());
    join.AddPredFunction(&shapeKeys, "shape");
    join.AddPredFunction(&datasetKeys, "dataset");
    join.SetJoinType(QELJoin::Anti);
    join.AddMatchField(0, "FIPS", 1, "fips");
    join.AddMatchField(0, "NAME", 1, "state");
    join.SetOutputFieldNames(1, {"fips", "state"});
    join.AddNonMatchingSource(1);
    QELWrite write(program());
    write.WriteCSV("file:////tmp/keys/unmatched.csv");
    write.SetDataModel("file:////tmp/keys/unmatched.xml");
    write.AddPredFunction(&join);

    ExpectJob(write, {&shapeRead, &toReal, &shapeKeys, &datasetRead, &datasetKeys, &join, &write},
              {"read", "reclassifyField<-read", "aggregate<-reclassifyField", "read",
               "aggregate<-read", "join<-dataset=aggregate,shape=aggregate", "write<-join"});
    EXPECT_EQ(Config(join), J(R"({"matchFields":[{"shape":"FIPS","dataset":"fips"},
        {"shape":"NAME","dataset":"state"}],"outputFields":{"dataset":["fips","state"]},
        "joinType":"Anti","nonMatchingSources":["dataset"]})"));
    qelocal::JobGraph graph = Parse();
    EXPECT_EQ(graph.lambdas(graph.calls[1]), Strings{"ctx => x => (\"FIPS\", toReal(x.FIPS))"});
}
