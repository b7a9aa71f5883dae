// The whole tool as an installer uses it: the real main window inside a
// private network with simulated devices, driven through its rows, fields
// and buttons, every message box read and answered from here. The boxes and
// the window's states are rendered into shots/<locale>/ to be looked at.
#include "BoxDriver.h"
#include "ButtonControl.h"
#include "DevInfo.h"
#include "DeviceColumns.h"
#include "DeviceControlBar.h"
#include "DeviceFilterMenus.h"
#include "DeviceTreeHeaderView.h"
#include "DeviceActionRules.h"
#include "DevicePage.h"
#include "HostProcess.h"
#include "IpAddrEdit.h"
#include "LanguageSrc.h"
#include "MacAddrEdit.h"
#include "AddrPartLineEdit.h"
#include "HeaderButton.h"
#include "PortLineEdit.h"
#include "ZVKCheckBox.h"
#include "MainWindow.h"
#include "StatusBar.h"
#include "MainWindowTestSupport.h"
#include "NetNamespace.h"
#include "ToolButton.h"
#include "TrustDialogs.h"
#include "LorvexSearch.h"
#include "VistaTreeWidget.h"
#include "ZVKLineEdit.h"
#include "ZVKPushButton.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QLocale>
#include <QImage>
#include <QPainter>
#include <QContextMenuEvent>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>

using namespace windowtest;

namespace {

const char kLobby[] = "02:4C:56:00:10:01";   // camera re-addressed into the host's subnet
const char kGate[] = "02:4C:56:00:10:02";    // camera: wrong password, rules, restore, web page
const char kStore[] = "02:4C:56:00:10:03";   // recorder: its outcome, restore not supported
const char kDesk[] = "02:4C:56:00:10:04";    // network keyboard: restore
const char kSlow[] = "02:4C:56:00:10:05";    // camera that never answers a request
const char kLeaving[] = "02:4C:56:00:10:06"; // stops answering after a while
const char kHall[] = "02:4C:56:00:10:07";    // decoder whose key no trusted maker certified
const char kRenamed[] = "02:4C:56:00:20:01"; // renamed every few seconds (second simulator)
const char kGateCode[] = "K9P3-ZH5N-8D2V";   // the setup code on the gate camera's label
const int kFleet = 8;

const char kFleetJson[] = R"({"devices": [
 {"mac": "02:4C:56:00:10:01", "type": "ZVK_IPC", "devName": "Lobby camera", "productModel": "LV-IPC4M-B28",
  "ip": "192.168.1.64", "mask": "255.255.255.0", "gateway": "192.168.1.1", "ip2": "169.254.16.1"},
 {"mac": "02:4C:56:00:10:02", "type": "ZVK_IPC", "devName": "Gate camera", "productModel": "LV-IPC2M-D36",
  "setupCode": "K9P3-ZH5N-8D2V", "ip": "192.168.1.65", "mask": "255.255.255.0", "gateway": "192.168.1.1", "ip2": "169.254.16.2"},
 {"mac": "02:4C:56:00:10:03", "type": "ZVK_NVR", "devName": "Store recorder", "productModel": "LV-NVR3216",
  "dataPort": 9010, "ip": "172.16.5.64", "mask": "255.255.255.0", "gateway": "172.16.5.1", "ip2": "169.254.16.3"},
 {"mac": "02:4C:56:00:10:04", "type": "ZVK_NETKEYBOARD", "devName": "Desk keyboard", "productModel": "LV-KB200",
  "dataPort": 9001, "ip": "172.16.5.100", "mask": "255.255.255.0", "gateway": "172.16.5.1", "ip2": "169.254.16.4"},
 {"mac": "02:4C:56:00:10:05", "type": "ZVK_IPC", "devName": "Slow camera", "productModel": "LV-IPC4M-B28", "silent": true,
  "httpDelayMs": 5000,
  "ip": "192.168.1.66", "mask": "255.255.255.0", "gateway": "192.168.1.1", "ip2": "169.254.16.5"},
 {"mac": "02:4C:56:00:10:06", "type": "ZVK_DVR", "devName": "Leaving recorder", "productModel": "LV-DVR0804",
  "vanishAfter": 12,
  "ip": "172.16.5.66", "mask": "255.255.255.0", "gateway": "172.16.5.1", "ip2": "169.254.16.6"},
 {"mac": "02:4C:56:00:10:07", "type": "ZVK_DECODER", "devName": "Hall decoder", "certified": false,
  "ip": "10.77.0.70", "mask": "255.255.255.0", "gateway": "10.77.0.1", "ip2": "169.254.16.7"}
]})";

template <class T> T* child(QWidget* parent, const char* name) {
    T* widget = parent->findChild<T*>(QLatin1String(name));
    if (widget == nullptr)
        qFatal("no child %s", name);
    return widget;
}

// The URLs the window asked the desktop to open.
std::mutex g_urlsMutex;
QStringList g_urls;

void recordUrl(const std::string& url) {
    std::lock_guard<std::mutex> lock(g_urlsMutex);
    g_urls.append(QString::fromStdString(url));
}

QStringList openedUrls() {
    std::lock_guard<std::mutex> lock(g_urlsMutex);
    return g_urls;
}

QString shotDir() {
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/shots/") +
                        QLocale::system().name();
    QDir().mkpath(dir);
    return dir;
}

QString shotPath(const QString& name) { return shotDir() + QLatin1Char('/') + name + ".png"; }

// The box after a re-address the search saw through: the device by name
// and MAC, and its new address.
QString doneText(const char* name, const char* mac, const char* ip) {
    return GetText("IDCS_SET_NETWORK_DONE_D")
        .arg(DeviceNaming(QLatin1String(mac), QLatin1String(name)), QLatin1String(ip));
}

// Time for a re-address to be seen through: the device answers the next
// search rounds (every 5 s) from its new address.
const int kVerifiedWithin = 30000;

// Types an address into the parts of a field, part by part.
// Each key to the widget that has the focus when it is pressed, as a
// keyboard delivers them.
void typeIntoFocus(const QString& keys) {
    for (const QChar c : keys)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
}

