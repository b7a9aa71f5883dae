#include "CommandLine.h"

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Outcomes.h"
#include "Secret.h"
#include "SetupCodes.h"

namespace cli {

namespace {

const CommandSpec* FindCommand(const std::vector<CommandSpec>& commands, const std::string& name) {
    for (const CommandSpec& c : commands)
        if (c.name == name)
            return &c;
    return nullptr;
}

const OptionInfo* FindOption(const CommandSpec& command, const std::string& name) {
    for (const OptionInfo& o : command.options)
        if (o.name == name)
            return &o;
    return nullptr;
}

bool Fail(std::string* error, const std::string& reason) {
    *error = reason;
    return false;
}

// Takes the option at argv[*i] (and its value); advances *i past what it used.
bool TakeOption(int argc, const char* const* argv, int* i, ParsedArgs* out, std::string* error) {
    const std::string name = argv[*i];
    const OptionInfo* option = FindOption(*out->command, name);
    if (option == nullptr)
        return Fail(error, "unknown option " + name + " for " + out->command->name);
    if (out->Has(name))
        return Fail(error, "option " + name + " given twice");
    if (option->valueName.empty())
        return out->options[name] = "", true;
    if (*i + 1 >= argc)
        return Fail(error, "option " + name + " needs a value");
    out->options[name] = argv[++*i];
    return true;
}

} // namespace

std::string ParsedArgs::Get(const std::string& name, const std::string& fallback) const {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
}

bool Parse(int argc, const char* const* argv, const std::vector<CommandSpec>& commands,
           ParsedArgs* out, std::string* error) {
    *out = ParsedArgs();
    if (argc < 2)
        return Fail(error, "no command given");
    out->command = FindCommand(commands, argv[1]);
    if (out->command == nullptr)
        return Fail(error, std::string("unknown command ") + argv[1]);
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return out->help = true, true;
        if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            if (!TakeOption(argc, argv, &i, out, error))
                return false;
        } else {
            out->positionals.push_back(arg);
        }
    }
    const std::vector<std::string>& names = out->command->positionals;
    const size_t optional = static_cast<size_t>(std::count_if(
        names.begin(), names.end(), [](const std::string& n) { return n.front() == '['; }));
    const size_t given = out->positionals.size();
    std::string last = names.empty() ? std::string() : names.back();
    if (!last.empty() && last.back() == ']')
        last.pop_back(); // "[ENDPOINT...]": none or more
    const bool repeated = last.size() > 3 && last.compare(last.size() - 3, 3, "...") == 0;
    if (repeated && given >= names.size() - optional)
        return true;
    if (repeated)
        return Fail(error, out->command->name + " takes at least " + std::to_string(names.size()) +
                               " argument(s)");
    if (given > names.size() || given < names.size() - optional)
        return Fail(error, out->command->name + " takes " +
                               (optional == 0 ? std::to_string(names.size())
                                              : std::to_string(names.size() - optional) + " to " +
                                                    std::to_string(names.size())) +
                               " argument(s)");
    return true;
}

namespace {

std::string SynopsisOf(const std::string& program, const CommandSpec& c) {
    std::string text = program + " " + c.name;
    for (const std::string& p : c.positionals)
        text += " " + p;
    for (const OptionInfo& o : c.options)
        text += " [" + o.name + (o.valueName.empty() ? "" : " " + o.valueName) + "]";
    return text;
}

std::string DetailsOf(const CommandSpec& c) {
    std::string text = "      " + c.help + "\n";
    for (const OptionInfo& o : c.options)
        text += "      " + o.name + ": " + o.help + "\n";
    return text;
}

struct UsageContext {
    std::string program;
    const std::vector<CommandSpec>* commands = nullptr;
    const CommandSpec* command = nullptr;
};

UsageContext& Context() {
    static UsageContext context;
    return context;
}

} // namespace

std::string Usage(const std::string& program, const std::vector<CommandSpec>& commands) {
    std::string text = "usage:\n";
    for (const CommandSpec& c : commands)
        text += "  " + SynopsisOf(program, c) + "\n" + DetailsOf(c);
    text += "  " + program + " help [COMMAND]\n      this usage, or only that of COMMAND (as " +
            program + " COMMAND --help)\n";
    return text;
}

