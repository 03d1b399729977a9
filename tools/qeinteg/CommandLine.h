// What every qeinteg subcommand shares: option parsing with --help and --version, the exit codes,
// one-line failure reports and a progress bar on stderr. A new subcommand declares its options on
// a CommandLine, calls Parse, and reports failures through Failure:
//
//   qecli::CommandLine cli("count", "FILE.csv", "count the records of a CSV file");
//   bool json = false;
//   cli.Flag("--json", json, "print one JSON document instead of text");
//   std::vector<std::string> files;
//   cli.Positionals(files, "FILE.csv", 1, 1);
//   if (auto exit = cli.Parse(argc, argv)) return *exit;
//   ...
//   if (!ok) return cli.Failure(files[0], "it has no header line");
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace qecli {

// Exit codes: success, a failure while doing the work, a command line that does not parse.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The program's version ("qeinteg 0.1.0").
std::string VersionText();

// Runs a subcommand's entry point in this process with `args` (the subcommand's name first), as
// main would hand them over; for tests and fuzz targets.
int RunInProcess(int (*command)(int, char**), std::vector<std::string> args);

// Flattens a message to one line: line breaks become "; ", surrounding blanks go.
std::string OneLine(const std::string& text);

// Why `path` cannot be read as a regular file ("No such file or directory", "it is a
// directory", ...); empty when it can.
std::string UnreadableCause(const std::string& path);

// Reads the whole of a regular file into `text`. On failure `cause` says why and false is returned.
bool ReadWholeFile(const std::string& path, std::string& text, std::string& cause);

// The items of a comma-separated option value; empty items (",,", a trailing comma) are skipped.
std::vector<std::string> SplitList(const std::string& text);

// The options and arguments of one subcommand. The references given to Flag, Option, Repeated
// and Positionals must outlive Parse.
class CommandLine {
  public:
    // `command` is the subcommand's name, `synopsis` what follows it in the usage line, `summary`
    // one line saying what it does.
    CommandLine(std::string command, std::string synopsis, std::string summary);

    // "--name": sets `value` to true.
    void Flag(const std::string& name, bool& value, const std::string& help);
    // "--name VALUE" (or "--name=VALUE"): the last one given wins.
    void Option(const std::string& name, const std::string& valueName, std::string& value,
                const std::string& help);
    // "--name VALUE", any number of times, in order.
    void Repeated(const std::string& name, const std::string& valueName,
                  std::vector<std::string>& values, const std::string& help);
    // Between `min` and `max` plain arguments ("-" alone counts as one; "--" ends the options).
    void Positionals(std::vector<std::string>& values, std::size_t min, std::size_t max);

    // Parses argv[1..argc-1] (argv[0] is the subcommand's name). Nothing when the command should
    // run; otherwise the exit code to return at once: kExitOk after --help or --version (printed
    // on stdout), kExitUsage after a usage error (one line and the usage line on stderr).
    std::optional<int> Parse(int argc, char** argv);

    // "usage: qeinteg COMMAND SYNOPSIS".
    std::string UsageLine() const;
    // The usage line, the summary and one line per option.
    void PrintHelp(std::FILE* out) const;
    // "qeinteg COMMAND: MESSAGE" and the usage line on stderr; returns kExitUsage.
    int UsageError(const std::string& message) const;
    // "qeinteg COMMAND: FILE: CAUSE" as one line on stderr; returns kExitFailure. An empty file
    // leaves out that part.
    int Failure(const std::string& file, const std::string& cause) const;

  private:
    enum class Kind { Flag, Option, Repeated };
    struct OptionDef {
        std::string name;
        std::string valueName;
        std::string help;
        Kind kind;
        bool* flag = nullptr;
        std::string* value = nullptr;
        std::vector<std::string>* values = nullptr;
    };
    const OptionDef* Find(const std::string& name) const;

    std::string command_;
    std::string synopsis_;
    std::string summary_;
    std::vector<OptionDef> options_;
    std::vector<std::string>* positionals_ = nullptr;
    std::size_t minPositionals_ = 0;
    std::size_t maxPositionals_ = 0;
};

// A one-line progress bar on stderr. It draws only when stderr is a terminal (or when told to),
// redraws only when the shown percentage changes, and clears its line when finished or destroyed.
class ProgressBar {
  public:
    explicit ProgressBar(std::string label);
    ProgressBar(std::string label, bool enabled, std::FILE* out);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool Enabled() const { return enabled_; }
    // `fraction` is clamped to 0..1.
    void Update(double fraction);
    // Clears the bar's line.
    void Finish();

    // The line drawn for a fraction: "label [#####.....]  50%".
    static std::string Line(const std::string& label, double fraction, int width);

  private:
    std::string label_;
    bool enabled_;
    std::FILE* out_;
    int shown_ = -1;
    bool drawn_ = false;
};

}  // namespace qecli
