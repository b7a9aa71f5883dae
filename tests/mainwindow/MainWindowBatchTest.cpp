// The window's batch over a mixed selection, in a private network with a
// simulator of its own: two of the maker's devices and three ONVIF cameras
// (one listed under its endpoint for want of a MAC, one with another
// password than the batch's). Driven through keys and clicks: Ctrl+A, the
// batch button, the plan, Apply without and then with the cameras' login;
// outcomes read from the dialog and from what the simulator announces. Then
// the clock and picture dialogs over the same selection.
#include "AddrPartLineEdit.h"
#include "BatchDialog.h"
#include "BoxDriver.h"
#include "ClockDialog.h"
#include "Csv.h"
#include "CameraRows.h"
#include "DevInfo.h"
#include "DeviceColumns.h"
#include "DeviceControlBar.h"
#include "IpAddrEdit.h"
#include "LanguageSrc.h"
#include "MainWindow.h"
#include "MainWindowTestSupport.h"
#include "PictureDialog.h"
#include "NetNamespace.h"
#include "SessionLog.h"
#include "SnapshotPanel.h"
#include "StatusBar.h"
#include "VistaTreeWidget.h"
#include "VistaTreeWidgetItem.h"
#include "ZVKCheckBox.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKPushButton.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QTemporaryDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

#include <memory>

using namespace windowtest;
using commission::BatchState;
using commission::RefusalReason;

namespace {

const char kCameraPassword[] = "Cam3ra-pass";

const char kFleet[] = R"({"devices": [
 {"type": "ZVK_IPC", "mac": "02:4C:56:00:3B:01", "devName": "Maker-1", "ip": "10.77.0.20",
  "mask": "255.255.255.0", "gateway": "10.77.0.1", "password": "123456", "clockOffset": -157680000},
 {"type": "ZVK_NVR", "mac": "02:4C:56:00:3B:02", "devName": "Maker-2", "ip": "10.77.0.21",
  "mask": "255.255.255.0", "gateway": "10.77.0.1", "password": "123456"},
 {"type": "ONVIF_CAMERA", "mac": "02:4F:4E:00:3B:11", "devName": "Cam-1", "ip": "10.77.0.30", "softwareVer": "5.4.1",
  "mask": "255.255.255.0", "gateway": "10.77.0.1", "password": "Cam3ra-pass",
  "linkLocalXAddr": false},
 {"type": "ONVIF_CAMERA", "mac": "02:4F:4E:00:3B:12", "devName": "Cam-NoMac", "ip": "10.77.0.31", "softwareVer": "5.4.1",
  "mask": "255.255.255.0", "gateway": "10.77.0.1", "password": "Cam3ra-pass",
  "macInScopes": false, "linkLocalXAddr": false, "onvifAuth": "digest"},
 {"type": "ONVIF_CAMERA", "mac": "02:4F:4E:00:3B:13", "devName": "Cam-Other", "ip": "10.77.0.32",
  "mask": "255.255.255.0", "gateway": "10.77.0.1", "password": "another-one",
  "linkLocalXAddr": false}
]})";

template <class T> T* child(QObject* parent, const char* name) {
    T* found = parent->findChild<T*>(QLatin1String(name));
    if (found == nullptr)
        qFatal("no child %s", name);
    return found;
}

void typeAddress(AddrEditBase* field, const QString& address) {
    const QStringList parts = address.split(QLatin1Char('.'));
    for (int i = 0; i < field->parts().size(); ++i) {
        field->parts()[i]->clear();
        QTest::keyClicks(field->parts()[i], parts.value(i));
    }
}

// On the box itself, not on its text.
void clickCheckBox(QWidget* box) {
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
}

} // namespace

class TestMainWindowBatch : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void mixedPlanCoversCamerasAndMakerDevices();
    void applyAsksOnceForTheCamerasLogin();
    void eachRowEndsWithItsOwnOutcome();
    void importedPlanTakesACameraByItsMac();
    void findTextDoesNotHideTheMovedDevices();
    void clockDialogSetsAndReadsBackEachClock();
    void pictureDialogKeepsEachCamerasPicture();
    void sidePanelRenameIsNoted();

