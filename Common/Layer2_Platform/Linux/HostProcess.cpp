#include "HostProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

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

// Each helper gets a thread of its own that waits for exactly its pid, so
// it is reaped the moment it ends (no zombie until some later start), and
// no child of another part of the program is ever waited for.
void ReapWhenDone(pid_t pid) {
    std::thread([pid] {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

bool SpawnDetached(const std::vector<std::string>& argv) {
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
    ReapWhenDone(pid);
    return true;
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
