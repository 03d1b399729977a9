// Helpers of the local engine's execution tests: shared datasets, zip entries, an in-memory row
// iterator and a listener that records a run.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTypes.h"
#include "qeinteg/platform/engine/service/EmbeddedQE.h"

namespace enginetest {

// An output container that is just a name and a file path.
class PathContainer final : public EmbeddedQE::Container {
  public:
    PathContainer(std::string name, std::string path)
        : name_(std::move(name)), path_(std::move(path)) {}
    std::string getName() override { return name_; }
    std::string getAbsolutePath() override { return path_; }

  private:
    std::string name_;
    std::string path_;
};

// Path of a public dataset in the shared data directory.
std::string SharedData(const std::string& name);

// The content of entry `name` of the zip archive at `path`; nullopt when missing or unreadable.
std::optional<std::string> ReadZipEntry(const std::string& path, const std::string& name);
// Names of the entries of the archive at `path` (empty when it cannot be opened).
std::vector<std::string> ZipEntryNames(const std::string& path);

// The columns of a simple CSV file without quoted cells (the public datasets), header first.
std::vector<std::vector<std::string>> ReadPlainCsv(const std::string& path);

// A row iterator over in-memory rows. A numeric cell is a number text or "" for missing; a string
// cell is its text, or "\x01" for missing. Optionally reports `failStatus` at row `failAt`.
class MemoryIterator final : public EmbeddedQE::RowDataIterator {
  public:
    MemoryIterator(std::string name, std::vector<qelocal::EngineField> fields,
                   std::vector<std::vector<std::string>> rows);
    std::string getName() override { return name_; }
    std::string getDataModel() override;
    uint32_t nextRecord() override;
    uint32_t getRecordValue(size_t index, const void** data, size_t* length) override;
    void dispose(JNIEnv*) override {}
    uint32_t Rewind() override {
        row_ = -1;
        return 0;
    }

    int failAt = -1;
    uint32_t failStatus = 2;
    std::atomic<int> pulled{0};
    // Pulling blocks this long per row (to give a cancelling thread time).
    int delayMicros = 0;

  private:
    std::string name_;
    std::vector<qelocal::EngineField> fields_;
    std::vector<std::vector<std::string>> rows_;
    long row_ = -1;
    double number_ = 0;
};

// Records listener events in order.
class RecordingListener final : public EmbeddedQE::ExtendedExecutionListener {
  public:
    void onCancel() override { add("cancel"); }
    void onError(const std::string&, const std::string& message, const std::string&) override {
        add("error");
        std::lock_guard<std::mutex> lock(mutex_);
        errorText = message;
    }
    void onInit(const std::string&) override { add("init"); }
    void onMessage(const std::string& text) override { add("message:" + text); }
    void onProgress(float fraction) override {
        std::lock_guard<std::mutex> lock(mutex_);
        progress.push_back(fraction);
    }
    void onSuccess() override { add("success"); }
    void onMessage(const std::string&, const std::string& text) override { add("message:" + text); }

    // Events other than progress and messages.
    std::vector<std::string> endings() const;

    std::vector<std::string> events;
    std::vector<float> progress;
    std::string errorText;

  private:
    void add(const std::string& event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events.push_back(event);
    }
    mutable std::mutex mutex_;
};

}  // namespace enginetest
