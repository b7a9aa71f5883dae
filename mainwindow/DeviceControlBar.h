// The side panel of the main window, where the installer acts on the
// selected device.
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

class AddrEditBase;
class BorderImage;
class ButtonControl;
class IpAddrEdit;
class MacAddrEdit;
class QCheckBox;
class SnapshotPanel;
class QFrame;
class ZVKLabel;
class ZVKLineEdit;
class ZVKPushButton;

// DeviceControlBar holds two collapsible sections: the form that changes the
// selected device's network parameters and the form that restores a
// device's password. It talks to no device: it checks each form and emits
// the request; the main window carries it out. Return in the password
// field saves, but only once the user has typed in the network form since
// its last request; an address field that refused part of what was typed
// stops Save (and OK) with a box that names it.
//
// Children carry object names for tests and tools: networkHeader,
// networkFrame, macField, ipField, subnetField, gatewayField, passwordLabel,
// passwordField, userLabel, userField, sessionCredentialsBox (the last three
// shown for an ONVIF camera only), saveButton, networkInfo, nameLabel, nameField,
// renameButton, restoreHeader, restoreFrame, restoreMacField, okButton,
// restoreInfo, networkBusy, restoreBusy, picturePanel.
class DeviceControlBar : public QWidget {
    Q_OBJECT
public:
    // Network section open, restore section closed.
    explicit DeviceControlBar(QWidget* parent = nullptr);

    // Puts the selected device's MAC, IP, subnet mask and gateway into the
    // network form, in this order. A value that is not a complete address
    // leaves its field empty. Another MAC than the form held clears the
    // password, and is offered to the restore form when that is empty (or
    // holds the previous offer).
    void SetNetworkParam(const QString& mac, const QString& ip, const QString& subnet,
                         const QString& gateway);
    // Whether the device put by SetNetworkParam is an ONVIF camera: then the
    // form also asks for a user name (and offers to keep the credentials for
    // the session), shows shownMac (empty for a camera known by its endpoint
    // only), its hint and password placeholder speak of the camera's user
    // and password, and Save names the device by the key SetNetworkParam gave.
    void SetCamera(bool camera, const QString& shownMac);
    bool camera() const { return m_camera; }
    // The user name typed for a camera, trimmed; "admin" until changed.
    QString networkUser() const;
    // Whether the installer asked to use the credentials for every camera
    // in this session.
    bool keepCredentials() const;
    // Focuses the password field: the camera needs credentials.
    void AskCredentials();
    // The line shown while a request runs; a null text restores the usual.
    void SetBusyText(const QString& text);
    // Empties the MAC field of the restore form.
    void ClearRestoreMac();
    // Empties the password field: once a request has taken the password, the
    // form holds it no longer.
    void ClearPassword();
    // The restore form's MAC field.
    QString restoreMac() const;
    // The selected device's name into the name field, which the installer
    // edits and Rename sends (with the network form's password).
    void SetDeviceName(const QString& name);
    QString deviceName() const;
    // Opens the network section and puts the keyboard focus on its IP field.
    void FocusNetworkForm();
    // Opens the restore section with `mac` in its MAC field and the focus on
    // OK, so that Return restores.
    void PrepareRestore(const QString& mac);

    // Which request, if any, the window is waiting on. While one runs, Save
    // and OK are disabled and the section that asked shows that it waits
    // where its hint stands; the fields stay editable.
    enum Busy { NotBusy, ChangingNetwork, RestoringPassword };
    void SetBusy(Busy busy);
    Busy busy() const { return m_busy; }

    // What the network form holds now: MAC, IP, subnet mask, gateway.
    QString networkMac() const;
    QString networkIp() const;
    QString networkSubnet() const;
    QString networkGateway() const;

    // The list's key of the device SetNetworkParam put.
    QString deviceKey() const { return m_deviceKey; }
    // The password typed in the network form, as typed (the caller wipes
    // its copy; ClearPassword empties the field).
    QString typedPassword() const;
    // The selected camera's picture, below the two sections (SnapshotPanel);
    // the window sets its device and takes its pictures.
    SnapshotPanel* picturePanel() const { return m_picture; }

