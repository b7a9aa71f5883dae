#include "DeviceCommands.h"

#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <algorithm>
#include <thread>

#include "AddressPlan.h"
#include "HostProcess.h"
#include "Secret.h"
#include "LorvexManage.h"
#include "LorvexSearch.h"
#include "OnvifCommands.h"
#include "Outcomes.h"
#include "SearchSession.h"
#include "SearchWire.h"

namespace device {

namespace {

using Clock = std::chrono::steady_clock;

// Longer than the library's gap between a request and its repeat.
constexpr std::chrono::milliseconds kRequestRepeat{300};

int Usage(const std::string& reason) { return cli::UsageError(reason); }

// The manager started as the window starts it; stopped as it closes.
class Session : public cli::SearchSession {
public:
    Session() : SearchSession(5) {}

    // Searches until the device is listed under `name` or the time is up.
    bool WaitForName(const char* mac, const std::string& name, double seconds) {
        return SearchUntil(seconds, [&] {
            SEARCH_INFO found{};
            return Manager().FindDevice(mac, &found) && name == found.devName;
        });
    }

    // Searches until the device is listed or the time is up.
    bool WaitForDevice(const char* mac, double seconds) {
        return SearchUntil(seconds, [&] {
            SEARCH_INFO found{};
            return Manager().FindDevice(mac, &found);
        });
    }
};

// The MAC positional in canonical form; false when it is not one.
bool ReadMac(const cli::ParsedArgs& args, char mac[18]) {
    return CLorvexManage::NormalizeMac(args.positionals[0].c_str(), mac);
}

bool ReadSeconds(const cli::ParsedArgs& args, double* seconds) {
    *seconds = 3;
    return !args.Has("--seconds") || cli::ParseSeconds(args.Get("--seconds", ""), 0, 3600, seconds);
}

// Asks `question` on the terminal with echo off; the answer is never shown.
bool PromptNoEcho(const char* question, std::string* answer) {
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0)
        return false;
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    std::fputs(question, stderr);
    std::fflush(stderr);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    answer->reserve(cli::kPasswordLineReserve); // read in place, never moved
    const bool read = static_cast<bool>(std::getline(std::cin, *answer));
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
    return read;
}

// LORVEX_PASSWORD as it was at start, until a command takes it (once); the
// variable itself is gone by then. The process stays non-dumpable while it
// is held.
std::string& EnvironmentPassword() {
    static std::string password;
    return password;
}
bool g_environmentHadPassword = false;
std::unique_ptr<NonDumpableHold>& EnvironmentHold() {
    static std::unique_ptr<NonDumpableHold> hold;
    return hold;
}

// An IP camera takes its ports over its HTTP interface, and only both at
// once; one port alone would change nothing though the request succeeds.
bool PortsApart(const cli::ParsedArgs& args, CLorvexManage& manager, const char* mac) {
    SEARCH_INFO device{};
    return args.Has("--http-port") != args.Has("--data-port") && manager.FindDevice(mac, &device) &&
           std::strcmp(device.productSeries, "ZVK_IPC") == 0;
}

// Confirms the device's uncertified key with the fingerprint the user gave;
// without one, says what the user has to compare. False when the key is not
// confirmed.
bool AcceptKey(const cli::ParsedArgs& args, CLorvexManage& manager, const char* mac) {
    std::string fingerprint;
    if (manager.GetIdentity(mac, &fingerprint) != LORVEX_IDENTITY_UNVERIFIED)
        return true; // verified, confirmed, or refused later for its own reason
    if (args.Has("--accept-key") &&
        manager.ConfirmIdentity(mac, args.Get("--accept-key", "").c_str()))
        return true;
    std::fprintf(stderr,
                 "lorvex-search: %s: key fingerprint %s is not certified by a trusted maker\n", mac,
                 fingerprint.c_str());
    return false;
}

} // namespace

