#include "qeinteg/platform/host/FacSTDictionary.h"

#include "qeinteg/platform/host/ParserMessage.h"

std::string FacSTDictionary::LookUp(const std::string& key) const {
    return qehost::TranslateText(key);
}
