#include "OnvifClient.h"

#include <algorithm>
#include <cctype>

#include "OnvifPins.h"
#include "OnvifXml.h"
#include "SoapTransport.h"

namespace onvif {
namespace {

const char kActionBase[] = "http://www.onvif.org/ver10/device/wsdl/";
const char kMediaActionBase[] = "http://www.onvif.org/ver10/media/wsdl/";

bool SaysLocked(const SoapFault& fault) {
    std::string reason = fault.reason;
    std::transform(reason.begin(), reason.end(), reason.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return reason.find("locked") != std::string::npos;
}

bool NotAuthorized(const SoapFault& fault) {
    return fault.subcode == std::string("{") + kNsError + "}NotAuthorized";
}

Outcome FaultOutcome(const SoapFault& fault) {
    if (SaysLocked(fault))
        return Outcome::Locked;
    if (NotAuthorized(fault))
        return Outcome::WrongCredentials;
    return Outcome::Fault;
}

} // namespace

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return "done";
    case Outcome::WrongCredentials:
        return "wrong user name or password";
    case Outcome::Locked:
        return "account locked";
    case Outcome::NoAnswer:
        return "no answer";
    case Outcome::BadReply:
        return "not a camera or a bad answer";
    case Outcome::TooLarge:
        return "answer too large";
    case Outcome::Fault:
        return "refused";
    case Outcome::OutOfReach:
        return "out of reach";
    case Outcome::CertificateChanged:
        return "certificate changed";
    case Outcome::ClockOff:
        return "camera clock off";
    case Outcome::Conflict:
        return "claimed by more than one host";
    case Outcome::NotSupported:
        return "not offered by the camera";
    case Outcome::InvalidInput:
        return "value not valid";
    case Outcome::Cancelled:
        return "stopped";
    }
    return "unknown";
}

DeviceClient::DeviceClient(std::string xaddr, std::string user, SharedSecret password)
    : m_xaddr(std::move(xaddr)), m_user(std::move(user)), m_password(std::move(password)),
      m_clock([] { return std::time(nullptr); }), m_session(std::make_unique<SoapSession>()) {}

DeviceClient::~DeviceClient() = default;

void DeviceClient::MoveTo(std::string xaddr) {
    m_xaddr = std::move(xaddr);
    m_session = std::make_unique<SoapSession>();
}

bool ClockIsOff(long long offset) { return offset > kClockBound || offset < -kClockBound; }

void DeviceClient::SetEndpoint(std::string endpoint) { m_endpoint = std::move(endpoint); }

void DeviceClient::SetClock(std::function<std::time_t()> clock) { m_clock = std::move(clock); }

void DeviceClient::SetDeadline(std::chrono::steady_clock::time_point deadline) {
    m_deadline = deadline;
}

Outcome DeviceClient::Classify(long status, const std::string& body, bool challenge,
                               const Reader& read) {
    (void)challenge;
    m_fault = SoapFault();
    if (status == 200) {
        switch (read(body, &m_fault)) {
        case SoapRead::Ok:
            return Outcome::Done;
        case SoapRead::Fault:
            return FaultOutcome(m_fault);
        case SoapRead::BadXml:
        case SoapRead::NotSoap:
            return Outcome::BadReply;
        }
    }
    const bool hasFault = ReadFault(body, &m_fault);
    if (status == 401)
        return SaysLocked(m_fault) ? Outcome::Locked : Outcome::WrongCredentials;
    if (status == 403)
        return SaysLocked(m_fault) ? Outcome::Locked
               : hasFault          ? FaultOutcome(m_fault)
                                   : Outcome::Fault;
    if (hasFault)
        return FaultOutcome(m_fault);
    return Outcome::BadReply;
}

namespace {

// A refusal that offers no Digest: the camera wants a WS-UsernameToken.
bool RefusedWithoutDigest(const SoapPostReply& reply) {
    if (reply.status == 200 || reply.digestChallenge)
        return false;
    SoapFault fault;
    const bool hasFault = ReadFault(reply.body, &fault);
    if (hasFault && SaysLocked(fault))
        return false;
    return reply.status == 401 || (hasFault && NotAuthorized(fault));
}

} // namespace

std::string DeviceClient::PinFor(bool https) {
    if (!https)
        return std::string();
    if (m_pin.empty())
        LookupPin(m_endpoint.empty() ? m_xaddr : m_endpoint, &m_pin);
    return m_pin;
}

