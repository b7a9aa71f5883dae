#include "Outcomes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "DeviceHttp.h"
#include "LorvexManage.h"

namespace {

using lorvex::Outcome;

std::string ReadSource(const std::string& path) {
    std::ifstream file(LORVEX_SOURCE_DIR + ("/" + path));
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The manual page's EXIT STATUS: number -> its text, roff's "\-" undone.
std::map<int, std::string> PageExitStatuses() {
    std::istringstream page(ReadSource("packaging/man/lorvex-search.1"));
    std::map<int, std::string> statuses;
    bool inSection = false, tagNext = false;
    int current = -1;
    for (std::string line; std::getline(page, line);) {
        if (line.rfind(".SH", 0) == 0)
            inSection = line == ".SH EXIT STATUS", current = -1;
        else if (inSection && line == ".TP")
            tagNext = true;
        else if (inSection && tagNext && line.rfind(".B ", 0) == 0)
            statuses[current = std::stoi(line.substr(3))], tagNext = false;
        else if (inSection && current >= 0)
            statuses[current] += (statuses[current].empty() ? "" : " ") + line;
    }
    for (auto& s : statuses)
        for (size_t at; (at = s.second.find("\\-")) != std::string::npos;)
            s.second.erase(at, 1);
    return statuses;
}

TEST(Outcomes, OneRowPerOutcomeWithItsOwnExitStatusAndAKnownKey) {
    size_t count = 0;
    const lorvex::OutcomeRow* table = lorvex::OutcomeTable(&count);
    ASSERT_EQ(count, static_cast<size_t>(Outcome::Interrupted) + 1);
    const std::string english = ReadSource("language/English (United States).ini");
    std::set<int> exits;
    for (size_t i = 0; i < count; ++i) {
        const lorvex::OutcomeRow& row = table[i];
        EXPECT_EQ(static_cast<size_t>(row.outcome), i) << row.text;
        EXPECT_TRUE(exits.insert(row.exitCode).second) << "exit status twice: " << row.exitCode;
        EXPECT_TRUE(row.exitCode >= 0 && row.exitCode <= 255) << row.text;
        EXPECT_EQ(std::string(row.text).find('\n'), std::string::npos) << row.text;
        EXPECT_TRUE(*row.key == '\0' ||
                    english.find("\n" + std::string(row.key) + "=") != std::string::npos)
            << row.key;
    }
    EXPECT_EQ(lorvex::ExitCodeOf(Outcome::UsageError), 2);
}

// The result codes keep their numbers: the outcomes of the address rules
// and the maker's devices run 0 to 21 in the enum's order. Other numbers,
// the HTTP client's among them, are no device's outcome.
TEST(Outcomes, ResultCodesKeepTheirNumbers) {
    for (int32_t code = 0; code <= CLorvexManage::SETNET_SETUP_CODE_WRONG; ++code) {
        EXPECT_EQ(lorvex::RowOf(static_cast<Outcome>(code)).resultCode, code);
        EXPECT_EQ(lorvex::OutcomeOfResult(code), static_cast<Outcome>(code)) << code;
    }
    EXPECT_EQ(CLorvexManage::SETNET_SETUP_CODE_WRONG, 21);
    for (int32_t other : {-1, 22, 30, int32_t{HTTP_REPLY_OK}, int32_t{HTTP_DOCUMENT_OK},
                          int32_t{HTTP_REPLY_FAILED}, int32_t{HTTP_DOCUMENT_FAILED}})
        EXPECT_EQ(lorvex::OutcomeOfResult(other), Outcome::UnknownResult) << other;
}

// The page lists every exit status of the table, starting with the
// table's words, and no other number.
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
        EXPECT_EQ(it->second.rfind(std::string(table[i].text) + ".", 0), 0u) << it->second;
        page.erase(it);
    }
    for (const auto& extra : page)
        ADD_FAILURE() << "on the page but no outcome's: " << extra.first;
}

} // namespace
