// The host's string dictionary: translations of the texts procedures show, by key.
#pragma once

#include <string>

class FacSTDictionary {
  public:
    virtual ~FacSTDictionary() = default;
    // The translation of `key`; the key itself when there is none.
    virtual std::string LookUp(const std::string& key) const;
};
