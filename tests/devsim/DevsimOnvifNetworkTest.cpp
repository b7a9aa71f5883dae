// The simulated cameras on the WS-Discovery group, watched from the host
// namespace of scripts/netns-run: Hello at start, answers to each probe type
// from the camera's own address, nothing for hostile probes, Bye on vanish
// and at exit.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DeviceIds.h"
#include "NetNamespace.h"
#include "SimulatorProcess.h"
#include "SoapReader.h"
#include "WsDiscovery.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace devsim;

const char kFleet[] = R"({"devices": [
  {"type": "ONVIF_CAMERA", "mac": "02:4F:4E:00:20:01", "devName": "Hall", "ip": "10.77.0.71",
   "ip2": "169.254.20.71", "vanishAfter": 12},
  {"type": "ONVIF_CAMERA", "mac": "02:4F:4E:00:20:02", "devName": "Yard", "ip": "10.77.0.72",
   "probeTypes": "Device"},
  {"type": "WSD_PRINTER", "mac": "02:4F:4E:00:20:03", "ip": "10.77.0.73"},
  {"type": "ZVK_IPC", "mac": "02:4C:46:00:20:04", "ip": "10.77.0.74"}
]})";

const std::string kHall = "urn:uuid:6f6e7669-6600-4000-8000-024f4e002001";
const std::string kYard = "urn:uuid:6f6e7669-6600-4000-8000-024f4e002002";
const std::string kPrinter = "urn:uuid:6f6e7669-6600-4000-8000-024f4e002003";

struct Message {
    std::string action, relatesTo, endpoint, source;
};

// One WS-Discovery datagram as read back; action empty when unreadable.
Message Read(const std::string& text, const sockaddr_in& from) {
    Message m;
    char source[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &from.sin_addr, source, sizeof source);
    m.source = source;
    soap::Document doc;
    if (!soap::Read(text, &doc))
        return m;
    for (const auto& e : doc.elements) {
        if (e.ns == soap::kAddressingNs && e.local == "Action")
            m.action = e.text.substr(e.text.rfind('/') + 1);
        if (e.ns == soap::kAddressingNs && e.local == "RelatesTo")
            m.relatesTo = e.text;
        if (e.ns == soap::kAddressingNs && e.local == "Address")
            m.endpoint = e.text;
    }
    return m;
}

int UdpSocket(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
}

// Messages arriving on `fd` until `done` says so or `seconds` pass.
template <class Done> std::vector<Message> Collect(int fd, double seconds, Done done) {
    std::vector<Message> out;
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(seconds));
    std::string buf(65536, '\0');
    while (Clock::now() < end && !done(out)) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            recvfrom(fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n > 0)
            out.push_back(Read(buf.substr(0, static_cast<std::size_t>(n)), from));
    }
    return out;
}

std::map<std::string, Message> ByEndpoint(const std::vector<Message>& list, const char* action) {
    std::map<std::string, Message> out;
    for (const Message& m : list)
        if (m.action == action)
            out[m.endpoint] = m;
    return out;
}

class DevsimOnvif : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!InPrivateNetwork() || !getenv("LORVEX_NETNS_DEVICES") || !getenv("LORVEX_DEVSIM"))
            return;
        s_group = UdpSocket(wsd::kPort);
        ip_mreqn m{};
        inet_pton(AF_INET, wsd::kGroup, &m.imr_multiaddr);
        m.imr_ifindex = static_cast<int>(if_nametoindex("veth0"));
        setsockopt(s_group, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m);
        s_sim = std::make_unique<test_support::SimulatorProcess>(
            "/tmp/devsim-onvif-" + std::to_string(getpid()), kFleet,
            std::vector<std::string>{"--own-addresses", "veth1", "--jitter", "300"},
            test_support::SimulatorProcess::Output::Inherit);
        s_hellos = Collect(s_group, 3, [](const std::vector<Message>& got) {
            return ByEndpoint(got, "Hello").size() >= 3;
        });
    }
    static void TearDownTestSuite() {
        s_sim.reset();
        if (s_group >= 0)
            close(s_group);
    }
    void SetUp() override {
        if (!s_sim || !s_sim->Running())
            GTEST_SKIP() << "needs scripts/netns-run and LORVEX_DEVSIM";
    }

    // Sends `text` to the group from a fresh port; the answers to it.
    static std::vector<Message> Ask(const std::string& text, std::size_t expected) {
        const int fd = UdpSocket(0);
        const int ttl = 1;
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
        sockaddr_in group{};
        group.sin_family = AF_INET;
        group.sin_port = htons(wsd::kPort);
        inet_pton(AF_INET, wsd::kGroup, &group.sin_addr);
        sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&group), sizeof group);
        // Past the answer delay bound (300 ms) with room, unless all came.
        auto got =
            Collect(fd, 1.5, [&](const std::vector<Message>& m) { return m.size() > expected; });
        close(fd);
        return got;
    }

    static std::string Probe(const std::string& id, const std::string& types) {
        return std::string("<s:Envelope xmlns:s=\"") + soap::kEnvelopeNs + "\" xmlns:a=\"" +
               soap::kAddressingNs + "\" xmlns:d=\"" + soap::kDiscoveryNs + "\" xmlns:dn=\"" +
               soap::kNetworkNs + "\" xmlns:tds=\"" + soap::kDeviceNs +
               "\"><s:Header><a:MessageID>" + id + "</a:MessageID></s:Header><s:Body><d:Probe>" +
               (types.empty() ? "" : "<d:Types>" + types + "</d:Types>") +
               "</d:Probe></s:Body></s:Envelope>";
    }

    static inline std::unique_ptr<test_support::SimulatorProcess> s_sim;
    static inline int s_group = -1;
    static inline std::vector<Message> s_hellos;
};

