#include <limits>
#include <string>
#include <vector>

#include "BuilderTestSupport.h"
#include "qeinteg/data/QEStatContainer.h"
#include "qeinteg/platform/host/metadata/CFDatum.h"
#include "qeinteg/platform/host/metadata/CFMissingValues.h"
#include "qeinteg/platform/host/metadata/CFRange.h"
#include "qeinteg/platform/host/metadata/CFValue.h"
#include "qeinteg/qel/QELDataModelBuilder.h"
#include "qeinteg/qel/QELRead.h"
#include "qeinteg/qel/QELUpdateDataModel.h"

using buildertest::BuilderTest;
using buildertest::J;
using Strings = std::vector<std::string>;

namespace {

class FileContainer : public QEStatContainer {
  public:
    std::string getName() override { return "DataModel"; }
    std::string getAbsolutePath() override { return "/tmp/qecont/model.xml"; }
};

CFValue Value(CFDatum datum, std::string label = {}) {
    return CFValue(std::move(datum), std::move(label), 0, 0);
}

}  // namespace

TEST_F(BuilderTest, UpdateDataModelCodesAndOrder) {
    QELUpdateDataModel update(program());
    update.Update("b", CFField::Ordinal);
    update.Update("b", CFField::Target);
    update.Update("b", CFField::Timestamp);
    update.Update("b", "Label of b");
    update.Update("a", static_cast<CFField::StorageType>(0));  // no text: object only
    update.Update("c", static_cast<CFField::FieldType>(6));
    update.Update("c", static_cast<CFField::StorageType>(7));
    update.Update("d", CFField::Typeless);
    update.Update("d", CFField::None);
    update.Update("d", CFField::Integer);
    update.Update("d", CFField::Continuous);     // replaces, keeping the key's place
    update.Update("e", std::vector<CFValue>{});  // nothing at all
    EXPECT_EQ(update.SizeOfUpdate(), 4);
    update.FieldSensitive(true);
    EXPECT_TRUE(update.IsFieldSensitive());
    ASSERT_TRUE(update.GenerateQEL());
    EXPECT_EQ(Config(update), J(R"({"fields":[
        {"name":"a"},
        {"name":"b","measure":"ordinal","role":"target","storage":"timestamp",
         "displayLabel":"Label of b"},
        {"name":"c"},
        {"name":"d","measure":"continuous","role":"none","storage":"integer"}]})"));

    // Every code of the tables.
    QELUpdateDataModel all(program());
    const char* measures[] = {"continuous", "nominal", "ordinal", "flag", "discrete", "typeless"};
    const char* storages[] = {"integer", "real", "string", "date", "time", "timestamp"};
    const char* roles[] = {"input", "target",     "both",     "partition",
                           "split", "freqWeight", "recordId", "none"};
    for (int i = 0; i < 8; ++i) {
        const std::string field = "f" + std::to_string(i);
        all.Update(field, static_cast<CFField::FieldType>(i));
        all.Update(field, static_cast<CFField::StorageType>(i + 1));
        all.Update(field, static_cast<CFField::RoleType>(i));
    }
    ASSERT_TRUE(all.GenerateQEL());
    auto fields = Config(all)["fields"];
    ASSERT_EQ(fields.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(fields[i].value("measure", "-"), i < 6 ? measures[i] : "-") << i;
        EXPECT_EQ(fields[i].value("storage", "-"), i < 6 ? storages[i] : "-") << i;
        EXPECT_EQ(fields[i]["role"], roles[i]) << i;
    }

    QELUpdateDataModel empty(program());
    ASSERT_TRUE(empty.GenerateQEL());
    EXPECT_EQ(Config(empty), J(R"({"fields":[]})"));
    EXPECT_EQ(Calls(), Strings(3, "updateDataModel"));
}

