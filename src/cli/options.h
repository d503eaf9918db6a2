// The command line of quillmark-check: one table of options that both the parser and
// --help read, so that an option is added in one place.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qmcli {

struct Options {
    std::optional<int> type;
    std::optional<std::string> processes;
    std::optional<std::string> from, to;
    std::string settingDir, logDir;
    bool json = false;
    bool doclist = false;    // --doclist: the deliverables list after the summary
    std::string reportPath;  // --report FILE.pdf
    bool help = false;
    bool helpMan = false;  // --help-man: the option sections of the manual page (build step)
    bool version = false;
    std::vector<std::string> media;
};

// A refusal of the command line: "caption: text" on stderr, exit 2.
struct CliError {
    std::string caption;
    std::string text;
    bool showUsage = false;
};

struct OptionSpec {
    const char* name;       // "--type"
    const char* alias;      // another spelling ("-h"), or nullptr
    const char* valueName;  // what follows ("1|2"), nullptr for a switch
    const char* help;       // one line for --help
    // Takes the value (empty for a switch); answers a refusal, or nothing.
    std::function<std::optional<CliError>(Options&, const std::string&)> apply;
    const char* detail = nullptr;  // the manual page's paragraph (help when nullptr)
    bool hidden = false;           // left out of --help, the manual page and the usage
};

const std::vector<OptionSpec>& optionTable();

// Reads the arguments after the program name ("--name value" or "--name=value"; "--"
// ends the options). Answers a refusal, or nothing.
std::optional<CliError> parseArguments(const std::vector<std::string>& args, Options& out);

std::string usageText();
std::string helpText();
// The SYNOPSIS, OPTIONS and PROCESS CODES sections of the manual page (roff), from the
// same table as helpText(); the build puts them into doc/quillmark-check.1.in.
std::string manSectionsText();
std::string versionText();

// One date of the update-date period, "Y-M-D" where each part is a run of digits.
// A refusal names the part (開始年, 終了月, ...). warning receives a note when the date
// is not in the calendar; it is then checked as given.
std::optional<CliError> parseDate(const std::string& text, bool start, int16_t out[3], std::string& warning);

}  // namespace qmcli
