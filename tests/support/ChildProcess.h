// Programs a test starts beside itself (the command-line tool, the
// simulator) and the files they leave: started with their standard streams
// on files, waited for, read back.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace test_support {

// Starts argv (argv[0] looked up in PATH) with standard input from `in` and
// standard output and error into `out` and `err` (created or emptied); an
// empty name leaves that stream the test's own. The process id, -1 when it
// could not be started.
inline pid_t StartProcess(std::vector<std::string> argv, const std::string& in,
                          const std::string& out, const std::string& err) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    if (!in.empty())
        posix_spawn_file_actions_addopen(&files, 0, in.c_str(), O_RDONLY, 0);
    for (const auto& [fd, path] : {std::pair<int, const std::string&>{1, out}, {2, err}})
        if (!path.empty())
            posix_spawn_file_actions_addopen(&files, fd, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                             0600);
    std::vector<char*> raw;
    for (std::string& a : argv)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, raw[0], &files, nullptr, raw.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

// Waits for the process; its exit status, -1 when there is none or it did
// not exit by itself (a signal ended it).
inline int FinishProcess(pid_t pid) {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The whole file, empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace test_support
