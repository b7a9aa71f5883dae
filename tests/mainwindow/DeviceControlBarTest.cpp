// The control bar: its sections and their headers, the layout of both
// forms, the two form checks in their order and what the bar emits. Run in
// each language; renders the bar's states into shots/<locale>/.
#include "AddrPartLineEdit.h"
#include "BoxDriver.h"
#include "ButtonControl.h"
#include "DeviceControlBar.h"
#include "IpAddrEdit.h"
#include "MacAddrEdit.h"
#include "Jpeg.h"
#include "MainWindowTestSupport.h"
#include "SnapshotPanel.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKPushButton.h"

#include <QDir>
#include <QFrame>
#include <QLocale>
#include <QCheckBox>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace windowtest;

namespace {

const QSize kBarSize(300, 700);

template <class T> T* child(QWidget* parent, const char* name) {
    T* widget = parent->findChild<T*>(QLatin1String(name));
    if (widget == nullptr)
        qFatal("no child %s", name);
    return widget;
}

// Types into the parts of an address field as a user would leave them.
void typeParts(AddrEditBase* field, const QStringList& parts) {
    for (int i = 0; i < field->parts().size(); ++i)
        field->parts()[i]->setText(i < parts.size() ? parts[i] : QString());
}

QString shotDir() {
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/shots/") +
                        QLocale::system().name();
    QDir().mkpath(dir);
    return dir;
}

} // namespace

class TestDeviceControlBar : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void constructionState();
    void layout_data();
    void layout();
    void headerClick_data();
    void headerClick();
    void headerLooks();
    void setNetworkParamFillsForm();
    void saveChecks_data();
    void saveChecks();
    void saveEmits();
    void returnInPasswordSaves();
    void refusedAddressStopsSave();
    void otherDeviceClearsPassword();
    void restoreMacOffered();
    void restoreEmitsUpperCase();
    void restoreEmptyWarnsAndRefocuses();
    void busyState();
    void cameraForm_data();
    void cameraForm();
    void busyTextForReboot();
    void renameChecksTheName();
    void picturePanel();
    void shots();

private:
    DeviceControlBar* bar() { return m_bar.get(); }
    void fillGoodForm();

    std::unique_ptr<DeviceControlBar> m_bar;
};

void TestDeviceControlBar::initTestCase() {
    applyLook();
    g_languageId = LanguageIdFromLocaleName(QLocale::system().name());
    InitLanguage(QCoreApplication::applicationDirPath().toUtf8(), g_languageId);
}

void TestDeviceControlBar::init() {
    m_bar.reset(new DeviceControlBar);
    m_bar->resize(kBarSize);
    m_bar->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_bar.get()));
}

void TestDeviceControlBar::cleanup() { m_bar.reset(); }

// A camera known by its endpoint only: the MAC field is empty, Save names it
// by the key, and the user row and session choice push the rest down; a
// maker's device after it takes the usual form back.
void TestDeviceControlBar::cameraForm_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("shownMac");
    QTest::newRow("camera with MAC") << "02:4F:4E:00:00:01"
                                     << "02:4F:4E:00:00:01";
    QTest::newRow("camera by endpoint") << "urn:uuid:6f6e7669-6600-4000-8000-024f4e000001"
                                        << "";
}