private:
    VistaTreeWidget* tree() const { return child<VistaTreeWidget>(m_window.get(), "deviceTree"); }
    BatchDialog* dialog() const { return m_window->batchDialog(); }
    QTreeWidget* planTree() const { return child<QTreeWidget>(dialog(), "planTree"); }
    QTreeWidgetItem* rowNamed(const QString& name) const;
    // The plan row of the device named so, or -1.
    int planIndex(const QString& name) const;

    std::unique_ptr<QProcess> m_sim;
    QTemporaryFile m_fleet;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<BoxDriver> m_boxes;
    QDir m_shots;
};

void TestMainWindowBatch::initTestCase() {
    REQUIRE_PRIVATE_NETWORK();
    applyLook();
    m_shots = QDir(QCoreApplication::applicationDirPath() + "/shots/batch-mixed-" +
                   QLocale::system().name());
    m_shots.mkpath(".");
    QVERIFY(m_fleet.open());
    m_fleet.write(kFleet);
    m_fleet.flush();
    m_sim.reset(new QProcess);
    m_sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_sim->start("ip", {"netns", "exec", qEnvironmentVariable("LORVEX_NETNS_DEVICES"),
                        qEnvironmentVariable("LORVEX_DEVSIM"), "--count", "0", "--fleet",
                        m_fleet.fileName(), "--own-addresses", "veth1"});
    QVERIFY(m_sim->waitForStarted());
    m_window.reset(new MainWindow);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_boxes.reset(new BoxDriver);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->onlineCount(), 5, 20000);
}

void TestMainWindowBatch::cleanupTestCase() {
    m_boxes.reset();
    m_window.reset();
    if (m_sim) {
        m_sim->terminate();
        m_sim->waitForFinished(5000);
    }
}

QTreeWidgetItem* TestMainWindowBatch::rowNamed(const QString& name) const {
    for (int i = 0; i < tree()->topLevelItemCount(); ++i)
        if (tree()->topLevelItem(i)->text(COL_NAME) == name)
            return tree()->topLevelItem(i);
    return nullptr;
}

int TestMainWindowBatch::planIndex(const QString& name) const {
    const auto& plan = dialog()->plan();
    for (size_t i = 0; i < plan.size(); ++i)
        if (QString::fromStdString(plan[i].device.name) == name)
            return int(i);
    return -1;
}

void TestMainWindowBatch::mixedPlanCoversCamerasAndMakerDevices() {
    tree()->sortByColumn(COL_NAME, Qt::AscendingOrder);
    tree()->setFocus();
    tree()->setCurrentItem(tree()->topLevelItem(0));
    QTest::keyClick(tree(), Qt::Key_A, Qt::ControlModifier);
    QTest::mouseClick(child<ZVKPushButton>(m_window.get(), "batchButton"), Qt::LeftButton);
    QTRY_VERIFY(dialog() != nullptr && dialog()->isVisible());
    QCOMPARE(m_boxes->count(), 0);
    // The cameras' own login fields show, the user name as the control bar has it.
    QVERIFY(child<ZVKLineEdit>(dialog(), "cameraPasswordField")->isVisible());
    QCOMPARE(child<ZVKLineEdit>(dialog(), "cameraUserField")->text(), QStringLiteral("admin"));
    typeAddress(child<IpAddrEdit>(dialog(), "startField"), "10.77.0.100");
    typeAddress(child<IpAddrEdit>(dialog(), "maskField"), "255.255.255.0");
    typeAddress(child<IpAddrEdit>(dialog(), "gatewayField"), "10.77.0.1");
    QSignalSpy shown(dialog(), SIGNAL(planShown()));
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "planButton"), Qt::LeftButton);
    QVERIFY(shown.wait(10000));
    const auto& plan = dialog()->plan();
    QCOMPARE(int(plan.size()), 5);
    // In the tree's order, cameras among the maker's devices; the camera
    // without a MAC keyed by its endpoint.
    QCOMPARE(QString::fromStdString(plan[0].device.name), QStringLiteral("Cam-1"));
    QCOMPARE(QString::fromStdString(plan[1].device.name), QStringLiteral("Cam-NoMac"));
    QVERIFY(plan[1].device.mac.empty());
    QVERIFY(QString::fromStdString(commission::DeviceKey(plan[1].device)).startsWith("urn:uuid:"));
    QCOMPARE(planTree()->topLevelItem(1)->text(BatchDialog::ColMac),
             QString::fromStdString(plan[1].device.endpoint));
    QCOMPARE(QString::fromStdString(plan[3].device.type), QStringLiteral("ZVK_IPC"));
    for (size_t i = 0; i < plan.size(); ++i)
        QCOMPARE(QString::fromStdString(plan[i].ip), QStringLiteral("10.77.0.%1").arg(100 + i));
    QCOMPARE(planTree()->topLevelItem(0)->text(BatchDialog::ColType), GetText("IDCS_ONVIF_CAMERA"));
    QVERIFY(dialog()->grab().save(m_shots.filePath("plan.png")));
}