std::string DevicePassword(const cli::ParsedArgs& args, const char* command, std::string* error) {
    cli::PasswordSources from;
    from.args = &args;
    from.environment = g_environmentHadPassword ? EnvironmentPassword().c_str() : nullptr;
    from.input = &std::cin;
    from.inputIsTerminal = isatty(STDIN_FILENO) == 1;
    from.prompt = [](std::string* password) { return PromptNoEcho("Device password: ", password); };
    std::string password;
    if (!cli::ReadPassword(from, &password, error))
        error->insert(0, std::string(command) + ": ");
    // Its one use has its own copy now.
    WipeSecret(&EnvironmentPassword());
    g_environmentHadPassword = false;
    EnvironmentHold().reset();
    return password;
}

bool ReadSetupCodesFile(const std::string& path, std::vector<commission::SetupCodeEntry>* codes,
                        std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return *error = "cannot read " + path, false;
    // One byte more than the reader takes, so that it can say the file is too large.
    std::string text(commission::kMaxSetupCodesBytes + 1, '\0');
    file.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
    commission::SetupCodesError fault;
    const bool ok = commission::ReadSetupCodes(text, codes, &fault);
    WipeSecret(&text);
    if (!ok)
        *error = path + ": " + commission::SetupCodesErrorText(fault) + "; nothing sent";
    return ok;
}

std::string DeviceSetupCode(const cli::ParsedArgs& args, const std::string& mac,
                            const char* command, std::string* error) {
    std::string code;
    if (args.Has("--setup-code") && args.Has("--setup-codes")) {
        *error = std::string(command) + ": give --setup-code or --setup-codes, not both";
        return code;
    }
    if (args.Has("--setup-codes")) {
        std::vector<commission::SetupCodeEntry> codes;
        const std::string path = args.Get("--setup-codes", "");
        if (!ReadSetupCodesFile(path, &codes, error)) {
            error->insert(0, std::string(command) + ": ");
            return code;
        }
        for (const commission::SetupCodeEntry& e : codes)
            if (e.mac == mac)
                code = e.code;
        commission::WipeSetupCodes(&codes);
        if (code.empty())
            *error = std::string(command) + ": " + path + " has no setup code for " + mac +
                     "; nothing sent";
        return code;
    }
    cli::SetupCodeSources from;
    from.args = &args;
    from.input = &std::cin;
    from.inputIsTerminal = isatty(STDIN_FILENO) == 1;
    from.prompt = [](std::string* typed) {
        return PromptNoEcho("Setup code (on the device's label): ", typed);
    };
    if (!cli::ReadSetupCode(from, &code, error))
        error->insert(0, std::string(command) + ": ");
    return code;
}

void EnsureLinkLocalRoute(CLorvexManage& manager) {
    std::string ip;
    manager.GetLocalNetInfo(&ip, nullptr, nullptr, nullptr);
    TellLinkLocalRoute(manager.AddLinkLocalRoute(ip.c_str()), ip);
}

void TellLinkLocalRoute(LinkLocalRouteState state, const std::string& localAddress) {
    const char* local = localAddress.c_str();
    const std::string card = CLorvexManage::LinkLocalRouteInterface(local);
    switch (state) {
    case LinkLocalRouteState::NeedsRoot:
        std::fprintf(stderr,
                     "lorvex-search: no route to link-local device addresses; as root run: %s\n",
                     CLorvexManage::LinkLocalRouteAdvice(local).c_str());
        if (RouteHelperWithheld())
            std::fputs("lorvex-search: or join the group lorvex (sudo adduser $USER lorvex, "
                       "then log in again) so that the tool adds it itself\n",
                       stderr);
        break;
    case LinkLocalRouteState::OtherInterface: {
        const std::string carrier = CLorvexManage::LinkLocalRouteCarrier(local);
        std::fprintf(stderr,
                     "lorvex-search: link-local route on another card: 169.254.0.0/16 leads to %s, "
                     "not to %s, so devices reached only at a link-local address on %s do not "
                     "answer; as root remove that route: ip route del 169.254.0.0/16 dev %s\n",
                     carrier.c_str(), card.c_str(), card.c_str(), carrier.c_str());
        break;
    }
    case LinkLocalRouteState::Started:
        std::fprintf(stderr,
                     "lorvex-search: the link-local route on %s is not in place yet; a device "
                     "reached only at a link-local address may not answer\n",
                     card.c_str());
        break;
    case LinkLocalRouteState::Present:
    case LinkLocalRouteState::NotLocal:
        break;
    }
}

