// The device service client: the calls this tool makes on one camera, over
// SoapPost (Common/Layer2_Platform/Linux/SoapTransport.h; tests replace it).
//
// Log-in: the first call that needs one goes out without any, so that the
// camera says how it wants it. A Digest challenge is answered with HTTP
// Digest (bound to that camera's nonce), and every later call uses Digest.
// Only a camera that refuses without offering Digest gets a
// WS-UsernameToken, signed with its clock as GetSystemDateAndTime (no
// login) tells it, and only while that clock is within kClockBound of this
// computer's: a token signed for a clock further ahead would stay valid at
// other cameras until then. Both forms never go out together.
//
// https: the camera's public key is pinned on first use per endpoint
// (OnvifPins.h), from an exchange that carries no login; a changed key is
// CertificateChanged and nothing is sent.
// Outcomes are values, each distinct; the password is wiped when the
// client is destroyed and never logged.
#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ImageTransport.h"
#include "OnvifMedia.h"
#include "OnvifSettings.h"
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
    // https: the camera's certificate has another public key than the one
    // pinned for its endpoint; nothing was sent (ForgetPin accepts it).
    CertificateChanged,
    // The camera wants a WS-UsernameToken but its clock is more than
    // kClockBound off this computer's: no token was signed
    // (DeviceClient::ClockOffset tells by how much).
    ClockOff,
    // More than one host claims the camera (CameraRecord::contested):
    // nobody was logged in to.
    Conflict,
    // The camera does not offer what was asked (an ActionNotSupported fault
    // to a call that asks for it, no media service, no profile with video,
    // a fixed name scope, a picture only behind HTTP Basic); LastFault()
    // holds the fault when there was one.
    NotSupported,
    // A value the caller gave is not valid (a name, an NTP server, a time
    // zone): nothing was sent.
    InvalidInput,
    // The caller's stop flag was raised: no further call was made.
    Cancelled,
};

// The clock offset beyond which a camera's clock is reported, and no
// WS-UsernameToken is signed with it.
constexpr long long kClockBound = 300;

// True when offset (seconds) is beyond kClockBound either way.
bool ClockIsOff(long long offset);

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
    // The camera's endpoint, under which its https key is pinned (default:
    // the XAddr).
    void SetEndpoint(std::string endpoint);
    // No call goes on past deadline: each request's time limit is lowered
    // to the time left, and a request due after it is NoAnswer at once.
    // Default: none beyond the transport's own limits.
    void SetDeadline(std::chrono::steady_clock::time_point deadline);

    // Each call: Done fills its output; otherwise the output is untouched.
    Outcome GetSystemDateAndTime(long long* offsetSeconds);
    Outcome GetDeviceInformation(DeviceInformation* out);
    Outcome GetNetworkInterfaces(std::vector<NetworkInterface>* out);
    // Done with an empty gateway when the camera names no IPv4 one.
    Outcome GetNetworkDefaultGateway(std::string* gateway);
    Outcome SetNetworkInterfaces(const std::string& token, const std::string& ip, int prefixLength,
                                 bool* rebootNeeded);
    Outcome SetNetworkDefaultGateway(const std::string& gateway);
    Outcome SystemReboot();

    // A camera's name and clock. The calls that change something are
    // NotSupported for a camera that answers ActionNotSupported.
    Outcome GetScopes(std::vector<Scope>* out);
    Outcome SetScopes(const std::vector<std::string>& configurable);
    Outcome GetHostname(std::string* name);
    Outcome SetHostname(const std::string& name);
    Outcome GetNtp(NtpSettings* out);
    Outcome SetNtp(const NtpServer& server);
    // GetSystemDateAndTime in full; without a login, like the offset alone.
    Outcome GetClockSettings(ClockSettings* out);
    Outcome SetSystemDateAndTime(const DateTimeSetting& setting);

    // Where the media service is, as GetServices or GetCapabilities tells
    // it: NotSupported when the camera names none (or does not offer the
    // call). The address is the camera's word: hold it to the camera
    // before using it.
    Outcome GetMediaServiceFromServices(std::string* xaddr);
    Outcome GetMediaServiceFromCapabilities(std::string* xaddr);
    // The media service at mediaXAddr, with this client's log-in, pin and
    // deadline (the caller has held the address to the camera).
    Outcome GetProfiles(const std::string& mediaXAddr, std::vector<MediaProfile>* out);
    Outcome GetSnapshotUri(const std::string& mediaXAddr, const std::string& profileToken,
                           std::string* uri);
    // GETs a picture at uri (held to the camera by the caller) within
    // maxBytes and the deadline (at most kImageDeadlineMs): Done for status
    // 200 with the body in reply; a log-in only as HTTP Digest and only
    // when the first answer asks for it (ImageTransport.h), https pinned
    // under the camera's endpoint like every call. NotSupported when the
    // camera asks only for Basic (nothing sent), WrongCredentials for a
    // refused log-in, Fault for 403, BadReply for any other status or a
    // URI this tool does not fetch; TooLarge, NoAnswer,
    // CertificateChanged as for SOAP calls.
    Outcome FetchImage(const std::string& uri, std::size_t maxBytes, ImageGetReply* reply);

    // Later calls go to xaddr: the camera took a new address without a
    // reboot. Clock offset and the choice of Digest carry over.
    // The Digest challenge of the old address is dropped with it.
    void MoveTo(std::string xaddr);

    // The last fault the camera sent (for Fault and Locked), else empty.
    const SoapFault& LastFault() const { return m_fault; }
    // True once the camera asked for HTTP Digest.
    bool UsesDigest() const { return m_login == Login::Digest; }
    // True once the camera refused a call without offering Digest.
    bool UsesToken() const { return m_login == Login::Token; }
    // The offset learnt, 0 before it was read.
    long long ClockOffset() const { return m_offset; }
    // True once the camera's clock was read.
    bool ClockKnown() const { return m_clockRead; }

private:
    using Reader = std::function<SoapRead(const std::string&, SoapFault*)>;
    Outcome Call(const std::string& action, const std::string& body, bool login,
                 const Reader& read);
    // The same to service address xaddr with the whole SOAP action.
    Outcome CallAt(const std::string& xaddr, const std::string& actionUri, const std::string& body,
                   bool login, const Reader& read);
    // The request's time limit from the deadline: false when none is left.
    bool TimeLeft(long cap, long* limitMs) const;
    // Fault with an ActionNotSupported subcode becomes NotSupported.
    Outcome Offered(Outcome o) const;
    Outcome EnsureClock();
    Outcome Classify(long status, const std::string& body, bool challenge, const Reader& read);

    enum class Login { Unknown, Digest, Token };
    // The pin to hold the camera to; empty before first use.
    std::string PinFor(bool https);
    // Notes the key met on first use; false when another was pinned meanwhile.
    bool NoteKey(const std::string& met);

    std::string m_xaddr;
    std::string m_endpoint;
    std::string m_pin;
    std::string m_user;
    SharedSecret m_password;
    std::function<std::time_t()> m_clock;
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::time_point::max();
    bool m_clockKnown = false; // asked (a camera that does not tell is signed with ours)
    bool m_clockRead = false;  // told
    long long m_offset = 0;
    Login m_login = Login::Unknown;
    SoapFault m_fault;
    std::unique_ptr<SoapSession> m_session; // the camera's Digest challenge between calls
};

} // namespace onvif
