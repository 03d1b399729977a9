// The scoring execution settings document, built from the scoring module's descriptor.
#include <gtest/gtest.h>

#include <filesystem>

#include <pugixml.hpp>

#include "common/TestSupport.h"
#include "qeinteg/platform/host/process/AppSettings.h"
#include "qeinteg/procedures/QEScorExecXML.h"

namespace {

// Installs a descriptor where the host keeps it: <component path>/lib/tavo.scoring.9/module.xml.
void InstallDescriptor(const std::string& text) {
    const std::string dir = ExtensionFinder::GetCFPath() + "lib/tavo.scoring.9";
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(qetest::WriteFile(dir + "/module.xml", text));
}

void InstallShippedDescriptor() {
    InstallDescriptor(qetest::ReadFile(QEINTEG_MODULE_DESCRIPTOR));
}

// The "Parameter" element of that name.
pugi::xml_node Parameter(const pugi::xml_document& doc, const std::string& name) {
    return doc.child("Execution")
        .child("Operation")
        .child("Parameters")
        .find_child_by_attribute("Parameter", "name", name.c_str());
}

TEST(QEScorExecXMLTest, ShippedDescriptorGivesTheWholeDocument) {
    InstallShippedDescriptor();
    QEScorExecXML settings(false);
    settings.setAssocNameTable({{"$R-drink", "$R-drink", "p"}, {"Beer", "$R-beer", "b > 1"}});
    std::string xml;
    settings.getXML(xml);
    EXPECT_EQ(xml,
              "<?xml version=\"1.0\"?>\n"
              "<Execution>\n"
              "  <ContainerInputs>\n"
              "    <ContainerInput id=\"InputPMMLContainer\" />\n"
              "  </ContainerInputs>\n"
              "  <Operation componentId=\"scoring\" dependencyIds=\"\" id=\"1\" inputIds=\"\" "
              "moduleId=\"com.tavo.scoring\" version=\"9.1.0\">\n"
              "    <Parameters>\n"
              "      <Parameter name=\"maxPredictions\" value=\"3\" />\n"
              "      <Parameter name=\"missingValuePolicy\" value=\"scoreAsMissing\" />\n"
              "      <Parameter name=\"isOutputInputData\" value=\"false\" />\n"
              "      <Parameter name=\"isOutputAll\" value=\"true\" />\n"
              "      <Parameter name=\"outputFieldNames\">\n"
              "        <ListValue />\n"
              "      </Parameter>\n"
              "      <Parameter name=\"outputSelection\">\n"
              "        <StructuredValue>\n"
              "          <Attribute name=\"features\">\n"
              "            <ListValue />\n"
              "          </Attribute>\n"
              "          <Attribute name=\"namePrefix\" value=\"$\" />\n"
              "          <Attribute name=\"includeProbabilities\" value=\"true\" />\n"
              "        </StructuredValue>\n"
              "      </Parameter>\n"
              "      <Parameter name=\"assocNameTable\">\n"
              "        <ListValue>\n"
              "          <StructuredValue>\n"
              "            <Attribute name=\"name\" value=\"Beer\" />\n"
              "            <Attribute name=\"originalName\" value=\"$R-beer\" />\n"
              "            <Attribute name=\"predicate\" value=\"b > 1\" />\n"
              "          </StructuredValue>\n"
              "        </ListValue>\n"
              "      </Parameter>\n"
              "      <Parameter name=\"assocCheckBasket\" value=\"notCheckBasket\" />\n"
              "      <Parameter name=\"assocIsOutputOrigInterval\" value=\"true\" />\n"
              "      <Parameter name=\"assocIsOnlyOutputValue\" value=\"false\" />\n"
              "      <Parameter name=\"confidenceThreshold\" value=\"0.0\" />\n"
              "      <Parameter name=\"scoringTimeout\" />\n"
              "    </Parameters>\n"
              "    <InputContainers>\n"
              "      <Container id=\"InputPMMLContainer\" name=\"InputPMML\" />\n"
              "    </InputContainers>\n"
              "  </Operation>\n"
              "</Execution>\n");
}

TEST(QEScorExecXMLTest, SettingsReachTheParametersOnlyUntilTheFirstDocument) {
    InstallShippedDescriptor();
    QEScorExecXML settings(true);
    EXPECT_EQ(settings.getMaxPredictions(), 3);
    EXPECT_FALSE(settings.getAssocOutputValueOnly());
    settings.setMaxPredictions(7);
    settings.setAssocOutputValueOnly(true);
    std::string first;
    settings.getXML(first);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(first.c_str()));
    EXPECT_STREQ(Parameter(doc, "maxPredictions").attribute("value").value(), "7");
    EXPECT_STREQ(Parameter(doc, "missingValuePolicy").attribute("value").value(),
                 "asMissingPredictor");
    EXPECT_STREQ(Parameter(doc, "assocIsOnlyOutputValue").attribute("value").value(), "true");