std::string OutcomeText(int32_t code, int32_t lockSeconds) {
    if (code == CLorvexManage::SETNET_LOCKED && lockSeconds > 0)
        return SetIpOutcome(code) + "; try again in " + std::to_string(lockSeconds) + " s";
    return SetIpOutcome(code);
}

void TakePasswordFromEnvironment() {
    // Standard input carries only a password line: unbuffered, it leaves no
    // copy of one in a buffer of the C library.
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    if (char* value = std::getenv("LORVEX_PASSWORD")) {
        EnvironmentHold() = std::make_unique<NonDumpableHold>();
        EnvironmentPassword() = value;
        g_environmentHadPassword = true;
        explicit_bzero(value, std::strlen(value));
        unsetenv("LORVEX_PASSWORD");
    }
}

std::string SetIpOutcome(int32_t code) {
    const lorvex::Outcome outcome = lorvex::OutcomeOfResult(code);
    if (outcome == lorvex::Outcome::UnknownResult)
        return std::string(lorvex::RowOf(outcome).text) + ": " + std::to_string(code);
    return lorvex::RowOf(outcome).text;
}

int ExitCodeOfResult(int32_t code) { return lorvex::ExitCodeOf(lorvex::OutcomeOfResult(code)); }

// The MAC and --seconds every device command takes; 0 when both are good,
// else the usage exit code.
int ReadTarget(const cli::ParsedArgs& args, char mac[18], double* seconds) {
    if (!ReadMac(args, mac))
        return Usage("not a MAC address: " + args.positionals[0]);
    if (!ReadSeconds(args, seconds))
        return Usage("bad value for --seconds");
    return 0;
}

// restore and activate for a target that is no MAC: an ONVIF camera's
// endpoint gets its refusal; 0 when the target is a MAC (or names nothing).
static int OnvifUnsupported(const cli::ParsedArgs& args, const char* command) {
    char mac[18];
    if (ReadMac(args, mac))
        return 0;
    double seconds = 3;
    if (!ReadSeconds(args, &seconds))
        return Usage("bad value for --seconds");
    return onvif_cli::SaysUnsupported(args.positionals[0], seconds, command)
               ? onvif_cli::kUnsupported
               : 0;
}

// One of the maker's devices, found, with the password for it (wiped here).
struct Target {
    char mac[18] = {};
    std::string password;
    std::optional<Session> session;
    ~Target() { WipeSecret(&password); }
};

// The opening of the commands on one of the maker's devices: the MAC and
// --seconds, the command's own arguments (badArgs: why they are not good,
// empty when they are), the password, a search until the device answers
// within --seconds (when it does not and refuseCamera, an ONVIF camera so
// named ends the command with its refusal), and its key accepted as
// --accept-key says. 0 when the command goes on with target, else its exit
// code.
int OpenTarget(const cli::ParsedArgs& args, const char* command,
               const std::function<std::string()>& badArgs, bool refuseCamera, Target* target) {
    double seconds;
    if (const int bad = ReadTarget(args, target->mac, &seconds))
        return bad;
    if (const std::string why = badArgs ? badArgs() : std::string(); !why.empty())
        return Usage(why);
    std::string error;
    target->password = DevicePassword(args, command, &error);
    if (!error.empty())
        return Usage(error);
    target->session.emplace();
    if (!target->session->WaitForDevice(target->mac, seconds) && refuseCamera &&
        onvif_cli::SaysUnsupported(args.positionals[0], 1.5, command))
        return onvif_cli::kUnsupported;
    AcceptKey(args, target->session->Manager(), target->mac);
    return 0;
}

