// The device service's SOAP messages: envelopes with the WS-UsernameToken,
// the requests of the calls this tool makes, and readers of the answers.
// Pure functions; every answer is hostile input read through ReadXml.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "OnvifCamera.h"

namespace onvif {

// The WS-UsernameToken of one request.
struct UsernameToken {
    std::string user;
    std::string nonce;   // 16 raw bytes
    std::string created; // xs:dateTime in UTC, "2026-12-09T13:00:00Z"
    std::string digest;  // Base64(SHA-1(nonce + created + password))
};

// Base64(SHA-1(nonce + created + password)).
std::string PasswordDigest(const std::string& nonce, const std::string& created,
                           const std::string& password);
// A token for user with a fresh random nonce and the camera's time
// (host time + offsetSeconds).
UsernameToken MakeToken(const std::string& user, const std::string& password, std::time_t hostNow,
                        long long offsetSeconds);
// time as xs:dateTime in UTC with a Z.
std::string FormatDateTime(std::time_t time);

std::string Base64(const std::string& bytes);

// A SOAP 1.2 envelope around body (elements in the tds/tt namespaces,
// declared on the envelope); with a wsse:Security header when token is not
// null.
std::string Envelope(const std::string& body, const UsernameToken* token);

// Bodies of the requests.
std::string GetSystemDateAndTimeBody();
std::string GetDeviceInformationBody();
std::string GetNetworkInterfacesBody();
std::string GetNetworkDefaultGatewayBody();
std::string SetNetworkInterfacesBody(const std::string& token, const std::string& ip,
                                     int prefixLength);
std::string SetNetworkDefaultGatewayBody(const std::string& gateway);
std::string SystemRebootBody();

// What an answer holds: a body element or a fault.
enum class SoapRead {
    Ok,
    Fault,   // a SOAP fault; fault fields filled
    BadXml,  // too large, too complex or not well formed
    NotSoap, // no envelope or body, or not the expected answer
};

struct SoapFault {
    std::string code;    // "{ns}local" of Code/Value
    std::string subcode; // "{ns}local" of the innermost Subcode/Value
    std::string reason;  // the first Reason/Text
};

// The camera's UTC clock minus hostNow, in seconds.
SoapRead ReadSystemDateAndTime(const std::string& body, std::time_t hostNow,
                               long long* offsetSeconds, SoapFault* fault);
SoapRead ReadDeviceInformation(const std::string& body, DeviceInformation* out, SoapFault* fault);

struct NetworkInterface {
    std::string token;
    bool enabled = true;
    std::string mac; // normalised, may be empty
    std::string ip;  // manual address
    int prefixLength = 0;
    std::string linkLocal;
    bool dhcp = false;
    std::string dhcpIp; // the address DHCP gave, when the camera tells it
    int dhcpPrefixLength = 0;
};
SoapRead ReadNetworkInterfaces(const std::string& body, std::vector<NetworkInterface>* out,
                               SoapFault* fault);
// The first IPv4 default gateway the camera names that is a dotted IPv4
// address; empty when it names none.
SoapRead ReadNetworkDefaultGateway(const std::string& body, std::string* gateway, SoapFault* fault);
SoapRead ReadSetNetworkInterfaces(const std::string& body, bool* rebootNeeded, SoapFault* fault);
// Any answer whose body holds the element (kNsDevice, local).
SoapRead ReadEmptyAnswer(const std::string& body, const char* local, SoapFault* fault);

// Reads only the fault of an answer; false when it holds none.
bool ReadFault(const std::string& body, SoapFault* fault);

struct XmlElement;
// The body element (ns, local) of an answer: Ok with *answer pointing into
// *root; Fault fills fault (when not null); the readers of every service
// start here.
SoapRead ReadAnswer(const std::string& body, const char* ns, const char* local, XmlElement* root,
                    const XmlElement** answer, SoapFault* fault);

// An answer field for display: control characters dropped, blanks trimmed,
// cut at max bytes.
std::string AnswerField(const std::string& text, std::size_t max = 256);

} // namespace onvif
