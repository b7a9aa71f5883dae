// The batch dialog driven as an installer drives it, by clicks and keys,
// over a scripted engine: the plan shown before anything is sent, a plan
// that cannot be made, a bad plan file, the live statuses, Stop and the
// summary box, the saved CSV. Run in each language; renders the plan, a
// running batch and the summary into shots/<locale>/batch-*.png.
#include "AddrPartLineEdit.h"
#include "BatchDialog.h"
#include "BoxDriver.h"
#include "IpAddrEdit.h"
#include "LorvexManage.h"
#include "MainWindowTestSupport.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKPushButton.h"

#include <QDir>
#include <QLocale>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <sys/stat.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

using namespace windowtest;
using namespace commission;

namespace {

template <class T> T* child(QWidget* parent, const char* name) {
    T* widget = parent->findChild<T*>(QLatin1String(name));
    if (widget == nullptr)
        qFatal("no child %s", name);
    return widget;
}

QString shotDir() {
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/shots/") +
                        QLocale::system().name();
    QDir().mkpath(dir);
    return dir;
}

QString mac(int i) { return QStringLiteral("02:4C:56:00:07:%1").arg(i, 2, 10, QLatin1Char('0')); }

// Devices that take any request with password "123456" and are then seen
// at their new address, except those refusing it; one request can be held
// until the test lets it go.
class FakeEngine {
public:
    std::vector<std::string> refusing;
    std::string holdAt; // the MAC whose request waits for release()
    // The secret file a first password must be in before it is sent, with
    // mode 0600; each activation notes whether it was.
    QString secretPath;

    BatchDialog::Engine engine(const std::vector<SEARCH_INFO>& listed) {
        for (const SEARCH_INFO& d : listed)
            m_listed[d.mac] = d;
        BatchDialog::Engine e;
        e.services.send = [this](const PlanEntry& p, const std::string& password) {
            std::unique_lock<std::mutex> hold(m_mutex);
            m_sent.push_back(p.device.mac);
            if (p.device.mac == holdAt) {
                m_holding = true;
                m_wake.notify_all();
                m_wake.wait(hold, [this] { return m_released; });
            }
            for (const std::string& r : refusing)
                if (r == p.device.mac || password != "123456")
                    return int32_t(CLorvexManage::SETNET_FAILED);
            SEARCH_INFO& d = m_listed[p.device.mac];
            put(d.ipAddr, p.ip.c_str());
            put(d.mask, p.mask.c_str());
            put(d.route, p.gateway.c_str());
            if (!p.name.empty())
                put(d.devName, p.name.c_str());
            return int32_t(CLorvexManage::SETNET_DONE);
        };
        e.services.activate = [this](const PlanEntry& p, const std::string& password) {
            std::lock_guard<std::mutex> hold(m_mutex);
            struct stat st {};
            QFile file(secretPath);
            const bool inFile = ::stat(QFile::encodeName(secretPath).constData(), &st) == 0 &&
                                (st.st_mode & 0777) == 0600 && file.open(QIODevice::ReadOnly) &&
                                file.readAll().contains(QByteArray::fromStdString(password));
            m_sent.push_back((inFile ? "filed " : "unfiled ") + p.device.mac);
            m_listed[p.device.mac].deviceActivated = 0;
            return int32_t(CLorvexManage::SETNET_DONE);
        };
        e.services.find = [this](const std::string& m, SEARCH_INFO* out) {
            std::lock_guard<std::mutex> hold(m_mutex);
            const auto it = m_listed.find(m);
            if (it == m_listed.end())
                return false;
            *out = it->second;
            return true;
        };
        e.services.verifyBound = std::chrono::milliseconds(500);
        e.services.pollEvery = std::chrono::milliseconds(5);
        e.hostAddresses = {"192.168.1.2"};
        return e;
    }
    std::vector<std::string> sent() {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_sent;
    }
    bool holding() {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_holding;
    }
    void release() {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_released = true;
        m_wake.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::string, SEARCH_INFO> m_listed;
    std::vector<std::string> m_sent;
    bool m_holding = false;
    bool m_released = false;
};

// Six cameras at one factory address, and a seventh device holding .12.
std::vector<SEARCH_INFO> fleet() {
    std::vector<SEARCH_INFO> out;
    for (int i = 1; i <= 7; ++i) {
        SEARCH_INFO d = record(SEARCH_EVENT_NEW, mac(i).toLatin1().constData(),
                               i == 7 ? "192.168.1.12" : "192.168.1.64");
        put(d.mask, "255.255.255.0");
        put(d.route, "192.168.1.1");
        put(d.devName, QStringLiteral("Lobby %1").arg(i).toUtf8().constData());
        out.push_back(d);
    }
    return out;
}

// Types an address into a field part by part, as keys.
void typeAddress(IpAddrEdit* field, const QString& address) {
    const QStringList parts = address.split(QLatin1Char('.'));
    for (int i = 0; i < field->parts().size(); ++i) {
        AddrPartLineEdit* part = field->parts()[i];
        part->selectAll();
        QTest::keyClick(part, Qt::Key_Delete);
        QTest::keyClicks(part, parts.value(i));
    }
}

QStringList column(QTreeWidget* tree, int c) {
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        out << tree->topLevelItem(i)->text(c);
    return out;
}

} // namespace

class TestBatchDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void planIsShownBeforeAnythingIsSent();
    void planThatCannotBeMadeNamesDeviceAndRule();
    void badPlanFileNamesItsLine();
    void applyShowsLiveStatusesAndASummary();
    void stopAfterTheDeviceInFlight();
    void noPasswordSendsNothing();
    void searchOffSendsNothing();
    void namesAndClockByHand();
    void generatedPasswordsAreFiledFirst();

private:
    BatchDialog* dialog() { return m_dialog.get(); }
    void open(int selected);
    void makePlanByKeys();
    std::unique_ptr<FakeEngine> m_engine;
    std::unique_ptr<BatchDialog> m_dialog;
};