int RunSetIp(const cli::ParsedArgs& args) {
    char mac[18];
    double seconds;
    const bool onvifTarget = onvif_cli::WantsOnvif(args);
    if (!onvifTarget)
        if (const int bad = ReadTarget(args, mac, &seconds))
            return bad;
    for (const char* required : {"--ip", "--mask", "--gateway"})
        if (!args.Has(required))
            return Usage(std::string("set-ip needs ") + required);
    // A text that is no address would reach the address rules as
    // 255.255.255.255 and be refused for a rule it never broke.
    for (const char* option : {"--ip", "--mask", "--gateway"}) {
        uint32_t address = 0;
        if (!commission::ReadAddress(args.Get(option, ""), &address))
            return Usage(std::string(option) + " " + args.Get(option, "") +
                         " is not an IPv4 address (four numbers 0 to 255 joined by dots)");
    }
    std::string error;
    std::string password = DevicePassword(args, "set-ip", &error);
    const SecretGuard wipe(&password);
    if (!error.empty())
        return Usage(error);
    if (onvifTarget)
        return onvif_cli::RunSetIp(args, &password);
    Session session;
    // The port step reaches a camera whose new address is foreign to this
    // host only at its link-local address, as the window's start-up allows.
    if (args.Has("--http-port") || args.Has("--data-port"))
        EnsureLinkLocalRoute(session.Manager());
    // A MAC not heard is not found: never an ONVIF camera that announces
    // it (--onvif names a camera), which would receive the password.
    session.WaitForDevice(mac, seconds);
    if (PortsApart(args, session.Manager(), mac))
        return Usage("an IP camera changes its ports only as a pair: give both --http-port and "
                     "--data-port");
    AcceptKey(args, session.Manager(), mac);
    const int32_t code = session.Manager().SetNetParam(
        mac, args.Get("--ip", "").c_str(), args.Get("--mask", "").c_str(),
        args.Get("--gateway", "").c_str(), password.c_str(), args.Get("--http-port", "").c_str(),
        args.Get("--data-port", "").c_str(), args.Has("--dhcp"));
    WipeSecret(&password);
    std::printf("%s: %s (code %d)\n", mac,
                OutcomeText(code, session.Manager().LastLockSeconds()).c_str(), code);
    std::fflush(stdout);
    // The library sends a request and its repeat 200 ms later from its own
    // thread; nothing waited for a device that does not answer, so give them
    // time to leave before the session ends.
    if (code == CLorvexManage::SETNET_NOT_IPC)
        std::this_thread::sleep_for(kRequestRepeat);
    return ExitCodeOfResult(code);
}

int RunRestore(const cli::ParsedArgs& args) {
    char mac[18];
    double seconds;
    if (const int unsupported = OnvifUnsupported(args, "restore"))
        return unsupported;
    if (const int bad = ReadTarget(args, mac, &seconds))
        return bad;
    Session session;
    if (!session.WaitForDevice(mac, seconds) &&
        onvif_cli::SaysUnsupported(args.positionals[0], 1.5, "restore"))
        return onvif_cli::kUnsupported;
    const int32_t code = session.Manager().RestoreDevice(mac);
    if (code == CLorvexManage::SETNET_DONE)
        std::printf("%s: restored: the device is not activated; give it a password with "
                    "`activate`\n",
                    mac);
    else if (code == CLorvexManage::SETNET_NO_ANSWER)
        std::printf("%s: failed: the device did not acknowledge the restore\n", mac);
    else
        std::printf("%s: %s (code %d)\n", mac, SetIpOutcome(code).c_str(), code);
    return ExitCodeOfResult(code);
}

