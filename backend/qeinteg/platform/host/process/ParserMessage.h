// The host's message service for a procedure: translation of texts the library shows, and the
// notes a procedure leaves when it ignores the weight or split-file setting.
//
// Translation goes through a process-wide table that is empty by default, so every text translates
// to itself; tests fill it with qehost::SetTranslation to see where translation happens.
#pragma once

#include <string>

class ParserMessage {
  public:
    ParserMessage() = default;
    virtual ~ParserMessage();

    // Notes that the procedure runs unweighted although a weight is set.
    virtual void DisableWeight();
    // Notes that the procedure ignores the split-file setting.
    virtual void DisableSplit();
    // The text in the user's language; a text without translation comes back unchanged.
    virtual std::string GetTranslatedText(const std::string& text) const;

    bool WeightDisabled() const { return weightDisabled_; }
    bool SplitDisabled() const { return splitDisabled_; }

  private:
    bool weightDisabled_ = false;
    bool splitDisabled_ = false;
};

namespace qehost {

// The translation of `text`, or `text` itself when the table has none.
std::string TranslateText(const std::string& text);
// Adds (or replaces) one translation. Reset for each test.
void SetTranslation(const std::string& text, const std::string& translation);

// How many times any ParserMessage was told DisableWeight / DisableSplit since the last reset.
int DisableWeightCount();
int DisableSplitCount();

}  // namespace qehost
