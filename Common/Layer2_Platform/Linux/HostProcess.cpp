#include "HostProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>

extern char** environ;

namespace {

ProcessStarter& Starter() {
    static ProcessStarter starter;
    return starter;
}

UrlOpener& Opener() {
    static UrlOpener opener;
    return opener;
}

// Our own helpers still running; only these pids are ever waited for, so
// children of other parts of the program are left alone.
std::mutex g_childrenLock;
std::vector<pid_t> g_children;

void ReapFinished() {
    std::lock_guard<std::mutex> hold(g_childrenLock);
    for (size_t i = 0; i < g_children.size();) {
        if (waitpid(g_children[i], nullptr, WNOHANG) != 0) {
            g_children[i] = g_children.back();
            g_children.pop_back();
        } else {
            ++i;
        }
    }
}

bool Spawn(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].empty())
        return false;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    std::lock_guard<std::mutex> hold(g_childrenLock);
    g_children.push_back(pid);
    return true;
}

bool SpawnDetached(const std::vector<std::string>& argv) {
    ReapFinished();
    return Spawn(argv);
}

} // namespace

bool StartDetached(const std::vector<std::string>& argv) {
    const ProcessStarter& starter = Starter();
    return starter ? starter(argv) : SpawnDetached(argv);
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
