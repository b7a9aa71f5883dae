#include "CommandLine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

int Nothing(const cli::ParsedArgs&) { return 0; }

const std::vector<cli::CommandSpec> kCommands = {
    {"list", {}, {{"--seconds", "S", ""}, {"--format", "F", ""}}, "", Nothing},
    {"set-ip", {"MAC", "IP"}, {{"--password", "P", ""}, {"--dry-run", "", ""}}, "", Nothing},
    {"activate", {"[MAC]"}, {{"--type", "CODE", ""}}, "", Nothing},
    {"set-time", {"ENDPOINT..."}, {{"--now", "", ""}}, "", Nothing},
    {"report", {"[TARGET...]"}, {}, "", Nothing},
};

struct ParseCase {
    std::vector<const char*> argv;
    bool ok;
    std::string command;
    size_t options;
};

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, AcceptsWhatTheCommandDeclares) {
    const ParseCase& c = GetParam();
    std::vector<const char*> argv = {"lorvex-search"};
    argv.insert(argv.end(), c.argv.begin(), c.argv.end());
    cli::ParsedArgs args;
    std::string error;
    ASSERT_EQ(cli::Parse(static_cast<int>(argv.size()), argv.data(), kCommands, &args, &error),
              c.ok)
        << error;
    if (!c.ok) {
        EXPECT_FALSE(error.empty());
        return;
    }
    EXPECT_EQ(args.command->name, c.command);
    EXPECT_EQ(args.options.size(), c.options);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ParseTest,
    ::testing::Values(ParseCase{{"list"}, true, "list", 0},
                      ParseCase{{"list", "--seconds", "2", "--format", "json"}, true, "list", 2},
                      ParseCase{{"list", "--format", "--seconds"}, true, "list", 1},
                      ParseCase{{}, false, "", 0}, ParseCase{{"lst"}, false, "", 0},
                      ParseCase{{"list", "--seconds"}, false, "", 0},
                      ParseCase{{"list", "--second", "2"}, false, "", 0},
                      ParseCase{{"list", "--seconds", "2", "--seconds", "3"}, false, "", 0},
                      ParseCase{{"list", "extra"}, false, "", 0},
                      ParseCase{{"list", "--password", "x"}, false, "", 0},
                      ParseCase{{"set-ip", "AA", "1.2.3.4", "--dry-run"}, true, "set-ip", 1},
                      ParseCase{{"set-ip", "AA", "--password", "p"}, false, "", 0},
                      ParseCase{{"activate"}, true, "activate", 0},
                      ParseCase{{"activate", "AA"}, true, "activate", 0},
                      ParseCase{{"activate", "--type", "ZVK_IPC"}, true, "activate", 1},
                      ParseCase{{"activate", "AA", "BB"}, false, "", 0},
                      ParseCase{{"set-time", "A", "B", "C", "--now"}, true, "set-time", 1},
                      ParseCase{{"set-time", "A"}, true, "set-time", 0},
                      ParseCase{{"set-time", "--now"}, false, "", 0},
                      ParseCase{{"report"}, true, "report", 0},
                      ParseCase{{"report", "A", "B"}, true, "report", 0}));

TEST(CommandLine, PositionalsAndValuesAreKept) {
    const char* argv[] = {"x", "set-ip", "--password", "a b;$(rm)", "M", "I", "--dry-run"};
    cli::ParsedArgs args;
    std::string error;
    ASSERT_TRUE(cli::Parse(7, argv, kCommands, &args, &error));
    EXPECT_EQ(args.positionals, (std::vector<std::string>{"M", "I"}));
    EXPECT_EQ(args.Get("--password", ""), "a b;$(rm)");
    EXPECT_TRUE(args.Has("--dry-run"));
    EXPECT_EQ(args.Get("--format", "table"), "table");
}

TEST(CommandLine, SecondsMustBeAFiniteNumberInRange) {
    double v = -1;
    for (const char* bad : {"", "x", "3s", "-1", "nan", "inf", "1e400", "100"})
        EXPECT_FALSE(cli::ParseSeconds(bad, 0.001, 99, &v)) << bad;
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(cli::ParseSeconds("2.5", 0.001, 99, &v));
    EXPECT_EQ(v, 2.5);
}

