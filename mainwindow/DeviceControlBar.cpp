#include "DeviceControlBar.h"

#include "ActionMessageBox.h"
#include "AddrPartLineEdit.h"
#include "BorderImage.h"
#include "ButtonControl.h"
#include "DeviceActionRules.h"
#include "IpAddrEdit.h"
#include "LanguageSrc.h"
#include "MacAddrEdit.h"
#include "N12_MessageBox.h"
#include "SnapshotPanel.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKPushButton.h"

#include <QCheckBox>
#include <QFrame>
#include <QResizeEvent>

namespace {

template <class T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

ZVKLabel* label(const char* key, QWidget* parent) {
    ZVKLabel* text = new ZVKLabel(GetText(key), parent);
    text->setTextFormat(Qt::PlainText);
    return text;
}

} // namespace

DeviceControlBar::DeviceControlBar(QWidget* parent) : QWidget(parent) {
    m_background = new QWidget(this);
    m_background->setStyleSheet(
        QStringLiteral(" .QWidget { background-color: rgb(30,31,35); border-right: 1px solid "
                       "rgb(78,83,90);border-bottom: 1px solid rgb(78,83,90); }"));
    buildNetworkSection();
    buildRestoreSection();
    buildPictureSection();
    connect(m_networkHeader, SIGNAL(clicked(bool)), this, SLOT(slot_visibleNetworkParam(bool)));
    connect(m_restoreHeader, SIGNAL(clicked(bool)), this, SLOT(slot_visibleDevice(bool)));
    connect(m_saveButton, SIGNAL(clicked()), this, SLOT(slot_changeNetworkParamClicked()));
    connect(m_okButton, SIGNAL(clicked()), this, SLOT(slot_restorePwdClicked()));
    // Return where the password was typed is Save for that form, while
    // Save may be pressed and only once the user has typed in the form
    // since its last request: keys that strayed into the emptied password
    // field never send it again.
    connect(m_passwordField, &QLineEdit::returnPressed, this, [this] {
        if (m_saveButton->isEnabled() && m_typedSinceRequest)
            slot_changeNetworkParamClicked();
    });
    const auto typed = [this] { m_typedSinceRequest = true; };
    for (QLineEdit* field :
         {static_cast<QLineEdit*>(m_passwordField), static_cast<QLineEdit*>(m_userField)})
        connect(field, &QLineEdit::textEdited, this, typed);
    for (IpAddrEdit* field : {m_ipField, m_subnetField, m_gatewayField})
        connect(field, &AddrEditBase::userEdited, this, typed);
}

void DeviceControlBar::buildNetworkSection() {
    m_networkHeader =
        named(new ButtonControl(GetText("IDCS_CHANGE_NETWORK_PARAM"), this), "networkHeader");
    m_networkHeader->setExpanded(m_networkOpen);
    m_networkFrame = named(new QFrame(this), "networkFrame");
    buildNetworkRows();
    m_passwordLabel = named(label("IDCS_PASSWORD", m_networkFrame), "passwordLabel");
    m_passwordField = named(new ZVKLineEdit(m_networkFrame), "passwordField");
    m_passwordField->setEchoMode(QLineEdit::Password);
    m_passwordField->setPlaceholderText(GetText("IDCS_PASSWORD_PLACEHOLDER"));
    m_passwordLabel->setBuddy(m_passwordField);
    m_passwordField->setStyleSheet(
        QStringLiteral("color: rgb(46, 46, 46); background-color: rgb(177, 177, 177); "));
    buildCameraRows();
    m_saveButton = named(new ZVKPushButton(GetText("IDCS_SAVE"), m_networkFrame), "saveButton");
    m_networkInfoIcon = new BorderImage(QStringLiteral(":/skin/info.png"), m_networkFrame);
    m_networkInfoText =
        named(infoText("IDCS_CHANGE_NETWORK_PARAM_INFO", m_networkFrame), "networkInfo");
    buildNameRow();
}

