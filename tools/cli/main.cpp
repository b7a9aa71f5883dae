// lorvex-search: finds the maker's devices from the command line, through
// the search manager exactly as the window drives it. Run it only inside a
// private network namespace when testing (scripts/netns-run); on a real
// installation it searches the LAN it is started on.

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CommandLine.h"
#include "CommissionCommands.h"
#include "DebugOutput.h"
#include "DeviceCommands.h"
#include "DeviceFormat.h"
#include "LorvexManage.h"
#include "LorvexVersion.h"
#include "LorvexSearch.h"
#include "OnvifCommands.h"
#include "OnvifSearch.h"
#include "Outcomes.h"
#include "SearchSession.h"
#include "Secret.h"
#include "SiteCommands.h"
#include "SiteReport.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> g_stop{false};

void OnSignal(int) { g_stop = true; }

void InstallSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN); // a closed pipe shows up as a failed write
}

// Waits until the time is up (seconds <= 0: no limit) or a signal arrives.
void WaitFor(double seconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!g_stop && (seconds <= 0 || Clock::now() < end))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// The identity state of a device as the library holds it now.
std::string IdentityOf(const char* mac) {
    unsigned char bytes[6];
    if (!CLorvexManage::MacBytesOf(mac, bytes))
        return format::IdentityName(LORVEX_IDENTITY_UNKNOWN);
    return format::IdentityName(LORVEX_TRUST_Identity(bytes, nullptr));
}

// Keeps the devices that are present, in the order they were first seen.
class Collector : public CObserver<SEARCH_INFO> {
public:
    void Update(SEARCH_INFO info, CObservable<SEARCH_INFO>*) override {
        std::lock_guard<std::mutex> hold(m_mutex);
        const std::string mac = info.mac;
        if (info.event == SEARCH_EVENT_GONE) {
            m_devices.erase(mac);
            return;
        }
        auto inserted = m_devices.emplace(mac, Entry{m_next, info});
        if (inserted.second)
            ++m_next;
        else
            inserted.first->second.info = info;
    }
    std::vector<SEARCH_INFO> Devices() {
        std::lock_guard<std::mutex> hold(m_mutex);
        std::map<long, SEARCH_INFO> ordered;
        for (const auto& d : m_devices)
            ordered[d.second.order] = d.second.info;
        std::vector<SEARCH_INFO> out;
        for (auto& o : ordered)
            out.push_back(o.second), out.back().event = SEARCH_EVENT_NEW;
        return out;
    }

private:
    struct Entry {
        long order;
        SEARCH_INFO info;
    };
    std::mutex m_mutex;
    std::map<std::string, Entry> m_devices;
    long m_next = 0;
};

// How long watch holds back a camera with a MAC for the maker's answer of
// the same device: the maker's devices answer within a second of a probe.
constexpr std::chrono::milliseconds kCameraGrace{1500};

// Writes every event, of the maker's devices and of ONVIF cameras, as one
// line as soon as it arrives, one row per device (onvif_cli::WatchMerge).
class Printer : public CObserver<SEARCH_INFO>, public onvif::CameraObserver {
public:
    explicit Printer(format::Format f) : m_format(f), m_merge(kCameraGrace) {
        if (f == format::Format::Csv)
            Write({format::CsvHeader(true, true, true)});
    }
    void Update(SEARCH_INFO info, CObservable<SEARCH_INFO>*) override {
        const std::string identity = IdentityOf(info.mac);
        std::lock_guard<std::mutex> hold(m_mutex); // two searches report
        Print(m_merge.Maker(info, identity));
    }
    void OnCamera(onvif::CameraEvent event, const onvif::CameraRecord& camera) override {
        std::lock_guard<std::mutex> hold(m_mutex);
        Print(m_merge.Camera(event, camera, onvif_cli::WatchMerge::Clock::now()));
    }
    // Prints the cameras whose wait for the maker's record is over; at the
    // end of the watch (final), every camera still waiting.
    void Tick(bool final = false) {
        std::lock_guard<std::mutex> hold(m_mutex);
        const auto now = onvif_cli::WatchMerge::Clock::now();
        Print(m_merge.Due(final ? now + kCameraGrace : now));
    }

private:
    void Print(const std::vector<onvif_cli::WatchLine>& lines) {
        std::vector<std::string> texts;
        for (const onvif_cli::WatchLine& l : lines) {
            if (m_format == format::Format::Json)
                texts.push_back(format::RecordJson(l.row, true, &l.identity, &l.endpoint));
            else if (m_format == format::Format::Csv)
                texts.push_back(format::RecordCsv(l.row, true, &l.identity, &l.endpoint));
            else
                texts.push_back(format::EventLine(l.row, &l.identity, &l.endpoint));
        }
        Write(texts);
    }
    void Write(const std::vector<std::string>& lines) {
        for (const std::string& line : lines)
            if (std::fprintf(stdout, "%s\n", line.c_str()) < 0 || std::fflush(stdout) != 0)
                g_stop = true;
    }
    std::mutex m_mutex;
    format::Format m_format;
    onvif_cli::WatchMerge m_merge;
};

