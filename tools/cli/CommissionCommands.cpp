#include "CommissionCommands.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "Activation.h"
#include "AddressPlan.h"
#include "BatchRunner.h"
#include "DeviceClock.h"
#include "DeviceCommands.h"
#include "Outcomes.h"
#include "LorvexManage.h"
#include "Neighbours.h"
#include "OnvifCommands.h"
#include "PlanCsv.h"
#include "SearchSession.h"
#include "SetupCodes.h"
#include "TrustWire.h"

namespace commission_cli {

namespace {

using namespace commission;
using Clock = std::chrono::steady_clock;

// The search interval during a plan or a batch; the verification bound follows it.
constexpr int32_t kSearchSeconds = 5;
// How long the kernel gets to resolve the probed addresses.
constexpr int kNeighbourWaitMs = 300;

int Usage(const std::string& reason) { return cli::UsageError(reason); }

// The manager searching as the window does, every kSearchSeconds, and the
// ONVIF cameras' search beside it.
class Session {
public:
    explicit Session(std::string onvifUser = "admin") : m_cameras(kSearchSeconds, onvifUser) {}
    CLorvexManage& Manager() { return m_search.Manager(); }
    // The maker's devices' clocks, read as their answers arrive.
    const lorvex::ClockReadings& Readings() const { return m_readings; }

    // Searches until `done` holds or the time is up.
    void SearchUntil(double seconds, const std::function<bool()>& done) {
        m_search.SearchUntil(seconds, done);
    }

    // The maker's devices, then the ONVIF cameras none of them is
    // (onvif_cli::PlanDevices).
    std::vector<PlanDevice> Listed() {
        std::vector<PlanDevice> makers;
        for (const SEARCH_INFO& d : Manager().GetDevices())
            makers.push_back(PlanDeviceOf(d));
        return onvif_cli::PlanDevices(std::move(makers), m_cameras.Cameras());
    }
    // The record of key (a MAC, or a camera's endpoint): the maker's
    // device, else the ONVIF camera.
    bool Find(const std::string& key, SEARCH_INFO* out) {
        return Manager().FindDevice(key.c_str(), out) || m_cameras.Find(key, out);
    }
    // True when key is an ONVIF camera only, not one of the maker's devices.
    bool IsCameraOnly(const std::string& key) {
        SEARCH_INFO record{};
        return !Manager().FindDevice(key.c_str(), &record) && m_cameras.Find(key, &record);
    }
    onvif_cli::CameraBatch& Cameras() { return m_cameras; }

private:
    lorvex::ClockReadings m_readings; // attached to m_search: declared first, gone last
    cli::SearchSession m_search{kSearchSeconds, &m_readings};
    onvif_cli::CameraBatch m_cameras;
};

bool ReadSeconds(const cli::ParsedArgs& args, double fallback, double* out) {
    *out = fallback;
    return !args.Has("--seconds") || cli::ParseSeconds(args.Get("--seconds", ""), 0, 3600, out);
}

bool ReadFile(const std::string& path, std::string* text, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return *error = "cannot read " + path, false;
    text->assign(kMaxCsvBytes + 1, '\0');
    file.read(&(*text)[0], static_cast<std::streamsize>(text->size()));
    text->resize(static_cast<size_t>(file.gcount()));
    return true; // an over-long text is refused by the reader, with its reason
}

std::string LineError(const std::string& path, const CsvError& e) {
    return e.line == 0 ? path + ": " + e.message
                       : path + ":" + std::to_string(e.line) + ": " + e.message;
}

// The devices the selection options pick out of the listed ones, by MAC
// (or, for an ONVIF camera, by endpoint).
struct Selection {
    std::vector<std::string> macs; // MACs or endpoints, in the given order; empty: every device
    std::string type;
    uint32_t network = 0, mask = 0;
    bool bySubnet = false;

