// The simulated cameras' WS-Discovery messages: which probes they answer,
// and what their answers, Hello and Bye say.

#include <gtest/gtest.h>

#include <string>

#include "Fleet.h"
#include "SoapReader.h"
#include "WsDiscovery.h"

namespace {

using namespace devsim;

Device Camera() {
    Device d = GenerateOnvifCamera(FleetPlan{}, 0, 1800000000);
    d.ip = "192.168.1.70";
    d.ip2 = "169.254.0.2";
    d.httpPort = 8080;
    return d;
}

std::string ProbeText(const std::string& types, const std::string& id = "urn:uuid:probe-1",
                      const std::string& scopes = "") {
    return "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:q=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:nvt=\"http://www.onvif.org/ver10/network/wsdl\" "
           "xmlns:dev=\"http://www.onvif.org/ver10/device/wsdl\"><soap:Header><a:MessageID>" +
           id +
           "</a:MessageID><a:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To></"
           "soap:Header><soap:Body><q:Probe>" +
           (types.empty() ? "" : "<q:Types>" + types + "</q:Types>") +
           (scopes.empty() ? "" : "<q:Scopes>" + scopes + "</q:Scopes>") +
           "</q:Probe></soap:Body></soap:Envelope>";
}

TEST(WsDiscoveryProbe, ReadsIdTypesAndScopesWhateverThePrefixes) {
    wsd::Probe p;
    ASSERT_TRUE(wsd::ParseProbe(
        ProbeText("nvt:NetworkVideoTransmitter", " urn:uuid:x \n", "onvif://www.onvif.org/name"),
        &p));
    EXPECT_EQ(p.messageId, "urn:uuid:x");
    ASSERT_EQ(p.types.size(), 1u);
    EXPECT_EQ(p.types[0].second, "NetworkVideoTransmitter");
    ASSERT_EQ(p.scopes.size(), 1u);
}

TEST(WsDiscoveryProbe, IgnoresWhatIsNotAUsableProbe) {
    wsd::Probe p;
    const std::string hello = ProbeText("").replace(ProbeText("").find("q:Probe>"), 7, "q:Hello");
    const std::string cases[] = {
        "",
        "garbage",
        ProbeText("", ""),                                       // no MessageID text
        ProbeText("", std::string(300, 'x')),                    // MessageID too long
        ProbeText("nvt:NetworkVideoTransmitter").substr(0, 200), // cut short
        hello.substr(0, hello.rfind("q:Probe>")) + "q:Hello></soap:Body></soap:Envelope>",
    };
    for (const std::string& text : cases)
        EXPECT_FALSE(wsd::ParseProbe(text, &p)) << text;
}

TEST(WsDiscoveryProbe, EachDeviceAnswersTheProbesItShould) {
    Device both = Camera(), nvtOnly = Camera(), deviceOnly = Camera(), printer = Camera(),
           maker = GenerateDevice(FleetPlan{}, 0, 1800000000), makerToo = maker;
    nvtOnly.onvif.probeTypes = ProbeTypes::NetworkVideoTransmitter;
    deviceOnly.onvif.probeTypes = ProbeTypes::Device;
    printer.onvif.role = WsdRole::Printer;
    makerToo.onvif.role = WsdRole::Camera;
    makerToo.onvif.makerToo = true;
    const struct {
        std::string types, scopes;
        bool both, nvtOnly, deviceOnly, printer, maker, makerToo;
    } cases[] = {
        {"", "", true, true, true, true, false, true},
        {"nvt:NetworkVideoTransmitter", "", true, true, false, true, false, true},
        {"dev:Device", "", true, false, true, true, false, true},
        {"nvt:NetworkVideoTransmitter dev:Device", "", true, false, false, true, false, true},
        {"dev:NetworkVideoTransmitter", "", false, false, false, true, false, false},
        {"q:Printer", "", false, false, false, true, false, false},
        {"", "onvif://www.onvif.org/type", true, true, true, true, false, true},
        {"", "onvif://www.onvif.org/type/video_encoder", true, true, true, true, false, true},
        {"", "onvif://www.onvif.org/typ", false, false, false, true, false, false},
        {"", "onvif://www.onvif.org/name/SimCam-1", true, true, true, true, false, false},
    };
    for (const auto& c : cases) {
        wsd::Probe p;
        ASSERT_TRUE(wsd::ParseProbe(ProbeText(c.types, "urn:uuid:p", c.scopes), &p));
        EXPECT_EQ(wsd::Answers(both, p), c.both) << c.types << c.scopes;
        EXPECT_EQ(wsd::Answers(nvtOnly, p), c.nvtOnly) << c.types << c.scopes;
        EXPECT_EQ(wsd::Answers(deviceOnly, p), c.deviceOnly) << c.types << c.scopes;
        EXPECT_EQ(wsd::Answers(printer, p), c.printer) << c.types << c.scopes;
        EXPECT_EQ(wsd::Answers(maker, p), c.maker) << c.types << c.scopes;
        EXPECT_EQ(wsd::Answers(makerToo, p), c.makerToo) << c.types << c.scopes;
    }
}

// The named child's text of the first ProbeMatch/Hello in `text`.
std::string Field(const std::string& text, const char* container, const char* ns,
                  const char* name) {
    soap::Document doc;
    if (!soap::Read(text, &doc))
        return "<unreadable>";
    const int env = doc.Child(-1, soap::kEnvelopeNs, "Envelope");
    const int header = doc.Child(env, soap::kEnvelopeNs, "Header");
    int at = doc.Child(header, ns, name);
    if (at < 0) {
        int parent =
            doc.Child(doc.Child(env, soap::kEnvelopeNs, "Body"), soap::kDiscoveryNs, container);
        if (std::string(container) == "ProbeMatches")
            parent = doc.Child(parent, soap::kDiscoveryNs, "ProbeMatch");
        at = doc.Child(parent, ns, name);
        if (at < 0 && std::string(name) == "Address")
            at = doc.Child(doc.Child(parent, soap::kAddressingNs, "EndpointReference"), ns, name);
    }
    return at < 0 ? "<missing>" : doc.elements[static_cast<std::size_t>(at)].text;
}

TEST(WsDiscoveryMessages, ProbeMatchesCarryTheContractedFields) {
    Device d = Camera();
    d.devName = "Gate <1> & 2";
    const std::string m = wsd::ProbeMatches(d, "urn:uuid:a<b");
    EXPECT_EQ(Field(m, "ProbeMatches", soap::kAddressingNs, "RelatesTo"), "urn:uuid:a<b");
    EXPECT_EQ(Field(m, "ProbeMatches", soap::kAddressingNs, "Action"),
              "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches");
    EXPECT_EQ(Field(m, "ProbeMatches", soap::kAddressingNs, "Address"),
              "urn:uuid:6f6e7669-6600-4000-8000-024f4e000001");
    EXPECT_EQ(Field(m, "ProbeMatches", soap::kDiscoveryNs, "Types"),
              "dn:NetworkVideoTransmitter tds:Device");
    EXPECT_EQ(Field(m, "ProbeMatches", soap::kDiscoveryNs, "XAddrs"),
              "http://192.168.1.70:8080/onvif/device_service "
              "http://169.254.0.2:8080/onvif/device_service");
    const std::string scopes = Field(m, "ProbeMatches", soap::kDiscoveryNs, "Scopes");
    for (const char* s :
         {"onvif://www.onvif.org/type/video_encoder",
          "onvif://www.onvif.org/type/NetworkVideoTransmitter",
          "onvif://www.onvif.org/Profile/Streaming",
          "onvif://www.onvif.org/name/Gate%20%3C1%3E%20%26%202",
          "onvif://www.onvif.org/hardware/SC-2040", "onvif://www.onvif.org/MAC/02:4f:4e:00:00:01"})
        EXPECT_NE(scopes.find(s), std::string::npos) << s << " in " << scopes;
}

TEST(WsDiscoveryMessages, MacScopeAndLinkLocalAddressCanBeTurnedOff) {
    Device d = Camera();
    d.onvif.macInScopes = false;
    d.onvif.linkLocalXAddr = false;
    d.onvif.endpoint = "urn:uuid:11111111-2222-4333-8444-555555555555";
    const std::string m = wsd::ProbeMatches(d, "urn:uuid:p");
    EXPECT_EQ(Field(m, "ProbeMatches", soap::kDiscoveryNs, "Scopes").find("/MAC/"),
              std::string::npos);
    EXPECT_EQ(Field(m, "ProbeMatches", soap::kDiscoveryNs, "XAddrs"),
              "http://192.168.1.70:8080/onvif/device_service");
    EXPECT_EQ(Field(m, "ProbeMatches", soap::kAddressingNs, "Address"), d.onvif.endpoint);
}

TEST(WsDiscoveryMessages, PrinterSaysPrinterWithoutCameraScopes) {
    Device d = Camera();
    d.onvif.role = WsdRole::Printer;
    const std::string m = wsd::ProbeMatches(d, "urn:uuid:p");
    EXPECT_EQ(Field(m, "ProbeMatches", soap::kDiscoveryNs, "Types"),
              "wprt:PrintDeviceType wsdp:Device");
    EXPECT_EQ(m.find("onvif://"), std::string::npos);
}

TEST(WsDiscoveryMessages, HelloAndByeAnnounceTheCurrentAddressInSequence) {
    Device d = Camera();
    const std::string first = wsd::Hello(&d);
    d.ip = "10.9.8.7";
    const std::string second = wsd::Hello(&d);
    EXPECT_EQ(Field(second, "Hello", soap::kAddressingNs, "Action"),
              "http://schemas.xmlsoap.org/ws/2005/04/discovery/Hello");
    EXPECT_EQ(Field(second, "Hello", soap::kDiscoveryNs, "XAddrs").find("http://10.9.8.7:8080/"),
              0u);
    EXPECT_NE(first.find("MessageNumber=\"1\""), std::string::npos);
    EXPECT_NE(second.find("MessageNumber=\"2\""), std::string::npos);
    const std::string bye = wsd::Bye(&d);
    EXPECT_EQ(Field(bye, "Bye", soap::kAddressingNs, "Address"),
              "urn:uuid:6f6e7669-6600-4000-8000-024f4e000001");
}

TEST(WsDiscoveryMessages, PercentEncodesAllButUnreservedBytes) {
    EXPECT_EQ(wsd::PercentEncode("Az09-._~"), "Az09-._~");
    EXPECT_EQ(wsd::PercentEncode("a b/ü"), "a%20b%2F%C3%BC");
}

} // namespace