void typeAddress(AddrEditBase* field, const QString& address) {
    const QStringList pieces = address.split(QLatin1Char('.'));
    for (int i = 0; i < field->parts().size(); ++i) {
        field->parts()[i]->clear();
        QTest::keyClicks(field->parts()[i], pieces.value(i));
    }
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void devicesAppearWithTheirColumns();
    void selectingForeignCameraFillsForm();
    void unverifiedDeviceAsksBeforeItsPassword();
    void addressRulesShowTheirBoxAndSendNothing_data();
    void addressRulesShowTheirBoxAndSendNothing();
    void wrongPasswordChangesNothing();
    void heldAddressesAskFirst_data();
    void heldAddressesAskFirst();
    void recorderRequestShowsItsOutcome();
    void saveMovesCameraIntoHostSubnet();
    void findNarrowsTheList();
    void rowMenuOverTheList();
    void keyboardOnlySession();
    void restorePassword_data();
    void restorePassword();
    void activateRestoredCameraWithItsCode_data();
    void activateRestoredCameraWithItsCode();
    void doubleClickOpensDevicePage();
    void renamedDeviceUpdatesItsRow();
    void vanishedDeviceLeaves();
    void saveForDeviceThatLeftSaysItIsGone();
    void headerClickSortsAndTurnsOrder_data();
    void headerClickSortsAndTurnsOrder();
    void typeFilterShowsThatTypeOnly();
    void rangeFiltersShowTheRangeOnly_data();
    void rangeFiltersShowTheRangeOnly();
    void windowStaysLiveDuringSlowSave();
    void closingDuringRequestNeitherCrashesNorHangs();

private:
    void startSimulator(QProcess* process, const QStringList& args, const QString& ready);
    int configLines(const char* mac);
    QTreeWidgetItem* rowOf(const char* mac);
    void selectRow(const char* mac);
    void fillForm(const QString& ip, const QString& mask, const QString& gateway,
                  const QString& password);
    void clickSave();
    void clickRestore(const QString& mac);
    void waitForRequest();
    // Answers the next key confirmation form with Yes or No, after reading
    // its fingerprint into *shown and rendering it over the window.
    void answerNextKeyForm(bool yes, QString* shown);
    // Fills the next activation form with this setup code (typed as on the
    // label) and password, renders it over the window and clicks OK; reads
    // the MAC its title names into *mac when given.
    void fillNextActivateForm(const QString& code, const QString& password, const QString& shot,
                              QString* mac = nullptr);
    // The window as the active one, where the keyboard goes (boxes took it).
    void activate() {
        QApplication::setActiveWindow(m_window.get());
        QTRY_VERIFY(m_window->isActiveWindow());
    }
    QPoint sectionPoint(int column);
    void clickHeader(int column);
    void openFilterMenu(int column, const char* button, QMenu* menu,
                        const std::function<void()>& fill);
    void applyRange(RangeFilterMenu* menu, const QString& first, const QString& last);
    QStringList shownMacs();
    QStringList columnTexts(int column);
    // Inside the row's first cell: the row's rectangle spans all sixteen
    // columns, wider than the view.
    QPoint cellPoint(QTreeWidgetItem* item) {
        return QPoint(20, tree()->visualItemRect(item).center().y());
    }
    DeviceControlBar* bar() { return child<DeviceControlBar>(m_window.get(), "controlBar"); }
    VistaTreeWidget* tree() { return child<VistaTreeWidget>(m_window.get(), "deviceTree"); }
    DeviceTreeHeaderView* header() { return qobject_cast<DeviceTreeHeaderView*>(tree()->header()); }

    QTemporaryDir m_work;
    QProcess m_simulator, m_renamer;
    QByteArray m_simulatorLog;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<BoxDriver> m_boxes;
};

void TestEndToEnd::startSimulator(QProcess* process, const QStringList& args,
                                  const QString& ready) {
    const QString devices = qEnvironmentVariable("LORVEX_NETNS_DEVICES");
    const QString devsim = qEnvironmentVariable("LORVEX_DEVSIM");
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start(QStringLiteral("ip"), QStringList{"netns", "exec", devices, devsim} + args +
                                             QStringList{"--ready-file", ready});
    QVERIFY2(process->waitForStarted(5000), "the simulator did not start");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ready), 10000);
}

void TestEndToEnd::initTestCase() {
    if (!devsim::InPrivateNetwork() || qEnvironmentVariableIsEmpty("LORVEX_NETNS_DEVICES"))
        QSKIP("not inside a private network made by netns-run");
    applyLook();
    const QString fleet = m_work.filePath(QStringLiteral("fleet.json"));
    QFile file(fleet);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(kFleetJson);
    file.close();
    startSimulator(&m_simulator,
                   {"--fleet", fleet, "--own-addresses", "veth1", "--jitter", "100", "--verbose",
                    "--control", m_work.filePath(QStringLiteral("control"))},
                   m_work.filePath(QStringLiteral("ready")));
    startSimulator(&m_renamer,
                   {"--count", "1", "--first-mac", kRenamed, "--types", "ZVK_DVR", "--subnet",
                    "172.16.9.0/24", "--change-every", "4", "--jitter", "100",
                    // its HTTP port would share the first simulator's
                    "--serve-limit", "0"},
                   m_work.filePath(QStringLiteral("ready2")));
    m_window.reset(new MainWindow);
    SetUrlOpener(recordUrl); // after the window put the desktop's opener there
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_boxes.reset(new BoxDriver);
}

void TestEndToEnd::cleanupTestCase() {
    m_boxes.reset();
    m_window.reset();
    for (QProcess* p : {&m_simulator, &m_renamer}) {
        if (p->state() == QProcess::NotRunning)
            continue;
        p->terminate();
        if (!p->waitForFinished(5000))
            p->kill();
    }
}

// "devsim: MAC config result N" lines so far: requests the device took.
int TestEndToEnd::configLines(const char* mac) {
    m_simulatorLog += m_simulator.readAllStandardError();
    return m_simulatorLog.count(QByteArray(mac) + " config result");
}

QTreeWidgetItem* TestEndToEnd::rowOf(const char* mac) {
    for (int i = 0; i < tree()->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree()->topLevelItem(i);
        if (item->text(COL_MAC) == QLatin1String(mac))
            return item;
    }
    return nullptr;
}

void TestEndToEnd::selectRow(const char* mac) {
    QTRY_VERIFY(rowOf(mac) != nullptr);
    QTreeWidgetItem* item = rowOf(mac);
    tree()->scrollToItem(item);
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, Qt::NoModifier, cellPoint(item));
    QCOMPARE(tree()->currentItem(), item);
}

void TestEndToEnd::fillForm(const QString& ip, const QString& mask, const QString& gateway,
                            const QString& password) {
    typeAddress(child<IpAddrEdit>(bar(), "ipField"), ip);
    typeAddress(child<IpAddrEdit>(bar(), "subnetField"), mask);
    typeAddress(child<IpAddrEdit>(bar(), "gatewayField"), gateway);
    auto* field = child<ZVKLineEdit>(bar(), "passwordField");
    field->clear();
    QTest::keyClicks(field, password);
}

