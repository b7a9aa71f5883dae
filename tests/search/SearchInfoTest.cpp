#include "SearchInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// A device answer as an IP camera sends it.
const char* const kCameraAnswer =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<multicastSearchResult>\r\n"
    "<productInfo>\r\n"
    "<productSeries>ZVK_IPC</productSeries>\r\n"
    "<devName>Lobby &amp; Door</devName>\r\n"
    "<softwareVer>V5.2.1</softwareVer>\r\n"
    "<build>220915</build>\r\n"
    "<softwareBulildDate>2022-09-15</softwareBulildDate>\r\n"
    "<hardwareVer>H2.0</hardwareVer>\r\n"
    "<kernelVer>4.9.37</kernelVer>\r\n"
    "<productModel>IPC-B2400</productModel>\r\n"
    "<runningTime>3 days 04:05:06</runningTime>\r\n"
    "<bootTime>2026-12-05 00:00:00</bootTime>\r\n"
    "<timeZone>CET-1CEST,M3.5.0,M10.5.0/3</timeZone><ntpServer>ntp.example.org</ntpServer>\r\n"
    "<deviceActivated>1</deviceActivated>\r\n"
    "</productInfo>\r\n"
    "<tcpIp>\r\n"
    "<ipAddr>\r\n"
    "<item><ip>192.168.1.64</ip><mask>255.255.255.0</mask><route>192.168.1.1</route>"
    "<dhcpSwitch>true</dhcpSwitch></item>\r\n"
    "<item><ip>169.254.3.7</ip><mask>255.255.0.0</mask></item>\r\n"
    "</ipAddr>\r\n"
    "<dns1>8.8.8.8</dns1><dns2>1.1.1.1</dns2><encryptType>AES</encryptType>\r\n"
    "</tcpIp>\r\n"
    "<port><dataPort>6036</dataPort><httpPort>80</httpPort><rtspPort>554</rtspPort></port>\r\n"
    "<httpType>1</httpType>\r\n"
    "</multicastSearchResult>\r\n";

SEARCH_INFO Fresh() {
    SEARCH_INFO rec;
    std::memset(&rec, 0, sizeof rec);
    return rec;
}

std::string Answer(const std::string& inner) {
    return "<multicastSearchResult>" + inner + "</multicastSearchResult>";
}

