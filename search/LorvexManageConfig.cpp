// CLorvexManage's configuration requests: new network parameters for a
// device (through the search library, then over HTTP for an IP camera's
// ports) and the restore of its factory password.
#include <arpa/inet.h>
#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "DebugOutput.h"
#include "ImageTransport.h"
#include "DeviceAddress.h"
#include "DeviceHttp.h"
#include "LorvexManage.h"
#include "LorvexSearch.h"
#include "MarkupSTL.h"
#include "NetParam.h"
#include "SearchWire.h"
#include "Secret.h"
#include "TrustWire.h"

// What the user asked for, texts never null.
struct CLorvexManage::SetIPRequest {
    const char* ip;
    const char* mask;
    const char* gateway;
    const char* password;
    const char* httpPort;
    const char* dataPort;
    bool dhcp;
    const char* name;           // empty: the device keeps its name
    const char* ntpServer = ""; // empty: each clock part is left as it is
    const char* timeZone = "";
    const char* time = ""; // UTC seconds
    // The addresses are the device's own as the search reported them: the
    // address rules, which judge a change, are not applied to them.
    bool ownAddresses = false;
};

namespace {

using SetIPRequest = CLorvexManage::SetIPRequest;

constexpr int32_t kAnswerWaitMs = 3000; // how long an IP camera's set-IP answer is awaited
constexpr int32_t kAnswerPollMs = 10;
constexpr int32_t kProbeMs = 200; // reachability of the new address
constexpr int kPortConfigAttempts = 3;
constexpr int32_t kAttemptPauseMs = 200; // after a failed GetPortConfig
constexpr char kIpCamera[] = "ZVK_IPC";  // the only type that answers a set-IP request

const char* Text(const char* text) { return text != nullptr ? text : ""; }

// A request that leaves the device's addresses, DHCP and ports as the
// search last reported them and changes only what the caller adds (its
// name, its clock). The addresses are the device's own, so the rules that
// judge an address change do not refuse them.
SetIPRequest OwnAddressRequest(const SEARCH_INFO& device, const char* password) {
    SetIPRequest r{device.ipAddr,          device.mask, device.route, Text(password), "", "",
                   device.dhcpSwitch != 0, ""};
    r.ownAddresses = true;
    return r;
}

// A port text as the user gave it: empty means not asked for.
struct PortText {
    bool given = false;
    uint16_t value = 0;
};

// Empty, or 1 to 5 decimal digits worth 1 to 65535. A value cut to 16 bits
// would silently move the device to a port nobody typed.
bool ReadPortText(const char* text, PortText* out) {
    const size_t length = strnlen(text, 6);
    if (length == 0)
        return true;
    if (length > 5 || std::strspn(text, "0123456789") != length)
        return false;
    const int32_t value = std::atoi(text);
    if (!IsPort(value))
        return false;
    *out = {true, static_cast<uint16_t>(value)};
    return true;
}

// A dotted quad in network byte order; anything else reads as 255.255.255.255,
// which every address rule refuses for an address (it is all host bits).
uint32_t AddressValue(const char* text) {
    in_addr address{};
    return inet_pton(AF_INET, text, &address) == 1 ? address.s_addr : INADDR_NONE;
}

int32_t CheckAddresses(const SetIPRequest& r) {
    int32_t code = NETPARAM_OK;
    CheckNetParam(AddressValue(r.ip), AddressValue(r.mask), AddressValue(r.gateway), &code);
    return code;
}

// Only the address and the MAC are traced; the request, which holds the
// password, never is.
void DebugLine(const char* text) {
    DebugOutput((std::string(text, strnlen(text, 64)) + "\n").c_str());
}

void SetAttribIfAny(CMarkupSTL* doc, const char* name, const char* value) {
    if (value[0] != '\0')
        doc->SetAttrib(name, value);
}

// Builds the request into *doc, which holds the password from then on and
// wipes every buffer of it (HoldSecret); no copy of the text is made.
void BuildSetIPDocument(const SEARCH_INFO& device, const SetIPRequest& r, CMarkupSTL* doc) {
    doc->HoldSecret();
    doc->SetDoc("");
    doc->AddElem("searchSetIP");
    doc->SetAttrib("password", r.password);
    doc->SetAttrib("ipAddr", r.ip);
    doc->SetAttrib("maskAddr", r.mask);
    doc->SetAttrib("route", r.gateway);
    doc->SetAttrib("dns1", device.dns1);
    doc->SetAttrib("dns2", device.dns2);
    doc->SetAttrib("encryptType", device.encryptType);
    doc->SetAttrib("dhcpSwitch", r.dhcp ? "true" : "false");
    SetAttribIfAny(doc, "httpPort", r.httpPort);
    SetAttribIfAny(doc, "dataPort", r.dataPort);
    SetAttribIfAny(doc, "devtype", device.productSeries);
    SetAttribIfAny(doc, "software", device.softwareVer);
    SetAttribIfAny(doc, "devName", r.name);
    SetAttribIfAny(doc, "ntpServer", r.ntpServer);
    SetAttribIfAny(doc, "timeZone", r.timeZone);
    SetAttribIfAny(doc, "time", r.time);
}

// The clock parts of r, each empty or within its rule.
bool ClockPartsValid(const SetIPRequest& r) {
    using namespace lorvex::wire;
    return (r.ntpServer[0] == '\0' || IsClockNtpServer(r.ntpServer)) &&
           (r.timeZone[0] == '\0' || IsClockTimeZone(r.timeZone)) &&
           (r.time[0] == '\0' || ReadClockTime(r.time, nullptr));
}

CLorvexManage::ConfigServices WithDefaults(CLorvexManage::ConfigServices s) {
    if (!s.probe)
        s.probe = &::ProbeTcpPort;
    if (!s.getPortConfig)
        s.getPortConfig = &::GetPortConfig;
    if (!s.setPortConfig)
        s.setPortConfig = &::SetPortConfig;
    if (!s.sleep)
        s.sleep = [](int32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    return s;
}

// The device's RTSP port over GetPortConfig, which a device may fail to
// answer while it settles on its new address: three attempts. A reply that
// simply lacks the port would lack it again; it ends the asking.
bool AskRtspPort(const CLorvexManage::ConfigServices& s, const std::string& host, uint16_t httpPort,
                 const char* password, int32_t* rtspPort) {
    s.sleep(1);
    for (int attempt = 0; attempt < kPortConfigAttempts; ++attempt) {
        const PortConfigReply reply = s.getPortConfig(host.c_str(), httpPort, password, rtspPort);
        if (reply != PortConfigReply::Failed)
            return reply == PortConfigReply::Port;
        s.sleep(kAttemptPauseMs);
    }
    return false;
}

// The ports go over HTTP only when both are asked for and one of them is
// new; the RTSP port has to be sent along, so a device that did not report
// it is asked for it first.
int32_t PortStep(const CLorvexManage::ConfigServices& s, const SEARCH_INFO& device,
                 const SetIPRequest& r, PortText http, PortText data,
                 const std::function<void(const std::string& host)>& beforeRequest) {
    if (!http.given || !data.given)
        return CLorvexManage::SETNET_DONE;
    if (http.value == device.httpPort && data.value == device.dataPort)
        return CLorvexManage::SETNET_DONE;
    if (!IsPort(device.httpPort))
        return CLorvexManage::SETNET_FAILED;
    // The HTTP interface is reached at the new address once the device
    // answers there; until it has moved, at its link-local one.
    const std::string host = ReachableAddress(s.probe, device, r.ip, kProbeMs);
    beforeRequest(host);
    const uint16_t oldHttp = static_cast<uint16_t>(device.httpPort);
    int32_t rtsp = device.rtspPort;
    if (rtsp <= 0 && !AskRtspPort(s, host, oldHttp, r.password, &rtsp))
        return CLorvexManage::SETNET_FAILED;
    if (!IsPort(rtsp))
        return CLorvexManage::SETNET_FAILED;
    const bool set = s.setPortConfig(host.c_str(), oldHttp, r.password, http.value, data.value,
                                     static_cast<uint16_t>(rtsp));
    return set ? CLorvexManage::SETNET_DONE : CLorvexManage::SETNET_FAILED;
}

static_assert(sizeof(SEARCH_INFO{}.devName) == lorvex::wire::kMaxDeviceNameBytes + 1,
              "a device record keeps every name a device may be given");
static_assert(sizeof(SEARCH_INFO{}.timeZone) == lorvex::wire::kMaxTimeZoneBytes + 1 &&
                  sizeof(SEARCH_INFO{}.ntpServer) == lorvex::wire::kMaxNtpServerBytes + 1,
              "a device record keeps every clock setting a device may be given");

// What WaitForSetIPAnswer returns when the MAC got into conflict meanwhile:
// the library then sent nothing (or nothing more).
constexpr int32_t kConflictMeanwhile = -2;

// The answer arrives on the library's thread; it is polled, as the window
// thread has nothing else to do meanwhile. A key no maker certified gets the
// request only after the answer window of a probe to its MAC; a certified
// key that answers then puts the MAC in conflict, and the request is
// dropped unsent: that ends the wait at once.
int32_t WaitForSetIPAnswer(const CLorvexManage& manager, const unsigned char bytes[6],
                           const std::function<void(int32_t)>& sleep) {
    int32_t waited = 0;
    int32_t answer = -1;
    do {
        sleep(kAnswerPollMs);
        waited += kAnswerPollMs;
        answer = manager.GetSetIPResult();
        if (answer == -1 && LORVEX_TRUST_Identity(bytes, nullptr) == LORVEX_IDENTITY_CONFLICT)
            return kConflictMeanwhile;
    } while (answer == -1 && waited < kAnswerWaitMs);
    return answer;
}

// A secret goes only to a key a trusted maker certified or the user
// confirmed this session, and never to a MAC two keys answer for.
int32_t IdentityGate(const unsigned char bytes[6]) {
    switch (LORVEX_TRUST_Identity(bytes, nullptr)) {
    case LORVEX_IDENTITY_VERIFIED:
    case LORVEX_IDENTITY_CONFIRMED:
        return CLorvexManage::SETNET_DONE;
    case LORVEX_IDENTITY_CONFLICT:
        return CLorvexManage::SETNET_CONFLICT;
    default:
        return CLorvexManage::SETNET_UNVERIFIED;
    }
}

// The device's refusals that have an outcome of their own; a refused setup
// code only answers an activation.
int32_t RefusalCode(int32_t answer, bool activation = false) {
    switch (answer) {
    case lorvex::trust::RESULT_NOT_ACTIVATED:
        return CLorvexManage::SETNET_NOT_ACTIVATED;
    case lorvex::trust::RESULT_LOCKED:
        return CLorvexManage::SETNET_LOCKED;
    case lorvex::trust::RESULT_WEAK_PASSWORD:
        return CLorvexManage::SETNET_WEAK_PASSWORD;
    case lorvex::trust::RESULT_ALREADY_ACTIVE:
        return CLorvexManage::SETNET_ALREADY_ACTIVE;
    case lorvex::trust::RESULT_SETUP_CODE_WRONG:
        return activation ? CLorvexManage::SETNET_SETUP_CODE_WRONG : CLorvexManage::SETNET_FAILED;
    default:
        return CLorvexManage::SETNET_FAILED;
    }
}

} // namespace

int32_t CLorvexManage::SetNetParam(const char* mac, const char* ip, const char* mask,
                                   const char* gateway, const char* password, const char* httpPort,
                                   const char* dataPort, bool dhcp, const char* name) {
    const SetIPRequest r{Text(ip),       Text(mask),     Text(gateway), Text(password),
                         Text(httpPort), Text(dataPort), dhcp,          Text(name)};
    return Configure(mac, r);
}

int32_t CLorvexManage::Configure(const char* mac, const SetIPRequest& r) {
    if (!LibraryUsable())
        return SETNET_FAILED; // nothing could carry the request or its answer
    DebugLine(r.ip);
    SEARCH_INFO device{};
    if (!FindDevice(mac, &device))
        return SETNET_NO_DEVICE;
    unsigned char bytes[6];
    if (!MacBytesOf(device.mac, bytes))
        return SETNET_NO_DEVICE;
    DebugLine(device.mac);
    const int32_t rule = r.ownAddresses ? NETPARAM_OK : CheckAddresses(r);
    if (rule != NETPARAM_OK)
        return rule;
    PortText http, data;
    if (!ReadPortText(r.httpPort, &http) || !ReadPortText(r.dataPort, &data))
        return SETNET_FAILED;
    if (r.name[0] != '\0' && !lorvex::wire::IsDeviceName(r.name))
        return SETNET_FAILED;
    if (!ClockPartsValid(r))
        return SETNET_FAILED;
    if (const int32_t gate = IdentityGate(bytes); gate != SETNET_DONE)
        return gate;
    CMarkupSTL request; // wiped when it goes
    BuildSetIPDocument(device, r, &request);
    // The library drops a request it cannot put in one datagram; waiting
    // for its answer would only end in "no answer".
    if (request.GetDoc().size() > LORVEX_SEARCH_MAX_CONFIG_BYTES)
        return SETNET_TOO_LONG;
    ResetSetIPResult();
    DebugOutput("send.....\n");
    LORVEX_SET_CONFIG(bytes, request.GetDoc().c_str());
    request.WipeDoc();
    // Every type acknowledges; a device of another type than an IP camera
    // that does not is taken as one that applies requests silently.
    const bool camera = std::strcmp(device.productSeries, kIpCamera) == 0;
    const ConfigServices services = WithDefaults(m_config);
    const int32_t answer = WaitForSetIPAnswer(*this, bytes, services.sleep);
    if (answer == kConflictMeanwhile)
        return SETNET_CONFLICT;
    if (answer == -1)
        return camera ? SETNET_NO_ANSWER : SETNET_NOT_IPC;
    // 0 is the only acceptance a device reports; anything else is no success.
    if (answer != 0)
        return RefusalCode(answer);
    // A device that took the ports from the sealed request needs no HTTP
    // step, so no credential crosses the link for them.
    if (!camera || LastPortsTaken())
        return SETNET_DONE;
    return PortStep(services, device, r, http, data,
                    [this](const std::string& host) { AwaitLinkLocalRoute(host); });
}

bool CLorvexManage::RestoreDevicePassword(const char* mac) {
    unsigned char bytes[6];
    if (!LibraryUsable() || !MacBytesOf(mac, bytes))
        return false;
    return LORVEX_SET_DevRestoreDefault(bytes) != 0;
}

int32_t CLorvexManage::GetIdentity(const char* mac, std::string* fingerprint) {
    unsigned char bytes[6];
    if (!LibraryUsable() || !MacBytesOf(mac, bytes))
        return LORVEX_IDENTITY_UNKNOWN;
    char text[LORVEX_FINGERPRINT_BYTES] = {};
    const int32_t state = LORVEX_TRUST_Identity(bytes, text);
    if (fingerprint)
        *fingerprint = state == LORVEX_IDENTITY_UNKNOWN ? std::string() : std::string(text);
    return state;
}

bool CLorvexManage::ConfirmIdentity(const char* mac, const char* fingerprint) {
    unsigned char bytes[6];
    return LibraryUsable() && fingerprint && MacBytesOf(mac, bytes) &&
           LORVEX_TRUST_ConfirmKey(bytes, fingerprint) == 1;
}

int32_t CLorvexManage::Activate(const char* mac, const char* password, const char* setupCode) {
    if (!LibraryUsable())
        return SETNET_FAILED;
    SEARCH_INFO device{};
    unsigned char bytes[6];
    if (!FindDevice(mac, &device) || !MacBytesOf(device.mac, bytes))
        return SETNET_NO_DEVICE;
    if (const int32_t gate = IdentityGate(bytes); gate != SETNET_DONE)
        return gate;
    std::string code;
    code.reserve(2 * lorvex::trust::kSetupCodeTextSize); // on the heap, wiped below
    const bool isCode = lorvex::trust::NormalizeSetupCode(Text(setupCode), &code);
    const char* pw = Text(password);
    int32_t early = SETNET_DONE;
    if (!isCode)
        early = SETNET_SETUP_CODE_WRONG;
    else if (lorvex::trust::CheckPasswordStrength(pw, device.mac, device.devName) !=
             lorvex::trust::PASSWORD_OK)
        early = SETNET_WEAK_PASSWORD;
    if (early != SETNET_DONE) {
        WipeSecret(&code);
        return early;
    }
    ResetSetIPResult();
    LORVEX_TRUST_Activate(bytes, pw, code.c_str());
    WipeSecret(&code);
    const int32_t answer = WaitForSetIPAnswer(*this, bytes, WithDefaults(m_config).sleep);
    if (answer == kConflictMeanwhile)
        return SETNET_CONFLICT;
    if (answer == -1)
        return SETNET_NO_ANSWER;
    return answer == 0 ? SETNET_DONE : RefusalCode(answer, true);
}

int32_t CLorvexManage::Rename(const char* mac, const char* name, const char* password) {
    SEARCH_INFO device{};
    if (!FindDevice(mac, &device))
        return LibraryUsable() ? SETNET_NO_DEVICE : SETNET_FAILED;
    if (Text(name)[0] == '\0')
        return SETNET_FAILED; // an empty name would leave the name as it is
    SetIPRequest r = OwnAddressRequest(device, password);
    r.name = name;
    return Configure(device.mac, r);
}

lorvex::Outcome CLorvexManage::SetClock(const char* mac, const char* password,
                                        const ClockSetting& clock) {
    SEARCH_INFO device{};
    if (!FindDevice(mac, &device))
        return LibraryUsable() ? lorvex::Outcome::NoDevice : lorvex::Outcome::Refused;
    if (clock.ntpServer.empty() && clock.timeZone.empty() && !clock.setTime)
        return lorvex::Outcome::Refused; // a request without a clock part changes no clock
    // Read as late as possible: the request leaves right after.
    const std::string now = clock.setTime ? std::to_string(std::time(nullptr)) : std::string();
    SetIPRequest r = OwnAddressRequest(device, password);
    r.ntpServer = clock.ntpServer.c_str();
    r.timeZone = clock.timeZone.c_str();
    r.time = now.c_str();
    return lorvex::OutcomeOfResult(Configure(device.mac, r));
}

int32_t CLorvexManage::Identify(const char* mac, const char* password, int32_t seconds) {
    if (!LibraryUsable() || seconds < lorvex::trust::kIdentifyMinSeconds ||
        seconds > lorvex::trust::kIdentifyMaxSeconds)
        return SETNET_FAILED;
    SEARCH_INFO device{};
    unsigned char bytes[6];
    if (!FindDevice(mac, &device) || !MacBytesOf(device.mac, bytes))
        return SETNET_NO_DEVICE;
    if (const int32_t gate = IdentityGate(bytes); gate != SETNET_DONE)
        return gate;
    const char* pw = Text(password);
    if (lorvex::trust::kIdentifyPrefix + std::strlen(pw) > LORVEX_SEARCH_MAX_CONFIG_BYTES)
        return SETNET_TOO_LONG;
    ResetSetIPResult();
    LORVEX_TRUST_Identify(bytes, pw, seconds);
    const int32_t answer = WaitForSetIPAnswer(*this, bytes, WithDefaults(m_config).sleep);
    if (answer == kConflictMeanwhile)
        return SETNET_CONFLICT;
    if (answer == -1)
        return SETNET_NO_ANSWER;
    return answer == 0 ? SETNET_DONE : RefusalCode(answer);
}

namespace {

// The token's HTTP step: one GET of the camera's own address, the picture
// judged by its markers and read whole within the image bounds.
MakerSnapshot RedeemToken(const SEARCH_INFO& device, const lorvex::trust::SnapshotToken& token,
                          std::chrono::steady_clock::time_point deadline) {
    MakerSnapshot r;
    ImageGetRequest get;
    get.host = device.ipAddr;
    get.port = static_cast<uint16_t>(device.httpPort);
    get.target = lorvex::trust::SnapshotTarget(token);
    get.timeLimitMs =
        std::min<long>(kImageDeadlineMs, std::chrono::duration_cast<std::chrono::milliseconds>(
                                             deadline - std::chrono::steady_clock::now())
                                             .count());
    get.maxBytes = snapshot::kMaxImageBytes;
    ImageGetReply reply;
    const ImageGetResult got = ImageGet(get, &reply);
    WipeSecret(&get.target);
    if (got == ImageGetResult::TooLarge) {
        r.image = snapshot::ImageCheck::TooLarge;
        return r.outcome = lorvex::Outcome::CameraPictureTooLarge, r;
    }
    if (got != ImageGetResult::Answered)
        return r.outcome = lorvex::Outcome::CameraNoAnswer, r;
    if (reply.status != 200)
        return r.outcome = lorvex::Outcome::CameraRefused, r;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(reply.body.data());
    snapshot::DecodeLimits limits;
    limits.deadline = deadline;
    snapshot::JpegHeader header;
    r.image = snapshot::ReadJpegHeader(bytes, reply.body.size(), &header);
    snapshot::Image smallest; // the smallest scale still reads every block
    if (r.image == snapshot::ImageCheck::Ok)
        r.image = snapshot::DecodeJpeg(bytes, reply.body.size(), limits, 1, 1, &smallest);
    if (r.image == snapshot::ImageCheck::TimedOut)
        return r.outcome = lorvex::Outcome::CameraNoAnswer, r;
    if (r.image != snapshot::ImageCheck::Ok)
        return r.outcome = lorvex::Outcome::CameraBadPicture, r;
    r.width = header.width;
    r.height = header.height;
    r.comment = header.comment;
    r.jpeg = std::move(reply.body);
    return r;
}

MakerSnapshot Failed(lorvex::Outcome outcome) {
    MakerSnapshot r;
    r.outcome = outcome;
    return r;
}

} // namespace

MakerSnapshot CLorvexManage::TakeSnapshot(const char* mac, const char* password,
                                          int32_t timeLimitMs) {
    if (!LibraryUsable())
        return Failed(lorvex::Outcome::Refused);
    SEARCH_INFO device{};
    unsigned char bytes[6];
    if (!FindDevice(mac, &device) || !MacBytesOf(device.mac, bytes))
        return Failed(lorvex::Outcome::NoDevice);
    if (std::strcmp(device.productSeries, kIpCamera) != 0)
        return Failed(lorvex::Outcome::NoPicture);
    if (const int32_t gate = IdentityGate(bytes); gate != SETNET_DONE)
        return Failed(lorvex::OutcomeOfResult(gate));
    const char* pw = Text(password);
    if (lorvex::trust::kSnapshotTokenSize + std::strlen(pw) > LORVEX_SEARCH_MAX_CONFIG_BYTES)
        return Failed(lorvex::Outcome::TooLong);
    lorvex::trust::SnapshotToken token;
    randombytes_buf(token.data(), token.size());
    ResetSetIPResult();
    LORVEX_TRUST_SnapshotToken(bytes, pw, token.data());
    const int32_t answer = WaitForSetIPAnswer(*this, bytes, WithDefaults(m_config).sleep);
    MakerSnapshot r;
    if (answer == kConflictMeanwhile)
        r.outcome = lorvex::Outcome::IdentityConflict;
    else if (answer == -1)
        r.outcome = lorvex::Outcome::NoAnswer;
    else if (answer != 0)
        r.outcome = lorvex::OutcomeOfResult(RefusalCode(answer));
    else
        r = RedeemToken(device, token,
                        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeLimitMs));
    sodium_memzero(token.data(), token.size());
    return r;
}

int32_t CLorvexManage::RestoreDevice(const char* mac) {
    unsigned char bytes[6];
    if (!LibraryUsable() || !MacBytesOf(mac, bytes))
        return SETNET_FAILED;
    switch (LORVEX_TRUST_Restore(bytes)) {
    case -1:
        return SETNET_NO_ANSWER;
    case lorvex::trust::RESULT_OK:
        return SETNET_DONE;
    case lorvex::trust::RESULT_NO_PRESENCE:
        return SETNET_NO_PRESENCE;
    default:
        return SETNET_FAILED;
    }
}
