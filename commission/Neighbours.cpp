#include "Neighbours.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "AddressPlan.h"

namespace commission {

namespace {

constexpr uint16_t kDiscardPort = 9;
constexpr size_t kMaxTableBytes = 4 * 1024 * 1024;

bool OnHostSubnet(uint32_t a, const std::vector<LocalInterface>& interfaces) {
    for (const LocalInterface& i : interfaces) {
        uint32_t ip = 0, mask = 0;
        if (!ReadAddress(i.ip, &ip) || !ReadAddress(i.mask, &mask) || mask == 0)
            continue;
        const uint32_t network = ip & mask, broadcast = network | ~mask;
        if ((a & mask) == network && a != network && a != broadcast && a != ip)
            return true;
    }
    return false;
}

} // namespace

std::set<uint32_t> ReadCompleteNeighbours(std::string_view table) {
    std::set<uint32_t> out;
    std::istringstream lines{std::string(table)};
    std::string line;
    std::getline(lines, line); // the column titles
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, flags;
        if (!(fields >> address >> type >> flags))
            continue;
        uint32_t a = 0;
        char* end = nullptr;
        const unsigned long bits = std::strtoul(flags.c_str(), &end, 16);
        if (ReadAddress(address, &a) && end != flags.c_str() && *end == '\0' && (bits & 0x2) != 0)
            out.insert(a);
    }
    return out;
}

std::set<uint32_t> ProbeNeighbours(const std::vector<uint32_t>& candidates,
                                   const std::vector<LocalInterface>& interfaces, int waitMs,
                                   const std::string& arpPath) {
    std::vector<uint32_t> probed;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return {};
    for (uint32_t a : candidates) {
        if (!OnHostSubnet(a, interfaces))
            continue;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(kDiscardPort);
        to.sin_addr.s_addr = htonl(a);
        // A send that fails (no route, a full buffer) leaves the address
        // unresolved, which reads as free: the verification still catches
        // a device that takes an address in use.
        (void)sendto(fd, "", 0, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        probed.push_back(a);
    }
    close(fd);
    if (probed.empty())
        return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    std::ifstream file(arpPath, std::ios::binary);
    std::string table(kMaxTableBytes, '\0');
    file.read(&table[0], static_cast<std::streamsize>(table.size()));
    table.resize(static_cast<size_t>(file.gcount()));
    std::set<uint32_t> out;
    const std::set<uint32_t> complete = ReadCompleteNeighbours(table);
    for (uint32_t a : probed)
        if (complete.count(a) != 0)
            out.insert(a);
    return out;
}

} // namespace commission
