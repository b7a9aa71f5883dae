// The name and clock messages: the rules every value must pass before it
// is sent (tables of good and bad names, host names, NTP servers and time
// zones), the bodies as a camera reads them back, and the readers against
// answers in the forms cameras send and against hostile ones.
#include <gtest/gtest.h>

#include "OnvifMessages.h"
#include "OnvifSettings.h"
#include "OnvifXml.h"

using namespace onvif;

namespace {

TEST(OnvifSettingsTest, TheValuesSentAreHeldToTheirRules) {
    struct Case {
        const char* text;
        bool name, hostname, ntp, tz;
    };
    const Case cases[] = {
        {"Gate-North-03", true, true, true, false},
        {"gate.north.site", true, true, true, false},
        {"Gate North 03", true, false, false, false},
        {"\xe5\xa4\xa7\xe9\x97\xa8", true, false, false, false}, // 大门
        {"\xe5\xa4", false, false, false, false},                // cut UTF-8
        {"\xc0\xaf", false, false, false, false},                // overlong '/'
        {"\xed\xa0\x80", false, false, false, false},            // a surrogate
        {"tab\there", false, false, false, false},
        {"   ", false, false, false, false},
        {"", false, false, false, false},
        {"-gate", true, false, false, false},
        {"gate-", true, false, false, false},
        {"gate..north", true, false, false, false},
        {"192.168.1.10", true, true, true, false},
        {"192.168.1", true, true, false, false}, // digits and dots: an address or nothing
        {"0.1.2.3", true, true, false, false},
        {"127.0.0.1", true, true, false, false},
        {"224.0.0.1", true, true, false, false},
        {"255.255.255.255", true, true, false, false},
        {"2001:db8::1", true, false, true, false},
        {"::1", true, false, false, false},
        {"ff02::101", true, false, false, false},
        {"fe80::1%eth0", true, false, false, false},
        {"UTC0", true, true, true, true},
        {"CST-8", true, true, true, true},
        {"EST5EDT,M3.2.0,M11.1.0", true, false, false, true},
        {"CET-1CEST,M3.5.0,M10.5.0/3", true, false, false, true},
        {"<+0330>-3:30", true, false, false, true},
        {"IST-5:30", true, false, false, true},
        {"AAA3BBB,J60/2,300/-4:30", true, false, false, true},
        {"NZST-12NZDT-13,M9.5.0,M4.1.0/3", true, false, false, true},
        {"UT0", true, true, true, false},                        // a name needs three letters
        {"CST", true, true, true, false},                        // no offset
        {"CST25", true, true, true, false},                      // more than 24 hours
        {"CST-8CDT,M13.1.0,M11.1.0", true, false, false, false}, // month 13
        {"CST-8CDT,M3.6.0,M11.1.0", true, false, false, false},  // week 6
        {"CST-8CDT,J0,J365", true, false, false, false},         // J counts from 1
        {"CST-8CDT,M3.2.0", true, false, false, false},          // one rule date
        {"CST-8 ", true, false, false, false},
        {"<+03>-3:60", true, false, false, false},
        {"<ab>-3", true, false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ValidCameraName(c.text), c.name) << c.text;
        EXPECT_EQ(ValidHostname(c.text), c.hostname) << c.text;
        NtpServer server;
        EXPECT_EQ(ParseNtpServer(c.text, &server), c.ntp) << c.text;
        EXPECT_EQ(ValidPosixTimeZone(c.text), c.tz) << c.text;
    }
    EXPECT_FALSE(ValidCameraName(std::string(65, 'a')));
    EXPECT_TRUE(ValidCameraName(std::string(64, 'a')));
    EXPECT_TRUE(ValidHostname(std::string(63, 'a')));
    EXPECT_FALSE(ValidHostname(std::string(64, 'a')));
    EXPECT_FALSE(ValidHostname(std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                               std::string(63, 'c') + "." + std::string(63, 'd')));
    EXPECT_FALSE(ValidPosixTimeZone("CET-1CEST,M3.5.0,M10.5.0/3" + std::string(40, ' ')));
    EXPECT_TRUE(DaylightSavingIn("CET-1CEST,M3.5.0,M10.5.0/3"));
    EXPECT_FALSE(DaylightSavingIn("CST-8"));
}

TEST(OnvifSettingsTest, NtpServersAreNamedByTheirKind) {
    struct Case {
        const char* text;
        NtpServer::Kind kind;
    };
    const Case cases[] = {{"10.77.0.1", NtpServer::Kind::IPv4},
                          {"2001:db8::123", NtpServer::Kind::IPv6},
                          {"pool.ntp.org", NtpServer::Kind::Dns},
                          {"ntp", NtpServer::Kind::Dns}};
    for (const Case& c : cases) {
        NtpServer server;
        ASSERT_TRUE(ParseNtpServer(c.text, &server)) << c.text;
        EXPECT_EQ(server.kind, c.kind) << c.text;
        EXPECT_EQ(server.address, c.text);
    }
    NtpServer dns{NtpServer::Kind::Dns, "pool.ntp.org"};
    EXPECT_EQ(SetNtpBody(dns), "<tds:SetNTP><tds:FromDHCP>false</tds:FromDHCP><tds:NTPManual>"
                               "<tt:Type>DNS</tt:Type><tt:DNSname>pool.ntp.org</tt:DNSname>"
                               "</tds:NTPManual></tds:SetNTP>");
}

TEST(OnvifSettingsTest, NamesBecomeScopesAndHostnames) {
    struct Case {
        const char* name;
        const char* scope;
        const char* hostname;
    };
    const Case cases[] = {
        {"Gate-North-03", "onvif://www.onvif.org/name/Gate-North-03", "Gate-North-03"},
        {"Gate North #3", "onvif://www.onvif.org/name/Gate%20North%20%233", "Gate-North-3"},
        {"\xe5\xa4\xa7\xe9\x97\xa8 2", "onvif://www.onvif.org/name/%E5%A4%A7%E9%97%A8%202", "2"},
        {"\xe5\xa4\xa7\xe9\x97\xa8", "onvif://www.onvif.org/name/%E5%A4%A7%E9%97%A8", ""},
        {"--a__b--", "onvif://www.onvif.org/name/--a__b--", "a-b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NameScope(c.name), c.scope) << c.name;
        EXPECT_EQ(HostnameFor(c.name), c.hostname) << c.name;
        EXPECT_EQ(ScopeValue({NameScope(c.name)}, "name"), c.name);
    }
    EXPECT_EQ(HostnameFor(std::string(80, 'x')).size(), 63u);
    EXPECT_TRUE(IsNameScope("ONVIF://www.onvif.org/Name/x"));
    EXPECT_FALSE(IsNameScope("onvif://www.onvif.org/location/x"));
    // Fixed scopes are never sent; every other configurable one is kept
    // as it is, and every old name goes.
    const std::vector<Scope> current = {
        {true, "onvif://www.onvif.org/type/video_encoder"},
        {false, "onvif://www.onvif.org/name/IPC"},
        {false, "onvif://www.onvif.org/location/Building%201"},
        {false, "onvif://www.onvif.org/name/second"},
        {false, "odm:custom/<x>&y"},
    };
    const std::vector<std::string> expected = {"onvif://www.onvif.org/location/Building%201",
                                               "odm:custom/<x>&y",
                                               "onvif://www.onvif.org/name/Gate-1"};
    EXPECT_EQ(ScopesWithName(current, "Gate-1"), expected);
    EXPECT_EQ(SetScopesBody({"a<b", "c"}),
              "<tds:SetScopes><tds:Scopes>a&lt;b</tds:Scopes><tds:Scopes>c</tds:Scopes>"
              "</tds:SetScopes>");
}

std::string ScopesAnswer(const std::string& items) {
    return onvif_test::Answer("<tds:GetScopesResponse>" + items + "</tds:GetScopesResponse>");
}
std::string ScopeItem(const std::string& def, const std::string& item) {
    return "<tds:Scopes><tt:ScopeDef>" + def + "</tt:ScopeDef><tt:ScopeItem>" + item +
           "</tt:ScopeItem></tds:Scopes>";
}

TEST(OnvifSettingsTest, ScopesAreReadExactlyOrNotAtAll) {
    std::string many;
    for (int i = 0; i < 65; ++i)
        many += ScopeItem("Configurable", "x" + std::to_string(i));
    struct Case {
        const char* name;
        std::string body;
        SoapRead read;
        size_t count;
    };
    const Case cases[] = {
        {"two kinds",
         ScopesAnswer(ScopeItem("Fixed", "onvif://www.onvif.org/type/video_encoder") +
                      ScopeItem(" Configurable ", "\n onvif://www.onvif.org/name/A%20B \n")),
         SoapRead::Ok, 2},
        {"none", ScopesAnswer(""), SoapRead::NotSoap, 0},
        {"65 items", ScopesAnswer(many), SoapRead::NotSoap, 0},
        {"unknown kind", ScopesAnswer(ScopeItem("Maybe", "x")), SoapRead::NotSoap, 0},
        {"empty item", ScopesAnswer(ScopeItem("Fixed", "")), SoapRead::NotSoap, 0},
        {"control byte", ScopesAnswer(ScopeItem("Fixed", "a\tb")), SoapRead::NotSoap, 0},
        {"item too long", ScopesAnswer(ScopeItem("Fixed", std::string(1025, 'a'))),
         SoapRead::NotSoap, 0},
        {"fault", onvif_test::Fault("ter:ActionNotSupported", "no"), SoapRead::Fault, 0},
        {"web page", "<html><body>login</body></html>", SoapRead::NotSoap, 0},
    };
    for (const Case& c : cases) {
        std::vector<Scope> scopes = {{true, "untouched"}};
        SoapFault fault;
        EXPECT_EQ(ReadScopes(c.body, &scopes, &fault), c.read) << c.name;
        if (c.read == SoapRead::Ok) {
            ASSERT_EQ(scopes.size(), c.count) << c.name;
        } else {
            ASSERT_EQ(scopes.size(), 1u) << c.name;
            EXPECT_EQ(scopes[0].item, "untouched") << c.name;
        }
    }
    std::vector<Scope> scopes;
    ASSERT_EQ(ReadScopes(cases[0].body, &scopes, nullptr), SoapRead::Ok);
    EXPECT_TRUE(scopes[0].fixed);
    EXPECT_FALSE(scopes[1].fixed);
    EXPECT_EQ(scopes[1].item, "onvif://www.onvif.org/name/A%20B");
}

TEST(OnvifSettingsTest, ClockHostnameAndNtpAnswersAreRead) {
    const std::string clock = onvif_test::Answer(
        "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:DateTimeType>NTP"
        "</tt:DateTimeType><tt:DaylightSavings>true</tt:DaylightSavings><tt:TimeZone><tt:TZ>"
        "CET-1CEST,M3.5.0,M10.5.0/3</tt:TZ></tt:TimeZone><tt:UTCDateTime><tt:Time><tt:Hour>13"
        "</tt:Hour><tt:Minute>0</tt:Minute><tt:Second>30</tt:Second></tt:Time><tt:Date><tt:Year>"
        "2026</tt:Year><tt:Month>12</tt:Month><tt:Day>9</tt:Day></tt:Date></tt:UTCDateTime>"
        "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>");
    ClockSettings settings;
    ASSERT_EQ(ReadClockSettings(clock, 1796821200, &settings, nullptr), SoapRead::Ok);
    EXPECT_EQ(settings.type, "NTP");
    EXPECT_TRUE(settings.daylightSavings);
    EXPECT_EQ(settings.timeZone, "CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(settings.offset, 30);
    // Without the UTC time there is no offset to tell.
    ClockSettings untouched;
    untouched.type = "kept";
    EXPECT_EQ(ReadClockSettings(onvif_test::Answer("<tds:GetSystemDateAndTimeResponse>"
                                                   "<tds:SystemDateAndTime/>"
                                                   "</tds:GetSystemDateAndTimeResponse>"),
                                1796821200, &untouched, nullptr),
              SoapRead::NotSoap);
    EXPECT_EQ(untouched.type, "kept");

    std::string name = "kept";
    EXPECT_EQ(ReadHostname(onvif_test::Answer("<tds:GetHostnameResponse><tds:HostnameInformation>"
                                              "<tt:FromDHCP>false</tt:FromDHCP><tt:Name>cam-1"
                                              "</tt:Name></tds:HostnameInformation>"
                                              "</tds:GetHostnameResponse>"),
                           &name, nullptr),
              SoapRead::Ok);
    EXPECT_EQ(name, "cam-1");
    EXPECT_EQ(ReadHostname(onvif_test::Answer("<tds:GetHostnameResponse/>"), &name, nullptr),
              SoapRead::NotSoap);

    std::string servers;
    for (int i = 0; i < 10; ++i)
        servers += "<tt:NTPManual><tt:Type>DNS</tt:Type><tt:DNSname>ntp" + std::to_string(i) +
                   ".example</tt:DNSname></tt:NTPManual>";
    NtpSettings ntp;
    ASSERT_EQ(ReadNtp(onvif_test::Answer(
                          "<tds:GetNTPResponse><tds:NTPInformation><tt:FromDHCP>false</tt:FromDHCP>"
                          "<tt:NTPFromDHCP><tt:Type>IPv4</tt:Type><tt:IPv4Address>10.0.0.1"
                          "</tt:IPv4Address></tt:NTPFromDHCP>" +
                          servers + "</tds:NTPInformation></tds:GetNTPResponse>"),
                      &ntp, nullptr),
              SoapRead::Ok);
    ASSERT_EQ(ntp.servers.size(), 8u); // manual ones first, at most eight
    EXPECT_EQ(ntp.servers[0], "ntp0.example");
    EXPECT_FALSE(ntp.fromDhcp);
}

TEST(OnvifSettingsTest, SetSystemDateAndTimeCarriesTheTimeOnlyWhenByHand) {
    DateTimeSetting manual;
    manual.utc = 1796821230; // 2026-12-09T13:00:30Z
    manual.timeZone = "CET-1CEST,M3.5.0,M10.5.0/3";
    const std::string body = SetSystemDateAndTimeBody(manual);
    XmlElement root;
    const std::string envelope = Envelope(body, nullptr);
    ASSERT_EQ(ReadXml(envelope.data(), envelope.size(), &root), XmlRead::Ok);
    const XmlElement* set = root.Path({{kNsSoap, "Body"}, {kNsDevice, "SetSystemDateAndTime"}});
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->ChildText(kNsDevice, "DateTimeType"), "Manual");
    EXPECT_EQ(set->ChildText(kNsDevice, "DaylightSavings"), "true");
    EXPECT_EQ(set->Path({{kNsDevice, "TimeZone"}, {kNsSchema, "TZ"}})->text, manual.timeZone);
    const XmlElement* utc = set->Child(kNsDevice, "UTCDateTime");
    ASSERT_NE(utc, nullptr);
    EXPECT_EQ(utc->Path({{kNsSchema, "Date"}, {kNsSchema, "Year"}})->text, "2026");
    EXPECT_EQ(utc->Path({{kNsSchema, "Time"}, {kNsSchema, "Second"}})->text, "30");
    DateTimeSetting ntp;
    ntp.ntp = true;
    EXPECT_EQ(SetSystemDateAndTimeBody(ntp),
              "<tds:SetSystemDateAndTime><tds:DateTimeType>NTP</tds:DateTimeType>"
              "<tds:DaylightSavings>false</tds:DaylightSavings></tds:SetSystemDateAndTime>");
}

} // namespace
