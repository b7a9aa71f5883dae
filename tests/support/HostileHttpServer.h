// A deliberately misbehaving HTTP server on plain sockets, for the device
// HTTP client's tests: it takes one connection at a time, reads the request
// (kept for inspection) and then does what its behaviour says. Runs on its
// own thread until destroyed. Bind it only inside a private namespace.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

class HostileHttpServer {
public:
    enum class Behaviour {
        Answer,       // status, headers and body as set, then close
        Silent,       // reads the request and never answers
        Trickle,      // status and headers, then one body byte every trickleMs
        ResetMidBody, // announces body.size() bytes, sends half, then resets
    };

    HostileHttpServer() {
        m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t length = sizeof a;
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &length);
        m_port = ntohs(a.sin_port);
        listen(m_listen, 8);
        m_thread = std::thread([this] { Serve(); });
    }
    ~HostileHttpServer() {
        m_stop = true;
        m_thread.join();
        close(m_listen);
    }

    uint16_t Port() const { return m_port; }
    int Requests() const { return m_requests.load(); }
    std::string LastRequest() {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_lastRequest;
    }

    // What the next connections get; set between requests.
    Behaviour behaviour = Behaviour::Answer;
    std::string statusLine = "HTTP/1.0 200 OK";
    std::string headers; // extra header lines, each ending in \r\n
    std::string body;
    bool contentLength = true; // send Content-Length for body
    int trickleMs = 1000;
    int answerDelayMs = 0; // Answer: wait this long after the request, then answer

private:
    bool Stopped() const { return m_stop.load(); }

    void Serve() {
        while (!Stopped()) {
            pollfd p{m_listen, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            const int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            Handle(fd);
            close(fd);
        }
    }

    void Handle(int fd) {
        std::string request;
        if (!ReadRequest(fd, &request))
            return;
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_lastRequest = request;
        }
        ++m_requests;
        switch (behaviour) {
        case Behaviour::Answer:
            return Answer(fd);
        case Behaviour::Silent:
            return Hold(fd, 60000);
        case Behaviour::Trickle:
            return Trickle(fd);
        case Behaviour::ResetMidBody:
            return ResetMidBody(fd);
        }
    }

    // Head and body up to Content-Length, at most 64 KiB, 5 s.
    bool ReadRequest(int fd, std::string* request) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        char chunk[4096];
        while (request->size() < 65536 && std::chrono::steady_clock::now() < end && !Stopped()) {
            if (Complete(*request))
                return true;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return false;
            request->append(chunk, static_cast<size_t>(n));
        }
        return Complete(*request);
    }

    static bool Complete(const std::string& r) {
        const size_t head = r.find("\r\n\r\n");
        if (head == std::string::npos)
            return false;
        const size_t at = r.find("Content-Length: ");
        const size_t length = at < head ? std::stoul(r.substr(at + 16)) : 0;
        return r.size() >= head + 4 + length;
    }

    void Send(int fd, const std::string& data) {
        for (size_t sent = 0; sent < data.size() && !Stopped();) {
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<size_t>(n);
        }
    }

    std::string Head(size_t length) const {
        std::string h = statusLine + "\r\n" + headers;
        if (contentLength)
            h += "Content-Length: " + std::to_string(length) + "\r\n";
        return h + "\r\n";
    }

    void Answer(int fd) {
        if (answerDelayMs > 0)
            Hold(fd, answerDelayMs);
        Send(fd, Head(body.size()) + body);
    }

    // Keeps the connection open until the peer closes it or the time passes.
    void Hold(int fd, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        char sink[256];
        while (!Stopped() && std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 50) > 0 && recv(fd, sink, sizeof sink, 0) <= 0)
                return;
        }
    }

    void Trickle(int fd) {
        Send(fd, Head(1000000));
        for (int i = 0; i < 120 && !Stopped(); ++i) {
            Send(fd, "x");
            Hold(fd, trickleMs);
        }
    }

    void ResetMidBody(int fd) {
        Send(fd, Head(body.size()) + body.substr(0, body.size() / 2));
        Hold(fd, 100);
        linger hard{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard); // close sends RST
    }

    int m_listen = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::mutex m_mutex;
    std::string m_lastRequest;
    std::thread m_thread;
};
