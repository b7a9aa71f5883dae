// A stand-in for the route helper that takes its time: it waits half a
// second, then runs the real helper, lorvex-route-helper-real beside it,
// with the same arguments. Put where the tool looks for its helper, it shows
// that the tool's first request to a link-local address waits for the route
// instead of going out before it.
#include <libgen.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

int main(int, char** argv) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    char path[4096] = {};
    if (readlink("/proc/self/exe", path, sizeof path - 1) > 0)
        execv((std::string(dirname(path)) + "/lorvex-route-helper-real").c_str(), argv);
    return 127;
}
