#include "qeinteg/qel/QELJoin.h"

#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/qel/JNIQelProgram.h"

namespace {

const char* JoinTypeName(QELJoin::JoinType type) {
    switch (type) {
        case QELJoin::Outer:
            return "Outer";
        case QELJoin::Anti:
            return "Anti";
        case QELJoin::Cartesian:
            return "Cartesian";
        default:
            return "Inner";
    }
}

}  // namespace

QELJoin::QELJoin(JNIQelProgram* program) : QELFunction(program) {
    SetFunctionType(Join);
}

QELJoin::~QELJoin() = default;

void QELJoin::SetJoinType(JoinType type) {
    joinType_ = type;
}

void QELJoin::AddMatchField(unsigned long long firstInput, const std::string& firstField,
                            unsigned long long secondInput, const std::string& secondField) {
    matchFields_.push_back({firstInput, firstField, secondInput, secondField});
}

void QELJoin::SetOutputFieldNames(unsigned long long input, const std::vector<std::string>& names) {
    outputFields_[input] = names;
}

void QELJoin::AddNonMatchingSource(unsigned long long input) {
    nonMatchingSources_.push_back(input);
}

const std::string* QELJoin::GetTag(unsigned long long input) const {
    const std::vector<std::string>& tags = GetTags();
    if (input >= tags.size())
        return nullptr;
    return &tags[static_cast<size_t>(input)];
}

JNIQelFunction* QELJoin::CreateFunction(JNIQelProgram& program, JNIQelFunction* /*input*/) {
    JNIJSONObject config;
    JNIJSONArray matches;
    if (joinType_ != Cartesian) {
        for (const MatchField& match : matchFields_) {
            const std::string* firstTag = GetTag(match.firstInput);
            const std::string* secondTag = GetTag(match.secondInput);
            if (firstTag == nullptr || secondTag == nullptr)
                continue;
            JNIJSONObject pair;
            pair.put(*firstTag, match.firstField);
            pair.put(*secondTag, match.secondField);
            matches.add(&pair);
        }
    }
    config.put("matchFields", &matches);

    JNIJSONObject outputs;
    for (const auto& [input, names] : outputFields_) {
        const std::string* tag = GetTag(input);
        if (tag == nullptr)
            continue;
        JNIJSONArray list;
        for (const std::string& name : names)
            list.add(name);
        outputs.put(*tag, &list);
    }
    config.put("outputFields", &outputs);

    config.put("joinType", JoinTypeName(joinType_));

    if (!nonMatchingSources_.empty()) {
        JNIJSONArray sources;
        for (unsigned long long input : nonMatchingSources_) {
            if (const std::string* tag = GetTag(input))
                sources.add(*tag);
        }
        config.put("nonMatchingSources", &sources);
    }

    if (!HasPredecessors())
        return program.createQelFunction("join", &config);
    std::map<std::string, JNIQelFunction*> inputs = TaggedInputs();
    return program.createQelFunction("join", &config, &inputs);
}