void TestDeviceControlBar::cameraForm() {
    QFETCH(QString, key);
    QFETCH(QString, shownMac);
    auto* user = child<ZVKLineEdit>(bar(), "userField");
    auto* keep = child<QCheckBox>(bar(), "sessionCredentialsBox");
    auto* password = child<ZVKLineEdit>(bar(), "passwordField");
    QVERIFY(!user->isVisible());
    const QRect usualPassword = password->geometry();
    bar()->SetNetworkParam(key, QStringLiteral("10.0.0.5"), QStringLiteral("255.255.255.0"),
                           QStringLiteral("10.0.0.1"));
    bar()->SetCamera(true, shownMac);
    QVERIFY(user->isVisible() && keep->isVisible());
    QCOMPARE(user->text(), QStringLiteral("admin"));
    // The hint and the placeholder speak of the camera's login, not of the
    // maker's admin password.
    auto* hint = child<ZVKLabel>(bar(), "networkInfo");
    QCOMPARE(hint->text(), GetText("IDCS_ONVIF_NETWORK_INFO"));
    QCOMPARE(password->placeholderText(), GetText("IDCS_ONVIF_PASSWORD_PLACEHOLDER"));
    QCOMPARE(bar()->networkMac().remove(QLatin1Char(':')).trimmed(),
             QString(shownMac).remove(QLatin1Char(':')));
    QVERIFY(password->geometry().top() > user->geometry().bottom());
    QVERIFY(keep->geometry().top() > password->geometry().bottom());
    QVERIFY(keep->geometry().right() < bar()->width());
    user->setText(QStringLiteral(" operator "));
    QSignalSpy emitted(bar(), SIGNAL(sig_changeNetworkParam(QString, QString, QString, QString,
                                                            QString, QString, QString, bool)));
    BoxDriver boxes;
    QTest::mouseClick(child<ZVKPushButton>(bar(), "saveButton"), Qt::LeftButton);
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(emitted.count(), 1);
    QCOMPARE(emitted.at(0).at(0).toString(), key);
    QCOMPARE(bar()->networkUser(), QStringLiteral("operator"));
    QVERIFY(!bar()->keepCredentials());
    keep->setChecked(true);
    QVERIFY(bar()->keepCredentials());

    fillGoodForm();
    bar()->SetCamera(false, QString());
    QVERIFY(!user->isVisible() && !keep->isVisible());
    QCOMPARE(password->geometry(), usualPassword);
    QCOMPARE(hint->text(), GetText("IDCS_CHANGE_NETWORK_PARAM_INFO"));
    QCOMPARE(password->placeholderText(), GetText("IDCS_PASSWORD_PLACEHOLDER"));
}

void TestDeviceControlBar::busyTextForReboot() {
    auto* busy = child<ZVKLabel>(bar(), "networkBusy");
    bar()->SetBusy(DeviceControlBar::ChangingNetwork);
    QCOMPARE(busy->text(), GetText("IDCS_REQUEST_IN_PROGRESS"));
    bar()->SetBusyText(GetText("IDCS_ONVIF_REBOOTING"));
    QCOMPARE(busy->text(), GetText("IDCS_ONVIF_REBOOTING"));
    // The next request starts with the usual line.
    bar()->SetBusy(DeviceControlBar::NotBusy);
    bar()->SetBusy(DeviceControlBar::ChangingNetwork);
    QCOMPARE(busy->text(), GetText("IDCS_REQUEST_IN_PROGRESS"));
}

// Rename sends the device's key, the name and the network form's password
// (which it empties); a name no device may carry stops it with a box.
void TestDeviceControlBar::renameChecksTheName() {
    fillGoodForm();
    auto* name = child<ZVKLineEdit>(bar(), "nameField");
    auto* password = child<ZVKLineEdit>(bar(), "passwordField");
    QSignalSpy emitted(bar(), SIGNAL(sig_renameDevice(QString, QString, QString)));
    BoxDriver boxes;
    for (const QString& bad : {QString(), QStringLiteral(" Gate"), QString(32, QLatin1Char('n'))}) {
        name->setText(bad);
        QTest::mouseClick(child<ZVKPushButton>(bar(), "renameButton"), Qt::LeftButton);
    }
    QCOMPARE(boxes.count(), 3);
    QCOMPARE(emitted.count(), 0);
    bar()->SetCamera(true, QString()); // a camera's name may be longer
    password->setText(QStringLiteral("secret"));
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(emitted.count(), 1);
    QCOMPARE(emitted.at(0).at(0).toString(), QStringLiteral("02:4c:56:00:00:0A"));
    QCOMPARE(emitted.at(0).at(1).toString(), QString(32, QLatin1Char('n')));
    QCOMPARE(emitted.at(0).at(2).toString(), QStringLiteral("secret"));
    QVERIFY(password->text().isEmpty());
}

