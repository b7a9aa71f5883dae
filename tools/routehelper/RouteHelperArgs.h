// The argument check of lorvex-route-helper, apart from its netlink work so
// that it is tested without privileges.
#pragma once

#include <string>

// What the helper's command line asks for: the interface whose link-local
// route it adds, or nothing when the line is refused.
struct RouteHelperRequest {
    bool accepted = false;
    std::string interfaceName; // set only when accepted
};

// Accepts exactly one argument after the program name, and only when it is a
// plausible interface name (IsPlausibleInterfaceName): no options, no second
// word, no route, address or path, nothing longer than the kernel allows.
// argv may hold null entries; they are refused.
RouteHelperRequest CheckRouteHelperArgs(int argc, const char* const* argv);