TEST_F(DevsimOnvif, HelloFromEachResponderAtStartFromItsOwnAddress) {
    const auto hellos = ByEndpoint(s_hellos, "Hello");
    ASSERT_EQ(hellos.size(), 3u) << "two cameras and the printer; the maker device says nothing";
    EXPECT_EQ(hellos.at(kHall).source, "10.77.0.71");
    EXPECT_EQ(hellos.at(kYard).source, "10.77.0.72");
    EXPECT_EQ(hellos.at(kPrinter).source, "10.77.0.73");
}

TEST_F(DevsimOnvif, EachProbeTypeIsAnsweredByUnicastFromTheRightDevices) {
    const struct {
        const char* types;
        std::vector<std::string> answering;
    } cases[] = {
        {"dn:NetworkVideoTransmitter", {kHall, kPrinter}},
        {"tds:Device", {kHall, kYard, kPrinter}},
        {"", {kHall, kYard, kPrinter}},
    };
    for (const auto& c : cases) {
        const std::string id = devicelist::NewMessageId();
        const auto got = Ask(Probe(id, c.types), c.answering.size());
        const auto matches = ByEndpoint(got, "ProbeMatches");
        EXPECT_EQ(matches.size(), c.answering.size()) << c.types;
        EXPECT_EQ(got.size(), c.answering.size()) << c.types << ": one answer each, nothing else";
        for (const std::string& endpoint : c.answering) {
            ASSERT_TRUE(matches.count(endpoint)) << c.types << " " << endpoint;
            EXPECT_EQ(matches.at(endpoint).relatesTo, id);
        }
        if (matches.count(kHall)) {
            EXPECT_EQ(matches.at(kHall).source, "10.77.0.71");
        }
    }
}

TEST_F(DevsimOnvif, HostileProbesGetNothingAndHarmNothing) {
    std::string deep;
    for (int i = 0; i < 40; ++i)
        deep += "<a>";
    const std::string cases[] = {
        "",
        "not xml at all",
        Probe("", "dn:NetworkVideoTransmitter"),
        Probe(std::string(400, 'x'), ""),
        Probe("urn:uuid:cut", "dn:NetworkVideoTransmitter").substr(0, 150),
        "<!DOCTYPE a [<!ENTITY b \"c\">]>" + Probe("urn:uuid:dtd", ""),
        deep,
        std::string(60000, '<'),
    };
    for (const std::string& text : cases)
        EXPECT_TRUE(Ask(text, 0).empty()) << text.substr(0, 60);
    // Still there (the vanishing camera may be gone by now).
    const auto matches =
        ByEndpoint(Ask(Probe(devicelist::NewMessageId(), "tds:Device"), 3), "ProbeMatches");
    EXPECT_TRUE(matches.count(kYard));
    EXPECT_TRUE(matches.count(kPrinter));
}

TEST_F(DevsimOnvif, ByeOnVanishAndAtExit) {
    // Hall vanishes 12 s after the start; its Bye may wait in the socket.
    const double left = 13 - std::chrono::duration<double>(Clock::now() - s_sim->Started()).count();
    auto byes = ByEndpoint(Collect(s_group, std::max(left, 0.5),
                                   [](const std::vector<Message>& got) {
                                       return ByEndpoint(got, "Bye").count(kHall) > 0;
                                   }),
                           "Bye");
    ASSERT_TRUE(byes.count(kHall));
    EXPECT_EQ(byes.at(kHall).source, "10.77.0.71");
    const std::string id = devicelist::NewMessageId();
    EXPECT_EQ(ByEndpoint(Ask(Probe(id, ""), 2), "ProbeMatches").count(kHall), 0u)
        << "a vanished camera answers no probe";
    s_sim->Stop();
    byes = ByEndpoint(
        Collect(s_group, 2,
                [](const std::vector<Message>& got) { return ByEndpoint(got, "Bye").size() >= 2; }),
        "Bye");
    EXPECT_TRUE(byes.count(kYard));
    EXPECT_TRUE(byes.count(kPrinter));
    EXPECT_FALSE(byes.count(kHall)) << "gone once is enough";
}

} // namespace
