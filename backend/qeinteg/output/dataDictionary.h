// A named set of field descriptions, keyed by the exact (case-sensitive) field name. The state sits
// behind one owned pointer; copies are deep.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "qeinteg/output/dataField.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT dataDictionary {
  public:
    dataDictionary();
    ~dataDictionary();
    dataDictionary(const dataDictionary& other);
    dataDictionary& operator=(const dataDictionary& other);

    void setName(const std::string& name);
    std::string& getName();
    const std::string& getName() const;

    // Stores a copy of the field under its name, replacing any field of that name.
    void addField(const dataField& field);
    // A copy of the named field; a default field (empty name) when there is none.
    dataField getField(std::string name) const;
    bool hasField(const std::string& name) const;
    // All fields in name order.
    const std::map<std::string, dataField>& fields() const;

  private:
    struct State {
        std::string name;
        std::map<std::string, dataField> fields;
    };
    std::unique_ptr<State> state_;
};
