// One WS-Discovery probe round as a client sends it (a NetworkVideoTransmitter
// probe and a Device probe, TTL 1, from an ephemeral port), timed until every
// expected camera has answered both or the wait runs out. Reports answers,
// distinct cameras, when the first and last answer came, and how many came
// from the address their first XAddr names (the simulator sends each
// camera's answers from its own address). Run it inside a private network.
//   bench_onvif_probe_round CAMERAS [WAIT_SECONDS]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "DeviceIds.h"
#include "SoapReader.h"
#include "WsDiscovery.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Probe(const std::string& id, const std::string& type) {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><s:Envelope xmlns:s=\"") +
           devsim::soap::kEnvelopeNs + "\" xmlns:a=\"" + devsim::soap::kAddressingNs +
           "\" xmlns:d=\"" + devsim::soap::kDiscoveryNs + "\" xmlns:dn=\"" +
           devsim::soap::kNetworkNs + "\" xmlns:tds=\"" + devsim::soap::kDeviceNs +
           "\"><s:Header><a:MessageID>" + id +
           "</a:MessageID><a:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To><a:Action>" +
           devsim::soap::kDiscoveryNs + "/Probe</a:Action></s:Header><s:Body><d:Probe><d:Types>" +
           type + "</d:Types></d:Probe></s:Body></s:Envelope>";
}

// Text of the first element with this local name under the ProbeMatch.
std::string Text(const devsim::soap::Document& doc, const char* ns, const char* local) {
    for (const auto& e : doc.elements)
        if (e.local == local && e.ns == ns)
            return e.text;
    return {};
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return std::fputs("usage: bench_onvif_probe_round CAMERAS [WAIT_SECONDS]\n", stderr), 2;
    const std::size_t expected = std::strtoul(argv[1], nullptr, 10);
    const double wait = argc > 2 ? std::atof(argv[2]) : 3;
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const int ttl = 1, buffer = 8 << 20;
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(devsim::wsd::kPort);
    inet_pton(AF_INET, devsim::wsd::kGroup, &group.sin_addr);
    const std::string ids[2] = {devicelist::NewMessageId(), devicelist::NewMessageId()};
    const Clock::time_point start = Clock::now();
    const std::string probes[2] = {Probe(ids[0], "dn:NetworkVideoTransmitter"),
                                   Probe(ids[1], "tds:Device")};
    for (const std::string& p : probes)
        sendto(fd, p.data(), p.size(), 0, reinterpret_cast<sockaddr*>(&group), sizeof group);
    std::set<std::string> cameras;
    std::size_t answers = 0, fromOwnAddress = 0, foreign = 0;
    Clock::time_point first{}, last{};
    const auto deadline =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(wait));
    std::string buf(65536, '\0');
    while (Clock::now() < deadline && answers < 2 * expected) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            recvfrom(fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        devsim::soap::Document doc;
        if (n <= 0 || !devsim::soap::Read(buf.substr(0, static_cast<std::size_t>(n)), &doc))
            continue;
        const std::string relates = Text(doc, devsim::soap::kAddressingNs, "RelatesTo");
        if (relates != ids[0] && relates != ids[1]) {
            ++foreign;
            continue;
        }
        last = Clock::now();
        if (answers++ == 0)
            first = last;
        cameras.insert(Text(doc, devsim::soap::kAddressingNs, "Address"));
        const std::string xaddrs = Text(doc, devsim::soap::kDiscoveryNs, "XAddrs");
        char source[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &from.sin_addr, source, sizeof source);
        if (xaddrs.rfind("http://" + std::string(source) + ":", 0) == 0)
            ++fromOwnAddress;
    }
    std::printf("cameras %zu/%zu answers %zu first %.0f ms last %.0f ms from-own-address %zu "
                "not-ours %zu\n",
                cameras.size(), expected, answers, answers ? Ms(first - start) : 0.0,
                answers ? Ms(last - start) : 0.0, fromOwnAddress, foreign);
    close(fd);
    return cameras.size() == expected ? 0 : 1;
}