    bool networkSectionOpen() const { return m_networkOpen; }
    bool restoreSectionOpen() const { return m_restoreOpen; }

signals:
    // The network form passed its checks. The two ports are always empty
    // and bDHCP always false: the form does not offer them.
    void sig_changeNetworkParam(QString mac, QString ip, QString subnet, QString gateway,
                                QString password, QString httpPort, QString dataPort, bool bDHCP);
    // The restore form passed its check; mac in upper case.
    void sig_restorePwd(QString mac);
    // Rename passed its check (a name of 1 to 31 bytes, 64 for an ONVIF
    // camera): the device SetNetworkParam put, by its key, the name and the
    // network form's password (the field is emptied).
    void sig_renameDevice(QString key, QString name, QString password);

public slots:
    void slot_visibleNetworkParam(bool visible);
    void slot_visibleDevice(bool visible);
    // Save: checks the network form, shows the first failure in a modal box
    // and emits nothing, or emits sig_changeNetworkParam.
    void slot_changeNetworkParamClicked();
    // OK: checks the restore form (a warning and the focus back on an
    // empty MAC) or emits sig_restorePwd.
    void slot_restorePwdClicked();
    // Rename: checks the name field (a box and nothing emitted when it is
    // empty or too long) and emits sig_renameDevice.
    void slot_renameClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildNetworkSection();
    void buildNetworkRows();
    void buildCameraRows();
    void buildRestoreSection();
    void buildNameRow();
    // Lays the name row out from `top` in the network frame.
    void layOutNameRow(int top);
    void buildPictureSection();
    void layOutPicture(int w, int h, int top);
    void offerRestoreMac(const QString& mac);
    // True, after telling the user, when one of these fields (each with
    // its label) refused part of what was typed.
    bool refusedFieldTold(const QList<QPair<AddrEditBase*, ZVKLabel*>>& fields);
    ZVKLabel* infoText(const char* key, QWidget* parent);
    ZVKLabel* busyText(QWidget* parent, const char* name);
    void layOut();
    int layOutNetwork(int w);
    void layOutRestore(int w, int h, int top);

    QWidget* m_background = nullptr;
    ButtonControl* m_networkHeader = nullptr;
    QFrame* m_networkFrame = nullptr;
    ZVKLabel* m_macLabel = nullptr;
    MacAddrEdit* m_macField = nullptr;
    ZVKLabel* m_ipLabel = nullptr;
    IpAddrEdit* m_ipField = nullptr;
    ZVKLabel* m_subnetLabel = nullptr;
    IpAddrEdit* m_subnetField = nullptr;
    ZVKLabel* m_gatewayLabel = nullptr;
    IpAddrEdit* m_gatewayField = nullptr;
    ZVKLabel* m_passwordLabel = nullptr;
    ZVKLineEdit* m_passwordField = nullptr;
    ZVKPushButton* m_saveButton = nullptr;
    ZVKLabel* m_userLabel = nullptr;
    ZVKLineEdit* m_userField = nullptr;
    QCheckBox* m_keepCredentials = nullptr;
    bool m_camera = false;
    QString m_deviceKey; // the list's key of the device SetNetworkParam put
    BorderImage* m_networkInfoIcon = nullptr;
    ZVKLabel* m_networkInfoText = nullptr;
    ButtonControl* m_restoreHeader = nullptr;
    QFrame* m_restoreFrame = nullptr;
    MacAddrEdit* m_restoreMacField = nullptr;
    QString m_offeredRestoreMac;
    ZVKPushButton* m_okButton = nullptr;
    BorderImage* m_restoreInfoIcon = nullptr;
    ZVKLabel* m_restoreInfoText = nullptr;
    bool m_networkOpen = true;
    bool m_restoreOpen = false;
    // Beyond the two forms: the line that says a request is on its way.
    ZVKLabel* m_networkBusy = nullptr;
    ZVKLabel* m_restoreBusy = nullptr;
    // The device's name: its own row under the network form.
    ZVKLabel* m_nameLabel = nullptr;
    ZVKLineEdit* m_nameField = nullptr;
    ZVKPushButton* m_renameButton = nullptr;
    Busy m_busy = NotBusy;
    SnapshotPanel* m_picture = nullptr;
    // Set when the user types in the network form, cleared when it sends
    // a request or shows another device: Return saves only while set.
    bool m_typedSinceRequest = false;
};