int RunActivate(const cli::ParsedArgs& args) {
    char mac[18];
    double seconds;
    if (const int unsupported = OnvifUnsupported(args, "activate"))
        return unsupported;
    if (const int bad = ReadTarget(args, mac, &seconds))
        return bad;
    std::string error;
    std::string password = DevicePassword(args, "activate", &error);
    const SecretGuard wipe(&password);
    if (!error.empty())
        return Usage(error);
    // Checked before the search: a mistyped code costs the device no try.
    std::string setupCode = DeviceSetupCode(args, mac, "activate", &error);
    const SecretGuard wipeCode(&setupCode);
    if (!error.empty())
        return Usage(error);
    Session session;
    if (!session.WaitForDevice(mac, seconds) &&
        onvif_cli::SaysUnsupported(args.positionals[0], 1.5, "activate"))
        return onvif_cli::kUnsupported;
    AcceptKey(args, session.Manager(), mac);
    const int32_t code = session.Manager().Activate(mac, password.c_str(), setupCode.c_str());
    WipeSecret(&password);
    WipeSecret(&setupCode);
    const std::string text = code == CLorvexManage::SETNET_DONE
                                 ? "done: the device is activated with the new password"
                                 : OutcomeText(code, session.Manager().LastLockSeconds());
    std::printf("%s: %s (code %d)\n", mac, text.c_str(), code);
    return ExitCodeOfResult(code);
}

int RunRename(const cli::ParsedArgs& args) {
    if (onvif_cli::WantsOnvif(args)) {
        std::string error, password = DevicePassword(args, "rename", &error);
        const SecretGuard wipe(&password);
        if (!error.empty())
            return Usage(error);
        return onvif_cli::RunRename(args, &password);
    }
    const std::string name = args.positionals[1];
    Target target;
    const int opened = OpenTarget(
        args, "rename",
        [&] {
            return lorvex::wire::IsDeviceName(name)
                       ? std::string()
                       : "not a device name: 1 to " +
                             std::to_string(lorvex::wire::kMaxDeviceNameBytes) +
                             " bytes of UTF-8 without control characters or a space at either end";
        },
        false, &target);
    if (opened != 0)
        return opened;
    const char* mac = target.mac;
    Session& session = *target.session;
    const int32_t code = session.Manager().Rename(mac, name.c_str(), target.password.c_str());
    WipeSecret(&target.password);
    if (code != CLorvexManage::SETNET_DONE) {
        std::printf("%s: %s (code %d)\n", mac,
                    OutcomeText(code, session.Manager().LastLockSeconds()).c_str(), code);
        return ExitCodeOfResult(code);
    }
    // Done only once a new search answer carries the name.
    session.Manager().RefreshSearch(true);
    if (!session.WaitForName(mac, name, kRenameSeenSeconds)) {
        std::printf("%s: not confirmed: the device took the name but no answer carried it "
                    "within %d s (code %d)\n",
                    mac, kRenameSeenSeconds, CLorvexManage::SETNET_NO_ANSWER);
        return ExitCodeOfResult(CLorvexManage::SETNET_NO_ANSWER);
    }
    std::printf("%s: done: the device answers as \"%s\" (code 0)\n", mac, name.c_str());
    return 0;
}

// --duration: whole seconds, 1 to the protocol's bound; kIdentifySeconds
// when not given.
bool ReadIdentifySeconds(const cli::ParsedArgs& args, int32_t* seconds) {
    *seconds = kIdentifySeconds;
    if (!args.Has("--duration"))
        return true;
    const std::string text = args.Get("--duration", "");
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *seconds = std::stoi(text);
    return *seconds >= 1 && *seconds <= LORVEX_IDENTIFY_MAX_SECONDS;
}

