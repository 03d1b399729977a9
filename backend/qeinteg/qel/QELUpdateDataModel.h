// Builds the "updateDataModel" function, which changes the data model of named fields as the
// records of its one input pass: measure, storage, role, label, value labels, missing values and
// geometry metadata. Each field collects its changes in one update object; a later change of the
// same kind replaces the earlier one.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/host/metadata/CFField.h"
#include "qeinteg/platform/host/metadata/CFGeo.h"
#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/QELFunction.h"

class CFMissingValues;
class CFValue;
class JNIJSONObject;

class QEINTEG_EXPORT QELUpdateDataModel : public QELFunction {
  public:
    explicit QELUpdateDataModel(JNIQelProgram* program);
    // A copy holds its own duplicates of the update objects.
    QELUpdateDataModel(const QELUpdateDataModel& other);
    QELUpdateDataModel& operator=(const QELUpdateDataModel& other);
    ~QELUpdateDataModel() override;

    // Codes outside the tables create the field's update object but write nothing.
    void Update(const std::string& field, CFField::FieldType measure);
    void Update(const std::string& field, CFField::StorageType storage);
    void Update(const std::string& field, CFField::RoleType role);
    void Update(const std::string& field, const std::string& label);
    // Value labels; an empty list changes nothing.
    void Update(const std::string& field, const std::vector<CFValue>& labels);
    // Missing values; written only when valid and not empty.
    void Update(const std::string& field, const CFMissingValues& missing);
    // Geometry metadata (types outside the table write nothing); coordinates is the coordinate
    // dimension, written when greater than 0.
    void Update(const std::string& field, CFGeo::Type type, int coordinates);
    // With the coordinate system: wkid, name and projection flag are written when wkid > 0, the
    // well-known text when not empty.
    void Update(const std::string& field, CFGeo::Type type, int coordinates, int wkid,
                const std::string& csName, bool isProjected, const std::string& wkt);
    // With the envelope of the geometry as well.
    void Update(const std::string& field, CFGeo::Type type, int coordinates, int wkid,
                const std::string& csName, bool isProjected, const std::string& wkt,
                double leftUpperX, double leftUpperY, double rightLowerX, double rightLowerY);

    // Number of fields that have an update object.
    int SizeOfUpdate() const { return static_cast<int>(fields_.size()); }
    void FieldSensitive(bool sensitive) { fieldSensitive_ = sensitive; }
    bool IsFieldSensitive() const { return fieldSensitive_; }

  protected:
    // Configuration {"fields": [update objects in field-name order]}.
    JNIQelFunction* CreateFunction(JNIQelProgram& program, JNIQelFunction* input) override;

  private:
    struct Envelope {
        double leftUpperX, leftUpperY, rightLowerX, rightLowerY;
    };

    // The field's update object, made as {"name": field} when it has none yet.
    JNIJSONObject& FieldObject(const std::string& field);
    void PutGeo(const std::string& field, CFGeo::Type type, int coordinates, int wkid,
                const std::string& csName, bool isProjected, const std::string& wkt,
                const Envelope* envelope);

    bool fieldSensitive_ = false;
    std::map<std::string, std::unique_ptr<JNIJSONObject>> fields_;
    // The created function's configuration holds the update objects themselves; the first change
    // after that works on copies, so the created function stays as it was generated.
    bool objectsInFunction_ = false;
};