void DeviceControlBar::buildNameRow() {
    m_nameLabel = named(label("IDCS_DEVICE_NAME", m_networkFrame), "nameLabel");
    m_nameField = named(new ZVKLineEdit(m_networkFrame), "nameField");
    m_nameField->setMaxLength(64);
    m_nameField->setStyleSheet(
        QStringLiteral("color: rgb(46, 46, 46); background-color: rgb(177, 177, 177); "));
    m_nameLabel->setBuddy(m_nameField);
    m_renameButton =
        named(new ZVKPushButton(GetText("IDCS_RENAME"), m_networkFrame), "renameButton");
    connect(m_renameButton, SIGNAL(clicked()), this, SLOT(slot_renameClicked()));
    connect(m_nameField, &QLineEdit::returnPressed, this, [this] {
        if (m_renameButton->isEnabled())
            slot_renameClicked();
    });
}

void DeviceControlBar::layOutNameRow(int top) {
    m_nameLabel->setGeometry(9, top, 280, 20);
    m_nameField->setGeometry(9, top + 22, 190, 23);
    m_renameButton->setGeometry(209, top + 22, 80, 23);
}

void DeviceControlBar::SetDeviceName(const QString& name) { m_nameField->setText(name); }

QString DeviceControlBar::deviceName() const { return m_nameField->text(); }

void DeviceControlBar::slot_renameClicked() {
    const QString name = m_nameField->text();
    const int bytes = name.toUtf8().size();
    if (m_deviceKey.isEmpty() || name.trimmed().isEmpty() || name.trimmed() != name ||
        bytes > (m_camera ? 64 : 31)) {
        N12_MessageBox::warning(GetText("IDCS_RENAME_BAD_NAME"), this);
        m_nameField->setFocus(Qt::OtherFocusReason);
        return;
    }
    QString password = m_passwordField->text();
    m_passwordField->clear();
    emit sig_renameDevice(m_deviceKey, name, password);
    password.fill(QLatin1Char('\0'));
}

void DeviceControlBar::buildNetworkRows() {
    m_macLabel = label("IDCS_MAC_ADDRESS", m_networkFrame);
    m_macField = named(new MacAddrEdit(m_networkFrame), "macField");
    // The MAC names the selected device; it is not the installer's to edit.
    m_macField->setEnabled(false);
    m_ipLabel = label("IDCS_IP_ADDRESS", m_networkFrame);
    m_ipField = named(new IpAddrEdit(m_networkFrame), "ipField");
    m_subnetLabel = label("IDCS_SUBNET_MASK", m_networkFrame);
    m_subnetField = named(new IpAddrEdit(m_networkFrame), "subnetField");
    m_gatewayLabel = label("IDCS_GATEWAY", m_networkFrame);
    m_gatewayField = named(new IpAddrEdit(m_networkFrame), "gatewayField");
}

// A camera's user name and the choice to keep the credentials for the
// session; hidden until a camera is selected.
void DeviceControlBar::buildCameraRows() {
    m_userLabel = named(label("IDCS_ONVIF_USER", m_networkFrame), "userLabel");
    m_userField = named(new ZVKLineEdit(m_networkFrame), "userField");
    m_userField->setText(QStringLiteral("admin"));
    m_userField->setMaxLength(64);
    m_userLabel->setBuddy(m_userField);
    m_userField->setStyleSheet(
        QStringLiteral("color: rgb(46, 46, 46); background-color: rgb(177, 177, 177); "));
    m_keepCredentials = named(new QCheckBox(GetText("IDCS_ONVIF_KEEP_CREDENTIALS"), m_networkFrame),
                              "sessionCredentialsBox");
    m_keepCredentials->setStyleSheet(QStringLiteral("color: rgb(172,172,172);"));
    for (QWidget* w : {static_cast<QWidget*>(m_userLabel), static_cast<QWidget*>(m_userField),
                       static_cast<QWidget*>(m_keepCredentials)})
        w->hide();
}