void TestMainWindowBatch::applyAsksOnceForTheCamerasLogin() {
    QVERIFY(dialog() != nullptr);
    QTest::keyClicks(child<ZVKLineEdit>(dialog(), "passwordField"), "123456");
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QTRY_COMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->seen().text, GetText("IDCS_ONVIF_CREDENTIALS_NEEDED"));
    QVERIFY(!dialog()->running());
    QCOMPARE(dialog()->focusWidget(),
             static_cast<QWidget*>(child<ZVKLineEdit>(dialog(), "cameraPasswordField")));
}

void TestMainWindowBatch::eachRowEndsWithItsOwnOutcome() {
    auto* cameraPassword = child<ZVKLineEdit>(dialog(), "cameraPasswordField");
    QTest::keyClicks(cameraPassword, kCameraPassword);
    QSignalSpy finished(dialog(), SIGNAL(batchFinished()));
    QTest::keyClick(cameraPassword, Qt::Key_Tab);
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    // The typed login left the field with the batch.
    QCOMPARE(cameraPassword->text(), QString());
    QVERIFY(finished.wait(60000));
    QTRY_COMPARE(m_boxes->count(), 2);
    const auto& statuses = dialog()->statuses();
    for (const char* name : {"Cam-1", "Cam-NoMac", "Maker-1", "Maker-2"}) {
        const int i = planIndex(name);
        QVERIFY2(statuses[size_t(i)].state == BatchState::Done,
                 qPrintable(QStringLiteral("%1: %2").arg(
                     name, BatchDialog::statusText(statuses[size_t(i)]))));
    }
    const int other = planIndex("Cam-Other");
    QCOMPARE(int(statuses[size_t(other)].state), int(BatchState::Refused));
    QCOMPARE(int(statuses[size_t(other)].reason), int(RefusalReason::Credentials));
    QCOMPARE(planTree()->topLevelItem(other)->text(BatchDialog::ColStatus),
             GetText("IDCS_BATCH_REFUSED_D").arg(GetText("IDCS_BATCH_REASON_CREDENTIALS")));
    QCOMPARE(planTree()->topLevelItem(planIndex("Cam-1"))->text(BatchDialog::ColStatus),
             GetText("IDCS_BATCH_DONE"));
    // What the simulator now announces: every device at its planned
    // address but the camera that refused the login.
    for (const char* name : {"Cam-1", "Cam-NoMac", "Maker-1", "Maker-2"}) {
        const QString planned =
            QString::fromStdString(dialog()->plan()[size_t(planIndex(name))].ip);
        QTRY_COMPARE_WITH_TIMEOUT(rowNamed(name)->text(COL_IP), planned, 15000);
    }
    QCOMPARE(rowNamed("Cam-Other")->text(COL_IP), QStringLiteral("10.77.0.32"));
    // Logged in, the camera without a MAC in its announcements told it.
    QTRY_COMPARE(rowNamed("Cam-NoMac")->text(COL_MAC), QStringLiteral("02:4F:4E:00:3B:12"));
    QVERIFY(dialog()->grab().save(m_shots.filePath("outcomes.png")));
    // The saved plan says each outcome in its stable words.
    const QByteArray csv = dialog()->planCsv();
    QVERIFY2(csv.contains("refused (wrong credentials)"), csv.constData());
}