    bool Picks(const PlanDevice& d) const {
        if (!type.empty() && d.type != type)
            return false;
        uint32_t ip = 0;
        return !bySubnet || (ReadAddress(d.ip, &ip) && (ip & mask) == network);
    }
};

// An ONVIF camera's endpoint as --mac takes it: a URI ("urn:uuid:...",
// "http://..."), whose scheme a MAC never has.
bool IsEndpoint(const std::string& text) {
    const size_t colon = text.find(':');
    if (colon == 0 || colon == std::string::npos || text.size() > kMaxPlanEndpointBytes ||
        !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (size_t i = 0; i < colon; ++i)
        if (!std::isalnum(static_cast<unsigned char>(text[i])) &&
            std::string("+-.").find(text[i]) == std::string::npos)
            return false;
    for (unsigned char c : text)
        if (c <= 0x20 || c == 0x7F)
            return false;
    return true;
}

// --type and --subnet into *s.
bool ReadFilter(const cli::ParsedArgs& args, Selection* s, std::string* error);

bool ReadSelection(const cli::ParsedArgs& args, Selection* s, std::string* error) {
    std::stringstream list(args.Get("--mac", ""));
    for (std::string mac; std::getline(list, mac, ',');) {
        char canonical[18];
        if (CLorvexManage::NormalizeMac(mac.c_str(), canonical))
            s->macs.push_back(canonical);
        else if (IsEndpoint(mac))
            s->macs.push_back(mac);
        else
            return *error = "not a MAC address or endpoint: " + mac, false;
    }
    return ReadFilter(args, s, error);
}

bool ReadFilter(const cli::ParsedArgs& args, Selection* s, std::string* error) {
    s->type = args.Get("--type", "");
    if (args.Has("--subnet")) {
        const std::string cidr = args.Get("--subnet", "");
        const size_t slash = cidr.find('/');
        uint32_t address = 0;
        int bits = -1;
        if (slash != std::string::npos && cidr.size() - slash <= 3 &&
            cidr.find_first_not_of("0123456789", slash + 1) == std::string::npos &&
            slash + 1 < cidr.size())
            bits = std::stoi(cidr.substr(slash + 1));
        if (bits < 0 || bits > 32 || !ReadAddress(cidr.substr(0, slash), &address))
            return *error = "bad value for --subnet (A.B.C.D/N): " + cidr, false;
        s->mask = bits == 0 ? 0 : ~uint32_t{0} << (32 - bits);
        s->network = address & s->mask;
        s->bySubnet = true;
    }
    return true;
}

std::vector<PlanDevice> Select(const std::vector<PlanDevice>& listed, const Selection& s,
                               std::string* missing) {
    std::vector<PlanDevice> out;
    if (s.macs.empty()) {
        for (const PlanDevice& d : listed)
            if (s.Picks(d))
                out.push_back(d);
        // The search's order varies from run to run; the MAC's does not.
        std::sort(out.begin(), out.end(), [](const PlanDevice& a, const PlanDevice& b) {
            return DeviceKey(a) < DeviceKey(b);
        });
        return out;
    }
    for (const std::string& mac : s.macs) {
        const auto it = std::find_if(listed.begin(), listed.end(), [&](const PlanDevice& d) {
            return d.mac == mac || d.endpoint == mac;
        });
        if (it == listed.end())
            *missing += (missing->empty() ? "" : ", ") + mac;
        else if (s.Picks(*it))
            out.push_back(*it);
    }
    return out;
}

void PrintSkipped(const AddressPlan& plan) {
    for (const SkippedAddress& s : plan.skipped)
        std::fprintf(stderr, "skipped %s: %s%s%s\n", s.address.c_str(), SkipReasonName(s.reason),
                     s.holder.empty() ? "" : " ", s.holder.c_str());
}

int PlanFromFile(const cli::ParsedArgs& args, double seconds) {
    const std::string path = args.Get("--from", "");
    std::string text, error;
    if (!ReadFile(path, &text, &error))
        return Usage(error);
    Session session;
    session.SearchUntil(seconds, [] { return false; });
    std::vector<PlanEntry> plan;
    CsvError csvError;
    if (!ImportPlan(text, session.Listed(), &plan, &csvError)) {
        std::fprintf(stderr, "lorvex-search: %s\n", LineError(path, csvError).c_str());
        return lorvex::ExitCodeOf(lorvex::Outcome::NotAllDone);
    }
    std::fputs(ExportPlan(plan, {}).c_str(), stdout);
    return 0;
}

int PlanFromStart(const cli::ParsedArgs& args, double seconds) {
    for (const char* required : {"--start", "--mask", "--gateway"})
        if (!args.Has(required))
            return Usage(std::string("plan needs ") + required + " (or --from FILE)");
    if (args.Has("--http-port") != args.Has("--data-port"))
        return Usage("give both --http-port and --data-port, or neither");
    Selection selection;
    std::string error;
    if (!ReadSelection(args, &selection, &error))
        return Usage(error);
    Session session;
    session.SearchUntil(seconds, [] { return false; });
    const std::vector<PlanDevice> listed = session.Listed();
    std::string missing;
    const std::vector<PlanDevice> selected = Select(listed, selection, &missing);
    if (!missing.empty()) {
        std::fprintf(stderr, "lorvex-search: not found by the search: %s\n", missing.c_str());
        return lorvex::ExitCodeOf(lorvex::Outcome::NotAllDone);
    }
    std::vector<std::string> host;
    const std::vector<LocalInterface> interfaces = session.Manager().GetLocalInterfaces();
    for (const LocalInterface& i : interfaces)
        host.push_back(i.ip);
    NeighbourProbe probe;
    if (!args.Has("--no-probe"))
        probe = [&](const std::vector<uint32_t>& c) {
            return ProbeNeighbours(c, interfaces, kNeighbourWaitMs);
        };
    const PlanRequest request{args.Get("--start", ""), args.Get("--mask", ""),
                              args.Get("--gateway", ""), args.Get("--http-port", ""),
                              args.Get("--data-port", "")};
    const AddressPlan plan = MakeAddressPlan(selected, listed, request, host, probe);
    PrintSkipped(plan);
    if (!plan.Ok()) {
        std::fprintf(stderr, "lorvex-search: no plan: %s\n", PlanErrorText(plan.error).c_str());
        return lorvex::ExitCodeOf(lorvex::Outcome::NotAllDone);
    }
    std::fputs(ExportPlan(plan.entries, {}).c_str(), stdout);
    std::fprintf(stderr, "%zu devices planned\n", plan.entries.size());
    return 0;
}

// Final statuses as they arrive on the runner's thread, printed at once.
class Outcomes {
public:
    // `newAddress`: each line shows the address the device moves to.
    explicit Outcomes(const std::vector<PlanEntry>& plan, bool newAddress = true)
        : m_plan(plan), m_statuses(plan.size()), m_newAddress(newAddress),
          m_progress(isatty(STDERR_FILENO) == 1) {}

    void OnStatus(size_t i, const DeviceStatus& s) {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_statuses[i] = s;
        if (s.state == BatchState::Waiting || s.state == BatchState::Sending ||
            s.state == BatchState::Verifying) {
            Progress(i, s);
            return;
        }
        ++m_finished;
        const PlanEntry& e = m_plan[i];
        const char* ip = e.device.ip.empty() ? "-" : e.device.ip.c_str();
        const char* key = DeviceKey(e.device).c_str();
        if (m_progress)
            std::fputs("\r\033[K", stderr);
        if (m_newAddress)
            std::printf("%s %s -> %s %s\n", key, ip, e.ip.c_str(), StatusText(s).c_str());
        else
            std::printf("%s %s %s\n", key, ip, StatusText(s).c_str());
        std::fflush(stdout);
        Progress(i, s);
    }
    std::vector<DeviceStatus> Statuses() {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_statuses;
    }
    // Ends the progress line, when one is shown.
    void EndProgress() {
        std::lock_guard<std::mutex> hold(m_mutex);
        if (m_progress)
            std::fputs("\r\033[K", stderr);
    }

private:
    // "12/200 finished; 02:4C:...: address: verifying" on one line of a
    // terminal's standard error, rewritten in place; never into a file or
    // pipe, which get the outcome lines alone.
    void Progress(size_t i, const DeviceStatus& s) {
        if (!m_progress)
            return;
        std::fprintf(stderr, "\r\033[K%zu/%zu finished; %s: %s", m_finished, m_plan.size(),
                     DeviceKey(m_plan[i].device).c_str(), StatusText(s).c_str());
        std::fflush(stderr);
    }

    const std::vector<PlanEntry>& m_plan;
    std::mutex m_mutex;
    std::vector<DeviceStatus> m_statuses;
    bool m_newAddress;
    bool m_progress;
    size_t m_finished = 0;
};

std::string SummaryLine(const BatchSummary& summary) {
    std::string out;
    for (const auto& c : summary.counts)
        out += (out.empty() ? "" : ", ") + std::to_string(c.second) + " " + BatchStateName(c.first);
    return out;
}

bool HasAllOf(Session& session, const std::vector<std::string>& keys) {
    SEARCH_INFO found{};
    for (const std::string& key : keys)
        if (!session.Find(key, &found))
            return false;
    return true;
}

// The devices a plan file names (each record's MAC, else its endpoint),
// read leniently: only to know when to stop searching. endpoints (may be
// null) receives every endpoint cell that is not empty; lacksPassword (may
// be null) whether a record has no password of its own, so that the
// command's password is asked only then.
std::vector<std::string> KeysOf(const std::string& text, std::set<std::string>* endpoints = nullptr,
                                bool* lacksPassword = nullptr) {
    std::vector<CsvRecord> records;
    CsvError error;
    std::vector<std::string> keys;
    if (lacksPassword != nullptr)
        *lacksPassword = false;
    if (!ReadCsv(text, &records, &error) || records.empty())
        return keys;
    const auto& header = records[0].fields;
    const auto columnOf = [&header](const char* name) {
        return static_cast<size_t>(std::find(header.begin(), header.end(), name) - header.begin());
    };
    const size_t mac = columnOf("mac"), endpoint = columnOf("endpoint");
    const size_t password = columnOf("password");
    for (size_t i = 1; i < records.size(); ++i) {
        const std::vector<std::string>& f = records[i].fields;
        if (lacksPassword != nullptr && (password >= f.size() || f[password].empty()))
            *lacksPassword = true;
        if (endpoints != nullptr && endpoint < f.size() && !f[endpoint].empty())
            endpoints->insert(f[endpoint]);
        if (mac < f.size() && !f[mac].empty())
            keys.push_back(f[mac]);
        else if (endpoint < f.size() && !f[endpoint].empty())
            keys.push_back(f[endpoint]);
    }
    for (CsvRecord& r : records)
        for (std::string& f : r.fields)
            WipeSecret(&f);
    return keys;
}

void WipePlanSecrets(std::vector<PlanEntry>* plan) {
    for (PlanEntry& e : *plan) {
        WipeSecret(&e.password);
        WipeSecret(&e.setupCode);
    }
}

bool NeedsPorts(const std::vector<PlanEntry>& plan) {
    return std::any_of(plan.begin(), plan.end(), [](const PlanEntry& e) {
        return !e.httpPort.empty() || !e.dataPort.empty();
    });
}

// Carries `plan` out, one line per device as its outcome is known, then the
// summary line and, with --output, the plan with every outcome as CSV (no
// passwords). Cancels after the device in flight once the stop flag rises.
// Wipes every password and setup code of the plan, and `password`.
BatchSummary RunBatch(const BatchServices& services, std::vector<PlanEntry>& plan,
                      std::string password, bool newAddress, const cli::ParsedArgs& args) {
    Outcomes outcomes(plan, newAddress);
    BatchSummary summary;
    BatchRunner runner(services);
    runner.Start(
        plan, std::move(password),
        [&](size_t i, const DeviceStatus& s) { outcomes.OnStatus(i, s); },
        [&](const BatchSummary& s) { summary = s; });
    WipeSecret(&password);
    WipePlanSecrets(&plan);
    while (runner.Running()) {
        if (cli::Stopped())
            runner.Cancel();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    runner.Wait();
    outcomes.EndProgress();
    std::printf("summary: %zu devices: %s\n", plan.size(), SummaryLine(summary).c_str());
    std::fflush(stdout);
    if (args.Has("--output")) {
        std::ofstream out(args.Get("--output", ""), std::ios::binary | std::ios::trunc);
        out << ExportPlan(plan, outcomes.Statuses());
        if (!out)
            std::fprintf(stderr, "lorvex-search: cannot write %s\n",
                         args.Get("--output", "").c_str());
    }
    return summary;
}

} // namespace

int RunPlan(const cli::ParsedArgs& args) {
    double seconds;
    if (!ReadSeconds(args, 3, &seconds))
        return Usage("bad value for --seconds");
    return args.Has("--from") ? PlanFromFile(args, seconds) : PlanFromStart(args, seconds);
}

namespace {

// The first passwords a plan asks to be generated (GeneratePlanPasswords)
// for the devices the search lists without a password.
bool GeneratePlanPasswords(Session& session, std::vector<PlanEntry>* plan, const std::string& path,
                           std::string* error) {
    size_t count = 0;
    const auto takesOne = [&session](const PlanEntry& e) {
        SEARCH_INFO record{};
        return session.Find(DeviceKey(e.device), &record) && NeedsActivation(record);
    };
    if (!commission::GeneratePlanPasswords(plan, takesOne, path, &count, error))
        return false;
    if (count > 0)
        std::fprintf(stderr, "%zu generated passwords written to %s: keep it secret\n", count,
                     path.c_str());
    return true;
}

// The steps of a plan beyond its addresses, through the maker's protocol
// or a camera's ONVIF services.
void PlanSteps(Session& session, BatchServices* services) {
    CLorvexManage& manager = session.Manager();
    services->activate = [&manager](const PlanEntry& e, const std::string& pw) {
        return manager.Activate(e.device.mac.c_str(), pw.c_str(), e.setupCode.c_str());
    };
    services->renameOther = [&session](const PlanEntry& e, const std::string& pw,
                                       DeviceStatus* out) {
        return session.IsCameraOnly(DeviceKey(e.device)) && session.Cameras().Rename(e, pw, out);
    };
    // The maker's devices: the clock in a sealed configuration request with
    // the host's time, read back from an answer after it (ClockReadBack).
    auto readBack = std::make_shared<lorvex::ClockReadBack>(session.Readings());
    services->setClock = [&session, readBack](const PlanEntry& e, const std::string& pw,
                                              const std::function<bool()>&) {
        if (session.IsCameraOnly(DeviceKey(e.device)))
            return session.Cameras().SetClock(e, pw);
        CLorvexManage::ClockSetting setting;
        setting.ntpServer = e.ntp;
        setting.timeZone = e.timeZone;
        setting.setTime = true;
        readBack->Sent(e.device.mac);
        const lorvex::Outcome outcome =
            session.Manager().SetClock(e.device.mac.c_str(), pw.c_str(), setting);
        if (outcome != lorvex::Outcome::Done)
            return RefusalStatus(outcome);
        readBack->Accepted(e.device.mac);
        return DeviceStatus{BatchState::Verifying};
    };
    services->clockRead = [readBack](const PlanEntry& e) {
        return readBack->Read(e.device.mac, e.ntp, e.timeZone);
    };
}

} // namespace

int RunApply(const cli::ParsedArgs& args) {
    double seconds;
    if (!ReadSeconds(args, 5, &seconds))
        return Usage("bad value for --seconds");
    const std::string path = args.positionals[0];
    const std::string secretPath = args.Get("--generate-passwords", "");
    struct stat st {};
    if (!secretPath.empty() && ::lstat(secretPath.c_str(), &st) == 0)
        return Usage(secretPath + ": exists already; not overwritten");
    std::string text, error;
    if (!ReadFile(path, &text, &error))
        return Usage(error);
    std::vector<SetupCodeEntry> codes;
    if (args.Has("--setup-codes") &&
        !device::ReadSetupCodesFile(args.Get("--setup-codes", ""), &codes, &error))
        return WipeSecret(&text), Usage("apply: " + error);
    std::set<std::string> endpoints; // the cameras the plan names as ONVIF cameras
    bool lacksPassword = false;
    const std::vector<std::string> keys = KeysOf(text, &endpoints, &lacksPassword);
    std::string password;
    if (lacksPassword)
        password = device::DevicePassword(args, "apply", &error);
    if (!error.empty())
        return WipeSecret(&text), WipeSetupCodes(&codes), Usage(error);
    Session session(args.Get("--user", "admin"));
    session.SearchUntil(seconds, [&] { return HasAllOf(session, keys); });
    std::vector<PlanEntry> plan;
    CsvError csvError;
    const bool imported = ImportPlan(text, session.Listed(), &plan, &csvError);
    WipeSecret(&text);
    bool generateAsked = false;
    for (const PlanEntry& e : plan)
        generateAsked = generateAsked || e.generatePassword;
    if (imported && generateAsked && secretPath.empty()) {
        csvError = {0, "a line asks for a generated password: give --generate-passwords FILE"};
    } else if (imported) {
        AssignSetupCodes(&plan, codes);
        WipeSetupCodes(&codes);
        if (generateAsked && !GeneratePlanPasswords(session, &plan, secretPath, &error))
            csvError = {0, error};
    }
    WipeSetupCodes(&codes);
    if (!imported || !csvError.message.empty()) {
        WipeSecret(&password);
        WipePlanSecrets(&plan);
        std::fprintf(stderr, "lorvex-search: nothing sent: %s\n",
                     LineError(path, csvError).c_str());
        return lorvex::ExitCodeOf(lorvex::Outcome::NothingSent);
    }
    // A line that asked for a generated password whose device has one
    // already takes the command's.
    if (!lacksPassword && std::any_of(plan.begin(), plan.end(),
                                      [](const PlanEntry& e) { return e.password.empty(); })) {
        password = device::DevicePassword(args, "apply", &error);
        if (!error.empty())
            return WipePlanSecrets(&plan), Usage(error);
    }
    if (NeedsPorts(plan))
        device::EnsureLinkLocalRoute(session.Manager());
    BatchServices services;
    CLorvexManage& manager = session.Manager();
    const bool anyCamera = args.Has("--onvif");
    services.send = [&manager, &session, &endpoints, anyCamera](const PlanEntry& e,
                                                                const std::string& pw) {
        // A camera only where the line names its endpoint (or --onvif): a
        // line of the maker's device whose MAC a host announces as a camera
        // finds no device, and the password stays here.
        if (session.IsCameraOnly(DeviceKey(e.device))) {
            if (!anyCamera && endpoints.count(e.device.endpoint) == 0)
                return static_cast<int32_t>(CLorvexManage::SETNET_NO_DEVICE);
            return session.Cameras().Send(e, pw);
        }
        return manager.SetNetParam(e.device.mac.c_str(), e.ip.c_str(), e.mask.c_str(),
                                   e.gateway.c_str(), pw.c_str(), e.httpPort.c_str(),
                                   e.dataPort.c_str(), false, e.name.c_str());
    };
    services.find = [&session](const std::string& mac, SEARCH_INFO* out) {
        return session.Find(mac, out);
    };
    PlanSteps(session, &services);
    services.verifyBound = VerifyBoundFor(kSearchSeconds);
    const BatchSummary summary = RunBatch(services, plan, std::move(password), true, args);
    if (cli::Stopped())
        return lorvex::ExitCodeOf(lorvex::Outcome::Interrupted);
    return lorvex::ExitCodeOf(summary.AllDone(plan.size()) ? lorvex::Outcome::Done
                                                           : lorvex::Outcome::NotAllDone);
}

} // namespace commission_cli

namespace commission_cli {

namespace {

bool BatchSelection(const cli::ParsedArgs& args) {
    for (const char* option : {"--mac", "--type", "--subnet", "--generate-passwords", "--output"})
        if (args.Has(option))
            return true;
    return args.positionals.empty();
}

// The search's records of the selected devices, in the selection's order.
std::vector<SEARCH_INFO> SelectedRecords(CLorvexManage& manager, const Selection& selection,
                                         std::string* missing) {
    std::vector<PlanDevice> listed;
    const std::vector<SEARCH_INFO> records = manager.GetDevices();
    for (const SEARCH_INFO& d : records)
        listed.push_back(PlanDeviceOf(d));
    std::vector<SEARCH_INFO> out;
    for (const PlanDevice& d : Select(listed, selection, missing)) {
        SEARCH_INFO record{};
        if (manager.FindDevice(d.mac.c_str(), &record))
            out.push_back(record);
    }
    return out;
}

// The one password for every device, checked against the rule's length
// and classes before anything is searched or sent (the device's MAC and
// name are checked per device by the manager).
bool CommonPassword(const cli::ParsedArgs& args, std::string* password, std::string* error) {
    *password = device::DevicePassword(args, "activate", error);
    if (!error->empty())
        return false;
    const auto verdict = lorvex::trust::CheckPasswordStrength(*password, "", "");
    if (verdict == lorvex::trust::PASSWORD_OK)
        return true;
    WipeSecret(password);
    *error = "activate: the password breaks the rule (8 to 64 characters, at least two of lower "
             "case, upper case, digits and other characters); nothing sent";
    return false;
}

// The setup codes of --setup-codes FILE, which a batch needs: without a
// code no device can be activated.
bool BatchSetupCodes(const cli::ParsedArgs& args, std::vector<SetupCodeEntry>* codes,
                     std::string* error) {
    if (args.Has("--setup-code"))
        return *error = "a batch takes the devices' codes from --setup-codes FILE (MAC,CODE "
                        "lines), not --setup-code",
               false;
    if (!args.Has("--setup-codes"))
        return *error = "a batch needs --setup-codes FILE: a MAC,CODE line per device, as a "
                        "barcode scanner types them from the labels",
               false;
    return device::ReadSetupCodesFile(args.Get("--setup-codes", ""), codes, error);
}

int ActivateBatch(const cli::ParsedArgs& args) {
    double seconds;
    if (!ReadSeconds(args, 3, &seconds))
        return Usage("bad value for --seconds");
    Selection selection;
    std::string error, password;
    if (!ReadSelection(args, &selection, &error))
        return Usage(error);
    const bool generate = args.Has("--generate-passwords");
    const std::string secretPath = args.Get("--generate-passwords", "");
    struct stat st {};
    if (generate && ::lstat(secretPath.c_str(), &st) == 0)
        return Usage(secretPath + ": exists already; not overwritten");
    if (!generate && !CommonPassword(args, &password, &error))
        return Usage(error);
    std::vector<SetupCodeEntry> codes;
    if (!BatchSetupCodes(args, &codes, &error))
        return WipeSecret(&password), Usage("activate: " + error);
    Session session;
    session.SearchUntil(
        seconds, [&] { return !selection.macs.empty() && HasAllOf(session, selection.macs); });
    std::string missing;
    const std::vector<SEARCH_INFO> selected =
        SelectedRecords(session.Manager(), selection, &missing);
    if (!missing.empty()) {
        WipeSecret(&password);
        WipeSetupCodes(&codes);
        std::fprintf(stderr, "lorvex-search: nothing sent: not found by the search: %s\n",
                     missing.c_str());
        return lorvex::ExitCodeOf(lorvex::Outcome::NothingSent);
    }
    std::vector<PlanEntry> plan = ActivationPlan(selected);
    AssignSetupCodes(&plan, codes);
    WipeSetupCodes(&codes);
    // A generated password only for a device that can take it: one without
    // a code is skipped, and the file holds no password nobody set.
    std::vector<bool> needs, gets;
    for (size_t i = 0; i < selected.size(); ++i) {
        needs.push_back(NeedsActivation(selected[i]));
        gets.push_back(needs.back() && !plan[i].setupCode.empty());
    }
    const size_t toActivate = static_cast<size_t>(std::count(needs.begin(), needs.end(), true));
    const size_t withCode = static_cast<size_t>(std::count(gets.begin(), gets.end(), true));
    if (generate && withCode > 0) {
        // The file first: no device gets a password nobody has.
        if (!GeneratePasswords(&plan, gets) ||
            !WriteSecretPasswordsFile(secretPath, plan, &error)) {
            WipePlanSecrets(&plan);
            std::fprintf(stderr, "lorvex-search: nothing sent: %s\n",
                         error.empty() ? "no random source" : error.c_str());
            return lorvex::ExitCodeOf(lorvex::Outcome::NothingSent);
        }
        std::fprintf(stderr, "%zu generated passwords written to %s: keep it secret\n", withCode,
                     secretPath.c_str());
    }
    BatchServices services;
    services.request = BatchRequest::Activation;
    CLorvexManage& manager = session.Manager();
    services.send = [&manager](const PlanEntry& e, const std::string& pw) {
        return manager.Activate(e.device.mac.c_str(), pw.c_str(), e.setupCode.c_str());
    };
    services.find = [&manager](const std::string& mac, SEARCH_INFO* out) {
        return manager.FindDevice(mac.c_str(), out);
    };
    services.verifyBound = VerifyBoundFor(kSearchSeconds);
    const BatchSummary summary = RunBatch(services, plan, std::move(password), false, args);
    if (cli::Stopped())
        return lorvex::ExitCodeOf(lorvex::Outcome::Interrupted);
    const auto done = summary.counts.find(BatchState::Done);
    const size_t doneCount = done == summary.counts.end() ? 0 : done->second;
    return lorvex::ExitCodeOf(toActivate > 0 && doneCount == toActivate
                                  ? lorvex::Outcome::Done
                                  : lorvex::Outcome::NotAllDone);
}

} // namespace

bool ReadMakerFilter(const cli::ParsedArgs& args, std::string* error) {
    Selection selection;
    return ReadFilter(args, &selection, error);
}

std::vector<SEARCH_INFO> SelectMakerDevices(const cli::ParsedArgs& args,
                                            const std::vector<std::string>& macs,
                                            CLorvexManage& manager, std::string* missing) {
    Selection selection;
    std::string error;
    ReadFilter(args, &selection, &error);
    for (const std::string& mac : macs) {
        char canonical[18];
        if (CLorvexManage::NormalizeMac(mac.c_str(), canonical))
            selection.macs.push_back(canonical);
    }
    return SelectedRecords(manager, selection, missing);
}

int RunActivate(const cli::ParsedArgs& args) {
    if (!BatchSelection(args))
        return device::RunActivate(args);
    if (!args.positionals.empty())
        return Usage("activate takes a MAC or a selection (--mac, --type, --subnet), not both");
    return ActivateBatch(args);
}

} // namespace commission_cli
