// What the window tells the user about device identity and the device's
// own guards: the message for each new outcome of a request, and the live
// verdict under the activation form. Pure logic, testable without a display.
#pragma once

#include <QString>

#include <string>
#include <vector>

#include "SearchInfo.h"

#include "DeviceActionRules.h"

// The message for a SetNetParam or Activate outcome from 14 on (identity,
// lock-out, activation); BoxKind::None for any other code. A lock's text
// (IDCS_DEVICE_LOCKED_D) names the seconds left: see LockedText.
ActionMessage TrustOutcomeMessage(int code);

// The text of a message box: the key's text, with the seconds a locked
// device named put in for %1 of IDCS_DEVICE_LOCKED_D.
QString OutcomeText(const ActionMessage& message, int lockSeconds);

// The message for CLorvexManage::RestoreDevice's outcome: done, the reset
// button not pressed, or failed.
ActionMessage RestoreOutcomeMessage(int code);

// The message for CLorvexManage::Activate's outcome.
ActionMessage ActivateOutcomeMessage(int code);

// The message for CLorvexManage::Identify's outcome; for SETNET_DONE the
// key's %1 is the seconds the device shows itself.
ActionMessage IdentifyOutcomeMessage(int code);

// The key of the line shown under the activation form while typing: the
// rule itself while the password is empty, IDCS_PASSWORD_TOO_WEAK while it
// breaks the rule, IDCS_PASSWORD_MISMATCH while the two fields differ,
// IDCS_PASSWORD_RULE_MET when it may be sent.
const char* ActivationVerdictKey(const QString& password, const QString& repeat, const QString& mac,
                                 const QString& deviceName);

// The line under an activation form for a verdict key of
// ActivationVerdictKey: for IDCS_PASSWORD_TOO_WEAK the rule the password
// breaks, for the device with this MAC and name (length, kinds of
// characters, the device's MAC, its name); any other key's text.
QString ActivationVerdictText(const char* key, const QString& password, const QString& mac,
                              const QString& deviceName);
// The same for a password meant for every one of `devices` that needs
// activation: a rule broken for one device names that device.
QString ActivationVerdictText(const char* key, const QString& password,
                              const std::vector<SEARCH_INFO>& devices);

// True when the activation form may be sent.
bool ActivationAcceptable(const QString& password, const QString& repeat, const QString& mac,
                          const QString& deviceName);

// How far a setup code typed into the activation form is.
enum class CodeEntry {
    Refused,     // a character that neither a code nor a label's QR text has, or
                 // more than a code's 12 characters: the field takes no such key
    Partial,     // fewer than 12 characters so far
    Mistyped,    // 12 characters that fail the code's check, or a QR text
                 // whose MAC is no MAC
    OtherDevice, // a label's QR text ("MAC,CODE") of another device
    Complete,    // the device's code
};

// Reads `typed`: a setup code as printed on the label (any case, spaces
// and dashes anywhere, O, I and L read as 0, 1 and 1) or the label's QR
// text "MAC,CODE" as a barcode scanner types it. On Complete the code's
// canonical form is in *canonical; `mac` is the device's.
CodeEntry ReadCodeEntry(const QString& typed, const QString& mac, std::string* canonical);

// The key of the line under the code field, or null when the entry needs
// no word (empty, partial or complete).
const char* CodeEntryKey(CodeEntry entry);