void TestDeviceControlBar::fillGoodForm() {
    bar()->SetNetworkParam(QStringLiteral("02:4c:56:00:00:0A"), QStringLiteral("192.168.1.64"),
                           QStringLiteral("255.255.255.0"), QStringLiteral("192.168.1.1"));
}

void TestDeviceControlBar::constructionState() {
    QVERIFY(bar()->networkSectionOpen());
    QVERIFY(!bar()->restoreSectionOpen());
    auto* network = child<ButtonControl>(bar(), "networkHeader");
    auto* restore = child<ButtonControl>(bar(), "restoreHeader");
    QVERIFY(network->isExpanded());
    QVERIFY(!restore->isExpanded());
    QCOMPARE(network->arrowImage(), QStringLiteral(":/skin/collapse.png"));
    QCOMPARE(restore->arrowImage(), QStringLiteral(":/skin/expand.png"));
    QCOMPARE(network->titleLabel()->text(), GetText("IDCS_CHANGE_NETWORK_PARAM"));
    QCOMPARE(restore->titleLabel()->text(), GetText("IDCS_RESTORE_DEVICE_PASSWORD"));
    QVERIFY(!child<MacAddrEdit>(bar(), "macField")->isEnabled());
    QVERIFY(child<MacAddrEdit>(bar(), "restoreMacField")->isEnabled());
    QCOMPARE(child<ZVKLineEdit>(bar(), "passwordField")->echoMode(), QLineEdit::Password);
    QCOMPARE(child<ZVKPushButton>(bar(), "saveButton")->text(), GetText("IDCS_SAVE"));
    QCOMPARE(child<ZVKPushButton>(bar(), "okButton")->text(), GetText("IDCS_OK"));
    QVERIFY(child<ZVKLabel>(bar(), "networkInfo")->wordWrap());
    QVERIFY(bar()->networkMac().isEmpty());
}

void TestDeviceControlBar::layout_data() {
    QTest::addColumn<bool>("networkOpen");
    QTest::addColumn<bool>("restoreOpen");
    QTest::addColumn<int>("restoreTop");
    QTest::newRow("network open, restore closed") << true << false << 360;
    QTest::newRow("both open") << true << true << 360;
    QTest::newRow("network closed, restore open") << false << true << 33;
    QTest::newRow("both closed") << false << false << 33;
}

void TestDeviceControlBar::layout() {
    QFETCH(bool, networkOpen);
    QFETCH(bool, restoreOpen);
    QFETCH(int, restoreTop);
    bar()->slot_visibleNetworkParam(networkOpen);
    bar()->slot_visibleDevice(restoreOpen);
    const int w = kBarSize.width(), h = kBarSize.height();
    QCOMPARE(child<ButtonControl>(bar(), "networkHeader")->geometry(), QRect(0, 0, w - 1, 33));
    QCOMPARE(child<ButtonControl>(bar(), "restoreHeader")->geometry(),
             QRect(0, restoreTop, w - 1, 33));
    auto* networkFrame = child<QFrame>(bar(), "networkFrame");
    auto* restoreFrame = child<QFrame>(bar(), "restoreFrame");
    QCOMPARE(networkFrame->isVisible(), networkOpen);
    QCOMPARE(restoreFrame->isVisible(), restoreOpen);
    if (networkOpen) {
        QCOMPARE(networkFrame->geometry(), QRect(1, 33, w - 1, 463));
        QCOMPARE(child<ZVKPushButton>(bar(), "renameButton")->geometry(), QRect(209, 294, 80, 23));
        QCOMPARE(child<IpAddrEdit>(bar(), "gatewayField")->geometry(), QRect(119, 126, 170, 23));
        QCOMPARE(child<ZVKPushButton>(bar(), "saveButton")->geometry(), QRect(209, 176, 80, 23));
        QCOMPARE(child<ZVKLabel>(bar(), "networkInfo")->geometry(), QRect(39, 207, w - 39, 60));
    }
    if (restoreOpen) {
        QCOMPARE(restoreFrame->geometry(), QRect(1, restoreTop + 33, w - 1, h - restoreTop - 33));
        QCOMPARE(child<MacAddrEdit>(bar(), "restoreMacField")->geometry(), QRect(9, 33, 190, 23));
        QCOMPARE(child<ZVKPushButton>(bar(), "okButton")->geometry(), QRect(209, 33, 80, 23));
    }
    // A resize lays the open sections out again.
    bar()->resize(w + 40, h - 100);
    QCOMPARE(child<ButtonControl>(bar(), "restoreHeader")->width(), w + 39);
    if (restoreOpen)
        QCOMPARE(restoreFrame->height(), h - 100 - restoreTop - 33);
}

