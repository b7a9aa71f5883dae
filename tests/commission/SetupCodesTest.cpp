// The setup codes reader against what scanners, editors and spreadsheets
// produce, and against hostile text: every refusal names its line, leaves
// nothing read, and never echoes a code.
#include <gtest/gtest.h>

#include <string>

#include "SetupCodes.h"

using namespace commission;

namespace {

// Codes whose check holds, and one with its last character mistyped.
const char kCodeA[] = "ABCD-EFGH-JKD2";
const char kCodeB[] = "7QX4-M2RT-VWQP";
const char kTypo[] = "ABCD-EFGH-JKD3";

std::string MacOf(size_t i) {
    char text[18];
    std::snprintf(text, sizeof text, "02:4C:%02zX:%02zX:%02zX:01", (i >> 16) & 0xFF,
                  (i >> 8) & 0xFF, i & 0xFF);
    return text;
}

} // namespace

TEST(SetupCodes, ReadsWhatScannersAndSpreadsheetsWrite) {
    const struct {
        const char* name;
        std::string text;
    } rows[] = {
        {"scanner, LF", "02:4C:56:00:00:01,ABCD-EFGH-JKD2\n02:4c:56:00:00:02,7QX4-M2RT-VWQP\n"},
        {"scanner, CR alone", "02:4C:56:00:00:01,ABCD-EFGH-JKD2\r02:4C:56:00:00:02,7QX4-M2RT-VWQP"},
        {"CRLF, header, BOM", "\xEF\xBB\xBFmac,setup_code\r\n02:4C:56:00:00:01,ABCD-EFGH-JKD2\r\n"
                              "02:4C:56:00:00:02,7QX4-M2RT-VWQP\r\n"},
        {"two label files joined", "mac,setup_code\r\n02:4C:56:00:00:01,ABCD-EFGH-JKD2\r\n"
                                   "mac,setup_code\r\n02:4C:56:00:00:02,7QX4-M2RT-VWQP\r\n"},
        {"blank lines and spaces", "\n  \n MAC , Code \n\n 02:4C:56:00:00:01 , abcd efgh jkd2 \n"
                                   "\t02:4C:56:00:00:02\t,\t7qx4m2rtvwqp\t\n\n"},
        {"semicolons, quotes, empty cells after", "\"02:4C:56:00:00:01\";\"ABCD-EFGH-JKD2\";;\n"
                                                  "02:4C:56:00:00:02;7QX4-M2RT-VWQP;\n"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<SetupCodeEntry> codes;
        SetupCodesError error;
        ASSERT_TRUE(ReadSetupCodes(r.text, &codes, &error)) << SetupCodesErrorText(error);
        ASSERT_EQ(codes.size(), 2u);
        EXPECT_EQ(codes[0].mac, "02:4C:56:00:00:01");
        EXPECT_EQ(codes[0].code, kCodeA);
        EXPECT_EQ(codes[1].mac, "02:4C:56:00:00:02");
        EXPECT_EQ(codes[1].code, kCodeB);
    }
    std::vector<SetupCodeEntry> none;
    SetupCodesError error;
    EXPECT_TRUE(ReadSetupCodes("", &none, &error));
    EXPECT_TRUE(ReadSetupCodes("mac,setup_code\r\n\r\n", &none, &error));
    EXPECT_TRUE(none.empty());
}

TEST(SetupCodes, RefusesWithTheLineAndKeepsNothing) {
    const std::string good = std::string("02:4C:56:00:00:01,") + kCodeA + "\n";
    std::string tooMany;
    for (size_t i = 0; i <= kMaxSetupCodes; ++i)
        tooMany += MacOf(i) + "," + kCodeB + "\n";
    const struct {
        const char* name;
        std::string text;
        SetupCodesFault fault;
        size_t line;
    } rows[] = {
        {"over 1 MiB", std::string(kMaxSetupCodesBytes + 1, '\n'), SetupCodesFault::TooLarge, 0},
        {"too many codes", tooMany, SetupCodesFault::TooMany, 0},
        {"overlong line", good + std::string(kMaxSetupCodesLineBytes + 1, ' ') + "\n",
         SetupCodesFault::LongLine, 2},
        {"NUL byte", good + std::string("02:4C:56:00:00:02,7QX4\0M2RT-VWQP\n", 34),
         SetupCodesFault::ControlByte, 2},
        {"escape sequence", good + "\x1b[2J02:4C:56:00:00:02,7QX4-M2RT-VWQP\n",
         SetupCodesFault::ControlByte, 2},
        {"DEL", good + "\x7f\n", SetupCodesFault::ControlByte, 2},
        {"three cells", good + "02:4C:56:00:00:02,7QX4-M2RT-VWQP,extra\n", SetupCodesFault::Shape,
         2},
        {"MAC alone", good + "\n\n02:4C:56:00:00:02\n", SetupCodesFault::Shape, 4},
        {"code alone", ",7QX4-M2RT-VWQP\n", SetupCodesFault::Shape, 1},
        {"not a MAC", good + "02:4C:56:00:00,7QX4-M2RT-VWQP\n", SetupCodesFault::NotMac, 2},
        {"a word for a MAC", good + "camera,setup_code\n", SetupCodesFault::NotMac, 2},
        {"mistyped code", good + "02:4C:56:00:00:02," + kTypo + "\n", SetupCodesFault::NotCode, 2},
        {"short code", "02:4C:56:00:00:02,7QX4-M2RT-VWQ\r\n", SetupCodesFault::NotCode, 1},
        {"letter U", "02:4C:56:00:00:02,7QX4-M2RT-VWUP\r\n", SetupCodesFault::NotCode, 1},
        {"same MAC again", good + "\n02:4c:56:00:00:01," + kCodeB + "\n", SetupCodesFault::Repeated,
         3},
        {"same line scanned twice", good + good, SetupCodesFault::Repeated, 2},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<SetupCodeEntry> codes;
        SetupCodesError error;
        EXPECT_FALSE(ReadSetupCodes(r.text, &codes, &error));
        EXPECT_TRUE(codes.empty());
        EXPECT_EQ(error.fault, r.fault);
        EXPECT_EQ(error.line, r.line);
        const std::string text = SetupCodesErrorText(error);
        EXPECT_FALSE(text.empty());
        if (r.line > 0) {
            EXPECT_EQ(text.rfind("line " + std::to_string(r.line) + ": ", 0), 0u) << text;
        }
        for (const char* code : {kCodeA, kCodeB, kTypo, "7QX4"})
            EXPECT_EQ(text.find(code), std::string::npos) << text;
    }
}

TEST(SetupCodes, CheckSaysWhatKindOfTypo) {
    const struct {
        const char* typed;
        SetupCodeProblem problem;
        const char* canonical;
    } rows[] = {
        {"ABCD-EFGH-JKD2", SetupCodeProblem::None, kCodeA},
        {" abcd efgh jkd2 ", SetupCodeProblem::None, kCodeA},
        {"7QX4M2RTVWQP", SetupCodeProblem::None, kCodeB},
        {"oL23-4567-89fd", SetupCodeProblem::None, "0123-4567-89FD"}, // look-alikes read as digits
        {"", SetupCodeProblem::Empty, ""},
        {" - -", SetupCodeProblem::Empty, ""},
        {"ABCD-EFGH-JKD", SetupCodeProblem::Length, ""},
        {"ABCD-EFGH-JKD22", SetupCodeProblem::Length, ""},
        {"ABCD-EFGH-JKU2", SetupCodeProblem::Character, ""},
        {"ABCD_EFGH_JKD2", SetupCodeProblem::Character, ""},
        {"ABCD-EFGH-JKD\xC3\xA9", SetupCodeProblem::Character, ""},
        {kTypo, SetupCodeProblem::Check, ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.typed);
        std::string canonical;
        EXPECT_EQ(CheckSetupCode(r.typed, &canonical), r.problem);
        EXPECT_EQ(canonical, r.canonical);
        EXPECT_EQ(*SetupCodeProblemText(r.problem) == '\0', r.problem == SetupCodeProblem::None);
    }
}

TEST(SetupCodes, EachPlanEntryGetsItsOwnDevicesCode) {
    std::vector<SetupCodeEntry> codes;
    SetupCodesError error;
    ASSERT_TRUE(ReadSetupCodes(std::string("02:4C:56:00:00:02,") + kCodeB + "\n02:4C:56:00:00:01," +
                                   kCodeA + "\n02:4C:56:00:00:77," + kCodeA + "\n",
                               &codes, &error));
    std::vector<PlanEntry> plan(4);
    plan[0].device.mac = "02:4C:56:00:00:01";
    plan[1].device.mac = "02:4C:56:00:00:03";
    plan[1].setupCode = kCodeB; // from an earlier run: not this file's
    plan[2].device.endpoint = "urn:uuid:camera";
    plan[3].device.mac = "02:4C:56:00:00:02";
    EXPECT_EQ(AssignSetupCodes(&plan, codes), 2u);
    EXPECT_EQ(plan[0].setupCode, kCodeA);
    EXPECT_EQ(plan[1].setupCode, "");
    EXPECT_EQ(plan[2].setupCode, "");
    EXPECT_EQ(plan[3].setupCode, kCodeB);
    WipeSetupCodes(&codes);
    EXPECT_TRUE(codes.empty());
}