void TestBatchDialog::initTestCase() {
    applyLook();
    g_languageId = LanguageIdFromLocaleName(QLocale::system().name());
    InitLanguage(QCoreApplication::applicationDirPath().toUtf8(), g_languageId);
}

void TestBatchDialog::init() { m_engine.reset(new FakeEngine); }

void TestBatchDialog::cleanup() {
    if (m_engine)
        m_engine->release();
    m_dialog.reset();
    m_engine.reset();
}

void TestBatchDialog::open(int selected) {
    const std::vector<SEARCH_INFO> listed = fleet();
    const std::vector<SEARCH_INFO> chosen(listed.begin(), listed.begin() + selected);
    m_dialog.reset(new BatchDialog(chosen, listed, m_engine->engine(listed)));
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
}

void TestBatchDialog::makePlanByKeys() {
    typeAddress(child<IpAddrEdit>(dialog(), "startField"), QStringLiteral("192.168.1.10"));
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "planButton"), Qt::LeftButton);
}

void TestBatchDialog::planIsShownBeforeAnythingIsSent() {
    open(6);
    // Mask and gateway come from the first device.
    QCOMPARE(child<IpAddrEdit>(dialog(), "maskField")->text(), QStringLiteral("255.255.255.0"));
    QVERIFY(!child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
    // Before any plan the table lists the devices the batch is for.
    QTreeWidget* tree = child<QTreeWidget>(dialog(), "planTree");
    QCOMPARE(column(tree, BatchDialog::ColMac),
             QStringList({mac(1), mac(2), mac(3), mac(4), mac(5), mac(6)}));
    QCOMPARE(column(tree, BatchDialog::ColCurrent),
             QVector<QString>(6, QStringLiteral("192.168.1.64")).toList());
    QCOMPARE(column(tree, BatchDialog::ColNew), QVector<QString>(6, QString()).toList());
    QVERIFY(dialog()->grab().save(shotDir() + QStringLiteral("/batch-open.png")));
    makePlanByKeys();
    QCOMPARE(column(tree, BatchDialog::ColNew),
             QStringList({"192.168.1.10", "192.168.1.11", "192.168.1.13", "192.168.1.14",
                          "192.168.1.15", "192.168.1.16"}));
    QCOMPARE(column(tree, BatchDialog::ColMac).first(), mac(1));
    QCOMPARE(column(tree, BatchDialog::ColName).first(), QStringLiteral("Lobby 1"));
    const QString info = child<ZVKLabel>(dialog(), "planInfo")->text();
    QVERIFY2(info.contains(QStringLiteral("192.168.1.12")) && info.contains(mac(7)),
             qPrintable(info));
    QVERIFY(child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
    QVERIFY(m_engine->sent().empty());
    QVERIFY(dialog()->grab().save(shotDir() + QStringLiteral("/batch-plan.png")));
}

void TestBatchDialog::planThatCannotBeMadeNamesDeviceAndRule() {
    open(6);
    typeAddress(child<IpAddrEdit>(dialog(), "startField"), QStringLiteral("192.168.1.252"));
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "planButton"), Qt::LeftButton);
    // No plan: the table lists the selected devices again, nothing new.
    QCOMPARE(column(child<QTreeWidget>(dialog(), "planTree"), BatchDialog::ColNew),
             QVector<QString>(6, QString()).toList());
    QVERIFY(child<ZVKLabel>(dialog(), "planInfo")->text().contains(mac(4)));
    typeAddress(child<IpAddrEdit>(dialog(), "startField"), QStringLiteral("192.168.1.10"));
    typeAddress(child<IpAddrEdit>(dialog(), "gatewayField"), QStringLiteral("192.168.2.1"));
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "planButton"), Qt::LeftButton);
    const QString info = child<ZVKLabel>(dialog(), "planInfo")->text();
    QVERIFY2(info.contains(mac(1)) && info.contains(GetText("IDCS_ERROR_DIFFERENT_SEGMENT")),
             qPrintable(info));
    QVERIFY(!child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
}

