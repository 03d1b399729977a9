#include <gtest/gtest.h>

#include "OutputTestSupport.h"
#include "qeinteg/output/OutputOrder.h"
#include "qeinteg/output/dataDictionary.h"
#include "qeinteg/output/jsonToPennant.h"
#include "qeinteg/platform/host/output/ChartItem.h"
#include "qeinteg/platform/host/output/HeadingItem.h"
#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PivotTableItem.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/process/FacSTDictionary.h"
#include "qeinteg/platform/host/process/ParserMessage.h"

namespace {

using namespace outtest;
using qehost::OutputItem;

std::string Note(const std::string& text, const std::string& severity) {
    std::string note = S(text);
    if (!severity.empty())
        note.insert(note.size() - 1, R"(,"severity":")" + severity + "\"");
    return note;
}

std::string SmallTable() {
    return R"({"tableId":"t","title":{},"dimensions":[)" + Dim("R", Leaves("r", 2)) +
           R"(],"cells":[{"cells":{"compactCells":{"value":[1,2]}}}]})";
}

const qehost::ChartRecord& Chart(std::size_t i) {
    auto charts = Items(OutputItem::Kind::Chart);
    EXPECT_GT(charts.size(), i);
    return static_cast<const qehost::ChartItem*>(charts.at(i))->record();
}

TEST(OutputOrder, DefaultsAndAppendingSetters) {
    OutputOrder plain;
    EXPECT_EQ(plain.getType(), OutputOrder::PivotTable);
    EXPECT_FALSE(plain.needsGEO());
    EXPECT_FALSE(plain.translateTitle());
    EXPECT_TRUE(plain.getLocations().empty());

    OutputOrder order("A.B", {"x", "y"}, OutputOrder::Chart, "Outline", "sub");
    EXPECT_TRUE(order.needsGEO());
    EXPECT_TRUE(order.translateTitle());
    order.setOptions("a=1").setOptions("b=2").addTextToCaption("one").addTextToCaption("two");
    EXPECT_EQ(order.getOptions(), "a=1,b=2");
    EXPECT_EQ(order.getCaption(), "one\ntwo");
    order.addLocation(std::string(".p..q."));
    ASSERT_EQ(order.getLocations().size(), 2u);
    EXPECT_EQ(order.getLocations()[1], (std::vector<std::string>{"p", "q"}));
    order.hideCategories({"h1", "h2"}, true).hideAllCategoriesExcept("s", false);
    EXPECT_EQ(order.getHiddenRows().size(), 2u);
    EXPECT_EQ(order.getShownCols(), std::vector<std::string>{"s"});
    OutputOrder copy = order;
    copy.setOptions("c");
    EXPECT_EQ(order.getOptions(), "a=1,b=2");
}

TEST(Renderer, NotificationsAndSeverities) {
    const std::string doc = R"({"s":{"notifications":[)" + Note("plain", "") + "," +
                            Note("quiet", "NoScreen") + "," + Note("comment", "Comment") + "," +
                            Note("odd", "Whatever") + "," + Note("error", "Error") + "," +
                            Note("fatal", "Fatal") + "," + Note("worst", "Catastrophic") +
                            R"(,"not an object",{"text":{}}]},"other":{}})";
    FacSTDictionary dictionary;
    {
        PnProcedure procedure("p");
        jsonToPennant renderer(&procedure, nullptr, dictionary, doc);
        EXPECT_FALSE(renderer.generateOutput("missing"));
        EXPECT_TRUE(qehost::HostOutput::instance().errors().empty());
        EXPECT_TRUE(renderer.generateOutput("s"));
    }
    const auto errors = qehost::HostOutput::instance().errors();
    ASSERT_EQ(errors.size(), 7u);
    const int levels[] = {2, 0, 1, 2, 3, 4, 5};
    for (std::size_t i = 0; i < errors.size(); ++i) {
        EXPECT_EQ(errors[i].level, levels[i]) << errors[i].text;
        EXPECT_EQ(errors[i].show, 2);
        EXPECT_EQ(errors[i].procedure, "p");
    }
    EXPECT_EQ(errors[0].text, "plain");

    PnProcedure procedure("q");
    jsonToPennant quiet(&procedure, nullptr, dictionary, doc);
    quiet.showNotifications(false);
    EXPECT_TRUE(quiet.generateOutput("s"));
    EXPECT_EQ(qehost::HostOutput::instance().errors().size(), 7u);
}

