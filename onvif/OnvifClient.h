// The device service client: the calls this tool makes on one camera, over
// SoapPost (Common/Layer2_Platform/Linux/SoapTransport.h; tests replace it).
//
// Before the first call that needs a login it reads GetSystemDateAndTime
// (no login) and signs every WS-UsernameToken with the camera's clock. When
// the camera answers 401 with a Digest challenge, the call is repeated once
// with HTTP Digest and every later call uses Digest from the start.
// Outcomes are values, each distinct; the password is wiped when the
// client is destroyed and never logged.
#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "OnvifSoap.h"
#include "Secret.h"
#include "SoapTransport.h"

namespace onvif {

enum class Outcome {
    Done,
    WrongCredentials, // 401, or a NotAuthorized fault without "locked"
    Locked,           // a refusal (403 or a fault) whose reason says locked
    NoAnswer,         // no connection, time-out
    BadReply,         // not a camera, or an answer that is not the one asked for
    TooLarge,         // the answer passed the size cap
    Fault,            // the camera refused with another SOAP fault (see LastFault())
    OutOfReach,       // no XAddr this card can reach
};

// A short English word for the outcome ("done", "wrong credentials", ...).
const char* OutcomeName(Outcome outcome);

class DeviceClient {
public:
    // xaddr: the camera's device service address (ParseXAddr must read it).
    DeviceClient(std::string xaddr, std::string user, SharedSecret password);
    ~DeviceClient();
    DeviceClient(const DeviceClient&) = delete;
    DeviceClient& operator=(const DeviceClient&) = delete;

    // The clock for signing; tests replace it. Default: std::time.
    void SetClock(std::function<std::time_t()> clock);
    // No call goes on past deadline: each request's time limit is lowered
    // to the time left, and a request due after it is NoAnswer at once.
    // Default: none beyond the transport's own limits.
    void SetDeadline(std::chrono::steady_clock::time_point deadline);

    // Each call: Done fills its output; otherwise the output is untouched.
    Outcome GetSystemDateAndTime(long long* offsetSeconds);
    Outcome GetDeviceInformation(DeviceInformation* out);
    Outcome GetNetworkInterfaces(std::vector<NetworkInterface>* out);
    Outcome SetNetworkInterfaces(const std::string& token, const std::string& ip, int prefixLength,
                                 bool* rebootNeeded);
    Outcome SetNetworkDefaultGateway(const std::string& gateway);
    Outcome SystemReboot();

    // Later calls go to xaddr: the camera took a new address without a
    // reboot. Clock offset and the choice of Digest carry over.
    // The Digest challenge of the old address is dropped with it.
    void MoveTo(std::string xaddr);

    // The last fault the camera sent (for Fault and Locked), else empty.
    const SoapFault& LastFault() const { return m_fault; }
    // True once the camera asked for HTTP Digest.
    bool UsesDigest() const { return m_digest; }
    // The offset learnt, 0 before it was read.
    long long ClockOffset() const { return m_offset; }

private:
    using Reader = std::function<SoapRead(const std::string&, SoapFault*)>;
    Outcome Call(const std::string& action, const std::string& body, bool login,
                 const Reader& read);
    Outcome EnsureClock();
    Outcome Classify(long status, const std::string& body, bool challenge, const Reader& read);

    std::string m_xaddr;
    std::string m_user;
    SharedSecret m_password;
    std::function<std::time_t()> m_clock;
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::time_point::max();
    bool m_clockKnown = false;
    long long m_offset = 0;
    bool m_digest = false;
    SoapFault m_fault;
    std::unique_ptr<SoapSession> m_session; // the camera's Digest challenge between calls
};

} // namespace onvif
