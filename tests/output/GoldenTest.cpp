// End-to-end renderings of realistic output documents, compared with the renderings kept beside
// them. Set QEINTEG_UPDATE_GOLDEN=1 to rewrite the kept renderings after an intended change.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "RenderCommand.h"
#include "common/TestSupport.h"
#include "qeinteg/output/jsonToPennant.h"
#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/process/FacSTDictionary.h"
#include "qeinteg/platform/host/viewer/OutputRender.h"

namespace {

const std::string kData = std::string(QEINTEG_TEST_DATA_DIR) + "/output/";

int Render(std::vector<std::string> args) {
    args.insert(args.begin(), "render");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    return RunRenderCommand(static_cast<int>(argv.size()), argv.data());
}

void ExpectGolden(const std::string& actualPath, const std::string& golden) {
    const std::string actual = qetest::ReadFile(actualPath);
    if (std::getenv("QEINTEG_UPDATE_GOLDEN") != nullptr) {
        ASSERT_TRUE(qetest::WriteFile(kData + golden, actual));
        return;
    }
    EXPECT_EQ(actual, qetest::ReadFile(kData + golden))
        << "rendering differs from " << golden << "; the new one is in " << actualPath;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(Golden, DescriptivesDocument) {
    const std::string text = qetest::TestDir() + "/descriptives.txt";
    const std::string html = qetest::TestDir() + "/descriptives.html";
    ASSERT_EQ(Render({kData + "descriptives.json", "descriptives", "--text", text, "--html", html}),
              0);
    ExpectGolden(text, "descriptives.txt");
    const std::string page = qetest::ReadFile(html);
    EXPECT_EQ(Count(page, "<table class=\"pivot\">"), 2u);
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(page.find("</html>"), std::string::npos);
}

TEST(Golden, LayeredTimeSeriesWithChosenItems) {
    const std::string text = qetest::TestDir() + "/timeseries.txt";
    const std::string html = qetest::TestDir() + "/timeseries.html";
    ASSERT_EQ(
        Render({kData + "timeseries.json", "tsdp", "--item", "Forecasts.Tables=results.forecast",
                "--item", "Forecasts=chart", "--text", text, "--html", html}),
        0);
    ExpectGolden(text, "timeseries.txt");
    // One table element per layer.
    EXPECT_EQ(Count(qetest::ReadFile(html), "<table class=\"pivot\">"), 2u);
}

// The JSON rendering keeps every argument the library passed: cell-text kinds and their forms,
// formats, notes, positions and hide flags.
TEST(Golden, JsonRenderingKeepsEveryRecordedDetail) {
    const std::string doc = qetest::ReadFile(kData + "small.json");
    ASSERT_FALSE(doc.empty());
    FacSTDictionary dictionary;
    {
        PnProcedure procedure("small");
        jsonToPennant renderer(&procedure, nullptr, dictionary, doc);
        renderer.addObjectToOutput("Results.Detail", "table", "Small table", "smallSubtype",
                                   OutputOrder::PivotTable);
        renderer.addObjectToOutput("Results", "chart", "A chart", "", OutputOrder::Chart);
        ASSERT_TRUE(renderer.generateOutput("out"));
    }
    const std::string actual = qetest::TestDir() + "/small.out.json";
    ASSERT_TRUE(
        qetest::WriteFile(actual, qehost::RenderJson(qehost::HostOutput::instance().root())));
    ExpectGolden(actual, "small.out.json");
}

TEST(Golden, CommandErrors) {
    EXPECT_EQ(Render({kData + "descriptives.json"}), 2);
    EXPECT_EQ(Render({kData + "descriptives.json", "s", "--bogus"}), 2);
    EXPECT_EQ(Render({kData + "descriptives.json", "s", "--item", "no-equals"}), 2);
    const std::string out = qetest::TestDir() + "/out.txt";
    EXPECT_EQ(Render({kData + "descriptives.json", "nosuchsection", "--text", out}), 1);
    EXPECT_EQ(Render({kData + "missing.json", "s"}), 1);
    const std::string broken = qetest::TestDir() + "/broken.json";
    ASSERT_TRUE(qetest::WriteFile(broken, "{\"s\": [1,"));
    EXPECT_EQ(Render({broken, "s", "--text", out}), 1);
    EXPECT_NE(qetest::ReadFile(out).find("Unknown error."), std::string::npos);
}

}  // namespace
