// The shared command-line plumbing, in-process: parsing, exit codes, one-line messages, the
// progress bar and the number texts of describe.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "DescribeCommand.h"

namespace {

struct Parsed {
    std::optional<int> exit;
    bool json = false;
    std::string fields;
    std::vector<std::string> items;
    std::vector<std::string> files;
};

Parsed Parse(std::vector<std::string> args) {
    Parsed p;
    qecli::CommandLine cli("test", "FILE [--json]", "a test command");
    cli.Flag("--json", p.json, "json");
    cli.Option("--fields", "a,b", p.fields, "fields");
    cli.Repeated("--item", "X", p.items, "items");
    cli.Positionals(p.files, 1, 2);
    args.insert(args.begin(), "test");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    p.exit = cli.Parse(static_cast<int>(argv.size()), argv.data());
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return p;
}

TEST(CommandLine, OptionsPositionalsAndTheirErrors) {
    Parsed p = Parse({"a.csv", "--json", "--fields", "x,y", "--item", "1", "--item=2", "b.csv"});
    EXPECT_FALSE(p.exit.has_value());
    EXPECT_TRUE(p.json);
    EXPECT_EQ(p.fields, "x,y");
    EXPECT_EQ(p.items, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(p.files, (std::vector<std::string>{"a.csv", "b.csv"}));
    // "--" ends the options: a file may start with a dash.
    EXPECT_EQ(Parse({"--", "--json"}).files, (std::vector<std::string>{"--json"}));
    EXPECT_EQ(Parse({"-"}).files, (std::vector<std::string>{"-"}));

    EXPECT_EQ(Parse({"--help"}).exit, qecli::kExitOk);
    EXPECT_EQ(Parse({"a", "-h"}).exit, qecli::kExitOk);
    EXPECT_EQ(Parse({"--version"}).exit, qecli::kExitOk);
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {}, {"a", "b", "c"}, {"a", "--bogus"}, {"a", "--fields"}, {"a", "--json=yes"}}) {
        EXPECT_EQ(Parse(bad).exit, qecli::kExitUsage) << testing::PrintToString(bad);
    }
}

TEST(CommandLine, MessagesAreOneLineWithTheUsageAfterUsageErrors) {
    qecli::CommandLine cli("describe", "FILE.csv", "summary");
    testing::internal::CaptureStderr();
    EXPECT_EQ(cli.UsageError("bad\nthing"), qecli::kExitUsage);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "qeinteg describe: bad; thing\nusage: qeinteg describe FILE.csv\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(cli.Failure("a.csv", "line one\n  line two\n"), qecli::kExitFailure);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "qeinteg describe: a.csv: line one; line two\n");
    EXPECT_EQ(qecli::OneLine("  a\r\n\r\nb  \n"), "a; b");
    EXPECT_EQ(qecli::OneLine("\n"), "");
}

TEST(CommandLine, ProgressBarDrawsOnlyWhenEnabledAndClearsItsLine) {
    EXPECT_EQ(qecli::ProgressBar::Line("run", 0.5, 10), "run [#####.....]  50%");
    EXPECT_EQ(qecli::ProgressBar::Line("run", 7.0, 4), "run [####] 100%");
    EXPECT_EQ(qecli::ProgressBar::Line("run", -std::numeric_limits<double>::infinity(), 4),
              "run [....]   0%");

    std::FILE* sink = std::tmpfile();
    ASSERT_NE(sink, nullptr);
    {
        qecli::ProgressBar off("x", false, sink);
        off.Update(0.5);
    }
    EXPECT_EQ(std::ftell(sink), 0L);
    {
        qecli::ProgressBar on("x", true, sink);
        on.Update(0.5);
        on.Update(0.501);  // same percentage: not drawn again
        on.Update(0.6);
    }
    std::rewind(sink);
    std::string written(4096, '\0');
    written.resize(std::fread(written.data(), 1, written.size(), sink));
    std::fclose(sink);
    const std::string half = "\r" + qecli::ProgressBar::Line("x", 0.5, 30);
    const std::string more = "\r" + qecli::ProgressBar::Line("x", 0.6, 30);
    const std::string clear = "\r" + std::string(half.size() - 1, ' ') + "\r";
    EXPECT_EQ(written, half + more + clear);
}

TEST(DescribeText, WholeNumbersInFullOthersInTheFewestDigitsThatReadBack) {
    // Before, "%.6g" printed 1e15 + 6 as "1e+15" and 0.1 + 0.2 like 0.3.
    EXPECT_EQ(DescribeNumberText(1e15 + 6), "1000000000000006");
    EXPECT_EQ(DescribeNumberText(1e20), "100000000000000000000");
    EXPECT_EQ(DescribeNumberText(-42), "-42");
    EXPECT_EQ(DescribeNumberText(0), "0");
    EXPECT_EQ(DescribeNumberText(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(DescribeNumberText(2.5), "2.5");
    EXPECT_EQ(DescribeNumberText(1e-7), "1e-07");
    EXPECT_EQ(std::stod(DescribeNumberText(1e15 + 0.5)), 1e15 + 0.5);
}

}  // namespace
