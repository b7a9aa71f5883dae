#include "OnvifCommands.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <thread>

#include "HostNet.h"
#include "HostProcess.h"
#include "LorvexManage.h"
#include "OnvifPins.h"
#include "OnvifReaddress.h"
#include "Outcomes.h"
#include "DeviceCommands.h"
#include "Secret.h"

namespace onvif_cli {

using lorvex::Outcome;
const int kOutOfReach = lorvex::ExitCodeOf(Outcome::CameraOutOfReach);
const int kUnsupported = lorvex::ExitCodeOf(Outcome::CameraUnsupported);
const int kBadPicture = lorvex::ExitCodeOf(Outcome::CameraBadPicture);
const int kPictureTooLarge = lorvex::ExitCodeOf(Outcome::CameraPictureTooLarge);

namespace {

using Clock = std::chrono::steady_clock;

int Usage(const std::string& reason) { return cli::UsageError(reason); }

int ExitOf(lorvex::Outcome outcome) { return lorvex::ExitCodeOf(outcome); }

// Searches cameras until one matches key or the time is up.
bool WaitForCamera(onvif::CameraSearch& search, const std::string& key, double seconds,
                   onvif::CameraRecord* out) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!search.Find(key, out)) {
        if (cli::Stopped() || Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A search's first answers are all in by then: two probe pairs 600 ms
// apart, each answered within 500 ms. Who claims a camera is judged on
// them all, never on the first answer alone.
constexpr std::chrono::milliseconds kAnswerWindow(1500);

// Waits out the answer window of the search begun at start, then reads the
// camera named by key again.
void JudgeOnWholeWindow(onvif::CameraSearch& search, const std::string& key,
                        Clock::time_point start, onvif::CameraRecord* camera) {
    while (!cli::Stopped() && Clock::now() < start + kAnswerWindow)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    search.Find(key, camera);
}

int ExitFor(onvif::Outcome call) { return lorvex::ExitCodeOf(onvif::OutcomeOfCall(call)); }

// The link-local route the camera's XAddr needs, as the window adds it, in
// place before the first call goes there; what keeps it out, on stderr.
void EnsureRouteFor(const onvif::CameraRecord& camera) {
    if (camera.reach != onvif::Reach::LinkLocal)
        return;
    device::TellLinkLocalRoute(EnsureLinkLocalRoute(camera.localAddress), camera.localAddress);
}

std::string ResultLine(const onvif::ReaddressResult& r, const std::string& ip) {
    switch (r.outcome) {
    case onvif::ReaddressOutcome::Done:
        return "done: the camera answers at its new address " + ip;
    case onvif::ReaddressOutcome::NotConfirmed:
        return "not confirmed: the camera took the request but was not heard from " + ip +
               " in time";
    case onvif::ReaddressOutcome::OutOfReach:
        return r.detail;
    case onvif::ReaddressOutcome::BadRequest:
        return "refused: " + r.detail;
    case onvif::ReaddressOutcome::CallFailed:
        break;
    }
    return "failed: " + r.detail;
}

// "1 h 2 min" for a number of seconds (its magnitude).
std::string Span(long long seconds) {
    const unsigned long long s = static_cast<unsigned long long>(seconds < 0 ? -seconds : seconds);
    if (s >= 86400)
        return std::to_string(s / 86400) + " d " + std::to_string(s % 86400 / 3600) + " h";
    if (s >= 3600)
        return std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) + " min";
    if (s >= 60)
        return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
    return std::to_string(s) + " s";
}

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : ", ") + item;
    return out;
}

} // namespace

std::string ClockNote(long long offset) {
    return "the camera's clock is " + Span(offset) + (offset > 0 ? " ahead of" : " behind") +
           " this computer's (" + std::to_string(offset) +
           " s); set the camera's clock, on its web page or with its maker's tool";
}

std::string Advice(onvif::Outcome outcome, const std::string& endpoint, long long offset,
                   const std::vector<std::string>& claimants) {
    switch (outcome) {
    case onvif::Outcome::CertificateChanged:
        return "refused, nothing sent: the camera's HTTPS certificate is not the one this "
               "computer met at it before; another host may be posing as the camera. If its "
               "certificate was replaced on purpose (a reset, new firmware), accept the new one "
               "with: lorvex-search forget-camera " +
               endpoint;
    case onvif::Outcome::ClockOff:
        return "refused, nothing sent: the camera takes only a WS-UsernameToken log-in, which "
               "would be signed for its clock, and " +
               ClockNote(offset) + ", then try again";
    case onvif::Outcome::Conflict:
        return "refused, nothing sent: more than one host claims this camera (" +
               Joined(claimants) +
               "); one of them copies it. Find and remove the host that is no camera, then try "
               "again";
    default:
        return std::string();
    }
}

