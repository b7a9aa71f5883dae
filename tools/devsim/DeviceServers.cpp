#include "DeviceServers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <httplib.h>

#include "CameraPicture.h"
#include "DeviceTrust.h"
#include "NetNamespace.h"
#include "OnvifDeviceService.h"

extern char** environ;

namespace devsim {
namespace {

constexpr std::size_t kMaxHttpPorts = 64; // SetPortConfig cannot make us open ports without end
constexpr std::size_t kMaxBody = 64 * 1024;
constexpr int kSilentHoldMs = 20000;
// What a camera whose picture is too large serves: past the client's 4 MiB.
constexpr std::size_t kTooLargePicture = 4 * 1024 * 1024 + 65536;
// The size of the picture the maker's cameras give for a token.
constexpr int kTokenPictureWidth = 1280;
constexpr int kTokenPictureHeight = 720;
// A slow camera's picture: this many bytes every this many milliseconds.
constexpr std::size_t kSlowChunk = 512;
constexpr int kSlowEveryMs = 500;

bool ToAddress(const std::string& text, std::uint32_t* out) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1)
        return false;
    *out = ntohl(a.s_addr);
    return true;
}

std::string Base64(const std::string& in) {
    static const char k[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < in.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, in.size() - i);
        std::uint32_t g = static_cast<unsigned char>(in[i]) << 16;
        if (n > 1)
            g |= static_cast<unsigned char>(in[i + 1]) << 8;
        if (n > 2)
            g |= static_cast<unsigned char>(in[i + 2]);
        for (std::size_t j = 0; j < 4; ++j)
            out += j <= n ? k[(g >> (18 - 6 * j)) & 63] : '=';
    }
    return out;
}

// The text of the first <name ...>text</name> inside `xml` from `from`.
bool ElementText(const std::string& xml, std::size_t from, std::size_t to, const char* name,
                 std::string* text) {
    const std::string open = std::string("<") + name, close = std::string("</") + name + ">";
    std::size_t at = xml.find(open, from);
    while (at != std::string::npos && at < to && xml[at + open.size()] != '>' &&
           xml[at + open.size()] != ' ')
        at = xml.find(open, at + 1);
    if (at == std::string::npos || at >= to)
        return false;
    const std::size_t start = xml.find('>', at);
    const std::size_t end = start == std::string::npos ? start : xml.find(close, start);
    if (end == std::string::npos || end > to)
        return false;
    *text = xml.substr(start + 1, end - start - 1);
    return true;
}

bool PortValue(const std::string& text, int* out) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *out = std::stoi(text);
    return *out >= 1 && *out <= 65535;
}

int OpenListener(std::uint32_t address, int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd, IPPROTO_IP, IP_FREEBIND, &one, sizeof one); // before the address is up
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void RaiseFileLimit() {
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur < r.rlim_max) {
        r.rlim_cur = r.rlim_max;
        setrlimit(RLIMIT_NOFILE, &r);
    }
}

std::set<std::uint32_t> AddressesOn(const std::string& name) {
    std::set<std::uint32_t> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return out;
    for (const ifaddrs* i = list; i; i = i->ifa_next)
        if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET && name == i->ifa_name)
            out.insert(ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr));
    freeifaddrs(list);
    return out;
}

// Sleeps up to ms, in short steps so that shutting down is not held up.
void Sleep(int ms, const std::atomic<bool>& halt) {
    for (int slept = 0; slept < ms && !halt; slept += 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(50, ms - slept)));
}

// An address both deleted and added (a device keeping it) stays as it is.
std::vector<std::string> NetChanges(const std::vector<std::string>& lines) {
    std::multiset<std::string> adds, dels;
    for (const std::string& l : lines)
        (l.rfind("addr add ", 0) == 0 ? adds : dels).insert(l.substr(9));
    std::vector<std::string> out;
    for (const std::string& a : dels)
        if (!adds.count(a))
            out.push_back("addr del " + a);
    for (const std::string& a : adds)
        if (!dels.count(a))
            out.push_back("addr add " + a);
    return out;
}

} // namespace

std::string ExpectedAuthorization(const std::string& password) {
    return "Basic " + Base64("admin:" + password);
}

std::string HtmlEscape(const std::string& text) { return XmlEscape(text); }

