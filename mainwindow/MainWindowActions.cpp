// The installer's device actions: new network parameters and a password
// restore, each a blocking request to the device that runs off the window
// thread, so the list keeps updating and the window keeps painting.
#include "MainWindow.h"

#include "ActionMessageBox.h"
#include "BatchRunner.h"
#include "DevInfo.h"
#include "DeviceActionRules.h"
#include "DeviceControlBar.h"
#include "DeviceRequestRunner.h"
#include "LorvexSearch.h"
#include "OnvifActions.h"
#include "IdentifyDialog.h"
#include "OnvifActions.h"
#include "SnapshotPanel.h"
#include "TrustDialogs.h"
#include "TrustMessages.h"
#include "LanguageSrc.h"
#include "N12_MessageBox.h"
#include "Secret.h"
#include "SessionLog.h"

#include <QPointer>
#include <QTimer>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

enum RequestKind {
    ChangeNetwork = 1,
    RestorePassword = 2,
    ActivateDevice = 3,
    ReaddressCamera = 4,
    IdentifyDevice = 5,
    TakePicture = 6,
    RenameCamera = 7
};

// What a verified configuration request did: the side panel's rename
// sends the device's own addresses with its new name.
report::Deed VerificationDeed(const commission::PlanEntry& entry) {
    return entry.name.empty() ? report::Deed::Readdressed : report::Deed::Renamed;
}

// The request's texts in UTF-8, as the engine takes them.
struct NetParamTexts {
    std::string mac, ip, subnet, gateway;
    SharedSecret password;
    std::string httpPort, dataPort;
};

// Overwrites a password's bytes in a Qt text once it has been taken.
void WipeText(QString* text) {
    if (!text->isEmpty())
        explicit_bzero(text->data(), size_t(text->size()) * sizeof(QChar));
    text->clear();
}
void WipeText(QByteArray* bytes) {
    if (!bytes->isEmpty())
        explicit_bzero(bytes->data(), size_t(bytes->size()));
    bytes->clear();
}

} // namespace

void MainWindow::connectDeviceActions() {
    m_clock.start();
    m_verifyTimer = new QTimer(this);
    m_verifyTimer->setInterval(100);
    connect(m_verifyTimer, &QTimer::timeout, this, [this] { checkVerification(); });
    m_deviceRequests = new DeviceRequestRunner(this);
    connect(m_deviceRequests, SIGNAL(finished(int, int)), this,
            SLOT(slot_deviceRequestFinished(int, int)));
    m_pageLookup = new DeviceRequestRunner(this);
    connect(m_pageLookup, SIGNAL(finished(int, int)), this,
            SLOT(slot_pageLookupFinished(int, int)));
    connect(m_controlBar,
            SIGNAL(sig_changeNetworkParam(QString, QString, QString, QString, QString, QString,
                                          QString, bool)),
            this,
            SLOT(slot_changeNetworkParam(QString, QString, QString, QString, QString, QString,
                                         QString, bool)));
    connect(m_controlBar, SIGNAL(sig_restorePwd(QString)), this, SLOT(slot_restorePwd(QString)));
    connect(m_controlBar, &DeviceControlBar::sig_renameDevice, this, &MainWindow::renameDevice);
    connect(m_controlBar->picturePanel(), &SnapshotPanel::sig_takePicture, this,
            &MainWindow::takePicture);
}

void MainWindow::finishDeviceRequest() {
    m_deviceRequests->wait();
    m_pageLookup->wait();
    if (m_routeTask != nullptr)
        m_routeTask->wait();
}

bool MainWindow::deviceRequestRunning() const {
    return m_deviceRequests->isRunning() || m_verification != nullptr;
}

