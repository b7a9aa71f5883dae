// A host on the installer's LAN posing as an ONVIF camera, for the attack
// tests: it answers every WS-Discovery probe (and says Hello every second)
// as the endpoint and MAC it is told to copy, with XAddrs at a host of its
// choice, speaking from its own address. Its device service refuses every
// call without offering Digest, to draw a WS-UsernameToken, and claims a
// clock a day ahead, to draw a token valid tomorrow. Every request is
// logged to --log, one line each: "request ACTION token=0|1 digest=0|1";
// any login that reaches it is in those flags; each Hello sent is a line
// "hello".
//
//   rogue-camera --ip A --endpoint E [--mac M] [--xaddr-host H] [--port P]
//                [--clock-ahead S] --log FILE --ready FILE
//
// Runs until SIGTERM. Only ever started inside the private network.
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "OnvifDiscovery.h"
#include "OnvifMessages.h"

namespace {

std::atomic<bool> g_stop{false};
std::mutex g_logMutex;
std::string g_log;

void Log(const std::string& line) {
    std::lock_guard<std::mutex> hold(g_logMutex);
    std::ofstream(g_log, std::ios::app) << line << "\n";
}

int Socket(const std::string& ip, std::uint16_t port, bool group) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, group ? "0.0.0.0" : ip.c_str(), &a.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        return -1;
    if (group) {
        ip_mreqn m{};
        inet_pton(AF_INET, onvif::kDiscoveryGroup, &m.imr_multiaddr);
        setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m);
    } else {
        in_addr out{};
        inet_pton(AF_INET, ip.c_str(), &out);
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out);
    }
    timeval t{0, 200000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    return fd;
}

std::string Date(std::time_t t) {
    std::tm utc{};
    gmtime_r(&t, &utc);
    return onvif_test::DateAndTime(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                                   utc.tm_min, utc.tm_sec);
}

} // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> o = {{"--port", "8099"}, {"--clock-ahead", "86400"}};
    for (int i = 1; i + 1 < argc; i += 2)
        o[argv[i]] = argv[i + 1];
    for (const char* need : {"--ip", "--endpoint", "--log", "--ready"})
        if (o[need].empty())
            return std::fprintf(stderr, "rogue-camera: %s missing\n", need), 2;
    g_log = o["--log"];
    signal(SIGTERM, [](int) { g_stop = true; });
    const std::string ip = o["--ip"], host = o.count("--xaddr-host") ? o["--xaddr-host"] : ip;
    const int port = std::stoi(o["--port"]);
    const long long ahead = std::stoll(o["--clock-ahead"]);
    const std::string xaddr =
        "http://" + host + ":" + std::to_string(port) + "/onvif/device_service";
    const std::string scopes =
        "onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/name/Rogue" +
        (o["--mac"].empty() ? std::string() : " onvif://www.onvif.org/MAC/" + o["--mac"]);

    httplib::Server server;
    server.Post("/onvif/device_service", [&](const httplib::Request& req, httplib::Response& res) {
        const bool clock = req.body.find("GetSystemDateAndTime") != std::string::npos;
        const bool token = req.body.find("UsernameToken") != std::string::npos;
        const bool digest = req.has_header("Authorization");
        std::string action = clock ? "GetSystemDateAndTime" : "other";
        Log("request " + action + " token=" + (token ? "1" : "0") +
            " digest=" + (digest ? "1" : "0"));
        if (clock)
            return res.set_content(Date(std::time(nullptr) + ahead), "application/soap+xml");
        res.status = 401; // no Digest offered: a token is what it wants
    });
    if (!server.bind_to_port("0.0.0.0", port))
        return std::fprintf(stderr, "rogue-camera: port %d taken\n", port), 1;
    std::thread http([&] { server.listen_after_bind(); });

    const int listener = Socket(ip, 3702, true), sender = Socket(ip, 0, false);
    if (listener < 0 || sender < 0)
        return std::fprintf(stderr, "rogue-camera: no socket on %s\n", ip.c_str()), 1;
    std::ofstream(o["--ready"]) << "ready\n";
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(3702);
    inet_pton(AF_INET, onvif::kDiscoveryGroup, &group.sin_addr);
    // A Hello with the scopes (and so the MAC) a camera announces.
    std::string hello = onvif_test::Announcement("Hello", o["--endpoint"], xaddr);
    hello.replace(hello.find("</d:Types>"), 10, "</d:Types><d:Scopes>" + scopes + "</d:Scopes>");
    auto nextHello = std::chrono::steady_clock::now();
    std::string buffer(65536, '\0');
    while (!g_stop) {
        if (std::chrono::steady_clock::now() >= nextHello) {
            sendto(sender, hello.data(), hello.size(), 0, reinterpret_cast<sockaddr*>(&group),
                   sizeof group);
            Log("hello");
            nextHello += std::chrono::seconds(1);
        }
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = recvfrom(listener, &buffer[0], buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &length);
        onvif::DiscoveryMessage m;
        if (n <= 0 ||
            onvif::ParseDiscovery(buffer.data(), static_cast<size_t>(n), &m) !=
                onvif::DiscoveryRead::Ok ||
            m.kind != onvif::DiscoveryKind::Probe)
            continue;
        const std::string match = onvif_test::ProbeMatches(
            m.messageId, o["--endpoint"], "dn:NetworkVideoTransmitter", scopes, xaddr);
        sendto(sender, match.data(), match.size(), 0, reinterpret_cast<sockaddr*>(&from),
               sizeof from);
    }
    server.stop();
    http.join();
    return 0;
}
