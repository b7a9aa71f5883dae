#include "HostProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace {

ProcessStarter& Starter() {
    static ProcessStarter starter;
    return starter;
}

ProgramRunner& Runner() {
    static ProgramRunner runner;
    return runner;
}

UrlOpener& Opener() {
    static UrlOpener opener;
    return opener;
}

// Each helper gets a thread of its own that waits for exactly its pid, so
// it is reaped the moment it ends (no zombie until some later start), and
// no child of another part of the program is ever waited for.
void ReapWhenDone(pid_t pid) {
    std::thread([pid] {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

// The folders a helper program is taken from: the system's own, never the
// user's PATH, so a program of the same name planted earlier on PATH is not
// run in its place.
const char* const kSystemFolders[] = {"/usr/sbin", "/usr/bin", "/sbin", "/bin"};
const char kChildPath[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";

// What a helper may inherit: what a desktop program needs to reach the
// user's display, session bus and settings, and the locale. Everything
// else (LORVEX_PASSWORD above all) stays with this process.
const char* const kInherited[] = {
    "DISPLAY",         "WAYLAND_DISPLAY",      "XAUTHORITY",         "XDG_RUNTIME_DIR",
    "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "XDG_DATA_DIRS",      "XDG_CONFIG_DIRS",
    "XDG_DATA_HOME",   "XDG_CONFIG_HOME",      "DBUS_SESSION_BUS_ADDRESS", "DESKTOP_SESSION",
    "HOME",            "USER",                 "LOGNAME",            "LANG",
    "LANGUAGE",        "LC_ALL",               "LC_CTYPE",           "LC_MESSAGES",
};

bool Inherited(const char* entry) {
    const char* equals = std::strchr(entry, '=');
    if (equals == nullptr)
        return false;
    const size_t nameLength = static_cast<size_t>(equals - entry);
    for (const char* name : kInherited) {
        if (std::strlen(name) == nameLength && std::strncmp(entry, name, nameLength) == 0)
            return true;
    }
    return false;
}

// Starts argv by the rules of StartDetached; its pid, or 0 when nothing
// started.
pid_t Spawn(const std::vector<std::string>& argv) {
    if (argv.empty())
        return 0;
    const std::string program = SystemProgram(argv[0]);
    if (program.empty())
        return 0;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const std::vector<std::string> environment = ChildEnvironment();
    std::vector<char*> env;
    for (const std::string& e : environment)
        env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : 0;
}

bool SpawnDetached(const std::vector<std::string>& argv) {
    const pid_t pid = Spawn(argv);
    if (pid == 0)
        return false;
    ReapWhenDone(pid);
    return true;
}

// Polls for the end of the child: the programs run here end within
// milliseconds, and a poll needs no signal handler or extra descriptor.
int SpawnAndWait(const std::vector<std::string>& argv, int timeoutMs) {
    const pid_t pid = Spawn(argv);
    if (pid == 0)
        return kProgramNotStarted;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : kProgramKilled;
        if (ended < 0 && errno != EINTR)
            return kProgramKilled;
        if (std::chrono::steady_clock::now() >= end) {
            ReapWhenDone(pid);
            return kProgramStillRunning;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace

std::string SystemProgram(const std::string& name) {
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return name[0] == '/' && access(name.c_str(), X_OK) == 0 ? name : std::string();
    for (const char* folder : kSystemFolders) {
        const std::string path = std::string(folder) + '/' + name;
        if (access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> env{kChildPath};
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        if (Inherited(*e))
            env.emplace_back(*e);
    }
    return env;
}

bool StartDetached(const std::vector<std::string>& argv) {
    const ProcessStarter& starter = Starter();
    return starter ? starter(argv) : SpawnDetached(argv);
}

int RunProgram(const std::vector<std::string>& argv, int timeoutMs) {
    const ProgramRunner& runner = Runner();
    return runner ? runner(argv, timeoutMs) : SpawnAndWait(argv, timeoutMs < 0 ? 0 : timeoutMs);
}

ProgramRunner SetProgramRunner(ProgramRunner runner) {
    ProgramRunner previous = std::move(Runner());
    Runner() = std::move(runner);
    return previous;
}

ProcessStarter SetProcessStarter(ProcessStarter starter) {
    ProcessStarter previous = std::move(Starter());
    Starter() = std::move(starter);
    return previous;
}

void OpenUrl(const std::string& url) {
    const UrlOpener& opener = Opener();
    if (opener)
        return opener(url);
    StartDetached({"xdg-open", url});
}

UrlOpener SetUrlOpener(UrlOpener opener) {
    UrlOpener previous = std::move(Opener());
    Opener() = std::move(opener);
    return previous;
}