void MainWindow::slot_changeNetworkParam(QString mac, QString ip, QString subnet, QString gateway,
                                         QString password, QString httpPort, QString dataPort,
                                         bool bDHCP) {
    // A held address cuts the PC or another device off the network, one
    // outside the PC's subnets leaves the device reachable only at its
    // link-local address: the installer confirms both before anything goes.
    const QList<AddressWarning> warnings = AddressWarnings(mac, ip, m_hostAddresses, m_deviceList);
    if (!warnings.isEmpty() && !ConfirmAddressWarnings(warnings, this))
        return;
    if (const DevInfo* camera = findDeviceRecord(mac); camera != nullptr && camera->isCamera()) {
        readdressCamera(*camera, {ip, subnet, gateway}, &password);
        return;
    }
    if (!identityConfirmed(mac))
        return;
    m_requestMac = mac;
    m_requestAddresses = QStringList{ip, subnet, gateway};
    m_requestName.clear();
    // The texts travel by value (the form may change while the device is
    // asked). The request shares the one copy of the password, wiped when
    // the request is done; the form's copy is wiped and its field emptied.
    const QByteArray utf8 = password.toUtf8();
    const NetParamTexts t{mac.toStdString(),
                          ip.toStdString(),
                          subnet.toStdString(),
                          gateway.toStdString(),
                          MakeSharedSecret(utf8.constData(), size_t(utf8.size())),
                          httpPort.toStdString(),
                          dataPort.toStdString()};
    WipeText(&password);
    WipeText(const_cast<QByteArray*>(&utf8));
    CLorvexManage* manager = &m_manager;
    auto job = [manager, t, bDHCP] {
        return static_cast<int>(manager->SetNetParam(
            t.mac.c_str(), t.ip.c_str(), t.subnet.c_str(), t.gateway.c_str(), t.password->c_str(),
            t.httpPort.c_str(), t.dataPort.c_str(), bDHCP));
    };
    m_controlBar->ClearPassword();
    if (m_deviceRequests->start(ChangeNetwork, job))
        m_controlBar->SetBusy(DeviceControlBar::ChangingNetwork);
}

void MainWindow::slot_restorePwd(QString mac) {
    const DevInfo* record = findDeviceRecord(mac);
    if (record == nullptr) {
        ShowActionMessage({BoxKind::Error, "IDCS_PROMPT_DEVICE_NOT_EXIST"}, this);
        return;
    }
    if (refuseForCamera(mac))
        return;
    if (!SupportsPasswordRestore(record->productSeries)) {
        ShowActionMessage({BoxKind::Error, "IDCS_PROMPT_DEVICE_NOT_SUPPORT"}, this);
        return;
    }
    CLorvexManage* manager = &m_manager;
    auto job = [manager, text = mac.toStdString()] {
        return static_cast<int>(manager->RestoreDevice(text.c_str()));
    };
    m_requestMac = mac;
    if (m_deviceRequests->start(RestorePassword, job))
        m_controlBar->SetBusy(DeviceControlBar::RestoringPassword);
}

void MainWindow::slot_deviceRequestFinished(int kind, int result) {
    m_controlBar->SetBusy(DeviceControlBar::NotBusy);
    // A window already closed tells nobody anything.
    if (m_closing || !isVisible())
        return;
    if (kind == ChangeNetwork) {
        if (commission::AwaitsVerification(result)) {
            startVerification(result);
            return;
        }
        showChangeOutcome(result);
        return;
    }
    if (kind == ReaddressCamera) {
        showCameraOutcome();
        return;
    }
    if (kind == RenameCamera) {
        showCameraRenameOutcome();
        return;
    }
    if (kind == ActivateDevice) {
        // The device's authenticated answer said so; nothing was read back.
        if (result == CLorvexManage::SETNET_DONE)
            sessionLog().Add(m_requestMac.toStdString(), report::Deed::Activated, false);
        showOutcome(ActivateOutcomeMessage(result));
        return;
    }
    if (kind == TakePicture) {
        showPicture();
        return;
    }
    if (kind == IdentifyDevice) {
        const ActionMessage message = IdentifyOutcomeMessage(result);
        if (result == CLorvexManage::SETNET_DONE)
            N12_MessageBox::information(GetText(message.key).arg(kIdentifySeconds), this);
        else
            showOutcome(message);
        return;
    }
    if (result != CLorvexManage::SETNET_DONE) {
        ShowActionMessage(RestoreOutcomeMessage(result), this);
        return;
    }
    sessionLog().Add(m_requestMac.toStdString(), report::Deed::Restored, false);
    m_controlBar->ClearRestoreMac();
    offerActivation(m_requestMac);
}

