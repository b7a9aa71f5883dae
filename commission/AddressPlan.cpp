#include "AddressPlan.h"

#include <arpa/inet.h>

#include <map>

#include "NetParam.h"

namespace commission {

namespace {

struct Blocked {
    SkipReason reason;
    std::string holder;
};

// Every address a plan may not hand out, apart from the network and
// broadcast addresses, which follow from the mask.
using BlockedMap = std::map<uint32_t, Blocked>;

void Block(BlockedMap* map, const std::string& text, SkipReason reason, const std::string& holder) {
    uint32_t address = 0;
    if (ReadAddress(text, &address))
        map->emplace(address, Blocked{reason, holder});
}

BlockedMap BlockedAddresses(const std::vector<PlanDevice>& listed,
                            const std::vector<std::string>& hostAddresses,
                            const std::string& gateway) {
    BlockedMap map;
    for (const std::string& host : hostAddresses)
        Block(&map, host, SkipReason::HostAddress, "");
    Block(&map, gateway, SkipReason::Gateway, "");
    for (const PlanDevice& d : listed) {
        Block(&map, d.ip, SkipReason::HeldByDevice, DeviceKey(d));
        Block(&map, d.ip2, SkipReason::HeldByDevice, DeviceKey(d));
    }
    return map;
}

struct Subnet {
    uint32_t mask;
    uint32_t network;
    uint32_t broadcast;
    bool Contains(uint32_t a) const { return (a & mask) == network; }
};

// One pass over the selection with the addresses known to answer so far.
AddressPlan Assign(const std::vector<PlanDevice>& selected, const PlanRequest& request,
                   uint32_t start, const Subnet& subnet, uint32_t gateway,
                   const BlockedMap& blocked, const std::set<uint32_t>& answering) {
    AddressPlan plan;
    uint64_t next = start; // 64 bits, so that passing 255.255.255.255 ends the subnet
    for (const PlanDevice& device : selected) {
        for (; next <= 0xFFFFFFFFu && subnet.Contains(static_cast<uint32_t>(next)); ++next) {
            const uint32_t a = static_cast<uint32_t>(next);
            const auto hit = blocked.find(a);
            if (a == subnet.network || a == subnet.broadcast)
                plan.skipped.push_back({AddressText(a), SkipReason::NetworkOrBroadcast, ""});
            else if (hit != blocked.end())
                plan.skipped.push_back({AddressText(a), hit->second.reason, hit->second.holder});
            else if (answering.count(a) != 0)
                plan.skipped.push_back({AddressText(a), SkipReason::Answers, ""});
            else
                break;
        }
        if (next > 0xFFFFFFFFu || !subnet.Contains(static_cast<uint32_t>(next))) {
            plan.entries.clear();
            plan.error = {PlanFault::RunOut, DeviceKey(device), "", 0};
            return plan;
        }
        const uint32_t a = static_cast<uint32_t>(next++);
        int32_t rule = NETPARAM_OK;
        if (!CheckNetParam(htonl(a), htonl(subnet.mask), htonl(gateway), &rule)) {
            plan.entries.clear();
            plan.error = {PlanFault::Rule, DeviceKey(device), AddressText(a), rule};
            return plan;
        }
        PlanEntry entry;
        entry.device = device;
        entry.ip = AddressText(a);
        entry.mask = request.mask;
        entry.gateway = request.gateway;
        entry.httpPort = request.httpPort;
        entry.dataPort = request.dataPort;
        plan.entries.push_back(std::move(entry));
    }
    return plan;
}

} // namespace

bool ReadAddress(const std::string& text, uint32_t* out) {
    in_addr address{};
    if (text.size() > 15 || inet_pton(AF_INET, text.c_str(), &address) != 1)
        return false;
    *out = ntohl(address.s_addr);
    return true;
}

std::string AddressText(uint32_t hostOrder) {
    in_addr address{};
    address.s_addr = htonl(hostOrder);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

AddressPlan MakeAddressPlan(const std::vector<PlanDevice>& selected,
                            const std::vector<PlanDevice>& listed, const PlanRequest& request,
                            const std::vector<std::string>& hostAddresses,
                            const NeighbourProbe& probe) {
    uint32_t start = 0, mask = 0, gateway = 0;
    if (!ReadAddress(request.start, &start) || !ReadAddress(request.mask, &mask) ||
        !ReadAddress(request.gateway, &gateway)) {
        AddressPlan plan;
        plan.error.fault = PlanFault::BadInput;
        return plan;
    }
    const Subnet subnet{mask, start & mask, (start & mask) | ~mask};
    const BlockedMap blocked = BlockedAddresses(listed, hostAddresses, request.gateway);
    // Each pass probes the addresses it handed out that were not probed yet;
    // an answer moves the plan on, so the next pass may reach new addresses.
    std::set<uint32_t> probed, answering;
    for (;;) {
        AddressPlan plan = Assign(selected, request, start, subnet, gateway, blocked, answering);
        if (!plan.Ok() || !probe)
            return plan;
        std::vector<uint32_t> fresh;
        for (const PlanEntry& e : plan.entries) {
            uint32_t a = 0;
            if (ReadAddress(e.ip, &a) && probed.insert(a).second)
                fresh.push_back(a);
        }
        const size_t before = answering.size();
        if (!fresh.empty())
            for (uint32_t a : probe(fresh))
                if (probed.count(a) != 0)
                    answering.insert(a);
        if (answering.size() == before)
            return plan;
    }
}

const char* SkipReasonName(SkipReason reason) {
    switch (reason) {
    case SkipReason::NetworkOrBroadcast:
        return "network or broadcast address";
    case SkipReason::HeldByDevice:
        return "held by a listed device";
    case SkipReason::HostAddress:
        return "this computer's address";
    case SkipReason::Gateway:
        return "the gateway";
    case SkipReason::Answers:
        return "answers on the network";
    }
    return "";
}

std::string PlanErrorText(const PlanError& error) {
    static const char* const kRules[] = {
        "",
        "the host part of the address is all ones",
        "the host part of the address is all zeros",
        "the address or the gateway is a loopback address",
        "the address or the gateway is not a unicast address of classes A to C",
        "the subnet mask is zero, too short for the address class, or not contiguous",
        "the gateway is not in the subnet of the address",
        "the host part of the gateway is all ones",
        "the host part of the gateway is all zeros",
    };
    switch (error.fault) {
    case PlanFault::None:
        return "";
    case PlanFault::BadInput:
        return "the start address, mask and gateway must be dotted quads such as 192.168.1.64";
    case PlanFault::RunOut:
        return "no free address left in the subnet for " + error.mac;
    case PlanFault::Rule:
        if (error.rule > 0 && error.rule <= 8)
            return error.mac + " at " + error.address + ": " + kRules[error.rule];
        return error.mac + " at " + error.address + ": address rule " + std::to_string(error.rule);
    }
    return "";
}

} // namespace commission