std::string CommandUsage(const std::string& program, const CommandSpec& command) {
    return "usage: " + SynopsisOf(program, command) + "\n" + DetailsOf(command);
}

std::string Overview(const std::string& program, const std::vector<CommandSpec>& commands) {
    std::string text = "usage:\n";
    for (const CommandSpec& c : commands)
        text += "  " + program + " " + c.name + " ...\n";
    return text + program + " help COMMAND (or " + program +
           " COMMAND --help) shows a command's arguments and options; " + program +
           " --help shows all\n";
}

void SetUsageContext(const std::string& program, const std::vector<CommandSpec>& commands,
                     const CommandSpec* command) {
    Context() = UsageContext{program, &commands, command};
}

int UsageError(const std::string& reason) {
    const UsageContext& c = Context();
    std::string text = c.program + ": " + reason + "\n";
    if (c.command != nullptr)
        text += CommandUsage(c.program, *c.command);
    else if (c.commands != nullptr)
        text += Overview(c.program, *c.commands);
    std::fputs(text.c_str(), stderr);
    return lorvex::ExitCodeOf(lorvex::Outcome::UsageError);
}

bool ParseSeconds(const std::string& text, double min, double max, double* out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\0' || !std::isfinite(value))
        return false;
    if (value < min || value > max)
        return false;
    *out = value;
    return true;
}

bool ReadPassword(const PasswordSources& from, std::string* password, std::string* error) {
    const bool hasOption = from.args != nullptr && from.args->Has("--password");
    if (hasOption && from.args->Get("--password", "") != "-") {
        *error = "--password takes only - (a line from standard input); a password on the "
                 "command line is visible to every user of the machine: give it with "
                 "--visible-password P";
        return false;
    }
    if (hasOption) {
        password->reserve(kPasswordLineReserve); // read in place, never moved
        if (from.input == nullptr || !std::getline(*from.input, *password)) {
            *error = "--password - found no line on standard input";
            return false;
        }
        if (!password->empty() && password->back() == '\r')
            password->pop_back();
        return true;
    }
    if (from.args != nullptr && from.args->Has("--visible-password")) {
        *password = from.args->Get("--visible-password", "");
        return true;
    }
    if (from.environment != nullptr) {
        *password = from.environment;
        return true;
    }
    if (from.inputIsTerminal && from.prompt && from.prompt(password))
        return true;
    *error = "a password is needed: --password -, LORVEX_PASSWORD or a terminal to ask on";
    return false;
}

std::vector<OptionInfo> PasswordOptions() {
    return {{"--password", "-",
             "read the device's password from the first line of standard input; without it the "
             "password comes from LORVEX_PASSWORD, else it is asked without echo at a terminal"},
            {"--visible-password", "P",
             "the device's password P itself, visible to every user of the machine (process "
             "list, shell history); never printed"}};
}

bool ReadSetupCode(const SetupCodeSources& from, std::string* code, std::string* error) {
    std::string typed;
    const SecretGuard wipe(&typed);
    const bool hasOption = from.args != nullptr && from.args->Has("--setup-code");
    if (hasOption && from.args->Get("--setup-code", "") == "-") {
        typed.reserve(kPasswordLineReserve); // read in place, never moved
        if (from.input == nullptr || !std::getline(*from.input, typed)) {
            *error = "--setup-code - found no line on standard input";
            return false;
        }
    } else if (hasOption) {
        typed = from.args->Get("--setup-code", "");
    } else if (!from.inputIsTerminal || !from.prompt || !from.prompt(&typed)) {
        *error = "the device's setup code is needed (on its label): --setup-code CODE, "
                 "--setup-code - or a terminal to ask on";
        return false;
    }
    if (!typed.empty() && typed.back() == '\r')
        typed.pop_back();
    const commission::SetupCodeProblem problem = commission::CheckSetupCode(typed, code);
    if (problem == commission::SetupCodeProblem::None)
        return true;
    *error = std::string("not a setup code: ") + commission::SetupCodeProblemText(problem) +
             "; nothing sent";
    return false;
}

namespace {
const std::atomic<bool>* g_stop = nullptr;
} // namespace

void SetStopFlag(const std::atomic<bool>* stop) { g_stop = stop; }

const std::atomic<bool>* StopFlag() { return g_stop; }

bool Stopped() { return g_stop != nullptr && g_stop->load(); }

} // namespace cli
