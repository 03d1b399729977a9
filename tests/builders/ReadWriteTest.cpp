#include <string>
#include <vector>

#include "BuilderTestSupport.h"
#include "qeinteg/data/QEStatDataIterator.h"
#include "qeinteg/qel/QELFunWrapper.h"
#include "qeinteg/qel/QELRead.h"
#include "qeinteg/qel/QELWrite.h"

using buildertest::BuilderTest;
using buildertest::J;
using buildertest::Json;
using Strings = std::vector<std::string>;

namespace {

class NamedIterator : public QEStatDataIterator {
  public:
    std::string getName() override { return "activeDS"; }
    std::string getDataModel() override { return {}; }
    uint32_t nextRecord() override { return 1; }
    uint32_t getRecordValue(size_t, const void**, size_t*) override { return 1; }
    void dispose(JNIEnv*) override {}
};

}  // namespace

TEST_F(BuilderTest, ReadConfigurations) {
    QELRead csv(program());
    csv.ReadCSV("file:////tmp/in.csv", true);
    csv.SetDataModel("file:////tmp/model.xml");
    ASSERT_TRUE(csv.GenerateQEL());
    EXPECT_EQ(Config(csv), J(R"({"filesystem":{"dataModel":"file:////tmp/model.xml",
        "locations":[{"path":"file:////tmp/in.csv",
                      "parser":{"name":"csv","config":{"hasHeader":true}}}]}})"));

    NamedIterator iterator;
    QELRead fromIterator(program());
    fromIterator.ReadIterator(iterator);
    fromIterator.SetErrorThreshold(5);
    ASSERT_TRUE(fromIterator.GenerateQEL());
    EXPECT_EQ(Config(fromIterator), J(R"({"dataSource":"activeDS","readErrorThreshold":5})"));

    QELRead dataSource(program());
    dataSource.ReadQEDatasource("ds");
    ASSERT_TRUE(dataSource.GenerateQEL());
    EXPECT_EQ(Config(dataSource), J(R"({"dataSource":"ds"})"));

    QELRead sav(program());
    sav.ReadSAV("file:////tmp/a.sav", "secret");
    sav.SetMaxCaseCount(0);  // zero is a limit, not "no limit"
    ASSERT_TRUE(sav.GenerateQEL());
    EXPECT_EQ(Config(sav), J(R"({"filesystem":{"locations":[{"path":"file:////tmp/a.sav",
        "parser":{"name":"sav","config":{"dataPassword":"secret"}}}]},"maxRecordsCount":0})"));

    QELRead noPassword(program());
    noPassword.ReadSAV("file:////tmp/b.sav", "");
    ASSERT_TRUE(noPassword.GenerateQEL());
    EXPECT_EQ(Config(noPassword), J(R"({"filesystem":{"locations":[{"path":"file:////tmp/b.sav",
        "parser":{"name":"sav","config":{}}}]}})"));

    QELRead qebf(program());
    qebf.ReadQEBF("file:////tmp/d.qebf");
    ASSERT_TRUE(qebf.GenerateQEL());
    EXPECT_EQ(Config(qebf), J(R"({"filesystem":{"locations":[{"path":"file:////tmp/d.qebf",
        "parser":{"name":"qebf","config":{}}}]}})"));

    QELRead shape(program());
    shape.ReadShape("file:////tmp/map.shp");
    shape.SetDataModel("file:////tmp/map.xml");
    shape.SetMaxCaseCount(100);
    ASSERT_TRUE(shape.GenerateQEL());
    EXPECT_EQ(Config(shape), J(R"({"geospatial":{"dataModel":"file:////tmp/map.xml",
        "location":"file:////tmp/map.shp","type":"shp"},"maxRecordsCount":100})"));

    QELRead service(program());
    service.ReadMapService("https://maps.example/rest/MapServer", " 3");
    ASSERT_TRUE(service.GenerateQEL());
    EXPECT_EQ(Config(service), J(R"({"geospatial":{"location":"https://maps.example/rest/MapServer",
        "type":"mps","queryLayer":3}})"));

    EXPECT_EQ(Calls(), Strings(8, "read"));
}

TEST_F(BuilderTest, ReadSourceChoiceAndLimits) {
    QELRead none(program());
    EXPECT_FALSE(none.GenerateQEL());
    EXPECT_EQ(none.GetQEFunction(), nullptr);
    EXPECT_FALSE(none.IsCreatedQel());

    // The last source setter wins; options of earlier sources do not leak into it.
    QELRead last(program());
    last.ReadSAV("file:////tmp/a.sav", "pw");
    last.ReadMapService("https://maps.example/MapServer", 2);
    last.ReadQEBF("file:////tmp/x.qebf");
    // Counts beyond the signed 64-bit range mean "no practical limit", never a negative count.
    last.SetMaxCaseCount(~0ULL - 1);
    last.SetErrorThreshold(9223372036854775807ULL);
    ASSERT_TRUE(last.GenerateQEL());
    EXPECT_EQ(Config(last), J(R"({"filesystem":{"locations":[{"path":"file:////tmp/x.qebf",
        "parser":{"name":"qebf","config":{}}}]},"maxRecordsCount":9223372036854775807,
        "readErrorThreshold":9223372036854775807})"));

    QELRead unreadableLayer(program());
    unreadableLayer.ReadMapService("https://maps.example/MapServer", "top");
    ASSERT_TRUE(unreadableLayer.GenerateQEL());
    EXPECT_EQ(Config(unreadableLayer)["geospatial"]["queryLayer"], 0);
    EXPECT_EQ(Calls(), Strings(2, "read"));
}

