// Labels for the values of one field: string values and numeric values kept apart, each in its own
// natural order, so that listings come out sorted without extra work.
#pragma once

#include <map>
#include <string>

#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT valueLabels {
  public:
    // Sets the label of a value; a later call for the same value replaces the label.
    void addValueLabel(const std::string& value, const std::string& label);
    void addValueLabel(double value, const std::string& label);

    // The label of the value, empty when it has none. Numbers are matched exactly.
    std::string getValueLabel(double value) const;
    std::string getValueLabel(const std::string& value) const;

    const std::map<std::string, std::string>& stringLabels() const { return stringLabels_; }
    const std::map<double, std::string>& numericLabels() const { return numericLabels_; }

  private:
    std::map<std::string, std::string> stringLabels_;
    std::map<double, std::string> numericLabels_;
};