bool ReadFormat(const cli::ParsedArgs& args, format::Format* out) {
    return format::ParseFormat(args.Get("--format", "table"), out);
}

bool ReadSeconds(const cli::ParsedArgs& args, double fallback, double* out) {
    *out = fallback;
    return !args.Has("--seconds") ||
           cli::ParseSeconds(args.Get("--seconds", ""), 0.001, 31536000, out);
}

bool ReadInterval(const cli::ParsedArgs& args, int* out) {
    double value = 5;
    if (args.Has("--interval") && !cli::ParseSeconds(args.Get("--interval", ""), 0, 86400, &value))
        return false;
    *out = static_cast<int>(value);
    return *out == value;
}

int Usage(const std::string& reason);

// Every column a table of list can show: the record's fields, the ONVIF
// cameras' information, the endpoint and the identity.
const std::vector<std::string>& OfferedColumns() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> offered = format::TableColumns(
            {SEARCH_INFO{}}, {""}, {""}, {{{"manufacturer", ""}, {"serial", ""}}});
        return offered;
    }();
    return names;
}

// The --columns list read against the columns a table offers whatever
// was found, so that it is checked before the search; false, after the
// usage message, for a name the table does not offer.
bool ReadColumnList(const cli::ParsedArgs& args, std::vector<std::string>* columns) {
    std::string unknown;
    if (format::ParseColumnList(args.Get("--columns", ""), OfferedColumns(), columns, &unknown))
        return true;
    Usage("unknown column \"" + format::TerminalText(unknown) + "\" for --columns");
    return false;
}

// The table's columns once the list is known: the --columns list, every
// column with --all-columns, else those an installer reads.
std::vector<std::string> TableColumnsOf(const cli::ParsedArgs& args, const onvif_cli::Listing& l,
                                        std::vector<std::string> listed) {
    if (args.Has("--columns"))
        return listed;
    if (args.Has("--all-columns"))
        return format::TableColumns(l.rows, l.identities, l.endpoints, l.extras);
    return format::DefaultTableColumns(l.rows, l.identities, l.endpoints, l.extras);
}

void PrintDevices(const onvif_cli::Listing& list, format::Format f,
                  const std::vector<std::string>& columns) {
    const std::vector<SEARCH_INFO>& devices = list.rows;
    const auto extras = [&list](size_t i) {
        return list.extras.empty() ? nullptr : &list.extras[i];
    };
    if (f == format::Format::Table) {
        std::fputs(
            format::RecordTable(devices, list.identities, list.endpoints, list.extras, &columns)
                .c_str(),
            stdout);
        return;
    }
    if (f == format::Format::Csv) {
        std::vector<std::string> extraNames;
        if (!list.extras.empty())
            extraNames = {"manufacturer", "serial"};
        // Records end in CRLF as RFC 4180 has them, which every spreadsheet reads.
        std::printf("%s\r\n", format::CsvHeader(false, true, true, extraNames).c_str());
        for (size_t i = 0; i < devices.size(); ++i)
            std::printf("%s\r\n", format::RecordCsv(devices[i], false, &list.identities[i],
                                                    &list.endpoints[i], extras(i))
                                      .c_str());
        return;
    }
    std::printf("[");
    for (size_t i = 0; i < devices.size(); ++i)
        std::printf("%s\n  %s", i ? "," : "",
                    format::RecordJson(devices[i], false, &list.identities[i], &list.endpoints[i],
                                       extras(i))
                        .c_str());
    std::printf("%s]\n", devices.empty() ? "" : "\n");
}