bool FindCamera(onvif::CameraSearch& search, const std::string& key, double seconds,
                Clock::time_point start, onvif::CameraRecord* out) {
    if (!WaitForCamera(search, key, seconds, out))
        return false;
    JudgeOnWholeWindow(search, key, start, out);
    return true;
}

int ExitForOutcome(onvif::Outcome outcome) { return ExitFor(outcome); }

void EnsureCameraRoute(const onvif::CameraRecord& camera) { EnsureRouteFor(camera); }

void EnsureRoutesFor(const std::vector<onvif::CameraRecord>& cameras) {
    std::set<std::string> cards;
    for (const onvif::CameraRecord& camera : cameras)
        if (camera.reach == onvif::Reach::LinkLocal && cards.insert(camera.localAddress).second)
            EnsureRouteFor(camera);
}

bool WantsOnvif(const cli::ParsedArgs& args) {
    char mac[18];
    return args.Has("--onvif") || args.Has("--user") ||
           !CLorvexManage::NormalizeMac(args.positionals[0].c_str(), mac);
}

int RunForgetCamera(const cli::ParsedArgs& args) {
    const std::string endpoint = args.positionals[0];
    if (onvif::ForgetPin(endpoint)) {
        std::printf("%s: forgotten: the next log-in accepts the certificate the camera shows\n",
                    endpoint.c_str());
        return 0;
    }
    std::printf("%s: no certificate pinned for this camera in %s\n", endpoint.c_str(),
                onvif::PinFilePath().c_str());
    return ExitOf(lorvex::Outcome::NotAllDone);
}

// The opening of set-ip and rename on one ONVIF camera: --seconds (default
// 3), check (when given: 0, else its exit code), a search started in
// search, and the camera named by the first positional waited for within
// --seconds and judged on the whole answer window. 0 with camera filled;
// else the exit code, with a line said when no camera matched.
static int FindTargetCamera(const cli::ParsedArgs& args, const std::function<int()>& check,
                            onvif::CameraSearch* search, onvif::CameraRecord* camera) {
    const std::string target = args.positionals[0];
    double seconds = 3;
    if (args.Has("--seconds") && !cli::ParseSeconds(args.Get("--seconds", ""), 0, 3600, &seconds))
        return Usage("bad value for --seconds");
    if (const int bad = check ? check() : 0)
        return bad;
    const Clock::time_point start = Clock::now();
    if (!search->Start(nullptr, 5))
        return Usage("no network interface to search on");
    if (!WaitForCamera(*search, target, seconds, camera)) {
        std::printf("%s: failed: no ONVIF camera found by this MAC or endpoint\n", target.c_str());
        return lorvex::ExitCodeOf(lorvex::Outcome::NoDevice);
    }
    JudgeOnWholeWindow(*search, target, start, camera);
    return 0;
}

int RunSetIp(const cli::ParsedArgs& args, std::string* password) {
    const SecretGuard wipe(password);
    onvif::CameraSearch search;
    onvif::CameraRecord camera;
    if (const int code = FindTargetCamera(args, {}, &search, &camera))
        return code;
    for (const char* unsupported : {"--dhcp", "--http-port", "--data-port", "--accept-key"})
        if (args.Has(unsupported))
            return Usage(std::string(unsupported) + " is not supported for ONVIF cameras");
    const int prefix = onvif::PrefixLength(args.Get("--mask", ""));
    if (prefix < 1)
        return Usage("not a contiguous subnet mask: " + args.Get("--mask", ""));
    EnsureRouteFor(camera);
    onvif::ReaddressRequest request;
    request.ip = args.Get("--ip", "");
    request.prefixLength = prefix;
    request.gateway = args.Get("--gateway", "");
    request.user = args.Get("--user", "admin");
    request.password = MakeSharedSecret(password->data(), password->size());
    WipeSecret(password);
    const onvif::ReaddressResult r =
        onvif::Readdress(camera, request, &search, [&](onvif::ReaddressStep step) {
            if (step == onvif::ReaddressStep::Rebooting) {
                std::printf("%s: rebooting: the camera restarts to take its new address\n",
                            camera.endpoint.c_str());
                std::fflush(stdout);
            }
        });
    const std::string advice =
        r.outcome == onvif::ReaddressOutcome::CallFailed
            ? Advice(r.call, camera.endpoint, r.clockOffset, camera.claimants)
            : std::string();
    std::printf("%s: %s\n", camera.endpoint.c_str(),
                (advice.empty() ? ResultLine(r, request.ip) : advice).c_str());
    if (r.clockOff && r.call != onvif::Outcome::ClockOff)
        std::printf("%s: note: %s\n", camera.endpoint.c_str(), ClockNote(r.clockOffset).c_str());
    return lorvex::ExitCodeOf(onvif::OutcomeOfReaddress(r));
}

