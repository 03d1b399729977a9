#include "RunCommand.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandLine.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/engine/io/CsvRowSource.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"
#include "qeinteg/runner/StatQEServiceManager.h"

namespace {

using Json = nlohmann::ordered_json;

// A CSV file offered to the engine as an input iterator.
class CsvInputIterator final : public EmbeddedQE::RowDataIterator {
  public:
    CsvInputIterator(std::string name, std::string path)
        : name_(std::move(name)), path_(std::move(path)) {
        open();
    }
    std::string getName() override { return name_; }
    std::string getDataModel() override { return qelocal::DataModelDocument(source_->fields()); }
    uint32_t nextRecord() override {
        try {
            return source_->next() ? 0 : 1;
        } catch (const std::exception& e) {
            error = e.what();
            return 2;
        }
    }
    uint32_t getRecordValue(size_t index, const void** data, size_t* length) override {
        try {
            const qelocal::Cell cell = source_->cell(index);
            if (cell.missing) {
                *data = nullptr;
                *length = 0;
            } else if (source_->fields()[index].storage == qelocal::Storage::String) {
                texts_[index].assign(cell.text);
                *data = texts_[index].data();
                *length = texts_[index].size();
            } else {
                numbers_[index] = cell.number;
                *data = &numbers_[index];
                *length = sizeof(double);
            }
            return 0;
        } catch (const std::exception& e) {
            error = e.what();
            return 2;
        }
    }
    void dispose(JNIEnv*) override {}
    uint32_t Rewind() override {
        open();
        return 0;
    }
    std::string error;

  private:
    void open() {
        source_ = std::make_unique<qelocal::CsvRowSource>(path_, true, std::nullopt);
        numbers_.assign(source_->fields().size(), 0.0);
        texts_.assign(source_->fields().size(), std::string());
    }
    std::string name_;
    std::string path_;
    std::unique_ptr<qelocal::CsvRowSource> source_;
    std::vector<double> numbers_;
    std::vector<std::string> texts_;
};

// Follows a run: its messages go to standard output as they come (or are kept for the JSON
// document), its progress to the bar.
class ConsoleListener final : public EmbeddedQE::ExtendedExecutionListener {
  public:
    ConsoleListener(std::string label, bool keepMessages)
        : bar_(std::move(label)), keep_(keepMessages) {}
    void onCancel() override { ending = "cancelled"; }
    void onError(const std::string& id, const std::string& message,
                 const std::string& detail) override {
        ending = "error";
        errorId = id;
        error = message;
        errorDetail = detail;
    }
    void onInit(const std::string&) override {}
    void onMessage(const std::string& text) override { line(std::nullopt, text); }
    void onMessage(const std::string& id, const std::string& text) override { line(id, text); }
    void onProgress(float fraction) override { bar_.Update(fraction); }
    void onSuccess() override { ending = "success"; }
    void finishBar() { bar_.Finish(); }

    std::string ending;
    std::string errorId;
    std::string error;
    std::string errorDetail;
    Json messages = Json::array();

  private:
    void line(const std::optional<std::string>& id, const std::string& text) {
        if (keep_) {
            messages.push_back({{"id", id ? Json(*id) : Json()}, {"text", text}});
            return;
        }
        bar_.Finish();
        std::printf("%s\n", (id ? *id + ": " + text : text).c_str());
        std::fflush(stdout);
    }
    qecli::ProgressBar bar_;
    bool keep_;
};

// Replaces (or adds) "val NAME = VALUE" in the job text.
std::string SetBinding(const std::string& job, const std::string& name, const std::string& value) {
    std::istringstream in(job);
    std::string line;
    std::string out;
    bool replaced = false;
    const std::string prefix = "val " + name;
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0) {
            const size_t eq = line.find('=', prefix.size());
            const std::string between = line.substr(prefix.size(), eq - prefix.size());
            if (eq != std::string::npos && between.find_first_not_of(" \t") == std::string::npos) {
                line = prefix + " = " + value;
                replaced = true;
            }
        }
        out += line + "\n";
    }
    return replaced ? out : "val " + name + " = " + value + "\n" + out;
}

}  // namespace