// list logs in to the ONVIF cameras named by --login, or to all with
// --login-all; credentials alone name none.
bool WantsCameraLogin(const cli::ParsedArgs& args) {
    return args.Has("--login") || args.Has("--login-all");
}

bool GivesCredentials(const cli::ParsedArgs& args) {
    return args.Has("--user") || args.Has("--password") || args.Has("--visible-password");
}

// The endpoints and MACs given to --login, split on commas.
std::vector<std::string> LoginNames(const cli::ParsedArgs& args) {
    std::vector<std::string> names;
    const std::string list = args.Get("--login", "");
    for (size_t at = 0; at <= list.size();) {
        const size_t comma = std::min(list.find(',', at), list.size());
        if (comma > at)
            names.push_back(list.substr(at, comma - at));
        at = comma + 1;
    }
    return names;
}

// What the log-in met at a named camera that the installer must act on.
void PrintLoginNotes(const std::vector<onvif_cli::LoginNote>& notes) {
    for (const onvif_cli::LoginNote& n : notes) {
        const std::string advice =
            onvif_cli::Advice(n.outcome, n.endpoint, n.clockOffset, n.claimants);
        if (!advice.empty())
            std::fprintf(stderr, "lorvex-search: %s: %s\n", n.endpoint.c_str(), advice.c_str());
        if (n.clockOff && n.outcome != onvif::Outcome::ClockOff)
            std::fprintf(stderr, "lorvex-search: %s: note: %s\n", n.endpoint.c_str(),
                         onvif_cli::ClockNote(n.clockOffset).c_str());
    }
}

// What a search of both protocols found: the maker's devices in the order
// first seen, with their identities, and the ONVIF cameras.
struct Found {
    std::vector<SEARCH_INFO> devices;
    std::vector<std::string> identities;
    std::vector<onvif::CameraRecord> cameras;
};

// Searches both protocols for `seconds`, as list does; then `whileListed`
// (when given) works with the maker's devices found while the search that
// lists them still runs.
Found SearchBoth(double seconds,
                 const std::function<void(CLorvexManage&, const Found&)>& whileListed = {}) {
    Collector collector;
    Found found;
    cli::SearchSession session(5, &collector);
    onvif::CameraSearch cameraSearch; // ONVIF cameras beside the maker's devices
    cameraSearch.Start(nullptr, 0);
    WaitFor(seconds);
    found.devices = collector.Devices();
    for (const SEARCH_INFO& d : found.devices)
        found.identities.push_back(IdentityOf(d.mac));
    found.cameras = cameraSearch.Cameras();
    if (whileListed)
        whileListed(session.Manager(), found);
    return found;
}

// How long list waits for the cameras' GetDeviceInformation after its search.
constexpr std::chrono::seconds kInformationBound{3};

