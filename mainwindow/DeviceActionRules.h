// What the window tells the installer about his device actions: the checks
// of the control bar's forms and the message for each outcome of a request.
// Pure rules, no widget, so that they test without a display.
#pragma once

#include <QString>

// The kind of message box a rule asks for.
enum class BoxKind { None, Warning, Error, Information };

// One message: its box and its text key (empty key with BoxKind::None).
struct ActionMessage {
    BoxKind kind = BoxKind::None;
    const char* key = "";
};

// True when `text` as a whole is four decimal numbers 0 to 255 of one to
// three digits (leading zeros allowed) joined by dots.
bool IsDottedQuad(const QString& text);

// The network form's checks in their order, on texts already trimmed: the
// MAC (no device selected), then IP, subnet mask and gateway, each empty
// before malformed. BoxKind::None when the request may go out.
ActionMessage CheckNetworkForm(const QString& mac, const QString& ip, const QString& subnet,
                               const QString& gateway);

// The restore form's check on the trimmed MAC: a warning when it is empty.
ActionMessage CheckRestoreForm(const QString& mac);

// The box for a result code of the manager's SetNetParam. A recorder's
// request (11) shows nothing; a device that left the list before the
// request went out (12) is said not to exist, since nothing was sent.
ActionMessage SetNetParamMessage(int code);

// Whether a password restore may go to a device of this type code: IP
// cameras and network keyboards only.
bool SupportsPasswordRestore(const QString& productSeries);

// The box after a password restore the device did or did not acknowledge.
ActionMessage RestoreResultMessage(bool acknowledged);
