#include "qeinteg/qel/QELAggregate.h"

#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/qel/JNIQelProgram.h"

QELAggregate::QELAggregate(JNIQelProgram* program) : QELFunction(program) {
    SetFunctionType(Aggregate);
}

QELAggregate::QELAggregate(const QELAggregate& other) = default;

QELAggregate& QELAggregate::operator=(const QELAggregate& other) = default;

QELAggregate::~QELAggregate() = default;

void QELAggregate::AddAggregate(const std::string& function, const std::string& input,
                                const std::string& outName) {
    if (input.empty() && function != "count")
        return;
    auto entry = std::make_shared<JNIJSONObject>();
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
    auto entry = std::make_shared<JNIJSONObject>();
    entry->put("input", input);
    entry->put("function", "percentile");
    if (!outName.empty())
        entry->put("outName", outName);
    entry->put("centile", centile);
    aggregates_.push_back(std::move(entry));
}

JNIQelFunction* QELAggregate::CreateFunction(JNIQelProgram& program, JNIQelFunction* input) {
    // The configuration gets a list of its own: summary entries added later do not reach a
    // created function.
    JNIJSONArray output(static_cast<int>(aggregates_.size()));
    for (const auto& entry : aggregates_)
        output.add(entry.get());
    JNIJSONObject config;
    config.put("output", &output);
    return CreateWithInput(program, "aggregate", &config, input);
}
