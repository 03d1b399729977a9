// The job graph of a QEL text (docs/qel.md): value bindings, then pipelines of calls, each call
// with its arguments and the inputs they link to.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace qelocal {

using JsonValue = nlohmann::ordered_json;

// 1-based line and column (in bytes) of a construct in the job text.
struct SourcePos {
    int line = 0;
    int column = 0;
};

// "val NAME = VALUE".
struct QelBinding {
    enum class Kind { Json, Lambda, Pipeline };
    std::string name;
    Kind kind = Kind::Json;
    JsonValue json;      // Kind::Json
    std::string lambda;  // Kind::Lambda: the lambda text as written
    int pipeline = -1;   // Kind::Pipeline: index into JobGraph::pipelines
    SourcePos pos;
};

// One argument of a call, optionally tagged ("tag=VALUE").
struct QelArgument {
    enum class Kind { Pipe, Name, Json };
    Kind kind = Kind::Json;
    std::string tag;
    std::string name;  // Kind::Name
    int binding = -1;  // Kind::Name: index into JobGraph::bindings
    JsonValue json;    // Kind::Json
    SourcePos pos;
};

// An input of a call: the call whose result it reads, under a tag ("" for none).
struct QelInput {
    std::string tag;
    int call = -1;  // index into JobGraph::calls
};

// "[namespace:]function(arguments)".
struct QelCall {
    std::string ns;
    std::string function;
    std::vector<QelArgument> args;
    // In argument order; a call that does not name the piped input takes it as its first input.
    std::vector<QelInput> inputs;
    int pipeline = -1;
    SourcePos pos;
};

// "call -> call -> ...", bound to a name when written as "val NAME = call -> ...".
struct QelPipeline {
    std::string name;
    std::vector<int> calls;  // indexes into JobGraph::calls, in pipe order
    SourcePos pos;
};

struct JobGraph {
    std::vector<QelBinding> bindings;
    std::vector<QelCall> calls;
    std::vector<QelPipeline> pipelines;  // in text order, which is execution order

    const QelBinding* findBinding(std::string_view name) const;
    // The JSON values a call is configured with (inline or through bound names), in argument order.
    std::vector<const JsonValue*> configurations(const QelCall& call) const;
    // The lambda texts a call takes through bound names, in argument order.
    std::vector<std::string> lambdas(const QelCall& call) const;
};

}  // namespace qelocal
