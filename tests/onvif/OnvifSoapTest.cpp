// The device service's messages: the UsernameToken digest against a vector
// computed apart from this code, tokens on the camera's clock, and the
// readers of answers and faults.
#include <gtest/gtest.h>

#include "OnvifMessages.h"
#include "OnvifSoap.h"
#include "OnvifXml.h"

using namespace onvif;

namespace {

// printf 'nonce-16-bytes!!2026-12-09T13:00:00Zs3cret' | openssl dgst -sha1 -binary | base64
TEST(OnvifSoapTest, PasswordDigestMatchesAnIndependentVector) {
    EXPECT_EQ(PasswordDigest("nonce-16-bytes!!", "2026-12-09T13:00:00Z", "s3cret"),
              "jJi88G/GLsMrMpRcwXXMf0q5uFY=");
    EXPECT_EQ(Base64("nonce-16-bytes!!"), "bm9uY2UtMTYtYnl0ZXMhIQ==");
}

TEST(OnvifSoapTest, TokenIsSignedWithTheCamerasClock) {
    const std::time_t host = 1796821200; // 2026-12-09T13:00:00Z
    const struct {
        long long offset;
        const char* created;
    } cases[] = {
        {0, "2026-12-09T13:00:00Z"},
        {7200, "2026-12-09T15:00:00Z"},
        {-7200, "2026-12-09T11:00:00Z"},
        {-13 * 3600 - 1, "2026-12-08T23:59:59Z"},
    };
    for (const auto& c : cases) {
        const UsernameToken t = MakeToken("admin", "pw", host, c.offset);
        EXPECT_EQ(t.created, c.created) << c.offset;
        EXPECT_EQ(t.nonce.size(), 16u);
        EXPECT_EQ(t.digest, PasswordDigest(t.nonce, t.created, "pw"));
    }
    EXPECT_NE(MakeToken("a", "p", host, 0).nonce, MakeToken("a", "p", host, 0).nonce);
}

TEST(OnvifSoapTest, EnvelopeCarriesTheTokenAndEscapesTheUser) {
    UsernameToken t{"a<d>&\"min", "0123456789abcdef", "2026-12-09T13:00:00Z", "DIGEST="};
    const std::string text = Envelope(GetDeviceInformationBody(), &t);
    XmlElement root;
    ASSERT_EQ(ReadXml(text.data(), text.size(), &root), XmlRead::Ok);
    const XmlElement* token = root.Path(
        {{kNsSoap, "Header"}, {kNsSecurity, "Security"}, {kNsSecurity, "UsernameToken"}});
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(token->ChildText(kNsSecurity, "Username"), "a<d>&\"min");
    EXPECT_EQ(token->ChildText(kNsSecurity, "Password"), "DIGEST=");
    EXPECT_NE(token->Child(kNsSecurity, "Password")->Attribute("Type").find("#PasswordDigest"),
              std::string::npos);
    EXPECT_EQ(token->ChildText(kNsSecurity, "Nonce"), Base64("0123456789abcdef"));
    EXPECT_EQ(token->ChildText(kNsUtility, "Created"), "2026-12-09T13:00:00Z");
    EXPECT_NE(root.Path({{kNsSoap, "Body"}, {kNsDevice, "GetDeviceInformation"}}), nullptr);
    const std::string bare = Envelope(GetSystemDateAndTimeBody(), nullptr);
    EXPECT_EQ(bare.find("Security"), std::string::npos);
}

TEST(OnvifSoapTest, SetNetworkInterfacesAsksForAManualAddressWithoutDhcp) {
    const std::string text = Envelope(SetNetworkInterfacesBody("eth0", "10.1.2.3", 16), nullptr);
    XmlElement root;
    ASSERT_EQ(ReadXml(text.data(), text.size(), &root), XmlRead::Ok);
    const XmlElement* set = root.Path({{kNsSoap, "Body"}, {kNsDevice, "SetNetworkInterfaces"}});
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->ChildText(kNsDevice, "InterfaceToken"), "eth0");
    const XmlElement* ipv4 = set->Path({{kNsDevice, "NetworkInterface"}, {kNsSchema, "IPv4"}});
    ASSERT_NE(ipv4, nullptr);
    EXPECT_EQ(ipv4->ChildText(kNsSchema, "DHCP"), "false");
    EXPECT_EQ(ipv4->Path({{kNsSchema, "Manual"}, {kNsSchema, "Address"}})->text, "10.1.2.3");
    EXPECT_EQ(ipv4->Path({{kNsSchema, "Manual"}, {kNsSchema, "PrefixLength"}})->text, "16");
}

