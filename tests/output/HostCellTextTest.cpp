#include <gtest/gtest.h>

#include "qeinteg/platform/host/output/PnCellTextRecord.h"
#include "qeinteg/platform/host/output/PnComposite.h"
#include "qeinteg/platform/host/output/PnDataValue.h"
#include "qeinteg/platform/host/output/PnNumber.h"
#include "qeinteg/platform/host/output/PnString.h"
#include "qeinteg/platform/host/output/PnUTF8String.h"
#include "qeinteg/platform/host/output/PnVariable.h"
#include "qeinteg/platform/host/process/FacSTDictionary.h"
#include "qeinteg/platform/host/process/ParserMessage.h"

namespace {

TEST(HostCellText, CompositeFillsMarkersAndKeepsUnfilledOnes) {
    qehost::SetTranslation("Unknown error. ^1", "Erreur inconnue. ^1 (^3)");
    PnComposite message(PnString("Unknown error. ^1", true));
    message.Add(PnString("parser said ^2", false));  // a part's own markers stay as written
    message.Finish();
    EXPECT_TRUE(message.Finished());
    EXPECT_EQ(message.Text(), "Erreur inconnue. parser said ^2 (^3)");

    std::unique_ptr<PnCellText> copy = message.Replicate();
    message.Add(PnUTF8String("later", false));
    EXPECT_EQ(copy->Text(), "Erreur inconnue. parser said ^2 (^3)");  // deep copy
    const qehost::TextRecord r = qehost::RecordOf(*copy);
    EXPECT_EQ(r.kind, "composite");
    ASSERT_EQ(r.parts.size(), 1u);
    EXPECT_EQ(r.parts[0].kind, "string");
}

TEST(HostCellText, KeyedTextsShowTheKeysTranslationElseTheirValue) {
    qehost::SetTranslation("K1", "translated");
    EXPECT_EQ(PnUTF8String("K1", "value").Text(), "translated");
    EXPECT_EQ(PnUTF8String("K2", "value", "help").Text(), "value");
    EXPECT_EQ(PnUTF8String("K1", false).Text(), "K1");
    EXPECT_EQ(FacSTDictionary().LookUp("K1"), "translated");
    EXPECT_EQ(FacSTDictionary().LookUp("none"), "none");
    const auto args = qehost::Arguments(qehost::RecordOf(PnUTF8String("K2", "v", "h")));
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[2].second, "h");
}

TEST(HostCellText, NumbersVariablesAndDataValues) {
    EXPECT_EQ(PnNumber(1234.5, PnFormatSpec(8, 3, 1)).Text(), "1,234.5");
    const qehost::TextRecord n = qehost::RecordOf(PnNumber(0.1, PnFormatSpec(8, 5, 2)));
    EXPECT_TRUE(n.numeric);
    EXPECT_EQ(qehost::Arguments(n)[0].second, "0.10000000000000001");
    EXPECT_EQ(PnVariable("age", 2).Text(), "age");
    EXPECT_EQ(PnDataValue("age", 2.5, 2).Text(), "2.5");
    EXPECT_EQ(PnDataValue("name", std::string("Ann"), 2).Text(), "Ann");
    EXPECT_EQ(qehost::RecordOf(PnDataValue("name", std::string("Ann"), 2)).kind, "datavalue");
}

}  // namespace