void TestEndToEnd::clickSave() {
    QTest::mouseClick(child<ZVKPushButton>(bar(), "saveButton"), Qt::LeftButton);
}

void TestEndToEnd::clickRestore(const QString& mac) {
    if (!bar()->restoreSectionOpen())
        QTest::mouseClick(child<ButtonControl>(bar(), "restoreHeader"), Qt::LeftButton);
    QVERIFY(bar()->restoreSectionOpen());
    typeAddress(child<MacAddrEdit>(bar(), "restoreMacField"), QString(mac).replace(':', '.'));
    QTest::mouseClick(child<ZVKPushButton>(bar(), "okButton"), Qt::LeftButton);
}

void TestEndToEnd::waitForRequest() {
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->deviceRequestRunning(), 10000);
    QCOMPARE(bar()->busy(), DeviceControlBar::NotBusy);
}

void TestEndToEnd::answerNextKeyForm(bool yes, QString* shown) {
    auto* timer = new QTimer(this);
    timer->setInterval(10);
    connect(timer, &QTimer::timeout, this, [this, timer, yes, shown] {
        auto* form = dynamic_cast<KeyConfirmDialog*>(QApplication::activeModalWidget());
        if (form == nullptr || !form->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        *shown = child<QLabel>(form, "fingerprint")->text();
        boxOverWindow(m_window.get(), form).save(shotPath("key-confirm"));
        QTest::mouseClick(child<ZVKPushButton>(form, yes ? "yesButton" : "noButton"),
                          Qt::LeftButton);
    });
    timer->start();
}

void TestEndToEnd::fillNextActivateForm(const QString& code, const QString& password,
                                        const QString& shot, QString* mac) {
    auto* timer = new QTimer(this);
    timer->setInterval(10);
    connect(timer, &QTimer::timeout, this, [this, timer, code, password, shot, mac] {
        auto* form = dynamic_cast<ActivateDialog*>(QApplication::activeModalWidget());
        if (form == nullptr || !form->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        if (mac != nullptr)
            *mac = form->title().section(QLatin1Char(' '), -1);
        QTest::keyClicks(child<QLineEdit>(form, "setupCodeField"), code);
        QTest::keyClicks(child<QLineEdit>(form, "passwordField"), password);
        QTest::keyClicks(child<QLineEdit>(form, "repeatField"), password);
        boxOverWindow(m_window.get(), form).save(shotPath(shot));
        QTest::mouseClick(child<ZVKPushButton>(form, "okButton"), Qt::LeftButton);
    });
    timer->start();
}

void TestEndToEnd::devicesAppearWithTheirColumns() {
    QTRY_COMPARE_WITH_TIMEOUT(m_window->onlineCount(), kFleet, 15000);
    QCOMPARE(tree()->columnCount(), kDeviceColumnCount);
    QCOMPARE(tree()->headerItem()->text(COL_IP), GetText(kDeviceColumns[COL_IP].key));
    QTreeWidgetItem* lobby = rowOf(kLobby);
    QVERIFY(lobby != nullptr);
    QCOMPARE(lobby->text(COL_NAME), QStringLiteral("Lobby camera"));
    QCOMPARE(lobby->text(COL_IP), QStringLiteral("192.168.1.64"));
    QCOMPARE(lobby->text(COL_DATA_PORT), QStringLiteral("9008"));
    // Every cell shows what the column makes of the device's record.
    for (const DevInfo* record : m_window->deviceList()) {
        QTreeWidgetItem* row = rowOf(record->mac.toLatin1().constData());
        QVERIFY(row != nullptr);
        for (int c = 0; c < kDeviceColumnCount; ++c) {
            const QString text = deviceColumnText(*record, c);
            if (!text.isNull())
                QCOMPARE(row->text(c), text);
        }
    }
    QCOMPARE(rowOf(kStore)->text(COL_TYPE), GetText("IDCS_ZVK_NVR"));
}

void TestEndToEnd::selectingForeignCameraFillsForm() {
    selectRow(kLobby);
    QCOMPARE(bar()->networkMac(), QLatin1String(kLobby));
    QCOMPARE(bar()->networkIp(), QStringLiteral("192.168.1.64"));
    QCOMPARE(bar()->networkSubnet(), QStringLiteral("255.255.255.0"));
    QCOMPARE(bar()->networkGateway(), QStringLiteral("192.168.1.1"));
    QVERIFY(m_window->grab().save(shotPath("window")));
}

// A device whose key no trusted maker certified is marked in its name cell,
// and its first password goes out only once the installer has compared and
// confirmed the key's fingerprint; No sends nothing.
void TestEndToEnd::unverifiedDeviceAsksBeforeItsPassword() {
    QTRY_VERIFY(rowOf(kHall) != nullptr);
    std::string fingerprint;
    QCOMPARE(m_window->manager().GetIdentity(kHall, &fingerprint), LORVEX_IDENTITY_UNVERIFIED);
    const QString key = QString::fromStdString(fingerprint);
    QVERIFY(!rowOf(kHall)->icon(COL_NAME).isNull());
    QCOMPARE(rowOf(kHall)->toolTip(COL_NAME), GetText("IDCS_IDENTITY_UNVERIFIED_TIP_D").arg(key));
    QVERIFY(rowOf(kLobby)->icon(COL_NAME).isNull());
    QVERIFY(rowOf(kLobby)->toolTip(COL_NAME).isEmpty());
    QVERIFY(m_window->grab().save(shotPath("window-unverified")));

    selectRow(kHall);
    const int before = m_boxes->count();
    const int sent = configLines(kHall);
    QString shown;
    fillForm("10.77.0.71", "255.255.255.0", "10.77.0.1", "123456");
    answerNextKeyForm(false, &shown);
    clickSave();
    QCOMPARE(shown, key);
    QVERIFY(!m_window->deviceRequestRunning());
    QCOMPARE(m_boxes->count(), before);
    QCOMPARE(configLines(kHall), sent);
    QCOMPARE(rowOf(kHall)->toolTip(COL_NAME), GetText("IDCS_IDENTITY_UNVERIFIED_TIP_D").arg(key));

    fillForm("10.77.0.71", "255.255.255.0", "10.77.0.1", "123456");
    answerNextKeyForm(true, &shown);
    clickSave();
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), before + 1, kVerifiedWithin);
    QCOMPARE(m_boxes->seen().text, doneText("Hall decoder", kHall, "10.77.0.71"));
    waitForRequest();
    QTRY_COMPARE(configLines(kHall), sent + 1);
    QTRY_COMPARE_WITH_TIMEOUT(rowOf(kHall)->text(COL_IP), QStringLiteral("10.77.0.71"), 15000);
    QCOMPARE(rowOf(kHall)->toolTip(COL_NAME), GetText("IDCS_IDENTITY_CONFIRMED_TIP_D").arg(key));
}