std::string PortConfigXml(const Device& d) {
    auto port = [](const char* name, int value) {
        return std::string("<") + name + " type=\"uint16\">" + std::to_string(value) + "</" + name +
               ">";
    };
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><config version=\"1.0\" "
           "xmlns=\"http://www.lorvex.com/ver10/XMLSchema\"><port>" +
           port("httpPort", d.httpPort) + port("netPort", d.dataPort) +
           port("rtspPort", d.rtspPort) + "</port></config>";
}

bool ParsePortConfig(const std::string& body, int* httpPort, int* netPort, int* rtspPort) {
    const std::size_t open = body.find("<port>");
    const std::size_t close = open == std::string::npos ? open : body.find("</port>", open);
    if (close == std::string::npos)
        return false;
    std::string h, n, r;
    return ElementText(body, open, close, "httpPort", &h) &&
           ElementText(body, open, close, "netPort", &n) &&
           ElementText(body, open, close, "rtspPort", &r) && PortValue(h, httpPort) &&
           PortValue(n, netPort) && PortValue(r, rtspPort);
}

std::string DevicePage(const Device& d) {
    const std::string name = HtmlEscape(d.devName);
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + name +
           "</title></head><body><h1>" + name + "</h1><p>" + HtmlEscape(d.productModel) + " (" +
           HtmlEscape(d.type) + "), software " + HtmlEscape(d.softwareVer) + "</p><p>" +
           HtmlEscape(d.ip) + " " + lorvex::wire::FormatMac(d.mac) + "</p></body></html>\n";
}

DeviceServers::DeviceServers(Fleet* fleet, ServeOptions options)
    : m_fleet(fleet), m_options(std::move(options)) {}

DeviceServers::~DeviceServers() { Stop(); }

bool DeviceServers::Start(std::string* error) {
    if (!m_options.ownInterface.empty()) {
        if (!InPrivateNetwork())
            return *error = "refusing --own-addresses outside a private network namespace", false;
        if (if_nametoindex(m_options.ownInterface.c_str()) == 0)
            return *error = "no interface " + m_options.ownInterface, false;
        m_foreignAddresses = AddressesOn(m_options.ownInterface);
    }
    RaiseFileLimit();
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        const std::size_t n = std::min(m_fleet->Size(), m_options.serveLimit);
        for (std::size_t i = 0; i < n; ++i)
            Register(i, ServedOf(m_fleet->With(i, [](Device& d) { return d; })), &lines);
    }
    if (!RunIpBatch(lines))
        return *error = "ip -batch failed", false;
    m_dataThread = std::thread([this] { RunDataListeners(); });
    WaitForDataListeners();
    return true;
}

