// The host facilities inside the private namespace of scripts/netns-run,
// where this side holds 10.77.0.2/24 on veth0 and 10.77.0.1 is the device
// side: the TCP probe, the local adapter's data, the real route command, and
// the manager's device web pages through a recording URL opener.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "HostNet.h"
#include "HostProcess.h"
#include "LorvexManage.h"
#include "LorvexSearch.h"
#include "PrivateNetwork.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kHost[] = "10.77.0.2";

// A listening TCP socket on address, port chosen by the system.
struct Listener {
    explicit Listener(const char* address) {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = inet_addr(address);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd, 4);
        socklen_t length = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        port = ntohs(a.sin_port);
    }
    ~Listener() { close(fd); }
    int fd = -1;
    uint16_t port = 0;
};

// A port on address that nobody listens on.
uint16_t ClosedPort(const char* address) {
    Listener l(address);
    const uint16_t port = l.port;
    return port; // closed when l goes
}

std::string Output(const char* command) {
    std::string out;
    if (FILE* p = popen(command, "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, p))
            out += buffer;
        pclose(p);
    }
    return out;
}

class HostNetNetwork : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
};

TEST_F(HostNetNetwork, ProbeTellsOpenClosedAndSilent) {
    Listener open(kHost);
    struct Row {
        const char* address;
        uint16_t port;
        int32_t timeoutMs;
        bool expected;
        double maxSeconds;
    };
    const Row rows[] = {
        {kHost, open.port, 200, true, 0.1},
        {"127.0.0.1", ClosedPort("127.0.0.1"), 200, false, 0.1},
        {kHost, ClosedPort(kHost), 200, false, 0.1},
        {"10.77.0.99", 9008, 200, false, 0.4}, // nobody on the link: no answer at all
        {"10.77.0.99", 9008, -5, false, 0.1},
        {"10.77.0.99", 9008, 1000, false, 1.2},
    };
    for (const Row& r : rows) {
        const auto start = Clock::now();
        EXPECT_EQ(ProbeTcpPort(inet_addr(r.address), r.port, r.timeoutMs), r.expected)
            << r.address << ":" << r.port;
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_LT(seconds, r.maxSeconds) << r.address << ":" << r.port;
        if (!r.expected && r.timeoutMs >= 200 && std::string(r.address) == "10.77.0.99") {
            EXPECT_GE(seconds, r.timeoutMs / 1000.0 - 0.02);
        }
    }
}

TEST_F(HostNetNetwork, LocalNetInfoOfTheFirstInterface) {
    ASSERT_EQ(std::system("ip route replace default via 10.77.0.1 dev veth0"), 0);
    char resolv[] = "/tmp/resolv-XXXXXX";
    const int fd = mkstemp(resolv);
    const char text[] = "search lan\nnameserver 10.77.0.53\n";
    ASSERT_EQ(write(fd, text, sizeof text - 1), static_cast<ssize_t>(sizeof text - 1));
    close(fd);
    HostNetFiles files;
    files.resolved = "/nonexistent/resolv.conf";
    files.resolv = resolv;
    std::string ip, mask, gateway, dns;
    CLorvexManage manager;
    manager.GetLocalNetInfo(&ip, &mask, &gateway, &dns, files);
    EXPECT_EQ(ip, kHost);
    EXPECT_EQ(mask, "255.255.255.0");
    EXPECT_EQ(gateway, "10.77.0.1");
    EXPECT_EQ(dns, "10.77.0.53");
    ASSERT_EQ(std::system("ip route del default"), 0);
    manager.GetLocalNetInfo(&ip, &mask, &gateway, nullptr, files);
    EXPECT_EQ(gateway, "");
    std::remove(resolv);
}

TEST_F(HostNetNetwork, LinkLocalRouteIsAddedOnTheAddressesInterfaceWhenMissing) {
    std::vector<std::vector<std::string>> ran;
    ProgramRunner previous = SetProgramRunner([&](const std::vector<std::string>& argv, int) {
        ran.push_back(argv);
        return 0;
    });
    HostNetFiles quick;
    quick.routeWaitMs = 100;
    CLorvexManage manager;
    // Run, but nothing really added: the route never shows.
    EXPECT_EQ(manager.AddLinkLocalRoute(kHost, quick), LinkLocalRouteState::Started);
    // The other side's address is not ours.
    EXPECT_EQ(manager.AddLinkLocalRoute("10.77.0.1"), LinkLocalRouteState::NotLocal);
    EXPECT_EQ(manager.AddLinkLocalRoute(nullptr), LinkLocalRouteState::NotLocal);
    ASSERT_EQ(ran.size(), 1u);
    EXPECT_EQ(ran[0], LinkLocalRouteCommand("veth0"));
    // Without the right to change routes nothing is run, and the caller
    // learns what to run as root.
    const char* status = "/tmp/lvx-status-no-caps";
    std::ofstream(status) << "Name:\ttest\nCapEff:\t0000000000000000\n";
    HostNetFiles files;
    files.status = status;
    files.routeHelper = "/nonexistent/lorvex-route-helper";
    EXPECT_EQ(manager.AddLinkLocalRoute(kHost, files), LinkLocalRouteState::NeedsRoot);
    EXPECT_EQ(ran.size(), 1u);
    EXPECT_EQ(CLorvexManage::LinkLocalRouteAdvice(kHost),
              "ip route add 169.254.0.0/16 dev veth0 scope link metric 1000");
    std::remove(status);
    SetProgramRunner(previous);

    // The real command: in the table when the call returns, not later.
    EXPECT_EQ(manager.AddLinkLocalRoute(kHost), LinkLocalRouteState::Present);
    const std::string route = Output("ip route show 169.254.0.0/16");
    EXPECT_NE(route.find("dev veth0"), std::string::npos) << route;
    EXPECT_NE(route.find("scope link"), std::string::npos) << route;
    EXPECT_NE(route.find("metric 1000"), std::string::npos) << route;
    // Once there, it is seen and not added again, whoever has the rights.
    EXPECT_EQ(manager.AddLinkLocalRoute(kHost, files), LinkLocalRouteState::Present);
    EXPECT_EQ(manager.AddLinkLocalRoute(kHost), LinkLocalRouteState::Present);
    EXPECT_EQ(CLorvexManage::LinkLocalRouteCarrier(kHost), "veth0");
    EXPECT_EQ(std::system("ip route del 169.254.0.0/16 dev veth0"), 0);
}

