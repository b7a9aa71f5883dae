// A stand-in for the route helper that takes its time: it waits half a
// second, then runs the real helper, lorvex-route-helper-real beside it,
// with the same arguments. Put where the tool looks for its helper, it shows
// that the tool's first request to a link-local address waits for the route
// instead of going out before it.
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

int main(int, char** argv) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return 127;
    std::string self(path, static_cast<size_t>(n));
    const std::string real = self.substr(0, self.rfind('/') + 1) + "lorvex-route-helper-real";
    execv(real.c_str(), argv);
    return 127;
}