void DeviceControlBar::buildRestoreSection() {
    m_restoreHeader =
        named(new ButtonControl(GetText("IDCS_RESTORE_DEVICE_PASSWORD"), this), "restoreHeader");
    m_restoreHeader->setExpanded(m_restoreOpen);
    m_restoreFrame = named(new QFrame(this), "restoreFrame");
    m_restoreMacField = named(new MacAddrEdit(m_restoreFrame), "restoreMacField");
    m_okButton = named(new ZVKPushButton(GetText("IDCS_OK"), m_restoreFrame), "okButton");
    m_restoreInfoIcon = new BorderImage(QStringLiteral(":/skin/info.png"), m_restoreFrame);
    m_restoreInfoText =
        named(infoText("IDCS_RESTORE_DEVICE_PASSWORD_INFO", m_restoreFrame), "restoreInfo");
    m_networkBusy = busyText(m_networkFrame, "networkBusy");
    m_restoreBusy = busyText(m_restoreFrame, "restoreBusy");
}

void DeviceControlBar::buildPictureSection() {
    m_picture = named(new SnapshotPanel(this), "picturePanel");
}

QString DeviceControlBar::typedPassword() const { return m_passwordField->text(); }

// Below the restore section (its form when open), down to the bar's end.
void DeviceControlBar::layOutPicture(int w, int h, int top) {
    const int y = top + 33 + (m_restoreOpen ? 130 : 0) + 8;
    m_picture->setGeometry(1, y, w - 2, std::max(0, h - y - 4));
    m_picture->setVisible(h - y >= 80);
}

// Wrapped at word boundaries: the longer languages need two or three lines.
// The label reaches the bar's right edge; the margin keeps the last letters
// off the border.
ZVKLabel* DeviceControlBar::infoText(const char* key, QWidget* parent) {
    ZVKLabel* text = label(key, parent);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setWordWrap(true);
    text->setContentsMargins(0, 0, 9, 0);
    return text;
}

ZVKLabel* DeviceControlBar::busyText(QWidget* parent, const char* name) {
    ZVKLabel* text = named(infoText("IDCS_REQUEST_IN_PROGRESS", parent), name);
    text->setStyleSheet(QStringLiteral(" ZVKLabel { color: rgb(232,182,70); } "));
    text->hide();
    return text;
}

void DeviceControlBar::ClearPassword() { m_passwordField->clear(); }

void DeviceControlBar::SetNetworkParam(const QString& mac, const QString& ip, const QString& subnet,
                                       const QString& gateway) {
    // One device's password is never sent to another.
    if (mac.compare(m_deviceKey, Qt::CaseInsensitive) != 0) {
        m_passwordField->clear();
        m_typedSinceRequest = false;
    }
    offerRestoreMac(mac);
    m_deviceKey = mac;
    m_macField->setText(mac);
    m_ipField->setText(ip);
    m_subnetField->setText(subnet);
    m_gatewayField->setText(gateway);
}

void DeviceControlBar::SetCamera(bool camera, const QString& shownMac) {
    m_camera = camera;
    if (camera)
        m_macField->setText(shownMac);
    m_userLabel->setVisible(camera);
    m_userField->setVisible(camera);
    m_keepCredentials->setVisible(camera);
    // A camera's login is its own user's, not the maker's admin password.
    m_networkInfoText->setText(
        GetText(camera ? "IDCS_ONVIF_NETWORK_INFO" : "IDCS_CHANGE_NETWORK_PARAM_INFO"));
    m_passwordField->setPlaceholderText(
        GetText(camera ? "IDCS_ONVIF_PASSWORD_PLACEHOLDER" : "IDCS_PASSWORD_PLACEHOLDER"));
    layOut();
}

QString DeviceControlBar::networkUser() const { return m_userField->text().trimmed(); }

bool DeviceControlBar::keepCredentials() const { return m_keepCredentials->isChecked(); }

