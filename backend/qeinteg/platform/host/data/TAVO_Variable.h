// A variable of a host dataset's dictionary: name and label (host code page), type (0 numeric, else
// the string width), display format, measurement level, role, value labels and missing values.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qeinteg/platform/host/data/HostValues.h"
#include "qeinteg/platform/host/data/TAVO_Format.h"

namespace TAVO_Variable_Enumerations {
enum MeasurementLevel : int { Unknown = 0, Nominal = 1, Ordinal = 2, Scale = 3 };
// The host's variable roles.
enum Role : int {
    RoleInput = 0,
    RoleTarget = 1,
    RoleBoth = 2,
    RoleNone = 3,
    RolePartition = 4,
    RoleSplit = 5
};
}  // namespace TAVO_Variable_Enumerations

class TAVO_Variable {
  public:
    // One value label: the value's slots (one for a number, the padded string otherwise).
    struct ValueLabel {
        std::vector<OBS> value;
        std::string label;
    };

    // type: 0 for numeric, else the string width (1 to 32767). The format follows the type.
    TAVO_Variable(std::string name, int type);

    // A copy of a string variable with another width (value labels re-padded to it); a numeric
    // variable is copied as it is.
    TAVO_Variable WithWidth(int width) const;

    const std::string& GetName() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    const std::string& GetLabel() const { return label_; }
    void SetLabel(std::string label) { label_ = std::move(label); }
    int GetType() const { return type_; }
    // Number of case slots the variable spans.
    int SlotCount() const { return type_ == 0 ? 1 : (type_ + 7) / 8; }

    const TAVO_Format& GetFormat() const { return format_; }
    const TAVO_Format& GetFormatEx() const { return format_; }
    // Ignored when the format does not suit the type (a string format on a numeric or the reverse).
    bool SetFormat(const TAVO_Format& format);

    TAVO_Variable_Enumerations::MeasurementLevel GetMeasurementLevel() const { return level_; }
    void SetMeasurementLevel(TAVO_Variable_Enumerations::MeasurementLevel level) { level_ = level; }
    int GetRole() const { return role_; }
    void SetRole(int role) { role_ = role; }

    // Value labels, in the order they were added; a later label for the same value replaces it.
    const std::vector<ValueLabel>& GetValueLabels() const { return valueLabels_; }
    void AddValueLabel(double value, std::string label);
    void AddValueLabel(std::string_view value, std::string label);
    void ClearValueLabels() { valueLabels_.clear(); }

    // Missing values. count is 0 to 3 for discrete values, -2 for a range low..high, -3 for a
    // range and one discrete value (values[2]). For a string variable each value holds the first
    // eight bytes of the missing text.
    void GetMissingValues(int& count, OBS values[3]) const;
    int GetMissingCount() const { return missingCount_; }
    // Replaces the missing values. Numeric variables only; false when the request is invalid.
    bool SetMissingValues(const std::vector<double>& discrete);
    bool SetMissingRange(double low, double high);
    bool SetMissingRange(double low, double high, double discrete);
    // String variables only: up to three texts (host code page, at most eight bytes each unless
    // the variable is wider).
    bool SetStringMissingValues(const std::vector<std::string>& texts);
    const std::vector<std::string>& GetStringMissingValues() const { return stringMissing_; }
    void ClearMissingValues();

    // True when the value is one of the user-missing values (system-missing is not user-missing).
    bool IsMissing(double value) const { return missingCount_ != 0 && IsMissingSlow(value); }
    // For a string variable: true when the value (the variable's width in bytes) equals a missing
    // text, trailing blanks ignored.
    bool IsMissing(const char* value) const {
        return missingCount_ != 0 && value != nullptr && IsMissingSlow(value);
    }

  private:
    bool IsMissingSlow(double value) const;
    bool IsMissingSlow(const char* value) const;

    std::string name_;
    std::string label_;
    int type_;
    TAVO_Format format_;
    TAVO_Variable_Enumerations::MeasurementLevel level_ = TAVO_Variable_Enumerations::Unknown;
    int role_ = TAVO_Variable_Enumerations::RoleInput;
    std::vector<ValueLabel> valueLabels_;
    int missingCount_ = 0;
    double missing_[3] = {0, 0, 0};
    std::vector<std::string> stringMissing_;
};
