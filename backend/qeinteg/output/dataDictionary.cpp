#include "qeinteg/output/dataDictionary.h"

dataDictionary::dataDictionary() : state_(std::make_unique<State>()) {}
dataDictionary::~dataDictionary() = default;
dataDictionary::dataDictionary(const dataDictionary& other)
    : state_(std::make_unique<State>(*other.state_)) {}

dataDictionary& dataDictionary::operator=(const dataDictionary& other) {
    if (this != &other)
        *state_ = *other.state_;
    return *this;
}

void dataDictionary::setName(const std::string& name) {
    state_->name = name;
}
std::string& dataDictionary::getName() {
    return state_->name;
}
const std::string& dataDictionary::getName() const {
    return state_->name;
}

void dataDictionary::addField(const dataField& field) {
    state_->fields.insert_or_assign(field.getName(), field);
}

dataField dataDictionary::getField(std::string name) const {
    auto it = state_->fields.find(name);
    return it == state_->fields.end() ? dataField() : it->second;
}

bool dataDictionary::hasField(const std::string& name) const {
    return state_->fields.count(name) != 0;
}

const std::map<std::string, dataField>& dataDictionary::fields() const {
    return state_->fields;
}
