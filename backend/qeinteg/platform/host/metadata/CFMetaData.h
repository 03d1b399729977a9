// The field list of a dataset as the host metadata layer describes it, exported to and read from
// data model XML (docs/data-model-xml.md).
#pragma once

#include <string>
#include <vector>

#include "qeinteg/platform/host/metadata/CFField.h"

class CFMetaData {
  public:
    CFMetaData() = default;
    // Reads data model XML; on failure the metadata is empty and GetError() says why.
    explicit CFMetaData(const std::string& xmlText);

    int FieldCount() const { return static_cast<int>(fields_.size()); }
    // REQUIRES: 0 <= i < FieldCount().
    const CFField& GetField(int i) const { return fields_.at(i); }
    CFField& GetField(int i) { return fields_.at(i); }
    void AddField(CFField field) { fields_.push_back(std::move(field)); }
    void Clear() { fields_.clear(); }
    // Index of the field with this name (exact, UTF-8); -1 when none.
    int FindField(const std::string& name) const;

    // Writes the data model XML of the fields.
    void ExportXMLDoc(std::string& xml) const;
    // Replaces the fields with those of the XML text; false (fields cleared) on failure.
    bool ImportXMLDoc(const std::string& xml);
    const std::string& GetError() const { return error_; }

    friend bool operator==(const CFMetaData& a, const CFMetaData& b) {
        return a.fields_ == b.fields_;
    }

  private:
    std::vector<CFField> fields_;
    std::string error_;
};