int RunRename(const cli::ParsedArgs& args, std::string* password) {
    const SecretGuard wipe(password);
    const std::string name = args.positionals[1];
    onvif::CameraSearch search;
    onvif::CameraRecord camera;
    const auto validName = [&] {
        return onvif::ValidCameraName(name)
                   ? 0
                   : Usage("not a camera name: 1 to 64 bytes of UTF-8 without control characters");
    };
    if (const int code = FindTargetCamera(args, validName, &search, &camera))
        return code;
    EnsureRouteFor(camera);
    onvif::ActionContext context;
    context.user = args.Get("--user", "admin");
    context.password = MakeSharedSecret(password->data(), password->size());
    context.stop = cli::StopFlag();
    WipeSecret(password);
    onvif::RenameRequest request;
    request.name = name;
    const onvif::RenameResult r = onvif::Rename(camera, request, context);
    if (r.outcome != onvif::Outcome::Done) {
        std::string line = Advice(r.outcome, camera.endpoint, 0, camera.claimants);
        if (line.empty())
            line = "failed: " + (r.detail.empty() ? onvif::OutcomeName(r.outcome) : r.detail);
        std::printf("%s: %s\n", camera.endpoint.c_str(), format::TerminalText(line).c_str());
        return ExitFor(r.outcome);
    }
    if (!r.verified) {
        std::printf("%s: not confirmed: the camera took the name but reads back \"%s\"\n",
                    camera.endpoint.c_str(), format::TerminalText(r.nameAfter).c_str());
        return lorvex::ExitCodeOf(lorvex::Outcome::CameraNotConfirmed);
    }
    std::printf("%s: done: the camera's name reads back \"%s\"%s\n", camera.endpoint.c_str(),
                format::TerminalText(r.nameAfter).c_str(),
                r.hostname == onvif::HostnameStep::Set
                    ? (", host name \"" + format::TerminalText(r.hostnameAfter) + "\"").c_str()
                    : "");
    return 0;
}

int OpenCamera(const std::string& target, double seconds, bool reportMissing) {
    onvif::CameraSearch search;
    onvif::CameraRecord camera;
    if (!search.Start(nullptr, 0) || !WaitForCamera(search, target, seconds, &camera)) {
        if (reportMissing)
            std::printf("%s: failed: no ONVIF camera found by this MAC or endpoint\n",
                        target.c_str());
        return lorvex::ExitCodeOf(lorvex::Outcome::NoDevice);
    }
    onvif::XAddr x;
    if (camera.reach == onvif::Reach::None || !onvif::ParseXAddr(camera.xaddr, &x)) {
        std::printf("%s: %s\n", camera.endpoint.c_str(), onvif::OutOfReachDetail(camera).c_str());
        return kOutOfReach;
    }
    EnsureRouteFor(camera);
    OpenUrl(x.scheme + "://" + x.host + ":" + std::to_string(x.port) + "/");
    return 0;
}

bool SaysUnsupported(const std::string& target, double seconds, const char* command) {
    onvif::CameraSearch search;
    if (!search.Start(nullptr, 0))
        return false;
    onvif::CameraRecord camera;
    if (!WaitForCamera(search, target, seconds, &camera))
        return false;
    std::printf("%s: %s is not supported for ONVIF cameras\n", target.c_str(), command);
    return true;
}

CameraBatch::CameraBatch(int intervalSeconds, std::string user) : m_user(std::move(user)) {
    m_search.Start(nullptr, intervalSeconds);
}

