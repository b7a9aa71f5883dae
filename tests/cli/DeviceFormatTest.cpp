// Output forms of lorvex-search with hostile device texts: whatever a device
// sends, JSON stays valid, CSV keeps its columns and the terminal gets no
// control characters.

#include "DeviceFormat.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace format;

SEARCH_INFO Record(const char* name) {
    SEARCH_INFO r;
    std::memset(&r, 0, sizeof r);
    std::strncpy(r.devName, name, sizeof r.devName - 1);
    std::strcpy(r.mac, "00:1A:2B:3C:4D:5E");
    r.httpPort = -80;
    r.dhcpSwitch = 1;
    return r;
}

struct TextCase {
    std::string in;
    std::string json; // inside the quotes
    std::string terminal;
    std::string csv;
};

class HostileTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(HostileTextTest, IsEscapedForEveryForm) {
    const TextCase& c = GetParam();
    EXPECT_EQ(JsonString(c.in), "\"" + c.json + "\"");
    EXPECT_EQ(TerminalText(c.in), c.terminal);
    EXPECT_EQ(CsvField(c.in), c.csv);
}

INSTANTIATE_TEST_SUITE_P(
    Format, HostileTextTest,
    ::testing::Values(TextCase{"plain", "plain", "plain", "plain"},
                      TextCase{"a\"b\\c", "a\\\"b\\\\c", "a\"b\\c", "\"a\"\"b\\c\""},
                      TextCase{"x\x1B[2Jy\n", "x\\u001b[2Jy\\u000a", "x[2Jy", "\"x\x1B[2Jy\n\""},
                      TextCase{"del\x7F", "del\\u007f", "del", "del\x7F"},
                      TextCase{"c1\xC2\x9B"
                               "31m",
                               "c1\xC2\x9B"
                               "31m",
                               "c131m",
                               "c1\xC2\x9B"
                               "31m"},
                      TextCase{"bad\x9B\xFF", "bad\xEF\xBF\xBD\xEF\xBF\xBD",
                               "bad\xEF\xBF\xBD\xEF\xBF\xBD", "bad\xEF\xBF\xBD\xEF\xBF\xBD"},
                      TextCase{"cut\xE5\xBD", "cut\xEF\xBF\xBD\xEF\xBF\xBD",
                               "cut\xEF\xBF\xBD\xEF\xBF\xBD", "cut\xEF\xBF\xBD\xEF\xBF\xBD"},
                      TextCase{"over\xC0\xAF", "over\xEF\xBF\xBD\xEF\xBF\xBD",
                               "over\xEF\xBF\xBD\xEF\xBF\xBD", "over\xEF\xBF\xBD\xEF\xBF\xBD"},
                      TextCase{"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
                               "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
                               "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
                      TextCase{"\xE5\x89\x8D\xE9\x97\xA8", "\xE5\x89\x8D\xE9\x97\xA8",
                               "\xE5\x89\x8D\xE9\x97\xA8", "\xE5\x89\x8D\xE9\x97\xA8"},
                      TextCase{"=HYPERLINK(1)", "=HYPERLINK(1)", "=HYPERLINK(1)", "'=HYPERLINK(1)"},
                      TextCase{"-1,2", "-1,2", "-1,2", "\"'-1,2\""},
                      TextCase{"@x", "@x", "@x", "'@x"}));

TEST(Format, JsonRecordParsesBackWithEveryField) {
    const SEARCH_INFO r = Record("door \"1\"\x01\xFF");
    const auto doc = nlohmann::json::parse(RecordJson(r, false));
    EXPECT_EQ(doc.size(), RecordFields().size() - 1);
    EXPECT_FALSE(doc.contains("event"));
    EXPECT_EQ(doc["devName"], "door \"1\"\x01\xEF\xBF\xBD");
    EXPECT_EQ(doc["httpPort"], -80);
    EXPECT_EQ(doc["dhcpSwitch"], 1);
    EXPECT_EQ(doc["mac"], "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(nlohmann::json::parse(RecordJson(r, true))["event"], 0);
}

// A text that fills its field without a terminating zero must not run into
// the next field.
TEST(Format, TextsAreReadOnlyWithinTheirField) {
    SEARCH_INFO r = Record("");
    std::memset(r.devName, 'N', sizeof r.devName);
    std::memset(r.ipAddr, 'I', sizeof r.ipAddr);
    const auto doc = nlohmann::json::parse(RecordJson(r, false));
    EXPECT_EQ(doc["devName"], std::string(sizeof r.devName, 'N'));
    EXPECT_EQ(doc["ipAddr"], std::string(sizeof r.ipAddr, 'I'));
}

TEST(Format, CsvLinesKeepTheirColumns) {
    const SEARCH_INFO r = Record("a,b\"\nc");
    const std::string line = RecordCsv(r, true);
    EXPECT_EQ(CsvHeader(true).substr(0, 14), "event,devName,");
    EXPECT_EQ(line.substr(0, 12), "0,\"a,b\"\"\nc\",");
    // Outside quotes, the commas count the columns.
    int commas = 0;
    bool quoted = false;
    for (char c : line)
        quoted ^= c == '"', commas += !quoted && c == ',';
    EXPECT_EQ(commas + 1, static_cast<int>(RecordFields().size()));
}

// The character column where `needle` starts in line.
size_t ColumnOf(const std::string& line, const std::string& needle) {
    size_t chars = 0;
    for (size_t i = 0; i < line.find(needle); ++i)
        chars += (line[i] & 0xC0) != 0x80;
    return chars;
}

TEST(Format, TableAlignsColumnsByCharacters) {
    const std::string table = RecordTable({Record("\xE5\x89\x8D\xE9\x97\xA8"), Record("abcd\x1B")});
    EXPECT_EQ(table.find('\x1B'), std::string::npos);
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = table.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(table.substr(at, end - at));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(ColumnOf(lines[1], "00:1A"), ColumnOf(lines[0], "mac"));
    EXPECT_EQ(ColumnOf(lines[2], "00:1A"), ColumnOf(lines[0], "mac"));
}

TEST(Format, EventLinesNameTheEvent) {
    SEARCH_INFO r = Record("cam\n");
    EXPECT_EQ(EventLine(r).substr(0, 25), "new     00:1A:2B:3C:4D:5E");
    EXPECT_EQ(EventLine(r).find('\n'), std::string::npos);
    r.event = SEARCH_EVENT_GONE;
    EXPECT_EQ(EventLine(r), "gone    00:1A:2B:3C:4D:5E");
    EXPECT_EQ(EventName(2), "changed");
    EXPECT_EQ(EventName(7), "event 7");
}

} // namespace