void DeviceControlBar::AskCredentials() {
    m_networkHeader->setExpanded(true);
    slot_visibleNetworkParam(true);
    m_passwordField->setFocus(Qt::OtherFocusReason);
}

void DeviceControlBar::SetBusyText(const QString& text) {
    m_networkBusy->setText(text.isNull() ? GetText("IDCS_REQUEST_IN_PROGRESS") : text);
}

void DeviceControlBar::ClearRestoreMac() {
    m_restoreMacField->setText(QString());
    m_offeredRestoreMac.clear();
}

// The selected device's MAC goes into the restore form while the form is
// empty or still holds the MAC offered before; a MAC the installer typed
// stays.
void DeviceControlBar::offerRestoreMac(const QString& mac) {
    const QString held = m_restoreMacField->text();
    if (!held.isEmpty() && held != m_offeredRestoreMac)
        return;
    m_restoreMacField->setText(mac);
    m_offeredRestoreMac = m_restoreMacField->text();
}

QString DeviceControlBar::networkMac() const { return m_macField->text(); }
QString DeviceControlBar::networkIp() const { return m_ipField->text(); }
QString DeviceControlBar::networkSubnet() const { return m_subnetField->text(); }
QString DeviceControlBar::networkGateway() const { return m_gatewayField->text(); }
QString DeviceControlBar::restoreMac() const { return m_restoreMacField->text(); }

void DeviceControlBar::FocusNetworkForm() {
    m_networkHeader->setExpanded(true);
    slot_visibleNetworkParam(true);
    m_ipField->parts().first()->setFocus(Qt::OtherFocusReason);
    m_ipField->parts().first()->selectAll();
}

void DeviceControlBar::PrepareRestore(const QString& mac) {
    m_restoreHeader->setExpanded(true);
    slot_visibleDevice(true);
    m_restoreMacField->setText(mac);
    m_offeredRestoreMac = m_restoreMacField->text();
    m_okButton->setFocus(Qt::OtherFocusReason);
}

void DeviceControlBar::SetBusy(Busy busy) {
    m_busy = busy;
    m_saveButton->setEnabled(busy == NotBusy);
    m_okButton->setEnabled(busy == NotBusy);
    m_renameButton->setEnabled(busy == NotBusy);
    // The waiting line takes the place of the section's hint: the hint
    // fills the room there is.
    if (busy == NotBusy)
        SetBusyText(QString());
    m_networkBusy->setVisible(busy == ChangingNetwork);
    m_networkInfoText->setVisible(busy != ChangingNetwork);
    m_restoreBusy->setVisible(busy == RestoringPassword);
    m_restoreInfoText->setVisible(busy != RestoringPassword);
    if (busy == NotBusy)
        unsetCursor();
    else
        setCursor(Qt::BusyCursor);
}

void DeviceControlBar::slot_visibleNetworkParam(bool visible) {
    m_networkOpen = visible;
    layOut();
}

void DeviceControlBar::slot_visibleDevice(bool visible) {
    m_restoreOpen = visible;
    layOut();
}

// A field that refused part of what was typed holds an address the user
// did not type: it is named, focused, and nothing goes out.
bool DeviceControlBar::refusedFieldTold(const QList<QPair<AddrEditBase*, ZVKLabel*>>& fields) {
    for (const auto& field : fields) {
        if (!field.first->showsRefusal())
            continue;
        N12_MessageBox::warning(GetText("IDCS_ADDRESS_NOT_AS_TYPED_D").arg(field.second->text()),
                                nullptr);
        field.first->setFocus(Qt::OtherFocusReason);
        return true;
    }
    return false;
}