// A server whose thread has not entered its accept loop yet ignores stop()
// and then serves for ever, so that joining its thread never returns (a
// port opened by a request just before the simulator is stopped): wait for
// the loop first, a bounded time.
void DeviceServers::StopServer(httplib::Server* server) {
    for (int i = 0; i < 500 && !server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    server->stop();
}

void DeviceServers::Stop() {
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        if (m_stopping)
            return;
        m_stopping = true;
        m_halt = true;
        for (auto& [port, server] : m_servers)
            StopServer(server.get());
        for (const auto& [address, users] : m_ownedAddresses)
            lines.push_back("addr del " + AddressText(address) + "/32 dev " +
                            m_options.ownInterface);
        m_ownedAddresses.clear();
    }
    m_dataCv.notify_all();
    if (m_wakeFd >= 0)
        eventfd_write(m_wakeFd, 1);
    for (std::thread& t : m_serverThreads)
        t.join();
    if (m_dataThread.joinable())
        m_dataThread.join();
    RunIpBatch(lines);
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

DeviceServers::Served DeviceServers::ServedOf(const Device& d) const {
    Served s;
    for (const std::string* text : {&d.ip, &d.ip2}) {
        std::uint32_t a = 0;
        if (ToAddress(*text, &a) && a != 0)
            s.addresses.push_back(a);
    }
    s.httpPort = d.httpPort;
    s.dataPort = d.dataPort;
    if (d.onvif.role == WsdRole::Camera && d.onvif.https)
        s.httpsPort = d.onvif.httpsPort;
    return s;
}

// Under m_mutex: routes, address users, data listeners and HTTP server of one
// device; the address lines to run are appended.
void DeviceServers::Register(std::size_t index, const Served& s, std::vector<std::string>* lines) {
    for (std::uint32_t a : s.addresses) {
        m_routes[{a, s.httpPort}] = index;
        if (s.httpsPort > 0)
            m_routes[{a, s.httpsPort}] = index;
        if (m_options.ownInterface.empty() || m_foreignAddresses.count(a))
            continue;
        if (m_ownedAddresses[a]++ == 0)
            lines->push_back("addr add " + AddressText(a) + "/32 dev " + m_options.ownInterface);
    }
    m_served[index] = s;
    m_dataPending.insert(index);
    ++m_dataWanted;
    EnsureHttpServer(s.httpPort);
    if (s.httpsPort > 0)
        EnsureHttpServer(s.httpsPort, true);
}

void DeviceServers::Unregister(std::size_t index, std::vector<std::string>* lines) {
    auto it = m_served.find(index);
    if (it == m_served.end())
        return;
    for (std::uint32_t a : it->second.addresses) {
        for (int port : {it->second.httpPort, it->second.httpsPort}) {
            auto route = m_routes.find({a, port});
            if (route != m_routes.end() && route->second == index)
                m_routes.erase(route);
        }
        auto owned = m_ownedAddresses.find(a);
        if (owned == m_ownedAddresses.end() || --owned->second > 0)
            continue;
        m_ownedAddresses.erase(owned);
        lines->push_back("addr del " + AddressText(a) + "/32 dev " + m_options.ownInterface);
    }
    m_served.erase(it);
}

// Follows the device's current addresses and ports.
void DeviceServers::Refresh(std::size_t index) {
    const Device d = m_fleet->With(index, [](Device& dev) { return dev; });
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        if (m_stopping || !m_served.count(index))
            return;
        Unregister(index, &lines);
        Register(index, ServedOf(d), &lines);
    }
    RunIpBatch(NetChanges(lines));
    if (m_wakeFd >= 0)
        eventfd_write(m_wakeFd, 1);
    WaitForDataListeners();
}

void DeviceServers::OnConfigured(std::size_t index, const Device& before, const Device& after) {
    if (m_options.verbose)
        std::fprintf(stderr, "devsim: %s moves %s -> %s\n",
                     lorvex::wire::FormatMac(after.mac).c_str(), before.ip.c_str(),
                     after.ip.c_str());
    Refresh(index);
}

bool DeviceServers::EnsureHttpServer(int port, bool tls) {
    if (m_servers.count(port))
        return true;
    if (m_servers.size() >= kMaxHttpPorts || port < 1 || port > 65535)
        return false;
    std::unique_ptr<httplib::Server> server;
    if (tls && !m_tlsNamed) {
        // A camera keeps its certificate when it moves: named by its MAC.
        m_tlsNamed = true;
        m_tls.SetNamer([this](std::uint32_t address) {
            std::lock_guard<std::mutex> hold(m_mutex);
            for (const auto& [route, index] : m_routes)
                if (route.first == address)
                    return std::to_string(index);
            return std::string();
        });
    }
    if (tls)
        server = std::make_unique<httplib::SSLServer>(
            std::function<bool(SSL_CTX&)>([this](SSL_CTX& ctx) { return m_tls.Install(&ctx); }));
    else
        server = std::make_unique<httplib::Server>();
    server->new_task_queue = [] { return new httplib::ThreadPool(16); };
    server->set_payload_max_length(kMaxBody);
    server->set_keep_alive_max_count(1);
    InstallHandlers(server.get(), port);
    if (!server->bind_to_port("0.0.0.0", port))
        return false;
    httplib::Server* raw = server.get();
    m_servers[port] = std::move(server);
    m_serverThreads.emplace_back([raw] { raw->listen_after_bind(); });
    return true;
}

// The device that owns the address named in the Host header and serves
// HTTP on `port`; -1 when none.
long DeviceServers::FindDevice(const std::string& host, int port) {
    std::uint32_t address = 0;
    if (!ToAddress(host.substr(0, host.find(':')), &address))
        return -1;
    std::lock_guard<std::mutex> hold(m_mutex);
    auto it = m_routes.find({address, port});
    return it == m_routes.end() ? -1 : static_cast<long>(it->second);
}

