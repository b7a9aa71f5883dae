#include "Outcomes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "DeviceHttp.h"
#include "LorvexManage.h"
#include "NetParam.h"

namespace {

using lorvex::Outcome;

std::string ReadSource(const std::string& path) {
    std::ifstream file(LORVEX_SOURCE_DIR + ("/" + path));
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The manual page's EXIT STATUS: number -> its text, roff escapes undone.
std::map<int, std::string> PageExitStatuses() {
    std::istringstream page(ReadSource("packaging/man/lorvex-search.1"));
    std::map<int, std::string> statuses;
    bool inSection = false;
    int current = -1;
    for (std::string line; std::getline(page, line);) {
        if (line.rfind(".SH", 0) == 0)
            inSection = line == ".SH EXIT STATUS";
        else if (inSection && line.rfind(".B ", 0) == 0 && current == -2)
            statuses[current = std::stoi(line.substr(3))];
        else if (inSection && line == ".TP")
            current = -2;
        else if (inSection && current >= 0)
            statuses[current] += (statuses[current].empty() ? "" : " ") + line;
    }
    for (auto& s : statuses)
        for (size_t at; (at = s.second.find("\\-")) != std::string::npos;)
            s.second.erase(at, 1);
    return statuses;
}

TEST(Outcomes, OneRowPerOutcomeInOrderWithItsOwnExitStatus) {
    size_t count = 0;
    const lorvex::OutcomeRow* table = lorvex::OutcomeTable(&count);
    ASSERT_EQ(count, static_cast<size_t>(Outcome::Interrupted) + 1);
    std::set<int> exits;
    std::set<int32_t> codes;
    for (size_t i = 0; i < count; ++i) {
        const lorvex::OutcomeRow& row = table[i];
        EXPECT_EQ(static_cast<size_t>(row.outcome), i) << row.text;
        EXPECT_TRUE(exits.insert(row.exitCode).second) << "exit status twice: " << row.exitCode;
        EXPECT_TRUE(row.exitCode >= 0 && row.exitCode <= 255) << row.text;
        EXPECT_TRUE(row.resultCode < 0 || codes.insert(row.resultCode).second) << row.text;
        EXPECT_EQ(std::string(row.text).find('\n'), std::string::npos) << row.text;
        EXPECT_FALSE(std::string(row.text).empty());
    }
    EXPECT_EQ(lorvex::ExitCodeOf(Outcome::Done), 0);
    EXPECT_EQ(lorvex::ExitCodeOf(Outcome::NotAllDone), 1);
    EXPECT_EQ(lorvex::ExitCodeOf(Outcome::UsageError), 2);
}

// Every result code the manager gives keeps its number and has its row.
TEST(Outcomes, ResultCodesKeepTheirNumbers) {
    const struct {
        int32_t code;
        Outcome outcome;
    } cases[] = {
        {CLorvexManage::SETNET_DONE, Outcome::Done},
        {NETPARAM_IP_HOST_ALL_ONES, Outcome::IpHostAllOnes},
        {NETPARAM_IP_HOST_ALL_ZEROS, Outcome::IpHostAllZeros},
        {NETPARAM_LOOPBACK, Outcome::Loopback},
        {NETPARAM_NOT_UNICAST, Outcome::NotUnicast},
        {NETPARAM_BAD_MASK, Outcome::BadMask},
        {NETPARAM_OTHER_SUBNET, Outcome::OtherSubnet},
        {NETPARAM_GATEWAY_HOST_ALL_ONES, Outcome::GatewayHostAllOnes},
        {NETPARAM_GATEWAY_HOST_ALL_ZEROS, Outcome::GatewayHostAllZeros},
        {CLorvexManage::SETNET_NO_ANSWER, Outcome::NoAnswer},
        {CLorvexManage::SETNET_FAILED, Outcome::Refused},
        {CLorvexManage::SETNET_NOT_IPC, Outcome::NotIpCamera},
        {CLorvexManage::SETNET_NO_DEVICE, Outcome::NoDevice},
        {CLorvexManage::SETNET_TOO_LONG, Outcome::TooLong},
        {CLorvexManage::SETNET_UNVERIFIED, Outcome::Unverified},
        {CLorvexManage::SETNET_CONFLICT, Outcome::IdentityConflict},
        {CLorvexManage::SETNET_LOCKED, Outcome::Locked},
        {CLorvexManage::SETNET_NOT_ACTIVATED, Outcome::NotActivated},
        {CLorvexManage::SETNET_NO_PRESENCE, Outcome::NoPresence},
        {CLorvexManage::SETNET_WEAK_PASSWORD, Outcome::WeakPassword},
        {CLorvexManage::SETNET_ALREADY_ACTIVE, Outcome::AlreadyActive},
        {CLorvexManage::SETNET_SETUP_CODE_WRONG, Outcome::SetupCodeWrong},
        {-1, Outcome::UnknownResult},
        {22, Outcome::UnknownResult},
        {30, Outcome::UnknownResult},
        // The HTTP client's own codes are never taken for a device's outcome.
        {HTTP_REPLY_OK, Outcome::UnknownResult},
        {HTTP_DOCUMENT_OK, Outcome::UnknownResult},
        {HTTP_REPLY_FAILED, Outcome::UnknownResult},
        {HTTP_DOCUMENT_FAILED, Outcome::UnknownResult},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lorvex::OutcomeOfResult(c.code), c.outcome) << c.code;
        if (c.outcome != Outcome::UnknownResult) {
            EXPECT_EQ(lorvex::RowOf(c.outcome).resultCode, c.code);
        }
    }
}

// Every key the table names is in the shipped English file (the language
// test holds the four files to the same keys).
TEST(Outcomes, KeysAreInTheLanguageFile) {
    const std::string text = ReadSource("language/English (United States).ini");
    ASSERT_FALSE(text.empty());
    size_t count = 0;
    const lorvex::OutcomeRow* table = lorvex::OutcomeTable(&count);
    for (size_t i = 0; i < count; ++i)
        if (*table[i].key != '\0') {
            EXPECT_NE(text.find("\n" + std::string(table[i].key) + "="), std::string::npos)
                << table[i].key;
        }
}

// The page lists every exit status of the table with the table's words,
// and no other number.
TEST(Outcomes, ManualPageListsEveryExitStatus) {
    std::map<int, std::string> page = PageExitStatuses();
    size_t count = 0;
    const lorvex::OutcomeRow* table = lorvex::OutcomeTable(&count);
    for (size_t i = 0; i < count; ++i) {
        const auto it = page.find(table[i].exitCode);
        if (it == page.end()) {
            ADD_FAILURE() << "not on the page: " << table[i].exitCode;
            continue;
        }
        EXPECT_EQ(it->second.rfind(std::string(table[i].text) + ".", 0), 0u)
            << table[i].exitCode << ": " << it->second;
        page.erase(it);
    }
    for (const auto& extra : page)
        ADD_FAILURE() << "on the page but no outcome's: " << extra.first;
}

} // namespace
