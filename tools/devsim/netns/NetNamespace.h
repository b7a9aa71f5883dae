// Whether this process runs in a private network namespace, so that
// changing addresses or talking to simulated devices cannot reach the
// machine's own network. Header-only: the simulator and the network tests
// share it.
//
// Private means one of: the namespace differs from that of PID 1 (when
// PID 1's namespace can be read at all), or it is one of the namespaces
// scripts/netns-run creates (named lvx-h-* or lvx-d-* under /run/netns).
// When neither can be shown the answer is no.

#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

namespace devsim {

inline bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_ino == b.st_ino && a.st_dev == b.st_dev;
}

inline bool IsNetnsRunNamespace(const struct stat& self) {
    DIR* dir = opendir("/run/netns");
    if (dir == nullptr)
        return false;
    bool found = false;
    while (const dirent* e = readdir(dir)) {
        if (std::strncmp(e->d_name, "lvx-h-", 6) != 0 && std::strncmp(e->d_name, "lvx-d-", 6) != 0)
            continue;
        struct stat ns {};
        if (stat((std::string("/run/netns/") + e->d_name).c_str(), &ns) == 0 &&
            SameFile(ns, self)) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

inline bool InPrivateNetwork() {
    struct stat self {
    }, init{};
    if (stat("/proc/self/ns/net", &self) != 0)
        return false;
    if (stat("/proc/1/ns/net", &init) == 0)
        return !SameFile(self, init);
    return IsNetnsRunNamespace(self);
}

} // namespace devsim
