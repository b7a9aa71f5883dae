// The one rule for network interface names that this system passes to the
// route command or to the route helper. Header-only, so that the route
// helper (which runs with CAP_NET_ADMIN) needs no library of the program.
#pragma once

#include <net/if.h>

#include <cstring>
#include <string_view>

// True for 1 to IFNAMSIZ-1 characters of [A-Za-z0-9_.:@-] not starting with
// '-': every name the kernel hands out in practice, and never an option,
// a blank, a shell character or a path.
inline bool IsPlausibleInterfaceName(std::string_view name) {
    if (name.empty() || name.size() >= IFNAMSIZ || name[0] == '-')
        return false;
    for (const char c : name) {
        const bool letterOrDigit =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '_' && c != '.' && c != ':' && c != '@' && c != '-')
            return false;
    }
    return true;
}
