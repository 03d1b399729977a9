#include "BuilderTestSupport.h"

#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/qel/JNIQelFunction.h"
#include "qeinteg/qel/JNIQelFunctionImpl.h"
#include "qeinteg/qel/JNIQelProgram.h"
#include "qeinteg/qel/QELFunction.h"

namespace buildertest {

void BuilderTest::SetUp() {
    manager_ = JNIObjectManager::getManager();
    program_ = std::make_unique<JNIQelProgram>();
}

void BuilderTest::TearDown() {
    program_.reset();
    manager_->cleanJRef();
}

Json BuilderTest::Config(QELFunction& builder) {
    JNIQelFunction* function = builder.GetQEFunction();
    if (function == nullptr || function->getObject() == nullptr)
        return Json("no function");
    JNIQelFunctionImpl impl(function->getObject());
    std::string text = impl.generateConfiguration();
    return text.empty() ? Json() : Json::parse(text);
}

std::string BuilderTest::Text() {
    std::string text;
    program_->getQelText(text);
    return text;
}

qelocal::JobGraph BuilderTest::Parse() {
    std::string text = Text();
    qelocal::JobGraph graph;
    qelocal::QelParseError error;
    EXPECT_TRUE(qelocal::ParseQel(text, graph, error)) << error.describe() << "\n" << text;
    return graph;
}

std::vector<std::string> BuilderTest::Calls() {
    qelocal::JobGraph graph = Parse();
    std::vector<std::string> lines;
    for (const qelocal::QelCall& call : graph.calls) {
        std::string line = call.ns.empty() ? call.function : call.ns + ":" + call.function;
        for (size_t i = 0; i < call.inputs.size(); ++i) {
            line += i == 0 ? "<-" : ",";
            if (!call.inputs[i].tag.empty())
                line += call.inputs[i].tag + "=";
            line += graph.calls[call.inputs[i].call].function;
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace buildertest