// A restored device waits for its first password: the box that says so
// leads on to the activation form of that device (Later is the default).
void MainWindow::offerActivation(const QString& mac) {
    QPointer<N12_MessageBox> box = new N12_MessageBox(
        GetText("IDCS_RESTORE_DEVICE_PASSWORD_SUCCESS"), N12_MessageBox::Yes | N12_MessageBox::No,
        N12_MessageBox::Information, this);
    box->setButtonText(N12_MessageBox::Yes, GetText("IDCS_ACTIVATE_NOW"));
    box->setButtonText(N12_MessageBox::No, GetText("IDCS_LATER"));
    box->exec();
    if (box.isNull())
        return;
    const bool activate = box->buttonResult() == N12_MessageBox::Yes;
    delete box;
    if (activate && !m_closing)
        activateDevice(mac);
}

// The refusals and the other outcomes of a re-address that nothing is to
// verify. A password the device refused counts towards its lock.
void MainWindow::showChangeOutcome(int result) {
    if (result == CLorvexManage::SETNET_FAILED) {
        const int refused = ++m_wrongPasswords[m_requestMac];
        N12_MessageBox::error(WrongPasswordText(refused), this);
        return;
    }
    if (result == CLorvexManage::SETNET_LOCKED)
        m_wrongPasswords.remove(m_requestMac); // the lock used the count up
    showOutcome(SetNetParamMessage(result));
    if (result == CLorvexManage::SETNET_NOT_ACTIVATED)
        activateDevice(m_requestMac);
}

// The device took the request (or its answer got lost): "sent" in the
// panel, then the box once the search shows the device at its new values
// (done) or the batch's bound has passed. Without the automatic search
// nothing could show it: the box says so at once.
void MainWindow::startVerification(int32_t code) {
    auto v = std::make_unique<Verification>();
    v->mac = m_requestMac;
    v->code = code;
    SEARCH_INFO device{};
    const bool listed = m_manager.FindDevice(m_requestMac.toUtf8().constData(), &device);
    const DevInfo* record = findDeviceRecord(m_requestMac);
    v->device = DeviceNaming(m_requestMac, record ? record->devName : QString());
    if (listed)
        v->entry.device = commission::PlanDeviceOf(device);
    v->entry.device.mac = m_requestMac.toStdString();
    v->entry.ip = m_requestAddresses.value(0).toStdString();
    v->entry.mask = m_requestAddresses.value(1).toStdString();
    v->entry.gateway = m_requestAddresses.value(2).toStdString();
    v->entry.name = m_requestName.toStdString();
    if (code != CLorvexManage::SETNET_NO_ANSWER)
        m_wrongPasswords.remove(m_requestMac); // it took the password
    const QString ip = m_requestAddresses.value(0);
    if (m_manager.GetAutoSearch() == 0) {
        sessionLog().Add(m_requestMac.toStdString(), VerificationDeed(v->entry), false);
        N12_MessageBox::warning(GetText("IDCS_SET_NETWORK_SENT_NO_SEARCH_D").arg(v->device, ip),
                                this);
        return;
    }
    const auto bound = commission::VerifyBoundFor(m_manager.GetAutoSearch());
    v->boundSeconds = int(std::chrono::duration_cast<std::chrono::seconds>(bound).count());
    v->deadline = m_clock.elapsed() + bound.count();
    m_controlBar->SetBusy(DeviceControlBar::ChangingNetwork);
    m_controlBar->SetBusyText(GetText("IDCS_SET_NETWORK_SENT_D").arg(v->device, ip));
    m_verification = std::move(v);
    m_verifyTimer->start();
}