void TestEndToEnd::addressRulesShowTheirBoxAndSendNothing_data() {
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("key");
    QTest::newRow("1") << "192.168.1.255"
                       << "255.255.255.0"
                       << "192.168.1.1"
                       << "IDCS_ERROR_IP_MASK_ALL1";
    QTest::newRow("2") << "192.168.1.0"
                       << "255.255.255.0"
                       << "192.168.1.1"
                       << "IDCS_ERROR_IP_MASK_ALL0";
    QTest::newRow("3") << "127.0.0.5"
                       << "255.0.0.0"
                       << "127.0.0.1"
                       << "IDCS_ERROR_USE_LOOPBACK";
    QTest::newRow("4") << "230.1.1.5"
                       << "255.255.255.0"
                       << "230.1.1.1"
                       << "IDCS_ERROR_IP_ROUTE_INVALID";
    QTest::newRow("5") << "192.168.1.70"
                       << "255.0.255.0"
                       << "192.168.1.1"
                       << "IDCS_ERROR_MASK_NOT_CONTINE";
    QTest::newRow("6") << "192.168.1.70"
                       << "255.255.255.0"
                       << "192.168.2.1"
                       << "IDCS_ERROR_DIFFERENT_SEGMENT";
    QTest::newRow("7") << "192.168.1.70"
                       << "255.255.255.0"
                       << "192.168.1.255"
                       << "IDCS_ERROR_ROUTE_MASK_ALL1";
    QTest::newRow("8") << "192.168.1.70"
                       << "255.255.255.0"
                       << "192.168.1.0"
                       << "IDCS_ERROR_ROUTE_MASK_ALL0";
}

void TestEndToEnd::addressRulesShowTheirBoxAndSendNothing() {
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QString, gateway);
    QFETCH(QString, key);
    selectRow(kGate);
    fillForm(ip, mask, gateway, QStringLiteral("123456"));
    const int before = m_boxes->count();
    const int sent = configLines(kGate);
    m_boxes->shootNext(m_window.get(),
                       shotPath("box-rule-" + QString::fromLatin1(QTest::currentDataTag())));
    clickSave();
    waitForRequest();
    QTRY_COMPARE(m_boxes->count(), before + 1);
    QCOMPARE(m_boxes->seen().title, GetText("IDCS_ERROR"));
    QCOMPARE(m_boxes->seen().text, GetText(key.toLatin1().constData()));
    QCOMPARE(configLines(kGate), sent); // and wrongPasswordChangesNothing checks again
    QCOMPARE(rowOf(kGate)->text(COL_IP), QStringLiteral("192.168.1.65"));
}

void TestEndToEnd::wrongPasswordChangesNothing() {
    selectRow(kGate);
    fillForm("192.168.1.80", "255.255.255.0", "192.168.1.1", "not-the-password");
    const int before = m_boxes->count();
    const int sent = configLines(kGate);
    m_boxes->shootNext(m_window.get(), shotPath("box-change-failed"));
    clickSave();
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), before + 1, 10000);
    QCOMPARE(m_boxes->seen().title, GetText("IDCS_ERROR"));
    // The first wrong password of this session: four more lock the camera.
    QCOMPARE(m_boxes->seen().text, WrongPasswordText(1));
    QTRY_COMPARE(configLines(kGate), sent + 1);
    QVERIFY(m_simulatorLog.contains(QByteArray(kGate) + " config result 1"));
    // The one request this camera ever saw: none of the refused forms
    // before it went out.
    QCOMPARE(configLines(kGate), 1);
    QCOMPARE(rowOf(kGate)->text(COL_IP), QStringLiteral("192.168.1.65"));
}

void TestEndToEnd::heldAddressesAskFirst_data() {
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QStringList>("paragraphs");
    QTest::newRow("pc") << "10.77.0.2"
                        << "10.77.0.1"
                        << QStringList{GetText("IDCS_ADDRESS_HELD_BY_PC_D").arg("veth0")};
    QTest::newRow("device") << "172.16.5.100"
                            << "172.16.5.1"
                            << QStringList{
                                   GetText("IDCS_ADDRESS_HELD_BY_DEVICE_D")
                                       .arg(QStringLiteral("Desk keyboard (%1)").arg(kDesk)),
                                   GetText("IDCS_ADDRESS_OUTSIDE_SUBNETS")};
    QTest::newRow("link-local") << "169.254.16.3"
                                << "169.254.16.1"
                                << QStringList{
                                       GetText("IDCS_ADDRESS_HELD_BY_DEVICE_D")
                                           .arg(QStringLiteral("Store recorder (%1)").arg(kStore)),
                                       GetText("IDCS_ADDRESS_OUTSIDE_SUBNETS")};
}

// An address held by the PC or by another listed device is asked about
// before anything is sent; No sends nothing and tells nothing more.
void TestEndToEnd::heldAddressesAskFirst() {
    QFETCH(QString, ip);
    QFETCH(QString, gateway);
    QFETCH(QStringList, paragraphs);
    selectRow(kGate);
    fillForm(ip, "255.255.255.0", gateway, QStringLiteral("123456"));
    const int asked = m_boxes->question().count;
    const int before = m_boxes->count();
    const int sent = configLines(kGate);
    m_boxes->setAnswer(N12_MessageBox::No);
    m_boxes->shootNext(m_window.get(),
                       shotPath("box-conflict-" + QString::fromLatin1(QTest::currentDataTag())),
                       true);
    clickSave();
    m_boxes->setAnswer(N12_MessageBox::Yes);
    QCOMPARE(m_boxes->question().count, asked + 1);
    QCOMPARE(m_boxes->question().title, GetText("IDCS_WARNING"));
    paragraphs.append(GetText("IDCS_ADDRESS_SEND_ANYWAY"));
    // Word joiners keep the MAC on one line; the words are the same.
    QCOMPARE(QString(m_boxes->question().text).remove(QChar(0x2060)), paragraphs.join("\n\n"));
    QVERIFY(!m_window->deviceRequestRunning());
    QCOMPARE(m_boxes->count(), before);
    QCOMPARE(configLines(kGate), sent);
}