TEST(OnvifSoapTest, ReadsTheCamerasClock) {
    const std::time_t host = 1796821200; // 2026-12-09T13:00:00Z
    struct Case {
        const char* name;
        std::string body;
        SoapRead read;
        long long offset;
    };
    const Case cases[] = {
        {"same", onvif_test::DateAndTime(2026, 12, 9, 13, 0, 0), SoapRead::Ok, 0},
        {"two hours ahead", onvif_test::DateAndTime(2026, 12, 9, 15, 0, 0), SoapRead::Ok, 7200},
        {"behind over midnight", onvif_test::DateAndTime(2026, 12, 8, 23, 0, 5), SoapRead::Ok,
         -14 * 3600 + 5},
        {"month 13", onvif_test::DateAndTime(2026, 13, 9, 13, 0, 0), SoapRead::NotSoap, 0},
        {"hour 24", onvif_test::DateAndTime(2026, 12, 9, 24, 0, 0), SoapRead::NotSoap, 0},
        {"no UTC time", onvif_test::Answer("<tds:GetSystemDateAndTimeResponse>"
                                           "<tds:SystemDateAndTime/>"
                                           "</tds:GetSystemDateAndTimeResponse>"),
         SoapRead::NotSoap, 0},
        {"fault", onvif_test::Fault("ter:ActionNotSupported", "no"), SoapRead::Fault, 0},
        {"html", "<html><body>login</body></html>", SoapRead::NotSoap, 0},
        {"garbage", "\x01\x02", SoapRead::BadXml, 0},
    };
    for (const Case& c : cases) {
        long long offset = 99;
        SoapFault fault;
        ASSERT_EQ(ReadSystemDateAndTime(c.body, host, &offset, &fault), c.read) << c.name;
        if (c.read == SoapRead::Ok) {
            EXPECT_EQ(offset, c.offset) << c.name;
        }
    }
}

TEST(OnvifSoapTest, ReadsDeviceInformationAndInterfaces) {
    const std::string info = onvif_test::Answer(
        "<tds:GetDeviceInformationResponse><tds:Manufacturer>Acme</tds:Manufacturer>"
        "<tds:Model>Cam\x07 9</tds:Model><tds:FirmwareVersion>1.2</tds:FirmwareVersion>"
        "<tds:SerialNumber>SN1</tds:SerialNumber><tds:HardwareId>H</tds:HardwareId>"
        "</tds:GetDeviceInformationResponse>");
    DeviceInformation d;
    SoapFault fault;
    ASSERT_EQ(ReadDeviceInformation(info, &d, &fault), SoapRead::Ok);
    EXPECT_EQ(d.manufacturer, "Acme");
    EXPECT_EQ(d.model, "Cam 9"); // the control character is dropped
    EXPECT_EQ(d.firmware, "1.2");
    EXPECT_EQ(d.serial, "SN1");
    EXPECT_EQ(d.hardwareId, "H");

    std::vector<NetworkInterface> list;
    ASSERT_EQ(ReadNetworkInterfaces(onvif_test::NetworkInterfaces("eth0", "192.168.1.64"), &list,
                                    &fault),
              SoapRead::Ok);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].token, "eth0");
    EXPECT_EQ(list[0].mac, "02:4F:4E:00:00:01");
    EXPECT_EQ(list[0].ip, "192.168.1.64");
    EXPECT_EQ(list[0].prefixLength, 24);
    EXPECT_EQ(list[0].linkLocal, "169.254.3.4");
    EXPECT_FALSE(list[0].dhcp);
    // An interface without a token cannot be named: none left is no answer.
    EXPECT_EQ(ReadNetworkInterfaces(onvif_test::NetworkInterfaces("", "1.2.3.4"), &list, &fault),
              SoapRead::NotSoap);
}

TEST(OnvifSoapTest, ReadsRebootNeededAndFaults) {
    struct Case {
        const char* text;
        bool reboot;
    };
    for (const Case& c : {Case{"true", true}, Case{"1", true}, Case{"false", false},
                          Case{" true ", true}, Case{"yes", false}}) {
        const std::string body = onvif_test::Answer(
            std::string("<tds:SetNetworkInterfacesResponse><tds:RebootNeeded>") + c.text +
            "</tds:RebootNeeded></tds:SetNetworkInterfacesResponse>");
        bool reboot = !c.reboot;
        SoapFault fault;
        ASSERT_EQ(ReadSetNetworkInterfaces(body, &reboot, &fault), SoapRead::Ok) << c.text;
        EXPECT_EQ(reboot, c.reboot) << c.text;
    }
    SoapFault fault;
    ASSERT_TRUE(ReadFault(onvif_test::Fault("ter:NotAuthorized", "Sender not authorized"), &fault));
    EXPECT_EQ(fault.code, std::string("{") + kNsSoap + "}Sender");
    EXPECT_EQ(fault.subcode, std::string("{") + kNsError + "}NotAuthorized");
    EXPECT_EQ(fault.reason, "Sender not authorized");
    EXPECT_FALSE(ReadFault(onvif_test::Answer("<tds:SystemRebootResponse/>"), &fault));
    EXPECT_EQ(ReadEmptyAnswer(onvif_test::Answer("<tds:SystemRebootResponse/>"),
                              "SystemRebootResponse", &fault),
              SoapRead::Ok);
    EXPECT_EQ(ReadEmptyAnswer(onvif_test::Answer("<tds:Other/>"), "SystemRebootResponse", &fault),
              SoapRead::NotSoap);
}

} // namespace
