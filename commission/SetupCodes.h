// Setup codes for a batch activation: the MAC and code of each device, as
// a barcode scanner types them from the devices' labels (one `MAC,CODE`
// line per label) or as a spreadsheet saves them. The text comes from the
// user (a file, a text box), so the reader is bounded; the codes are
// secrets like passwords and are never echoed in its messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "AddressPlan.h"

namespace commission {

// The largest codes text the reader takes.
constexpr size_t kMaxSetupCodesBytes = 1024 * 1024;
// The longest line: a MAC, a code in any spacing and a few separators fit
// many times over.
constexpr size_t kMaxSetupCodesLineBytes = 200;
// The most codes one text may give: the largest site one search lists.
constexpr size_t kMaxSetupCodes = 10000;

// Why a typed text is not a setup code.
enum class SetupCodeProblem {
    None,      // it is one
    Empty,     // nothing but spaces and dashes
    Character, // a character no setup code has (O, I and L count as 0, 1 and 1)
    Length,    // not 12 characters
    Check,     // 12 characters whose check fails: one is mistyped
};

// The typed code in canonical form ("ABCD-EFGH-JKMN") in *canonical when
// lorvex::trust::NormalizeSetupCode takes it (upper or lower case, spaces
// and dashes anywhere); otherwise why not, *canonical untouched.
SetupCodeProblem CheckSetupCode(std::string_view typed, std::string* canonical);

// The problem in English words, for the command line.
const char* SetupCodeProblemText(SetupCodeProblem problem);

struct SetupCodeEntry {
    std::string mac;  // canonical "AA:BB:CC:DD:EE:FF"
    std::string code; // canonical "ABCD-EFGH-JKMN"; a secret
    size_t line = 0;  // where it was given, from 1
};

// Why a codes text is refused.
enum class SetupCodesFault {
    None,
    TooLarge,    // over kMaxSetupCodesBytes
    TooMany,     // over kMaxSetupCodes codes
    LongLine,    // a line over kMaxSetupCodesLineBytes
    ControlByte, // a NUL or other control byte (a tab separates cells)
    Shape,       // not two cells, MAC and code
    NotMac,      // the first cell is not a MAC address
    NotCode,     // the second cell is not a setup code (typo, wrong length, failed check)
    Repeated,    // a MAC given a second time
};

struct SetupCodesError {
    SetupCodesFault fault = SetupCodesFault::None;
    size_t line = 0;      // the line at fault; 0 for the text as a whole
    size_t firstLine = 0; // Repeated: where the MAC was given first
    std::string mac;      // Repeated: the MAC (never a code)
    SetupCodeProblem problem = SetupCodeProblem::None; // NotCode: why
};

// Reads `text` into one entry per device, in the text's order. Lines end in
// LF, CRLF or CR alone (scanners send any of them); a UTF-8 byte-order mark
// at the start, blank lines, and spaces around cells are ignored. Cells are
// separated by a comma, a semicolon or a tab and may be in double quotes;
// empty cells are ignored (a spreadsheet pads rows with them). A line whose
// first cell is "mac" in any case is a header and skipped, wherever it is
// (label files joined one after another). Codes are checked and normalised
// by CheckSetupCode. Fails, with `out` empty (every code read wiped) and
// `error` naming the first fault and its line, for any other line that is
// not `MAC,CODE`, or one that repeats a MAC.
bool ReadSetupCodes(std::string_view text, std::vector<SetupCodeEntry>* out,
                    SetupCodesError* error);

// The fault in English, one line, with the line number; never a code.
std::string SetupCodesErrorText(const SetupCodesError& error);

// Overwrites every code and empties the list.
void WipeSetupCodes(std::vector<SetupCodeEntry>* codes);

// Gives every plan entry the code its device's MAC has in `codes` and wipes
// any code it held before; an entry whose MAC has none keeps none. Returns
// how many entries have a code.
size_t AssignSetupCodes(std::vector<PlanEntry>* plan, const std::vector<SetupCodeEntry>& codes);

} // namespace commission
