// lorvex-search's device commands: set-ip, restore and open. Each first
// searches until the device is listed (at most --seconds), then makes the
// request through the search manager as the window does.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "HostNet.h"
#include "SetupCodes.h"

class CLorvexManage;

namespace device {

// Takes LORVEX_PASSWORD into the process's own memory and removes it from
// the environment (its bytes there overwritten), so that no program this
// one starts, nor a look at /proc/PID/environ later, sees it. Call first
// thing in main, before any thread starts.
void TakePasswordFromEnvironment();

// The device password from the command line's sources (cli::ReadPassword,
// with a prompt without echo at a terminal); when there is none, `error`
// says why, starting with `command`. Never printed.
std::string DevicePassword(const cli::ParsedArgs& args, const char* command, std::string* error);

// The setup codes of the file at `path` (commission::ReadSetupCodes, at
// most kMaxSetupCodesBytes read); false with `error` naming the file, the
// line and the fault, never a code.
bool ReadSetupCodesFile(const std::string& path, std::vector<commission::SetupCodeEntry>* codes,
                        std::string* error);

// The setup code of the device `mac` (canonical) for activate, checked and
// in canonical form: the line of --setup-codes FILE for that MAC, else as
// cli::ReadSetupCode says, with a question without echo at a terminal.
// Empty, with `error` starting with `command`, when there is none or it
// is no setup code. Never printed.
std::string DeviceSetupCode(const cli::ParsedArgs& args, const std::string& mac,
                            const char* command, std::string* error);

// Makes sure the route to link-local device addresses (the one the window
// adds at start) is in place for the first interface before a request goes
// to such an address, waiting for it (CLorvexManage::AddLinkLocalRoute), and
// tells on stderr when it is not: TellLinkLocalRoute.
void EnsureLinkLocalRoute(CLorvexManage& manager);

// One line on stderr for a route state that leaves link-local devices on
// the interface carrying localAddress out of reach: the command to run as
// root (NeedsRoot, with the group to join when the route helper is withheld
// from this user), where 169.254.0.0/16 leads instead (OtherInterface), or
// that the route did not show in time (Started). Nothing otherwise.
void TellLinkLocalRoute(LinkLocalRouteState state, const std::string& localAddress);

// The outcome of SetNetParam in words, one line without line break.
std::string SetIpOutcome(int32_t code);

// The exit status for a result code of SetNetParam, Activate or
// RestoreDevice (lorvex::Outcome's table).
int ExitCodeOfResult(int32_t code);

// set-ip MAC --ip A --mask M --gateway G [--password P|-] [--http-port N]
// [--data-port N] [--dhcp] [--seconds S]: exits with SetNetParam's code,
// 2 for bad arguments (also one port alone for an IP camera). The password
// comes as cli::ReadPassword says and is never printed.
int RunSetIp(const cli::ParsedArgs& args);

// The outcome in words with the lock time a locked device named.
std::string OutcomeText(int32_t code, int32_t lockSeconds);

// restore MAC [--seconds S]: 0 when the device restored itself, else the
// exit status of its outcome (18: its reset button was not pressed).
int RunRestore(const cli::ParsedArgs& args);

// activate MAC [--password P|-] [--setup-code CODE|- | --setup-codes FILE]
// [--accept-key FP] [--seconds S]: exits with the status of the outcome of
// CLorvexManage::Activate; the usage error's status, nothing sent, when the code is
// no setup code.
int RunActivate(const cli::ParsedArgs& args);

// How long rename waits for a search answer that carries the new name.
constexpr int kRenameSeenSeconds = 3;

// rename MAC NAME [--password P|-] [--accept-key FP] [--seconds S]: gives
// the device the name NAME (lorvex::wire::IsDeviceName), its addresses
// left as they are; 0 once a new search answer carries the name, 9 when
// the device took it but none did within kRenameSeenSeconds, else the
// result code of CLorvexManage::Rename; 2 for bad arguments (nothing sent).
int RunRename(const cli::ParsedArgs& args);

// How long identify asks a device to show itself when --duration is not given.
constexpr int32_t kIdentifySeconds = 60;

// identify MAC [--duration N] [--password P|-] [--accept-key FP]
// [--seconds S]: asks the device to show itself for N seconds (1 to
// LORVEX_IDENTIFY_MAX_SECONDS, default kIdentifySeconds); exits with the
// result code of CLorvexManage::Identify, 2 for bad arguments.
int RunIdentify(const cli::ParsedArgs& args);

// open MAC [--print] [--seconds S]: opens (or prints) the device's web page
// URL; 0 when done, the status of Outcome::NoDevice when the device was not
// found, of Outcome::NotAllDone when it reports no usable address.
// Writes a picture to a file whole or not at all; false with *error.
using PictureWriter =
    std::function<bool(const std::string& path, const std::string& jpeg, std::string* error)>;
// The time for a maker's camera's picture, fetch and decode, once its
// token is granted.
constexpr int32_t kMakerPictureTimeLimitMs = 6000;

// snapshot MAC --output FILE [--accept-key FP] [password options]
// [--seconds S]: the maker's IP camera's picture (CLorvexManage::
// TakeSnapshot) handed to `write`. Exit statuses of the outcome table:
// Done, the call's outcome, NotAllDone when the file could not be written.
int RunSnapshot(const cli::ParsedArgs& args, const PictureWriter& write);

int RunOpen(const cli::ParsedArgs& args);

} // namespace device