bool DeviceClient::NoteKey(const std::string& met) {
    m_pin = RememberPin(m_endpoint.empty() ? m_xaddr : m_endpoint, met);
    return m_pin == met;
}

Outcome DeviceClient::Call(const std::string& action, const std::string& body, bool login,
                           const Reader& read) {
    return CallAt(m_xaddr, kActionBase + action, body, login, read);
}

bool DeviceClient::TimeLeft(long cap, long* limitMs) const {
    *limitMs = cap;
    if (m_deadline == std::chrono::steady_clock::time_point::max())
        return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return false;
    *limitMs = static_cast<long>(std::min<long long>(left.count(), cap));
    return true;
}

Outcome DeviceClient::CallAt(const std::string& xaddr, const std::string& actionUri,
                             const std::string& body, bool login, const Reader& read) {
    XAddr x;
    if (!ParseXAddr(xaddr, &x))
        return Outcome::OutOfReach;
    const bool https = x.scheme == "https";
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool token = login && m_login == Login::Token;
        if (token) {
            const Outcome clock = EnsureClock();
            if (clock != Outcome::Done)
                return clock;
            if (ClockIsOff(m_offset))
                return Outcome::ClockOff;
            if (https && PinFor(true).empty())
                return Outcome::BadReply; // no key was read: no token to an unknown one
        }
        SoapPostRequest request;
        request.scheme = x.scheme;
        request.host = x.host;
        request.port = x.port;
        request.path = x.path;
        request.action = actionUri;
        request.session = m_session.get();
        request.pinnedKey = PinFor(https);
        if (!TimeLeft(kSoapDeadlineMs, &request.timeLimitMs))
            return Outcome::NoAnswer;
        if (token) {
            UsernameToken t = MakeToken(m_user, *m_password, m_clock(), m_offset);
            request.body = Envelope(body, &t);
            WipeSecret(&t.digest);
        } else {
            request.body = Envelope(body, nullptr);
        }
        // Digest, or the way to learn the camera's form: the transport sends
        // the request without login first and answers only a Digest
        // challenge.
        if (login && !token) {
            request.digest = true;
            request.user = &m_user;
            request.password = m_password.get();
        }
        SoapPostReply reply;
        const SoapPostResult result = SoapPost(request, &reply);
        WipeSecret(&request.body);
        if (result == SoapPostResult::KeyMismatch)
            return Outcome::CertificateChanged;
        if (https && request.pinnedKey.empty() && !reply.peerKey.empty() && !NoteKey(reply.peerKey))
            return Outcome::CertificateChanged; // another key was pinned meanwhile
        if (result == SoapPostResult::NoAnswer)
            return Outcome::NoAnswer;
        if (result == SoapPostResult::TooLarge)
            return Outcome::TooLarge;
        if (result == SoapPostResult::Refused)
            return Outcome::OutOfReach;
        if (login && m_login == Login::Unknown) {
            if (reply.digestAnswered) {
                m_login = Login::Digest;
            } else if (RefusedWithoutDigest(reply)) {
                m_login = Login::Token; // once more with a token, and from now on always
                continue;
            }
        }
        return Classify(reply.status, reply.body, reply.digestChallenge, read);
    }
    return Outcome::WrongCredentials;
}

Outcome DeviceClient::EnsureClock() {
    if (m_clockKnown)
        return Outcome::Done;
    long long offset = 0;
    const Outcome o = GetSystemDateAndTime(&offset);
    if (o == Outcome::NoAnswer || o == Outcome::OutOfReach || o == Outcome::CertificateChanged)
        return o;
    // A camera that does not tell its time is signed with ours; the login
    // itself then says whether that was good enough.
    m_clockKnown = true;
    m_offset = o == Outcome::Done ? offset : 0;
    return Outcome::Done;
}

Outcome DeviceClient::GetSystemDateAndTime(long long* offsetSeconds) {
    long long offset = 0;
    const std::time_t sentAt = m_clock();
    const Outcome o = Call("GetSystemDateAndTime", GetSystemDateAndTimeBody(), false,
                           [&](const std::string& b, SoapFault* f) {
                               return ReadSystemDateAndTime(b, sentAt, &offset, f);
                           });
    if (o == Outcome::Done) {
        *offsetSeconds = offset;
        m_offset = offset;
        m_clockKnown = m_clockRead = true;
    }
    return o;
}

