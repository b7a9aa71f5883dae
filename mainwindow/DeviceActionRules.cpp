#include "DeviceActionRules.h"

#include "DevInfo.h"
#include "IpAddrEdit.h"
#include "LanguageSrc.h"
#include "LorvexManage.h"
#include "TrustMessages.h"
#include "TrustWire.h"

#include "NetParam.h"
#include "Outcomes.h"

#include <QRegExp>

#include <arpa/inet.h>

namespace {

const ActionMessage kNoMessage{};

ActionMessage error(const char* key) { return {BoxKind::Error, key}; }

// Empty, then malformed: the two keys of one address field.
ActionMessage checkAddress(const QString& text, const char* emptyKey, const char* invalidKey) {
    if (text.isEmpty())
        return error(emptyKey);
    if (!IsDottedQuad(text))
        return error(invalidKey);
    return kNoMessage;
}

// The address as a number; false for anything but a dotted quad.
bool addressValue(const QString& text, quint32* value) {
    if (!IsDottedQuad(text))
        return false;
    quint32 v = 0;
    for (const QString& part : text.split(QLatin1Char('.')))
        v = (v << 8) | part.toUInt();
    *value = v;
    return true;
}

} // namespace

bool PassesAddressRules(const QString& ip, const QString& mask, const QString& gateway) {
    quint32 values[3] = {};
    if (!addressValue(ip, &values[0]) || !addressValue(mask, &values[1]) ||
        !addressValue(gateway, &values[2]))
        return false;
    return CheckNetParam(htonl(values[0]), htonl(values[1]), htonl(values[2]), nullptr);
}

bool InHostSubnet(const QString& ip, const QList<HostAddress>& host) {
    quint32 address = 0;
    if (!addressValue(ip, &address))
        return false;
    for (const HostAddress& card : host) {
        quint32 cardIp = 0, mask = 0;
        if (addressValue(card.ip, &cardIp) && addressValue(card.mask, &mask) &&
            (cardIp & mask) == (address & mask))
            return true;
    }
    return false;
}

QList<AddressWarning> AddressWarnings(const QString& mac, const QString& newIp,
                                      const QList<HostAddress>& host,
                                      const QList<DevInfo*>& devices) {
    QList<AddressWarning> warnings;
    quint32 wanted = 0;
    if (!addressValue(newIp, &wanted))
        return warnings;
    // Compared as numbers: "010.0.0.5" and "10.0.0.5" are one address.
    const auto same = [wanted](const QString& text) {
        quint32 v = 0;
        return addressValue(text, &v) && v == wanted;
    };
    for (const HostAddress& card : host) {
        if (same(card.ip))
            warnings.append({"IDCS_ADDRESS_HELD_BY_PC_D", card.name});
    }
    for (const DevInfo* device : devices) {
        if (device->mac.compare(mac, Qt::CaseInsensitive) == 0)
            continue;
        if (same(device->ipAddr) || same(device->ipAddr2))
            warnings.append({"IDCS_ADDRESS_HELD_BY_DEVICE_D",
                             QStringLiteral("%1 (%2)").arg(device->devName, device->mac)});
    }
    if (!host.isEmpty() && !InHostSubnet(newIp, host))
        warnings.append({"IDCS_ADDRESS_OUTSIDE_SUBNETS", QString()});
    return warnings;
}

bool IsDottedQuad(const QString& text) {
    // One matcher per thread (a QRegExp keeps its last match): copying one
    // for every call cost more than the match while rows are marked.
    static thread_local const QRegExp pattern(IpAddrEdit::addressPattern());
    return pattern.exactMatch(text);
}

