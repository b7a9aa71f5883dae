// lorvex-devsim: any number of simulated devices in one process, speaking
// the search protocol of docs/protocol.md. Run it only inside a private
// network namespace (scripts/netns-run does that).

#include <sodium.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DeviceServers.h"
#include "DeviceTrust.h"
#include "Fleet.h"
#include "Labels.h"
#include "Simulator.h"
#include "WsDiscoveryResponder.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) { g_stop = true; }

const char kUsage[] =
    "usage: lorvex-devsim [--fleet FILE] [--count N] [--subnet CIDR[,CIDR...]]\n"
    "                     [--types TYPE[,TYPE...]] [--password P] [--factory-password P]\n"
    "                     [--first-mac MAC] [--jitter MS] [--change-every S]\n"
    "                     [--vanish-after S] [--flood RATE] [--ready-file PATH] [--verbose]\n"
    "                     [--own-addresses IFACE] [--serve-limit N] [--http-delay MS]\n"
    "                     [--http-status CODE] [--http-silent] [--maker-key FILE]\n"
    "                     [--control FIFO] [--onvif-count N] [--sent-log FILE]\n"
    "                     [--labels DIR]\n";

struct Options {
    std::string fleetFile;
    std::string readyFile;
    std::string labelsDir; // labels (SVG) and labels.csv are written here
    // The test maker's signing seed; an installed tool does not trust it.
    std::string makerKey = LORVEX_DEVSIM_MAKER_SEED;
    devsim::FleetPlan plan;
    devsim::SimOptions sim;
    devsim::ServeOptions serve;
    int httpDelayMs = 0, httpStatus = 0;
    bool httpSilent = false;
};

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        if (!item.empty())
            out.push_back(item);
    return out;
}

bool ParseNumber(const std::string& text, double* out) {
    char* end = nullptr;
    *out = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && *out >= 0;
}

bool TakeSubnets(const std::string& text, devsim::FleetPlan* plan) {
    plan->subnets.clear();
    for (const std::string& s : SplitList(text)) {
        devsim::Subnet net;
        if (!devsim::ParseCidr(s, &net))
            return false;
        plan->subnets.push_back(net);
    }
    return !plan->subnets.empty();
}

bool TakeTypes(const std::string& text, devsim::FleetPlan* plan) {
    plan->types = SplitList(text);
    for (const std::string& t : plan->types)
        if (t.find("ZVK") == std::string::npos)
            return false;
    return !plan->types.empty();
}

// Applies one option with its value; false when the value is not acceptable.
bool TakeOption(const std::string& name, const std::string& value, Options* o) {
    double n = 0;
    if (name == "--fleet")
        return o->fleetFile = value, true;
    if (name == "--ready-file")
        return o->readyFile = value, true;
    if (name == "--labels")
        return o->labelsDir = value, !value.empty();
    if (name == "--subnet")
        return TakeSubnets(value, &o->plan);
    if (name == "--types")
        return TakeTypes(value, &o->plan);
    if (name == "--password")
        return o->plan.password = o->plan.factoryPassword = value, true;
    if (name == "--factory-password")
        return o->plan.factoryPassword = value, true;
    if (name == "--first-mac")
        return lorvex::wire::ParseMac(value, &o->plan.firstMac);
    if (name == "--maker-key")
        return o->makerKey = value, !value.empty();
    if (name == "--sent-log")
        return o->sim.sentLogPath = value, !value.empty();
    if (name == "--control")
        return o->sim.controlPath = value, !value.empty();
    if (name == "--own-addresses")
        return o->serve.ownInterface = value, !value.empty();
    if (!ParseNumber(value, &n))
        return false;
    if (name == "--count")
        return o->plan.count = static_cast<int>(n), n <= 1000000;
    if (name == "--onvif-count")
        return o->plan.onvifCount = static_cast<int>(n), n <= 100000;
    if (name == "--jitter")
        return o->sim.jitterMs = n, true;
    if (name == "--change-every")
        return o->sim.changeEvery = n, true;
    if (name == "--vanish-after")
        return o->plan.vanishAfter = n, true;
    if (name == "--flood")
        return o->sim.flood = n, true;
    if (name == "--serve-limit")
        return o->serve.serveLimit = static_cast<std::size_t>(n), n <= 100000;
    if (name == "--http-delay")
        return o->httpDelayMs = static_cast<int>(n), n <= 60000;
    if (name == "--http-status")
        return o->httpStatus = static_cast<int>(n), n >= 100 && n <= 599;
    return false;
}