// A plan file names a camera by its MAC as it names the maker's devices.
void TestMainWindowBatch::importedPlanTakesACameraByItsMac() {
    QVERIFY(dialog() != nullptr && !dialog()->running());
    const QByteArray csv = "mac,newIp,newMask,newGateway\r\n"
                           "02:4F:4E:00:3B:11,10.77.0.120,255.255.255.0,10.77.0.1\r\n"
                           "02:4C:56:00:3B:01,10.77.0.121,255.255.255.0,10.77.0.1\r\n";
    QVERIFY(dialog()->importPlan(csv));
    const auto& plan = dialog()->plan();
    QCOMPARE(int(plan.size()), 2);
    QCOMPARE(QString::fromStdString(plan[0].device.type), QString(kCameraTypeCode));
    QCOMPARE(QString::fromStdString(plan[0].ip), QStringLiteral("10.77.0.120"));
    QCOMPARE(QString::fromStdString(plan[1].device.type), QStringLiteral("ZVK_IPC"));
    // Named and clock set at the addresses it keeps: the session notes both
    // steps as read back beside the earlier batch's re-address.
    const QString at = rowNamed("Maker-2")->text(COL_IP);
    QVERIFY(dialog()->importPlan("mac,newIp,newMask,newGateway,name,timeZone\r\n"
                                 "02:4C:56:00:3B:02," +
                                 at.toUtf8() + ",255.255.255.0,10.77.0.1,Maker-2b,UTC0\r\n"));
    child<ZVKLineEdit>(dialog(), "passwordField")->setText(QStringLiteral("123456"));
    QSignalSpy finished(dialog(), SIGNAL(batchFinished()));
    const int boxes = m_boxes->count();
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QTRY_COMPARE(m_boxes->count(), boxes + 1);
    QVERIFY2(dialog()->statuses().at(0).state == BatchState::Done,
             qPrintable(BatchDialog::statusText(dialog()->statuses().at(0))));
    report::Verified verified = report::Verified::No;
    QCOMPARE(
        QString::fromStdString(m_window->sessionLog().Summary("02:4C:56:00:3B:02", {}, &verified)),
        QStringLiteral("re-addressed, renamed, clock set"));
    QCOMPARE(int(verified), int(report::Verified::Yes));
}

// A find text that matched the devices at their old addresses hides them at
// their new ones: once the batch is done the window clears it and says so,
// and the side panel keeps its device.
void TestMainWindowBatch::findTextDoesNotHideTheMovedDevices() {
    dialog()->close();
    QTRY_VERIFY(dialog() == nullptr);
    const QString maker = rowNamed("Maker-1")->text(COL_MAC);
    const QString old = rowNamed("Maker-1")->text(COL_IP);
    auto* find = child<QLineEdit>(m_window.get(), "findField");
    find->setFocus();
    QTest::keyClicks(find, old);
    QTRY_COMPARE(tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* row = tree()->topLevelItem(0);
    QCOMPARE(row->text(COL_MAC), maker);
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(20, tree()->visualItemRect(row).center().y()));
    QCOMPARE(m_window->controlBar()->networkMac(), maker);
    QTest::mouseClick(child<ZVKPushButton>(m_window.get(), "batchButton"), Qt::LeftButton);
    QTRY_VERIFY(dialog() != nullptr && dialog()->isVisible());
    typeAddress(child<IpAddrEdit>(dialog(), "startField"), "10.77.0.170");
    QSignalSpy shown(dialog(), SIGNAL(planShown()));
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "planButton"), Qt::LeftButton);
    QVERIFY(shown.wait(10000));
    QTest::keyClicks(child<ZVKLineEdit>(dialog(), "passwordField"), "123456");
    QSignalSpy finished(dialog(), SIGNAL(batchFinished()));
    const int boxes = m_boxes->count();
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QTRY_COMPARE(m_boxes->count(), boxes + 1);
    QCOMPARE(int(dialog()->statuses().at(0).state), int(BatchState::Done));
    QCOMPARE(find->text(), QString());
    // After the other notices (the test's extra maker keys among them).
    const ZVKLabel* notice = child<StatusBar>(m_window.get(), "statusBar")->noticeLabel();
    QVERIFY(notice->isVisible());
    QVERIFY(notice->toolTip().endsWith(GetText("IDCS_FIND_CLEARED_AFTER_BATCH")));
    QTRY_COMPARE(rowNamed("Maker-1")->text(COL_IP), QStringLiteral("10.77.0.170"));
    QCOMPARE(tree()->topLevelItemCount(), 5);
    QCOMPARE(m_window->controlBar()->networkMac(), maker);
    QVERIFY(tree()->currentItem() != nullptr);
    QCOMPARE(tree()->currentItem()->text(COL_MAC), maker);
    QVERIFY(m_window->grab().save(m_shots.filePath("find-cleared.png")));
}