void TestDeviceControlBar::headerClick_data() {
    QTest::addColumn<int>("buttonCode");
    QTest::addColumn<bool>("releaseInside");
    QTest::addColumn<bool>("toggles");
    QTest::newRow("left, released inside") << int(Qt::LeftButton) << true << true;
    QTest::newRow("left, released outside") << int(Qt::LeftButton) << false << false;
    QTest::newRow("right, released inside") << int(Qt::RightButton) << true << false;
}

void TestDeviceControlBar::headerClick() {
    QFETCH(int, buttonCode);
    const auto button = static_cast<Qt::MouseButton>(buttonCode);
    QFETCH(bool, releaseInside);
    QFETCH(bool, toggles);
    auto* restore = child<ButtonControl>(bar(), "restoreHeader");
    QSignalSpy clicked(restore, SIGNAL(clicked(bool)));
    QTest::mousePress(restore, button, Qt::NoModifier, QPoint(20, 10));
    const QPoint release = releaseInside ? QPoint(20, 10) : QPoint(20, 60);
    QTest::mouseRelease(restore, button, Qt::NoModifier, release);
    QCOMPARE(clicked.count(), toggles ? 1 : 0);
    QCOMPARE(bar()->restoreSectionOpen(), toggles);
    QCOMPARE(restore->isExpanded(), toggles);
    QCOMPARE(child<QFrame>(bar(), "restoreFrame")->isVisible(), toggles);
    if (toggles) {
        QCOMPARE(clicked.at(0).at(0).toBool(), true);
        QCOMPARE(restore->arrowImage(), QStringLiteral(":/skin/collapse.png"));
    }
}