int RunRunCommand(int argc, char** argv) {
    qecli::CommandLine cli(
        "run", "JOB.qel [--input NAME=FILE.csv ...] [--set NAME=VALUE ...] [--json]",
        "run a job text on the local engine; its messages go to standard output, a failure to "
        "standard error");
    std::vector<std::string> inputTexts;
    std::vector<std::string> setTexts;
    bool json = false;
    std::vector<std::string> jobs;
    cli.Repeated("--input", "NAME=FILE.csv", inputTexts,
                 "offer a CSV file (with a header line) as the input iterator NAME, read by "
                 "read({\"dataSource\":\"NAME\"})");
    cli.Repeated("--set", "NAME=VALUE", setTexts,
                 "replace the value bound by \"val NAME = ...\" (JSON or a lambda), or add it");
    cli.Flag("--json", json, "print one JSON document (status, messages, error) instead of text");
    cli.Positionals(jobs, 1, 1);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    std::vector<std::pair<std::string, std::string>> inputs;
    std::vector<std::pair<std::string, std::string>> sets;
    for (const auto* list : {&inputTexts, &setTexts}) {
        const bool input = list == &inputTexts;
        for (const std::string& pair : *list) {
            const size_t eq = pair.find('=');
            if (eq == std::string::npos || eq == 0) {
                return cli.UsageError(std::string(input ? "--input" : "--set") +
                                      " needs NAME=VALUE, not '" + pair + "'");
            }
            (input ? inputs : sets).emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
        }
    }
    const std::string& jobPath = jobs[0];
    std::string job;
    if (std::string cause; !qecli::ReadWholeFile(jobPath, job, cause))
        return cli.Failure(jobPath, cause);
    for (const auto& [name, value] : sets)
        job = SetBinding(job, name, value);

    std::vector<std::unique_ptr<CsvInputIterator>> iterators;
    for (const auto& [name, path] : inputs) {
        try {
            iterators.push_back(std::make_unique<CsvInputIterator>(name, path));
        } catch (const std::exception& e) {
            return cli.Failure(path, e.what());
        }
    }
    JNIEnv* env = JNIObjectManager::getManager()->getEnv();
    if (env == nullptr)
        return cli.Failure("", "could not start the Java VM");
    ConsoleListener listener("run " + std::filesystem::path(jobPath).filename().string(), json);
    std::string thrown;
    try {
        EmbeddedQE::QEServiceManager* service = StatQEServiceManager::get(false);
        std::unique_ptr<EmbeddedQE::QEExecutor> executor(
            service->getExecutionService()->createExecutor("en_US"));
        executor->prepare(env, job);
        for (auto& it : iterators)
            executor->addInputIterator(env, it.get(), 0);
        executor->execute(env, &listener);
        executor->release(env);
    } catch (const EmbeddedQE::Exception& e) {
        thrown = e.getMessage();
        listener.ending = "error";
        listener.error = thrown;
    }
    listener.finishBar();
    StatQEServiceManager::shutdown();
    JNIObjectManager::releaseManager();
    if (listener.ending.empty())
        listener.ending = "cancelled";  // a run that ended without saying how did not finish
    // An input that broke off mid-run says why the engine's read failed.
    for (const auto& it : iterators) {
        if (!it->error.empty() && listener.ending == "error")
            listener.error += ": " + it->error;
    }
    if (json) {
        Json out = Json::object();
        out["job"] = jobPath;
        out["status"] = listener.ending;
        out["messages"] = listener.messages;
        out["error"] =
            listener.ending == "error"
                ? Json{{"id", listener.errorId.empty() ? Json() : Json(listener.errorId)},
                       {"message", listener.error},
                       {"detail", listener.errorDetail}}
                : Json();
        std::printf("%s\n", out.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
    }
    if (listener.ending == "success")
        return qecli::kExitOk;
    if (listener.ending == "error") {
        return cli.Failure(jobPath, listener.errorId.empty()
                                        ? listener.error
                                        : listener.errorId + ": " + listener.error);
    }
    return cli.Failure(jobPath, "the job was cancelled");
}
