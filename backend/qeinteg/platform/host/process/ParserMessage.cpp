#include "qeinteg/platform/host/process/ParserMessage.h"

#include <atomic>
#include <map>
#include <mutex>

#include "qeinteg/platform/host/testing/HostTesting.h"

namespace {

struct MessageState {
    std::mutex mutex;
    std::map<std::string, std::string> translations;
    // translations.size(), read without the lock: with no translation at all (the usual case) a
    // text is its own translation, and tables name their labels a million times.
    std::atomic<std::size_t> translationCount{0};
    int disableWeight = 0;
    int disableSplit = 0;
};

MessageState& State() {
    static auto* state = new MessageState();
    return *state;
}

[[maybe_unused]] const bool registered = qehost::testing::RegisterResetHook([](const std::string&) {
    MessageState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.translations.clear();
    s.translationCount = 0;
    s.disableWeight = 0;
    s.disableSplit = 0;
});

}  // namespace

ParserMessage::~ParserMessage() = default;

void ParserMessage::DisableWeight() {
    weightDisabled_ = true;
    MessageState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.disableWeight;
}

void ParserMessage::DisableSplit() {
    splitDisabled_ = true;
    MessageState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.disableSplit;
}

std::string ParserMessage::GetTranslatedText(const std::string& text) const {
    return qehost::TranslateText(text);
}

namespace qehost {

std::string TranslateText(const std::string& text) {
    MessageState& s = State();
    if (s.translationCount.load(std::memory_order_acquire) == 0)
        return text;
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.translations.find(text);
    return it == s.translations.end() ? text : it->second;
}

void SetTranslation(const std::string& text, const std::string& translation) {
    MessageState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.translations[text] = translation;
    s.translationCount.store(s.translations.size(), std::memory_order_release);
}

int DisableWeightCount() {
    MessageState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.disableWeight;
}

int DisableSplitCount() {
    MessageState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.disableSplit;
}

}  // namespace qehost