void TestDeviceControlBar::headerLooks() {
    auto* header = child<ButtonControl>(bar(), "networkHeader");
    const auto cell = [header] { return header->arrowSheet(); };
    QVERIFY(cell().contains(QStringLiteral("0 11 0 11"))); // setExpanded shows hover
    QTest::mousePress(header, Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    QVERIFY(cell().contains(QStringLiteral("0 0 0 22")));
    QVERIFY(header->styleSheet().contains(QStringLiteral("rgb(37,38,44)")));
    QTest::mouseRelease(header, Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    QVERIFY(cell().contains(QStringLiteral("url(:/skin/expand.png) 0 11 0 11")));
    QVERIFY(header->styleSheet().contains(QStringLiteral("rgb(75,80,84)")));
    QVERIFY(!bar()->networkSectionOpen());
    QCOMPARE(child<ButtonControl>(bar(), "restoreHeader")->y(), 33);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(header, &leave);
    QVERIFY(cell().contains(QStringLiteral("0 22 0 0")));
    QVERIFY(header->styleSheet().contains(QStringLiteral("rgb(43,44,49)")));
}

void TestDeviceControlBar::setNetworkParamFillsForm() {
    fillGoodForm();
    QCOMPARE(bar()->networkMac(), QStringLiteral("02:4c:56:00:00:0A"));
    QCOMPARE(bar()->networkIp(), QStringLiteral("192.168.1.64"));
    QCOMPARE(bar()->networkSubnet(), QStringLiteral("255.255.255.0"));
    QCOMPARE(bar()->networkGateway(), QStringLiteral("192.168.1.1"));
    // A device without a gateway: its field is left empty, not stale.
    bar()->SetNetworkParam(QStringLiteral("02:4C:56:00:00:0B"), QStringLiteral("10.0.0.9"),
                           QStringLiteral("255.0.0.0"), QString());
    QVERIFY(bar()->networkGateway().isEmpty());
    QCOMPARE(bar()->networkIp(), QStringLiteral("10.0.0.9"));
}

void TestDeviceControlBar::saveChecks_data() {
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QStringList>("ip");
    QTest::addColumn<QStringList>("subnet");
    QTest::addColumn<QStringList>("gateway");
    QTest::addColumn<QString>("titleKey");
    QTest::addColumn<QString>("key");
    const QStringList good{"10", "0", "0", "2"}, mask{"255", "0", "0", "0"};
    const QStringList empty;
    QTest::newRow("nothing selected") << false << good << mask << good << "IDCS_WARNING"
                                      << "IDCS_NETWORK_PARAM_EMPTY";
    QTest::newRow("ip empty") << true << empty << mask << good << "IDCS_ERROR"
                              << "IDCS_PROMPT_IPADDRESS_EMPTY";
    QTest::newRow("ip part missing")
        << true << QStringList{"10", "", "0", "2"} << mask << good << "IDCS_ERROR"
        << "IDCS_PROMPT_IPADDRESS_INVALID";
    QTest::newRow("subnet before gateway")
        << true << good << QStringList{"255", "255"} << empty << "IDCS_ERROR"
        << "IDCS_PROMPT_SUBNET_MASK_INVALID";
    QTest::newRow("subnet empty") << true << good << empty << good << "IDCS_ERROR"
                                  << "IDCS_PROMPT_SUBNET_MASK_EMPTY";
    QTest::newRow("gateway empty") << true << good << mask << empty << "IDCS_ERROR"
                                   << "IDCS_PROMPT_GATEWAY_EMPTY";
    QTest::newRow("gateway part missing")
        << true << good << mask << QStringList{"10", "0", "0"} << "IDCS_ERROR"
        << "IDCS_PROMPT_GATEWAY_INVALID";
}

void TestDeviceControlBar::saveChecks() {
    QFETCH(bool, selected);
    QFETCH(QStringList, ip);
    QFETCH(QStringList, subnet);
    QFETCH(QStringList, gateway);
    QFETCH(QString, titleKey);
    QFETCH(QString, key);
    if (selected)
        fillGoodForm();
    typeParts(child<IpAddrEdit>(bar(), "ipField"), ip);
    typeParts(child<IpAddrEdit>(bar(), "subnetField"), subnet);
    typeParts(child<IpAddrEdit>(bar(), "gatewayField"), gateway);
    const QString ipBefore = bar()->networkIp();
    QSignalSpy emitted(bar(), SIGNAL(sig_changeNetworkParam(QString, QString, QString, QString,
                                                            QString, QString, QString, bool)));
    BoxDriver boxes;
    QTest::mouseClick(child<ZVKPushButton>(bar(), "saveButton"), Qt::LeftButton);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.seen().title, GetText(titleKey.toLatin1().constData()));
    QCOMPARE(boxes.seen().text, GetText(key.toLatin1().constData()));
    QCOMPARE(emitted.count(), 0);
    QCOMPARE(bar()->networkIp(), ipBefore); // fields as they were
}

void TestDeviceControlBar::saveEmits() {
    fillGoodForm();
    child<ZVKLineEdit>(bar(), "passwordField")->setText(QStringLiteral("  pass word \t"));
    QSignalSpy emitted(bar(), SIGNAL(sig_changeNetworkParam(QString, QString, QString, QString,
                                                            QString, QString, QString, bool)));
    BoxDriver boxes;
    QTest::mouseClick(child<ZVKPushButton>(bar(), "saveButton"), Qt::LeftButton);
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(emitted.count(), 1);
    const QList<QVariant> a = emitted.at(0);
    QCOMPARE(a.at(0).toString(), QStringLiteral("02:4c:56:00:00:0A")); // case as given
    QCOMPARE(a.at(1).toString(), QStringLiteral("192.168.1.64"));
    QCOMPARE(a.at(2).toString(), QStringLiteral("255.255.255.0"));
    QCOMPARE(a.at(3).toString(), QStringLiteral("192.168.1.1"));
    QCOMPARE(a.at(4).toString(), QStringLiteral("pass word"));
    QCOMPARE(a.at(5).toString(), QString());
    QCOMPARE(a.at(6).toString(), QString());
    QCOMPARE(a.at(7).toBool(), false);
    // An empty password is sent too; the device decides.
    child<ZVKLineEdit>(bar(), "passwordField")->clear();
    QTest::mouseClick(child<ZVKPushButton>(bar(), "saveButton"), Qt::LeftButton);
    QCOMPARE(emitted.count(), 2);
    QCOMPARE(emitted.at(1).at(4).toString(), QString());
}

// Return where the password was typed presses Save for that form; while a
// request runs (Save greyed out) it does nothing.
void TestDeviceControlBar::returnInPasswordSaves() {
    fillGoodForm();
    auto* password = child<ZVKLineEdit>(bar(), "passwordField");
    QVERIFY(!password->placeholderText().isEmpty());
    QCOMPARE(child<ZVKLabel>(bar(), "passwordLabel")->text(), GetText("IDCS_PASSWORD"));
    QSignalSpy emitted(bar(), SIGNAL(sig_changeNetworkParam(QString, QString, QString, QString,
                                                            QString, QString, QString, bool)));
    password->setFocus();
    QTest::keyClicks(password, QStringLiteral("123456"));
    QTest::keyClick(password, Qt::Key_Return);
    QCOMPARE(emitted.count(), 1);
    QCOMPARE(emitted.at(0).at(4).toString(), QStringLiteral("123456"));
    bar()->SetBusy(DeviceControlBar::ChangingNetwork);
    QTest::keyClick(password, Qt::Key_Return);
    QCOMPARE(emitted.count(), 1);
    bar()->SetBusy(DeviceControlBar::NotBusy);
    // Nothing typed since that request: Return that strays here sends
    // nothing again; typing in the form (an address here) arms it again.
    QTest::keyClick(password, Qt::Key_Return);
    QCOMPARE(emitted.count(), 1);
    AddrPartLineEdit* last = child<IpAddrEdit>(bar(), "ipField")->parts().last();
    last->setFocus();
    last->selectAll();
    QTest::keyClicks(last, QStringLiteral("70"));
    password->setFocus();
    QTest::keyClick(password, Qt::Key_Return);
    QCOMPARE(emitted.count(), 2);
    QCOMPARE(emitted.at(1).at(1).toString(), QStringLiteral("192.168.1.70"));
    // Another device: its form starts unarmed.
    bar()->SetNetworkParam(QStringLiteral("02:4C:56:00:00:0B"), QStringLiteral("192.168.1.65"),
                           QStringLiteral("255.255.255.0"), QStringLiteral("192.168.1.1"));
    QTest::keyClick(password, Qt::Key_Return);
    QCOMPARE(emitted.count(), 2);
}

// An address field that refused part of what was typed stops Save with a
// box naming it; once the address is typed again, Save sends it.
void TestDeviceControlBar::refusedAddressStopsSave() {
    fillGoodForm();
    QSignalSpy emitted(bar(), SIGNAL(sig_changeNetworkParam(QString, QString, QString, QString,
                                                            QString, QString, QString, bool)));
    auto* gateway = child<IpAddrEdit>(bar(), "gatewayField");
    AddrPartLineEdit* last = gateway->parts().last();
    last->setFocus();
    last->setCursorPosition(1);
    QTest::keyClicks(last, QStringLiteral("99")); // "199"
    QTest::keyClick(last, Qt::Key_9);             // a fourth digit: refused
    QVERIFY(gateway->showsRefusal());
    QVERIFY(bar()->grab(QRect(0, 0, bar()->width(), 300)).save(shotDir() + "/bar-refused.png"));
    BoxDriver boxes;
    QTest::mouseClick(child<ZVKPushButton>(bar(), "saveButton"), Qt::LeftButton);
    QTRY_COMPARE(boxes.count(), 1);
    QCOMPARE(boxes.seen().text,
             GetText("IDCS_ADDRESS_NOT_AS_TYPED_D").arg(GetText("IDCS_GATEWAY")));
    QCOMPARE(emitted.count(), 0);
    last->selectAll();
    QTest::keyClicks(last, QStringLiteral("1"));
    QVERIFY(!gateway->showsRefusal());
    QTest::mouseClick(child<ZVKPushButton>(bar(), "saveButton"), Qt::LeftButton);
    QCOMPARE(emitted.count(), 1);
}

void TestDeviceControlBar::otherDeviceClearsPassword() {
    fillGoodForm();
    auto* password = child<ZVKLineEdit>(bar(), "passwordField");
    password->setText(QStringLiteral("secret"));
    // The same device again (a refresh, its row re-filled): kept.
    fillGoodForm();
    QCOMPARE(password->text(), QStringLiteral("secret"));
    bar()->SetNetworkParam(QStringLiteral("02:4C:56:00:00:0B"), QStringLiteral("192.168.1.65"),
                           QStringLiteral("255.255.255.0"), QStringLiteral("192.168.1.1"));
    QCOMPARE(password->text(), QString());
}

// The restore form offers the selected device's MAC while it is empty or
// still holds the previous offer; a MAC the installer typed stays.
void TestDeviceControlBar::restoreMacOffered() {
    fillGoodForm();
    QCOMPARE(bar()->restoreMac(), QStringLiteral("02:4c:56:00:00:0A"));
    bar()->SetNetworkParam(QStringLiteral("02:4C:56:00:00:0B"), QStringLiteral("192.168.1.65"),
                           QStringLiteral("255.255.255.0"), QStringLiteral("192.168.1.1"));
    QCOMPARE(bar()->restoreMac(), QStringLiteral("02:4C:56:00:00:0B"));
    typeParts(child<MacAddrEdit>(bar(), "restoreMacField"), {"aa", "bb", "cc", "dd", "ee", "ff"});
    fillGoodForm();
    QCOMPARE(bar()->restoreMac(), QStringLiteral("aa:bb:cc:dd:ee:ff"));
    bar()->ClearRestoreMac();
    fillGoodForm();
    QCOMPARE(bar()->restoreMac(), QStringLiteral("02:4c:56:00:00:0A"));
}

void TestDeviceControlBar::restoreEmitsUpperCase() {
    bar()->slot_visibleDevice(true);
    auto* field = child<MacAddrEdit>(bar(), "restoreMacField");
    QVERIFY(field->setText(QStringLiteral("aa:bb:cc:dd:ee:ff")));
    QSignalSpy emitted(bar(), SIGNAL(sig_restorePwd(QString)));
    QTest::mouseClick(child<ZVKPushButton>(bar(), "okButton"), Qt::LeftButton);
    QCOMPARE(emitted.count(), 1);
    QCOMPARE(emitted.at(0).at(0).toString(), QStringLiteral("AA:BB:CC:DD:EE:FF"));
    bar()->ClearRestoreMac();
    QVERIFY(field->text().isEmpty());
}

void TestDeviceControlBar::restoreEmptyWarnsAndRefocuses() {
    bar()->slot_visibleDevice(true);
    bar()->activateWindow();
    auto* ok = child<ZVKPushButton>(bar(), "okButton");
    ok->setFocus();
    QSignalSpy emitted(bar(), SIGNAL(sig_restorePwd(QString)));
    BoxDriver boxes;
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.seen().title, GetText("IDCS_WARNING"));
    QCOMPARE(boxes.seen().text, GetText("IDCS_MAC_ADDRESS_EMPTY_ERROR"));
    QCOMPARE(emitted.count(), 0);
    // The window's focus widget, whether or not the window is active again.
    QCOMPARE(bar()->focusWidget()->parentWidget(), child<MacAddrEdit>(bar(), "restoreMacField"));
}

