// qeinteg geojson and match-keys, run as a user would on files the tests make with OGR.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "GeojsonViewer.h"
#include "ShapeFixtures.h"
#include "common/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

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

// Runs the built qeinteg in the test's directory; stdout and stderr are kept apart.
Outcome Qeinteg(const Strings& args) {
    const std::string errPath = qetest::TestDir() + "/stderr.txt";
    std::string command = "cd " + Quote(qetest::TestDir()) + " && " + Quote(QEINTEG_CLI);
    for (const std::string& a : args)
        command += " " + Quote(a);
    command += " 2>" + Quote(errPath);
    Outcome run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
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

// Shape files, archives and CSV files of the command-line checks, in the test's directory.
void MakeInputs() {
    const std::string dir = qetest::TestDir();
    const std::vector<stemtest::Column> columns = {{"id", true}, {"name", false}};
    ASSERT_TRUE(stemtest::WriteShape(
        dir + "/areas.shp", columns,
        {stemtest::Square(8, 47), stemtest::Square(9, 47), stemtest::Square(10, 47)},
        {{"1", "north"}, {"2", "south"}, {"7", "east"}}, 4326));
    ASSERT_TRUE(stemtest::WriteZip(dir + "/areas.zip",
                                   stemtest::ShapeEntries(dir + "/areas.shp", "areas/")));
    ASSERT_TRUE(stemtest::WriteZip(dir + "/empty.zip", {{"readme.txt", "no shapes here"}}));
    fs::copy_file(dir + "/areas.shp", dir + "/roads.shp");
    ASSERT_TRUE(qetest::WriteFile(dir + "/points.csv",
                                  "name,lon,lat,height,code\na,8.5,47.3,400,1\nb,7.4,46.9,500,7.0\n"
                                  "c,9.1,47.6,450,9\n"));
}

}  // namespace