void MainWindow::checkVerification() {
    if (m_verification == nullptr || m_closing) {
        m_verifyTimer->stop();
        return;
    }
    const Verification& v = *m_verification;
    SEARCH_INFO record{};
    const bool listed = m_manager.FindDevice(v.mac.toUtf8().constData(), &record);
    commission::DeviceStatus status;
    if (listed && commission::ShowsEntry(v.entry, record))
        status.state = commission::BatchState::Done;
    else if (m_clock.elapsed() >= v.deadline)
        status = commission::UnverifiedStatus(v.code, listed);
    else
        return;
    m_verifyTimer->stop();
    const std::unique_ptr<Verification> done = std::move(m_verification);
    if (status.state != commission::BatchState::Refused)
        sessionLog().Add(done->mac.toStdString(), VerificationDeed(done->entry),
                         status.state == commission::BatchState::Done);
    m_controlBar->SetBusy(DeviceControlBar::NotBusy);
    if (!isVisible())
        return;
    if (!done->entry.name.empty() && (status.state == commission::BatchState::Done ||
                                      status.state == commission::BatchState::NotConfirmed)) {
        const QString name = QString::fromStdString(done->entry.name);
        if (status.state == commission::BatchState::Done)
            N12_MessageBox::information(GetText("IDCS_RENAME_DONE_D").arg(done->device, name),
                                        this);
        else
            N12_MessageBox::warning(GetText("IDCS_RENAME_NOT_CONFIRMED_D").arg(done->device, name),
                                    this);
        return;
    }
    const OutcomeBox box =
        ReaddressOutcome(status.state, status.reason, done->device,
                         QString::fromStdString(done->entry.ip), done->boundSeconds);
    if (box.kind == BoxKind::Information)
        N12_MessageBox::information(box.text, this);
    else if (box.kind == BoxKind::Warning)
        N12_MessageBox::warning(box.text, this);
    else if (box.kind == BoxKind::Error)
        N12_MessageBox::error(box.text, this);
}

// A locked device's box names the seconds it still refuses requests for.
void MainWindow::showOutcome(const ActionMessage& message) {
    if (std::strcmp(message.key, "IDCS_DEVICE_LOCKED_D") != 0)
        return ShowActionMessage(message, this);
    N12_MessageBox::error(OutcomeText(message, m_manager.LastLockSeconds()), this);
}

// Both forms on the heap and watched, like every box over the window: the
// window may go while one runs, and takes the form with it.
bool MainWindow::identityConfirmed(const QString& mac) {
    const std::string text = mac.toStdString();
    std::string fingerprint;
    if (m_manager.GetIdentity(text.c_str(), &fingerprint) != LORVEX_IDENTITY_UNVERIFIED)
        return true; // certified, confirmed, or refused by the manager with its own message
    QPointer<KeyConfirmDialog> box =
        new KeyConfirmDialog(mac, QString::fromStdString(fingerprint), this);
    const bool accepted = box->exec() == QDialog::Accepted && !box.isNull();
    if (box.isNull())
        return false;
    delete box;
    const bool confirmed = accepted && m_manager.ConfirmIdentity(text.c_str(), fingerprint.c_str());
    remarkRow(mac);
    return confirmed;
}

void MainWindow::activateDevice(const QString& mac) {
    const DevInfo* record = findDeviceRecord(mac);
    if (record == nullptr) {
        ShowActionMessage({BoxKind::Error, "IDCS_PROMPT_DEVICE_NOT_EXIST"}, this);
        return;
    }
    if (refuseForCamera(mac) || deviceRequestRunning() || !identityConfirmed(mac))
        return;
    QPointer<ActivateDialog> form = new ActivateDialog(mac, record->devName, this);
    const bool accepted = form->exec() == QDialog::Accepted;
    if (form.isNull())
        return;
    QString typed = form->password();
    std::string code = form->setupCode();
    form->clearPassword();
    delete form;
    QByteArray utf8 = typed.toUtf8();
    WipeText(&typed);
    const SharedSecret secret = MakeSharedSecret(utf8.constData(), size_t(utf8.size()));
    WipeText(&utf8);
    const SharedSecret setupCode = MakeSharedSecret(code.data(), code.size());
    WipeSecret(&code);
    if (!accepted)
        return;
    CLorvexManage* manager = &m_manager;
    auto job = [manager, text = mac.toStdString(), secret, setupCode] {
        return static_cast<int>(
            manager->Activate(text.c_str(), secret->c_str(), setupCode->c_str()));
    };
    m_requestMac = mac;
    if (m_deviceRequests->start(ActivateDevice, job))
        m_controlBar->SetBusy(DeviceControlBar::ChangingNetwork);
}