void TestBatchDialog::badPlanFileNamesItsLine() {
    open(6);
    const QByteArray file = "mac,newIp,newMask,newGateway\r\n" + mac(1).toLatin1() +
                            ",10.0.0.10,255.255.255.0,10.0.0.1\r\n" + mac(2).toLatin1() +
                            ",10.0.0.10,255.255.255.0,10.0.0.1\r\n";
    QVERIFY(!dialog()->importPlan(file));
    QVERIFY(child<ZVKLabel>(dialog(), "planInfo")->text().contains(QLatin1String("3")));
    QVERIFY(!child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
    // With the plan's own passwords, the password field may stay empty.
    // A name goes with the address; the maker's device takes no clock: its
    // row says so at that step.
    QVERIFY(dialog()->importPlan("mac,newIp,newMask,newGateway,password,name,ntp\r\n" +
                                 mac(2).toLatin1() +
                                 ",10.0.0.10,255.255.255.0,10.0.0.1,123456,Gate-2,10.0.0.1\r\n"));
    QVERIFY(child<QWidget>(dialog(), "planPasswordsBox")->isEnabled());
    QTreeWidget* tree = child<QTreeWidget>(dialog(), "planTree");
    QVERIFY(tree->topLevelItem(0)->text(BatchDialog::ColName).endsWith(QLatin1String("Gate-2")));
    QVERIFY(dialog()->grab().save(shotDir() + QStringLiteral("/batch-plan-names.png")));
    BoxDriver boxes;
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QTRY_COMPARE(boxes.count(), 1);
    QCOMPARE(dialog()->statuses().at(0).state, BatchState::Refused);
    QCOMPARE(dialog()->statuses().at(0).step, commission::PlanStep::Clock);
    QVERIFY(tree->topLevelItem(0)
                ->text(BatchDialog::ColStatus)
                .startsWith(GetText("IDCS_PLAN_STEP_CLOCK")));
    QVERIFY(!dialog()->planCsv().contains("123456"));
    QVERIFY(dialog()->planCsv().contains(",Gate-2,10.0.0.1,"));
}

void TestBatchDialog::applyShowsLiveStatusesAndASummary() {
    m_engine->refusing = {mac(3).toStdString()};
    m_engine->holdAt = mac(5).toStdString();
    open(6);
    makePlanByKeys();
    QTest::keyClicks(child<ZVKLineEdit>(dialog(), "passwordField"), QStringLiteral("123456"));
    QSignalSpy finished(dialog(), SIGNAL(batchFinished()));
    BoxDriver boxes;
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QTRY_VERIFY(m_engine->holding());
    QTreeWidget* tree = child<QTreeWidget>(dialog(), "planTree");
    QTRY_COMPARE(tree->topLevelItem(4)->text(BatchDialog::ColStatus),
                 GetText("IDCS_BATCH_SENDING"));
    QTRY_COMPARE(tree->topLevelItem(0)->text(BatchDialog::ColStatus), GetText("IDCS_BATCH_DONE"));
    QVERIFY(tree->topLevelItem(2)
                ->text(BatchDialog::ColStatus)
                .contains(GetText("IDCS_BATCH_REASON_PASSWORD")));
    QCOMPARE(tree->topLevelItem(5)->text(BatchDialog::ColStatus), GetText("IDCS_BATCH_WAITING"));
    QVERIFY(!child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
    QVERIFY(child<ZVKPushButton>(dialog(), "stopButton")->isEnabled());
    QVERIFY(dialog()->grab().save(shotDir() + QStringLiteral("/batch-running.png")));
    boxes.shootNext(dialog(), shotDir() + QStringLiteral("/batch-summary.png"));
    m_engine->release();
    QTRY_COMPARE(finished.count(), 1);
    QTRY_COMPARE(boxes.count(), 1);
    QVERIFY(boxes.seen().text.contains(GetText("IDCS_BATCH_DONE") + QStringLiteral(": 5")));
    QVERIFY(
        boxes.seen().text.contains(GetText("IDCS_BATCH_SUMMARY_REFUSED") + QStringLiteral(": 1")));
    QCOMPARE(m_engine->sent().size(), size_t(6));
    const QByteArray csv = dialog()->planCsv();
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"
                           "mac,"));
    QVERIFY(csv.contains(mac(3).toLatin1() + ",Lobby 3,ZVK_IPC,192.168.1.64,192.168.1.13,"));
    QVERIFY(csv.contains("refused (password)"));
    QVERIFY(!csv.contains("123456"));
}