// Both protocols set and read back (a maker's device five years behind),
// each with its own password; the camera with another password says so; a
// request that asks nothing is refused with a box before anything is sent.
void TestMainWindowBatch::clockDialogSetsAndReadsBackEachClock() {
    tree()->setFocus();
    QTest::keyClick(tree(), Qt::Key_A, Qt::ControlModifier);
    QTest::mouseClick(child<ZVKPushButton>(m_window.get(), "clockButton"), Qt::LeftButton);
    ClockDialog* clocks = m_window->clockDialog();
    QTRY_VERIFY(clocks != nullptr && clocks->isVisible());
    QCOMPARE(int(clocks->plan().size()), 5);
    clickCheckBox(child<ZVKCheckBox>(clocks, "nowBox"));
    const int boxes = m_boxes->count();
    QTest::mouseClick(child<ZVKPushButton>(clocks, "applyButton"), Qt::LeftButton);
    QTRY_COMPARE(m_boxes->count(), boxes + 1);
    QCOMPARE(m_boxes->seen().text, GetText("IDCS_CLOCK_ERROR_INPUT"));
    QVERIFY(!clocks->running());
    clickCheckBox(child<ZVKCheckBox>(clocks, "nowBox"));
    QTest::keyClicks(child<QLineEdit>(clocks, "zoneField"), "UTC0");
    QTest::keyClicks(child<QLineEdit>(clocks, "passwordField"), "123456");
    QTest::keyClicks(child<QLineEdit>(clocks, "cameraPasswordField"), kCameraPassword);
    QSignalSpy finished(clocks, SIGNAL(batchFinished()));
    QTest::mouseClick(child<ZVKPushButton>(clocks, "applyButton"), Qt::LeftButton);
    QVERIFY(finished.wait(90000));
    QTRY_COMPARE(m_boxes->count(), boxes + 2);
    for (size_t i = 0; i < clocks->plan().size(); ++i) {
        const QString name = QString::fromStdString(clocks->plan()[i].device.name);
        const auto& s = clocks->statuses()[i];
        const ClockDialog::Offsets o = clocks->offsets(i);
        if (name != "Cam-Other") {
            QVERIFY2(s.state == BatchState::Done, qPrintable(name + ClockDialog::statusText(s)));
            QVERIFY(o.beforeKnown && o.afterKnown);
            QVERIFY(o.after >= -3 && o.after <= 3);
            QCOMPARE(o.before < -86400LL * 1000, name == "Maker-1");
            // The outcome file carries both offsets, in seconds.
            QVERIFY(clocks->outcomeCsv().contains(QByteArray::fromStdString(
                "," + commission::CsvLine({std::to_string(o.before), std::to_string(o.after)}))));
        } else {
            QVERIFY(o.beforeKnown && !o.afterKnown);
            QCOMPARE(int(s.reason), int(RefusalReason::Credentials));
        }
    }
    report::Verified verified = report::Verified::No;
    QVERIFY(m_window->sessionLog().Summary("02:4F:4E:00:3B:11", {}, &verified).find("clock set") !=
            std::string::npos);
    QCOMPARE(int(verified), int(report::Verified::Yes));
    QVERIFY(clocks->outcomeCsv().contains("refused (wrong credentials)"));
    QVERIFY(clocks->grab().save(m_shots.filePath("clocks.png")));
    clocks->close();
}