Outcome DeviceClient::GetDeviceInformation(DeviceInformation* out) {
    DeviceInformation info;
    const Outcome o = Call(
        "GetDeviceInformation", GetDeviceInformationBody(), true,
        [&](const std::string& b, SoapFault* f) { return ReadDeviceInformation(b, &info, f); });
    if (o == Outcome::Done)
        *out = info;
    return o;
}

Outcome DeviceClient::GetNetworkInterfaces(std::vector<NetworkInterface>* out) {
    std::vector<NetworkInterface> list;
    const Outcome o = Call(
        "GetNetworkInterfaces", GetNetworkInterfacesBody(), true,
        [&](const std::string& b, SoapFault* f) { return ReadNetworkInterfaces(b, &list, f); });
    if (o == Outcome::Done)
        *out = list;
    return o;
}

Outcome DeviceClient::GetNetworkDefaultGateway(std::string* gateway) {
    std::string text;
    const Outcome o = Call(
        "GetNetworkDefaultGateway", GetNetworkDefaultGatewayBody(), true,
        [&](const std::string& b, SoapFault* f) { return ReadNetworkDefaultGateway(b, &text, f); });
    if (o == Outcome::Done)
        *gateway = text;
    return Offered(o);
}

Outcome DeviceClient::SetNetworkInterfaces(const std::string& token, const std::string& ip,
                                           int prefixLength, bool* rebootNeeded) {
    bool reboot = false;
    const Outcome o =
        Call("SetNetworkInterfaces", SetNetworkInterfacesBody(token, ip, prefixLength), true,
             [&](const std::string& b, SoapFault* f) {
                 return ReadSetNetworkInterfaces(b, &reboot, f);
             });
    if (o == Outcome::Done)
        *rebootNeeded = reboot;
    return o;
}

Outcome DeviceClient::SetNetworkDefaultGateway(const std::string& gateway) {
    return Call("SetNetworkDefaultGateway", SetNetworkDefaultGatewayBody(gateway), true,
                [](const std::string& b, SoapFault* f) {
                    return ReadEmptyAnswer(b, "SetNetworkDefaultGatewayResponse", f);
                });
}

Outcome DeviceClient::SystemReboot() {
    return Call("SystemReboot", SystemRebootBody(), true, [](const std::string& b, SoapFault* f) {
        return ReadEmptyAnswer(b, "SystemRebootResponse", f);
    });
}

Outcome DeviceClient::Offered(Outcome o) const {
    return o == Outcome::Fault &&
                   m_fault.subcode == std::string("{") + kNsError + "}ActionNotSupported"
               ? Outcome::NotSupported
               : o;
}

Outcome DeviceClient::GetScopes(std::vector<Scope>* out) {
    std::vector<Scope> list;
    const Outcome o =
        Call("GetScopes", GetScopesBody(), true,
             [&](const std::string& b, SoapFault* f) { return ReadScopes(b, &list, f); });
    if (o == Outcome::Done)
        *out = list;
    return Offered(o);
}

Outcome DeviceClient::SetScopes(const std::vector<std::string>& configurable) {
    return Offered(Call("SetScopes", SetScopesBody(configurable), true,
                        [](const std::string& b, SoapFault* f) {
                            return ReadEmptyAnswer(b, "SetScopesResponse", f);
                        }));
}

Outcome DeviceClient::GetHostname(std::string* name) {
    std::string text;
    const Outcome o =
        Call("GetHostname", GetHostnameBody(), true,
             [&](const std::string& b, SoapFault* f) { return ReadHostname(b, &text, f); });
    if (o == Outcome::Done)
        *name = text;
    return Offered(o);
}

Outcome DeviceClient::SetHostname(const std::string& name) {
    return Offered(
        Call("SetHostname", SetHostnameBody(name), true, [](const std::string& b, SoapFault* f) {
            return ReadEmptyAnswer(b, "SetHostnameResponse", f);
        }));
}

Outcome DeviceClient::GetNtp(NtpSettings* out) {
    NtpSettings settings;
    const Outcome o = Call("GetNTP", GetNtpBody(), true, [&](const std::string& b, SoapFault* f) {
        return ReadNtp(b, &settings, f);
    });
    if (o == Outcome::Done)
        *out = settings;
    return Offered(o);
}

Outcome DeviceClient::SetNtp(const NtpServer& server) {
    return Offered(Call("SetNTP", SetNtpBody(server), true, [](const std::string& b, SoapFault* f) {
        return ReadEmptyAnswer(b, "SetNTPResponse", f);
    }));
}

