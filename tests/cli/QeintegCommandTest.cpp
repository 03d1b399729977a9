// The qeinteg program as a user runs it: every subcommand answers --help and --version, usage
// errors exit 2 with the usage line, failures exit 1 with one line naming the file and the cause.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/TestSupport.h"

namespace {

struct Outcome {
    int exit = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs the built qeinteg with `args`; stdout and stderr are kept apart.
Outcome Qeinteg(const std::vector<std::string>& args) {
    const std::string errPath = qetest::TestDir() + "/stderr.txt";
    std::string command = Quote(QEINTEG_CLI);
    for (const std::string& a : args)
        command += " " + Quote(a);
    command += " 2>" + Quote(errPath);
    Outcome run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.err = qetest::ReadFile(errPath);
    return run;
}

int Lines(const std::string& text) {
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

TEST(QeintegCommand, EverySubcommandAnswersHelpAndVersion) {
    for (const std::string command : {"service", "describe", "render"}) {
        SCOPED_TRACE(command);
        Outcome help = Qeinteg({command, "--help"});
        EXPECT_EQ(help.exit, 0);
        EXPECT_EQ(help.out.rfind("usage: qeinteg " + command, 0), 0u) << help.out;
        EXPECT_NE(help.out.find("--json"), std::string::npos) << help.out;
        Outcome version = Qeinteg({command, "--version"});
        EXPECT_EQ(version.exit, 0);
        EXPECT_EQ(version.out, std::string(QEINTEG_VERSION_TEXT) + "\n");
    }
    // The subcommands that parse their own options answer --help and --version all the same.
    for (const std::string command :
         {"crs", "layers", "run", "fetch", "score", "score-settings", "tcm"}) {
        SCOPED_TRACE(command);
        EXPECT_EQ(Qeinteg({command, "--help"}).exit, 0);
        Outcome version = Qeinteg({command, "--version"});
        EXPECT_EQ(version.exit, 0);
        EXPECT_EQ(version.out, std::string(QEINTEG_VERSION_TEXT) + "\n");
    }
    EXPECT_EQ(Qeinteg({"--version"}).out, std::string(QEINTEG_VERSION_TEXT) + "\n");
    EXPECT_EQ(Qeinteg({"--help"}).exit, 0);
    EXPECT_EQ(Qeinteg({}).exit, 2);
    EXPECT_EQ(Qeinteg({"nonsense"}).exit, 2);
}

TEST(QeintegCommand, UsageErrorsExitTwoWithTheUsageLine) {
    const std::vector<std::vector<std::string>> cases = {
        {"describe"},
        {"describe", "a.csv", "--bogus"},
        {"describe", "a.csv", "--fields"},
        {"describe", "a.csv", "b.csv"},
        {"render", "doc.json"},
        {"render", "doc.json", "s", "--item", "no-equals"},
        {"service", "extra"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        const Outcome run = Qeinteg(args);
        EXPECT_EQ(run.exit, 2);
        EXPECT_EQ(Lines(run.err), 2) << run.err;
        EXPECT_NE(run.err.find("\nusage: qeinteg " + args[0]), std::string::npos) << run.err;
    }
}

TEST(QeintegCommand, FailuresExitOneWithOneLineNamingTheFileAndTheCause) {
    const std::string dir = qetest::TestDir();
    ASSERT_TRUE(qetest::WriteFile(dir + "/dup.csv", "a,a,b\n1,2,3\n"));
    ASSERT_TRUE(qetest::WriteFile(dir + "/empty.csv", ""));
    ASSERT_TRUE(qetest::WriteFile(dir + "/doc.json", R"({"s":5,"t":{}})"));
    ASSERT_TRUE(qetest::WriteFile(dir + "/broken.json", R"({"s":[1,)"));
    struct Case {
        std::vector<std::string> args;
        std::string file;
        std::string cause;
    };
    const std::vector<Case> cases = {
        // Before, a file that could not be read was "a file without a header line".
        {{"describe", dir + "/none.csv"}, dir + "/none.csv", "No such file or directory"},
        {{"describe", dir}, dir, "cannot read the CSV file"},
        {{"describe", dir + "/empty.csv"}, dir + "/empty.csv", "has no header line"},
        // Before, the second 'a' was never summarised and the run succeeded.
        {{"describe", dir + "/dup.csv"}, dir + "/dup.csv", "names a field more than once: 'a'"},
        {{"render", dir + "/none.json", "s"}, dir + "/none.json", "cannot read it"},
        {{"render", dir + "/broken.json", "s"}, dir + "/broken.json", "not a JSON document"},
        // Before, a section that is a number exited 0 while a missing one exited 1.
        {{"render", dir + "/doc.json", "s"}, dir + "/doc.json", "no section \"s\""},
        {{"render", dir + "/doc.json", "u"}, dir + "/doc.json", "no section \"u\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Outcome run = Qeinteg(c.args);
        EXPECT_EQ(run.exit, 1);
        EXPECT_EQ(Lines(run.err), 1) << run.err;
        EXPECT_EQ(run.err.rfind("qeinteg " + c.args[0] + ": " + c.file + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.cause), std::string::npos) << run.err;
    }
}

TEST(QeintegCommand, DescribeReadsMarkedFilesOddPathsAndPrintsLargeWholeNumbersInFull) {
    // A byte order mark once stayed in front of the first name ("the input has no field 'a'"),
    // and a path with a line break or a quote broke the job text.
    const std::string dir = qetest::TestDir() + "/odd \"dir\"\nname";
    std::filesystem::create_directories(dir);
    const std::string file = dir + "/big.csv";
    ASSERT_TRUE(qetest::WriteFile(file,
                                  "\xEF\xBB\xBF"
                                  "a,b\n1000000000000000,0.5\n"
                                  "1000000000000006,0.25\n"));
    const Outcome text = Qeinteg({"describe", file});
    ASSERT_EQ(text.exit, 0) << text.err;
    EXPECT_TRUE(text.err.empty()) << text.err;
    EXPECT_NE(text.out.find("\na "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("1000000000000000"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("1000000000000006"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("e+15"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("0.375"), std::string::npos) << text.out;

    const Outcome json = Qeinteg({"describe", file, "--json"});
    ASSERT_EQ(json.exit, 0) << json.err;
    EXPECT_NE(json.out.find("\"name\": \"a\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"maximum\": 1000000000000006"), std::string::npos)
        << json.out;  // ".0" may follow
}

}  // namespace