void DeviceServers::InstallHandlers(httplib::Server* server, int port) {
    // Finds the device and applies its misbehaviour; false when the request
    // is answered already.
    auto gate = [this, port](const httplib::Request& req, httplib::Response& res, Device* d,
                             bool post) {
        const long index = FindDevice(req.get_header_value("Host"), port);
        if (index < 0)
            return res.status = 404, false;
        *d = m_fleet->With(static_cast<std::size_t>(index), [](Device& dev) { return dev; });
        if (d->httpDelayMs > 0)
            Sleep(std::min(d->httpDelayMs, 60000), m_halt);
        if (post && d->httpSilent)
            return Sleep(kSilentHoldMs, m_halt), res.status = 503, false;
        if (post && d->httpStatus > 0)
            return res.status = d->httpStatus, false;
        if (post && req.get_header_value("Authorization") != ExpectedAuthorization(d->password)) {
            res.set_header("WWW-Authenticate", "Basic realm=\"device\"");
            return res.status = 401, false;
        }
        return true;
    };
    server->Post("/GetPortConfig", [gate](const httplib::Request& req, httplib::Response& res) {
        Device d;
        if (gate(req, res, &d, true))
            res.set_content(PortConfigXml(d), "application/xml");
    });
    server->Post("/SetPortConfig",
                 [this, gate, port](const httplib::Request& req, httplib::Response& res) {
                     Device d;
                     int http = 0, net = 0, rtsp = 0;
                     if (!gate(req, res, &d, true))
                         return;
                     if (!ParsePortConfig(req.body, &http, &net, &rtsp))
                         return void(res.status = 400);
                     const long index = FindDevice(req.get_header_value("Host"), port);
                     if (index < 0)
                         return void(res.status = 404);
                     m_fleet->With(static_cast<std::size_t>(index), [&](Device& dev) {
                         dev.httpPort = http, dev.dataPort = net, dev.rtspPort = rtsp;
                         return 0;
                     });
                     Refresh(static_cast<std::size_t>(index));
                     res.set_content("<config><status>ok</status></config>", "application/xml");
                 });
    server->Get("/", [gate](const httplib::Request& req, httplib::Response& res) {
        Device d;
        if (gate(req, res, &d, false))
            res.set_content(DevicePage(d), "text/html; charset=utf-8");
    });
    InstallOnvif(server, port);
    InstallPicture(server, port);
    InstallTokenPicture(server, port);
}

// The maker's cameras' picture: GET /snapshot?token=HEX, honoured once for
// the token a sealed request granted (DeviceTrust.h, RedeemSnapshot); 403
// for any other, with nothing said about why.
void DeviceServers::InstallTokenPicture(httplib::Server* server, int port) {
    server->Get("/snapshot", [this, port](const httplib::Request& req, httplib::Response& res) {
        const long index = FindDevice(req.get_header_value("Host"), port);
        if (index < 0)
            return void(res.status = 404);
        if (Misbehaves(static_cast<std::size_t>(index), res))
            return;
        lorvex::trust::SnapshotToken token{};
        in_addr host{};
        const bool readable =
            lorvex::trust::ReadSnapshotTokenText(req.get_param_value("token"), &token) &&
            inet_pton(AF_INET, req.remote_addr.c_str(), &host) == 1;
        std::string mac, name;
        Redeem redeem = Redeem::WrongToken;
        m_fleet->With(static_cast<std::size_t>(index), [&](Device& d) {
            mac = lorvex::wire::FormatMac(d.mac);
            name = d.devName;
            if (readable)
                redeem = RedeemSnapshot(&d, token, host.s_addr, Clock::now());
            return 0;
        });
        if (m_options.verbose)
            std::fprintf(stderr, "devsim: %s token snapshot %s\n", mac.c_str(),
                         redeem == Redeem::Picture ? "given" : "refused");
        if (redeem != Redeem::Picture)
            return void(res.status = 403);
        res.set_content(picture::Render(name, picture::TimeText(std::time(nullptr)), "token",
                                        kTokenPictureWidth, kTokenPictureHeight),
                        "image/jpeg");
    });
}

// The same misbehaviour as the maker's HTTP interface: slow, silent or
// failing cameras for the client's "no answer" outcomes.
bool DeviceServers::Misbehaves(std::size_t index, httplib::Response& res) {
    const Device behaviour = m_fleet->With(index, [](Device& d) { return d; });
    if (behaviour.httpDelayMs > 0)
        Sleep(std::min(behaviour.httpDelayMs, 60000), m_halt);
    if (behaviour.httpSilent)
        return Sleep(kSilentHoldMs, m_halt), res.status = 503, true;
    if (behaviour.httpStatus > 0)
        return res.status = behaviour.httpStatus, true;
    return false;
}

