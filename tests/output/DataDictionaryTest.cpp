#include <gtest/gtest.h>

#include "qeinteg/output/dataDictionary.h"

namespace {

dataField Field(const std::string& name, const std::string& label) {
    dataField f;
    f.setName(name);
    f.setLabel(label);
    return f;
}

TEST(DataDictionary, LookupIsExactAndUnknownNamesGiveAnEmptyField) {
    dataDictionary dict;
    dict.addField(Field("Age", "Age in years"));
    dict.addField(Field("age", "lower"));
    dict.addField(Field("Age", "Age at interview"));  // replaces the first

    EXPECT_EQ(dict.fields().size(), 2u);
    EXPECT_EQ(dict.getField("Age").getLabel(), "Age at interview");
    EXPECT_EQ(dict.getField("age").getLabel(), "lower");
    const dataField unknown = dict.getField("Income");
    EXPECT_EQ(unknown.getName(), "");
    EXPECT_EQ(unknown.getLabel(), "");
    EXPECT_EQ(unknown.getDecimalPlaces(), 0);
    EXPECT_FALSE(dict.hasField("Income"));
}

TEST(DataDictionary, NumericAndStringLabelsAreSeparate) {
    dataField f = Field("x", "");
    f.addValueLabel(1.0, "one");
    f.addValueLabel(std::string("2"), "two");
    f.addValueLabel(1.0, "uno");
    EXPECT_EQ(f.getValueLabel(1.0), "uno");
    EXPECT_EQ(f.getValueLabel(std::string("1")), "");
    EXPECT_EQ(f.getValueLabel(2.0), "");
    EXPECT_EQ(f.getValueLabel(std::string("2")), "two");
    EXPECT_EQ(f.getValueLabel(1.0000001), "");
}

TEST(DataDictionary, CopiesAreDeep) {
    dataDictionary a;
    std::string name = "dm";
    a.setName(name);
    a.addField(Field("x", "X"));
    dataDictionary b(a);
    b.addField(Field("y", "Y"));
    b.getName() = "other";
    EXPECT_FALSE(a.hasField("y"));
    EXPECT_EQ(a.getName(), "dm");
    dataDictionary c;
    c = b;
    b.addField(Field("x", "changed"));
    EXPECT_EQ(c.getField("x").getLabel(), "X");
    EXPECT_EQ(c.getName(), "other");
}

}  // namespace
