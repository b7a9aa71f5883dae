#include "RouteHelperArgs.h"

#include <cstring>

#include "InterfaceName.h"

namespace {

// Longer arguments are refused before they are even measured in full.
constexpr size_t kMaxArgumentBytes = 64;

} // namespace

RouteHelperRequest CheckRouteHelperArgs(int argc, const char* const* argv) {
    if (argc != 2 || argv == nullptr || argv[1] == nullptr)
        return {};
    const size_t length = strnlen(argv[1], kMaxArgumentBytes);
    if (length == kMaxArgumentBytes || !IsPlausibleInterfaceName({argv[1], length}))
        return {};
    return {true, std::string(argv[1], length)};
}
