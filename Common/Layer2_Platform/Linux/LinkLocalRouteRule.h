// The one rule for where 169.254.0.0/16 leads: which of the main table's
// routes carries link-local traffic, and whether the tool's own route for an
// interface is in place, missing, or beaten by a route to somewhere else.
// Header-only, so that the route helper (which runs with CAP_NET_ADMIN) and
// the program judge the table alike without sharing a library.
#pragma once

#include <cstdint>
#include <vector>

// The metric of the route the tool adds: low enough to beat nothing the
// system set up on purpose, and what the route helper adds.
constexpr uint32_t kLinkLocalRouteMetric = 1000;

// One route of the main table, as far as the rule needs it.
struct RouteSeen {
    uint32_t destination = 0; // host byte order
    int prefix = 0;           // 0 to 32
    uint32_t metric = 0;
    bool direct = false;      // no gateway: the destination is on the link itself
    bool onInterface = false; // leads out of the interface being judged
};

// What the main table does with 169.254.0.0/16 for one interface.
enum class LinkLocalVerdict {
    InPlace,   // the traffic leaves directly through that interface
    Missing,   // nothing beats the tool's route there: adding it makes it InPlace
    Elsewhere, // a route the tool's cannot beat leads to another interface (or a gateway)
};

// The route that carries 169.254.0.0/16: among the routes that cover the
// whole range (prefix 1 to 16, default routes left out, since a more
// specific route of the tool's beats them anyway), the longest prefix, then
// the lowest metric. On a tie the route through another interface counts,
// so that a doubt is never read as "in place". Null when none covers it.
inline const RouteSeen* LinkLocalCarrier(const std::vector<RouteSeen>& routes) {
    constexpr uint32_t kLinkLocal = 0xA9FE0000u; // 169.254.0.0
    const RouteSeen* best = nullptr;
    for (const RouteSeen& r : routes) {
        if (r.prefix < 1 || r.prefix > 16)
            continue;
        const uint32_t mask = ~0u << (32 - r.prefix);
        if ((kLinkLocal & mask) != (r.destination & mask))
            continue;
        const bool better =
            best == nullptr || r.prefix > best->prefix ||
            (r.prefix == best->prefix &&
             (r.metric < best->metric || (r.metric == best->metric && !r.onInterface)));
        if (better)
            best = &r;
    }
    return best;
}

// The verdict for the interface the routes' onInterface marks: InPlace when
// the carrier leads directly out of it; Missing when there is no carrier or
// the tool's own route (a /16 at kLinkLocalRouteMetric) would beat it;
// Elsewhere otherwise.
inline LinkLocalVerdict JudgeLinkLocalRoutes(const std::vector<RouteSeen>& routes) {
    const RouteSeen* carrier = LinkLocalCarrier(routes);
    if (carrier == nullptr)
        return LinkLocalVerdict::Missing;
    if (carrier->onInterface && carrier->direct)
        return LinkLocalVerdict::InPlace;
    if (carrier->prefix < 16 || carrier->metric > kLinkLocalRouteMetric)
        return LinkLocalVerdict::Missing;
    return LinkLocalVerdict::Elsewhere;
}