TEST(ParseSearchResult, ReadsEveryFieldOfACameraAnswer) {
    SEARCH_INFO rec = Fresh();
    ASSERT_TRUE(ParseSearchResult(kCameraAnswer, &rec));
    EXPECT_STREQ(rec.productSeries, "ZVK_IPC");
    EXPECT_STREQ(rec.devName, "Lobby & Door");
    EXPECT_STREQ(rec.softwareVer, "V5.2.1(220915)");
    EXPECT_STREQ(rec.softwareBulildDate, "2022-09-15");
    EXPECT_STREQ(rec.hardwareVer, "H2.0");
    EXPECT_STREQ(rec.kernelVer, "4.9.37");
    EXPECT_STREQ(rec.productModel, "IPC-B2400");
    EXPECT_STREQ(rec.runningTime, "3 days 04:05:06");
    EXPECT_STREQ(rec.bootTime, "2026-12-05 00:00:00");
    EXPECT_STREQ(rec.timeZone, "CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_STREQ(rec.ntpServer, "ntp.example.org");
    EXPECT_EQ(rec.deviceActivated, 1);
    EXPECT_STREQ(rec.ipAddr, "192.168.1.64");
    EXPECT_STREQ(rec.mask, "255.255.255.0");
    EXPECT_STREQ(rec.route, "192.168.1.1");
    EXPECT_EQ(rec.dhcpSwitch, 1);
    EXPECT_STREQ(rec.ipAddr2, "169.254.3.7");
    EXPECT_STREQ(rec.dns1, "8.8.8.8");
    EXPECT_STREQ(rec.dns2, "1.1.1.1");
    EXPECT_STREQ(rec.encryptType, "AES");
    EXPECT_EQ(rec.dataPort, 6036);
    EXPECT_EQ(rec.httpPort, 80);
    EXPECT_EQ(rec.rtspPort, 554);
    EXPECT_EQ(rec.httpType, 1);
    EXPECT_EQ(rec.event, 0);
    EXPECT_STREQ(rec.mac, "");
}

TEST(ParseSearchResult, EmptyRootIsTakenWithEveryFieldZero) {
    SEARCH_INFO rec = Fresh();
    const SEARCH_INFO zero = Fresh();
    ASSERT_TRUE(ParseSearchResult("<multicastSearchResult/>", &rec));
    EXPECT_EQ(std::memcmp(&rec, &zero, sizeof rec), 0);
}

struct AcceptCase {
    std::string text;
    bool taken;
};

class ParseAccept : public ::testing::TestWithParam<AcceptCase> {};

TEST_P(ParseAccept, MakerCheckAndRoot) {
    SEARCH_INFO rec = Fresh();
    rec.event = 7;
    std::strcpy(rec.mac, "AA:BB:CC:DD:EE:FF");
    EXPECT_EQ(ParseSearchResult(GetParam().text.c_str(), &rec), GetParam().taken)
        << GetParam().text;
    EXPECT_EQ(rec.event, 7);
    EXPECT_STREQ(rec.mac, "AA:BB:CC:DD:EE:FF");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseAccept,
    ::testing::Values(
        AcceptCase{Answer("<productInfo><productSeries>ZVK_NVR</productSeries></productInfo>"),
                   true},
        AcceptCase{Answer("<productInfo><productSeries>xxZVKyy</productSeries></productInfo>"),
                   true},
        AcceptCase{Answer("<productInfo><productSeries>zvk_ipc</productSeries></productInfo>"),
                   false},
        AcceptCase{Answer("<productInfo><productSeries>ACME_IPC</productSeries></productInfo>"),
                   false},
        AcceptCase{Answer("<productInfo><productSeries></productSeries></productInfo>"), false},
        AcceptCase{Answer("<productInfo><devName>x</devName></productInfo>"), true},
        AcceptCase{Answer("<tcpIp/>"), true},
        AcceptCase{"<otherRoot><productSeries>ZVK</productSeries></otherRoot>", false},
        AcceptCase{"", false}, AcceptCase{"not xml at all", false},
        AcceptCase{"<multicastSearchResultX/>", false},
        // A malformed answer is indexed as far as it goes and still read.
        AcceptCase{"<multicastSearchResult><port><dataPort>1</port>", true}));

TEST(ParseSearchResult, NullArgumentsAreRejected) {
    SEARCH_INFO rec = Fresh();
    EXPECT_FALSE(ParseSearchResult(nullptr, &rec));
    EXPECT_FALSE(ParseSearchResult("<multicastSearchResult/>", nullptr));
}

struct FieldCase {
    std::string inner;
    const char* softwareVer;
    int dhcp;
    int http;
    int rtsp;
};

class ParseFields : public ::testing::TestWithParam<FieldCase> {};

TEST_P(ParseFields, VersionsSwitchesAndDecimals) {
    SEARCH_INFO rec = Fresh();
    ASSERT_TRUE(ParseSearchResult(Answer(GetParam().inner).c_str(), &rec));
    EXPECT_STREQ(rec.softwareVer, GetParam().softwareVer) << GetParam().inner;
    EXPECT_EQ(rec.dhcpSwitch, GetParam().dhcp) << GetParam().inner;
    EXPECT_EQ(rec.httpPort, GetParam().http) << GetParam().inner;
    EXPECT_EQ(rec.rtspPort, GetParam().rtsp) << GetParam().inner;
}

const char* const kItemTrue =
    "<tcpIp><ipAddr><item><dhcpSwitch>true</dhcpSwitch></item></ipAddr></tcpIp>";

INSTANTIATE_TEST_SUITE_P(
    Table, ParseFields,
    ::testing::Values(
        FieldCase{"<productInfo><softwareVer>1.2</softwareVer><build>77</build></productInfo>",
                  "1.2(77)", 0, 0, 0},
        FieldCase{"<productInfo><build>77</build></productInfo>", "(77)", 0, 0, 0},
        FieldCase{"<productInfo><build>77</build><softwareVer>1.2</softwareVer></productInfo>",
                  "1.2(77)", 0, 0, 0},
        FieldCase{kItemTrue, "", 1, 0, 0},
        FieldCase{"<tcpIp><ipAddr><item><dhcpSwitch>TRUE</dhcpSwitch></item></ipAddr></tcpIp>", "",
                  0, 0, 0},
        FieldCase{"<tcpIp><ipAddr><item><dhcpSwitch>1</dhcpSwitch></item></ipAddr></tcpIp>", "", 0,
                  0, 0},
        FieldCase{"<tcpIp><ipAddr><item><dhcpSwitch> true</dhcpSwitch></item></ipAddr></tcpIp>", "",
                  0, 0, 0},
        FieldCase{"<port><httpPort>80abc</httpPort></port>", "", 0, 80, 0},
        FieldCase{"<port><httpPort>abc</httpPort></port>", "", 0, 0, 0},
        FieldCase{"<port><httpPort>  -12</httpPort></port>", "", 0, -12, 0},
        FieldCase{"<port><httpPort>+8080</httpPort><rtspPort>554</rtspPort></port>", "", 0, 8080,
                  554},
        FieldCase{"<port><httpPort>99999999999999</httpPort></port>", "", 0, 2147483647, 0},
        FieldCase{"<port><httpPort>-99999999999999</httpPort></port>", "", 0, -2147483647 - 1, 0},
        FieldCase{"<httpPort>81</httpPort>", "", 0, 0, 0}));

TEST(ParseSearchResult, SiblingOrderDoesNotMatterButItemsDo) {
    SEARCH_INFO rec = Fresh();
    const std::string text =
        Answer("<port><rtspPort>1</rtspPort><httpPort>2</httpPort><dataPort>3</dataPort></port>"
               "<tcpIp><dns2>d2</dns2><ipAddr>"
               "<item><route>r1</route><ip>i1</ip><mask>m1</mask></item>"
               "<other/><item><ip>i2</ip></item><item><ip>i3</ip></item>"
               "</ipAddr><dns1>d1</dns1></tcpIp>"
               "<productInfo><productModel>PM</productModel><productSeries>ZVK_DVR</"
               "productSeries></productInfo>");
    ASSERT_TRUE(ParseSearchResult(text.c_str(), &rec));
    EXPECT_STREQ(rec.route, "r1");
    EXPECT_STREQ(rec.ipAddr, "i1");
    EXPECT_STREQ(rec.mask, "m1");
    EXPECT_STREQ(rec.ipAddr2, "i2");
    EXPECT_STREQ(rec.dns1, "d1");
    EXPECT_STREQ(rec.dns2, "d2");
    EXPECT_EQ(rec.dataPort, 3);
    EXPECT_EQ(rec.httpPort, 2);
    EXPECT_EQ(rec.rtspPort, 1);
    EXPECT_STREQ(rec.productModel, "PM");
}

TEST(ParseSearchResult, FirstOfRepeatedElementsIsRead) {
    SEARCH_INFO rec = Fresh();
    const std::string text = Answer("<tcpIp><dns1>first</dns1><dns1>second</dns1></tcpIp>");
    ASSERT_TRUE(ParseSearchResult(text.c_str(), &rec));
    EXPECT_STREQ(rec.dns1, "first");
}

TEST(ParseSearchResult, OverlongTextsAreCutInsideTheirFields) {
    SEARCH_INFO rec = Fresh();
    const std::string name(100, 'N');
    const std::string ver(50, 'v');
    const std::string text =
        Answer("<productInfo><devName>" + name + "</devName><softwareVer>" + ver +
               "</softwareVer><build>1234567890123456</build>"
               "<softwareBulildDate>2026-12-08-extra-long</softwareBulildDate>"
               "</productInfo><tcpIp><encryptType>" +
               std::string(40, 'e') + "</encryptType></tcpIp>");
    ASSERT_TRUE(ParseSearchResult(text.c_str(), &rec));
    EXPECT_EQ(std::string(rec.devName), name.substr(0, 31));
    EXPECT_EQ(std::string(rec.softwareVer), (ver + "(1234567890123456)").substr(0, 63));
    EXPECT_EQ(std::string(rec.softwareBulildDate), "2026-12-08-extr");
    EXPECT_EQ(std::string(rec.encryptType), std::string(18, 'e'));
    EXPECT_EQ(rec.deviceActivated, 0); // the field after encryptType is untouched
    EXPECT_EQ(rec.hardwareVer[0], '\0');
}

TEST(ParseSearchResult, CommonVersionWithBuildFitsWhole) {
    SEARCH_INFO rec = Fresh();
    const std::string text = Answer("<productInfo><softwareVer>V5.2.1.20220915</softwareVer>"
                                    "<build>build 220915 r7</build></productInfo>");
    ASSERT_TRUE(ParseSearchResult(text.c_str(), &rec));
    EXPECT_STREQ(rec.softwareVer, "V5.2.1.20220915(build 220915 r7)");
}

TEST(CopySearchText, CutsOnUtf8Boundaries) {
    struct Case {
        const char* text;
        size_t width;
        const char* expected;
    };
    const Case cases[] = {
        {"abc", 4, "abc"},
        {"abcd", 4, "abc"},
        {"ab\xe4\xb8\xad", 4, "ab"},           // a 3-byte character does not fit whole
        {"a\xe4\xb8\xad", 5, "a\xe4\xb8\xad"}, // exactly fits
        {"\xc3\xa9\xc3\xa9", 4, "\xc3\xa9"},
        {"\xf0\x9f\x98\x80z", 4, ""},
        {"\x80\x80\x80\x80\x80\x80", 4, ""}, // not UTF-8: the step back is bounded
        {"", 1, ""},
    };
    for (const Case& c : cases) {
        char field[8];
        std::memset(field, 'X', sizeof field);
        CopySearchText(field, c.width, c.text, std::strlen(c.text));
        EXPECT_STREQ(field, c.expected) << c.text;
        for (size_t i = std::strlen(c.expected); i < c.width; ++i)
            EXPECT_EQ(field[i], '\0');
        for (size_t i = c.width; i < sizeof field; ++i)
            EXPECT_EQ(field[i], 'X') << "wrote past the field";
    }
}

} // namespace