int RunIdentify(const cli::ParsedArgs& args) {
    int32_t duration;
    if (const int unsupported = OnvifUnsupported(args, "identify"))
        return unsupported;
    Target target;
    const int opened = OpenTarget(
        args, "identify",
        [&] {
            return ReadIdentifySeconds(args, &duration)
                       ? std::string()
                       : "bad value for --duration: whole seconds, 1 to " +
                             std::to_string(LORVEX_IDENTIFY_MAX_SECONDS);
        },
        true, &target);
    if (opened != 0)
        return opened;
    const char* mac = target.mac;
    Session& session = *target.session;
    const int32_t code = session.Manager().Identify(mac, target.password.c_str(), duration);
    WipeSecret(&target.password);
    if (code == CLorvexManage::SETNET_DONE)
        std::printf("%s: done: the device shows itself for %d s (code 0)\n", mac, duration);
    else
        std::printf("%s: %s (code %d)\n", mac,
                    OutcomeText(code, session.Manager().LastLockSeconds()).c_str(), code);
    return ExitCodeOfResult(code);
}

int RunSnapshot(const cli::ParsedArgs& args, const PictureWriter& write) {
    Target target;
    if (const int opened = OpenTarget(args, "snapshot", {}, false, &target))
        return opened;
    const char* mac = target.mac;
    Session& session = *target.session;
    EnsureLinkLocalRoute(session.Manager());
    const MakerSnapshot r =
        session.Manager().TakeSnapshot(mac, target.password.c_str(), kMakerPictureTimeLimitMs);
    WipeSecret(&target.password);
    if (r.outcome != lorvex::Outcome::Done) {
        std::printf("%s: %s", mac, lorvex::RowOf(r.outcome).text);
        if (r.outcome == lorvex::Outcome::CameraBadPicture)
            std::printf(" (%s)", snapshot::ImageCheckName(r.image));
        if (r.outcome == lorvex::Outcome::Locked)
            std::printf(" (for %d s)", session.Manager().LastLockSeconds());
        std::printf("\n");
        return lorvex::ExitCodeOf(r.outcome);
    }
    const std::string path = args.Get("--output", "");
    std::string error;
    if (!write(path, r.jpeg, &error)) {
        std::fprintf(stderr, "lorvex-search: %s\n", error.c_str());
        return lorvex::ExitCodeOf(lorvex::Outcome::NotAllDone);
    }
    std::printf("%s: done: %dx%d picture, %zu bytes, written to %s\n", mac, r.width, r.height,
                r.jpeg.size(), path.c_str());
    return 0;
}

int RunOpen(const cli::ParsedArgs& args) {
    char mac[18];
    double seconds;
    if (args.Has("--print"))
        SetUrlOpener([](const std::string& url) { std::printf("%s\n", url.c_str()); });
    if (!ReadMac(args, mac)) { // an ONVIF camera's endpoint
        if (!ReadSeconds(args, &seconds))
            return Usage("bad value for --seconds");
        return onvif_cli::OpenCamera(args.positionals[0], seconds, true);
    }
    if (const int bad = ReadTarget(args, mac, &seconds))
        return bad;
    Session session;
    if (!session.WaitForDevice(mac, seconds)) {
        // A MAC the maker's search does not know may be an ONVIF camera's.
        const int camera = onvif_cli::OpenCamera(mac, 1.5, false);
        if (camera != lorvex::ExitCodeOf(lorvex::Outcome::NoDevice))
            return camera;
        std::printf("%s: %s\n", mac, SetIpOutcome(CLorvexManage::SETNET_NO_DEVICE).c_str());
        return lorvex::ExitCodeOf(lorvex::Outcome::NoDevice);
    }
    EnsureLinkLocalRoute(session.Manager());
    if (session.Manager().OpenDeviceWeb(mac))
        return 0;
    std::printf("%s: failed: the device reports no usable address or HTTP port\n", mac);
    return lorvex::ExitCodeOf(lorvex::Outcome::NotAllDone);
}

} // namespace device
