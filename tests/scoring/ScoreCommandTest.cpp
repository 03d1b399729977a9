// The `qeinteg score` and `qeinteg score-settings` commands, run as a user runs them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <string>

#include "ScoringTestSupport.h"
#include "common/TestSupport.h"

namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs qeinteg with `arguments`; `environment` ("NAME=value ...") is set for that run only.
CliRun Cli(const std::string& arguments, const std::string& environment = "") {
    const std::string out = qetest::TestDir() + "/cli.out";
    const std::string err = qetest::TestDir() + "/cli.err";
    const std::string command =
        environment + " " + std::string(QEINTEG_CLI) + " " + arguments + " >" + out + " 2>" + err;
    const int raw = std::system(command.c_str());
    CliRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = qetest::ReadFile(out);
    run.err = qetest::ReadFile(err);
    return run;
}

std::string Fixture(const std::string& name) {
    return std::string(QEINTEG_SCORING_FIXTURES) + "/" + name;
}

const std::string kWeather = std::string(QEINTEG_SHARED_DATA_DIR) + "/seattle-weather.csv";

TEST(ScoreCommandTest, ScoresASharedDatasetLikeTheFittingTool) {
    const std::string out = qetest::TestDir() + "/scores.csv";
    const CliRun run = Cli("score " + Fixture("linear.pmml") + " " + kWeather + " -o " + out);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const scoringtest::Table scores = scoringtest::ReadTable(qetest::ReadFile(out));
    EXPECT_EQ(scores.header, (std::vector<std::string>{"date", "temp_max"}));
    ASSERT_EQ(scores.rows.size(), 1461u);
    std::map<std::string, double> byDate;
    for (const auto& row : scores.rows) {
        ASSERT_EQ(row.size(), 2u);
        byDate[row[0]] = std::stod(row[1]);
    }
    const scoringtest::Table expected = scoringtest::ReadTable(scoringtest::Fixture("linear.csv"));
    for (const auto& row : expected.rows) {
        ASSERT_TRUE(byDate.count(row[0])) << row[0];
        EXPECT_NEAR(byDate[row[0]], std::stod(row.back()), 1e-9) << row[0];
    }
}

TEST(ScoreCommandTest, ChosenOutputsAndKeysComeInTheirOrder) {
    const CliRun run = Cli("score " + Fixture("tree_classification.pmml") + " " + kWeather +
                           " --outputs p_rain,PREDICTED_RAIN --keys weather,date");
    ASSERT_EQ(run.status, 0) << run.err;
    const scoringtest::Table scores = scoringtest::ReadTable(run.out);
    EXPECT_EQ(scores.header,
              (std::vector<std::string>{"weather", "date", "p_rain", "PREDICTED_RAIN"}));
    ASSERT_EQ(scores.rows.size(), 1461u);
    EXPECT_EQ(scores.rows[0][0], "drizzle");
    EXPECT_EQ(scores.rows[0][1], "2012-01-01");
    const double p = std::stod(scores.rows[0][2]);
    EXPECT_TRUE(p >= 0 && p <= 1);
    EXPECT_TRUE(scores.rows[0][3] == "0" || scores.rows[0][3] == "1");
}

TEST(ScoreCommandTest, BadInputIsAUsageErrorOrAOneLineFailureNamingTheFile) {
    const std::string notXml = qetest::TestDir() + "/bad.pmml";
    ASSERT_TRUE(qetest::WriteFile(notXml, "not a model"));
    const std::string linear = Fixture("linear.pmml");
    const std::string co2 = std::string(QEINTEG_SHARED_DATA_DIR) + "/co2-concentration.csv";
    // A command line that does not parse: exit 2, the message, then the usage line.
    const std::pair<std::string, const char*> usage[] = {
        {"score", "missing arguments"},
        {"score " + linear, "too few arguments"},
        {"score " + linear + " " + kWeather + " --frobnicate", "--frobnicate"},
        {"score " + linear + " " + kWeather + " --keys", "--keys"},
        {"score-settings --max-predictions zero", "'zero'"},
        {"score-settings --component-path /tmp", "--component-path"},
    };
    for (const auto& [arguments, cause] : usage) {
        SCOPED_TRACE(arguments);
        const CliRun run = Cli(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        const std::string command = arguments.substr(0, arguments.find(' '));
        EXPECT_EQ(run.err.rfind("qeinteg " + command + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(cause), std::string::npos) << run.err;
        const std::size_t second = run.err.find('\n') + 1;
        EXPECT_EQ(run.err.find("usage: qeinteg " + command + " ", second), second) << run.err;
        EXPECT_EQ(run.err.find('\n', second), run.err.size() - 1) << run.err;  // two lines
    }
    // A failure: exit 1, one line "qeinteg score: FILE: cause".
    struct Failure {
        std::string arguments;
        std::string file;
        const char* cause;
    };
    const Failure failures[] = {
        {"score /nonexistent.pmml " + kWeather, "/nonexistent.pmml", "No such file"},
        {"score " + linear + " /nonexistent.csv", "/nonexistent.csv", "No such file"},
        {"score " + notXml + " " + kWeather, notXml, "not XML"},
        {"score " + linear + " " + kWeather + " --outputs nope", linear, "no output 'nope'"},
        {"score " + linear + " " + kWeather + " --keys nope", kWeather, "'nope'"},
        {"score " + Fixture("logistic.pmml") + " " + kWeather, Fixture("logistic.pmml"),
         "'predicted' is a string"},
        {"score " + Fixture("poisson.pmml") + " " + co2, Fixture("poisson.pmml"),
         "'temp_max' is not a field"},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.arguments);
        const CliRun run = Cli(f.arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;  // exactly one line
        EXPECT_EQ(run.err.rfind("qeinteg score: " + f.file + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(f.cause), std::string::npos) << run.err;
    }
}

TEST(ScoreCommandTest, SettingsWithoutADescriptorIsAFailure) {
    const CliRun run = Cli("score-settings", "QEHOST_CF_PATH=/nonexistent");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "qeinteg score-settings: /nonexistent/lib/tavo.scoring.9/module.xml: no scoring "
              "module descriptor: No such file or directory\n");
}

TEST(ScoreCommandTest, EverySubcommandAnswersHelp) {
    for (const char* command : {"score --help", "score-settings --help", "score -h"}) {
        SCOPED_TRACE(command);
        const CliRun run = Cli(command);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind("usage: qeinteg score", 0), 0u) << run.out;
        EXPECT_EQ(run.err, "");
    }
}

TEST(ScoreCommandTest, SettingsCommandPrintsTheDocumentWithItsOptions) {
    const CliRun run = Cli("score-settings --missing-as-predictor --max-predictions 5");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("<Parameter name=\"maxPredictions\" value=\"5\" />"), std::string::npos);
    EXPECT_NE(
        run.out.find("<Parameter name=\"missingValuePolicy\" value=\"asMissingPredictor\" />"),
        std::string::npos);
    EXPECT_NE(run.out.find("moduleId=\"com.tavo.scoring\""), std::string::npos);
}

}  // namespace
