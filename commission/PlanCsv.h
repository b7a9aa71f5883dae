// Plans as CSV files: importing a plan an installer edited in a spreadsheet
// (or a device list exported by the tool, with its addresses edited), and
// writing a plan with each device's outcome. Passwords are read from a plan
// file but never written to one.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "AddressPlan.h"
#include "BatchRunner.h"
#include "Csv.h"

namespace commission {

// The columns of a plan file as written, in this order. On import only
// `mac` (or `endpoint`) and the three addresses are needed; the address columns may
// instead be named as in an exported device list (ipAddr, mask, route),
// the new-value names winning when both are present; `httpPort`,
// `dataPort`, `password`, `setupCode`, `name`, `ntp` and `timeZone` are
// optional, and other columns are ignored. Setup codes and passwords are
// read but never written.
extern const char* const kPlanColumns[];
extern const size_t kPlanColumnCount;

// The password cell that asks for a generated first password.
extern const char kGeneratePasswordCell[]; // "(generate)"

// The longest NTP server and time zone texts a plan takes.
constexpr size_t kMaxPlanNtpBytes = 253;
constexpr size_t kMaxPlanTimeZoneBytes = 64;

// The rules a plan's steps meet, in a plan file and in the window alike:
// a name a device may carry (lorvex::wire::IsDeviceName); an NTP server of
// 1 to kMaxPlanNtpBytes letters, digits, dots, dashes and colons; a time
// zone of 1 to kMaxPlanTimeZoneBytes letters, digits and the signs of a
// POSIX TZ text.
bool IsPlanName(const std::string& name);
bool IsPlanNtpServer(const std::string& server);
bool IsPlanTimeZone(const std::string& zone);

// The longest endpoint a plan file may name (as long as discovery keeps one).
constexpr size_t kMaxPlanEndpointBytes = 512;

// Reads a plan from a CSV text for devices of `listed`, in the file's order.
// A record names its device by the `mac` cell; when that cell is empty (or
// the column absent), by the `endpoint` cell: an ONVIF camera whose
// scopes name no MAC (PlanDevice::endpoint). A record naming a device by
// endpoint that also has a MAC is that device, and counts as it for "twice".
// Empty ports and "0" keep the device's port. A record that asks a device
// for the address, mask, gateway and ports it already has is left out of
// the plan (no request), and its address is not counted as a target. Fails with `error` naming the
// line and the fault, and `plan` empty, for any fault of Csv.h and for: a
// header without mac or one of the address columns, or with a column twice
// (line 1); a record with another number of fields than the header, a MAC
// that is no MAC, an endpoint over kMaxPlanEndpointBytes or with a control
// character, a device twice, a MAC or endpoint not listed, an address that is no
// dotted quad or that breaks an address rule (named), a target address
// twice or held by another listed device, a port other than 1 to 65535, a
// name a device may not carry (lorvex::wire::IsDeviceName), a setup code
// that is none (the code itself is not repeated), an NTP server other than
// letters, digits, dots, dashes and colons, a time zone with other than
// letters, digits and the signs of a POSIX TZ text. A record asking a
// name, setup code, clock or generated password is never left out.
bool ImportPlan(std::string_view text, const std::vector<PlanDevice>& listed,
                std::vector<PlanEntry>* plan, CsvError* error);

// The plan as CSV with a header row, one record per entry with the
// device's current address and, when `statuses` has an entry for it, its
// status and detail. No passwords. Columns of the caller's own follow the
// plan's: `extraHeaders`, and for each entry `extraCells(index)` (missing
// cells are empty, surplus ones dropped).
std::string
ExportPlan(const std::vector<PlanEntry>& plan, const std::vector<DeviceStatus>& statuses,
           const std::vector<std::string>& extraHeaders = {},
           const std::function<std::vector<std::string>(size_t index)>& extraCells = {});

} // namespace commission
