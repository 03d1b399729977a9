#include "qeinteg/platform/host/process/FacSTDictionary.h"

#include "qeinteg/platform/host/process/ParserMessage.h"

std::string FacSTDictionary::LookUp(const std::string& key) const {
    return qehost::TranslateText(key);
}
