// The record stream behind the --json outputs of fetch and score: whatever it is given, the result
// is one JSON document.
#include "JsonRecordWriter.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using Json = qecli::JsonRecordWriter::Json;

TEST(JsonRecordWriter, EveryStreamIsOneValidDocumentWithItsMembersInOrder) {
    {
        std::ostringstream out;
        qecli::JsonRecordWriter writer(out, Json::object(), "rows");
        writer.Finish(Json::object());
        writer.Finish({{"late", 1}});  // a second Finish must not write after the end
        EXPECT_EQ(Json::parse(out.str()), Json::parse(R"({"rows":[]})"));
    }
    std::ostringstream out;
    qecli::JsonRecordWriter writer(out, {{"file", "a \"b\"\n.csv"}, {"fields", {"x", "y"}}},
                                   "rows");
    writer.Add({1, nullptr});
    writer.Add({"quote \" backslash \\ tab \t", 2.5});
    // Bytes that are not UTF-8 (a Latin-1 file) must not end the output half-way.
    writer.Add({std::string("caf\xE9"), 3});
    writer.Finish({{"rowCount", writer.Count()}});
    const Json document = Json::parse(out.str(), nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << out.str();
    std::vector<std::string> keys;
    for (const auto& [key, value] : document.items())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"file", "fields", "rows", "rowCount"}));
    EXPECT_EQ(document["file"], "a \"b\"\n.csv");
    EXPECT_EQ(document["rows"][1][0], "quote \" backslash \\ tab \t");
    EXPECT_EQ(document["rows"][2][0], "caf\xEF\xBF\xBD");
    EXPECT_TRUE(document["rows"][0][1].is_null());
    EXPECT_EQ(document["rowCount"], 3);
}

}  // namespace