int RunList(const cli::ParsedArgs& args) {
    format::Format f;
    double seconds;
    if (!ReadFormat(args, &f))
        return Usage("unknown format " + args.Get("--format", ""));
    if (!ReadSeconds(args, 3, &seconds))
        return Usage("bad value for --seconds");
    if ((args.Has("--columns") || args.Has("--all-columns")) && f != format::Format::Table)
        return Usage("--columns and --all-columns choose the table's columns; json and csv "
                     "always carry every field");
    if (args.Has("--columns") && args.Has("--all-columns"))
        return Usage("give --columns or --all-columns, not both");
    std::vector<std::string> columns;
    if (args.Has("--columns") && !ReadColumnList(args, &columns))
        return lorvex::ExitCodeOf(lorvex::Outcome::UsageError);
    const bool login = WantsCameraLogin(args);
    if (GivesCredentials(args) && !login)
        return Usage("list logs in only to the ONVIF cameras named with --login ENDPOINT,... "
                     "(or to every camera with --login-all)");
    if (args.Has("--login") && LoginNames(args).empty())
        return Usage("--login needs the endpoints or MACs of the cameras to log in to");
    SharedSecret password;
    if (login) {
        // Asked before the search, so that a prompt does not wait on it.
        std::string error, text = device::DevicePassword(args, "list", &error);
        if (!error.empty())
            return Usage(error);
        password = MakeSharedSecret(text.data(), text.size());
        WipeSecret(&text);
    }
    Found found = SearchBoth(seconds);
    if (login) {
        onvif_cli::EnsureRoutesFor(found.cameras); // cameras of foreign subnets answer there
        PrintLoginNotes(onvif_cli::ReadInformation(&found.cameras, args.Get("--user", "admin"),
                                                   password, Clock::now() + kInformationBound,
                                                   LoginNames(args), args.Has("--login-all")));
    }
    const onvif_cli::Listing list = onvif_cli::MergeCameras(
        std::move(found.devices), std::move(found.identities), found.cameras, login);
    PrintDevices(list, f, TableColumnsOf(args, list, std::move(columns)));
    return 0;
}

// How long report waits for the named cameras' clocks and pictures.
constexpr std::chrono::seconds kTakeBound{20};

int RunReport(const cli::ParsedArgs& args) {
    double seconds;
    if (!ReadSeconds(args, 3, &seconds))
        return Usage("bad value for --seconds");
    if (!args.Has("--output") || args.Get("--output", "").empty())
        return Usage("report needs --output FILE.html");
    const bool login = WantsCameraLogin(args), pictures = args.Has("--pictures");
    if (GivesCredentials(args) && !login && !pictures)
        return Usage("report logs in only to the ONVIF cameras named with --login ENDPOINT,... "
                     "(or to every camera with --login-all)");
    if (args.Has("--user") && !login)
        return Usage("--user is the ONVIF cameras' user for --login");
    if (args.Has("--login") && LoginNames(args).empty())
        return Usage("--login needs the endpoints or MACs of the cameras to log in to");
    SharedSecret password;
    if (login || pictures) {
        std::string error, text = device::DevicePassword(args, "report", &error);
        if (!error.empty())
            return Usage(error);
        password = MakeSharedSecret(text.data(), text.size());
        WipeSecret(&text);
    }
    std::map<std::string, site_cli::CameraTake> taken;
    Found found = SearchBoth(seconds, [&](CLorvexManage& manager, const Found& listed) {
        if (pictures)
            taken = site_cli::TakeMakerPictures(manager, listed.devices, *password);
    });
    if (login) {
        onvif_cli::EnsureRoutesFor(found.cameras);
        const std::string user = args.Get("--user", "admin");
        PrintLoginNotes(onvif_cli::ReadInformation(&found.cameras, user, password,
                                                   Clock::now() + kInformationBound,
                                                   LoginNames(args), args.Has("--login-all")));
        taken.merge(site_cli::TakeCameras(found.cameras, user, password, Clock::now() + kTakeBound,
                                          LoginNames(args), args.Has("--login-all")));
    }
    const onvif_cli::Listing list = onvif_cli::MergeCameras(
        std::move(found.devices), std::move(found.identities), found.cameras, login);
    const std::vector<report::Row> rows = site_cli::ReportRows(list, found.cameras, taken);
    const std::string path = args.Get("--output", "");
    std::string error;
    if (!report::WriteReport(path, site_cli::ReportHeader(args.Get("--site", "")), rows, &error)) {
        std::fprintf(stderr, "lorvex-search: cannot write the report: %s\n", error.c_str());
        return lorvex::ExitCodeOf(lorvex::Outcome::NotAllDone);
    }
    std::printf("report: %zu devices written to %s and %s\n", rows.size(), path.c_str(),
                report::CsvPathFor(path).c_str());
    return 0;
}