TEST(Renderer, UnparsableDocumentIsReportedOnce) {
    FacSTDictionary dictionary;
    qehost::SetTranslation("Unknown error. ^1", "Fehler: ^1");
    PnProcedure procedure("p");
    jsonToPennant renderer(&procedure, nullptr, dictionary, "{\"a\": [1,}");
    renderer.addObjectToOutput("H", "a", "T", "", OutputOrder::PivotTable);
    EXPECT_FALSE(renderer.hasItem("a"));
    EXPECT_EQ(renderer.getTop(), nullptr);
    EXPECT_FALSE(renderer.generateOutput("a"));
    const auto errors = qehost::HostOutput::instance().errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].level, 2);
    EXPECT_EQ(errors[0].text.rfind("Fehler: ", 0), 0u) << errors[0].text;
    EXPECT_GT(errors[0].text.size(), 8u);  // the parser's own message follows
    EXPECT_TRUE(Items(OutputItem::Kind::Heading).empty());
}

TEST(Renderer, TwoLevelHeadingsCaptionAndFilters) {
    const std::string doc =
        R"({"s":{"tables":{"first":)" + SmallTable() + R"(,"text":"a string"}}})";
    FacSTDictionary dictionary;
    qehost::SetTranslation("Outer", "Outer (translated)");
    PnProcedure procedure("p");
    jsonToPennant renderer(&procedure, nullptr, dictionary, doc);
    renderer.addObjectToOutput("Outer.Inner", "tables.first", "Outline", "sub",
                               OutputOrder::PivotTable);
    OutputOrder second;
    second.setHeading("Outer").addLocation("tables.first").setOutlineTitle("Second");
    second.addTextToCaption("c1").addTextToCaption("c2").hideCategories({"r0"}, true);
    renderer.addObjectToOutput(second);
    OutputOrder stringItem;
    stringItem.addLocation("tables.text.deeper");
    renderer.addObjectToOutput(stringItem);
    OutputOrder noLocation;
    noLocation.setHeading("Empty");
    renderer.addObjectToOutput(noLocation);
    EXPECT_TRUE(renderer.generateOutput("s"));

    const OutputItem& proc = *qehost::HostOutput::instance().root().children().at(0);
    ASSERT_EQ(proc.children().size(), 3u);  // Outer, Outer, Empty
    const auto& outer = static_cast<const qehost::HeadingItem&>(*proc.children()[0]);
    EXPECT_EQ(outer.title().text, "Outer (translated)");
    ASSERT_EQ(outer.children().size(), 1u);
    const auto& inner = static_cast<const qehost::HeadingItem&>(*outer.children()[0]);
    EXPECT_EQ(inner.title().text, "Inner");
    ASSERT_EQ(inner.children().size(), 1u);
    const auto& table = static_cast<const qehost::PivotTableItem&>(*inner.children()[0]).table();
    EXPECT_EQ(table.title.args[1].second, "true");  // the outline title is translated
    EXPECT_EQ(table.subType.text, "sub");

    const auto& outer2 = *proc.children()[1];
    ASSERT_EQ(outer2.children().size(), 1u);
    const auto& table2 = static_cast<const qehost::PivotTableItem&>(*outer2.children()[0]).table();
    EXPECT_EQ(table2.caption->text, "c1\nc2");
    EXPECT_EQ(table2.dimensions[0]->leaves.size(), 1u);
    EXPECT_EQ(table2.title.args[1].second, "false");
    EXPECT_TRUE(proc.children()[2]->children().empty());
}