ActionMessage CheckNetworkForm(const QString& mac, const QString& ip, const QString& subnet,
                               const QString& gateway) {
    if (mac.isEmpty())
        return {BoxKind::Warning, "IDCS_NETWORK_PARAM_EMPTY"};
    const ActionMessage checks[] = {
        checkAddress(ip, "IDCS_PROMPT_IPADDRESS_EMPTY", "IDCS_PROMPT_IPADDRESS_INVALID"),
        checkAddress(subnet, "IDCS_PROMPT_SUBNET_MASK_EMPTY", "IDCS_PROMPT_SUBNET_MASK_INVALID"),
        checkAddress(gateway, "IDCS_PROMPT_GATEWAY_EMPTY", "IDCS_PROMPT_GATEWAY_INVALID")};
    for (const ActionMessage& check : checks) {
        if (check.kind != BoxKind::None)
            return check;
    }
    return kNoMessage;
}

ActionMessage CheckRestoreForm(const QString& mac) {
    if (mac.isEmpty())
        return {BoxKind::Warning, "IDCS_MAC_ADDRESS_EMPTY_ERROR"};
    return kNoMessage;
}

ActionMessage OutcomeMessage(lorvex::Outcome outcome) {
    using lorvex::Outcome;
    const char* key = lorvex::RowOf(outcome).key;
    // A recorder's request awaits no answer, and a result this tool does not
    // know says nothing the installer could act on.
    if (*key == '\0' || outcome == Outcome::NotIpCamera || outcome == Outcome::UnknownResult)
        return kNoMessage;
    switch (outcome) {
    case Outcome::Done:
    case Outcome::AlreadyActive:
        return {BoxKind::Information, key};
    // The request went out and no answer came back: the device may well
    // have taken the addresses, so this is no refusal and no success.
    case Outcome::NoAnswer:
        return {BoxKind::Warning, key};
    default:
        return error(key);
    }
}

ActionMessage SetNetParamMessage(int code) { return OutcomeMessage(lorvex::OutcomeOfResult(code)); }

OutcomeBox ReaddressOutcome(commission::BatchState state, commission::RefusalReason reason,
                            const QString& device, const QString& ip, int boundSeconds) {
    using commission::BatchState;
    // Only the no-answer text names the bound: Qt warns of an argument
    // without its place.
    const auto box = [&](BoxKind kind, const char* key) {
        const QString text = GetText(key);
        return OutcomeBox{kind, text.contains(QLatin1String("%3"))
                                    ? text.arg(device, ip, QString::number(boundSeconds))
                                    : text.arg(device, ip)};
    };
    switch (state) {
    case BatchState::Done:
        return box(BoxKind::Information, "IDCS_SET_NETWORK_DONE_D");
    case BatchState::NotConfirmed:
        return box(BoxKind::Warning, "IDCS_SET_NETWORK_NOT_CONFIRMED_D");
    case BatchState::Gone:
        return box(BoxKind::Warning, "IDCS_SET_NETWORK_GONE_AFTER_D");
    case BatchState::Refused:
        if (reason == commission::RefusalReason::NoAnswer)
            return box(BoxKind::Error, "IDCS_SET_NETWORK_NO_ANSWER_D");
        break;
    default:
        break;
    }
    return {};
}

QString DeviceNaming(const QString& mac, const QString& name) {
    return name.isEmpty() ? mac : QStringLiteral("%1 (%2)").arg(name, mac);
}

QString WrongPasswordText(int refused) {
    const int left = qMax(1, lorvex::trust::kWrongPasswordsBeforeLock - refused);
    const QString tries = left > 1 ? GetText("IDCS_PASSWORD_TRIES_LEFT_D").arg(left)
                                   : GetText("IDCS_PASSWORD_LAST_TRY");
    return GetText("IDCS_IDCS_CHANGE_NETWORK_PARAM_ERROR") + QStringLiteral("\n\n") + tries;
}

bool SupportsPasswordRestore(const QString& productSeries) {
    return productSeries == QLatin1String("ZVK_IPC") ||
           productSeries == QLatin1String("ZVK_NETKEYBOARD");
}

ActionMessage RestoreResultMessage(bool acknowledged) {
    if (acknowledged)
        return {BoxKind::Information, "IDCS_RESTORE_DEVICE_PASSWORD_SUCCESS"};
    return error("IDCS_RESTORE_DEVICE_PASSWORD_ERROR");
}