int RunWatch(const cli::ParsedArgs& args) {
    format::Format f;
    double seconds;
    int interval;
    if (!ReadFormat(args, &f))
        return Usage("unknown format " + args.Get("--format", ""));
    if (!ReadSeconds(args, 0, &seconds))
        return Usage("bad value for --seconds");
    if (!ReadInterval(args, &interval))
        return Usage("bad value for --interval");
    Printer printer(f);
    cli::SearchSession session(interval, &printer);
    onvif::CameraSearch cameraSearch;
    cameraSearch.Start(&printer, interval);
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!g_stop && (seconds <= 0 || Clock::now() < end)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        printer.Tick();
    }
    cameraSearch.Stop();
    printer.Tick(true);
    return 0;
}

// The help of --columns, ending in every name it takes (which the bash
// completion reads).
std::string ColumnsHelp() {
    std::string names;
    for (const std::string& name : OfferedColumns())
        names += (names.empty() ? "" : ",") + name;
    return "the table shows these columns, separated by commas, in this order; names: " + names;
}

// A command's options followed by the password's.
std::vector<cli::OptionInfo> WithPassword(std::vector<cli::OptionInfo> options) {
    const std::vector<cli::OptionInfo> password = cli::PasswordOptions();
    options.insert(options.end(), password.begin(), password.end());
    return options;
}

// The requests' trace lines (where a request went, that it was sent) go
// to standard error, and only when asked: standard output carries the
// results that scripts read.
const cli::OptionInfo kVerbose{"--verbose", "", "trace each request on standard error"};

