// Texts of WS-Discovery and device service messages as cameras send them,
// for the module's tests. Each builder takes the parts a test varies.
#pragma once

#include <string>

namespace onvif_test {

// A ProbeMatches envelope with one match; prefixes are chosen by the
// caller so tests can show they are resolved, not assumed.
inline std::string ProbeMatches(const std::string& relatesTo, const std::string& endpoint,
                                const std::string& types, const std::string& scopes,
                                const std::string& xaddrs, const std::string& d = "d",
                                const std::string& extraNs =
                                    " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\""
                                    " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"") {
    return "<?xml version=\"1.0\"?><env:Envelope xmlns:env=\"http://www.w3.org/2003/05/"
           "soap-envelope\" xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:" + d + "=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"" + extraNs +
           "><env:Header><wsa:MessageID>urn:uuid:answer</wsa:MessageID><wsa:RelatesTo>" +
           relatesTo + "</wsa:RelatesTo></env:Header><env:Body><" + d + ":ProbeMatches><" + d +
           ":ProbeMatch><wsa:EndpointReference><wsa:Address>" + endpoint +
           "</wsa:Address></wsa:EndpointReference><" + d + ":Types>" + types + "</" + d +
           ":Types><" + d + ":Scopes>" + scopes + "</" + d + ":Scopes><" + d + ":XAddrs>" +
           xaddrs + "</" + d + ":XAddrs><" + d + ":MetadataVersion>3</" + d +
           ":MetadataVersion></" + d + ":ProbeMatch></" + d + ":ProbeMatches></env:Body>"
           "</env:Envelope>";
}

// A Hello or Bye (kind) of one endpoint.
inline std::string Announcement(const std::string& kind, const std::string& endpoint,
                                const std::string& xaddrs) {
    return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><s:Header><a:MessageID>"
           "urn:uuid:m</a:MessageID></s:Header><s:Body><d:" + kind +
           "><a:EndpointReference><a:Address>" + endpoint +
           "</a:Address></a:EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types>"
           "<d:XAddrs>" + xaddrs + "</d:XAddrs><d:MetadataVersion>1</d:MetadataVersion></d:" +
           kind + "></s:Body></s:Envelope>";
}

// A device service answer: body inside an envelope declaring tds and tt.
inline std::string Answer(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope "
           "xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" "
           "xmlns:tt=\"http://www.onvif.org/ver10/schema\" "
           "xmlns:ter=\"http://www.onvif.org/ver10/error\"><SOAP-ENV:Body>" + body +
           "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

// A SOAP fault with a subcode (a QName) and a reason.
inline std::string Fault(const std::string& subcode, const std::string& reason) {
    return Answer("<SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender</SOAP-ENV:Value>"
                  "<SOAP-ENV:Subcode><SOAP-ENV:Value>" + subcode +
                  "</SOAP-ENV:Value></SOAP-ENV:Subcode></SOAP-ENV:Code><SOAP-ENV:Reason>"
                  "<SOAP-ENV:Text xml:lang=\"en\">" + reason +
                  "</SOAP-ENV:Text></SOAP-ENV:Reason></SOAP-ENV:Fault>");
}

inline std::string DateAndTime(int y, int mo, int d, int h, int mi, int s) {
    auto n = [](int v) { return std::to_string(v); };
    return Answer("<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:DateTimeType>"
                  "Manual</tt:DateTimeType><tt:UTCDateTime><tt:Time><tt:Hour>" + n(h) +
                  "</tt:Hour><tt:Minute>" + n(mi) + "</tt:Minute><tt:Second>" + n(s) +
                  "</tt:Second></tt:Time><tt:Date><tt:Year>" + n(y) + "</tt:Year><tt:Month>" +
                  n(mo) + "</tt:Month><tt:Day>" + n(d) +
                  "</tt:Day></tt:Date></tt:UTCDateTime></tds:SystemDateAndTime>"
                  "</tds:GetSystemDateAndTimeResponse>");
}

inline std::string NetworkInterfaces(const std::string& token, const std::string& ip) {
    return Answer("<tds:GetNetworkInterfacesResponse><tds:NetworkInterfaces token=\"" + token +
                  "\"><tt:Enabled>true</tt:Enabled><tt:Info><tt:Name>eth0</tt:Name>"
                  "<tt:HwAddress>02-4f-4e-00-00-01</tt:HwAddress></tt:Info><tt:IPv4>"
                  "<tt:Enabled>true</tt:Enabled><tt:Config><tt:Manual><tt:Address>" + ip +
                  "</tt:Address><tt:PrefixLength>24</tt:PrefixLength></tt:Manual><tt:LinkLocal>"
                  "<tt:Address>169.254.3.4</tt:Address><tt:PrefixLength>16</tt:PrefixLength>"
                  "</tt:LinkLocal><tt:DHCP>false</tt:DHCP></tt:Config></tt:IPv4>"
                  "</tds:NetworkInterfaces></tds:GetNetworkInterfacesResponse>");
}

} // namespace onvif_test
