#include <gtest/gtest.h>

#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PnError.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/output/PnString.h"
#include "qeinteg/platform/host/output/PnUTF8String.h"
#include "qeinteg/platform/host/process/ParserMessage.h"

namespace {

using qehost::HostOutput;
using qehost::OutputItem;

TEST(HostOutputTest, ErrorsGoToTheInnermostOpenProcedureInOrder) {
    PnError(PnString("before", false), 1, 1);
    {
        PnProcedure outer("Outer");
        PnError(PnUTF8String("first"), 2, 2);
        {
            PnProcedure inner("Inner");
            PnError(PnUTF8String("inside", false), 2, 3);
        }
        PnError(PnString("second", false), 2, 3);
    }
    PnError(PnString("after", false), 1, 2);

    const auto errors = HostOutput::instance().errors();
    ASSERT_EQ(errors.size(), 5u);
    EXPECT_EQ(errors[0].procedure, "");
    EXPECT_EQ(errors[0].text, "before");
    EXPECT_EQ(errors[1].procedure, "Outer");
    EXPECT_EQ(errors[1].text, "first");
    EXPECT_EQ(errors[1].show, 2);
    EXPECT_EQ(errors[1].level, 2);
    EXPECT_EQ(errors[2].procedure, "Inner");
    EXPECT_EQ(errors[2].level, 3);
    EXPECT_EQ(errors[3].procedure, "Outer");
    EXPECT_EQ(errors[3].text, "second");
    EXPECT_EQ(errors[4].procedure, "");

    // Tree shape: before, Outer{first, Inner{inside}, second}, after.
    const OutputItem& root = HostOutput::instance().root();
    ASSERT_EQ(root.children().size(), 3u);
    const OutputItem& outer = *root.children()[1];
    ASSERT_EQ(outer.kind(), OutputItem::Kind::Procedure);
    ASSERT_EQ(outer.children().size(), 3u);
    EXPECT_EQ(outer.children()[1]->kind(), OutputItem::Kind::Procedure);
    EXPECT_EQ(outer.children()[1]->parent(), &outer);
}

TEST(HostOutputTest, TranslationAppliesOnlyToTextsThatAskForIt) {
    qehost::SetTranslation("Hello", "Hallo");
    ParserMessage messages;
    EXPECT_EQ(messages.GetTranslatedText("Hello"), "Hallo");
    EXPECT_EQ(messages.GetTranslatedText("Other"), "Other");

    EXPECT_EQ(PnString("Hello", true).Text(), "Hallo");
    EXPECT_EQ(PnString("Hello", false).Text(), "Hello");
    EXPECT_EQ(PnUTF8String("Hello").Text(), "Hallo");
    EXPECT_EQ(PnUTF8String("Hello", false).Text(), "Hello");
    EXPECT_EQ(PnString(nullptr, true).Text(), "");

    // A clone keeps its dynamic type and its flag.
    std::unique_ptr<PnCellText> copy = PnUTF8String("Hello", false).Clone();
    ASSERT_NE(dynamic_cast<PnUTF8String*>(copy.get()), nullptr);
    EXPECT_EQ(copy->Text(), "Hello");
}

TEST(HostOutputTest, ResetForgetsOutputAndTranslations) {
    // The previous tests' output and translations are gone.
    EXPECT_TRUE(HostOutput::instance().errors().empty());
    EXPECT_EQ(PnString("Hello", true).Text(), "Hello");
    EXPECT_EQ(qehost::DisableWeightCount(), 0);
    ParserMessage messages;
    messages.DisableWeight();
    EXPECT_TRUE(messages.WeightDisabled());
    EXPECT_FALSE(messages.SplitDisabled());
    EXPECT_EQ(qehost::DisableWeightCount(), 1);
}

}  // namespace
