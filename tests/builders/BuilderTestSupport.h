// Shared fixture of the builder tests: a fresh program per test, the configuration a builder
// produced as parsed JSON (key order kept, so comparisons check put order), and the program's job
// text read back by the local engine's parser.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/job/QelParser.h"
#include "qeinteg/qel/JNIQelProgram.h"

class JNIObjectManager;
class QELFunction;

namespace buildertest {

using Json = nlohmann::ordered_json;

inline Json J(const char* text) {
    return Json::parse(text);
}

class BuilderTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    JNIQelProgram* program() { return program_.get(); }

    // The configuration of the builder's function; the text "no function" when it has none and
    // JSON null when the function has no configuration.
    static Json Config(QELFunction& builder);
    std::string Text();
    // Parses the job text; fails the test when the parser rejects it.
    qelocal::JobGraph Parse();
    // One line per call of the parsed job, in text order: the kind, then "<-" and its inputs as
    // "tag=kind" (or just the kind for an untagged input), e.g.
    // "join<-dataset=aggregate,shape=aggregate".
    std::vector<std::string> Calls();

  private:
    JNIObjectManager* manager_ = nullptr;
    std::unique_ptr<JNIQelProgram> program_;
};

}  // namespace buildertest
