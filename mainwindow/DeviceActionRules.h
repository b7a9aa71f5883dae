// What the window tells the installer about his device actions: the checks
// of the control bar's forms and the message for each outcome of a request.
// Pure rules, no widget, so that they test without a display.
#pragma once

#include "BatchRunner.h"
#include "Outcomes.h"

#include <QList>
#include <QString>

struct DevInfo;

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

// The box for an outcome: its text key from lorvex::Outcome's table, an
// information for done and already activated, a warning for no answer
// (the device may have acted), an error otherwise. A recorder's request
// (NotIpCamera), unknown results and outcomes without a key show nothing.
ActionMessage OutcomeMessage(lorvex::Outcome outcome);

// The box for a result code of the manager's SetNetParam (OutcomeMessage of
// its outcome). The window verifies 0, 9 and 11 before it tells anything
// (ReaddressOutcome).
ActionMessage SetNetParamMessage(int code);

// How a single re-address ended once verified as a batch verifies its
// devices (commission::AwaitsVerification, ShowsEntry, UnverifiedStatus):
// the box and its text, naming the device (`device`: "name (MAC)"), its
// new address and the verification bound in seconds. Done, NotConfirmed,
// Gone and Refused for no answer have texts of their own; any other state
// gives BoxKind::None.
struct OutcomeBox {
    BoxKind kind = BoxKind::None;
    QString text;
};
OutcomeBox ReaddressOutcome(commission::BatchState state, commission::RefusalReason reason,
                            const QString& device, const QString& ip, int boundSeconds);

// "Name (MAC)", or the MAC alone for a device without a name.
QString DeviceNaming(const QString& mac, const QString& name);

// The text of the box for a password a device refused, with what is known
// of the tries before it locks itself: `refused` wrong passwords this
// window counted for it since it last took one. Others (another copy of
// the tool, a colleague) may have tried too, so it says "at most".
QString WrongPasswordText(int refused);

// One address of the PC: its card's name, address and mask (dotted quads).
struct HostAddress {
    QString name, ip, mask;
};

// Why a new address deserves a second thought before it is sent: the key of
// the warning and, for a held address, who holds it ("eth0", or the
// device's name and MAC).
struct AddressWarning {
    const char* key = "";
    QString holder;
};

// The warnings for giving `newIp` to the listed device `mac`, in this order:
// the PC itself holds it (IDCS_ADDRESS_HELD_BY_PC_D); another listed device
// holds it at its address or its second one (IDCS_ADDRESS_HELD_BY_DEVICE_D);
// it lies in no subnet of the PC's cards, so the device will be reached only
// at its link-local address (IDCS_ADDRESS_OUTSIDE_SUBNETS; not given when
// the PC has no address). Empty when none applies or `newIp` is no dotted
// quad. MACs compare without regard to case.
QList<AddressWarning> AddressWarnings(const QString& mac, const QString& newIp,
                                      const QList<HostAddress>& host,
                                      const QList<DevInfo*>& devices);

// True when address, mask and gateway (dotted quads) pass the address rules
// the engine checks before sending (CheckNetParam).
bool PassesAddressRules(const QString& ip, const QString& mask, const QString& gateway);

// True when `ip` lies in a subnet of one of the PC's cards.
bool InHostSubnet(const QString& ip, const QList<HostAddress>& host);

// Whether a password restore may go to a device of this type code: IP
// cameras and network keyboards only.
bool SupportsPasswordRestore(const QString& productSeries);

// The box after a password restore the device did or did not acknowledge.
ActionMessage RestoreResultMessage(bool acknowledged);