void MainWindow::identifyDevice(const QString& mac) {
    const DevInfo* record = findDeviceRecord(mac);
    if (record == nullptr) {
        ShowActionMessage({BoxKind::Error, "IDCS_PROMPT_DEVICE_NOT_EXIST"}, this);
        return;
    }
    if (refuseForCamera(mac) || deviceRequestRunning() || !identityConfirmed(mac))
        return;
    QPointer<IdentifyDialog> form =
        new IdentifyDialog(mac, DeviceNaming(mac, record->devName), kIdentifySeconds, this);
    const bool accepted = form->exec() == QDialog::Accepted;
    if (form.isNull())
        return;
    QString typed = form->password();
    form->clearPassword();
    delete form;
    QByteArray utf8 = typed.toUtf8();
    WipeText(&typed);
    const SharedSecret secret = MakeSharedSecret(utf8.constData(), size_t(utf8.size()));
    WipeText(&utf8);
    if (!accepted)
        return;
    CLorvexManage* manager = &m_manager;
    auto job = [manager, text = mac.toStdString(), secret] {
        return static_cast<int>(manager->Identify(text.c_str(), secret->c_str(), kIdentifySeconds));
    };
    m_requestMac = mac;
    if (m_deviceRequests->start(IdentifyDevice, job))
        m_controlBar->SetBusy(DeviceControlBar::ChangingNetwork);
}

// Password restore and activation have no standard form in ONVIF.
bool MainWindow::refuseForCamera(const QString& mac) {
    const DevInfo* record = findDeviceRecord(mac);
    if (record == nullptr || !record->isCamera())
        return false;
    ShowActionMessage({BoxKind::Error, "IDCS_ONVIF_NOT_SUPPORTED"}, this);
    return true;
}

// Devices filtered out of the tree are in the list too.
const DevInfo* MainWindow::findDeviceRecord(const QString& mac) const {
    return m_records.value(mac, nullptr);
}

// The credentials for one camera request: those typed, kept for the session
// when the installer asked, or the session's when none were typed. False,
// after asking the installer for them, when there are none.
bool MainWindow::cameraCredentials(QString* typed, std::string* user, SharedSecret* password) {
    QString name = m_controlBar->networkUser();
    if (name.isEmpty())
        name = QStringLiteral("admin");
    if (typed->isEmpty()) {
        if (m_sessionPassword == nullptr) {
            N12_MessageBox::warning(GetText("IDCS_ONVIF_CREDENTIALS_NEEDED"), this);
            m_controlBar->AskCredentials();
            return false;
        }
        *user = m_sessionUser;
        *password = m_sessionPassword;
        return true;
    }
    QByteArray utf8 = typed->toUtf8();
    WipeText(typed);
    *user = name.toStdString();
    *password = MakeSharedSecret(utf8.constData(), size_t(utf8.size()));
    WipeText(&utf8);
    m_usedSessionCredentials = false;
    if (m_controlBar->keepCredentials()) {
        m_sessionUser = *user;
        m_sessionPassword = *password;
    }
    return true;
}