// The device and media service of the cameras on this port. The answer is
// computed under the fleet lock; a new address takes effect only after it
// is sent.
void DeviceServers::InstallOnvif(httplib::Server* server, int port) {
    const auto handler = [this, port](const httplib::Request& req, httplib::Response& res) {
        const long index = FindDevice(req.get_header_value("Host"), port);
        if (index < 0)
            return void(res.status = 404);
        if (Misbehaves(static_cast<std::size_t>(index), res))
            return;
        const auto now = Clock::now();
        onvif::Request request;
        request.method = req.method;
        request.uri = req.target;
        request.authorization = req.get_header_value("Authorization");
        request.body = req.body;
        std::string mac;
        double rebootSeconds = 0;
        const auto answer = m_fleet->With(static_cast<std::size_t>(index), [&](Device& d) {
            mac = lorvex::wire::FormatMac(d.mac);
            if (d.onvif.role != WsdRole::Camera)
                return onvif::Response{404, {}, {}, "-", onvif::Effect::None};
            if (now < d.onvif.rebootingUntil)
                return onvif::Response{503, {}, {}, "-", onvif::Effect::None};
            auto r = onvif::Handle(&d, request, static_cast<std::int64_t>(std::time(nullptr)), now);
            rebootSeconds = d.onvif.rebootSeconds;
            if (r.effect == onvif::Effect::Reboot)
                d.onvif.rebootingUntil = now + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(rebootSeconds));
            return r;
        });
        if (m_options.verbose)
            std::fprintf(stderr, "devsim: %s onvif %s status %d\n", mac.c_str(),
                         answer.operation.c_str(), answer.status);
        res.status = answer.status;
        if (!answer.wwwAuthenticate.empty())
            res.set_header("WWW-Authenticate", answer.wwwAuthenticate);
        if (!answer.body.empty())
            res.set_content(answer.body, "application/soap+xml; charset=utf-8");
        if (answer.effect == onvif::Effect::Announce && m_announcer)
            m_announcer(static_cast<std::size_t>(index), now + std::chrono::milliseconds(100));
        if (answer.effect == onvif::Effect::None || answer.effect == onvif::Effect::Announce ||
            !m_mover)
            return;
        // The answer leaves first: a camera that moves at once moves after it.
        const double wait = answer.effect == onvif::Effect::Reboot ? rebootSeconds : 0.2;
        m_mover(static_cast<std::size_t>(index), now + std::chrono::duration_cast<Clock::duration>(
                                                           std::chrono::duration<double>(wait)));
    };
    server->Post(onvif::kServicePath, handler);
    server->Post(onvif::kMediaPath, handler);
}

