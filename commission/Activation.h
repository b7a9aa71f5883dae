// Batch activation: first passwords for many not activated devices at once,
// either one the installer typed or a different generated one per device,
// which then exists only in a secret CSV file the installer keeps.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "AddressPlan.h"
#include "SearchInfo.h"

namespace commission {

// The characters of a generated password: letters and digits without the
// ones people misread or mistype from a printout (0 O o Q q, 1 I i l, 2 Z z,
// 5 S s, 8 B, 6 G g b, 9, u U v V), and no character a spreadsheet would
// take for the start of a formula.
extern const char kGeneratedPasswordAlphabet[];
// Characters per generated password (about 72 bits from the alphabet).
constexpr size_t kGeneratedPasswordLength = 14;

// A password from libsodium's random generator over kGeneratedPasswordAlphabet
// that meets the first-password rule for this device (CheckPasswordStrength:
// it holds a lower-case letter, an upper-case letter and a digit, and is not
// the device's MAC or name). Empty only when libsodium cannot start.
std::string GeneratePassword(std::string_view mac, std::string_view deviceName);

// The selected devices as an activation plan, in their order: each entry
// keeps the device's own addresses (an activation changes none) and no
// password.
std::vector<PlanEntry> ActivationPlan(const std::vector<SEARCH_INFO>& selected);

// True when the device reports that it has no password yet; any other
// device is skipped by an activation batch, never sent a first password.
bool NeedsActivation(const SEARCH_INFO& record);

// Gives every entry for which `needs` holds (by the entry's index) a
// generated password of its own and wipes any other entry's. False when
// one cannot be generated; then no entry keeps one.
bool GeneratePasswords(std::vector<PlanEntry>* plan, const std::vector<bool>& needs);

// The columns of the secret passwords file, in this order.
extern const char* const kSecretColumns[];
extern const size_t kSecretColumnCount;

// The secret passwords file of `plan`: a header and one record per entry
// with a password (MAC, name, type, address, password), with a byte-order
// mark and CRLF line ends. The caller wipes the text.
std::string SecretPasswordsCsv(const std::vector<PlanEntry>& plan);

// Writes SecretPasswordsCsv(plan) to a new file at `path` that only its
// owner may read or write (mode 0600). Refuses, with `error` saying why and
// nothing written, a path that exists already (also a link) or cannot be
// created; a file written short is removed again. Every copy of the text
// is wiped before returning.
bool WriteSecretPasswordsFile(const std::string& path, const std::vector<PlanEntry>& plan,
                              std::string* error);

// Gives a generated first password to every entry of `plan` that asks for
// one (PlanEntry::generatePassword), has a setup code and for which
// `takesOne` holds (the device is listed without a password), and writes
// those entries, and only those, to a new secret file at `path` with
// WriteSecretPasswordsFile before anything is sent. `count`: how many; with
// none nothing is written. False, with `error`, when a password or the file
// cannot be made: the caller sends nothing and wipes the plan.
bool GeneratePlanPasswords(std::vector<PlanEntry>* plan,
                           const std::function<bool(const PlanEntry&)>& takesOne,
                           const std::string& path, size_t* count, std::string* error);

} // namespace commission
