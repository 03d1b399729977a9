#include "qeinteg/qel/QELAggregate.h"

#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/qel/JNIQelProgram.h"
#include "qeinteg/qel/QELJsonCopy.h"

QELAggregate::QELAggregate(JNIQelProgram* program) : QELFunction(program) {
    SetFunctionType(Aggregate);
}

QELAggregate::QELAggregate(const QELAggregate& other) : QELFunction(other) {
    aggregates_ = qelbuild::CopyJsonList(other.aggregates_);
}

QELAggregate& QELAggregate::operator=(const QELAggregate& other) {
    if (this != &other) {
        auto copies = qelbuild::CopyJsonList(other.aggregates_);
        QELFunction::operator=(other);
        aggregates_ = std::move(copies);
    }
    return *this;
}

QELAggregate::~QELAggregate() = default;

void QELAggregate::AddAggregate(const std::string& function, const std::string& input,
                                const std::string& outName) {
    if (input.empty() && function != "count")
        return;
    auto entry = std::make_unique<JNIJSONObject>();
    if (!input.empty())
        entry->put("input", input);
    entry->put("function", function);
    if (!outName.empty())
        entry->put("outName", outName);
    aggregates_.push_back(std::move(entry));
}

void QELAggregate::AddPercentileAggregate(int centile, const std::string& input,
                                          const std::string& outName) {
    if (input.empty() || centile < 1 || centile > 100)
        return;
    auto entry = std::make_unique<JNIJSONObject>();
    entry->put("input", input);
    entry->put("function", "percentile");
    if (!outName.empty())
        entry->put("outName", outName);
    entry->put("centile", centile);
    aggregates_.push_back(std::move(entry));
}

bool QELAggregate::GenerateQEL() {
    if (GetProgram() == nullptr)
        return false;
    if (IsCreatedQel())
        return true;
    GenerationGuard guard(*this);
    if (!guard)
        return false;
    const bool hasInput = !GetPredecessors().empty();
    JNIQelFunction* input = GenerateFirstInput();

    // The job keeps a snapshot: specifications added later must not change a created function.
    std::unique_ptr<JNIJSONObject> config = qelbuild::ConfigWithList("output", aggregates_);
    JNIQelProgram* program = GetProgram();
    return StoreFunction(hasInput ? program->createQelFunction("aggregate", config.get(), input)
                                  : program->createQelFunction("aggregate", config.get()));
}
