// Builds the "aggregate" function: grouped summaries of the records of its one input. Each
// summary is an entry {"input", "function", "outName"} added in order.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/QELFunction.h"

class JNIJSONObject;

class QEINTEG_EXPORT QELAggregate : public QELFunction {
  public:
    explicit QELAggregate(JNIQelProgram* program);
    // Summary entries never change once added, so copies share them; the last builder holding one
    // releases it.
    QELAggregate(const QELAggregate& other);
    QELAggregate& operator=(const QELAggregate& other);
    ~QELAggregate() override;

    // A summary of input by the engine's aggregate function; outName may be empty. Only "count"
    // may go without an input: any other function with an empty input is not added.
    void AddAggregate(const std::string& function, const std::string& input,
                      const std::string& outName);
    // A percentile (centile 1 to 100) of input; anything else, or an empty input, is not added.
    void AddPercentileAggregate(int centile, const std::string& input, const std::string& outName);

    // Number of summary entries added.
    size_t GetAggregateCount() const { return aggregates_.size(); }

  protected:
    JNIQelFunction* CreateFunction(JNIQelProgram& program, JNIQelFunction* input) override;

  private:
    std::vector<std::shared_ptr<JNIJSONObject>> aggregates_;
};
