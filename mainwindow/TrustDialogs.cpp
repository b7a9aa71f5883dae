#include "TrustDialogs.h"

#include <QResizeEvent>
#include <QValidator>

#include "LanguageSrc.h"
#include "Secret.h"
#include "TrustMessages.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKPushButton.h"

namespace {

// Device texts and fingerprints are shown as they are, never as markup.
ZVKLabel* plainLabel(const QString& text, QWidget* parent, const char* name) {
    ZVKLabel* label = new ZVKLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setObjectName(QLatin1String(name));
    return label;
}

QLineEdit* passwordField(QWidget* parent, const char* name) {
    QLineEdit* field = new ZVKLineEdit(parent);
    field->setEchoMode(QLineEdit::Password);
    field->setMaxLength(64 * 4); // the rule counts characters; a UTF-8 one has up to 4 bytes
    field->setStyleSheet(
        QStringLiteral("color: rgb(46, 46, 46); background-color: rgb(177, 177, 177); "));
    field->setObjectName(QLatin1String(name));
    return field;
}

void wipe(QLineEdit* field) {
    QString text = field->text();
    text.fill(QLatin1Char('\0'));
    field->setText(text);
    field->clear();
}

// Takes a key only when the text stays something a code, or the label's QR
// text, can grow into; shows it upper case, as the label prints it.
class SetupCodeValidator : public QValidator {
public:
    SetupCodeValidator(const QString& mac, QObject* parent) : QValidator(parent), m_mac(mac) {}
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        std::string canonical;
        const CodeEntry entry = ReadCodeEntry(input, m_mac, &canonical);
        WipeSecret(&canonical);
        return entry == CodeEntry::Refused    ? Invalid
               : entry == CodeEntry::Complete ? Acceptable
                                              : Intermediate;
    }

private:
    QString m_mac;
};

const char kFieldSheet[] = "color: rgb(46, 46, 46); background-color: rgb(177, 177, 177); ";
const char kRefusedFieldSheet[] = "color: rgb(46, 46, 46); background-color: rgb(232, 178, 160); "
                                  "border: 1px solid rgb(200, 60, 40);";
const char kWarningText[] = "color: rgb(230, 120, 60);";

} // namespace

const char kSetupCodeFormat[] = "XXXX-XXXX-XXXX";

KeyConfirmDialog::KeyConfirmDialog(const QString& mac, const QString& fingerprint, QWidget* parent)
    : CustomDialog(parent) {
    setTitle(QStringLiteral("%1  %2").arg(GetText("IDCS_KEY_FINGERPRINT"), mac));
    m_text = plainLabel(GetText("IDCS_IDENTITY_UNVERIFIED_CONFIRM"), this, "confirmText");
    m_fingerprint = plainLabel(fingerprint, this, "fingerprint");
    m_fingerprint->setAlignment(Qt::AlignCenter);
    m_fingerprint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_yes = new ZVKPushButton(GetText("IDCS_YES"), this);
    m_yes->setObjectName(QStringLiteral("yesButton"));
    m_no = new ZVKPushButton(GetText("IDCS_NO"), this);
    m_no->setObjectName(QStringLiteral("noButton"));
    m_no->setDefault(true); // Return must not send a password by accident
    connect(m_yes, SIGNAL(clicked()), this, SLOT(accept()));
    connect(m_no, SIGNAL(clicked()), this, SLOT(reject()));
    resize(460, 220);
}

void KeyConfirmDialog::resizeEvent(QResizeEvent* event) {
    CustomDialog::resizeEvent(event);
    const int w = width(), h = height();
    m_text->setGeometry(20, kTitleHeight + 12, w - 40, 80);
    m_fingerprint->setGeometry(20, kTitleHeight + 100, w - 40, 26);
    m_no->setGeometry(w - 90, h - 27, 80, 23);
    m_yes->setGeometry(w - 180, h - 27, 80, 23);
}

