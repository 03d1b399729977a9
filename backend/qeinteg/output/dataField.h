// One field of a dataset as an output document describes it. Every property is plain text chosen by
// whoever fills it; nothing here interprets them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "qeinteg/output/valueLabels.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT dataField {
  public:
    void setName(std::string name) { name_ = std::move(name); }
    const std::string& getName() const { return name_; }
    void setLabel(std::string label) { label_ = std::move(label); }
    const std::string& getLabel() const { return label_; }
    void setMeasurementLevel(std::string level) { measurementLevel_ = std::move(level); }
    std::string getMeasurementLevel() const { return measurementLevel_; }
    void setStorage(std::string storage) { storage_ = std::move(storage); }
    const std::string& getStorage() const { return storage_; }
    void setRole(std::string role) { role_ = std::move(role); }
    const std::string& getRole() const { return role_; }
    void setDecimalPlaces(int decimals) { decimalPlaces_ = decimals; }
    int getDecimalPlaces() const { return decimalPlaces_; }

    void addValueLabel(std::string value, std::string label) {
        valueLabels_.addValueLabel(value, label);
    }
    void addValueLabel(double value, std::string label) {
        valueLabels_.addValueLabel(value, label);
    }
    std::string getValueLabel(std::string value) const { return valueLabels_.getValueLabel(value); }
    std::string getValueLabel(double value) const { return valueLabels_.getValueLabel(value); }
    const valueLabels& getValueLabels() const { return valueLabels_; }

  private:
    std::string name_;
    std::string label_;
    std::string measurementLevel_;
    std::string storage_;
    std::string role_;
    valueLabels valueLabels_;
    std::int32_t decimalPlaces_ = 0;
};