bool CameraBatch::Find(const std::string& key, SEARCH_INFO* out) const {
    onvif::CameraRecord camera;
    if (key.empty() || !m_search.Find(key, &camera))
        return false;
    *out = PlanRow(camera);
    std::lock_guard<std::mutex> hold(m_mutex);
    auto it = m_confirmed.find(camera.endpoint);
    if (it != m_confirmed.end()) {
        const commission::PlanEntry& e = it->second;
        CopySearchText(out->ipAddr, sizeof out->ipAddr, e.ip.data(), e.ip.size());
        CopySearchText(out->mask, sizeof out->mask, e.mask.data(), e.mask.size());
        CopySearchText(out->route, sizeof out->route, e.gateway.data(), e.gateway.size());
    }
    return true;
}

int32_t CameraBatch::Send(const commission::PlanEntry& entry, const std::string& password) {
    onvif::CameraRecord camera;
    if (!m_search.Find(commission::DeviceKey(entry.device), &camera))
        return CLorvexManage::SETNET_NO_DEVICE;
    EnsureRouteFor(camera);
    onvif::ReaddressRequest request;
    request.ip = entry.ip;
    request.prefixLength = onvif::PrefixLength(entry.mask);
    request.gateway = entry.gateway;
    request.user = m_user;
    request.password = MakeSharedSecret(password.data(), password.size());
    const onvif::ReaddressResult r = onvif::Readdress(camera, request, &m_search);
    // The batch's row says refused or done; what the installer must do
    // about a camera goes beside it.
    const std::string advice =
        r.outcome == onvif::ReaddressOutcome::CallFailed
            ? Advice(r.call, camera.endpoint, r.clockOffset, camera.claimants)
            : std::string();
    if (!advice.empty())
        std::fprintf(stderr, "lorvex-search: %s: %s\n", camera.endpoint.c_str(), advice.c_str());
    if (r.clockOff && r.call != onvif::Outcome::ClockOff)
        std::fprintf(stderr, "lorvex-search: %s: note: %s\n", camera.endpoint.c_str(),
                     ClockNote(r.clockOffset).c_str());
    switch (r.outcome) {
    case onvif::ReaddressOutcome::Done: {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_confirmed[camera.endpoint] = entry;
        m_confirmed[camera.endpoint].password.clear();
        return CLorvexManage::SETNET_DONE;
    }
    case onvif::ReaddressOutcome::NotConfirmed:
        return CLorvexManage::SETNET_NO_ANSWER;
    case onvif::ReaddressOutcome::OutOfReach:
        return kOutOfReach;
    case onvif::ReaddressOutcome::BadRequest:
        return CLorvexManage::SETNET_FAILED;
    case onvif::ReaddressOutcome::CallFailed:
        break;
    }
    switch (r.call) {
    case onvif::Outcome::WrongCredentials:
        return CLorvexManage::SETNET_FAILED;
    case onvif::Outcome::Locked:
        return CLorvexManage::SETNET_LOCKED;
    case onvif::Outcome::NoAnswer:
        return CLorvexManage::SETNET_NO_ANSWER;
    default:
        return ExitFor(r.call);
    }
}

onvif::ActionContext CameraBatch::Context(const std::string& password) const {
    onvif::ActionContext context;
    context.user = m_user;
    context.password = MakeSharedSecret(password.data(), password.size());
    context.stop = cli::StopFlag();
    return context;
}

bool CameraBatch::Rename(const commission::PlanEntry& entry, const std::string& password,
                         commission::DeviceStatus* out) {
    onvif::CameraRecord camera;
    if (!m_search.Find(commission::DeviceKey(entry.device), &camera))
        return false;
    EnsureRouteFor(camera);
    onvif::RenameRequest request;
    request.name = entry.name;
    const onvif::RenameResult r = onvif::Rename(camera, request, Context(password));
    *out = commission::CameraActionStatus(r.outcome, r.verified);
    return true;
}

commission::DeviceStatus CameraBatch::SetClock(const commission::PlanEntry& entry,
                                               const std::string& password) {
    onvif::CameraRecord camera;
    if (!m_search.Find(commission::DeviceKey(entry.device), &camera))
        return {commission::BatchState::Gone, commission::RefusalReason::None, 0, false, false};
    EnsureRouteFor(camera);
    onvif::ClockRequest request;
    request.ntp = !entry.ntp.empty();
    request.ntpServer = entry.ntp;
    request.timeZone = entry.timeZone;
    const onvif::ClockResult r = onvif::SetClock(camera, request, Context(password));
    return commission::CameraActionStatus(r.outcome, r.verified);
}

} // namespace onvif_cli
