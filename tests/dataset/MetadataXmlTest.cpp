// Data model XML: what the library writes is what the engine side reads back, and bad documents
// are refused with a reason instead of half-read.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "qeinteg/platform/host/data/HostValues.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/platform/host/metadata/NumericStorage.h"
#include "qeinteg/platform/host/text/HostDates.h"

namespace {

CFMetaData Rich() {
    CFMetaData md;
    CFField a("größe <&\"'>", CFField::Ordinal, CFField::Integer, CFField::Target);
    a.SetLabel("Label mit Ümlaut & <tags>");
    a.SetPrivateFormat("F8.0");
    a.SetValueLabels({CFValue(CFDatum::MakeInteger(-9007199254740993LL), "big", 1, 2),
                      CFValue(CFDatum::MakeInteger(0), "", 0, 0)});
    a.SetMissingValues(CFMissingValues(CFRange(CFDatum::MakeInteger(-5), CFDatum()),
                                       {CFValue(CFDatum::MakeInteger(99), "n/a", 0, 0)}, true,
                                       false));
    md.AddField(a);
    CFField b("b", CFField::Continuous, CFField::Real, CFField::Input);
    b.SetValueLabels({CFValue(CFDatum::MakeReal(0.1), "a tenth", 0, 0),
                      CFValue(CFDatum::MakeReal(1.0 / 3.0), "third", 0, 0),
                      CFValue(CFDatum::MakeReal(-SYSMIS), "max", 0, 0),
                      CFValue(CFDatum::MakeReal(5e-324), "tiny", 0, 0)});
    b.SetMissingValues(
        CFMissingValues(CFRange(CFDatum::MakeReal(1.5), CFDatum::MakeReal(2.5)), {}, false, true));
    md.AddField(b);
    CFField c("c", CFField::Flag, CFField::String, CFField::Split);
    c.SetValueLabels({CFValue(CFDatum::MakeText("  padded  "), "x\ty", 0, 0)});
    c.SetMissingValues(
        CFMissingValues(CFRange(), {CFValue(CFDatum::MakeText(""), "", 0, 0)}, true, false));
    md.AddField(c);
    for (int role = 0; role <= 7; ++role) {
        md.AddField(CFField("r" + std::to_string(role), CFField::Typeless,
                            static_cast<CFField::StorageType>(1 + role % 6),
                            static_cast<CFField::RoleType>(role)));
    }
    md.AddField(CFField("d", CFField::Discrete, CFField::Date, CFField::None));
    return md;
}

TEST(MetadataXmlTest, ExportThenImportGivesBackTheSameMetadata) {
    const CFMetaData md = Rich();
    std::string xml;
    md.ExportXMLDoc(xml);
    CFMetaData back;
    ASSERT_TRUE(back.ImportXMLDoc(xml)) << back.GetError();
    EXPECT_EQ(back, md);
    EXPECT_EQ(back.FindField("größe <&\"'>"), 0);
    EXPECT_EQ(back.FindField("missing"), -1);
    std::string again;
    back.ExportXMLDoc(again);
    EXPECT_EQ(again, xml);
    // Job-language texts of the codes.
    EXPECT_NE(xml.find("measure=\"discrete\""), std::string::npos);
    EXPECT_NE(xml.find("role=\"freqWeight\""), std::string::npos);
    EXPECT_NE(xml.find("storage=\"timestamp\""), std::string::npos);
    EXPECT_EQ(CFField::StorageName(0), nullptr);
    EXPECT_EQ(CFField::RoleFromName("recordId"), 6);
    EXPECT_EQ(CFField::MeasureFromName("Continuous"), -1);
}

TEST(MetadataXmlTest, BadDocumentsAreRefusedWithAReason) {
    const char* bad[] = {
        "",
        "<dataModel><field name='a' measure='continuous' storage='real' role='input'>",
        "<other/>",
        "<dataModel version='2'/>",
        "<dataModel><field measure='continuous' storage='real' role='input'/></dataModel>",
        "<dataModel><field name='a' measure='loud' storage='real' role='input'/></dataModel>",
        "<dataModel><field name='a' measure='flag' storage='real' role='boss'/></dataModel>",
        "<dataModel><field name='a' measure='flag' storage='real' role='input'><valueLabels>"
        "<value kind='real' value='1x'/></valueLabels></field></dataModel>",
        "<dataModel><field name='a' measure='flag' storage='real' role='input'><missingValues>"
        "<range><lower kind='integer' value='1.5'/></range></missingValues></field></dataModel>",
        "<dataModel><field name='a' measure='flag' storage='real' role='input'><valueLabels>"
        "<value kind='complex' value='1'/></valueLabels></field></dataModel>",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        CFMetaData md = Rich();
        EXPECT_FALSE(md.ImportXMLDoc(text));
        EXPECT_EQ(md.FieldCount(), 0);
        EXPECT_FALSE(md.GetError().empty());
    }
    const CFMetaData empty("<dataModel version='1'/>");
    EXPECT_EQ(empty.FieldCount(), 0);
    EXPECT_TRUE(empty.GetError().empty());
}

TEST(MetadataXmlTest, NumericStorageConversions) {
    const double base = GetBaseDateNumber();
    EXPECT_EQ(base, qehost::HostDateNumber(1970, 1, 1));
    EXPECT_EQ(qehost::HostDateNumber(1582, 10, 14), 0.0);
    EXPECT_EQ(NumericStorageStatToCF(base + 86400, CFField::Date), CFDatum::MakeReal(1));
    EXPECT_EQ(NumericStorageStatToCF(base + 86400, CFField::Timestamp), CFDatum::MakeReal(86400));
    EXPECT_EQ(NumericStorageStatToCF(3600, CFField::Time), CFDatum::MakeReal(3600));
    EXPECT_EQ(NumericStorageStatToCF(42, CFField::Integer), CFDatum::MakeInteger(42));
    EXPECT_EQ(NumericStorageStatToCF(4.5, CFField::Integer), CFDatum::MakeReal(4.5));
    EXPECT_TRUE(NumericStorageStatToCF(SYSMIS, CFField::Real).IsEmpty());
    EXPECT_TRUE(NumericStorageStatToCF(std::nan(""), CFField::Date).IsEmpty());
    for (const auto storage :
         {CFField::Integer, CFField::Real, CFField::Date, CFField::Time, CFField::Timestamp}) {
        const double host = base + 3 * 86400;
        EXPECT_EQ(NumericStorageCFToStat(NumericStorageStatToCF(host, storage), storage), host);
    }
    EXPECT_EQ(NumericStorageCFToStat(CFDatum(), CFField::Real), SYSMIS);
    EXPECT_EQ(NumericStorageCFToStat(CFDatum::MakeText("1"), CFField::Real), SYSMIS);
    EXPECT_EQ(CFDatum::MakeText("abc").ToString(5), "abc  ");
    EXPECT_EQ(CFDatum::MakeReal(0.1).ToString(-1), "0.1");
    EXPECT_EQ(CFDatum::MakeInteger(-3).ToString(1), "-");
}

}  // namespace