// Another user of this host, with the route helper the package lets it
// run, points 169.254.0.0/16 at another card before the tool starts: the
// tool is told where the traffic goes instead of "in place", and the route
// stays as that user left it.
TEST_F(HostNetNetwork, RoutePreemptedByAnotherUserIsReportedNotInPlace) {
    const std::string copy = "/var/tmp/lvx-preempt-" + std::to_string(getpid());
    const std::string setUp = "install -m 755 " + std::string(getenv("LORVEX_ROUTE_HELPER")) + " " +
                              copy + " && setcap cap_net_admin+ep " + copy +
                              " && ip link add lvxother type veth peer name lvxother-p && ip "
                              "link set lvxother-p up && ip link set lvxother up";
    while (std::system("ip route del 169.254.0.0/16 2>/dev/null") == 0) {
    }
    ASSERT_EQ(std::system(setUp.c_str()), 0);
    const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups " + copy;
    ASSERT_EQ(std::system((asNobody + " lvxother").c_str()), 0);
    const std::string before = Output("ip -4 route show table all");
    CLorvexManage manager;
    EXPECT_EQ(manager.AddLinkLocalRoute(kHost), LinkLocalRouteState::OtherInterface);
    EXPECT_EQ(CLorvexManage::LinkLocalRouteCarrier(kHost), "lvxother");
    const int ours = std::system((copy + " veth0 2>/dev/null").c_str()); // its own status
    EXPECT_TRUE(WIFEXITED(ours) && WEXITSTATUS(ours) == 4) << ours;
    EXPECT_EQ(Output("ip -4 route show table all"), before);
    EXPECT_EQ(std::system(("ip link del lvxother && rm -f " + copy).c_str()), 0);
}

std::string Answer(const char* ip, const char* ip2, int dataPort, int httpPort, int httpType) {
    return std::string("<multicastSearchResult><productInfo><productSeries>ZVK_IPC</productSeries>"
                       "</productInfo><tcpIp><ipAddr><item><ip>") +
           ip + "</ip></item><item><ip>" + ip2 + "</ip></item></ipAddr></tcpIp><port><dataPort>" +
           std::to_string(dataPort) + "</dataPort><httpPort>" + std::to_string(httpPort) +
           "</httpPort></port><httpType>" + std::to_string(httpType) +
           "</httpType></multicastSearchResult>";
}

TEST_F(HostNetNetwork, DeviceWebPageAtTheReachableAddress) {
    Listener data(kHost);
    const uint16_t closed = ClosedPort(kHost);
    struct Row {
        const char* mac;
        std::string answer;
        const char* url; // null: nothing opened
    };
    const Row rows[] = {
        {"02:00:00:00:00:01", Answer(kHost, "169.254.7.8", data.port, 8080, 0),
         "http://10.77.0.2:8080"},
        {"02:00:00:00:00:02", Answer(kHost, "169.254.7.8", closed, 80, 0), "http://169.254.7.8"},
        {"02:00:00:00:00:03", Answer(kHost, "169.254.7.8", data.port, 443, 1),
         "https://10.77.0.2:443"},
        {"02:00:00:00:00:04", Answer("10.77.0.99", "010.077.0.2", 9008, 80, 0), "http://8.63.0.2"},
        {"02:00:00:00:00:05", Answer("junk", "\"><script>", 9008, 80, 0), nullptr},
        {"02:00:00:00:00:06", Answer(kHost, "169.254.7.8", data.port, 70000, 0), nullptr},
    };
    std::vector<std::string> opened;
    UrlOpener previous = SetUrlOpener([&](const std::string& url) { opened.push_back(url); });
    CLorvexManage manager;
    for (const Row& r : rows)
        manager.OnSearchEvent(r.mac, LORVEX_SEARCH_EVENT_ANSWER, r.answer.c_str());
    for (const Row& r : rows) {
        opened.clear();
        EXPECT_EQ(manager.OpenDeviceWeb(r.mac), r.url != nullptr) << r.mac;
        EXPECT_EQ(opened, r.url ? std::vector<std::string>{r.url} : std::vector<std::string>{})
            << r.mac;
    }
    opened.clear();
    EXPECT_FALSE(manager.OpenDeviceWeb("02:00:00:00:00:99"));
    EXPECT_FALSE(manager.OpenDeviceWeb(""));
    EXPECT_TRUE(opened.empty());
    SetUrlOpener(previous);
}

} // namespace