    // A copy owns its document: changing and rebuilding one leaves the other as it was.
    QEScorExecXML copy(settings);
    QEScorExecXML fresh(false);
    fresh = settings;
    settings.setMaxPredictions(1);
    std::string second, copied, assigned;
    settings.getXML(second);
    copy.getXML(copied);
    fresh.getXML(assigned);
    EXPECT_EQ(second, first);  // the document is built once
    EXPECT_EQ(copied, first);
    EXPECT_EQ(assigned, first);
    EXPECT_EQ(copy.getMaxPredictions(), 7);
}

TEST(QEScorExecXMLTest, DescriptorDefaultsStructuresAndBareParameters) {
    InstallDescriptor(
        "<Module><ModuleDetails id='sc' providerTag='p' version='2'/>"
        "<CommonObjects><PropertyTypes><Structure id='pair'><Attribute name='a' defaultValue='1'/>"
        "<Attribute name='b'/><Attribute name='c' isList='true'/></Structure></PropertyTypes>"
        "</CommonObjects><Component><Properties>"
        "<Property name='bare' type='string'/>"
        "<Property name='listed' type='string' isList='true' defaultValue='ignored'/>"
        "<Property name='defaulted' type='integer' defaultValue='9'/>"
        "<Property name='structured' type='pair' isList='true'/>"
        "<Property name='assocNameTable' type='pair'/>"
        "<Property name='isOutputAll' type='pair'/>"
        "</Properties></Component></Module>");
    QEScorExecXML settings(false);
    settings.setAssocNameTable({{"same", "same", "x"}});
    std::string xml;
    settings.getXML(xml);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str()));
    const pugi::xml_node op = doc.child("Execution").child("Operation");
    EXPECT_STREQ(op.attribute("moduleId").value(), "p.sc");
    EXPECT_STREQ(op.attribute("version").value(), "2");

    const pugi::xml_node bare = Parameter(doc, "bare");
    EXPECT_EQ(std::distance(bare.attributes_begin(), bare.attributes_end()), 1);
    EXPECT_FALSE(bare.first_child());
    EXPECT_TRUE(Parameter(doc, "listed").child("ListValue"));
    EXPECT_FALSE(Parameter(doc, "listed").attribute("value"));
    EXPECT_STREQ(Parameter(doc, "defaulted").attribute("value").value(), "9");
    const pugi::xml_node s = Parameter(doc, "structured").child("StructuredValue");
    ASSERT_TRUE(s);
    const pugi::xml_node a = s.child("Attribute");
    EXPECT_STREQ(a.attribute("value").value(), "1");
    EXPECT_FALSE(a.next_sibling().attribute("value"));
    EXPECT_TRUE(a.next_sibling().next_sibling().child("ListValue"));
    // An entry whose name is its original name is left out.
    const pugi::xml_node table = Parameter(doc, "assocNameTable").child("ListValue");
    ASSERT_TRUE(table);
    EXPECT_FALSE(table.first_child());
    // A parameter value wins over the descriptor's type.
    EXPECT_STREQ(Parameter(doc, "isOutputAll").attribute("value").value(), "true");
    EXPECT_FALSE(Parameter(doc, "isOutputAll").first_child());
}

TEST(QEScorExecXMLTest, MissingOrMalformedDescriptorGivesTheSkeleton) {
    const std::string skeleton =
        "<?xml version=\"1.0\"?>\n"
        "<Execution>\n"
        "  <ContainerInputs>\n"
        "    <ContainerInput id=\"InputPMMLContainer\" />\n"
        "  </ContainerInputs>\n"
        "  <Operation componentId=\"\" dependencyIds=\"\" id=\"1\" inputIds=\"\" moduleId=\".\" "
        "version=\"\">\n"
        "    <Parameters />\n"
        "    <InputContainers>\n"
        "      <Container id=\"InputPMMLContainer\" name=\"InputPMML\" />\n"
        "    </InputContainers>\n"
        "  </Operation>\n"
        "</Execution>\n";
    {
        QEScorExecXML settings(false);
        std::string xml;
        settings.getXML(xml);
        EXPECT_EQ(xml, skeleton);
    }
    InstallDescriptor("<Module><ModuleDetails id='x'");
    QEScorExecXML settings(false);
    std::string xml;
    settings.getXML(xml);
    EXPECT_EQ(xml, skeleton);
    EXPECT_EQ(QEScorExecXML::ScoringFolderName, "tavo.scoring.9");
    EXPECT_EQ(QEScorExecXML::InputPMMLContainerID, "InputPMMLContainer");
    EXPECT_EQ(QEScorExecXML::InputPMMLName, "InputPMML");
}

}  // namespace
