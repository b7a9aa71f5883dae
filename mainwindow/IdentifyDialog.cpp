#include "IdentifyDialog.h"

#include <QResizeEvent>

#include "LanguageSrc.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKPushButton.h"

IdentifyDialog::IdentifyDialog(const QString& mac, const QString& device, int seconds,
                               QWidget* parent)
    : CustomDialog(parent) {
    setTitle(QStringLiteral("%1  %2").arg(GetText("IDCS_IDENTIFY_TITLE"), mac));
    // The device's name comes from the LAN: shown as text, never as markup.
    m_info = new ZVKLabel(GetText("IDCS_IDENTIFY_INFO_D").arg(device).arg(seconds), this);
    m_info->setTextFormat(Qt::PlainText);
    m_info->setWordWrap(true);
    m_info->setObjectName(QStringLiteral("identifyInfo"));
    m_passwordLabel = new ZVKLabel(GetText("IDCS_PASSWORD"), this);
    m_password = new ZVKLineEdit(this);
    m_password->setObjectName(QStringLiteral("passwordField"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(64 * 4); // the longest password the rule allows, in UTF-8 bytes
    m_password->setStyleSheet(
        QStringLiteral("color: rgb(46, 46, 46); background-color: rgb(177, 177, 177); "));
    m_ok = new ZVKPushButton(GetText("IDCS_OK"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setEnabled(false);
    m_cancel = new ZVKPushButton(GetText("IDCS_CANCEL"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(m_ok, SIGNAL(clicked()), this, SLOT(accept()));
    connect(m_cancel, SIGNAL(clicked()), this, SLOT(reject()));
    connect(m_password, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_ok->setEnabled(!text.isEmpty()); });
    connect(m_password, &QLineEdit::returnPressed, this, [this] {
        if (m_ok->isEnabled())
            accept();
    });
    resize(460, 210);
    m_password->setFocus();
}

IdentifyDialog::~IdentifyDialog() { clearPassword(); }

QString IdentifyDialog::password() const { return m_password->text(); }

void IdentifyDialog::clearPassword() {
    QString text = m_password->text();
    text.fill(QLatin1Char('\0'));
    m_password->setText(text);
    m_password->clear();
}

void IdentifyDialog::resizeEvent(QResizeEvent* event) {
    CustomDialog::resizeEvent(event);
    const int w = width(), h = height(), top = kTitleHeight + 12;
    m_info->setGeometry(20, top, w - 40, 84);
    m_passwordLabel->setGeometry(20, top + 96, 150, 24);
    m_password->setGeometry(180, top + 96, w - 200, 24);
    m_cancel->setGeometry(w - 90, h - 27, 80, 23);
    m_ok->setGeometry(w - 180, h - 27, 80, 23);
}