void TestDeviceControlBar::busyState() {
    bar()->slot_visibleDevice(true);
    auto* save = child<ZVKPushButton>(bar(), "saveButton");
    auto* ok = child<ZVKPushButton>(bar(), "okButton");
    bar()->SetBusy(DeviceControlBar::ChangingNetwork);
    QVERIFY(!save->isEnabled());
    QVERIFY(!ok->isEnabled());
    QVERIFY(child<ZVKLabel>(bar(), "networkBusy")->isVisible());
    QVERIFY(!child<ZVKLabel>(bar(), "restoreBusy")->isVisible());
    QVERIFY(!child<ZVKLabel>(bar(), "networkInfo")->isVisible());
    QVERIFY(child<IpAddrEdit>(bar(), "ipField")->isEnabled()); // still editable
    bar()->SetBusy(DeviceControlBar::RestoringPassword);
    QVERIFY(!child<ZVKLabel>(bar(), "networkBusy")->isVisible());
    QVERIFY(child<ZVKLabel>(bar(), "restoreBusy")->isVisible());
    bar()->SetBusy(DeviceControlBar::NotBusy);
    QVERIFY(save->isEnabled());
    QVERIFY(ok->isEnabled());
    QVERIFY(!child<ZVKLabel>(bar(), "restoreBusy")->isVisible());
    QVERIFY(child<ZVKLabel>(bar(), "networkInfo")->isVisible());
    QVERIFY(child<ZVKLabel>(bar(), "restoreInfo")->isVisible());
}