void TestBatchDialog::stopAfterTheDeviceInFlight() {
    m_engine->holdAt = mac(2).toStdString();
    open(6);
    makePlanByKeys();
    QTest::keyClicks(child<ZVKLineEdit>(dialog(), "passwordField"), QStringLiteral("123456"));
    BoxDriver boxes;
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QTRY_VERIFY(m_engine->holding());
    // Escape stops the batch; the dialog stays open to show the outcome.
    QTest::keyClick(dialog(), Qt::Key_Escape);
    QVERIFY(dialog()->isVisible());
    m_engine->release();
    QTRY_COMPARE(boxes.count(), 1);
    QCOMPARE(m_engine->sent().size(), size_t(2));
    for (size_t i = 2; i < 6; ++i) {
        QCOMPARE(dialog()->statuses().at(i).state, BatchState::Skipped);
        QVERIFY(dialog()->statuses().at(i).cancelled);
    }
    QVERIFY(dialog()->isVisible());
    QTest::keyClick(dialog(), Qt::Key_Escape);
    QTRY_VERIFY(!dialog()->isVisible());
}

void TestBatchDialog::noPasswordSendsNothing() {
    open(2);
    makePlanByKeys();
    BoxDriver boxes;
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QTRY_COMPARE(boxes.count(), 1);
    QCOMPARE(boxes.seen().text, GetText("IDCS_BATCH_ERROR_PASSWORD"));
    QVERIFY(!dialog()->running());
    QVERIFY(m_engine->sent().empty());
}

// Without the automatic search no device could be confirmed: nothing is sent.
void TestBatchDialog::searchOffSendsNothing() {
    const std::vector<SEARCH_INFO> listed = fleet();
    BatchDialog::Engine engine = m_engine->engine(listed);
    engine.searchRunning = false;
    m_dialog.reset(new BatchDialog({listed[0]}, listed, engine));
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
    makePlanByKeys();
    QTest::keyClicks(child<ZVKLineEdit>(dialog(), "passwordField"), QStringLiteral("123456"));
    BoxDriver boxes;
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QTRY_COMPARE(boxes.count(), 1);
    QCOMPARE(boxes.seen().text, GetText("IDCS_BATCH_ERROR_SEARCH_OFF"));
    QVERIFY(m_engine->sent().empty());
}