TEST(CommandLine, UsageNamesEveryCommandAndOption) {
    const std::string usage = cli::Usage("lorvex-search", kCommands);
    for (const char* word : {"lorvex-search list", "[--seconds S]", "set-ip MAC IP", "[--dry-run]"})
        EXPECT_NE(usage.find(word), std::string::npos) << word;
}

} // namespace

namespace {

// Where the password comes from, in the order the help promises; a
// password typed on the command line only with the option that says it is
// visible.
TEST(ReadPassword, TakesTheFirstSourceThatGivesOne) {
    struct Row {
        const char* option;  // --password; null: not given
        const char* visible; // --visible-password; null: not given
        const char* environment;
        const char* input;
        bool terminal;
        bool ok;
        const char* password;
    } rows[] = {
        {"-", nullptr, "env", "from stdin\r\nsecond line\n", true, true, "from stdin"},
        {"-", nullptr, nullptr, "", false, false, ""},     // nothing on standard input
        {"-", nullptr, nullptr, "\n", false, true, ""},    // an empty password is one
        {"typed", nullptr, "env", "x\n", true, false, ""}, // visible, yet not said so
        {nullptr, "typed", "env", "x\n", true, true, "typed"},
        {nullptr, "", nullptr, "", false, true, ""},
        {nullptr, nullptr, "env", "x\n", true, true, "env"},
        {nullptr, nullptr, nullptr, "x\n", true, true, "asked"},
        {nullptr, nullptr, nullptr, "x\n", false, false, ""}, // a pipe is never read unasked
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.option ? r.option : "none") + " " +
                     (r.visible ? r.visible : "none") + " " +
                     (r.environment ? r.environment : "-") + " " + (r.terminal ? "tty" : "pipe"));
        cli::ParsedArgs args;
        if (r.option)
            args.options["--password"] = r.option;
        if (r.visible)
            args.options["--visible-password"] = r.visible;
        std::istringstream input(r.input);
        cli::PasswordSources from;
        from.args = &args;
        from.environment = r.environment;
        from.input = &input;
        from.inputIsTerminal = r.terminal;
        from.prompt = [](std::string* out) { return *out = "asked", true; };
        std::string password, error;
        EXPECT_EQ(cli::ReadPassword(from, &password, &error), r.ok) << error;
        if (r.ok)
            EXPECT_EQ(password, r.password);
        else
            EXPECT_FALSE(error.empty());
    }
}

// The setup code from its sources, checked before anything could be sent:
// a typo is refused with the kind of typo, never echoing the code.
TEST(ReadSetupCode, TakesTheFirstSourceAndRefusesTypos) {
    struct Row {
        const char* option; // --setup-code; null: not given
        const char* input;
        bool terminal;
        bool ok;
        const char* result; // the canonical code, or a word of the reason
    } rows[] = {
        {"ABCD-EFGH-JKD2", "", false, true, "ABCD-EFGH-JKD2"},
        {"abcd efgh jkd2", "", false, true, "ABCD-EFGH-JKD2"},
        {"-", "abcdefghjkd2\r\nsecond\n", false, true, "ABCD-EFGH-JKD2"},
        {"-", "", false, false, "no line"},
        {nullptr, "x\n", true, true, "7QX4-M2RT-VWQP"},        // asked at the terminal
        {nullptr, "ABCD-EFGH-JKD2\n", false, false, "needed"}, // a pipe is never read unasked
        {"ABCD-EFGH-JKD3", "", false, false, "mistyped"},
        {"ABCD-EFGH-JK", "", false, false, "12 characters"},
        {"ABCD-EFGH-JKU2", "", false, false, "character"},
        {"", "", false, false, "no setup code"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.option ? r.option : "none") + (r.terminal ? " tty" : " pipe"));
        cli::ParsedArgs args;
        if (r.option)
            args.options["--setup-code"] = r.option;
        std::istringstream input(r.input);
        cli::SetupCodeSources from;
        from.args = &args;
        from.input = &input;
        from.inputIsTerminal = r.terminal;
        from.prompt = [](std::string* out) { return *out = "7qx4 m2rt vwqp", true; };
        std::string code, error;
        EXPECT_EQ(cli::ReadSetupCode(from, &code, &error), r.ok) << error;
        if (r.ok) {
            EXPECT_EQ(code, r.result);
        } else {
            EXPECT_NE(error.find(r.result), std::string::npos) << error;
            EXPECT_EQ(error.find("ABCD-EFGH"), std::string::npos) << error;
        }
    }
}

} // namespace
