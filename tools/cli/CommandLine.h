// Command-line parsing for lorvex-search: one subcommand, then its options
// (--name VALUE, or --name alone for a flag) and its positional arguments.
// Each subcommand declares what it takes; adding one is adding an entry.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <istream>
#include <map>
#include <string>
#include <vector>

namespace cli {

struct OptionInfo {
    std::string name;      // "--seconds"
    std::string valueName; // "S"; empty for a flag without value
    std::string help;
};

struct ParsedArgs;

struct CommandSpec {
    std::string name; // "list"
    // Names of the positional arguments; a name in brackets ("[MAC]") is
    // optional, and only the last ones may be; a last name ending in "..."
    // ("ENDPOINT...") takes one or more, in brackets ("[ENDPOINT...]") none
    // or more.
    std::vector<std::string> positionals;
    std::vector<OptionInfo> options;
    std::string help;
    int (*run)(const ParsedArgs& args) = nullptr;
};

struct ParsedArgs {
    const CommandSpec* command = nullptr;
    // --help (or -h) stood where an option may: the command's usage is
    // asked for, and nothing else of the line was checked.
    bool help = false;
    std::map<std::string, std::string> options; // given options; flags map to ""
    std::vector<std::string> positionals;

    bool Has(const std::string& name) const { return options.count(name) != 0; }
    // The option's value, or fallback when it was not given.
    std::string Get(const std::string& name, const std::string& fallback) const;
};

// Parses argv[1..argc-1] against the commands. False with a one-line reason
// in error for an unknown command or option, a missing value, a repeated
// option or a number of positional arguments the command does not take;
// out->command is the command when it was known. --help or -h in place of
// an option sets out->help and succeeds whatever else the line holds.
bool Parse(int argc, const char* const* argv, const std::vector<CommandSpec>& commands,
           ParsedArgs* out, std::string* error);

// The usage text listing every command with its arguments and options.
std::string Usage(const std::string& program, const std::vector<CommandSpec>& commands);

// One command's usage: "usage: PROGRAM NAME ARGS [OPTIONS]", what it does,
// then one line per option.
std::string CommandUsage(const std::string& program, const CommandSpec& command);

// The synopsis line of every command and how to ask for one's usage.
std::string Overview(const std::string& program, const std::vector<CommandSpec>& commands);

// What UsageError shows: the program's name, its commands, and the command
// of the line being run (null while none is known: the overview is shown).
// The vector must outlive every later UsageError.
void SetUsageContext(const std::string& program, const std::vector<CommandSpec>& commands,
                     const CommandSpec* command);

// Writes "PROGRAM: reason" (one line) and the usage of the context's
// command to standard error; returns the exit status of
// lorvex::Outcome::UsageError.
int UsageError(const std::string& reason);

// Reads a decimal number (fractions allowed) in [min, max]; false otherwise.
bool ParseSeconds(const std::string& text, double min, double max, double* out);

// Where a device password comes from, first match wins:
//   --password -            the first line of `input` (without its line break);
//   --visible-password P    P itself: visible to every user of the machine in
//                           the process list, so it takes an option that says so;
//   LORVEX_PASSWORD         `environment` (null if unset), taken once at start;
//   `prompt` (a question without echo) when `input` is a terminal.
// False with a one-line reason when none gives one, `-` meets an empty input,
// or --password is given anything but `-`.
// Room a password line is read into, so that the text is never moved (and
// a copy left behind) while it is read; a longer line still reads whole.
constexpr std::size_t kPasswordLineReserve = 1024;
struct PasswordSources {
    const ParsedArgs* args = nullptr;
    const char* environment = nullptr;
    std::istream* input = nullptr;
    bool inputIsTerminal = false;
    std::function<bool(std::string* password)> prompt;
};
bool ReadPassword(const PasswordSources& from, std::string* password, std::string* error);

// The options of ReadPassword, for every command that takes a password.
std::vector<OptionInfo> PasswordOptions();

// Where a device's setup code comes from, first match wins:
//   --setup-code -      the next line of `input` (the line after the
//                       password's when --password - read one too);
//   --setup-code CODE   CODE itself;
//   `prompt` (a question without echo) when `input` is a terminal.
// The code is checked (commission::CheckSetupCode) and given in canonical
// form. False with a one-line reason naming the problem when none gives
// one or it is not a setup code; nothing is to be sent then.
struct SetupCodeSources {
    const ParsedArgs* args = nullptr;
    std::istream* input = nullptr;
    bool inputIsTerminal = false;
    std::function<bool(std::string* code)> prompt;
};
bool ReadSetupCode(const SetupCodeSources& from, std::string* code, std::string* error);

// The flag the signal handler sets (Ctrl+C, SIGTERM): once it reads true,
// every command ends its waits and sends no further request. main sets it
// once, before any command runs.
void SetStopFlag(const std::atomic<bool>* stop);
// The flag as SetStopFlag gave it (null before), for calls that take one.
const std::atomic<bool>* StopFlag();
// Whether the flag is set.
bool Stopped();

} // namespace cli