namespace {

TEST(ParseSearchResult, EachAnswerIsReadOnItsOwnWhateverCameBefore) {
    SEARCH_INFO first = Fresh();
    ASSERT_TRUE(ParseSearchResult(kCameraAnswer, &first));
    // A large answer (read on a document of its own), then a small one.
    const std::string large =
        Answer("<tcpIp><dns1>big</dns1></tcpIp><pad>" + std::string(70000, 'x') + "</pad>");
    SEARCH_INFO big = Fresh();
    ASSERT_TRUE(ParseSearchResult(large.c_str(), &big));
    EXPECT_STREQ(big.dns1, "big");
    SEARCH_INFO small = Fresh();
    ASSERT_TRUE(ParseSearchResult(Answer("<port><dataPort>9</dataPort></port>").c_str(), &small));
    EXPECT_EQ(small.dataPort, 9);
    EXPECT_STREQ(small.ipAddr, "");
    EXPECT_STREQ(small.devName, "");
    EXPECT_FALSE(ParseSearchResult("<other/>", &small));
}

} // namespace

namespace {

// Both readings of one text, from the same record full of leftovers: the
// answer must be taken alike and exactly the same bytes written.
void ExpectSameReading(const std::string& text) {
    SEARCH_INFO quick, slow;
    std::memset(&quick, 0x5A, sizeof quick);
    std::memset(&slow, 0x5A, sizeof slow);
    const bool bQuick = ParseSearchResult(text.c_str(), &quick);
    const bool bSlow = ParseSearchResultWithDocument(text.c_str(), &slow);
    EXPECT_EQ(bQuick, bSlow) << text;
    EXPECT_EQ(std::memcmp(&quick, &slow, sizeof quick), 0) << text;
}

TEST(ParseSearchResult, OnePassAndDocumentAgreeOnEveryCutAndDeletedByte) {
    const std::string answer = kCameraAnswer;
    for (size_t n = 0; n <= answer.size(); ++n) {
        ExpectSameReading(answer.substr(0, n));
        ExpectSameReading(answer.substr(0, n) + answer.substr(std::min(n + 1, answer.size())));
    }
}

TEST(ParseSearchResult, OnePassAndDocumentAgreeWhereTheDocumentRecovers) {
    const std::string kTexts[] = {
        // End tags that close an outer element move children up.
        "<multicastSearchResult><productInfo><x><devName>moved</devName></productInfo>"
        "</multicastSearchResult>",
        "<multicastSearchResult><tcpIp><ipAddr><item><ip>1</ip></ipAddr><dns1>d</dns1></tcpIp>"
        "</multicastSearchResult>",
        "<multicastSearchResult><port><dataPort>1</port><httpPort>80</httpPort>"
        "</multicastSearchResult>",
        "<multicastSearchResult><wrap><httpType>1</httpType></multicastSearchResult>",
        // Unended elements, lone end tags, a root left open.
        "<multicastSearchResult><productInfo><productSeries>ZVK</productSeries>",
        "<multicastSearchResult></other><httpType>3</httpType></multicastSearchResult>",
        "</x><multicastSearchResult><httpType>4</httpType></multicastSearchResult>",
        // The product series must name the maker ("ZVK"); versions through both.
        "<multicastSearchResult><productInfo><productSeries>zvk</productSeries></productInfo>"
        "</multicastSearchResult>",
        "<multicastSearchResult><productInfo><build>77</build><softwareVer>1.2</softwareVer>"
        "</productInfo></multicastSearchResult>",
        "<multicastSearchResult><productInfo><softwareVer>" + std::string(100, 'v') +
            "</softwareVer><build>9</build></productInfo>"
            "</multicastSearchResult>",
    };
    for (const std::string& text : kTexts)
        ExpectSameReading(text);
}

} // namespace
