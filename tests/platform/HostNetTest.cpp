// Host facilities that need no network: the route and resolver files, the
// route command's argument checks, and the process and URL seams.
#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/capability.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "HostNet.h"
#include "HostProcess.h"

extern char** environ;

namespace {

class TempFile {
public:
    explicit TempFile(const std::string& text) {
        char name[] = "/tmp/hostnet-XXXXXX";
        const int fd = mkstemp(name);
        close(fd);
        path = name;
        std::ofstream(path) << text;
    }
    ~TempFile() { std::remove(path.c_str()); }
    std::string path;
};

const char kRoutes[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
    "eth1\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
    "eth0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
    "eth0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n" // no gateway flag
    "eth0\t00000000\t0100000A\t0002\t0\t0\t0\t00000000\t0\t0\t0\n" // not up
    "garbage line\n"
    "eth0\t00000000\t FE00000A\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
    "eth0\t00000000\t0200000A\t0003\t0\t0\t0\t00000000\t0\t0\t0\n";

TEST(ReadDefaultGateway, FirstUpGatewayRouteOfTheInterface) {
    TempFile routes(kRoutes);
    EXPECT_EQ(ReadDefaultGateway(routes.path, "eth1"), "192.168.1.1");
    EXPECT_EQ(ReadDefaultGateway(routes.path, "eth0"), "10.0.0.254");
    EXPECT_EQ(ReadDefaultGateway(routes.path, "eth2"), "");
    EXPECT_EQ(ReadDefaultGateway(routes.path, "eth"), "");
    EXPECT_EQ(ReadDefaultGateway("/nonexistent/route", "eth0"), "");
    TempFile titleOnly("Iface\tDestination\tGateway\n");
    EXPECT_EQ(ReadDefaultGateway(titleOnly.path, "eth0"), "");
}

TEST(ReadFirstNameserver, FirstIPv4Nameserver) {
    const std::pair<const char*, const char*> rows[] = {
        {"nameserver 10.0.0.53\nnameserver 8.8.8.8\n", "10.0.0.53"},
        {"# nameserver 1.1.1.1\nsearch lan\n  nameserver\t192.168.1.1  # router\n", "192.168.1.1"},
        {"nameserver fe80::1\nnameserver 9.9.9.9\n", "9.9.9.9"},
        {"nameserver 300.1.1.1\nnameserver;rm\n", ""},
        {"options edns0\n", ""},
        {"", ""}};
    for (const auto& [text, expected] : rows) {
        TempFile f(text);
        EXPECT_EQ(ReadFirstNameserver(f.path), expected) << text;
    }
    EXPECT_EQ(ReadFirstNameserver("/nonexistent/resolv.conf"), "");
}

TEST(ReadLocalNetInfo, ResolvedFileIsPreferredWhenPresent) {
    TempFile resolved("nameserver 127.0.0.53\n"), plain("nameserver 10.9.9.9\n");
    HostNetFiles files;
    files.routes = "/nonexistent";
    files.resolved = resolved.path;
    files.resolv = plain.path;
    EXPECT_EQ(ReadLocalNetInfo(files).dns, "127.0.0.53");
    files.resolved = "/nonexistent/resolv.conf";
    EXPECT_EQ(ReadLocalNetInfo(files).dns, "10.9.9.9");
    files.resolv = "/nonexistent/resolv.conf";
    EXPECT_EQ(ReadLocalNetInfo(files).dns, "");
}

TEST(LinkLocalRouteCommand, OnlyPlausibleInterfaceNames) {
    EXPECT_EQ(LinkLocalRouteCommand("eth0"),
              (std::vector<std::string>{"ip", "route", "add", "169.254.0.0/16", "dev", "eth0",
                                        "scope", "link", "metric", "1000"}));
    EXPECT_FALSE(LinkLocalRouteCommand("veth1@if2").empty());
    for (const char* bad : {"", "-h", "eth0 x", "a;b", "$(id)", "sixteen-chars-xx", "e\n"})
        EXPECT_TRUE(LinkLocalRouteCommand(bad).empty()) << bad;
}

TEST(EnsureLinkLocalRoute, NothingRunsForTextsThatAreNotLocalAddresses) {
    int runs = 0;
    ProgramRunner previous = SetProgramRunner([&](const std::vector<std::string>&, int) {
        ++runs;
        return 0;
    });
    for (const char* text : {"", "1.2.3", "10.0.0.1; reboot", "192.0.2.77", "999.1.1.1"})
        EXPECT_EQ(EnsureLinkLocalRoute(text), LinkLocalRouteState::NotLocal) << text;
    EXPECT_EQ(runs, 0);
    SetProgramRunner(previous);
}

TEST(RunProgram, ExitStatusesAndTheTimeOut) {
    const std::pair<std::vector<std::string>, int> rows[] = {
        {{"sh", "-c", "exit 4"}, 4},
        {{"sh", "-c", "kill -9 $$"}, kProgramKilled},
        {{"sleep", "5"}, kProgramStillRunning}, // within the 50 ms below
        {{"/nonexistent/program"}, kProgramNotStarted},
    };
    for (const auto& [argv, expected] : rows)
        EXPECT_EQ(RunProgram(argv, argv[0] == "sleep" ? 50 : 5000), expected) << argv.back();
}

TEST(StartDetached, RealProgramsStartAndMissingOnesFail) {
    EXPECT_TRUE(StartDetached({"true"}));
    EXPECT_FALSE(StartDetached({"/nonexistent/program"}));
    EXPECT_FALSE(StartDetached({}));
    EXPECT_FALSE(StartDetached({""}));
}

TEST(SystemProgram, OnlyTheSystemFoldersOrAnAbsolutePathAreTaken) {
    EXPECT_EQ(SystemProgram("true"), "/usr/bin/true");
    EXPECT_EQ(SystemProgram("/usr/bin/true"), "/usr/bin/true");
    for (const char* name : {"", "./true", "bin/true", "no-such-program-here", "/nonexistent/true"})
        EXPECT_EQ(SystemProgram(name), "") << name;
    // A program planted on the user's PATH is not what runs.
    char folder[] = "/tmp/lvx-path-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string planted = std::string(folder) + "/lvx-planted";
    std::ofstream(planted) << "#!/bin/sh\n";
    chmod(planted.c_str(), 0755);
    const std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (std::string(folder) + ":" + saved).c_str(), 1);
    EXPECT_EQ(SystemProgram("lvx-planted"), "");
    setenv("PATH", saved.c_str(), 1);
    std::remove(planted.c_str());
    rmdir(folder);
}

// A helper sees the display and locale it needs, a PATH of the system
// folders, and nothing else: no password, no variable of the caller's.
TEST(StartDetached, ChildrenGetTheMinimalEnvironmentOnly) {
    setenv("LORVEX_PASSWORD", "canary-Secret-42", 1);
    setenv("LVX_UNRELATED", "x", 1);
    setenv("DISPLAY", ":7", 1);
    const std::vector<std::string> env = ChildEnvironment();
    auto has = [&](const std::string& prefix) {
        for (const std::string& e : env)
            if (e.rfind(prefix, 0) == 0)
                return true;
        return false;
    };
    EXPECT_TRUE(has("PATH=/usr/sbin:/usr/bin:/sbin:/bin"));
    EXPECT_TRUE(has("DISPLAY=:7"));
    EXPECT_FALSE(has("LORVEX_PASSWORD="));
    EXPECT_FALSE(has("LVX_UNRELATED="));

    // And a real child sees the same.
    char name[] = "/tmp/lvx-env-XXXXXX";
    close(mkstemp(name));
    std::remove(name);
    const std::string done = std::string(name) + ".done";
    ASSERT_TRUE(StartDetached({"sh", "-c", std::string("env > ") + name + " && touch " + done}));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (access(done.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(name);
    const std::string seen((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(seen.find("DISPLAY=:7"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("canary-Secret-42"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("LVX_UNRELATED"), std::string::npos) << seen;
    std::remove(name);
    std::remove(done.c_str());
    unsetenv("LORVEX_PASSWORD");
    unsetenv("LVX_UNRELATED");
    unsetenv("DISPLAY");
}

TEST(HasLinkLocalRoute, OnlyADirectRouteCoveringTheWholeRangeOnThatInterfaceCounts) {
    const char* path = "/tmp/lvx-routes-linklocal";
    const char* head = "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\tMTU\n";
    const struct Row {
        const char* line;
        bool counts;
    } rows[] = {
        {"eth0\t0000FEA9\t00000000\t0001\t0\t0\t1000\t0000FFFF\t0\n", true},
        {"eth0\t0000FEA9\t00000000\t0001\t0\t0\t0\t0000FEFF\t0\n", true},  // 169.254/15
        {"eth1\t0000FEA9\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\n", false}, // elsewhere
        {"eth0\t0001FEA9\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\n", false}, // a /24 only
        {"eth0\t0000FEA9\t0101A8C0\t0003\t0\t0\t0\t0000FFFF\t0\n", false}, // via a gateway
        {"eth0\t0000FEA9\t00000000\t0000\t0\t0\t0\t0000FFFF\t0\n", false}, // not up
        {"eth0\t00000000\t0101A8C0\t0003\t0\t0\t0\t00000000\t0\n", false}, // default
        {"eth0 garbage\n", false},
    };
    for (const Row& r : rows) {
        std::ofstream(path) << head << r.line;
        EXPECT_EQ(HasLinkLocalRoute(path, "eth0"), r.counts) << r.line;
    }
    std::ofstream(path) << head;
    EXPECT_FALSE(HasLinkLocalRoute(path, "eth0"));
    EXPECT_FALSE(HasLinkLocalRoute("/nonexistent/route", "eth0"));
    std::remove(path);
}

// Children of this process in state `state` ('Z': ended, not yet reaped),
// or in any state for 0, leaving out `except`.
int ChildrenIn(char state, pid_t except = 0) {
    int n = 0;
    DIR* proc = opendir("/proc");
    for (dirent* e; proc != nullptr && (e = readdir(proc)) != nullptr;) {
        std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos)
            continue;
        std::istringstream rest(line.substr(line.rfind(')') + 1));
        char st = 0;
        int ppid = 0;
        rest >> st >> ppid;
        n += ppid == getpid() && (state == 0 || st == state) && std::atoi(e->d_name) != except;
    }
    if (proc != nullptr)
        closedir(proc);
    return n;
}

// A helper that ends is reaped then, not at the next start; a child the
// program started by other means is left for its owner to wait for.
TEST(StartDetached, EndedHelpersAreReapedAndOthersChildrenLeftAlone) {
    pid_t own = 0;
    char* ownArgs[] = {const_cast<char*>("sleep"), const_cast<char*>("30"), nullptr};
    ASSERT_EQ(posix_spawnp(&own, "sleep", nullptr, nullptr, ownArgs, environ), 0);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(StartDetached({"true"}));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    // Until the helpers have ended and been reaped: a helper still running
    // is no zombie yet, so counting zombies alone could end the wait early.
    while (ChildrenIn(0, own) > 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ChildrenIn('Z'), 0) << "an ended helper is still a zombie";
    kill(own, SIGTERM);
    int status = -1;
    EXPECT_EQ(waitpid(own, &status, 0), own) << "someone else reaped our own child";
    EXPECT_TRUE(WIFSIGNALED(status));
}

TEST(OpenUrl, DefaultRunsXdgOpenWithTheUrlAsOneArgument) {
    std::vector<std::vector<std::string>> started;
    ProcessStarter previous = SetProcessStarter([&](const std::vector<std::string>& argv) {
        started.push_back(argv);
        return true;
    });
    OpenUrl("http://10.77.0.64:8080");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], (std::vector<std::string>{"xdg-open", "http://10.77.0.64:8080"}));
    std::vector<std::string> opened;
    UrlOpener before = SetUrlOpener([&](const std::string& url) { opened.push_back(url); });
    OpenUrl("https://10.77.0.64:443");
    EXPECT_EQ(opened, std::vector<std::string>{"https://10.77.0.64:443"});
    EXPECT_EQ(started.size(), 1u);
    SetUrlOpener(before);
    SetProcessStarter(previous);
}

} // namespace

namespace {

// Gives path the file capability cap_net_admin+ep, as the package's setcap
// does; false where this process may not (no CAP_SETFCAP, no xattrs).
bool GiveNetAdminCapability(const std::string& path) {
    vfs_cap_data cap{};
    cap.magic_etc = VFS_CAP_REVISION_2 | VFS_CAP_FLAGS_EFFECTIVE;
    cap.data[0].permitted = 1u << CAP_NET_ADMIN;
    return setxattr(path.c_str(), "security.capability", &cap, XATTR_CAPS_SZ_2, 0) == 0;
}

} // namespace

TEST(RouteHelperPath, OnlyAnExecutableFileWithACapabilityCounts) {
    TempFile helper("#!/bin/sh\n");
    EXPECT_EQ(RouteHelperPath(helper.path), "") << "not executable, no capability";
    chmod(helper.path.c_str(), 0755);
    EXPECT_EQ(RouteHelperPath(helper.path), "") << "no capability";
    EXPECT_EQ(RouteHelperPath("/nonexistent/lorvex-route-helper"), "");
    EXPECT_EQ(RouteHelperPath("/tmp"), "") << "a folder";
    if (!GiveNetAdminCapability(helper.path))
        GTEST_SKIP() << "this process may not set file capabilities here";
    EXPECT_EQ(RouteHelperPath(helper.path), helper.path);
    chmod(helper.path.c_str(), 0644);
    EXPECT_EQ(RouteHelperPath(helper.path), "") << "no longer executable";
}

// A /proc/net/route line for 169.254.0.0/16 out of `iface` at `metric`.
std::string LinkLocalLine(const std::string& iface, unsigned metric, bool viaGateway = false) {
    return iface +
           (viaGateway ? "\t0000FEA9\t0101A8C0\t0003\t0\t0\t"
                       : "\t0000FEA9\t00000000\t0001\t0\t0\t") +
           std::to_string(metric) + "\t0000FFFF\t0\n";
}

// What EnsureLinkLocalRoute does for each state of the table, with and
// without the right to change routes. Nothing really runs: the runner is
// replaced by one that leaves in the table what the route command or the
// helper would have, and exits as they would.
TEST(EnsureLinkLocalRoute, DecidesByTheTableBeforeAndAfterTheAdderRuns) {
    const std::vector<LocalInterface> cards = ListLocalInterfaces();
    if (cards.empty())
        GTEST_SKIP() << "this host has no up IPv4 interface";
    const std::string ours = cards[0].name;
    TempFile helper("#!/bin/sh\n");
    chmod(helper.path.c_str(), 0755);
    const bool helperUsable = GiveNetAdminCapability(helper.path);
    using S = LinkLocalRouteState;
    const std::vector<std::string> cmd = LinkLocalRouteCommand(ours), help = {helper.path, ours};
    const std::string mine = LinkLocalLine(ours, 1000), gateway = LinkLocalLine(ours, 10, true);
    const std::string other = LinkLocalLine("lvx9", 1000), lower = LinkLocalLine("lvx9", 100),
                      worse = LinkLocalLine("lvx9", 2000);
    const struct Row {
        const char* what;
        bool root, withHelper;
        std::string before, after; // the table before, and what the adder leaves
        int status;
        std::vector<std::string> ran; // empty: nothing runs
        S expected;
    } rows[] = {
        {"in place", true, false, mine, "", 0, {}, S::Present},
        {"another card first", true, false, other, "", 0, {}, S::OtherInterface},
        {"another card, lower metric", false, false, lower, "", 0, {}, S::OtherInterface},
        {"through a gateway", true, false, gateway, "", 0, {}, S::OtherInterface},
        {"worse elsewhere", true, false, worse, mine, 0, cmd, S::Present},
        {"slipped in meanwhile", true, false, "", other, 2, cmd, S::OtherInterface},
        {"never shows", true, false, "", "", 0, cmd, S::Started},
        {"no route command", true, false, "", "", kProgramNotStarted, cmd, S::NeedsRoot},
        {"added by the helper", false, true, "", mine, 0, help, S::Present},
        {"the helper finds it elsewhere", false, true, "", "", 4, help, S::OtherInterface},
        {"the kernel refuses the helper", false, true, "", "", 5, help, S::NeedsRoot},
        {"no helper", false, false, "", "", 0, {}, S::NeedsRoot},
    };
    for (const Row& r : rows) {
        if (r.withHelper && !helperUsable)
            continue; // this process may not set file capabilities here
        TempFile status(r.root ? "CapEff:\t0000000000001000\n" : "CapEff:\t0000000000000000\n");
        TempFile routes("Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\tMTU\n" +
                        r.before);
        HostNetFiles files;
        files.status = status.path;
        files.routes = routes.path;
        files.routeHelper = r.withHelper ? helper.path : "/nonexistent/lorvex-route-helper";
        files.routeWaitMs = 200;
        std::vector<std::string> ran;
        ProgramRunner previous = SetProgramRunner([&](const std::vector<std::string>& argv, int) {
            ran = argv;
            std::ofstream(routes.path, std::ios::app) << r.after;
            return r.status;
        });
        EXPECT_EQ(EnsureLinkLocalRoute(cards[0].ip, files), r.expected) << r.what;
        EXPECT_EQ(ran, r.ran) << r.what;
        SetProgramRunner(previous);
    }
}