// A recorder acknowledges like a camera: the installer hears the outcome.
void TestEndToEnd::recorderRequestShowsItsOutcome() {
    selectRow(kStore);
    fillForm("172.16.5.70", "255.255.255.0", "172.16.5.1", "123456");
    const int before = m_boxes->count();
    const int sent = configLines(kStore);
    clickSave();
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), before + 1, kVerifiedWithin);
    QCOMPARE(m_boxes->seen().text, doneText("Store recorder", kStore, "172.16.5.70"));
    waitForRequest();
    QTRY_COMPARE(configLines(kStore), sent + 1); // it went out and was taken
    QVERIFY(m_simulatorLog.contains(QByteArray(kStore) + " config result 0"));
    QTRY_COMPARE_WITH_TIMEOUT(rowOf(kStore)->text(COL_IP), QStringLiteral("172.16.5.70"), 15000);
}

void TestEndToEnd::saveMovesCameraIntoHostSubnet() {
    selectRow(kLobby);
    fillForm("10.77.0.50", "255.255.255.0", "10.77.0.1", "  123456 ");
    const int before = m_boxes->count();
    m_boxes->shootNext(m_window.get(), shotPath("box-change-success"));
    clickSave();
    // Sent: the panel waits for the camera to answer from its new address,
    // as a batch does; only then does the box say it is done.
    const QString sent =
        GetText("IDCS_SET_NETWORK_SENT_D")
            .arg(DeviceNaming(QLatin1String(kLobby), "Lobby camera"), "10.77.0.50");
    auto* busy = child<QLabel>(bar(), "networkBusy");
    QTRY_COMPARE_WITH_TIMEOUT(busy->text(), sent, 10000);
    QVERIFY(busy->isVisible());
    QVERIFY(m_window->deviceRequestRunning());
    QVERIFY(m_window->grab().save(shotPath("sent")));
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), before + 1, kVerifiedWithin);
    QCOMPARE(m_boxes->seen().title, GetText("IDCS_INFORMATION"));
    QCOMPARE(m_boxes->seen().text, doneText("Lobby camera", kLobby, "10.77.0.50"));
    // The row follows the device's next answers.
    QTRY_COMPARE_WITH_TIMEOUT(rowOf(kLobby)->text(COL_IP), QStringLiteral("10.77.0.50"), 15000);
    // A second search beside the window sees it there too.
    QProcess cli;
    cli.start(QStringLiteral(LORVEX_SEARCH_CLI), {"list", "--seconds", "2", "--format", "csv"});
    QVERIFY(cli.waitForFinished(15000));
    const QByteArray listed = cli.readAllStandardOutput();
    const QList<QByteArray> lines = listed.split('\n');
    bool seen = false;
    for (const QByteArray& line : lines)
        seen = seen || (line.contains(kLobby) && line.contains("10.77.0.50"));
    QVERIFY2(seen, listed.constData());
    // And its page answers at the new address, in the host's own subnet.
    const std::string page = Page("10.77.0.50", 80);
    QVERIFY2(page.rfind("HTTP/1.1 200", 0) == 0 || page.rfind("HTTP/1.0 200", 0) == 0,
             page.substr(0, 80).c_str());
}

// Ctrl+F, a fragment of a name: the rows and the count narrow; Escape
// brings every row back.
void TestEndToEnd::findNarrowsTheList() {
    QTRY_VERIFY(rowOf(kGate) != nullptr);
    activate();
    tree()->setFocus();
    const int online = m_window->deviceList().size();
    QTest::keyClick(tree(), Qt::Key_F, Qt::ControlModifier);
    QLineEdit* find = child<QLineEdit>(m_window.get(), "findField");
    QTRY_VERIFY(find->hasFocus());
    QTest::keyClicks(find, QStringLiteral("GATE"));
    QCOMPARE(shownMacs(), QStringList{kGate});
    const QString count = child<StatusBar>(m_window.get(), "statusBar")->onlineLabel()->text();
    QCOMPARE(count, GetText("IDCS_DEVICE_ONLINE_SHOWN_D").arg(1).arg(online));
    QVERIFY(m_window->grab().save(shotPath("find")));
    QTest::keyClick(find, Qt::Key_Escape);
    QCOMPARE(find->text(), QString());
    QCOMPARE(shownMacs().size(), online);
}

// The context menu of a row, as a right click opens it, over the list with
// its foreign-subnet marks.
void TestEndToEnd::rowMenuOverTheList() {
    QTRY_VERIFY(rowOf(kStore) != nullptr);
    QTreeWidgetItem* row = rowOf(kStore);
    tree()->scrollToItem(row);
    const QPoint at = cellPoint(row);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree()->viewport(), &event);
    QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
    QWidget* menu = QApplication::activePopupWidget();
    QCOMPARE(menu->objectName(), QStringLiteral("rowMenu"));
    QCOMPARE(tree()->currentItem(), row);
    QImage picture(m_window->size(), QImage::Format_ARGB32);
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, m_window->grab());
    painter.drawPixmap(m_window->mapFromGlobal(menu->mapToGlobal(QPoint())), menu->grab());
    painter.end();
    QVERIFY(picture.save(shotPath("row-menu")));
    menu->close();
    QVERIFY(!row->icon(COL_IP).isNull()); // 172.16.5.x: outside the host's subnet
}

// Find, select, edit, save and read the box with the keyboard alone.
void TestEndToEnd::keyboardOnlySession() {
    QTRY_COMPARE_WITH_TIMEOUT(rowOf(kLobby) ? rowOf(kLobby)->text(COL_IP) : QString(),
                              QStringLiteral("10.77.0.50"), 15000);
    const int before = m_boxes->count();
    activate();
    tree()->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(tree()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(child<QLineEdit>(m_window.get(), "findField")->hasFocus());
    typeIntoFocus(QStringLiteral("lobby"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // to the row found
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(tree()));
    QCOMPARE(tree()->currentItem(), rowOf(kLobby));
    QTest::keyClick(tree(), Qt::Key_Return); // to the form
    QCOMPARE(bar()->networkMac(), QLatin1String(kLobby));
    // The address typed whole over the filled field, periods included.
    typeIntoFocus(QStringLiteral("10.77.0.51"));
    QCOMPARE(bar()->networkIp(), QStringLiteral("10.77.0.51"));
    auto* password = child<ZVKLineEdit>(bar(), "passwordField");
    for (int i = 0; i < 20 && QApplication::focusWidget() != password; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(password));
    QCOMPARE(bar()->networkIp(), QStringLiteral("10.77.0.51"));
    typeIntoFocus(QStringLiteral("123456"));
    m_boxes->setByKeyboard(true);
    QTest::keyClick(password, Qt::Key_Return); // Save
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), before + 1, kVerifiedWithin);
    m_boxes->setByKeyboard(false);
    QCOMPARE(m_boxes->seen().text, doneText("Lobby camera", kLobby, "10.77.0.51"));
    QTRY_COMPARE_WITH_TIMEOUT(rowOf(kLobby) ? rowOf(kLobby)->text(COL_IP) : QString(),
                              QStringLiteral("10.77.0.51"), 15000);
    child<QLineEdit>(m_window.get(), "findField")->clear(); // every row for the next cases
}