ActivateDialog::ActivateDialog(const QString& mac, const QString& deviceName, QWidget* parent)
    : CustomDialog(parent), m_mac(mac), m_name(deviceName) {
    setTitle(QStringLiteral("%1  %2").arg(GetText("IDCS_ACTIVATE_DEVICE"), mac));
    m_info = plainLabel(GetText("IDCS_ACTIVATE_DEVICE_INFO") + QLatin1Char('\n') +
                            GetText("IDCS_SETUP_CODE_HINT"),
                        this, "activateInfo");
    m_codeLabel = plainLabel(GetText("IDCS_SETUP_CODE"), this, "setupCodeLabel");
    m_code = new ZVKLineEdit(this);
    m_code->setObjectName(QStringLiteral("setupCodeField"));
    m_code->setPlaceholderText(QLatin1String(kSetupCodeFormat));
    m_code->setValidator(new SetupCodeValidator(mac, m_code));
    m_code->setMaxLength(17 + 1 + 20); // a QR text: MAC, comma, code with spaces
    m_code->setStyleSheet(QLatin1String(kFieldSheet));
    m_codeVerdict = plainLabel(QString(), this, "codeVerdict");
    m_codeVerdict->setStyleSheet(QLatin1String(kWarningText));
    m_passwordLabel = plainLabel(GetText("IDCS_NEW_PASSWORD"), this, "passwordLabel");
    m_repeatLabel = plainLabel(GetText("IDCS_CONFIRM_PASSWORD"), this, "repeatLabel");
    m_password = passwordField(this, "passwordField");
    m_repeat = passwordField(this, "repeatField");
    m_rule = plainLabel(GetText("IDCS_PASSWORD_RULE"), this, "rule");
    m_verdict = plainLabel(QString(), this, "verdict");
    m_ok = new ZVKPushButton(GetText("IDCS_OK"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_cancel = new ZVKPushButton(GetText("IDCS_CANCEL"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(m_ok, SIGNAL(clicked()), this, SLOT(accept()));
    connect(m_cancel, SIGNAL(clicked()), this, SLOT(reject()));
    connect(m_code, SIGNAL(textChanged(QString)), this, SLOT(slot_textChanged()));
    connect(m_code, &QLineEdit::inputRejected, this, [this] { codeKeyRefused(); });
    connect(m_password, SIGNAL(textChanged(QString)), this, SLOT(slot_textChanged()));
    connect(m_repeat, SIGNAL(textChanged(QString)), this, SLOT(slot_textChanged()));
    slot_textChanged();
    resize(480, 400);
}

ActivateDialog::~ActivateDialog() { clearPassword(); }

QString ActivateDialog::password() const { return m_password->text(); }

std::string ActivateDialog::setupCode() const {
    std::string canonical;
    if (ReadCodeEntry(m_code->text(), m_mac, &canonical) != CodeEntry::Complete)
        WipeSecret(&canonical);
    return canonical;
}

void ActivateDialog::clearPassword() {
    wipe(m_password);
    wipe(m_repeat);
    wipe(m_code);
}

// A key the field did not take: the field and the line under it say so.
void ActivateDialog::codeKeyRefused() {
    m_code->setStyleSheet(QLatin1String(kRefusedFieldSheet));
    m_codeVerdict->setText(GetText("IDCS_SETUP_CODE_KEY_REFUSED"));
}

void ActivateDialog::slot_textChanged() {
    std::string canonical;
    const CodeEntry code = ReadCodeEntry(m_code->text(), m_mac, &canonical);
    WipeSecret(&canonical);
    const char* codeKey = CodeEntryKey(code);
    m_codeVerdict->setText(codeKey ? GetText(codeKey) : QString());
    m_code->setStyleSheet(QLatin1String(codeKey ? kRefusedFieldSheet : kFieldSheet));
    const QString a = m_password->text(), b = m_repeat->text();
    m_verdict->setText(
        a.isEmpty()
            ? QString()
            : ActivationVerdictText(ActivationVerdictKey(a, b, m_mac, m_name), a, m_mac, m_name));
    const bool ok = ActivationAcceptable(a, b, m_mac, m_name);
    m_ok->setEnabled(ok && code == CodeEntry::Complete);
    m_verdict->setStyleSheet(ok || a.isEmpty() ? QString() : QLatin1String(kWarningText));
}

void ActivateDialog::resizeEvent(QResizeEvent* event) {
    CustomDialog::resizeEvent(event);
    const int w = width(), h = height();
    const int top = kTitleHeight + 10;
    m_info->setGeometry(20, top, w - 40, 70);
    m_codeLabel->setGeometry(20, top + 76, 150, 24);
    m_code->setGeometry(180, top + 76, w - 200, 24);
    m_codeVerdict->setGeometry(20, top + 102, w - 40, 36);
    m_passwordLabel->setGeometry(20, top + 142, 150, 24);
    m_password->setGeometry(180, top + 142, w - 200, 24);
    m_repeatLabel->setGeometry(20, top + 176, 150, 24);
    m_repeat->setGeometry(180, top + 176, w - 200, 24);
    m_rule->setGeometry(20, top + 210, w - 40, 44);
    m_verdict->setGeometry(20, top + 258, w - 40, 40);
    m_cancel->setGeometry(w - 90, h - 27, 80, 23);
    m_ok->setGeometry(w - 180, h - 27, 80, 23);
}
