#include "TrustMessages.h"

#include <algorithm>
#include <cstring>
#include <string.h>

#include "Activation.h"
#include "LanguageSrc.h"
#include "LorvexManage.h"
#include "Secret.h"
#include "SetupCodes.h"
#include "TrustWire.h"

namespace {

ActionMessage Error(const char* key) { return {BoxKind::Error, key}; }

} // namespace

ActionMessage TrustOutcomeMessage(int code) {
    using lorvex::Outcome;
    const Outcome outcome = lorvex::OutcomeOfResult(code);
    switch (outcome) {
    case Outcome::Unverified:
    case Outcome::IdentityConflict:
    case Outcome::Locked:
    case Outcome::NotActivated:
    case Outcome::NoPresence:
    case Outcome::WeakPassword:
    case Outcome::AlreadyActive:
    case Outcome::SetupCodeWrong:
        return OutcomeMessage(outcome);
    default:
        return {};
    }
}

ActionMessage RestoreOutcomeMessage(int code) {
    if (code == CLorvexManage::SETNET_DONE)
        return {BoxKind::Information, "IDCS_RESTORE_DEVICE_PASSWORD_SUCCESS"};
    if (code == CLorvexManage::SETNET_NO_PRESENCE)
        return Error("IDCS_RESET_BUTTON_NOT_PRESSED");
    return Error("IDCS_RESTORE_DEVICE_PASSWORD_ERROR");
}

ActionMessage ActivateOutcomeMessage(int code) {
    if (code == CLorvexManage::SETNET_DONE)
        return {BoxKind::Information, "IDCS_ACTIVATE_DEVICE_SUCCESS"};
    const ActionMessage own = TrustOutcomeMessage(code);
    if (own.kind != BoxKind::None)
        return own;
    if (code == CLorvexManage::SETNET_NO_DEVICE)
        return Error("IDCS_PROMPT_DEVICE_NOT_EXIST");
    return Error("IDCS_IDCS_CHANGE_NETWORK_PARAM_ERROR");
}

ActionMessage IdentifyOutcomeMessage(int code) {
    switch (code) {
    case CLorvexManage::SETNET_DONE:
        return {BoxKind::Information, "IDCS_IDENTIFY_DONE_D"};
    case CLorvexManage::SETNET_NO_ANSWER:
        return {BoxKind::Warning, "IDCS_IDENTIFY_NO_ANSWER"};
    case CLorvexManage::SETNET_NO_DEVICE:
        return Error("IDCS_PROMPT_DEVICE_NOT_EXIST");
    case CLorvexManage::SETNET_TOO_LONG:
        return Error("IDCS_SET_NETWORK_TOO_LONG");
    default:
        break;
    }
    const ActionMessage own = TrustOutcomeMessage(code);
    return own.kind != BoxKind::None ? own : Error("IDCS_IDENTIFY_REFUSED");
}

const char* ActivationVerdictKey(const QString& password, const QString& repeat, const QString& mac,
                                 const QString& deviceName) {
    if (password.isEmpty())
        return "IDCS_PASSWORD_RULE";
    const QByteArray utf8 = password.toUtf8();
    if (lorvex::trust::CheckPasswordStrength(utf8.toStdString(), mac.toStdString(),
                                             deviceName.toStdString()) !=
        lorvex::trust::PASSWORD_OK)
        return "IDCS_PASSWORD_TOO_WEAK";
    if (password != repeat)
        return "IDCS_PASSWORD_MISMATCH";
    return "IDCS_PASSWORD_RULE_MET";
}

namespace {

// "Name (MAC)", or the MAC alone for a device without a name.
QString deviceText(const QString& mac, const QString& name) {
    return name.isEmpty() ? mac : QStringLiteral("%1 (%2)").arg(name, mac);
}

// The sentence for a broken rule; empty when the password passes.
QString weakText(const QString& password, const QString& mac, const QString& name) {
    const QByteArray utf8 = password.toUtf8();
    switch (lorvex::trust::CheckPasswordStrength(utf8.toStdString(), mac.toStdString(),
                                                 name.toStdString())) {
    case lorvex::trust::PASSWORD_OK:
        return QString();
    case lorvex::trust::PASSWORD_LENGTH:
        return GetText("IDCS_PASSWORD_WEAK_LENGTH");
    case lorvex::trust::PASSWORD_CLASSES:
        return GetText("IDCS_PASSWORD_WEAK_CLASSES");
    case lorvex::trust::PASSWORD_IS_MAC:
        return GetText("IDCS_PASSWORD_WEAK_MAC_D").arg(deviceText(mac, name));
    case lorvex::trust::PASSWORD_IS_NAME:
        return GetText("IDCS_PASSWORD_WEAK_NAME_D").arg(deviceText(mac, name));
    }
    return GetText("IDCS_PASSWORD_TOO_WEAK");
}

QString field(const char* text, size_t width) {
    return QString::fromUtf8(text, int(strnlen(text, width)));
}

} // namespace

