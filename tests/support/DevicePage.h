// Reaching a simulated device from a network test: its web page over a plain
// socket and its data port through the engine's probe.
#pragma once

#include "HostNet.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <string>

// GET / over a plain socket, read to the close; at most 64 KiB, 3 s per read.
inline std::string Page(const std::string& address, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = inet_addr(address.c_str());
    timeval t{3, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    std::string out;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        const std::string request = "GET / HTTP/1.0\r\nHost: " + address + "\r\n\r\n";
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0) {
            char buffer[4096];
            for (ssize_t n; out.size() < 65536 && (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
                out.append(buffer, static_cast<size_t>(n));
        }
    }
    close(fd);
    return out;
}

// True when the data port at address accepts within 200 ms.
inline bool Probe(const char* address, uint16_t port) {
    return ProbeTcpPort(inet_addr(address), port, 200);
}