bool ParseArgs(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--verbose" || name == "--http-silent") {
            (name == "--verbose" ? o->sim.verbose : o->httpSilent) = true;
            continue;
        }
        if (i + 1 >= argc || !TakeOption(name, argv[i + 1], o)) {
            std::fprintf(stderr, "lorvex-devsim: bad option or value: %s\n", name.c_str());
            return false;
        }
        ++i;
    }
    return true;
}

bool BuildFleet(const Options& o, std::vector<devsim::Device>* devices) {
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    std::string error;
    if (!o.fleetFile.empty() && !devsim::LoadFleetFile(o.fleetFile, o.plan, now, devices, &error)) {
        std::fprintf(stderr, "lorvex-devsim: %s\n", error.c_str());
        return false;
    }
    devsim::Generate(o.plan, now, devices);
    for (devsim::Device& d : *devices) { // the flags' misbehaviour, on top of the file's
        if (o.httpDelayMs > 0)
            d.httpDelayMs = o.httpDelayMs;
        if (o.httpStatus > 0)
            d.httpStatus = o.httpStatus;
        d.httpSilent = d.httpSilent || o.httpSilent;
    }
    return true;
}

// The maker's 32-byte signing seed, as 64 hex digits in `path`.
bool ReadMakerSeed(const std::string& path, std::array<unsigned char, 32>* seed) {
    std::ifstream in(path);
    std::string text;
    return in >> text && lorvex::trust::FromHex(text, seed->data(), seed->size());
}

void WriteReady(const std::string& path, std::size_t count) {
    if (path.empty())
        return;
    std::ofstream(path) << count << "\n";
}

// A maker device that also answers as a camera and is moved by our own
// protocol tells the WS-Discovery group too, with a Hello from the new address.
class MoveObserver : public devsim::DeviceObserver {
public:
    MoveObserver(devsim::DeviceServers* servers, devsim::WsDiscoveryResponder* wsd)
        : m_servers(servers), m_wsd(wsd) {}
    void OnConfigured(std::size_t index, const devsim::Device& before,
                      const devsim::Device& after) override {
        m_servers->OnConfigured(index, before, after);
        if (after.onvif.role != devsim::WsdRole::None && after.ip != before.ip)
            m_wsd->HelloAt(index, devsim::Clock::now());
    }

private:
    devsim::DeviceServers* m_servers;
    devsim::WsDiscoveryResponder* m_wsd;
};

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseArgs(argc, argv, &o))
        return std::fputs(kUsage, stderr), 2;
    std::vector<devsim::Device> devices;
    if (!BuildFleet(o, &devices))
        return 2;
    if (devices.empty() && o.sim.flood <= 0)
        return std::fputs("lorvex-devsim: no devices\n", stderr), 2;
    std::array<unsigned char, 32> seed{};
    if (!lorvex::trust::InitCrypto() || !ReadMakerSeed(o.makerKey, &seed))
        return std::fprintf(stderr, "lorvex-devsim: cannot read maker key %s\n",
                            o.makerKey.c_str()),
               2;
    for (devsim::Device& d : devices)
        devsim::Certify(&d, seed);
    sodium_memzero(seed.data(), seed.size());
    std::string labelError;
    if (!o.labelsDir.empty() && !devsim::WriteLabels(devices, o.labelsDir, &labelError))
        return std::fprintf(stderr, "lorvex-devsim: %s\n", labelError.c_str()), 1;
    devsim::Fleet fleet(std::move(devices));
    devsim::Simulator sim(&fleet, o.sim);
    if (!sim.Open()) {
        std::fputs("lorvex-devsim: cannot open the search socket on any multicast interface, "
                   "or the sent log\n",
                   stderr);
        return 1;
    }
    o.serve.verbose = o.sim.verbose;
    devsim::DeviceServers servers(&fleet, o.serve);
    devsim::WsDiscoveryResponder wsd(
        &fleet, {o.sim.jitterMs, !o.serve.ownInterface.empty(), o.sim.verbose}, &servers);
    servers.SetMover([&wsd](std::size_t i, devsim::Clock::time_point at) { wsd.MoveAt(i, at); });
    servers.SetAnnouncer(
        [&wsd](std::size_t i, devsim::Clock::time_point at) { wsd.HelloAt(i, at); });
    std::string error;
    if (!servers.Start(&error))
        return std::fprintf(stderr, "lorvex-devsim: %s\n", error.c_str()), 1;
    MoveObserver moves(&servers, &wsd);
    sim.SetObserver(&moves);
    if (!wsd.Start(&error))
        return std::fprintf(stderr, "lorvex-devsim: %s\n", error.c_str()), 1;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    WriteReady(o.readyFile, fleet.Size());
    std::fprintf(stderr, "lorvex-devsim: %zu devices ready\n", fleet.Size());
    sim.Run(g_stop);
    wsd.Stop();
    servers.Stop();
    return 0;
}