QString ActivationVerdictText(const char* key, const QString& password, const QString& mac,
                              const QString& deviceName) {
    if (std::strcmp(key, "IDCS_PASSWORD_TOO_WEAK") != 0)
        return GetText(key);
    const QString rule = weakText(password, mac, deviceName);
    return rule.isEmpty() ? GetText(key) : rule;
}

QString ActivationVerdictText(const char* key, const QString& password,
                              const std::vector<SEARCH_INFO>& devices) {
    if (std::strcmp(key, "IDCS_PASSWORD_TOO_WEAK") != 0)
        return GetText(key);
    QString rule = weakText(password, QString(), QString());
    for (const SEARCH_INFO& d : devices) {
        if (!rule.isEmpty())
            break;
        if (commission::NeedsActivation(d))
            rule =
                weakText(password, field(d.mac, sizeof d.mac), field(d.devName, sizeof d.devName));
    }
    return rule.isEmpty() ? GetText(key) : rule;
}

bool ActivationAcceptable(const QString& password, const QString& repeat, const QString& mac,
                          const QString& deviceName) {
    return qstrcmp(ActivationVerdictKey(password, repeat, mac, deviceName),
                   "IDCS_PASSWORD_RULE_MET") == 0;
}

QString OutcomeText(const ActionMessage& message, int lockSeconds) {
    const QString text = GetText(message.key);
    if (std::strcmp(message.key, "IDCS_DEVICE_LOCKED_D") == 0)
        return text.arg(lockSeconds);
    return text;
}

namespace {

// The code's own characters, and what the form reads as them.
bool CodeCharacter(QChar c) {
    static const QString kTyped = QStringLiteral("0123456789ABCDEFGHJKMNPQRSTVWXYZOIL -");
    return kTyped.contains(c.toUpper());
}

// The characters of a code without its spaces and dashes.
int CodeLength(const QString& code) {
    int n = 0;
    for (QChar c : code)
        n += c != QLatin1Char(' ') && c != QLatin1Char('-') ? 1 : 0;
    return n;
}

// What a QR text's MAC part may hold while it is being typed.
bool MacCharacter(QChar c) {
    return c == QLatin1Char(':') || (c.isDigit() && c.unicode() < 0x80) ||
           (c.toUpper() >= QLatin1Char('A') && c.toUpper() <= QLatin1Char('F'));
}

} // namespace

CodeEntry ReadCodeEntry(const QString& typed, const QString& mac, std::string* canonical) {
    QString code = typed;
    const int comma = typed.indexOf(QLatin1Char(','));
    const bool qrText = comma >= 0 || typed.contains(QLatin1Char(':'));
    if (qrText) {
        const QString macPart = comma >= 0 ? typed.left(comma).trimmed() : typed.trimmed();
        if (macPart.size() > 17 || !std::all_of(macPart.begin(), macPart.end(), MacCharacter))
            return CodeEntry::Refused;
        if (comma < 0)
            return CodeEntry::Partial;
        char canonicalMac[18];
        if (!CLorvexManage::NormalizeMac(macPart.toLatin1().constData(), canonicalMac))
            return CodeEntry::Mistyped;
        if (QString::fromLatin1(canonicalMac).compare(mac, Qt::CaseInsensitive) != 0)
            return CodeEntry::OtherDevice;
        code = typed.mid(comma + 1);
    }
    if (!std::all_of(code.begin(), code.end(), CodeCharacter) || CodeLength(code) > 12)
        return CodeEntry::Refused;
    if (CodeLength(code) < 12)
        return CodeEntry::Partial;
    QByteArray latin = code.toLatin1();
    std::string out;
    const bool good =
        commission::CheckSetupCode(std::string_view(latin.constData(), size_t(latin.size())),
                                   &out) == commission::SetupCodeProblem::None;
    explicit_bzero(latin.data(), size_t(latin.size()));
    if (!good)
        return CodeEntry::Mistyped;
    // Copied, not moved: a moved short string leaves its bytes behind.
    WipeSecret(canonical);
    canonical->assign(out);
    WipeSecret(&out);
    return CodeEntry::Complete;
}

const char* CodeEntryKey(CodeEntry entry) {
    switch (entry) {
    case CodeEntry::Mistyped:
        return "IDCS_SETUP_CODE_MISTYPED";
    case CodeEntry::OtherDevice:
        return "IDCS_SETUP_CODE_OTHER_DEVICE";
    case CodeEntry::Refused:
    case CodeEntry::Partial:
    case CodeEntry::Complete:
        break;
    }
    return nullptr;
}
