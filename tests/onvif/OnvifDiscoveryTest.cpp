// WS-Discovery messages: reading matches whatever prefixes the sender
// chose, which matches name a video device, scopes, MACs and XAddrs, and
// refusing hostile texts.
#include <gtest/gtest.h>

#include "OnvifDiscovery.h"
#include "OnvifMessages.h"
#include "OnvifXml.h"

using namespace onvif;
using onvif_test::ProbeMatches;

namespace {

const char kCameraScopes[] =
    "onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/name/Front%20Door "
    "onvif://www.onvif.org/hardware/IPC-2000 onvif://www.onvif.org/MAC/02:4f:4e:00:00:01";

TEST(OnvifDiscoveryTest, ReadsAProbeMatchWithEveryField) {
    const std::string text = ProbeMatches(
        "urn:uuid:probe", " urn:uuid:cam-1 ", "dn:NetworkVideoTransmitter tds:Device",
        kCameraScopes, "http://192.168.1.64/onvif/device_service http://169.254.1.2:8080/x");
    DiscoveryMessage m;
    ASSERT_EQ(ParseDiscovery(text.data(), text.size(), &m), DiscoveryRead::Ok);
    EXPECT_EQ(m.kind, DiscoveryKind::ProbeMatches);
    EXPECT_EQ(m.relatesTo, "urn:uuid:probe");
    ASSERT_EQ(m.matches.size(), 1u);
    const DiscoveryMatch& match = m.matches[0];
    EXPECT_EQ(match.endpoint, "urn:uuid:cam-1");
    ASSERT_EQ(match.types.size(), 2u);
    EXPECT_EQ(match.types[0], std::string("{") + kNsNetwork + "}NetworkVideoTransmitter");
    EXPECT_EQ(match.types[1], std::string("{") + kNsDevice + "}Device");
    EXPECT_EQ(match.scopes.size(), 4u);
    EXPECT_EQ(match.xaddrs.size(), 2u);
    EXPECT_EQ(match.metadataVersion, 3u);
    EXPECT_TRUE(IsVideoDevice(match));
    EXPECT_EQ(ScopeValue(match.scopes, "name"), "Front Door");
    EXPECT_EQ(ScopeValue(match.scopes, "hardware"), "IPC-2000");
    EXPECT_EQ(ScopeValue(match.scopes, "MAC"), "02:4f:4e:00:00:01");
}

// Which responders are listed: the type decides through its namespace, not
// its prefix; scopes alone may say video device too.
TEST(OnvifDiscoveryTest, ListsOnlyVideoDevices) {
    struct Case {
        const char* name;
        std::string types, scopes, extraNs;
        bool video;
    };
    const std::string dn = " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"";
    const Case cases[] = {
        {"usual prefix", "dn:NetworkVideoTransmitter", "", dn, true},
        {"other prefix", "nvt:NetworkVideoTransmitter", "",
         " xmlns:nvt=\"http://www.onvif.org/ver10/network/wsdl\"", true},
        {"default namespace", "NetworkVideoTransmitter", "",
         " xmlns=\"http://www.onvif.org/ver10/network/wsdl\"", true},
        {"dn prefix bound elsewhere", "dn:NetworkVideoTransmitter", "",
         " xmlns:dn=\"http://example.com/not-onvif\"", false},
        {"undeclared prefix", "zz:NetworkVideoTransmitter", "", dn, false},
        {"device only, no scope", "tds:Device", "",
         " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"", false},
        {"device with encoder scope", "tds:Device", "onvif://www.onvif.org/type/video_encoder",
         " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"", true},
        {"NVT scope, any case host", "", "ONVIF://www.onvif.org/type/NetworkVideoTransmitter", dn,
         true},
        {"printer", "wprt:PrintDeviceType wsdp:Device", "",
         " xmlns:wprt=\"http://schemas.microsoft.com/windows/2006/08/wdp/print\""
         " xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\"",
         false},
        {"windows host", "pub:Computer", "",
         " xmlns:pub=\"http://schemas.microsoft.com/windows/pub/2005/07\"", false},
        {"other type scope", "", "onvif://www.onvif.org/type/audio_encoder", dn, false},
    };
    for (const Case& c : cases) {
        const std::string text =
            ProbeMatches("urn:uuid:p", "urn:uuid:x", c.types, c.scopes, "", "d", c.extraNs);
        DiscoveryMessage m;
        ASSERT_EQ(ParseDiscovery(text.data(), text.size(), &m), DiscoveryRead::Ok) << c.name;
        ASSERT_EQ(m.matches.size(), 1u) << c.name;
        EXPECT_EQ(IsVideoDevice(m.matches[0]), c.video) << c.name;
    }
}

TEST(OnvifDiscoveryTest, KindsOfMessage) {
    const std::string hello = onvif_test::Announcement("Hello", "urn:uuid:h", "http://10.0.0.5/");
    const std::string bye = onvif_test::Announcement("Bye", "urn:uuid:h", "");
    const std::string probe = BuildProbe("urn:uuid:mine", ProbeType::Device);
    DiscoveryMessage m;
    ASSERT_EQ(ParseDiscovery(hello.data(), hello.size(), &m), DiscoveryRead::Ok);
    EXPECT_EQ(m.kind, DiscoveryKind::Hello);
    EXPECT_EQ(m.matches.at(0).endpoint, "urn:uuid:h");
    ASSERT_EQ(ParseDiscovery(bye.data(), bye.size(), &m), DiscoveryRead::Ok);
    EXPECT_EQ(m.kind, DiscoveryKind::Bye);
    ASSERT_EQ(ParseDiscovery(probe.data(), probe.size(), &m), DiscoveryRead::Ok);
    EXPECT_EQ(m.kind, DiscoveryKind::Probe);
    EXPECT_EQ(m.messageId, "urn:uuid:mine");
    EXPECT_TRUE(m.matches.empty());
}

TEST(OnvifDiscoveryTest, ProbesAskForEachTypeInItsNamespace) {
    for (ProbeType type : {ProbeType::NetworkVideoTransmitter, ProbeType::Device}) {
        const std::string text = BuildProbe("urn:uuid:1", type);
        XmlElement root;
        ASSERT_EQ(ReadXml(text.data(), text.size(), &root), XmlRead::Ok);
        const XmlElement* types =
            root.Path({{kNsSoap, "Body"}, {kNsDiscovery, "Probe"}, {kNsDiscovery, "Types"}});
        ASSERT_NE(types, nullptr);
        const std::string expected =
            type == ProbeType::Device ? std::string("{") + kNsDevice + "}Device"
                                      : std::string("{") + kNsNetwork + "}NetworkVideoTransmitter";
        EXPECT_EQ(ResolveQName(*types, types->text), expected);
    }
}

TEST(OnvifDiscoveryTest, RefusesBrokenAndHostileTexts) {
    struct Case {
        const char* name;
        std::string text;
        DiscoveryRead expected;
    };
    const std::string deep = [] {
        std::string s = ProbeMatches("a", "urn:uuid:x", "", "", "");
        std::string open, close;
        for (int i = 0; i < 40; ++i)
            open += "<x>", close += "</x>";
        return s.insert(s.find("<env:Body>"), "<env:Header>" + open + close + "</env:Header>");
    }();
    std::string wide = "<a>";
    for (int i = 0; i < kMaxXmlElements + 1; ++i)
        wide += "<b/>";
    wide += "</a>";
    const Case cases[] = {
        {"empty", "", DiscoveryRead::BadXml},
        {"not xml", "hello", DiscoveryRead::BadXml},
        {"cut", ProbeMatches("a", "urn:uuid:x", "", "", "").substr(0, 200), DiscoveryRead::BadXml},
        {"too deep", deep, DiscoveryRead::BadXml},
        {"too many elements", wide, DiscoveryRead::BadXml},
        {"too large", std::string(kMaxXmlBytes + 1, ' '), DiscoveryRead::BadXml},
        {"zero byte inside", std::string("<a>\0</a>", 8), DiscoveryRead::BadXml},
        {"not an envelope", "<Envelope><Body/></Envelope>", DiscoveryRead::NotSoap},
        {"soap 1.1 envelope",
         "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body/></s:Envelope>",
         DiscoveryRead::NotSoap},
        {"no endpoint", ProbeMatches("a", "", "dn:NetworkVideoTransmitter", "", ""),
         DiscoveryRead::NoEndpoint},
    };
    for (const Case& c : cases) {
        DiscoveryMessage m;
        EXPECT_EQ(ParseDiscovery(c.text.data(), c.text.size(), &m), c.expected) << c.name;
    }
}

TEST(OnvifDiscoveryTest, CapsMatchesScopesAndXAddrs) {
    std::string scopes, xaddrs;
    for (int i = 0; i < 200; ++i) {
        scopes += " onvif://www.onvif.org/location/" + std::to_string(i);
        xaddrs += " http://10.0.0." + std::to_string(i % 250) + "/";
    }
    scopes += " " + std::string(600, 'a'); // one overlong item: dropped, not cut
    const std::string text = ProbeMatches("a", "urn:uuid:x", "", scopes, xaddrs);
    DiscoveryMessage m;
    ASSERT_EQ(ParseDiscovery(text.data(), text.size(), &m), DiscoveryRead::Ok);
    EXPECT_EQ(m.matches.at(0).scopes.size(), kMaxScopes);
    EXPECT_EQ(m.matches.at(0).xaddrs.size(), kMaxXAddrs);

    std::string many = ProbeMatches("a", "urn:uuid:x", "", "", "");
    const size_t begin = many.find("<d:ProbeMatch>");
    const size_t end = many.find("</d:ProbeMatches>");
    const std::string one = many.substr(begin, end - begin);
    std::string repeated;
    for (size_t i = 0; i < kMaxMatchesPerMessage + 10; ++i)
        repeated += one;
    many.replace(begin, end - begin, repeated);
    ASSERT_EQ(ParseDiscovery(many.data(), many.size(), &m), DiscoveryRead::Ok);
    EXPECT_EQ(m.matches.size(), kMaxMatchesPerMessage);
}

TEST(OnvifDiscoveryTest, ScopeValuesArePercentDecodedWithoutControls) {
    const std::vector<std::string> scopes = {
        "onvif://www.onvif.org/Name/Caf%C3%A9%20%e5%A4%a7",
        "onvif://www.onvif.org/hardware/bad%0aline%00end%7",
        "onvif://www.onvif.org/location/city/Berlin",
    };
    EXPECT_EQ(ScopeValue(scopes, "name"), "Caf\xC3\xA9 \xE5\xA4\xA7");
    EXPECT_EQ(ScopeValue(scopes, "hardware"), "badlineend%7");
    EXPECT_EQ(ScopeValue(scopes, "location"), "city/Berlin");
    EXPECT_EQ(ScopeValue(scopes, "MAC"), "");
    EXPECT_EQ(ScopeValue({"http://www.onvif.org/name/x"}, "name"), "");
}

TEST(OnvifDiscoveryTest, XAddrForms) {
    struct Case {
        const char* text;
        bool ok;
        const char* scheme;
        const char* host;
        int port;
        const char* path;
    };
    const Case cases[] = {
        {"http://192.168.1.64/onvif/device_service", true, "http", "192.168.1.64", 80,
         "/onvif/device_service"},
        {"HTTPS://10.0.0.1:8443/x", true, "https", "10.0.0.1", 8443, "/x"},
        {"http://10.0.0.1:8080", true, "http", "10.0.0.1", 8080, "/"},
        {"http://[fe80::1]:80/onvif", true, "http", "[fe80::1]", 80, "/onvif"},
        {"https://[2001:db8::5]/d", true, "https", "[2001:db8::5]", 443, "/d"},
        {"http://camera.local/onvif", false, "", "", 0, ""},
        {"http://user:pw@10.0.0.1/", false, "", "", 0, ""},
        {"http://10.0.0.1:0/", false, "", "", 0, ""},
        {"http://10.0.0.1:65536/", false, "", "", 0, ""},
        {"http://10.0.0.1:/", false, "", "", 0, ""},
        {"http://10.0.0.256/", false, "", "", 0, ""},
        {"http://10.0.0/", false, "", "", 0, ""},
        {"ftp://10.0.0.1/", false, "", "", 0, ""},
        {"http://10.0.0.1/a b", false, "", "", 0, ""},
        {"http://[fe80::1/", false, "", "", 0, ""},
        {"http://[zz::1]/", false, "", "", 0, ""},
        {"http:///x", false, "", "", 0, ""},
    };
    for (const Case& c : cases) {
        XAddr x;
        ASSERT_EQ(ParseXAddr(c.text, &x), c.ok) << c.text;
        if (!c.ok)
            continue;
        EXPECT_EQ(x.scheme, c.scheme) << c.text;
        EXPECT_EQ(x.host, c.host) << c.text;
        EXPECT_EQ(x.port, c.port) << c.text;
        EXPECT_EQ(x.path, c.path) << c.text;
    }
}

TEST(OnvifDiscoveryTest, ChoosesTheXAddrThisCardReachesOfTheSenderItself) {
    std::uint32_t card = 0, mask = 0;
    ASSERT_TRUE(ParseIPv4("192.168.1.10", &card));
    ASSERT_TRUE(ParseIPv4("255.255.255.0", &mask));
    const Subnet subnet{card, mask};
    struct Case {
        const char* name;
        const char* source; // where the message came from
        std::vector<std::string> xaddrs;
        int index;
        Reach reach;
        bool reachableButForSource;
    };
    const char* cam = "192.168.1.64";
    const Case cases[] = {
        {"on subnet", cam, {"http://192.168.1.64/a"}, 0, Reach::Subnet, true},
        {"foreign then link-local",
         "172.16.5.9",
         {"http://172.16.5.9/a", "http://169.254.7.7/a"},
         1,
         Reach::LinkLocal,
         true},
        {"subnet beats link-local",
         cam,
         {"http://169.254.7.7/a", "http://192.168.1.64/a"},
         1,
         Reach::Subnet,
         true},
        {"https preferred on subnet",
         cam,
         {"http://192.168.1.64/a", "https://192.168.1.64/a"},
         1,
         Reach::Subnet,
         true},
        {"https preferred on link-local",
         "172.16.5.9",
         {"http://169.254.7.7/a", "https://169.254.7.7/a"},
         1,
         Reach::LinkLocal,
         true},
        {"foreign only", "172.16.5.9", {"http://172.16.5.9/a"}, -1, Reach::None, false},
        {"names are not followed", cam, {"http://cam.example/a"}, -1, Reach::None, false},
        {"none", cam, {}, -1, Reach::None, false},
        // A message pointing its log-ins at another host of the subnet.
        {"another host only", "192.168.1.66", {"http://192.168.1.64/a"}, -1, Reach::None, true},
        {"the sender's own among others",
         cam,
         {"https://192.168.1.99/a", "http://192.168.1.64/a"},
         1,
         Reach::Subnet,
         true},
        {"another host, then its own link-local",
         "192.168.1.66",
         {"http://192.168.1.64/a", "http://169.254.7.7/a"},
         1,
         Reach::LinkLocal,
         true},
    };
    for (const Case& c : cases) {
        Reach reach = Reach::Subnet, any = Reach::Subnet;
        EXPECT_EQ(ChooseXAddr(c.xaddrs, subnet, c.source, &reach), c.index) << c.name;
        EXPECT_EQ(reach, c.reach) << c.name;
        EXPECT_EQ(ChooseXAddr(c.xaddrs, subnet, c.source, &any, true) >= 0, c.reachableButForSource)
            << c.name;
    }
}

} // namespace