const std::vector<cli::CommandSpec>& Commands() {
    static const std::vector<cli::CommandSpec> commands = {
        {"list",
         {},
         WithPassword({{"--seconds", "S", "how long to search, default 3"},
                       {"--format", "table|json|csv", "output form, default table"},
                       {"--all-columns", "",
                        "the table shows every field, not only address, MAC, type, model, "
                        "name, activation and identity"},
                       {"--columns", "LIST", ColumnsHelp()},
                       {"--login", "LIST",
                        "log in to these ONVIF cameras (endpoints or MACs, separated by commas) "
                        "and list the maker, model, firmware and serial number each tells, "
                        "within 3 s after the search; no other camera receives the login"},
                       {"--login-all", "",
                        "log in to every ONVIF camera that answers instead: any host on the "
                        "network can answer as a camera and receive the login (a token it may "
                        "replay to the real cameras for minutes, or crack offline); use it only "
                        "on a network you trust"},
                       {"--user", "NAME", "the cameras' user for --login, default admin"}}),
         "searches for S seconds, then prints every device found once; the table is sorted "
         "by IP address",
         RunList},
        {"watch",
         {},
         {{"--seconds", "S", "stop after S seconds; default: run until interrupted"},
          {"--format", "table|json|csv", "output form, default table (one line per event)"},
          {"--interval", "N", "automatic search every N seconds, 0 = one search; default 5"}},
         "prints every event (new, changed, gone) as it arrives",
         RunWatch},
        {"set-ip",
         {"MAC"},
         WithPassword(
             {{"--ip", "A", "new IP address"},
              {"--onvif", "",
               "MAC names an ONVIF camera: without it (or --user, or an endpoint as "
               "MAC) a MAC is only ever the maker's device, never a camera that "
               "announces it"},
              {"--user", "NAME",
               "an ONVIF camera's user, default admin (MAC may also be the camera's "
               "endpoint; --user takes the ONVIF way like --onvif)"},
              {"--mask", "M", "new subnet mask"},
              {"--gateway", "G", "new gateway"},
              {"--accept-key", "FP",
               "send to a device whose key no trusted maker certified, once its "
               "fingerprint FP (shown when refused) was compared with the device's label"},
              {"--http-port", "N", "new HTTP port (an IP camera: only together with --data-port)"},
              {"--data-port", "N", "new data port"},
              {"--dhcp", "", "the device takes its address by DHCP"},
              {"--seconds", "S", "search at most S seconds for the device, default 3"},
              kVerbose}),
         "gives the device new network parameters; exits with the outcome's status (the manual's "
         "EXIT STATUS lists each)",
         device::RunSetIp},
        {"restore",
         {"MAC"},
         {{"--seconds", "S", "search at most S seconds for the device first, default 3"}, kVerbose},
         "resets the device to not activated, within 10 minutes after its reset button was "
         "pressed; exits 0 when done, else the outcome's status",
         device::RunRestore},
        {"activate",
         {"[MAC]"},
         WithPassword(
             {{"--setup-code", "CODE",
               "the device's setup code from its label (12 characters, XXXX-XXXX-XXXX, "
               "any case, spaces and dashes ignored), or - for the next line of standard input "
               "(after the password's); without it the code is asked without echo at a "
               "terminal. Checked before anything is sent; visible in the process list like "
               "any argument until the device is activated"},
              {"--setup-codes", "FILE",
               "the devices' setup codes: one MAC,CODE line per device (header optional), as a "
               "barcode scanner types them from the labels' QR codes; a batch needs it. A "
               "repeated MAC or a bad code is refused with its line before anything is sent"},
              {"--accept-key", "FP", "as for set-ip (one device)"},
              {"--mac", "LIST", "a batch: these devices (MACs separated by commas), in this order"},
              {"--type", "CODE", "a batch: only devices of this type code, such as ZVK_IPC"},
              {"--subnet", "A/N", "a batch: only devices whose address lies in this subnet"},
              {"--generate-passwords", "FILE",
               "a batch: a different generated password per device, written only to the new "
               "file FILE (mode 0600, never overwritten) before anything is sent; keep it secret"},
              {"--output", "FILE", "a batch: write every outcome as CSV (no passwords)"},
              {"--seconds", "S", "search at most S seconds for the device(s), default 3"},
              kVerbose}),
         "gives a not activated device its first password (from the password options as for "
         "set-ip: 8 to 64 characters, at least two of lower case, upper case, digits and "
         "other characters, not the MAC, not the device name), proving the setup code on its "
         "label; exits with the outcome's status (21: the device refused the code, which counts "
         "like a wrong password). Without MAC, or with a selection, a batch: every selected "
         "device without a password gets one, devices with one, and devices without a code "
         "in --setup-codes, are skipped; 0 when all were activated, 1 when not, 3 when "
         "nothing was sent",
         commission_cli::RunActivate},
        {"rename",
         {"MAC", "NAME"},
         WithPassword({{"--accept-key", "FP", "as for set-ip"},
                       {"--onvif", "",
                        "MAC is the MAC an ONVIF camera announces (an endpoint is taken as a "
                        "camera without it)"},
                       {"--user", "NAME", "the ONVIF camera's user, default admin"},
                       {"--seconds", "S", "search at most S seconds for the device, default 3"},
                       kVerbose}),
         "gives the device the name NAME (1 to 31 bytes of UTF-8, no control characters, no "
         "space at either end), its addresses left as they are; done once a new search answer "
         "carries the name; exits with the result code. An ONVIF camera (an endpoint, or a MAC "
         "with --onvif) gets NAME as its name scope and host name, done once read back; exits "
         "with the outcome's status",
         device::RunRename},
        {"identify",
         {"MAC"},
         WithPassword({{"--duration", "N",
                        "how long the device shows itself, in whole seconds, 1 to 300, "
                        "default 60"},
                       {"--accept-key", "FP", "as for set-ip"},
                       {"--seconds", "S", "search at most S seconds for the device, default 3"},
                       kVerbose}),
         "makes the device show itself (its light, a beep, a mark on its screen) so that the "
         "installer can tell which one it is; needs its password; exits with the result code",
         device::RunIdentify},
        {"open",
         {"MAC"},
         {{"--print", "", "print the URL instead of opening it"},
          {"--seconds", "S", "search at most S seconds for the device, default 3"},
          kVerbose},
         "opens the device's web page in the default browser; 12 when not found",
         device::RunOpen},
        {"forget-camera",
         {"ENDPOINT"},
         {},
         "forgets the HTTPS certificate pinned for the ONVIF camera ENDPOINT, so that the next "
         "log-in accepts the one it shows: only after the camera's certificate was replaced on "
         "purpose (the file: ~/.local/share/lorvex/camera-certificates)",
         onvif_cli::RunForgetCamera},
        {"snapshot",
         {"MAC-OR-ENDPOINT"},
         WithPassword(
             {{"--output", "FILE", "write the picture, a JPEG as the camera sent it, to FILE"},
              {"--onvif", "",
               "the MAC is the one an ONVIF camera announces; without it a MAC names the "
               "maker's IP camera"},
              {"--user", "NAME", "the ONVIF camera's user, default admin"},
              {"--accept-key", "FP", "as for set-ip (the maker's cameras)"},
              {"--seconds", "S", "search at most S seconds for the camera, default 3"},
              kVerbose}),
         "takes the camera's picture (an ONVIF camera's media service's snapshot; the maker's "
         "camera's through a one-time token its password grants, the password never sent in "
         "clear), fetched only from the camera's own address, at most 4 MiB, read whole as a "
         "JPEG before it is written; "
         "exits with the outcome's status (the manual's EXIT STATUS lists each; 43: the picture "
         "is no JPEG this tool reads whole, 44: it is larger than 4 MiB, nothing written either "
         "way)",
         site_cli::RunSnapshot},
        {"set-time",
         {"[MAC-or-ENDPOINT...]"},
         WithPassword(
             {{"--ntp", "HOST",
               "the clocks follow this NTP server (an address or host name); each is set to "
               "this computer's time first, so that it is right at once"},
              {"--now", "", "without --ntp: the clocks are set by hand to this computer's time"},
              {"--time-zone", "TZ",
               "a POSIX time zone such as CET-1CEST,M3.5.0,M10.5.0/3 or UTC0; default: each "
               "device keeps its own"},
              {"--mac", "LIST",
               "these devices too (MACs of the maker's devices, or endpoints, separated by "
               "commas)"},
              {"--type", "CODE", "the maker's devices of this type code, such as ZVK_IPC"},
              {"--subnet", "A/N", "the maker's devices whose address lies in this subnet"},
              {"--onvif", "", "the MACs given are those ONVIF cameras announce"},
              {"--user", "NAME", "the ONVIF cameras' user, default admin"},
              {"--seconds", "S", "search at most S seconds for the devices, default 3"},
              kVerbose}),
         "sets the clocks of the devices named: ONVIF cameras by endpoint (several at once), "
         "the maker's devices by MAC or selection (one at a time); reads each back from a new "
         "answer and prints its offset from this computer's clock before and after; progress "
         "on standard error at a terminal; 0 when every clock was set and read back, 1 when "
         "not, 2 when refused (nothing sent)",
         site_cli::RunSetTime},
        {"report",
         {},
         WithPassword(
             {{"--output", "FILE.html",
               "write the site report to FILE.html (one page: no script, nothing fetched from "
               "elsewhere, prints on A4 landscape) and the same rows to FILE.csv beside it; "
               "never a password or setup code"},
              {"--site", "NAME", "the site's name in the report's header"},
              {"--seconds", "S", "how long to search, default 3"},
              {"--login", "LIST",
               "log in to these ONVIF cameras (endpoints or MACs, separated by commas): their "
               "model, firmware, clock offset and a thumbnail of their picture go into the "
               "report; no other camera receives the login"},
              {"--login-all", "",
               "log in to every ONVIF camera that answers instead (as for list: only on a "
               "network you trust)"},
              {"--user", "NAME", "the cameras' user for --login, default admin"},
              {"--pictures", "",
               "also a thumbnail from each of the maker's IP cameras found, taken one at a time "
               "with the devices' password (with --login, the same password logs in to the "
               "ONVIF cameras)"}}),
         "searches as list does and writes the site report: a header with the site, date, PC "
         "and tool version, one row per device of both protocols (name, type, model, MAC or "
         "endpoint, address, mask, gateway, firmware, identity, activation, what this session "
         "did, clock offset, thumbnail); 0 when written, 1 when not",
         RunReport},
        {"plan",
         {},
         {{"--start", "A", "first new address"},
          {"--mask", "M", "subnet mask of the new addresses"},
          {"--gateway", "G", "gateway of the new addresses"},
          {"--mac", "LIST",
           "only these devices (MACs, or the endpoints of ONVIF cameras without one, "
           "separated by commas), in this order"},
          {"--type", "CODE", "only devices of this type code, such as ZVK_IPC"},
          {"--subnet", "A/N", "only devices whose address lies in this subnet"},
          {"--http-port", "N", "new HTTP port for every device (with --data-port)"},
          {"--data-port", "N", "new data port for every device (with --http-port)"},
          {"--no-probe", "", "do not ask the neighbour table which addresses answer"},
          {"--from", "FILE", "check a plan file against the devices found instead"},
          {"--seconds", "S", "search S seconds first, default 3"}},
         "prints an address plan as CSV (skipped addresses on stderr); 1 when none can be made",
         commission_cli::RunPlan},
        {"apply",
         {"FILE"},
         WithPassword(
             {{"--output", "FILE", "write the plan with every outcome as CSV (no passwords)"},
              {"--user", "NAME", "the ONVIF cameras' user, default admin"},
              {"--onvif", "",
               "a line naming its device by MAC only may also be an ONVIF camera with that MAC; "
               "without it only lines with an endpoint go to ONVIF cameras"},
              {"--setup-codes", "FILE",
               "the setup codes of lines without a setupCode cell (MAC,CODE lines, as a barcode "
               "scanner types them from the labels)"},
              {"--generate-passwords", "FILE",
               "for lines whose password is (generate): a first password per device, written "
               "to the new file FILE (mode 0600) before anything is sent"},
              {"--seconds", "S", "search at most S seconds for the plan's devices, default 5"},
              kVerbose}),
         "takes the plan's devices through activation (a device without a password whose line "
         "or --setup-codes gives its setup code), name (name column), address and clock (ntp, "
         "timeZone columns), each step verified before the next; a line's password column "
         "wins, and the password options are read only when a line has none; progress on "
         "standard error when it is a terminal; 0 when all are done, 1 when not, 3 when the "
         "plan is refused (nothing sent)",
         commission_cli::RunApply},
    };
    return commands;
}