TEST_F(BuilderTest, UpdateDataModelLabelsAndMissingValues) {
    QELUpdateDataModel update(program());
    update.Update("region", std::vector<CFValue>{Value(CFDatum::MakeInteger(1), "North"),
                                                 Value(CFDatum::MakeReal(2.5), "Mid \"2\""),
                                                 Value(CFDatum::MakeText("S"), "South")});
    // A range of integers and a list of values.
    update.Update("age",
                  CFMissingValues(CFRange(CFDatum::MakeInteger(-9), CFDatum::MakeInteger(-1)),
                                  {Value(CFDatum::MakeInteger(99)), Value(CFDatum::MakeReal(98.5))},
                                  true, false));
    // Reals keep their kind; a text limit cannot be written; a lower limit alone.
    update.Update(
        "income",
        CFMissingValues(CFRange(CFDatum::MakeReal(-1.5), CFDatum::MakeText("x")), {}, true, false));
    update.Update("open",
                  CFMissingValues(CFRange(CFDatum(), CFDatum::MakeInteger(0)), {}, true, false));
    // Only a discrete list.
    update.Update("code",
                  CFMissingValues(CFRange(), {Value(CFDatum::MakeText("NA"))}, true, false));
    // Invalid or empty summary entries write nothing.
    update.Update("skip", CFMissingValues(CFRange(CFDatum::MakeInteger(1), CFDatum::MakeInteger(2)),
                                          {}, false, false));
    update.Update("skip", CFMissingValues(CFRange(), {}, true, false));
    ASSERT_TRUE(update.GenerateQEL());
    EXPECT_EQ(Config(update), J(R"({"fields":[
        {"name":"age","missingValues":{"minValue":-9,"maxValue":-1,"Value":["99","98.5"]}},
        {"name":"code","missingValues":{"Value":["NA"]}},
        {"name":"income","missingValues":{"minValue":-1.5}},
        {"name":"open","missingValues":{"maxValue":0}},
        {"name":"region","valueLabels":[{"value":"1","displayLabel":"North"},
            {"value":"2.5","displayLabel":"Mid \"2\""},{"value":"S","displayLabel":"South"}]},
        {"name":"skip"}]})"));
    auto income = Config(update)["fields"][2]["missingValues"]["minValue"];
    EXPECT_TRUE(income.is_number_float());
    auto age = Config(update)["fields"][0]["missingValues"]["minValue"];
    EXPECT_TRUE(age.is_number_integer());
}

TEST_F(BuilderTest, UpdateDataModelGeometry) {
    QELUpdateDataModel update(program());
    update.Update("cartesian", CFGeo::Point, 2);
    update.Update("noCoordinates", CFGeo::MultiPolygon, 0);
    update.Update("projected", CFGeo::Polygon, 3, 3857, "WGS_1984_Web_Mercator", true,
                  "PROJCS[\"WGS 84 / Pseudo-Mercator\"]");
    update.Update("zeroId", CFGeo::LineString, 2, 0, "ignored", true, "");
    update.Update("pointCoord", CFGeo::Point, 2, 4326, "GCS_WGS_1984", false, "GEOGCS[]", -180.0,
                  90.0, 180.5, -90.0);
    update.Update("badType", static_cast<CFGeo::Type>(6), 2);
    update.Update("replaced", CFGeo::MultiPoint, 2);
    update.Update("replaced", CFGeo::MultiLineString, 1);
    ASSERT_TRUE(update.GenerateQEL());
    EXPECT_EQ(Config(update), J(R"({"fields":[
        {"name":"badType"},
        {"name":"cartesian","Geo":{"type":"Point","coordinates":"2"}},
        {"name":"noCoordinates","Geo":{"type":"MultiPolygon"}},
        {"name":"pointCoord","Geo":{"type":"Point","coordinates":"2","wkid":"4326",
            "csname":"GCS_WGS_1984","isProjected":false,"wkt":"GEOGCS[]",
            "GeoEnvelope":{"leftUpperX":-180.0,"leftUpperY":90.0,"rightLowerX":180.5,
                           "rightLowerY":-90.0}}},
        {"name":"projected","Geo":{"type":"Polygon","coordinates":"3","wkid":"3857",
            "csname":"WGS_1984_Web_Mercator","isProjected":true,
            "wkt":"PROJCS[\"WGS 84 / Pseudo-Mercator\"]"}},
        {"name":"replaced","Geo":{"type":"MultiLineString","coordinates":"1"}},
        {"name":"zeroId","Geo":{"type":"LineString","coordinates":"2"}}]})"));
    // Texts, not numbers: the engine reads the dimension and the id as strings.
    auto geo = Config(update)["fields"][3]["Geo"];
    EXPECT_TRUE(geo["coordinates"].is_string());
    EXPECT_TRUE(geo["wkid"].is_string());
    EXPECT_TRUE(geo["GeoEnvelope"]["leftUpperX"].is_number_float());
}