void TestEndToEnd::restorePassword_data() {
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("titleKey");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("cleared");
    QTest::addColumn<bool>("press"); // the device's reset button first
    QTest::newRow("camera, button not pressed")
        << QString(kGate) << "IDCS_ERROR"
        << "IDCS_RESET_BUTTON_NOT_PRESSED" << false << false;
    QTest::newRow("camera, activate now, code of another label")
        << QString(kGate).toLower() << "IDCS_INFORMATION"
        << "IDCS_RESTORE_DEVICE_PASSWORD_SUCCESS" << true << true;
    QTest::newRow("keyboard, later") << kDesk << "IDCS_INFORMATION"
                                     << "IDCS_RESTORE_DEVICE_PASSWORD_SUCCESS" << true << true;
    QTest::newRow("recorder") << kStore << "IDCS_ERROR"
                              << "IDCS_PROMPT_DEVICE_NOT_SUPPORT" << false << true;
    QTest::newRow("unknown") << "02:4C:56:00:99:99"
                             << "IDCS_ERROR"
                             << "IDCS_PROMPT_DEVICE_NOT_EXIST" << false << false;
    QTest::newRow("silent camera") << kSlow << "IDCS_ERROR"
                                   << "IDCS_RESTORE_DEVICE_PASSWORD_ERROR" << false << true;
}

void TestEndToEnd::restorePassword() {
    QFETCH(QString, mac);
    QFETCH(QString, titleKey);
    QFETCH(QString, key);
    QFETCH(bool, cleared);
    QFETCH(bool, press);
    if (press) {
        QFile control(m_work.filePath(QStringLiteral("control")));
        QVERIFY(control.open(QIODevice::WriteOnly));
        control.write("press-reset " + mac.toUpper().toLatin1() + "\n");
        control.close();
        const QByteArray pressed = mac.toUpper().toLatin1() + " reset button pressed";
        QTRY_VERIFY((m_simulatorLog += m_simulator.readAllStandardError()).contains(pressed));
    }
    const int before = m_boxes->count();
    const int asked = m_boxes->question().count;
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    const QString shot =
        "box-restore-" + QString(tag).replace(QLatin1String(", "), "-").replace(' ', '-');
    // A restored device waits for its first password: its box asks whether
    // to activate it now (the activation form) or later.
    const bool activateNow = tag.contains(QLatin1String("activate now"));
    m_boxes->setAnswer(activateNow ? N12_MessageBox::Yes : N12_MessageBox::No);
    m_boxes->shootNext(m_window.get(), shotPath(shot), cleared);
    QString activated;
    if (activateNow)
        fillNextActivateForm(QStringLiteral("ABCD-EFGH-JKD2"), QStringLiteral("Gate#2026a"),
                             "activate-after-restore", &activated);
    clickRestore(mac);
    const SeenBox& box = cleared ? m_boxes->question() : m_boxes->seen();
    QTRY_COMPARE_WITH_TIMEOUT(box.count, (cleared ? asked : before) + 1, 10000);
    m_boxes->setAnswer(N12_MessageBox::Yes);
    QCOMPARE(box.title, GetText(titleKey.toLatin1().constData()));
    QCOMPARE(box.text, GetText(key.toLatin1().constData()));
    if (activateNow) {
        // The activation form came for that device; the device's outcome
        // follows (the code of another label: it stays not activated, for
        // the code on its own label below).
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), before + 1, 10000);
        QCOMPARE(activated, QString(kGate));
        QCOMPARE(m_boxes->seen().text, GetText("IDCS_SETUP_CODE_WRONG"));
    } else {
        QCOMPARE(m_boxes->count(), before + (cleared ? 0 : 1));
    }
    waitForRequest();
    QCOMPARE(child<MacAddrEdit>(bar(), "restoreMacField")->text().isEmpty(), cleared);
}

void TestEndToEnd::activateRestoredCameraWithItsCode_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("titleKey");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("result"); // the device's, in the simulator's log
    // The lobby camera's label: a code of the right form, not this device's.
    QTest::newRow("code-wrong") << "ABCD-EFGH-JKD2"
                                << "IDCS_ERROR"
                                << "IDCS_SETUP_CODE_WRONG" << 7;
    QTest::newRow("code-right") << QString(kGateCode).toLower().replace('-', ' ')
                                << "IDCS_INFORMATION"
                                << "IDCS_ACTIVATE_DEVICE_SUCCESS" << 0;
}

// The camera restored above has no password: its row menu's Activate asks
// for the code on its label with the password. A code of another label is
// refused by the device (a counted try); its own activates it.
void TestEndToEnd::activateRestoredCameraWithItsCode() {
    QFETCH(QString, code);
    QFETCH(QString, titleKey);
    QFETCH(QString, key);
    QFETCH(int, result);
    QTRY_COMPARE_WITH_TIMEOUT(rowOf(kGate)->text(COL_ACTIVATION), GetText("IDCS_NONACTIVATED"),
                              15000);
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    const int before = m_boxes->count();
    m_boxes->shootNext(m_window.get(), shotPath("box-activate-" + tag));
    fillNextActivateForm(code, QStringLiteral("Gate#2026x"), "activate-form-" + tag);
    selectRow(kGate);
    std::unique_ptr<QMenu> menu(m_window->rowMenu(rowOf(kGate)));
    QAction* action = menu->findChild<QAction*>(QStringLiteral("activateAction"));
    QVERIFY(action != nullptr && action->isEnabled());
    action->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), before + 1, 10000);
    QCOMPARE(m_boxes->seen().title, GetText(titleKey.toLatin1().constData()));
    QCOMPARE(m_boxes->seen().text, GetText(key.toLatin1().constData()));
    waitForRequest();
    const QByteArray line = QByteArray(kGate) + " activation result " + QByteArray::number(result);
    QTRY_VERIFY((m_simulatorLog += m_simulator.readAllStandardError()).contains(line));
    if (result == 0)
        QTRY_COMPARE_WITH_TIMEOUT(rowOf(kGate)->text(COL_ACTIVATION), GetText("IDCS_ACTIVATED"),
                                  15000);
}

