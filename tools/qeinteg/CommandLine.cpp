#include "CommandLine.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef QEINTEG_VERSION
#define QEINTEG_VERSION "unknown"
#endif

namespace qecli {

std::string VersionText() {
    return std::string("qeinteg ") + QEINTEG_VERSION;
}

int RunInProcess(int (*command)(int, char**), std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return command(static_cast<int>(args.size()), argv.data());
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        const size_t comma = text.find(',', start);
        const size_t stop = comma == std::string::npos ? text.size() : comma;
        if (stop > start)
            out.push_back(text.substr(start, stop - start));
        start = stop + 1;
    }
    return out;
}

std::string OneLine(const std::string& text) {
    std::string out;
    bool lineBreak = false;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            lineBreak = true;
            continue;
        }
        if (lineBreak && (c == ' ' || c == '\t'))
            continue;  // the indentation of the next line
        if (lineBreak) {
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            if (!out.empty())
                out += "; ";
            lineBreak = false;
        }
        out += c;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    const auto first = out.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : out.substr(first);
}

std::string UnreadableCause(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec)
        return ec.message();
    if (std::filesystem::is_directory(status))
        return "it is a directory";
    if (!std::filesystem::is_regular_file(status))
        return "it is not a regular file";
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return errno != 0 ? std::strerror(errno) : "cannot open it";
    std::fclose(file);
    return "";
}

bool ReadWholeFile(const std::string& path, std::string& text, std::string& cause) {
    cause = UnreadableCause(path);
    if (!cause.empty())
        return false;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in && !in.eof()) {
        cause = "cannot read it";
        return false;
    }
    text = content.str();
    return true;
}

CommandLine::CommandLine(std::string command, std::string synopsis, std::string summary)
    : command_(std::move(command)), synopsis_(std::move(synopsis)), summary_(std::move(summary)) {}

void CommandLine::Flag(const std::string& name, bool& value, const std::string& help) {
    options_.push_back({name, "", help, Kind::Flag, &value, nullptr, nullptr});
}

void CommandLine::Option(const std::string& name, const std::string& valueName, std::string& value,
                         const std::string& help) {
    options_.push_back({name, valueName, help, Kind::Option, nullptr, &value, nullptr});
}

void CommandLine::Repeated(const std::string& name, const std::string& valueName,
                           std::vector<std::string>& values, const std::string& help) {
    options_.push_back({name, valueName, help, Kind::Repeated, nullptr, nullptr, &values});
}

void CommandLine::Positionals(std::vector<std::string>& values, std::size_t min, std::size_t max) {
    positionals_ = &values;
    minPositionals_ = min;
    maxPositionals_ = max;
}

const CommandLine::OptionDef* CommandLine::Find(const std::string& name) const {
    for (const OptionDef& s : options_) {
        if (s.name == name)
            return &s;
    }
    return nullptr;
}

std::optional<int> CommandLine::Parse(int argc, char** argv) {
    std::vector<std::string> plain;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            plain.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            PrintHelp(stdout);
            return kExitOk;
        }
        if (arg == "--version") {
            std::printf("%s\n", VersionText().c_str());
            return kExitOk;
        }
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        const OptionDef* option = Find(name);
        if (option == nullptr)
            return UsageError("unknown option " + name);
        if (option->kind == Kind::Flag) {
            if (inlineValue)
                return UsageError(name + " takes no value");
            *option->flag = true;
            continue;
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            return UsageError("missing " + option->valueName + " after " + name);
        }
        if (option->kind == Kind::Option) {
            *option->value = value;
        } else {
            option->values->push_back(value);
        }
    }
    if (plain.size() < minPositionals_ || plain.size() > maxPositionals_) {
        if (plain.size() > maxPositionals_)
            return UsageError("unexpected argument " + plain[maxPositionals_]);
        return UsageError(plain.empty() ? "missing arguments" : "too few arguments");
    }
    if (positionals_ != nullptr)
        *positionals_ = std::move(plain);
    return std::nullopt;
}

std::string CommandLine::UsageLine() const {
    return "usage: qeinteg " + command_ + (synopsis_.empty() ? "" : " " + synopsis_);
}

void CommandLine::PrintHelp(std::FILE* out) const {
    std::fprintf(out, "%s\n%s\n", UsageLine().c_str(), summary_.c_str());
    std::vector<std::pair<std::string, std::string>> rows;
    for (const OptionDef& s : options_)
        rows.emplace_back(s.name + (s.valueName.empty() ? "" : " " + s.valueName), s.help);
    rows.emplace_back("--help", "show this help and exit");
    rows.emplace_back("--version", "show the version and exit");
    std::size_t width = 0;
    for (const auto& row : rows)
        width = std::max(width, row.first.size());
    std::fprintf(out, "options:\n");
    for (const auto& [left, right] : rows) {
        std::fprintf(out, "  %-*s  %s\n", static_cast<int>(width), left.c_str(), right.c_str());
    }
}

int CommandLine::UsageError(const std::string& message) const {
    std::fprintf(stderr, "qeinteg %s: %s\n%s\n", command_.c_str(), OneLine(message).c_str(),
                 UsageLine().c_str());
    return kExitUsage;
}

int CommandLine::Failure(const std::string& file, const std::string& cause) const {
    const std::string where = file.empty() ? std::string() : file + ": ";
    std::fprintf(stderr, "qeinteg %s: %s%s\n", command_.c_str(), where.c_str(),
                 OneLine(cause).c_str());
    return kExitFailure;
}

ProgressBar::ProgressBar(std::string label)
    : ProgressBar(std::move(label), ::isatty(STDERR_FILENO) == 1, stderr) {}

ProgressBar::ProgressBar(std::string label, bool enabled, std::FILE* out)
    : label_(std::move(label)), enabled_(enabled), out_(out) {}

ProgressBar::~ProgressBar() {
    Finish();
}

std::string ProgressBar::Line(const std::string& label, double fraction, int width) {
    if (!(fraction >= 0))
        fraction = 0;  // NaN too
    fraction = std::min(fraction, 1.0);
    const int filled = static_cast<int>(std::floor(fraction * width));
    const int percent = static_cast<int>(std::floor(fraction * 100));
    char tail[8];
    std::snprintf(tail, sizeof tail, " %3d%%", percent);
    return label + " [" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(width - filled), '.') + "]" + tail;
}

void ProgressBar::Update(double fraction) {
    if (!enabled_)
        return;
    if (!(fraction >= 0))
        fraction = 0;
    const int percent = static_cast<int>(std::floor(std::min(fraction, 1.0) * 100));
    if (percent == shown_)
        return;
    shown_ = percent;
    drawn_ = true;
    std::fprintf(out_, "\r%s", Line(label_, fraction, 30).c_str());
    std::fflush(out_);
}

void ProgressBar::Finish() {
    if (!drawn_)
        return;
    drawn_ = false;
    shown_ = -1;
    std::fprintf(out_, "\r%*s\r", static_cast<int>(Line(label_, 1, 30).size()), "");
    std::fflush(out_);
}

}  // namespace qecli
