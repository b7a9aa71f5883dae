#include "DeviceActionRules.h"

#include "IpAddrEdit.h"
#include "LorvexManage.h"
#include "TrustMessages.h"

#include <QRegExp>

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

} // namespace

bool IsDottedQuad(const QString& text) {
    static const QRegExp pattern(IpAddrEdit::addressPattern());
    return QRegExp(pattern).exactMatch(text);
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

ActionMessage SetNetParamMessage(int code) {
    static const char* const kKeys[] = {"IDCS_IDCS_CHANGE_NETWORK_PARAM_SUCCESS",
                                        "IDCS_ERROR_IP_MASK_ALL1",
                                        "IDCS_ERROR_IP_MASK_ALL0",
                                        "IDCS_ERROR_USE_LOOPBACK",
                                        "IDCS_ERROR_IP_ROUTE_INVALID",
                                        "IDCS_ERROR_MASK_NOT_CONTINE",
                                        "IDCS_ERROR_DIFFERENT_SEGMENT",
                                        "IDCS_ERROR_ROUTE_MASK_ALL1",
                                        "IDCS_ERROR_ROUTE_MASK_ALL0",
                                        "IDCS_IDCS_CHANGE_NETWORK_PARAM_ERROR",
                                        "IDCS_IDCS_CHANGE_NETWORK_PARAM_ERROR"};
    if (code == CLorvexManage::SETNET_DONE)
        return {BoxKind::Information, kKeys[0]};
    if (code >= 1 && code <= CLorvexManage::SETNET_FAILED)
        return error(kKeys[code]);
    if (code == CLorvexManage::SETNET_NO_DEVICE)
        return error("IDCS_PROMPT_DEVICE_NOT_EXIST");
    // Refused before sending (the request would not fit one datagram): the
    // change did not happen, so the user hears it like any other failure.
    if (code == CLorvexManage::SETNET_TOO_LONG)
        return error(kKeys[9]);
    return TrustOutcomeMessage(code);
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
