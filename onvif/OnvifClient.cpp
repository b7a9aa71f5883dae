#include "OnvifClient.h"

#include <algorithm>
#include <cctype>

#include "OnvifXml.h"
#include "SoapTransport.h"

namespace onvif {
namespace {

const char kActionBase[] = "http://www.onvif.org/ver10/device/wsdl/";

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

Outcome DeviceClient::Call(const std::string& action, const std::string& body, bool login,
                           const Reader& read) {
    XAddr x;
    if (!ParseXAddr(m_xaddr, &x))
        return Outcome::OutOfReach;
    if (login) {
        const Outcome clock = EnsureClock();
        if (clock != Outcome::Done)
            return clock;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        SoapPostRequest request;
        request.scheme = x.scheme;
        request.host = x.host;
        request.port = x.port;
        request.path = x.path;
        request.action = kActionBase + action;
        request.session = m_session.get();
        if (m_deadline != std::chrono::steady_clock::time_point::max()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                m_deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return Outcome::NoAnswer;
            request.timeLimitMs =
                static_cast<long>(std::min<long long>(left.count(), kSoapDeadlineMs));
        }
        const bool wsse = login && !m_digest;
        if (wsse) {
            UsernameToken token = MakeToken(m_user, *m_password, m_clock(), m_offset);
            request.body = Envelope(body, &token);
            WipeSecret(&token.digest);
        } else {
            request.body = Envelope(body, nullptr);
        }
        if (login && m_digest) {
            request.digest = true;
            request.user = &m_user;
            request.password = m_password.get();
        }
        SoapPostReply reply;
        const SoapPostResult result = SoapPost(request, &reply);
        WipeSecret(&request.body);
        if (result == SoapPostResult::NoAnswer)
            return Outcome::NoAnswer;
        if (result == SoapPostResult::TooLarge)
            return Outcome::TooLarge;
        if (result == SoapPostResult::Refused)
            return Outcome::OutOfReach;
        // The camera asks for HTTP Digest: once more that way, and from now
        // on always.
        if (wsse && reply.status == 401 && reply.digestChallenge) {
            m_digest = true;
            continue;
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
    if (o == Outcome::NoAnswer || o == Outcome::OutOfReach)
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
        m_clockKnown = true;
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

} // namespace onvif