// A name typed in the table (F2) and the plan's clock fields run as an
// imported plan's columns do; a value that breaks its rule says which.
void TestBatchDialog::namesAndClockByHand() {
    open(2);
    QTreeWidget* tree = child<QTreeWidget>(dialog(), "planTree");
    const auto typeName = [tree](int row, const QString& name) {
        tree->setCurrentItem(tree->topLevelItem(row), BatchDialog::ColMac); // F2 from any cell
        QTest::keyClick(tree, Qt::Key_F2);
        QPointer<QLineEdit> editor = tree->viewport()->findChild<QLineEdit*>();
        if (editor.isNull())
            qFatal("no name editor");
        // The name as one key event, as an input method sends it.
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, name, Qt::NoModifier);
        QTest::keyClick(editor, Qt::Key_Return); // the edit ends through the event loop
        QTRY_VERIFY(editor.isNull());
    };
    typeName(0, QStringLiteral("Gate-1")); // before the plan: kept by it
    makePlanByKeys();
    typeName(1, QString(16, QChar(0x416))); // 32 bytes of UTF-8
    QCOMPARE(child<ZVKLabel>(dialog(), "planInfo")->text(),
             GetText("IDCS_PLAN_ERROR_NAME_D").arg(31));
    QCOMPARE(column(tree, BatchDialog::ColName),
             QStringList({QStringLiteral("Lobby 1 \u2192 Gate-1"), QStringLiteral("Lobby 2")}));
    QTest::keyClicks(child<ZVKLineEdit>(dialog(), "passwordField"), QStringLiteral("123456"));
    const struct {
        const char *ntp, *zone, *refusal;
    } cases[] = {{"pool ntp", "", "IDCS_PLAN_ERROR_NTP"},
                 {"", "CET-1CEST;", "IDCS_PLAN_ERROR_ZONE"},
                 {"10.0.0.1", "CET-1CEST,M3.5.0,M10.5.0/3", nullptr}};
    BoxDriver boxes;
    for (const auto& c : cases) {
        for (auto [name, text] :
             {std::pair{"planNtpField", c.ntp}, std::pair{"planZoneField", c.zone}}) {
            child<QLineEdit>(dialog(), name)->clear();
            QTest::keyClicks(child<QLineEdit>(dialog(), name), QLatin1String(text));
        }
        if (c.refusal == nullptr) { // the guide's picture: the plan as the installer applies it
            tree->setCurrentItem(tree->topLevelItem(0), BatchDialog::ColMac);
            QVERIFY(dialog()->grab().save(shotDir() + QStringLiteral("/batch-plan-steps.png")));
        }
        const int before = boxes.count();
        QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
        QTRY_COMPARE(boxes.count(), before + 1);
        if (c.refusal != nullptr)
            QCOMPARE(boxes.seen().text, GetText(c.refusal));
    }
    // Both devices are named (or keep their name) with their address, then
    // stop at the clock the fake devices do not take.
    QCOMPARE(dialog()->statuses().at(0).step, PlanStep::Clock);
    QCOMPARE(dialog()->plan().at(0).name, std::string("Gate-1"));
    QVERIFY(dialog()->planCsv().contains(",Gate-1,10.0.0.1,\"CET-1CEST,M3.5.0,M10.5.0/3\""));
}

// Generated first passwords are in their secret file before the first is
// sent, and nowhere on show; a file that cannot be written starts nothing.
void TestBatchDialog::generatedPasswordsAreFiledFirst() {
    std::vector<SEARCH_INFO> listed = fleet();
    for (SEARCH_INFO& d : listed)
        d.deviceActivated = 1;
    m_dialog.reset(new BatchDialog({listed[0], listed[1]}, listed, m_engine->engine(listed)));
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
    QVERIFY(dialog()->importPlan("mac,newIp,newMask,newGateway,password,setupCode\r\n" +
                                 mac(1).toLatin1() +
                                 ",192.168.1.20,255.255.255.0,192.168.1.1,(generate),"
                                 "ABCD-EFGH-JKD2\r\n"));
    QTemporaryDir dir;
    m_engine->secretPath = dir.filePath(QStringLiteral("passwords.csv"));
    QFile taken(dir.filePath(QStringLiteral("taken.csv"))); // never overwritten
    QVERIFY(taken.open(QIODevice::WriteOnly));
    BoxDriver boxes;
    answerFileBox(taken.fileName());
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QTRY_COMPARE(boxes.count(), 1);
    QVERIFY(!dialog()->running() && m_engine->sent().empty());
    answerFileBox(m_engine->secretPath);
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QTRY_COMPARE(boxes.count(), 2); // the summary
    QCOMPARE(m_engine->sent().front(), "filed " + mac(1).toStdString());
    QFile file(m_engine->secretPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray secret = file.readAll();
    QVERIFY(secret.contains(mac(1).toLatin1() + ",Lobby 1,"));
    const QByteArray password = secret.trimmed().split(',').last();
    QVERIFY(!dialog()->planCsv().contains(password));
    for (int c = 0; c < BatchDialog::ColCount; ++c)
        QVERIFY(
            !child<QTreeWidget>(dialog(), "planTree")->topLevelItem(0)->text(c).contains(password));
}

QTEST_MAIN(TestBatchDialog)
#include "BatchDialogTest.moc"