void MainWindow::readdressCamera(const DevInfo& record, const QStringList& addresses,
                                 QString* typedPassword) {
    onvif::CameraRecord camera;
    if (!m_cameras->search().Find(record.endpoint.toStdString(), &camera)) {
        WipeText(typedPassword);
        ShowActionMessage({BoxKind::Error, "IDCS_PROMPT_DEVICE_NOT_EXIST"}, this);
        return;
    }
    const bool typed = !typedPassword->isEmpty();
    onvif::ReaddressRequest request;
    if (!cameraCredentials(typedPassword, &request.user, &request.password))
        return;
    m_usedSessionCredentials = !typed;
    m_controlBar->ClearPassword();
    request.ip = addresses[0].toStdString();
    request.prefixLength = onvif::PrefixLength(addresses[1].toStdString());
    request.gateway = addresses[2].toStdString();
    request.cancelled = [closing = m_closingCamera] { return closing->load(); };
    auto result = std::make_shared<onvif::ReaddressResult>();
    onvif::CameraSearch* search = &m_cameras->search();
    QPointer<MainWindow> window(this);
    // Said while the camera reboots: it is silent for a while then.
    auto progress = [window](onvif::ReaddressStep step) {
        if (step != onvif::ReaddressStep::Rebooting)
            return;
        QMetaObject::invokeMethod(
            window,
            [window] {
                if (window)
                    window->m_controlBar->SetBusyText(GetText("IDCS_ONVIF_REBOOTING"));
            },
            Qt::QueuedConnection);
    };
    auto job = [camera, request, search, result, progress] {
        AwaitCameraRoute(camera);
        *result = onvif::Readdress(camera, request, search, progress);
        return 0;
    };
    m_requestMac = record.mac;
    if (m_deviceRequests->start(ReaddressCamera, job)) {
        m_cameraResult = result;
        m_cameraWhere = CameraOutOfReachWhere(camera);
        m_controlBar->SetBusy(DeviceControlBar::ChangingNetwork);
    }
}

// Credentials from the session that the camera refused are forgotten, so
// that the next request asks for the right ones.
void MainWindow::showCameraOutcome() {
    if (m_cameraResult == nullptr)
        return;
    const onvif::ReaddressResult result = *m_cameraResult;
    m_cameraResult.reset();
    if (result.outcome == onvif::ReaddressOutcome::Done ||
        result.outcome == onvif::ReaddressOutcome::NotConfirmed)
        sessionLog().Add(m_requestMac.toStdString(), report::Deed::Readdressed,
                         result.outcome == onvif::ReaddressOutcome::Done);
    QString detail;
    const ActionMessage message = CameraReaddressMessage(result, &detail);
    // The engine's sentence is English; the installer reads the address and
    // the card in the window's language instead.
    if (std::strcmp(message.key, "IDCS_ONVIF_OUT_OF_REACH") == 0)
        detail = m_cameraWhere;
    const bool refused =
        result.outcome == onvif::ReaddressOutcome::CallFailed &&
        (result.call == onvif::Outcome::WrongCredentials || result.call == onvif::Outcome::Locked);
    if (refused && m_usedSessionCredentials) {
        m_sessionPassword.reset();
        m_sessionUser.clear();
    }
    QString text = GetText(message.key);
    if (text.contains(QLatin1String("%1")))
        text = text.arg(detail);
    else if (!detail.isEmpty())
        text += QStringLiteral("\n\n") + detail;
    if (message.kind == BoxKind::Information)
        N12_MessageBox::information(text, this);
    else if (message.kind == BoxKind::Warning)
        N12_MessageBox::warning(text, this);
    else
        N12_MessageBox::error(text, this);
}

// The side panel's name: the maker's device through a configuration
// request with its addresses as listed, done once a new answer carries the
// name (the verification of a re-address); an ONVIF camera through its
// name scope and host name, done once read back.
void MainWindow::renameDevice(QString key, QString name, QString password) {
    const DevInfo* record = findDeviceRecord(key);
    if (record == nullptr) {
        WipeText(&password);
        ShowActionMessage({BoxKind::Error, "IDCS_PROMPT_DEVICE_NOT_EXIST"}, this);
        return;
    }
    m_requestMac = key;
    m_requestName = name;
    if (record->isCamera()) {
        renameCamera(*record, name, &password);
        return;
    }
    if (!identityConfirmed(key)) {
        WipeText(&password);
        return;
    }
    m_requestAddresses = QStringList{record->ipAddr, record->mask, record->route};
    const QByteArray utf8 = password.toUtf8();
    const SharedSecret secret = MakeSharedSecret(utf8.constData(), size_t(utf8.size()));
    WipeText(&password);
    WipeText(const_cast<QByteArray*>(&utf8));
    CLorvexManage* manager = &m_manager;
    auto job = [manager, mac = key.toStdString(), text = name.toStdString(), secret] {
        return static_cast<int>(manager->Rename(mac.c_str(), text.c_str(), secret->c_str()));
    };
    if (m_deviceRequests->start(ChangeNetwork, job))
        m_controlBar->SetBusy(DeviceControlBar::ChangingNetwork);
}