TEST(Renderer, InteractiveDocumentMembersAndLayers) {
    const std::string doc =
        R"({"dataModel":{"name":"dm","fields":[]},"s":{"a":{"x":1},"b":null,"c":"text","n":{"m":[1]}}})";
    FacSTDictionary dictionary;
    PnProcedure procedure("p");
    jsonToPennant renderer(&procedure, nullptr, dictionary, doc);
    renderer.setGeoJSONMap({{"zeta", "{\"z\":1}"}, {"alpha", "{\"a\":1}"}});
    OutputOrder order(std::string(), {"a"}, OutputOrder::Interactive, "Map view", "");
    order.addLocation(std::string("b"));
    order.addLocation(std::string("c.d"));
    order.addLocation(std::string("n.m"));  // an array holds no "}"
    renderer.addObjectToOutput(order);
    OutputOrder second;
    second.setType(OutputOrder::Interactive).addLocation(std::string("a")).setPathId("custom.path");
    second.setOutlineTitle("Plain").setOptions("o1").setOptions("o2");
    renderer.addObjectToOutput(second);
    EXPECT_TRUE(renderer.generateOutput("s"));

    const qehost::ChartRecord& first = Chart(0);
    EXPECT_TRUE(first.interactive);
    EXPECT_EQ(first.interactiveJSON, R"({"0":{"name":"dm","fields":[]},"1":{"x":1}})");
    EXPECT_EQ(first.jsonPath, "a");
    EXPECT_EQ(first.procedureName, "s");
    EXPECT_TRUE(first.nativeDescription);
    EXPECT_EQ(first.description, "Map view");
    ASSERT_EQ(first.geoJSON.size(), 2u);
    EXPECT_EQ(first.geoJSON[0].first, "alpha");
    const qehost::ChartRecord& plain = Chart(1);
    EXPECT_EQ(plain.jsonPath, "custom.path");
    EXPECT_FALSE(plain.nativeDescription);
    EXPECT_EQ(plain.options, "o1,o2");
    EXPECT_TRUE(plain.geoJSON.empty());

    // Without a document only interactive items can be made, and they report false.
    jsonToPennant bare(&procedure, nullptr, dictionary);
    bare.addObjectToOutput(second);
    EXPECT_FALSE(bare.generateOutput("s"));
    EXPECT_EQ(Chart(2).interactiveJSON, "{}");
    EXPECT_EQ(bare.getTop(), nullptr);
}

TEST(Renderer, ChartsAndMapLayers) {
    const std::string doc =
        R"({"dataModel":{"fields":[]},"s":{"chart":{"kind":"bar"},"map":{"parameters":[{"externalSource":"roads"},{"externalSource":"absent"},{"other":1}]}}})";
    FacSTDictionary dictionary;
    PnProcedure procedure("p");
    jsonToPennant renderer(&procedure, nullptr, dictionary, doc);
    renderer.setGeoJSONMap({{"roads", "{\"r\":1}"}, {"rivers", "{}"}});
    renderer.addObjectToOutput("Charts", "chart", "Bars", "", OutputOrder::Chart);
    renderer.addObjectToOutput("Charts", "map", "Map", "", OutputOrder::MapChart);
    EXPECT_TRUE(renderer.generateOutput("s"));
    const qehost::ChartRecord& bar = Chart(0);
    EXPECT_FALSE(bar.interactive);
    EXPECT_EQ(bar.vizTemplate, R"({"0":{"fields":[]},"1":{"kind":"bar"}})");
    EXPECT_TRUE(bar.geoJSON.empty());
    const qehost::ChartRecord& map = Chart(1);
    ASSERT_EQ(map.geoJSON.size(), 1u);
    EXPECT_EQ(map.geoJSON[0].first, "roads");
    // Both charts sit under their own "Charts" heading.
    const auto headings = Items(OutputItem::Kind::Heading);
    ASSERT_EQ(headings.size(), 2u);
    EXPECT_EQ(headings[1]->children().size(), 1u);
}