// The bar as the installer sees it, to be looked at after a change.
namespace {

// A 640 x 360 JPEG of a blue-to-green ramp.
std::string RampJpeg() {
    snapshot::Image image;
    image.width = 640, image.height = 360;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.rgb.insert(image.rgb.end(), {40, std::uint8_t(x * 255 / 640), 200});
    std::string jpeg;
    snapshot::EncodeJpeg(image, 80, std::string(), &jpeg);
    return jpeg;
}

} // namespace

// The picture below the sections: the button only for a camera, a picture
// that decodes shown scaled, any other bytes shown as words, and a new
// device drops what the one before showed.
void TestDeviceControlBar::picturePanel() {
    SnapshotPanel* panel = bar()->picturePanel();
    auto* button = child<ZVKPushButton>(panel, "pictureButton");
    auto* text = child<ZVKLabel>(panel, "pictureText");
    QVERIFY(panel->isVisible());
    QVERIFY(!button->isEnabled());
    panel->setDevice(true);
    QSignalSpy asked(panel, &SnapshotPanel::sig_takePicture);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(asked.count(), 1);
    const std::string good = RampJpeg();
    const struct {
        std::string jpeg;
        bool shown;
    } cases[] = {{good, true}, {good.substr(0, good.size() / 3), false}, {"<html>", false}};
    for (const auto& c : cases) {
        panel->showBusy();
        QVERIFY(!button->isEnabled());
        QCOMPARE(panel->showPicture(c.jpeg), c.shown);
        QCOMPARE(!panel->picture().isNull(), c.shown);
        QCOMPARE(text->text().isEmpty(), c.shown);
        QVERIFY(button->isEnabled());
    }
    panel->showPicture(good);
    QVERIFY(bar()->grab().save(shotDir() + QStringLiteral("/bar-picture.png")));
    panel->setDevice(false);
    QVERIFY(panel->picture().isNull() && !button->isEnabled());
}

