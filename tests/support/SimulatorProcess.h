// One lorvex-devsim that a network test starts itself, in the device
// namespace of scripts/netns-run (LORVEX_NETNS_DEVICES, LORVEX_DEVSIM): its
// fleet file written, the simulator started and waited for until ready, and
// ended with the test. Only for tests that already run inside the private
// network (REQUIRE_PRIVATE_NETWORK or their own check).
#pragma once

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ChildProcess.h"

namespace test_support {

class SimulatorProcess {
public:
    // Where the simulator's standard error goes: PREFIX.log, or the test's own.
    enum class Output { File, Inherit };

    // Writes `fleetJson` (unless empty) to PREFIX.json and starts lorvex-devsim
    // with --fleet PREFIX.json, then `args`, then --ready-file PREFIX.ready;
    // standard input and output are /dev/null under Output::File. Waits up to
    // 5 s for the ready file; Ready() tells whether it came.
    SimulatorProcess(std::string prefix, const std::string& fleetJson,
                     std::vector<std::string> args, Output output = Output::File)
        : m_prefix(std::move(prefix)) {
        std::vector<std::string> argv = {"ip", "netns", "exec", Env("LORVEX_NETNS_DEVICES"),
                                         Env("LORVEX_DEVSIM")};
        if (!fleetJson.empty()) {
            std::ofstream(FleetPath()) << fleetJson;
            argv.insert(argv.end(), {"--fleet", FleetPath()});
        }
        argv.insert(argv.end(), args.begin(), args.end());
        argv.insert(argv.end(), {"--ready-file", ReadyPath()});
        std::remove(ReadyPath().c_str());
        m_started = std::chrono::steady_clock::now();
        const bool file = output == Output::File;
        m_pid = StartProcess(argv, file ? "/dev/null" : "", file ? "/dev/null" : "",
                             file ? LogPath() : "");
        for (int i = 0; i < 100 && m_pid > 0 && !Ready(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~SimulatorProcess() {
        Stop();
        for (const char* end : {".json", ".ready", ".log"})
            std::remove((m_prefix + end).c_str());
    }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    bool Ready() const { return std::ifstream(ReadyPath()).good(); }
    bool Running() const { return m_pid > 0; }
    // Ends the simulator with SIGTERM (it says goodbye as on any stop) and
    // waits for it; its exit status, -1 when none was running.
    int Stop() {
        if (m_pid <= 0)
            return -1;
        kill(m_pid, SIGTERM);
        return FinishProcess(std::exchange(m_pid, -1));
    }
    // When it was started (just before the process was).
    std::chrono::steady_clock::time_point Started() const { return m_started; }
    std::string FleetPath() const { return m_prefix + ".json"; }
    std::string ReadyPath() const { return m_prefix + ".ready"; }
    // Its standard error under Output::File.
    std::string LogPath() const { return m_prefix + ".log"; }
    std::string Log() const { return ReadFile(LogPath()); }

private:
    static std::string Env(const char* name) {
        const char* value = std::getenv(name);
        return value ? value : "";
    }
    std::string m_prefix;
    pid_t m_pid = -1;
    std::chrono::steady_clock::time_point m_started;
};

} // namespace test_support
