// Thin socket helpers for the search group, shared by the library and the
// device simulator. Each does one system-level thing so the callers stay
// readable and the protocol logic stays free of socket calls.

#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lorvex::net {

struct Interface {
    int index = 0;
    std::string name;
    in_addr address{};
};

// Every up, multicast-capable, non-loopback interface with an IPv4 address,
// once per interface (its first address), in the system's order.
std::vector<Interface> ListMulticastInterfaces();

// A non-blocking UDP socket bound to INADDR_ANY:port with address reuse,
// multicast TTL 1 and a receive buffer of at least `receiveBuffer` bytes
// where the system allows it. -1 on failure.
int OpenGroupSocket(std::uint16_t port, int receiveBuffer);

// Joins the search group on interface `index`; true also when already joined.
bool JoinGroup(int fd, int index);

// Joins the group on every interface in `ifaces` not yet in `joined`, and
// records them there.
void JoinAll(int fd, const std::vector<Interface>& ifaces, std::vector<int>* joined);

// Sends `datagram` to the group at `port` out of interface `index`.
bool SendOn(int fd, int index, std::uint16_t port, const std::string& datagram);

// Sends on every interface; returns how many sends succeeded.
int SendAll(int fd, const std::vector<Interface>& ifaces, std::uint16_t port,
            const std::string& datagram);

// Receives datagrams in batches with recvmmsg into buffers it owns.
class BatchReceiver {
public:
    explicit BatchReceiver(std::size_t batch);
    // One system call: hands each datagram that fits the size limit to `sink`
    // (truncated ones are dropped). Returns how many datagrams were taken from
    // the socket, 0 when none was waiting.
    int ReceiveOnce(int fd, const std::function<void(const unsigned char*, std::size_t)>& sink);
    // As ReceiveOnce, with each datagram's IPv4 source address (network
    // byte order) handed to the sink as well.
    int
    ReceiveFrom(int fd,
                const std::function<void(const unsigned char*, std::size_t, std::uint32_t)>& sink);

    // From now on only datagrams sent to the search group and arriving on one
    // of these interfaces reach the sink: unicast from anywhere, and group
    // traffic on an interface not joined, are dropped (the socket must have
    // IP_PKTINFO on, as OpenGroupSocket sets it).
    void AcceptOnly(std::vector<int> interfaces);

private:
    bool Accepted(const msghdr& h) const;
    std::size_t m_batch;
    bool m_filter = false;
    std::vector<int> m_interfaces;
    std::vector<unsigned char> m_buffers;
    std::vector<mmsghdr> m_headers;
    std::vector<iovec> m_iovecs;
    std::vector<unsigned char> m_control; // one in_pktinfo slot per datagram
    std::vector<sockaddr_in> m_sources;
};

// A wake-up handle for a poll loop (eventfd).
int OpenWakeFd();
void Wake(int fd);
void DrainWake(int fd);

} // namespace lorvex::net