TEST(StemCommand, BadInputGivesOneLineAndNonZeroExit) {
    MakeInputs();
    const std::vector<Strings> cases = {
        {"geojson"},
        {"geojson", "areas.shp"},                      // no -o
        {"geojson", "areas.txt", "-o", "o.geojson"},   // not a map
        {"geojson", "absent.shp", "-o", "o.geojson"},  // no such file
        {"geojson", "roads.shp", "-o", "o.geojson"},   // no roads.dbf
        {"geojson", "empty.zip", "-o", "o.geojson"},   // no shape file inside
        {"geojson", "points.csv", "--xy", "lon", "-o", "o.geojson"},
        {"geojson", "points.csv", "--xy", "lon,lat,height,code", "-o", "o.geojson"},
        {"geojson", "points.csv", "--xy", "lon,name", "-o", "o.geojson"},    // text coordinates
        {"geojson", "points.csv", "--xy", "lon,absent", "-o", "o.geojson"},  // no such field
        {"geojson", "points.csv", "--xy", "lon,lat", "--from", "no such system", "-o", "o.geojson"},
        {"geojson", "areas.shp", "--to", "0", "-o", "o.geojson"},
        {"geojson", "http://127.0.0.1:1/x", "--layer", "one", "-o", "o.geojson"},
        {"match-keys", "areas.shp", "points.csv", "--map-keys", "id,name", "--data-keys", "code"},
        {"match-keys", "areas.shp", "points.csv", "--data-keys", "code"},
        {"match-keys", "areas.shp", "absent.csv", "--map-keys", "id", "--data-keys", "code"},
        {"match-keys", "areas.shp", "points.csv", "--map-keys", "id", "--data-keys", "absent"},
        {"match-keys", "roads.shp", "points.csv", "--map-keys", "id", "--data-keys", "code"},
        {"match-keys", "empty.zip", "points.csv", "--map-keys", "id", "--data-keys", "code"},
        {"match-keys", "areas.shp", "points.csv", "--map-keys", "id", "--data-keys", "code",
         "--max", "-2"},
    };
    for (const Strings& args : cases) {
        std::string line;
        for (const std::string& a : args)
            line += a + " ";
        SCOPED_TRACE(line);
        const Outcome run = Qeinteg(args);
        EXPECT_TRUE(run.exit == 1 || run.exit == 2) << run.exit;
        // One line of cause (a usage error adds the usage line).
        EXPECT_EQ(Lines(run.err), run.exit == 2 ? 2 : 1) << run.err;
        EXPECT_FALSE(fs::exists(qetest::TestDir() + "/o.geojson"));
    }
    EXPECT_NE(Qeinteg({"geojson", "roads.shp", "-o", "o.geojson"})
                  .err.find("A corresponding dbf file was not found"),
              std::string::npos);
    EXPECT_NE(Qeinteg({"match-keys", "empty.zip", "points.csv", "--map-keys", "id", "--data-keys",
                       "code"})
                  .err.find("The selected zip file does not contain a shape file."),
              std::string::npos);
    for (const auto& entry : fs::directory_iterator(qetest::TestDir()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("hs_err")) << entry.path();
}

TEST(StemCommand, BothCommandsAnswerHelp) {
    for (const std::string command : {"geojson", "match-keys"}) {
        const Outcome help = Qeinteg({command, "--help"});
        EXPECT_EQ(help.exit, 0);
        EXPECT_EQ(help.out.rfind("usage: qeinteg " + command, 0), 0u) << help.out;
        const Outcome version = Qeinteg({command, "--version"});
        EXPECT_EQ(version.exit, 0);
        EXPECT_EQ(version.out.rfind("qeinteg ", 0), 0u);
    }
}

TEST(StemCommand, ViewerPageCannotBeClosedByTheDocument) {
    const std::string plain = GeojsonViewerPage(R"({"type":"FeatureCollection","features":[]})");
    const std::string hostile = GeojsonViewerPage(
        R"({"type":"FeatureCollection","features":[{"type":"Feature","geometry":null,)"
        R"("properties":{"name":"</script><script>alert(1)</script>"}}]})");
    auto count = [](const std::string& page, const std::string& what) {
        size_t n = 0;
        for (size_t at = page.find(what); at != std::string::npos; at = page.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count(hostile, "</script>"), count(plain, "</script>"));
    EXPECT_NE(hostile.find(R"(<\/script><script>alert(1)<\/script>)"), std::string::npos);
    // The page reaches nothing outside itself.
    for (const char* remote : {"http:", "https:", "src=", "@import"})
        EXPECT_EQ(plain.find(remote), std::string::npos) << remote;
}

TEST(StemCommand, CommandsWriteGeoJsonAndMatchKeys) {
    MakeInputs();
    const std::string dir = qetest::TestDir();
    Outcome run = Qeinteg(
        {"geojson", "areas.zip", "--to", "3857", "-o", "areas.geojson", "--html", "--json"});
    ASSERT_EQ(run.exit, 0) << run.err;
    const nlohmann::json summary = nlohmann::json::parse(run.out);
    EXPECT_EQ(summary["features"], 3);
    EXPECT_EQ(nlohmann::json::parse(qetest::ReadFile(dir + "/areas.geojson"))["features"].size(),
              3u);
    EXPECT_TRUE(fs::exists(dir + "/areas.xml"));
    EXPECT_NE(qetest::ReadFile(dir + "/areas.html").find("\"north\""), std::string::npos);

    run = Qeinteg({"geojson", "points.csv", "--xy", "lon,lat", "-o", "points.geojson"});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "3 feature(s) written to points.geojson (data model points.xml)\n");
    const nlohmann::json points = nlohmann::json::parse(qetest::ReadFile(dir + "/points.geojson"));
    EXPECT_NEAR(points["features"][0]["geometry"]["coordinates"][0].get<double>(), 8.5, 1e-9);

    run = Qeinteg(
        {"match-keys", "areas.shp", "points.csv", "--map-keys", "id", "--data-keys", "code"});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out,
              "matched key combinations: 2\n"
              "map keys without data: 1\n  2\n"
              "data keys without a map feature: 1\n  9\n");
    run = Qeinteg({"match-keys", "areas.shp", "points.csv", "--map-keys", "id", "--data-keys",
                   "code", "--max", "0", "--json"});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, R"({"matched":2,"unmatchedMapKeys":[],"moreUnmatchedMapKeys":true,)"
                       R"("unmatchedDataKeys":[],"moreUnmatchedDataKeys":true})"
                       "\n");
}