// From the row menu: both protocols' cameras give their pictures, the
// device that is no camera is refused before anything is sent, the camera
// with another password says so; the report then holds the pictures, and
// the side panel the picture of the camera it shows.
void TestMainWindowBatch::pictureDialogKeepsEachCamerasPicture() {
    tree()->setFocus();
    tree()->setCurrentItem(rowNamed("Cam-1"));
    QTest::keyClick(tree(), Qt::Key_A, Qt::ControlModifier);
    std::unique_ptr<QMenu> menu(m_window->rowMenu(tree()->topLevelItem(0)));
    menu->findChild<QAction*>(QStringLiteral("picturesAction"))->trigger();
    PictureDialog* pictures = m_window->pictureDialog();
    QTRY_VERIFY(pictures != nullptr && pictures->isVisible());
    QCOMPARE(int(pictures->plan().size()), 5);
    const int boxes = m_boxes->count();
    QTest::keyClicks(child<QLineEdit>(pictures, "cameraPasswordField"), kCameraPassword);
    QTest::mouseClick(child<ZVKPushButton>(pictures, "applyButton"), Qt::LeftButton);
    QTRY_COMPARE(m_boxes->count(), boxes + 1);
    QCOMPARE(m_boxes->seen().text, GetText("IDCS_BATCH_ERROR_PASSWORD"));
    QVERIFY(!pictures->running());
    QTest::keyClicks(child<QLineEdit>(pictures, "passwordField"), "123456");
    QSignalSpy finished(pictures, SIGNAL(batchFinished()));
    QTest::mouseClick(child<ZVKPushButton>(pictures, "applyButton"), Qt::LeftButton);
    QVERIFY(finished.wait(90000));
    QTRY_COMPARE(m_boxes->count(), boxes + 2);
    QVERIFY(child<QLineEdit>(pictures, "passwordField")->text().isEmpty());
    const std::map<QString, std::pair<BatchState, RefusalReason>> expected = {
        {"Maker-1", {BatchState::Done, RefusalReason::None}},
        {"Maker-2b", {BatchState::Refused, RefusalReason::Unsupported}}, // renamed above
        {"Cam-1", {BatchState::Done, RefusalReason::None}},
        {"Cam-NoMac", {BatchState::Done, RefusalReason::None}},
        {"Cam-Other", {BatchState::Refused, RefusalReason::Credentials}}};
    for (size_t i = 0; i < pictures->plan().size(); ++i) {
        const QString name = QString::fromStdString(pictures->plan()[i].device.name);
        const auto& s = pictures->statuses()[i];
        // The camera with another password may be locked by the earlier
        // cases' tries: its own outcome either way.
        const bool locked = name == "Cam-Other" && s.reason == RefusalReason::Locked;
        QVERIFY2(locked ||
                     (s.state == expected.at(name).first && s.reason == expected.at(name).second),
                 qPrintable(name + ": " + PictureDialog::statusText(s)));
    }
    QVERIFY(!child<SnapshotPanel>(m_window.get(), "picturePanel")->picture().isNull());
    // The cameras' log-ins brought their firmware to their rows; the one
    // that refused the log-in told nothing.
    QTRY_COMPARE(rowNamed("Cam-1")->text(COL_SOFTWARE), QStringLiteral("5.4.1"));
    QTRY_COMPARE(rowNamed("Cam-NoMac")->text(COL_SOFTWARE), QStringLiteral("5.4.1"));
    QCOMPARE(rowNamed("Cam-Other")->text(COL_SOFTWARE), QString());
    QVERIFY(pictures->grab().save(m_shots.filePath("pictures.png")));
    pictures->close();
    QTemporaryDir folder;
    QString error;
    QVERIFY(m_window->writeSiteReport(folder.filePath("site.html"), "Depot", &error));
    QFile page(folder.filePath("site.html"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    QCOMPARE(page.readAll().count("data:image/jpeg;base64,"), 3);
}

// The side panel's rename of a maker's device and of a camera, neither
// renamed before, joins the session's deeds of each.
void TestMainWindowBatch::sidePanelRenameIsNoted() {
    const struct {
        const char *name, *key, *password;
    } cases[] = {{"Maker-1", "02:4C:56:00:3B:01", "123456"},
                 {"Cam-1", "02:4F:4E:00:3B:11", kCameraPassword}};
    DeviceControlBar* bar = m_window->controlBar();
    for (const auto& c : cases) {
        tree()->setCurrentItem(rowNamed(QLatin1String(c.name)));
        child<QLineEdit>(bar, "nameField")->setText(QLatin1String(c.name) + QLatin1String("-new"));
        QTest::keyClicks(child<QLineEdit>(bar, "passwordField"), QLatin1String(c.password));
        const int boxes = m_boxes->count();
        QTest::mouseClick(child<ZVKPushButton>(bar, "renameButton"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), boxes + 1, 30000);
        report::Verified verified = report::Verified::No;
        QCOMPARE(QString::fromStdString(m_window->sessionLog().Summary(c.key, {}, &verified)),
                 QStringLiteral("re-addressed, renamed, clock set"));
    }
}

QTEST_MAIN(TestMainWindowBatch)
#include "MainWindowBatchTest.moc"
