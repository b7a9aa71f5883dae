// Output forms of lorvex-search with hostile device texts: whatever a device
// sends, JSON stays valid, CSV keeps its columns and the terminal gets no
// control characters.

#include "DeviceFormat.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>
#include <stdexcept>
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

SEARCH_INFO Device(const char* ip, const char* mac, const char* series, int activated) {
    SEARCH_INFO r = Record("cam");
    std::strcpy(r.ipAddr, ip);
    std::strcpy(r.mac, mac);
    std::strcpy(r.productSeries, series);
    r.deviceActivated = activated;
    return r;
}

const Field& FieldNamed(const char* name) {
    for (const Field& f : RecordFields())
        if (std::strcmp(f.name, name) == 0)
            return f;
    throw std::runtime_error(name);
}

// People read words for the activation state; JSON keeps the number, and
// a row of no maker's device (an ONVIF camera) has no state to name.
TEST(Format, ActivationInWordsForPeopleOnly) {
    const struct {
        const char* series;
        int state;
        const char* shown;
    } cases[] = {{"ZVK_IPC", 0, "activated"},
                 {"ZVK_NVR", 1, "not activated"},
                 {"ZVK_IPC", 7, "7"},
                 {"ONVIF camera", 0, ""}};
    for (const auto& c : cases) {
        const SEARCH_INFO r = Device("10.0.0.1", "02:00:00:00:00:01", c.series, c.state);
        EXPECT_EQ(DisplayValue(r, FieldNamed("deviceActivated")), c.shown) << c.series;
        const std::string csv = RecordCsv(r, false), end = std::string(",") + c.shown + ",0";
        EXPECT_EQ(csv.substr(csv.size() - end.size()), end); // then httpType
        EXPECT_EQ(nlohmann::json::parse(RecordJson(r, false))["deviceActivated"], c.state);
        EXPECT_EQ(DisplayValue(r, FieldNamed("ipAddr")), "10.0.0.1");
    }
}

TEST(Format, DefaultTableShowsWhatAnInstallerReads) {
    const std::vector<SEARCH_INFO> records = {Device("10.0.0.2", "02:00:00:00:00:01", "ZVK_IPC", 1),
                                              Device("10.0.0.3", "", "ONVIF camera", 0)};
    const std::vector<std::string> identities = {"verified", "none"};
    const std::vector<std::string> withMac = {"", "urn:uuid:x"};
    const std::vector<std::string> base = {"ipAddr",       "mac",     "productSeries",
                                           "productModel", "devName", "deviceActivated"};
    auto plus = [&base](std::vector<std::string> more) {
        std::vector<std::string> all = base;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    EXPECT_EQ(DefaultTableColumns({records[0]}), base);
    EXPECT_EQ(DefaultTableColumns({records[0]}, {"verified"}, {""}), plus({"identity"}));
    EXPECT_EQ(DefaultTableColumns(records, identities, withMac), plus({"endpoint", "identity"}));
    EXPECT_EQ(
        DefaultTableColumns(records, identities, withMac, {{{"serial", ""}}, {{"serial", "9"}}}),
        plus({"serial", "endpoint", "identity"}));
    const std::vector<std::string> columns = DefaultTableColumns(records, identities, withMac);
    const std::string table = RecordTable(records, identities, withMac, {}, &columns);
    EXPECT_EQ(table.substr(0, table.find('\n')),
              "ipAddr    mac                productSeries  productModel  devName  deviceActivated  "
              "endpoint    identity");
    EXPECT_NE(table.find("not activated"), std::string::npos);
    EXPECT_EQ(table.find("softwareVer"), std::string::npos);
    EXPECT_NE(RecordTable(records, identities, withMac).find("softwareVer"), std::string::npos);
}

TEST(Format, ColumnListsAreCheckedByName) {
    const std::vector<std::string> offered = TableColumns({Record("x")}, {"v"}, {"e"});
    const struct {
        const char* list;
        bool ok;
        std::vector<std::string> columns;
        const char* unknown;
    } cases[] = {{"ipAddr,mac", true, {"ipAddr", "mac"}, ""},
                 {" devName , identity ", true, {"devName", "identity"}, ""},
                 {"endpoint", true, {"endpoint"}, ""},
                 {"ipaddr", false, {}, "ipaddr"},
                 {"mac,,ipAddr", false, {}, ""},
                 {"", false, {}, ""},
                 {"event", false, {}, "event"}};
    for (const auto& c : cases) {
        std::vector<std::string> columns;
        std::string unknown = "?";
        EXPECT_EQ(ParseColumnList(c.list, offered, &columns, &unknown), c.ok) << c.list;
        if (c.ok)
            EXPECT_EQ(columns, c.columns) << c.list;
        else
            EXPECT_EQ(unknown, c.unknown) << c.list;
    }
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