void TestDeviceControlBar::shots() {
    const QString dir = shotDir();
    fillGoodForm();
    child<ZVKLineEdit>(bar(), "passwordField")->setText(QStringLiteral("123456"));
    bar()->SetDeviceName(QStringLiteral("Gate-North-03"));
    // Through the header strips, so that their arrows match the sections.
    QTest::mouseClick(child<ButtonControl>(bar(), "restoreHeader"), Qt::LeftButton);
    child<MacAddrEdit>(bar(), "restoreMacField")->setText(QStringLiteral("02:4C:56:00:00:0A"));
    QVERIFY(bar()->grab().save(dir + QStringLiteral("/bar-both-open.png")));
    bar()->SetBusy(DeviceControlBar::ChangingNetwork);
    QVERIFY(bar()->grab().save(dir + QStringLiteral("/bar-busy.png")));
    bar()->SetBusy(DeviceControlBar::NotBusy);
    QTest::mouseClick(child<ButtonControl>(bar(), "networkHeader"), Qt::LeftButton);
    QVERIFY(!bar()->networkSectionOpen());
    QVERIFY(bar()->grab().save(dir + QStringLiteral("/bar-network-closed.png")));
}

QTEST_MAIN(TestDeviceControlBar)
#include "DeviceControlBarTest.moc"