TEST_F(BuilderTest, UpdateDataModelCopiesOwnTheirObjects) {
    QELRead read(program());
    read.ReadIterator("ds");
    auto original = std::make_unique<QELUpdateDataModel>(program());
    original->AddPredFunction(&read);
    original->Update("x", CFField::Nominal);
    QELUpdateDataModel copy(*original);
    copy.Update("x", CFField::String);
    copy.Update("y", "why");
    QELUpdateDataModel assigned(nullptr);
    assigned = copy;
    assigned = assigned;
    assigned.Update("x", CFField::Flag);
    EXPECT_EQ(original->SizeOfUpdate(), 1);
    EXPECT_EQ(copy.SizeOfUpdate(), 2);

    ASSERT_TRUE(original->GenerateQEL());
    EXPECT_EQ(Config(*original), J(R"({"fields":[{"name":"x","measure":"nominal"}]})"));
    // An update after creation does not change the created function.
    original->Update("x", CFField::Real);
    EXPECT_EQ(Config(*original), J(R"({"fields":[{"name":"x","measure":"nominal"}]})"));
    // A copy made after creation shares the created function, not the update objects.
    QELUpdateDataModel late(*original);
    EXPECT_TRUE(late.IsCreatedQel());
    EXPECT_EQ(late.GetQEFunction(), original->GetQEFunction());
    original.reset();
    EXPECT_EQ(late.SizeOfUpdate(), 1);

    // Copies made before creation are builders of their own.
    EXPECT_FALSE(copy.IsCreatedQel());
    ASSERT_TRUE(assigned.GenerateQEL());
    EXPECT_EQ(Config(assigned), J(R"({"fields":[{"name":"x","measure":"flag","storage":"string"},
        {"name":"y","displayLabel":"why"}]})"));
    QELUpdateDataModel fresh(nullptr);
    fresh = QELUpdateDataModel(assigned);
    EXPECT_EQ(fresh.SizeOfUpdate(), 2);
    EXPECT_EQ(Calls(), (Strings{"read", "updateDataModel<-read", "updateDataModel<-read"}));
}

TEST_F(BuilderTest, DataModelBuilderConfiguration) {
    QELRead read(program());
    read.ReadShape("file:////tmp/map.shp");
    read.SetMaxCaseCount(1);
    QELDataModelBuilder plain(program());
    plain.AddPredFunction(&read);
    plain.SetOutputContainer("DM", "file:////tmp/dm.xml");
    ASSERT_TRUE(plain.GenerateQEL());
    EXPECT_EQ(Config(plain),
              J(R"([null,{"export":true,"name":"DM","uri":"file:////tmp/dm.xml"}])"));

    FileContainer container;
    QELDataModelBuilder normalised(program());
    normalised.SetOutputContainer(container);
    normalised.SetNormalizeDataModel(true);
    ASSERT_TRUE(normalised.GenerateQEL());
    EXPECT_EQ(Config(normalised), J(R"([{"normalizeDataModel":true},
        {"export":true,"name":"DataModel","uri":"file:////tmp/qecont/model.xml"}])"));
    EXPECT_EQ(Calls(), (Strings{"read", "dataModelBuilder<-read", "dataModelBuilder"}));
}