// A camera's picture: GET kSnapshotPath?profile=TOKEN with its log-in,
// drawn afresh for each request, spoilt as the camera's snapshot fault says.
void DeviceServers::InstallPicture(httplib::Server* server, int port) {
    server->Get(onvif::kSnapshotPath, [this, port](const httplib::Request& req,
                                                   httplib::Response& res) {
        const long index = FindDevice(req.get_header_value("Host"), port);
        if (index < 0)
            return void(res.status = 404);
        if (Misbehaves(static_cast<std::size_t>(index), res))
            return;
        const auto now = Clock::now();
        onvif::Request request;
        request.method = req.method;
        request.uri = req.target;
        request.authorization = req.get_header_value("Authorization");
        const std::string profile = req.get_param_value("profile");
        std::string mac, name;
        std::int64_t cameraEpoch = 0;
        SnapshotFault fault = SnapshotFault::None;
        int width = 0, height = 0, status = 200;
        std::optional<onvif::Response> refused;
        m_fleet->With(static_cast<std::size_t>(index), [&](Device& d) {
            mac = lorvex::wire::FormatMac(d.mac);
            if (d.onvif.role != WsdRole::Camera)
                return status = 404;
            if (now < d.onvif.rebootingUntil)
                return status = 503;
            refused = onvif::AuthenticatePicture(&d, request, now);
            name = d.devName;
            cameraEpoch = static_cast<std::int64_t>(std::time(nullptr)) + d.onvif.clockOffset;
            fault = d.onvif.snapshotFault;
            if (profile == "Profile_1")
                width = 1280, height = 720;
            else if (profile == "Profile_2" && d.onvif.mediaProfiles > 1)
                width = 640, height = 360;
            else
                status = 404;
            return status;
        });
        if (refused) {
            status = refused->status;
            if (!refused->wwwAuthenticate.empty())
                res.set_header("WWW-Authenticate", refused->wwwAuthenticate);
            res.set_content(refused->body, "text/plain");
        }
        if (m_options.verbose)
            std::fprintf(stderr, "devsim: %s snapshot %s status %d%s\n", mac.c_str(),
                         profile.substr(0, 32).c_str(), status,
                         request.authorization.empty() ? "" : " with log-in");
        if (status != 200)
            return void(res.status = status);
        std::string jpeg =
            picture::Render(name, picture::TimeText(cameraEpoch), profile, width, height);
        if (fault == SnapshotFault::TooLarge)
            jpeg.resize(kTooLargePicture, '\0');
        else if (fault == SnapshotFault::NotJpeg)
            jpeg = std::string("\x89PNG\r\n\x1a\n", 8) + "no picture here";
        else if (fault == SnapshotFault::Truncated)
            jpeg.resize(jpeg.size() / 2);
        if (fault != SnapshotFault::Slow)
            return res.set_content(jpeg, "image/jpeg");
        auto data = std::make_shared<const std::string>(std::move(jpeg));
        res.set_chunked_content_provider("image/jpeg", [this, data](std::size_t offset,
                                                                    httplib::DataSink& sink) {
            if (offset >= data->size()) {
                sink.done();
                return true;
            }
            Sleep(kSlowEveryMs, m_halt);
            return !m_halt &&
                   sink.write(data->data() + offset, std::min(kSlowChunk, data->size() - offset));
        });
    });
}

void DeviceServers::RunDataListeners() {
    for (;;) {
        std::vector<pollfd> fds{{m_wakeFd, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            if (m_stopping)
                break;
            ApplyDataChanges();
            for (const auto& [index, list] : m_dataFds)
                for (int fd : list)
                    fds.push_back({fd, POLLIN, 0});
        }
        m_dataCv.notify_all();
        if (poll(fds.data(), fds.size(), 1000) <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            eventfd_t v;
            eventfd_read(m_wakeFd, &v);
        }
        for (std::size_t i = 1; i < fds.size(); ++i)
            if (fds[i].revents & POLLIN) {
                const int c = accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0)
                    close(c); // a reachable data port is all the tool looks for
            }
    }
    for (auto& [index, list] : m_dataFds)
        for (int fd : list)
            close(fd);
    m_dataFds.clear();
}

// Under m_mutex, on the listener thread: reopens the listeners of changed devices.
void DeviceServers::ApplyDataChanges() {
    for (std::size_t index : m_dataPending) {
        for (int fd : m_dataFds[index])
            close(fd);
        m_dataFds[index].clear();
        auto s = m_served.find(index);
        if (s == m_served.end())
            continue;
        for (std::uint32_t a : s->second.addresses) {
            const int fd = OpenListener(a, s->second.dataPort);
            if (fd >= 0)
                m_dataFds[index].push_back(fd);
        }
    }
    m_dataPending.clear();
    m_dataApplied = m_dataWanted;
}

void DeviceServers::WaitForDataListeners() {
    std::unique_lock<std::mutex> hold(m_mutex);
    const std::uint64_t wanted = m_dataWanted;
    m_dataCv.wait_for(hold, std::chrono::seconds(2),
                      [&] { return m_stopping || m_dataApplied >= wanted; });
}

// Runs `ip -force -batch -` with the lines on its input; inside the
// private namespace only (Start checked it). Never a shell.
bool DeviceServers::RunIpBatch(const std::vector<std::string>& lines) {
    if (lines.empty() || m_options.ownInterface.empty())
        return true;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
    if (!m_options.verbose)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("ip"), const_cast<char*>("-force"),
                    const_cast<char*>("-batch"), const_cast<char*>("-"), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "ip", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[0]);
    std::string text;
    for (const std::string& l : lines)
        text += l + "\n";
    for (std::size_t sent = 0; rc == 0 && sent < text.size();) {
        const ssize_t n = write(pipeFds[1], text.data() + sent, text.size() - sent);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    close(pipeFds[1]);
    int status = 0;
    if (rc == 0)
        waitpid(pid, &status, 0);
    return rc == 0;
}

} // namespace devsim
