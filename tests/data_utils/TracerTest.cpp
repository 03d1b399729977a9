#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/platform/host/process/Viewer.h"
#include "qeinteg/platform/host/testing/ViewerTesting.h"

namespace fs = std::filesystem;

namespace {

// Every test starts from a tracer built from its own environment and leaves tracing off.
class TracerTest : public testing::Test {
  protected:
    void TearDown() override {
        qetest::ScopedEnv dir("QE_STAT_DEBUG_DIR", nullptr);
        qetest::ScopedEnv print("QE_STAT_DEBUG_PRINT", nullptr);
        qetest::ScopedEnv count("QE_STAT_DEBUG_MAXCOUNT", nullptr);
        QEStatTracer::resetForTest();
    }

    // A tracer made with these environment values (null = unset).
    static QEStatTracer* Make(const char* dir, const char* print = nullptr,
                              const char* count = nullptr) {
        qetest::ScopedEnv d("QE_STAT_DEBUG_DIR", dir);
        qetest::ScopedEnv p("QE_STAT_DEBUG_PRINT", print);
        qetest::ScopedEnv c("QE_STAT_DEBUG_MAXCOUNT", count);
        QEStatTracer::resetForTest();
        return QETracer();
    }

    std::string Root() const { return qetest::TestDir() + "/trace"; }
};

TEST_F(TracerTest, OffWithoutADirectory) {
    QEStatTracer* tracer = Make(nullptr, "1");
    EXPECT_FALSE(tracer->isTrace());
    EXPECT_FALSE(tracer->canTrace());
    EXPECT_FALSE(tracer->write("x", "a.txt"));
    EXPECT_FALSE(traceQELFile("job", "QelJobText", "GetIterator"));
    WriteLog("shown anyway");  // printing to the viewer does not need a trace directory
    EXPECT_EQ(qehost::testing::ViewerLines(), std::vector<std::string>{"shown anyway"});
    EXPECT_FALSE(Make("")->isTrace());
}

TEST_F(TracerTest, PrintSwitchAcceptsOnlyYesAndOne) {
    EXPECT_TRUE(Make(nullptr, "YES")->printLogToViewer());
    EXPECT_TRUE(Make(nullptr, "1")->printLogToViewer());
    EXPECT_FALSE(Make(nullptr, "yes")->printLogToViewer());
    EXPECT_FALSE(Make(nullptr, "2")->printLogToViewer());
    EXPECT_FALSE(Make(nullptr, "")->printLogToViewer());
}

TEST_F(TracerTest, NumberedDirectoriesTakeTheLowestFreeNumber) {
    QEStatTracer* tracer = Make(Root().c_str());  // the root is created
    ASSERT_TRUE(tracer->canTrace());
    EXPECT_EQ(tracer->maxTraceDirCount(), 1024);
    EXPECT_EQ(tracer->traceRoot(), Root() + "/");
    EXPECT_EQ(tracer->traceDir(), Root() + "/qetrace_0");

    WriteLog("first line");
    EXPECT_EQ(qetest::ReadFile(Root() + "/qetrace_0/qeinteg.log"), "first line\n");
    EXPECT_TRUE(qehost::testing::ViewerLines().empty());

    EXPECT_EQ(Make(Root().c_str())->traceDir(), Root() + "/qetrace_1");
    EXPECT_EQ(Make(Root().c_str())->traceDir(), Root() + "/qetrace_2");

    // With qetrace_0..2 present and room for only two numbers, nothing is traced.
    tracer = Make(Root().c_str(), nullptr, "2");
    EXPECT_TRUE(tracer->isTrace());
    EXPECT_FALSE(tracer->canTrace());
    EXPECT_FALSE(fs::exists(Root() + "/qetrace_3"));

    tracer = Make(Root().c_str(), nullptr, "-1");
    EXPECT_TRUE(tracer->canTrace());
    EXPECT_EQ(tracer->traceDir(), Root() + "/qetrace_3");
}

TEST_F(TracerTest, MaxCountZeroOrJunkTracesIntoTheRoot) {
    for (const char* count : {"0", "junk"}) {
        QEStatTracer* tracer = Make(Root().c_str(), "YES", count);
        ASSERT_TRUE(tracer->canTrace());
        EXPECT_EQ(tracer->maxTraceDirCount(), 0);
        EXPECT_EQ(tracer->traceDir(), Root() + "/");
    }
    WriteLog("to both");
    EXPECT_EQ(qetest::ReadFile(Root() + "/qeinteg.log"), "to both\n");
    EXPECT_EQ(qehost::testing::ViewerLines(), std::vector<std::string>{"to both"});
    EXPECT_FALSE(fs::exists(Root() + "/qetrace_0"));
}

TEST_F(TracerTest, TraceFilesAreWrittenOverwrittenAndDeleted) {
    QEStatTracer* tracer = Make(Root().c_str(), nullptr, "0");
    ASSERT_TRUE(tracer->canTrace());
    const std::string dir = tracer->traceDir();

    EXPECT_TRUE(traceQELFile("read()", "QelJobText", "GetIterator"));
    EXPECT_EQ(qetest::ReadFile(dir + "QelJobText_GetIterator.qel"), "read()");
    EXPECT_TRUE(traceQELFile("write()", "QelJobText", "GetIterator"));
    EXPECT_EQ(qetest::ReadFile(dir + "QelJobText_GetIterator.qel"), "write()");
    EXPECT_TRUE(traceJSONFile("{}", "", ""));
    EXPECT_EQ(qetest::ReadFile(dir + "unname.json"), "{}");
    EXPECT_TRUE(traceXMLFile("<a/>", "model", ""));
    EXPECT_EQ(qetest::ReadFile(dir + "model.xml"), "<a/>");

    EXPECT_TRUE(tracer->append("1", "log.txt"));
    EXPECT_TRUE(tracer->append("2", "log.txt"));
    EXPECT_EQ(qetest::ReadFile(dir + "log.txt"), "12");

    EXPECT_TRUE(tracer->write("", "model.xml"));
    EXPECT_FALSE(fs::exists(dir + "model.xml"));

    EXPECT_EQ(tracer->newValidFileName("json", "", "", false), "unname.json");
    EXPECT_EQ(tracer->newValidFileName("", "a", "b", false), "a_b");
    EXPECT_EQ(tracer->newValidFileName("qel", "QelJobText", "GetIterator", true),
              "QelJobText_GetIterator_1.qel");
    EXPECT_EQ(tracer->newValidFileName("qel", "QelJobText", "Other", true), "QelJobText_Other.qel");
}

TEST_F(TracerTest, CallerNamesCannotLeaveTheTraceDirectory) {
    QEStatTracer* tracer = Make(Root().c_str());
    ASSERT_TRUE(tracer->canTrace());
    const std::string dir = tracer->traceDir() + "/";

    EXPECT_EQ(tracer->newValidFileName("json", "../../evil", "x\\y", false), ".._.._evil_x_y.json");
    EXPECT_EQ(tracer->newValidFileName("", "..", "", false), "unname");
    EXPECT_EQ(tracer->newValidFileName("/../x", "a", "", false), "a._.._x");

    EXPECT_TRUE(traceJSONFile("{}", "../../evil", "x"));
    EXPECT_EQ(qetest::ReadFile(dir + ".._.._evil_x.json"), "{}");
    EXPECT_TRUE(tracer->write("bad", "../escape.txt"));
    EXPECT_TRUE(tracer->write("bad", ".."));
    EXPECT_TRUE(tracer->append("bad", "sub/escape.txt"));
    EXPECT_TRUE(tracer->write("", ".."));
    EXPECT_FALSE(fs::exists(Root() + "/escape.txt"));
    EXPECT_FALSE(fs::exists(dir + "sub"));
    EXPECT_TRUE(fs::is_directory(tracer->traceDir()));
    for (const auto& entry : fs::recursive_directory_iterator(qetest::TestDir())) {
        const std::string path = entry.path().string();
        if (entry.is_regular_file() && path.find("/trace/qetrace_0/") == std::string::npos) {
            EXPECT_EQ(path.find("escape"), std::string::npos) << path;
            EXPECT_EQ(path.find("evil"), std::string::npos) << path;
        }
    }
}

TEST_F(TracerTest, ReadOnlyRootLeavesTracingOff) {
    std::string root = Root();
    fs::create_directories(root);
    chmod(root.c_str(), 0555);
    if (access(root.c_str(), W_OK) == 0)
        root = "/proc/sys";
    if (access(root.c_str(), W_OK) == 0)
        GTEST_SKIP() << "no read-only directory available";
    QEStatTracer* tracer = Make(root.c_str());
    EXPECT_FALSE(tracer->isTrace());
    EXPECT_FALSE(tracer->canTrace());
    chmod(Root().c_str(), 0755);
}

}  // namespace
