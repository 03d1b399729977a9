#include "qeinteg/qel/QELFunction.h"

#include <algorithm>

#include "qeinteg/qel/JNIQelFunction.h"
#include "qeinteg/qel/JNIQelProgram.h"

QELFunction::QELFunction(JNIQelProgram* program) : program_(program) {}

QELFunction::QELFunction(const QELFunction& other)
    : program_(other.program_),
      function_(other.function_),
      predecessors_(other.predecessors_),
      tags_(other.tags_),
      functionType_(other.functionType_),
      isCreatedQel_(other.isCreatedQel_) {}

QELFunction& QELFunction::operator=(const QELFunction& other) {
    if (this != &other) {
        program_ = other.program_;
        function_ = other.function_;
        predecessors_ = other.predecessors_;
        tags_ = other.tags_;
        functionType_ = other.functionType_;
        isCreatedQel_ = other.isCreatedQel_;
    }
    return *this;
}

QELFunction::~QELFunction() = default;

JNIQelFunction* QELFunction::GetQEFunction() {
    return function_;
}

void QELFunction::AddPredFunction(QELFunction* predecessor, const std::string& tag) {
    if (predecessor == nullptr)
        return;
    predecessors_.push_back(predecessor);
    tags_.push_back(tag);
}

void QELFunction::AddPredFunction(QELFunction* predecessor) {
    AddPredFunction(predecessor, std::string());
}

void QELFunction::CompleteTags(const char* prefix) {
    const std::string emptyBase = prefix != nullptr ? prefix : "";
    unsigned long long counter = 0;
    for (size_t i = 0; i < tags_.size(); ++i) {
        const auto earlier = tags_.begin();
        const auto current = tags_.begin() + static_cast<std::ptrdiff_t>(i);
        // The base is used as text, never as a format: a tag may hold any character.
        std::string base;
        std::string candidate;
        if (tags_[i].empty()) {
            base = emptyBase;
            candidate = base + std::to_string(++counter);
        } else {
            base = tags_[i];
            candidate = base;
        }
        while (std::find(earlier, current, candidate) != current)
            candidate = base + std::to_string(++counter);
        tags_[i] = std::move(candidate);
    }
}

bool QELFunction::GenerateQEL() {
    if (program_ == nullptr)
        return false;
    if (isCreatedQel_)
        return true;
    // A builder reached again while it is being generated sits on a cycle of predecessors: give
    // up instead of recursing without end.
    if (generating_ || !CanGenerate())
        return false;
    generating_ = true;
    JNIQelFunction* input = nullptr;
    const bool created = GenerateInputs(input) && StoreFunction(CreateFunction(*program_, input));
    generating_ = false;
    return created;
}

bool QELFunction::GenerateInputs(JNIQelFunction*& input) {
    input = nullptr;
    switch (InputKind()) {
        case Inputs::None:
            return true;
        case Inputs::First:
        case Inputs::FirstRequired:
            if (predecessors_.empty())
                return true;
            if (!predecessors_[0]->GenerateQEL() && InputKind() == Inputs::FirstRequired)
                return false;
            input = predecessors_[0]->GetQEFunction();
            return true;
        case Inputs::Tagged:
            if (predecessors_.empty())
                return true;
            CompleteTags("str");
            for (QELFunction* predecessor : predecessors_)
                predecessor->GenerateQEL();
            return true;
    }
    return true;
}

JNIQelFunction* QELFunction::CreateFunction(JNIQelProgram& /*program*/, JNIQelFunction* /*input*/) {
    return nullptr;
}

JNIQelFunction* QELFunction::CreateWithInput(JNIQelProgram& program, const std::string& name,
                                             JNIJSONObject* config, JNIQelFunction* input) {
    return HasPredecessors() ? program.createQelFunction(name, config, input)
                             : program.createQelFunction(name, config);
}

std::map<std::string, JNIQelFunction*> QELFunction::TaggedInputs() {
    std::map<std::string, JNIQelFunction*> inputs;
    for (size_t i = 0; i < predecessors_.size(); ++i) {
        JNIQelFunction* function = predecessors_[i]->GetQEFunction();
        if (function != nullptr)
            inputs[tags_[i]] = function;
    }
    return inputs;
}

bool QELFunction::StoreFunction(JNIQelFunction* created) {
    if (created == nullptr || created->getObject() == nullptr)
        return false;
    function_ = created;
    isCreatedQel_ = true;
    return true;
}
