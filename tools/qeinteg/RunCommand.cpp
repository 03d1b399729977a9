#include "RunCommand.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/engine/io/CsvRowSource.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"
#include "qeinteg/runner/StatQEServiceManager.h"

namespace {

const char* const kUsage =
    "usage: qeinteg run JOB.qel [--input NAME=FILE.csv ...] [--set NAME=VALUE ...]\n"
    "  Runs the job text on the local engine. --input offers a CSV file (with a header line) as\n"
    "  the input iterator NAME, which the job reads with read({\"dataSource\":\"NAME\"}).\n"
    "  --set replaces the value bound by \"val NAME = ...\" (VALUE is JSON or a lambda), or adds\n"
    "  the binding when the job has none. The engine's messages go to standard output, its error\n"
    "  to standard error (exit code 1); a progress bar is drawn when standard error is a\n"
    "  terminal.\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "qeinteg run: %s\n", message.c_str());
    return 2;
}

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

class ConsoleListener final : public EmbeddedQE::ExtendedExecutionListener {
  public:
    ConsoleListener() : bar_(isatty(fileno(stderr)) != 0) {}
    void onCancel() override { ending = "cancelled"; }
    void onError(const std::string& id, const std::string& message, const std::string&) override {
        ending = "error";
        error = id + ": " + message;
    }
    void onInit(const std::string&) override {}
    void onMessage(const std::string& text) override { line(text); }
    void onMessage(const std::string& id, const std::string& text) override {
        line(id + ": " + text);
    }
    void onProgress(float fraction) override {
        if (!bar_)
            return;
        const int width = 40;
        const int done = static_cast<int>(fraction * width + 0.5f);
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(done), '#').c_str(),
                     std::string(static_cast<size_t>(width - done), ' ').c_str(),
                     static_cast<int>(fraction * 100 + 0.5f));
        std::fflush(stderr);
        drawn_ = true;
    }
    void onSuccess() override { ending = "success"; }
    void finishBar() {
        if (drawn_)
            std::fputs("\n", stderr);
        drawn_ = false;
    }
    std::string ending;
    std::string error;

  private:
    void line(const std::string& text) {
        finishBar();
        std::printf("%s\n", text.c_str());
    }
    bool bar_;
    bool drawn_ = false;
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
    std::string jobPath;
    std::vector<std::pair<std::string, std::string>> inputs;
    std::vector<std::pair<std::string, std::string>> sets;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--input" || arg == "--set") {
            if (i + 1 >= argc)
                return Fail(arg + " needs NAME=VALUE");
            const std::string pair = argv[++i];
            const size_t eq = pair.find('=');
            if (eq == std::string::npos || eq == 0)
                return Fail(arg + " needs NAME=VALUE, not '" + pair + "'");
            (arg == "--input" ? inputs : sets)
                .emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
            continue;
        }
        if (!arg.empty() && arg[0] == '-')
            return Fail("unknown option '" + arg + "'");
        if (!jobPath.empty())
            return Fail("one job file only");
        jobPath = arg;
    }
    if (jobPath.empty())
        return Fail("no job file given (see qeinteg run --help)");
    std::ifstream file(jobPath, std::ios::binary);
    if (!file)
        return Fail("cannot read " + jobPath);
    std::ostringstream text;
    text << file.rdbuf();
    std::string job = text.str();
    for (const auto& [name, value] : sets)
        job = SetBinding(job, name, value);

    std::vector<std::unique_ptr<CsvInputIterator>> iterators;
    try {
        for (const auto& [name, path] : inputs)
            iterators.push_back(std::make_unique<CsvInputIterator>(name, path));
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    JNIEnv* env = JNIObjectManager::getManager()->getEnv();
    if (env == nullptr)
        return Fail("could not start the Java VM");
    ConsoleListener listener;
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
        listener.finishBar();
        std::fprintf(stderr, "qeinteg run: %s\n", e.getMessage().c_str());
        return 1;
    }
    listener.finishBar();
    StatQEServiceManager::shutdown();
    JNIObjectManager::releaseManager();
    if (listener.ending == "success")
        return 0;
    if (listener.ending == "error") {
        std::fprintf(stderr, "qeinteg run: %s\n", listener.error.c_str());
        return 1;
    }
    std::fprintf(stderr, "qeinteg run: the job was cancelled\n");
    return 1;
}
