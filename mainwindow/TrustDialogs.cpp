#include "TrustDialogs.h"

#include <QResizeEvent>

#include "LanguageSrc.h"
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

} // namespace

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
    m_info = plainLabel(GetText("IDCS_ACTIVATE_DEVICE_INFO"), this, "activateInfo");
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
    connect(m_password, SIGNAL(textChanged(QString)), this, SLOT(slot_textChanged()));
    connect(m_repeat, SIGNAL(textChanged(QString)), this, SLOT(slot_textChanged()));
    slot_textChanged();
    resize(460, 290);
}

ActivateDialog::~ActivateDialog() { clearPassword(); }

QString ActivateDialog::password() const { return m_password->text(); }

void ActivateDialog::clearPassword() {
    wipe(m_password);
    wipe(m_repeat);
}

void ActivateDialog::slot_textChanged() {
    const QString a = m_password->text(), b = m_repeat->text();
    m_verdict->setText(
        a.isEmpty()
            ? QString()
            : ActivationVerdictText(ActivationVerdictKey(a, b, m_mac, m_name), a, m_mac, m_name));
    const bool ok = ActivationAcceptable(a, b, m_mac, m_name);
    m_ok->setEnabled(ok);
    m_verdict->setStyleSheet(ok || a.isEmpty() ? QString()
                                               : QStringLiteral("color: rgb(230, 120, 60);"));
}

void ActivateDialog::resizeEvent(QResizeEvent* event) {
    CustomDialog::resizeEvent(event);
    const int w = width(), h = height();
    const int top = kTitleHeight + 10;
    m_info->setGeometry(20, top, w - 40, 40);
    m_passwordLabel->setGeometry(20, top + 50, 150, 24);
    m_password->setGeometry(180, top + 50, w - 200, 24);
    m_repeatLabel->setGeometry(20, top + 84, 150, 24);
    m_repeat->setGeometry(180, top + 84, w - 200, 24);
    m_rule->setGeometry(20, top + 118, w - 40, 44);
    m_verdict->setGeometry(20, top + 166, w - 40, 40);
    m_cancel->setGeometry(w - 90, h - 27, 80, 23);
    m_ok->setGeometry(w - 180, h - 27, 80, 23);
}
