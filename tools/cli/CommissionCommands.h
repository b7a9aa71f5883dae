// lorvex-search's commissioning commands: plan (consecutive addresses for a
// selection of the devices found, or a plan file checked against them) and
// apply (a plan file carried out one device at a time, each verified at its
// new address by the running search).
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "LorvexManage.h"

namespace commission_cli {

// plan --start A --mask M --gateway G [--mac LIST] [--type CODE]
// [--subnet A/N] [--http-port N --data-port N] [--no-probe] [--seconds S],
// or plan --from FILE [--seconds S]: searches S seconds (default 3), then
// prints the plan as CSV on stdout and the skipped addresses on stderr.
// 0 when a plan was made; 1 when it cannot be (the reason on stderr,
// naming the device and the rule, or the file's line); 2 for bad arguments.
int RunPlan(const cli::ParsedArgs& args);

// apply FILE [--password P|-] [--seconds S] [--output FILE]: searches until
// every device of the plan is listed (at most S seconds, default 5), then
// carries the plan out and prints one line per device as its outcome is
// known and a summary. 0 when every device is done; 1 when some are not; 2
// for bad arguments or a bad plan file (then nothing is sent); 130 when
// interrupted (the devices not reached are skipped). --output writes the
// plan with every outcome as CSV, without passwords.
int RunApply(const cli::ParsedArgs& args);

// activate MAC [--password P|-] [--setup-code CODE|- | --setup-codes FILE]
// [--accept-key FP] [--seconds S]: one device, as device::RunActivate.
// Without a MAC, or with a selection: activate --setup-codes FILE [--mac
// LIST] [--type CODE] [--subnet A/N] [--password P|- |
// --generate-passwords FILE] [--output FILE] [--seconds S] reads the
// devices' setup codes from FILE (MAC,CODE lines; refused with its line
// before anything is searched or sent), searches S seconds (default 3;
// with --mac until all are listed), then gives each selected device that
// has no password yet its first one, one request at a time; devices with
// a password are reported skipped, and so are devices FILE gives no code
// ("no setup code"): neither gets a request. The password is the CLI's
// (checked against the rule before the search), or with
// --generate-passwords a different generated one per device that has a
// code, written first to FILE (new, mode 0600, never overwritten) and
// nowhere else. One line per device and a summary, never a code. 0 when
// every device that needed it was activated; 1 when not, or none needed
// it; 2 for bad arguments, a bad codes file, a selected MAC not found or a
// file that cannot be written (then nothing is sent); 130 when interrupted.
int RunActivate(const cli::ParsedArgs& args);

// Checks the filter options of a batch selection (--type CODE, --subnet
// A/N); false, with the reason in *error, for a bad value.
bool ReadMakerFilter(const cli::ParsedArgs& args, std::string* error);

// The maker's devices listed by manager that a batch selection names: those
// of macs (in that order; every listed device, by MAC, when macs is empty)
// that pass the filter options of args (already checked). *missing lists
// the MACs of macs not listed, separated by ", ".
std::vector<SEARCH_INFO> SelectMakerDevices(const cli::ParsedArgs& args,
                                            const std::vector<std::string>& macs,
                                            CLorvexManage& manager, std::string* missing);

} // namespace commission_cli