void MainWindow::renameCamera(const DevInfo& record, const QString& name, QString* typedPassword) {
    onvif::CameraRecord camera;
    if (!m_cameras->search().Find(record.endpoint.toStdString(), &camera)) {
        WipeText(typedPassword);
        ShowActionMessage({BoxKind::Error, "IDCS_PROMPT_DEVICE_NOT_EXIST"}, this);
        return;
    }
    const bool typed = !typedPassword->isEmpty();
    onvif::ActionContext context;
    if (!cameraCredentials(typedPassword, &context.user, &context.password))
        return;
    m_usedSessionCredentials = !typed;
    context.stop = m_closingCamera.get();
    onvif::RenameRequest request;
    request.name = name.toStdString();
    auto result = std::make_shared<onvif::RenameResult>();
    auto job = [camera, request, context, result] {
        AwaitCameraRoute(camera);
        *result = onvif::Rename(camera, request, context);
        return 0;
    };
    if (m_deviceRequests->start(RenameCamera, job)) {
        m_renameResult = result;
        m_controlBar->SetBusy(DeviceControlBar::ChangingNetwork);
    }
}

namespace {

// A maker's camera's picture, fetch and decode, once its token is granted.
constexpr int32_t kPictureTimeLimitMs = 6000;

// The words for a picture that did not come: the outcome's own text where
// the window has one, else the picture's.
QString PictureFailure(lorvex::Outcome outcome) {
    if (outcome == lorvex::Outcome::CameraBadPicture ||
        outcome == lorvex::Outcome::CameraPictureTooLarge)
        return GetText("IDCS_PICTURE_BAD");
    if (outcome == lorvex::Outcome::NoPicture)
        return GetText("IDCS_PICTURE_NO_CAMERA");
    if (outcome == lorvex::Outcome::Refused)
        return GetText("IDCS_PICTURE_REFUSED"); // a wrong password, counted toward the lock
    if (outcome == lorvex::Outcome::NoAnswer || outcome == lorvex::Outcome::CameraNoAnswer)
        return GetText("IDCS_PICTURE_NO_ANSWER");
    const ActionMessage message = OutcomeMessage(outcome);
    return message.key[0] != '\0' ? GetText(message.key) : GetText("IDCS_PICTURE_FAILED");
}

QString CameraPictureFailure(const onvif::SnapshotResult& r) {
    switch (r.outcome) {
    case onvif::Outcome::WrongCredentials:
        return GetText("IDCS_ONVIF_WRONG_CREDENTIALS");
    case onvif::Outcome::Locked:
        return GetText("IDCS_ONVIF_LOCKED");
    case onvif::Outcome::NoAnswer:
        return GetText("IDCS_ONVIF_NO_ANSWER");
    case onvif::Outcome::TooLarge:
        return GetText("IDCS_PICTURE_BAD");
    default:
        return GetText(r.image != snapshot::ImageCheck::Ok ? "IDCS_PICTURE_BAD"
                                                           : "IDCS_PICTURE_FAILED");
    }
}

} // namespace