Outcome DeviceClient::GetClockSettings(ClockSettings* out) {
    ClockSettings settings;
    const std::time_t sentAt = m_clock();
    const Outcome o = Call("GetSystemDateAndTime", GetSystemDateAndTimeBody(), false,
                           [&](const std::string& b, SoapFault* f) {
                               return ReadClockSettings(b, sentAt, &settings, f);
                           });
    if (o == Outcome::Done) {
        *out = settings;
        m_offset = settings.offset;
        m_clockKnown = m_clockRead = true;
    }
    return o;
}

Outcome DeviceClient::SetSystemDateAndTime(const DateTimeSetting& setting) {
    return Offered(Call("SetSystemDateAndTime", SetSystemDateAndTimeBody(setting), true,
                        [](const std::string& b, SoapFault* f) {
                            return ReadEmptyAnswer(b, "SetSystemDateAndTimeResponse", f);
                        }));
}

Outcome DeviceClient::GetMediaServiceFromServices(std::string* xaddr) {
    std::string address;
    const Outcome o =
        Call("GetServices", GetServicesBody(), true,
             [&](const std::string& b, SoapFault* f) { return ReadMediaService(b, &address, f); });
    if (o == Outcome::Done && address.empty())
        return Outcome::NotSupported;
    if (o == Outcome::Done)
        *xaddr = address;
    return Offered(o);
}

Outcome DeviceClient::GetMediaServiceFromCapabilities(std::string* xaddr) {
    std::string address;
    const Outcome o = Call(
        "GetCapabilities", GetCapabilitiesBody(), true,
        [&](const std::string& b, SoapFault* f) { return ReadMediaCapability(b, &address, f); });
    if (o == Outcome::Done && address.empty())
        return Outcome::NotSupported;
    if (o == Outcome::Done)
        *xaddr = address;
    return Offered(o);
}

Outcome DeviceClient::GetProfiles(const std::string& mediaXAddr, std::vector<MediaProfile>* out) {
    std::vector<MediaProfile> list;
    const Outcome o =
        CallAt(mediaXAddr, std::string(kMediaActionBase) + "GetProfiles", GetProfilesBody(), true,
               [&](const std::string& b, SoapFault* f) { return ReadProfiles(b, &list, f); });
    if (o == Outcome::Done)
        *out = list;
    return Offered(o);
}

Outcome DeviceClient::GetSnapshotUri(const std::string& mediaXAddr, const std::string& profileToken,
                                     std::string* uri) {
    std::string text;
    const Outcome o =
        CallAt(mediaXAddr, std::string(kMediaActionBase) + "GetSnapshotUri",
               GetSnapshotUriBody(profileToken), true,
               [&](const std::string& b, SoapFault* f) { return ReadSnapshotUri(b, &text, f); });
    if (o == Outcome::Done)
        *uri = text;
    return Offered(o);
}

Outcome DeviceClient::FetchImage(const std::string& uri, std::size_t maxBytes,
                                 ImageGetReply* reply) {
    XAddr x;
    if (!ParseXAddr(uri, &x))
        return Outcome::BadReply;
    const bool https = x.scheme == "https";
    ImageGetRequest request;
    request.scheme = x.scheme;
    request.host = x.host;
    request.port = x.port;
    request.target = x.path;
    request.user = &m_user;
    request.password = m_password.get();
    request.pinnedKey = PinFor(https);
    request.maxBytes = maxBytes;
    if (!TimeLeft(kImageDeadlineMs, &request.timeLimitMs))
        return Outcome::NoAnswer;
    *reply = ImageGetReply();
    const ImageGetResult result = ImageGet(request, reply);
    if (result == ImageGetResult::KeyMismatch)
        return Outcome::CertificateChanged;
    if (https && request.pinnedKey.empty() && !reply->peerKey.empty() && !NoteKey(reply->peerKey))
        return Outcome::CertificateChanged;
    switch (result) {
    case ImageGetResult::Answered:
        break;
    case ImageGetResult::TooLarge:
        return Outcome::TooLarge;
    case ImageGetResult::Refused:
        return Outcome::BadReply;
    case ImageGetResult::NoAnswer:
    case ImageGetResult::KeyMismatch:
        return Outcome::NoAnswer;
    }
    if (reply->status == 200)
        return Outcome::Done;
    if (reply->status == 401)
        return reply->basicChallenge && !reply->digestChallenge && !reply->digestAnswered
                   ? Outcome::NotSupported
                   : Outcome::WrongCredentials;
    return reply->status == 403 ? Outcome::Fault : Outcome::BadReply;
}

} // namespace onvif