TEST_F(BuilderTest, WriteConfigurations) {
    QELRead read(program());
    read.ReadIterator("ds");

    QELWrite csv(program());
    csv.WriteCSV("file:////tmp/out.csv");
    QELWrite sav(program());
    sav.WriteSAV("file:////tmp/out.sav", "pw");
    sav.SetDataModel("file:////tmp/out.xml");
    QELWrite savOpen(program());
    savOpen.WriteSAV("file:////tmp/open.sav", "");
    QELWrite geo(program());
    geo.WriteGeoJSON("file:////tmp/out.json", "text/geojson", "res-1", "GEOID");
    geo.SetDataModel("file:////tmp/geo.xml");
    QELWrite geoNoKey(program());
    geoNoKey.WriteGeoJSON("file:////tmp/nokey.json", "text/geojson", "res-1", "");
    QELWrite overwrite(program());
    overwrite.WriteQEDatasource("target", false);
    QELWrite append(program());
    append.WriteQEDatasource("target", true);
    QELWrite qebf(program());
    qebf.WriteQEBF("file:////tmp/out.qebf");
    qebf.SetDataModel("file:////tmp/out_model.xml");
    std::vector<QELWrite*> writes{&csv,      &sav,       &savOpen, &geo,
                                  &geoNoKey, &overwrite, &append,  &qebf};
    for (QELWrite* write : writes) {
        write->AddPredFunction(&read);
        ASSERT_TRUE(write->GenerateQEL());
    }

    EXPECT_EQ(Config(csv), J(R"({"dataDestination":"file:////tmp/out.csv",
        "dataModelDestination":"","type":"text/csv"})"));
    EXPECT_EQ(Config(sav), J(R"({"dataDestination":"file:////tmp/out.sav",
        "dataModelDestination":"file:////tmp/out.xml","type":"application/x-tavo-sav",
        "dataPassword":"pw"})"));
    EXPECT_EQ(Config(savOpen), J(R"({"dataDestination":"file:////tmp/open.sav",
        "dataModelDestination":"","type":"application/x-tavo-sav"})"));
    EXPECT_EQ(Config(geo), J(R"({"dataDestination":"file:////tmp/out.json",
        "dataModelDestination":"file:////tmp/geo.xml","type":"text/geojson",
        "metadata":{"resourceId":"res-1","key":"GEOID"}})"));
    EXPECT_EQ(Config(geoNoKey), J(R"({"dataDestination":"file:////tmp/nokey.json",
        "dataModelDestination":"","type":"text/geojson"})"));
    EXPECT_EQ(Config(overwrite), J(R"({"dataSource":"target","mode":"overwrite"})"));
    EXPECT_EQ(Config(append), J(R"({"dataSource":"target","mode":"append"})"));
    EXPECT_EQ(Config(qebf), J(R"({"dataDestination":"file:////tmp/out.qebf",
        "dataModelDestination":"file:////tmp/out_model.xml","type":"qebf"})"));

    Strings expected{"read"};
    expected.insert(expected.end(), writes.size(), "write<-read");
    EXPECT_EQ(Calls(), expected);
}

TEST_F(BuilderTest, WriteFailures) {
    QELWrite noDestination(program());
    EXPECT_FALSE(noDestination.GenerateQEL());

    // A failed predecessor stops the write: nothing is created.
    QELRead noSource(program());
    QELWrite write(program());
    write.WriteCSV("file:////tmp/out.csv");
    write.AddPredFunction(&noSource);
    EXPECT_FALSE(write.GenerateQEL());
    EXPECT_EQ(write.GetQEFunction(), nullptr);
    EXPECT_FALSE(write.IsCreatedQel());
    EXPECT_EQ(Text(), "");

    // Fixing the source makes the same chain work.
    noSource.ReadQEDatasource("ds");
    EXPECT_TRUE(write.GenerateQEL());

    // Without any predecessor the write is created without an input.
    QELWrite alone(program());
    alone.WriteQEBF("file:////tmp/alone.qebf");
    EXPECT_TRUE(alone.GenerateQEL());
    EXPECT_EQ(Calls(), (Strings{"read", "write<-read", "write"}));
}
