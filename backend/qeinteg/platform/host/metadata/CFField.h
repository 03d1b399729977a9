// One field of the host metadata layer: name, measure, storage, role, label, display format,
// value labels and missing values. Texts are UTF-8.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "qeinteg/platform/host/metadata/CFMissingValues.h"
#include "qeinteg/platform/host/metadata/CFValue.h"

class CFField {
  public:
    enum FieldType {
        Continuous = 0,
        Nominal = 1,
        Ordinal = 2,
        Flag = 3,
        Discrete = 4,
        Typeless = 5
    };
    enum StorageType { Integer = 1, Real = 2, String = 3, Date = 4, Time = 5, Timestamp = 6 };
    enum RoleType {
        Input = 0,
        Target = 1,
        Both = 2,
        Partition = 3,
        Split = 4,
        FreqWeight = 5,
        RecordId = 6,
        None = 7
    };

    CFField() = default;
    CFField(std::string name, FieldType measure, StorageType storage, RoleType role)
        : name_(std::move(name)), measure_(measure), storage_(storage), role_(role) {}

    const std::string& GetName() const { return name_; }
    FieldType GetMeasure() const { return measure_; }
    StorageType GetStorage() const { return storage_; }
    RoleType GetRole() const { return role_; }
    void SetMeasure(FieldType measure) { measure_ = measure; }
    void SetStorage(StorageType storage) { storage_ = storage; }
    void SetRole(RoleType role) { role_ = role; }

    bool HasLabel() const { return !label_.empty(); }
    const std::string& GetLabel() const { return label_; }
    void SetLabel(std::string label) { label_ = std::move(label); }

    // The host display format of the field ("F8.2"); empty when none was set.
    const std::string& GetPrivateFormat() const { return format_; }
    void SetPrivateFormat(std::string format) { format_ = std::move(format); }

    const std::vector<CFValue>& GetValueLabels() const { return valueLabels_; }
    void SetValueLabels(std::vector<CFValue> labels) { valueLabels_ = std::move(labels); }

    // Null when the field has no missing values.
    const CFMissingValues* GetMissingValues() const { return missing_ ? &*missing_ : nullptr; }
    void SetMissingValues(CFMissingValues missing) { missing_ = std::move(missing); }

    // The job-language texts of the codes ("continuous", "real", "freqWeight"); null outside the
    // tables.
    static const char* MeasureName(int measure);
    static const char* StorageName(int storage);
    static const char* RoleName(int role);
    // The codes of those texts; -1 for an unknown text.
    static int MeasureFromName(const std::string& name);
    static int StorageFromName(const std::string& name);
    static int RoleFromName(const std::string& name);

    friend bool operator==(const CFField&, const CFField&) = default;

  private:
    std::string name_;
    FieldType measure_ = Continuous;
    StorageType storage_ = Real;
    RoleType role_ = Input;
    std::string label_;
    std::string format_;
    std::vector<CFValue> valueLabels_;
    std::optional<CFMissingValues> missing_;
};