int Usage(const std::string& reason) { return cli::UsageError(reason); }

// help [COMMAND]: the whole usage, or the command's own, on standard output.
int RunHelp(int argc, char** argv) {
    if (argc == 2) {
        std::fputs(cli::Usage("lorvex-search", Commands()).c_str(), stdout);
        return 0;
    }
    for (const cli::CommandSpec& c : Commands())
        if (argc == 3 && c.name == argv[2]) {
            std::fputs(cli::CommandUsage("lorvex-search", c).c_str(), stdout);
            return 0;
        }
    return Usage(argc == 3 ? "help: unknown command " + format::TerminalText(argv[2])
                           : "help takes at most one command");
}

} // namespace

int main(int argc, char** argv) {
    cli::SetUsageContext("lorvex-search", Commands(), nullptr);
    if (argc >= 2 && std::string(argv[1]) == "help")
        return RunHelp(argc, argv);
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h"))
        return RunHelp(2, argv);
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("lorvex-search %s\n", LORVEX_VERSION);
        return 0;
    }
    cli::ParsedArgs args;
    std::string error;
    const bool parsed = cli::Parse(argc, argv, Commands(), &args, &error);
    cli::SetUsageContext("lorvex-search", Commands(), args.command);
    if (!parsed)
        return Usage(error);
    if (args.help) {
        std::fputs(cli::CommandUsage("lorvex-search", *args.command).c_str(), stdout);
        return 0;
    }
    device::TakePasswordFromEnvironment();
    // Maker keys from the environment make devices "verified": never
    // unseen. One line, before anything is searched.
    const std::string trustDir = CLorvexManage::TrustDirOverride();
    if (!trustDir.empty())
        std::fprintf(stderr,
                     "lorvex-search: warning: LORVEX_TRUST_DIR is set: devices certified by the "
                     "maker keys in %s count as verified\n",
                     trustDir.c_str());
    if (!args.Has("--verbose"))
        SetDebugSink([](const std::string&) {});
    InstallSignals();
    cli::SetStopFlag(&g_stop);
    return args.command->run(args);
}