void MainWindow::takePicture() {
    SnapshotPanel* panel = m_controlBar->picturePanel();
    const DevInfo* record = findDeviceRecord(m_controlBar->deviceKey());
    if (record == nullptr) {
        ShowActionMessage({BoxKind::Error, "IDCS_PROMPT_DEVICE_NOT_EXIST"}, this);
        return;
    }
    if (deviceRequestRunning())
        return;
    QString typed = m_controlBar->typedPassword();
    auto take = std::make_shared<PictureTake>();
    DeviceRequestRunner::Job job;
    if (record->isCamera()) {
        onvif::CameraRecord camera;
        if (!m_cameras->search().Find(record->endpoint.toStdString(), &camera)) {
            WipeText(&typed);
            ShowActionMessage({BoxKind::Error, "IDCS_PROMPT_DEVICE_NOT_EXIST"}, this);
            return;
        }
        onvif::ActionContext context;
        if (!cameraCredentials(&typed, &context.user, &context.password))
            return;
        onvif::CameraSearch* search = &m_cameras->search();
        job = [camera, context, take, search] {
            AwaitCameraRoute(camera);
            onvif::SnapshotRequest request;
            request.thumbnail = false;
            request.details = true; // the same log-in brings them to the row and report
            onvif::SnapshotResult r = onvif::TakeSnapshot(camera, request, context);
            if (r.detailsRead)
                search->SetInformation(camera.endpoint, KeptCameraDetails(camera.info, r.info));
            if (r.outcome == onvif::Outcome::Done)
                take->jpeg = std::move(r.jpeg);
            else
                take->failure = CameraPictureFailure(r);
            return 0;
        };
    } else {
        if (typed.isEmpty()) {
            N12_MessageBox::warning(GetText("IDCS_PICTURE_PASSWORD_NEEDED"), this);
            m_controlBar->AskCredentials();
            return;
        }
        if (!identityConfirmed(record->mac)) {
            WipeText(&typed);
            return;
        }
        QByteArray utf8 = typed.toUtf8();
        WipeText(&typed);
        const SharedSecret secret = MakeSharedSecret(utf8.constData(), size_t(utf8.size()));
        WipeText(&utf8);
        CLorvexManage* manager = &m_manager;
        job = [manager, mac = record->mac.toStdString(), secret, take] {
            MakerSnapshot r =
                manager->TakeSnapshot(mac.c_str(), secret->c_str(), kPictureTimeLimitMs);
            if (r.outcome == lorvex::Outcome::Done)
                take->jpeg = std::move(r.jpeg);
            else
                take->failure = PictureFailure(r.outcome);
            return 0;
        };
    }
    m_controlBar->ClearPassword();
    m_requestMac = record->mac;
    if (m_deviceRequests->start(TakePicture, job)) {
        m_pictureTake = take;
        panel->showBusy();
        m_controlBar->SetBusy(DeviceControlBar::ChangingNetwork);
    }
}

void MainWindow::showCameraRenameOutcome() {
    const std::shared_ptr<onvif::RenameResult> r = std::move(m_renameResult);
    if (r == nullptr)
        return;
    const DevInfo* record = findDeviceRecord(m_requestMac);
    const QString device = DeviceNaming(m_requestMac, record ? record->devName : QString());
    if (r->outcome == onvif::Outcome::Done)
        sessionLog().Add(m_requestMac.toStdString(), report::Deed::Renamed, r->verified);
    if (r->outcome == onvif::Outcome::Done && r->verified)
        N12_MessageBox::information(GetText("IDCS_RENAME_DONE_D").arg(device, m_requestName), this);
    else if (r->outcome == onvif::Outcome::Done)
        N12_MessageBox::warning(GetText("IDCS_RENAME_NOT_CONFIRMED_D").arg(device, m_requestName),
                                this);
    else
        N12_MessageBox::error(
            GetText("IDCS_RENAME_FAILED_D")
                .arg(device, r->detail.empty() ? QString::fromLatin1(onvif::OutcomeName(r->outcome))
                                               : QString::fromStdString(r->detail)),
            this);
}

void MainWindow::showPicture() {
    const std::shared_ptr<PictureTake> take = std::move(m_pictureTake);
    // The panel shows another device by now: the picture is not its.
    if (take == nullptr || m_requestMac != m_controlBar->deviceKey())
        return;
    SnapshotPanel* panel = m_controlBar->picturePanel();
    if (take->failure.isEmpty()) {
        snapshot::Thumbnail thumbnail;
        if (panel->showPicture(take->jpeg) &&
            snapshot::MakeThumbnail(reinterpret_cast<const std::uint8_t*>(take->jpeg.data()),
                                    take->jpeg.size(), snapshot::DecodeLimits{},
                                    &thumbnail) == snapshot::ImageCheck::Ok)
            m_thumbnails[m_requestMac] = std::move(thumbnail);
    } else
        panel->showText(take->failure);
}