void TestEndToEnd::doubleClickOpensDevicePage() {
    QTRY_VERIFY(rowOf(kGate) != nullptr);
    QTreeWidgetItem* item = rowOf(kGate);
    tree()->scrollToItem(item);
    const QPoint at = cellPoint(item);
    const int opened = openedUrls().size();
    int doubleClicked = 0;
    QMetaObject::Connection counting =
        connect(tree(), &QTreeWidget::itemDoubleClicked, [&] { ++doubleClicked; });
    // What a double click delivers: press, release, double click, release.
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(tree()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(tree()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    disconnect(counting);
    QCOMPARE(doubleClicked, 1);
    QTRY_COMPARE(openedUrls().size(), opened + 1);
    // Its own address lies in a subnet the host has no route to: the page
    // is reached at its link-local one.
    const QUrl url(openedUrls().last());
    QCOMPARE(url.toString(), QStringLiteral("http://169.254.16.2"));
    const std::string page = Page(url.host().toStdString(), static_cast<uint16_t>(url.port(80)));
    QVERIFY2(page.find(" 200 ") != std::string::npos, page.substr(0, 80).c_str());
    QVERIFY(page.find("Gate camera") != std::string::npos);
}

// Inside the section of `column`, clear of its grips and filter button.
QPoint TestEndToEnd::sectionPoint(int column) {
    return QPoint(header()->sectionViewportPosition(column) + 30, header()->height() / 2);
}

void TestEndToEnd::clickHeader(int column) {
    QTest::mouseClick(header()->viewport(), Qt::LeftButton, Qt::NoModifier, sectionPoint(column));
}

// The pointer onto the column's section shows its filter button; a press on
// the button runs the menu modally, so `fill` runs inside it. The menu is
// closed afterwards whatever `fill` did, so that no case waits on it.
void TestEndToEnd::openFilterMenu(int column, const char* button, QMenu* menu,
                                  const std::function<void()>& fill) {
    tree()->horizontalScrollBar()->setValue(0);
    QMouseEvent move(QEvent::MouseMove, sectionPoint(column), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(header()->viewport(), &move);
    auto* filterButton = child<HeaderButton>(m_window.get(), button);
    QVERIFY(filterButton->isVisible());
    bool ran = false;
    QTimer::singleShot(0, menu, [&] {
        ran = true;
        if (menu->isVisible())
            fill();
        if (menu->isVisible())
            menu->close();
    });
    QTest::mouseClick(filterButton, Qt::LeftButton);
    QTRY_VERIFY(ran);
    QTRY_VERIFY(!menu->isVisible());
}

// The condition box checked, both fields typed, OK; or, with no `first`,
// the box cleared and OK.
void TestEndToEnd::applyRange(RangeFilterMenu* menu, const QString& first, const QString& last) {
    if (menu->conditionBox()->isChecked() == first.isEmpty())
        QTest::mouseClick(menu->conditionBox(), Qt::LeftButton, {}, QPoint(5, 13));
    if (!first.isEmpty()) {
        if (auto* ip = qobject_cast<IPFilterMenu*>(menu)) {
            typeAddress(ip->startField(), first);
            typeAddress(ip->endField(), last);
        } else {
            auto* port = static_cast<PortFilterMenu*>(menu);
            for (QLineEdit* field : {static_cast<QLineEdit*>(port->startField()),
                                     static_cast<QLineEdit*>(port->endField())}) {
                field->clear();
                QTest::keyClicks(field, field == port->startField() ? first : last);
            }
        }
    }
    if (first == QLatin1String("192.168.1.0"))
        QVERIFY(boxOverWindow(m_window.get(), menu).save(shotPath("filter-ip-menu")));
    QTest::mouseClick(menu->okButton(), Qt::LeftButton);
}

// The MACs of the rows shown, sorted.
QStringList TestEndToEnd::shownMacs() {
    QStringList macs = columnTexts(COL_MAC);
    macs.sort();
    return macs;
}

QStringList TestEndToEnd::columnTexts(int column) {
    QStringList texts;
    for (int i = 0; i < tree()->topLevelItemCount(); ++i)
        texts.append(tree()->topLevelItem(i)->text(column));
    return texts;
}

void TestEndToEnd::headerClickSortsAndTurnsOrder_data() {
    QTest::addColumn<int>("column");
    QTest::newRow("ip") << int(COL_IP);
    QTest::newRow("data port") << int(COL_DATA_PORT);
}

// A click on the header sorts the rows by the column's value (addresses by
// number: 172.16.5.70 before 172.16.5.100), the next click turns the order
// round. The start-up sort state comes back afterwards.
void TestEndToEnd::headerClickSortsAndTurnsOrder() {
    QFETCH(int, column);
    QTRY_COMPARE(tree()->topLevelItemCount(), kFleet - 1);
    auto key = [column](const QString& text) -> quint64 {
        if (column != COL_IP)
            return text.toUInt();
        quint64 value = 0;
        for (const QString& octet : text.split(QLatin1Char('.')))
            value = value * 256 + octet.toUInt();
        return value;
    };
    tree()->horizontalScrollBar()->setValue(0);
    clickHeader(column);
    QCOMPARE(header()->sortIndicatorSection(), column);
    QStringList expected = columnTexts(column);
    std::stable_sort(expected.begin(), expected.end(),
                     [&](const QString& a, const QString& b) { return key(a) < key(b); });
    if (header()->sortIndicatorOrder() == Qt::DescendingOrder)
        std::reverse(expected.begin(), expected.end());
    QCOMPARE(columnTexts(column), expected);
    clickHeader(column);
    std::reverse(expected.begin(), expected.end());
    QCOMPARE(columnTexts(column), expected);
    tree()->setSortingEnabled(false);
    header()->setSortIndicator(COL_IP, Qt::AscendingOrder);
}

// The type menu's entry shows only that type's devices and the count; the
// all-devices entry brings every device back.
void TestEndToEnd::typeFilterShowsThatTypeOnly() {
    QTRY_COMPARE(m_window->onlineCount(), kFleet - 1);
    auto* menu = child<QMenu>(m_window.get(), "deviceTypeFilterMenu");
    const QStringList all = shownMacs();
    auto pick = [&](const QString& text) {
        openFilterMenu(COL_TYPE, "deviceTypeFilterButton", menu, [&] {
            for (QAction* action : menu->actions())
                if (action->text() == text)
                    QTest::mouseClick(menu, Qt::LeftButton, {},
                                      menu->actionGeometry(action).center());
        });
    };
    pick(deviceTypeText("ZVK_IPC"));
    QCOMPARE(shownMacs(), (QStringList{kLobby, kGate, kSlow}));
    QCOMPARE(m_window->onlineCount(), 3);
    pick(GetText("IDCS_ALL_DEVICE"));
    QCOMPARE(shownMacs(), all);
    QCOMPARE(m_window->onlineCount(), kFleet - 1);
}

void TestEndToEnd::rangeFiltersShowTheRangeOnly_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("ip") << int(COL_IP) << "192.168.1.0"
                        << "192.168.1.255" << QStringList{kGate, kSlow};
    // The keyboard's 9001; the recorder's 9010 and the cameras' 9008 not.
    QTest::newRow("data port") << int(COL_DATA_PORT) << "9000"
                               << "9005" << QStringList{kDesk};
}

// The range menu's OK shows exactly the devices in the range and counts
// them; OK with the condition box cleared brings every device back.
void TestEndToEnd::rangeFiltersShowTheRangeOnly() {
    QFETCH(int, column);
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QStringList, shown);
    QTRY_COMPARE(m_window->onlineCount(), kFleet - 1);
    const QStringList all = shownMacs();
    const bool ip = column == COL_IP;
    auto* menu = child<RangeFilterMenu>(m_window.get(), ip ? "ipFilterMenu" : "portFilterMenu");
    const char* button = ip ? "ipFilterButton" : "portFilterButton";
    openFilterMenu(column, button, menu, [&] { applyRange(menu, first, last); });
    QCOMPARE(shownMacs(), shown);
    QCOMPARE(m_window->onlineCount(), shown.size());
    openFilterMenu(column, button, menu, [&] { applyRange(menu, QString(), QString()); });
    QCOMPARE(shownMacs(), all);
    QCOMPARE(m_window->onlineCount(), kFleet - 1);
}

// The camera never answers: the request takes its whole 3 s. Meanwhile the
// window paints, a manual refresh empties and refills the tree, and Save
// and OK wait.
void TestEndToEnd::windowStaysLiveDuringSlowSave() {
    selectRow(kSlow);
    fillForm("192.168.1.90", "255.255.255.0", "192.168.1.1", "123456");
    QElapsedTimer request, clock;
    qint64 last = 0, longestGap = 0;
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        longestGap = qMax(longestGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    const int before = m_boxes->count();
    m_boxes->shootNext(m_window.get(), shotPath("box-no-answer"));
    request.start();
    clickSave();
    QVERIFY(m_window->deviceRequestRunning());
    QVERIFY(!child<ZVKPushButton>(bar(), "saveButton")->isEnabled());
    QVERIFY(!child<ZVKPushButton>(bar(), "okButton")->isEnabled());
    QVERIFY(m_window->grab().save(shotPath("busy")));
    clock.start();
    timer.start(20);
    QTest::mouseClick(child<ToolButton>(m_window.get(), "refreshButton"), Qt::LeftButton,
                      Qt::NoModifier, QPoint(10, 10));
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(kGate) != nullptr && rowOf(kSlow) != nullptr, 2500);
    QVERIFY(m_window->deviceRequestRunning()); // the tree refilled while the camera was asked
    // Silence is no refusal at once: the request went out and may have
    // acted. As in a batch, the camera then has the verification bound to
    // show up at its new address; it does not.
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), before + 1, 3500 + kVerifiedWithin);
    timer.stop();
    QCOMPARE(m_boxes->seen().title, GetText("IDCS_ERROR"));
    QCOMPARE(m_boxes->seen().text,
             GetText("IDCS_SET_NETWORK_NO_ANSWER_D")
                 .arg(DeviceNaming(QLatin1String(kSlow), "Slow camera"), "192.168.1.90", "25"));
    QVERIFY(request.elapsed() >= 2900 + 25000);
    // A window blocked by the request would miss ticks for its whole 3 s.
    QVERIFY2(longestGap < 1000, qPrintable(QString::number(longestGap)));
    QVERIFY(ticks > 40);
    QVERIFY(child<ZVKPushButton>(bar(), "saveButton")->isEnabled());
}