void DeviceControlBar::slot_changeNetworkParamClicked() {
    if (refusedFieldTold({{m_ipField, m_ipLabel},
                          {m_subnetField, m_subnetLabel},
                          {m_gatewayField, m_gatewayLabel}}))
        return;
    const QString mac = m_camera ? m_deviceKey : m_macField->text().trimmed();
    const QString ip = m_ipField->text().trimmed();
    const QString subnet = m_subnetField->text().trimmed();
    const QString gateway = m_gatewayField->text().trimmed();
    const ActionMessage failure = CheckNetworkForm(mac, ip, subnet, gateway);
    if (failure.kind != BoxKind::None) {
        ShowActionMessage(failure, nullptr); // a form check's box has no parent window
        return;
    }
    const QString password = m_passwordField->text().trimmed();
    m_typedSinceRequest = false;
    emit sig_changeNetworkParam(mac, ip, subnet, gateway, password, QString(), QString(), false);
}

void DeviceControlBar::slot_restorePwdClicked() {
    if (refusedFieldTold({{m_restoreMacField, m_macLabel}}))
        return;
    const QString mac = m_restoreMacField->text().trimmed();
    const ActionMessage failure = CheckRestoreForm(mac);
    if (failure.kind != BoxKind::None) {
        ShowActionMessage(failure, nullptr); // a form check's box has no parent window
        m_restoreMacField->setFocus();
        return;
    }
    emit sig_restorePwd(mac.toUpper());
}

void DeviceControlBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOut();
}

void DeviceControlBar::layOut() {
    const int w = width();
    m_background->setGeometry(0, 0, w, height());
    const int top = layOutNetwork(w);
    layOutRestore(w, height(), top);
    layOutPicture(w, height(), top);
}

// Returns where the restore header starts. The open network frame reaches
// below it; the restore widgets, created later, lie on top.
int DeviceControlBar::layOutNetwork(int w) {
    m_networkHeader->setGeometry(0, 0, w - 1, 33);
    m_networkFrame->setVisible(m_networkOpen);
    if (!m_networkOpen)
        return 33;
    // A camera's user name row and session choice push the rest down.
    const int user = m_camera ? 31 : 0;
    const int keep = m_camera ? 28 : 0;
    m_networkFrame->setGeometry(1, 33, w - 1, 463 + user + keep);
    const struct {
        QWidget* widget;
        QRect rect;
    } rows[] = {{m_userLabel, {9, 157, 110, 23}},
                {m_userField, {119, 157, 170, 23}},
                {m_keepCredentials, {9, 207 + user, w - 18, 22}},
                {m_macLabel, {9, 33, 110, 23}},
                {m_macField, {119, 33, 170, 23}},
                {m_ipLabel, {9, 64, 110, 23}},
                {m_ipField, {119, 64, 170, 23}},
                {m_subnetLabel, {9, 95, 110, 23}},
                {m_subnetField, {119, 95, 170, 23}},
                {m_gatewayLabel, {9, 126, 110, 23}},
                {m_gatewayField, {119, 126, 170, 23}},
                {m_passwordLabel, {9, 154 + user, 190, 20}},
                {m_passwordField, {9, 176 + user, 190, 23}},
                {m_saveButton, {209, 176 + user, 80, 23}},
                {m_networkInfoIcon, {9, 207 + user + keep, 26, 26}},
                {m_networkInfoText, {39, 207 + user + keep, w - 39, 60}},
                {m_networkBusy, {39, 207 + user + keep, w - 39, 60}}};
    for (const auto& row : rows)
        row.widget->setGeometry(row.rect);
    layOutNameRow(272 + user + keep);
    return 360 + user + keep;
}

void DeviceControlBar::layOutRestore(int w, int h, int top) {
    m_restoreHeader->setGeometry(0, top, w - 1, 33);
    m_restoreFrame->setVisible(m_restoreOpen);
    if (!m_restoreOpen)
        return;
    m_restoreFrame->setGeometry(1, top + 33, w - 1, h - top - 33);
    m_restoreMacField->setGeometry(9, 33, 190, 23);
    m_okButton->setGeometry(209, 33, 80, 23);
    m_restoreInfoIcon->setGeometry(9, 64, 26, 26);
    m_restoreInfoText->setGeometry(39, 64, w - 39, 60);
    m_restoreBusy->setGeometry(39, 64, w - 39, 60);
}
