// The qeinteg program as a user runs it: every subcommand answers --help and --version, usage
// errors exit 2 with the usage line, failures exit 1 with one line naming the file and the cause.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

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

std::string LinearModel() {
    return std::string(QEINTEG_TEST_DATA_DIR) + "/../scoring/fixtures/linear.pmml";
}

// The document a command printed, or a failure naming what did not parse.
nlohmann::json Parse(const std::string& text) {
    nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << "not one JSON document:\n" << text;
    return document;
}

int Lines(const std::string& text) {
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

TEST(QeintegCommand, EverySubcommandAnswersHelpAndVersion) {
    for (const std::string command : {"service", "describe", "render", "crs", "layers", "run",
                                      "fetch", "score", "score-settings"}) {
        SCOPED_TRACE(command);
        Outcome help = Qeinteg({command, "--help"});
        EXPECT_EQ(help.exit, 0);
        EXPECT_EQ(help.out.rfind("usage: qeinteg " + command, 0), 0u) << help.out;
        EXPECT_NE(help.out.find("--json"), std::string::npos) << help.out;
        Outcome version = Qeinteg({command, "--version"});
        EXPECT_EQ(version.exit, 0);
        EXPECT_EQ(version.out, std::string(QEINTEG_VERSION_TEXT) + "\n");
    }
    // A subcommand that parses its own options answers --help and --version all the same.
    for (const std::string command : {"tcm"}) {
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
        {"crs"},
        {"crs", "4326", "--count", "many"},
        {"layers", "--json"},
        {"run"},
        {"run", "job.qel", "--input", "no-equals"},
        {"run", "job.qel", "--set"},
        {"fetch", "data.csv"},  // a CSV file needs --model
        {"fetch", "data.qebf", "--limit", "1x"},
        {"score", "model.pmml"},
        {"score", "model.pmml", "data.csv", "-o"},
        {"score-settings", "--max-predictions", "0"},
        {"score-settings", "extra"},
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
    const std::string linearModel = LinearModel();
    const std::string scoringData = dir + "/weather.csv";
    ASSERT_TRUE(qetest::WriteFile(scoringData,
                                  "date,precipitation,temp_min,wind\n"
                                  "2012-01-01,0,5,4.7\n"));
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
        {{"run", dir + "/none.qel"}, dir + "/none.qel", "No such file or directory"},
        {{"run", dir}, dir, "it is a directory"},
        {{"fetch", dir + "/none.qebf"}, dir + "/none.qebf", "No such file or directory"},
        {{"score", dir + "/none.pmml", dir + "/dup.csv"}, dir + "/none.pmml", "No such file"},
        {{"score", dir + "/doc.json", dir + "/none.csv"}, dir + "/none.csv", "No such file"},
        // The model is named when it is not a model, the data when it lacks a key field.
        {{"score", dir + "/doc.json", scoringData}, dir + "/doc.json", "not XML"},
        {{"score", linearModel, scoringData, "--keys", "nope"}, scoringData, "'nope'"},
        {{"score", linearModel, scoringData, "-o", dir + "/no/such/dir/out.csv"},
         dir + "/no/such/dir/out.csv",
         "cannot write it"},
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

TEST(QeintegCommand, JsonOutputsParseAndKeepEveryValueWithItsType) {
    const std::string dir = qetest::TestDir();
    const std::string engineData = std::string(QEINTEG_TEST_DATA_DIR) + "/engine";
    nlohmann::json destination = {{"dataDestination", "file:///" + dir + "/sales.csv"},
                                  {"dataModelDestination", "file:///" + dir + "/sales.xml"},
                                  {"type", "text/csv"}};
    const Outcome run =
        Qeinteg({"run", engineData + "/sales.qel", "--input", "sales=" + engineData + "/sales.csv",
                 "--input", "regions=" + engineData + "/regions.csv", "--set",
                 "out=" + destination.dump(), "--json"});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    const nlohmann::json ran = Parse(run.out);
    EXPECT_EQ(ran["job"], engineData + "/sales.qel");
    EXPECT_EQ(ran["status"], "success");
    EXPECT_TRUE(ran["messages"].is_array());
    EXPECT_TRUE(ran.contains("error") && ran["error"].is_null()) << ran.dump();

    // A failed run still documents what happened, and says it on stderr in one line.
    const Outcome failed = Qeinteg({"run", engineData + "/sales.qel", "--json"});
    EXPECT_EQ(failed.exit, 1);
    EXPECT_EQ(Lines(failed.err), 1) << failed.err;
    const nlohmann::json failure = Parse(failed.out);
    EXPECT_EQ(failure["status"], "error");
    EXPECT_EQ(failure["error"]["id"], "UNKNOWN_DATA_SOURCE") << failure.dump();
    EXPECT_TRUE(failure["error"]["message"].is_string());

    // Strings (with commas and non-ASCII letters), integers as integers, missing values as null.
    const Outcome fetch = Qeinteg({"fetch", dir + "/sales.csv", "--model", dir + "/sales.xml",
                                   "--fields", "manager,orders,revenue", "--json"});
    ASSERT_EQ(fetch.exit, 0) << fetch.err;
    const nlohmann::json fetched = Parse(fetch.out);
    EXPECT_EQ(fetched["file"], dir + "/sales.csv");
    EXPECT_EQ(fetched["fields"], nlohmann::json::parse(R"([{"name":"manager","storage":"string"},
                                        {"name":"orders","storage":"integer"},
                                        {"name":"revenue","storage":"real"}])"));
    EXPECT_EQ(fetched["rows"], nlohmann::json::parse(R"([["Åsa",2,14.5],["Björn",2,6.0],
                                                          ["Chen",null,null]])"));
    EXPECT_EQ(fetched["rowCount"], 3);
    EXPECT_TRUE(fetched["rows"][0][1].is_number_integer());
    const Outcome none = Qeinteg(
        {"fetch", dir + "/sales.csv", "--model", dir + "/sales.xml", "--limit", "0", "--json"});
    ASSERT_EQ(none.exit, 0) << none.err;
    EXPECT_EQ(Parse(none.out)["rows"], nlohmann::json::array());

    // The key fields and outputs of each record, in the CSV's order; null where nothing was
    // predicted; a written file only under its own name.
    const std::string data = dir + "/weather.csv";
    ASSERT_TRUE(qetest::WriteFile(data,
                                  "date,precipitation,temp_min,wind,note\n"
                                  "2012-01-01,0,5,4.7,\"a, \"\"b\"\"\"\n"
                                  "2012-01-02,,2.8,4.5,x\n"));
    const Outcome score = Qeinteg({"score", LinearModel(), data, "--keys", "date,note", "-o",
                                   dir + "/scores.json", "--json"});
    ASSERT_EQ(score.exit, 0) << score.err;
    EXPECT_TRUE(score.out.empty()) << score.out;
    EXPECT_FALSE(std::filesystem::exists(dir + "/scores.json.partial"));
    const nlohmann::json scored = Parse(qetest::ReadFile(dir + "/scores.json"));
    EXPECT_EQ(scored["model"], LinearModel());
    EXPECT_EQ(scored["data"], data);
    EXPECT_EQ(scored["keys"], nlohmann::json::parse(R"(["date","note"])"));
    EXPECT_EQ(scored["outputs"], nlohmann::json::parse(R"(["temp_max"])"));
    ASSERT_EQ(scored["records"].size(), 2u) << scored.dump();
    EXPECT_EQ(scored["records"][0][0], "2012-01-01");
    EXPECT_EQ(scored["records"][0][1], "a, \"b\"");
    EXPECT_TRUE(scored["records"][0][2].is_number_float());
    EXPECT_TRUE(scored["records"][1][2].is_null()) << scored.dump();
    EXPECT_EQ(scored["recordCount"], 2);
    // The text output is the same records as CSV.
    const Outcome text = Qeinteg({"score", LinearModel(), data, "--keys", "date,note"});
    ASSERT_EQ(text.exit, 0) << text.err;
    EXPECT_EQ(text.out.substr(0, text.out.find('\n') + 1), "date,note,temp_max\n");
    EXPECT_NE(text.out.find("\n2012-01-01,\"a, \"\"b\"\"\","), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\n2012-01-02,x,\n"), std::string::npos) << text.out;

    const Outcome settings = Qeinteg({"score-settings", "--max-predictions", "5", "--json"});
    ASSERT_EQ(settings.exit, 0) << settings.err;
    const nlohmann::json document = Parse(settings.out);
    for (const char* key : {"descriptor", "moduleId", "componentId", "version", "document"})
        EXPECT_TRUE(document[key].is_string()) << key << ": " << document.dump();
    EXPECT_EQ(document["parameters"]["maxPredictions"], "5");
    EXPECT_TRUE(document["parameters"]["outputSelection"].is_object()) << document.dump();
    EXPECT_EQ(document["document"], Qeinteg({"score-settings", "--max-predictions", "5"}).out);
}

}  // namespace