void TestEndToEnd::renamedDeviceUpdatesItsRow() {
    QTRY_VERIFY(rowOf(kRenamed) != nullptr);
    const QString first = rowOf(kRenamed)->text(COL_NAME);
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(kRenamed) && rowOf(kRenamed)->text(COL_NAME) != first, 20000);
    QVERIFY(rowOf(kRenamed)->text(COL_NAME).contains(QStringLiteral(" r")));
}

void TestEndToEnd::vanishedDeviceLeaves() {
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(kLeaving) == nullptr, 45000);
    QTRY_COMPARE(m_window->onlineCount(), kFleet - 1);
}

// The form still holds a device that has left the list since it was
// selected (as the device list put it there): the request is never sent,
// and the installer is told so.
void TestEndToEnd::saveForDeviceThatLeftSaysItIsGone() {
    QVERIFY(rowOf(kLeaving) == nullptr);
    bar()->SetNetworkParam(QLatin1String(kLeaving), QStringLiteral("172.16.5.66"),
                           QStringLiteral("255.255.255.0"), QStringLiteral("172.16.5.1"));
    fillForm("172.16.5.77", "255.255.255.0", "172.16.5.1", "123456");
    const int before = m_boxes->count();
    m_boxes->shootNext(m_window.get(), shotPath("box-change-not-exist"));
    clickSave();
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), before + 1, 10000);
    QCOMPARE(m_boxes->seen().title, GetText("IDCS_ERROR"));
    QCOMPARE(m_boxes->seen().text, GetText("IDCS_SET_NETWORK_DEVICE_GONE"));
    QCOMPARE(configLines(kLeaving), 0);
}

void TestEndToEnd::closingDuringRequestNeitherCrashesNorHangs() {
    selectRow(kSlow);
    fillForm("192.168.1.91", "255.255.255.0", "192.168.1.1", "123456");
    const int before = m_boxes->count();
    clickSave();
    QVERIFY(m_window->deviceRequestRunning());
    QElapsedTimer clock;
    clock.start();
    m_window->close();
    m_window.reset();
    // The request's own 3 s, and the window's shutdown after it.
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    // Its result was posted before the runner went, and went with it.
    QCoreApplication::processEvents();
    QCOMPARE(m_boxes->count(), before);
}

QTEST_MAIN(TestEndToEnd)
#include "EndToEndTest.moc"