TEST(Renderer, DataModelFieldsAndValueLabels) {
    const std::string doc = R"({"dataModel":{"name":"model","fields":[
        {"id":"age","storage":"integer","measurementLevel":"continuous","role":"input","label":"",
         "format":{"numberFormat":{"decimalPlaces":2},"dateFormat":{"decimalPlaces":0}},
         "valueLabels":{"values":[1,"2",2.5,3,null,4],"labels":["one","two","two and a half","",
         "none"]}},
        {"id":"city","storage":"string","label":"City",
         "format":{"decoratedFormat":{"decimalPlaces":1},"stringFormat":{"width":8}},
         "valueLabels":{"values":["NY","",7],"labels":["New York","blank","seven"]}},
        {"id":"plain","format":{"stringFormat":{}}}]},"s":{}})";
    FacSTDictionary dictionary;
    jsonToPennant renderer(nullptr, nullptr, dictionary, doc);
    const dataDictionary& dict = renderer.getDataDictionary();
    EXPECT_EQ(dict.getName(), "model");
    const dataField age = dict.getField("age");
    EXPECT_EQ(age.getLabel(), "age");      // an empty label falls back to the id
    EXPECT_EQ(age.getDecimalPlaces(), 0);  // the date format came last
    EXPECT_EQ(age.getMeasurementLevel(), "continuous");
    EXPECT_EQ(age.getValueLabel(1.0), "one");
    EXPECT_EQ(age.getValueLabel(2.0), "two");  // a text value converted to a number
    EXPECT_EQ(age.getValueLabel(2.5), "two and a half");
    EXPECT_EQ(age.getValueLabel(3.0), "");  // empty label: not added
    EXPECT_EQ(age.getValueLabel(4.0), "");  // beyond the shorter array
    EXPECT_EQ(age.getValueLabels().numericLabels().size(), 3u);
    const dataField city = dict.getField("city");
    EXPECT_EQ(city.getDecimalPlaces(), 1);
    EXPECT_EQ(city.getValueLabel(std::string("NY")), "New York");
    EXPECT_EQ(city.getValueLabels().stringLabels().size(), 1u);  // the empty value is skipped
    EXPECT_EQ(city.getValueLabel(7.0), "seven");
    EXPECT_EQ(dict.getField("plain").getDecimalPlaces(), 0);
    EXPECT_EQ(&renderer.getDictionary(), &dictionary);
}

TEST(Renderer, ItemAndGeoJSONQueries) {
    const std::string doc = R"({"s":{"obj":{"k":1},"empty":{},"arr":[1],"none":[],"str":"x"}})";
    FacSTDictionary dictionary;
    jsonToPennant renderer(nullptr, nullptr, dictionary, doc);
    EXPECT_TRUE(renderer.hasItem("s.obj"));
    EXPECT_TRUE(renderer.hasItem("s.obj.k"));
    EXPECT_FALSE(renderer.hasItem("s.str"));
    EXPECT_FALSE(renderer.hasItem("s.missing"));
    EXPECT_TRUE(renderer.hasItemContent("s.obj"));
    EXPECT_FALSE(renderer.hasItemContent("s.empty"));
    EXPECT_TRUE(renderer.hasItemContent("s.arr"));
    EXPECT_FALSE(renderer.hasItemContent("s.none"));
    EXPECT_FALSE(renderer.hasItemContent("s.str"));

    const std::string with = R"({"source":{"value":{"features":[{"type":"Feature"}]}}})";
    const std::string without = R"({"source":{"value":{"features":[]}}})";
    EXPECT_TRUE(renderer.hasGeoJSONFeatures(with));
    EXPECT_FALSE(renderer.hasGeoJSONFeatures(without));
    EXPECT_FALSE(renderer.hasGeoJSONFeatures("not json"));
    EXPECT_FALSE(renderer.hasGeoJSONMapFeatures(""));  // no layers at all
    renderer.setGeoJSONMap({{"a", with}, {"b", without}});
    EXPECT_TRUE(renderer.hasGeoJSONMapFeatures("a"));
    EXPECT_FALSE(renderer.hasGeoJSONMapFeatures("b"));
    EXPECT_FALSE(renderer.hasGeoJSONMapFeatures("c"));
    EXPECT_FALSE(renderer.hasGeoJSONMapFeatures(""));
    renderer.setGeoJSONMap({{"a", with}});
    EXPECT_TRUE(renderer.hasGeoJSONMapFeatures(""));
    EXPECT_EQ(renderer.getGeoJSONMap().size(), 1u);
}

}  // namespace
