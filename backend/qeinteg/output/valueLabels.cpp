#include "qeinteg/output/valueLabels.h"

void valueLabels::addValueLabel(const std::string& value, const std::string& label) {
    stringLabels_[value] = label;
}

void valueLabels::addValueLabel(double value, const std::string& label) {
    numericLabels_[value] = label;
}

std::string valueLabels::getValueLabel(double value) const {
    auto it = numericLabels_.find(value);
    return it == numericLabels_.end() ? std::string() : it->second;
}

std::string valueLabels::getValueLabel(const std::string& value) const {
    auto it = stringLabels_.find(value);
    return it == stringLabels_.end() ? std::string() : it->second;
}
