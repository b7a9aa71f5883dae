// lorvex-search's device commands: set-ip, restore and open. Each first
// searches until the device is listed (at most --seconds), then makes the
// request through the search manager as the window does.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "CommandLine.h"

class CLorvexManage;

namespace device {

// The flag the signal handler raises; searching stops early when it is set.
void SetStopFlag(const std::atomic<bool>* stop);

// The device password from the command line's sources (cli::ReadPassword,
// with a prompt without echo at a terminal); when there is none, `error`
// says why, starting with `command`. Never printed.
std::string DevicePassword(const cli::ParsedArgs& args, const char* command, std::string* error);

// Adds the route to link-local device addresses the window adds at start;
// without the right to, prints on stderr the command to run as root.
void AddLinkLocalRouteOrAdvise(CLorvexManage& manager);

// The outcome of SetNetParam in words, one line without line break.
std::string SetIpOutcome(int32_t code);

// set-ip MAC --ip A --mask M --gateway G [--password P|-] [--http-port N]
// [--data-port N] [--dhcp] [--seconds S]: exits with SetNetParam's code,
// 2 for bad arguments (also one port alone for an IP camera). The password
// comes as cli::ReadPassword says and is never printed.
int RunSetIp(const cli::ParsedArgs& args);

// restore MAC [--seconds S]: 0 when the device acknowledged, else 1.
int RunRestore(const cli::ParsedArgs& args);

// open MAC [--print] [--seconds S]: opens (or prints) the device's web page
// URL; 0 when done, 12 when the device was not found.
int RunOpen(const cli::ParsedArgs& args);

} // namespace device
