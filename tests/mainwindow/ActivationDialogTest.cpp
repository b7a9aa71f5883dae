// The activation dialog driven as an installer drives it, by clicks and
// keys, over a scripted engine: devices with a password shown skipped and
// never sent one, the rule checked while typing, setup codes scanned into
// their box (or loaded from a file) and checked as they come, devices
// without a code skipped, the generated passwords refused until their
// secret file is saved, live statuses, Stop, the summary and an outcome
// file without passwords or codes. Run in each language; renders the
// dialog into shots/<locale>/activate-*.png.
#include "ActivationDialog.h"
#include "BoxDriver.h"
#include "Csv.h"
#include "LorvexManage.h"
#include "MainWindowTestSupport.h"
#include "ZVKCheckBox.h"
#include "ZVKLabel.h"
#include "ZVKPushButton.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>

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

QString mac(int i) { return QStringLiteral("02:4C:56:00:08:%1").arg(i, 2, 10, QLatin1Char('0')); }

const char kGood[] = "Camera#2026";

// A setup code per device of fleet(), by its number (1 to 6).
const char* const kCodes[] = {"",
                              "ABCD-EFGH-JKD2",
                              "7QX4-M2RT-VWQP",
                              "K9P3-ZH5N-8D2V",
                              "MNPQ-RSTV-WXKS",
                              "2345-6789-12KN",
                              "0123-4567-89FD"};

// Devices that take any first password that meets the rule and then show
// as activated; a few refuse it as the device's own judgement; one request
// can be held until the test lets it go.
class FakeEngine {
public:
    std::string weakAt;      // this MAC answers "weak password"
    std::string codeWrongAt; // this MAC refuses the setup code
    std::string holdAt; // the MAC whose request waits for release()

    BatchServices services(const std::vector<SEARCH_INFO>& listed) {
        for (const SEARCH_INFO& d : listed)
            m_listed[d.mac] = d;
        BatchServices s;
        s.send = [this](const PlanEntry& p, const std::string& password) {
            std::unique_lock<std::mutex> hold(m_mutex);
            m_sent[p.device.mac] = password;
            m_codes[p.device.mac] = p.setupCode;
            m_order.push_back(p.device.mac);
            if (p.device.mac == holdAt) {
                m_holding = true;
                m_wake.notify_all();
                m_wake.wait(hold, [this] { return m_released; });
            }
            if (p.device.mac == weakAt)
                return int32_t(CLorvexManage::SETNET_WEAK_PASSWORD);
            if (p.device.mac == codeWrongAt)
                return int32_t(CLorvexManage::SETNET_SETUP_CODE_WRONG);
            m_listed[p.device.mac].deviceActivated = 0;
            return int32_t(CLorvexManage::SETNET_DONE);
        };
        s.find = [this](const std::string& m, SEARCH_INFO* out) {
            std::lock_guard<std::mutex> hold(m_mutex);
            const auto it = m_listed.find(m);
            if (it == m_listed.end())
                return false;
            *out = it->second;
            return true;
        };
        s.verifyBound = std::chrono::milliseconds(500);
        s.pollEvery = std::chrono::milliseconds(5);
        return s;
    }
    std::map<std::string, std::string> sent() {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_sent;
    }
    std::vector<std::string> order() {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_order;
    }
    // The setup code each device's request carried.
    std::map<std::string, std::string> codes() {
        std::lock_guard<std::mutex> hold(m_mutex);
        return m_codes;
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
    std::map<std::string, std::string> m_sent;
    std::map<std::string, std::string> m_codes;
    std::vector<std::string> m_order;
    bool m_holding = false;
    bool m_released = false;
};

// Five new cameras and, third in the list, one that has a password already.
std::vector<SEARCH_INFO> fleet() {
    std::vector<SEARCH_INFO> out;
    for (int i = 1; i <= 6; ++i) {
        SEARCH_INFO d = record(SEARCH_EVENT_NEW, mac(i).toLatin1().constData(),
                               QStringLiteral("192.168.1.%1").arg(100 + i).toLatin1().constData());
        put(d.mask, "255.255.255.0");
        put(d.route, "192.168.1.1");
        put(d.devName, QStringLiteral("Gate north %1").arg(i).toUtf8().constData());
        d.deviceActivated = i == 3 ? 0 : 1;
        out.push_back(d);
    }
    return out;
}

// A click on the box's indicator, where a user clicks it.
void clickBox(QWidget* box) {
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
}

QString status(QTreeWidget* tree, int row) {
    return tree->topLevelItem(row)->text(ActivationDialog::ColStatus);
}

QString codeCell(QTreeWidget* tree, int row) {
    return tree->topLevelItem(row)->text(ActivationDialog::ColCode);
}

} // namespace

class TestActivationDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void activeDevicesAreSkippedFromTheStart();
    void ruleIsCheckedWhileTyping_data();
    void ruleIsCheckedWhileTyping();
    void onePasswordForAllWithLiveStatuses();
    void generatedPasswordsNeedTheirFileFirst();
    void secretFileIsNeverOverwritten();
    void stopAfterTheDeviceInFlight();
    void codesAreCheckedAsScanned();
    void devicesWithoutACodeAreSkipped();
    void generatedPasswordsOnlyForDevicesWithACode();
    void codesFileLoadsAndIsBounded();

private:
    ActivationDialog* dialog() { return m_dialog.get(); }
    void open();
    void typePassword(const QString& a, const QString& b);
    // Types device i's label as a barcode scanner does: MAC,CODE and Return.
    void scan(int i, const char* code = nullptr);
    void scanAll();
    QPlainTextEdit* codesBox() { return child<QPlainTextEdit>(dialog(), "codesBox"); }
    QString codesInfo() { return child<ZVKLabel>(dialog(), "codesInfo")->text(); }
    std::unique_ptr<FakeEngine> m_engine;
    std::unique_ptr<ActivationDialog> m_dialog;
};

void TestActivationDialog::initTestCase() {
    applyLook();
    g_languageId = LanguageIdFromLocaleName(QLocale::system().name());
    InitLanguage(QCoreApplication::applicationDirPath().toUtf8(), g_languageId);
}

void TestActivationDialog::init() { m_engine.reset(new FakeEngine); }

void TestActivationDialog::cleanup() {
    if (m_engine)
        m_engine->release();
    m_dialog.reset();
    m_engine.reset();
}

void TestActivationDialog::open() {
    const std::vector<SEARCH_INFO> listed = fleet();
    m_dialog.reset(new ActivationDialog(listed, m_engine->services(listed)));
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
}

void TestActivationDialog::typePassword(const QString& a, const QString& b) {
    QLineEdit* first = child<QLineEdit>(dialog(), "passwordField");
    QLineEdit* second = child<QLineEdit>(dialog(), "repeatField");
    first->clear();
    second->clear();
    QTest::keyClicks(first, a);
    QTest::keyClicks(second, b);
}

void TestActivationDialog::scan(int i, const char* code) {
    QTest::keyClicks(codesBox(),
                     mac(i) + QLatin1Char(',') + QLatin1String(code ? code : kCodes[i]));
    QTest::keyClick(codesBox(), Qt::Key_Return);
}

void TestActivationDialog::scanAll() {
    for (int i = 1; i <= 6; ++i)
        scan(i);
}

void TestActivationDialog::activeDevicesAreSkippedFromTheStart() {
    open();
    QTreeWidget* tree = child<QTreeWidget>(dialog(), "planTree");
    QCOMPARE(tree->topLevelItemCount(), 6);
    QCOMPARE(status(tree, 2), GetText("IDCS_BATCH_SKIPPED_ACTIVE"));
    QCOMPARE(status(tree, 0), GetText("IDCS_BATCH_WAITING"));
    QCOMPARE(dialog()->needingCount(), 5);
    QVERIFY(child<ZVKCheckBox>(dialog(), "oneForAllBox")->isChecked());
    QVERIFY(!child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
    QVERIFY(!child<ZVKPushButton>(dialog(), "secretButton")->isEnabled());
    QVERIFY(child<ZVKLabel>(dialog(), "planInfo")->text().contains(QLatin1String("5")));
    QCOMPARE(codeCell(tree, 0), GetText("IDCS_SETUP_CODE_MISSING"));
    QCOMPARE(codeCell(tree, 2), QString()); // it needs none
    QCOMPARE(codesInfo(), GetText("IDCS_SETUP_CODES_NONE"));
}

void TestActivationDialog::ruleIsCheckedWhileTyping_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("repeat");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("applicable");
    // A weak password's line names the rule it breaks, and the device.
    QTest::newRow("short") << "Ab1"
                           << "Ab1"
                           << "IDCS_PASSWORD_WEAK_LENGTH" << false;
    QTest::newRow("one class") << "abcdefghij"
                               << "abcdefghij"
                               << "IDCS_PASSWORD_WEAK_CLASSES" << false;
    QTest::newRow("a device's name") << "gate NORTH 4"
                                     << "gate NORTH 4"
                                     << "IDCS_PASSWORD_WEAK_NAME_D 4" << false;
    QTest::newRow("no device's name") << "gate north 9"
                                      << "gate north 9"
                                      << "IDCS_PASSWORD_RULE_MET" << true;
    QTest::newRow("a device's MAC") << "024c56000806"
                                    << "024c56000806"
                                    << "IDCS_PASSWORD_WEAK_MAC_D 6" << false;
    QTest::newRow("mismatch") << kGood << "Camera#2025"
                              << "IDCS_PASSWORD_MISMATCH" << false;
    QTest::newRow("good") << kGood << kGood << "IDCS_PASSWORD_RULE_MET" << true;
}

void TestActivationDialog::ruleIsCheckedWhileTyping() {
    QFETCH(QString, password);
    QFETCH(QString, repeat);
    QFETCH(QString, key);
    QFETCH(bool, applicable);
    open();
    scanAll();
    typePassword(password, repeat);
    const QString verdict = child<ZVKLabel>(dialog(), "verdict")->text();
    const QStringList keyAndDevice = key.split(QLatin1Char(' '));
    QString expected = GetText(keyAndDevice[0].toLatin1().constData());
    if (keyAndDevice.size() > 1) {
        const int i = keyAndDevice[1].toInt();
        expected = expected.arg(QStringLiteral("Gate north %1 (%2)").arg(i).arg(mac(i)));
    }
    QCOMPARE(verdict, expected);
    QCOMPARE(child<ZVKPushButton>(dialog(), "applyButton")->isEnabled(), applicable);
}

void TestActivationDialog::onePasswordForAllWithLiveStatuses() {
    m_engine->weakAt = mac(4).toStdString();
    m_engine->holdAt = mac(5).toStdString();
    open();
    scanAll();
    typePassword(QLatin1String(kGood), QLatin1String(kGood));
    QVERIFY(dialog()->grab().save(shotDir() + QStringLiteral("/activate-one.png")));
    QSignalSpy finished(dialog(), SIGNAL(batchFinished()));
    BoxDriver boxes;
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QTRY_VERIFY(m_engine->holding());
    QTreeWidget* tree = child<QTreeWidget>(dialog(), "planTree");
    QTRY_COMPARE(status(tree, 4), GetText("IDCS_BATCH_SENDING"));
    QCOMPARE(status(tree, 0), GetText("IDCS_BATCH_DONE"));
    QVERIFY(status(tree, 3).contains(GetText("IDCS_BATCH_REASON_WEAK")));
    QCOMPARE(status(tree, 5), GetText("IDCS_BATCH_WAITING"));
    // The fields were wiped once the runner took the password and codes.
    QVERIFY(child<QLineEdit>(dialog(), "passwordField")->text().isEmpty());
    QVERIFY(codesBox()->toPlainText().isEmpty());
    QCOMPARE(codeCell(tree, 5), GetText("IDCS_SETUP_CODE_GIVEN"));
    QVERIFY(!child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
    QVERIFY(child<ZVKPushButton>(dialog(), "stopButton")->isEnabled());
    QVERIFY(dialog()->grab().save(shotDir() + QStringLiteral("/activate-running.png")));
    boxes.shootNext(dialog(), shotDir() + QStringLiteral("/activate-summary.png"));
    m_engine->release();
    QTRY_COMPARE(finished.count(), 1);
    QTRY_COMPARE(boxes.count(), 1);
    QVERIFY(boxes.seen().text.contains(GetText("IDCS_BATCH_DONE") + QStringLiteral(": 4")));
    QVERIFY(
        boxes.seen().text.contains(GetText("IDCS_BATCH_SUMMARY_SKIPPED") + QStringLiteral(": 1")));
    // Exactly the five devices without a password, each with the typed one.
    const auto sent = m_engine->sent();
    QCOMPARE(sent.size(), size_t(5));
    QVERIFY(sent.count(mac(3).toStdString()) == 0);
    for (const auto& s : sent)
        QCOMPARE(QString::fromStdString(s.second), QLatin1String(kGood));
    // Each with its own label's code.
    for (int i : {1, 2, 4, 5, 6})
        QCOMPARE(m_engine->codes().at(mac(i).toStdString()), std::string(kCodes[i]));
    QCOMPARE(status(tree, 2), GetText("IDCS_BATCH_SKIPPED_ACTIVE"));
    QCOMPARE(codeCell(tree, 0), QString()); // done: it needs no code any more
    const QByteArray csv = dialog()->outcomeCsv();
    QVERIFY(csv.contains(mac(4).toLatin1() + ",Gate north 4,"));
    QVERIFY(csv.contains("refused (weak password)"));
    QVERIFY(csv.contains("skipped (already active)"));
    QVERIFY(!csv.contains(kGood));
    for (const char* code : kCodes)
        QVERIFY(*code == '\0' || !csv.contains(code));
}

void TestActivationDialog::generatedPasswordsNeedTheirFileFirst() {
    open();
    scanAll();
    clickBox(child<ZVKCheckBox>(dialog(), "generatedBox"));
    QVERIFY(child<ZVKCheckBox>(dialog(), "generatedBox")->isChecked());
    QVERIFY(!child<QLineEdit>(dialog(), "passwordField")->isEnabled());
    QVERIFY(child<ZVKLabel>(dialog(), "secretInfo")->isVisible());
    QVERIFY(!child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
    BoxDriver boxes;
    QVERIFY(!dialog()->apply());
    QTRY_COMPARE(boxes.count(), 1);
    QCOMPARE(boxes.seen().text, GetText("IDCS_ACTIVATE_BATCH_ERROR_SECRET"));
    QVERIFY(m_engine->sent().empty());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("site-passwords.csv"));
    QVERIFY(dialog()->saveSecretFile(path));
    QVERIFY(child<ZVKLabel>(dialog(), "secretPath")->text().contains(path));
    QVERIFY(child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
    QVERIFY(dialog()->grab().save(shotDir() + QStringLiteral("/activate-generated.png")));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0600);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    std::vector<CsvRecord> records;
    CsvError error;
    const QByteArray text = file.readAll();
    QVERIFY(ReadCsv(std::string_view(text.constData(), size_t(text.size())), &records, &error));
    QCOMPARE(records.size(), size_t(6)); // header and the five that need one

    QSignalSpy finished(dialog(), SIGNAL(batchFinished()));
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    QTRY_COMPARE(boxes.count(), 2);
    // Each device got exactly the password the file holds for it, and no two the same.
    const auto sent = m_engine->sent();
    QCOMPARE(sent.size(), size_t(5));
    std::set<std::string> distinct;
    for (size_t i = 1; i < records.size(); ++i) {
        const auto it = sent.find(records[i].fields[0]);
        QVERIFY(it != sent.end());
        QCOMPARE(it->second, records[i].fields[4]);
        distinct.insert(it->second);
    }
    QCOMPARE(distinct.size(), size_t(5));
    const QByteArray csv = dialog()->outcomeCsv();
    for (const auto& s : sent)
        QVERIFY(!csv.contains(QByteArray::fromStdString(s.second)));
    // The passwords are gone from the dialog: another run needs a new file.
    QVERIFY(!child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
}

void TestActivationDialog::secretFileIsNeverOverwritten() {
    open();
    scanAll();
    clickBox(child<ZVKCheckBox>(dialog(), "generatedBox"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("existing.csv"));
    QFile existing(path);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("keep me");
    existing.close();
    QVERIFY(child<ZVKCheckBox>(dialog(), "generatedBox")->isChecked());
    QVERIFY(!dialog()->saveSecretFile(path));
    QVERIFY(!child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
    QVERIFY(child<ZVKLabel>(dialog(), "secretPath")->text().contains(path));
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("keep me"));
    // Back to one password: a file saved before counts no more.
    QVERIFY(dialog()->saveSecretFile(dir.filePath(QStringLiteral("new.csv"))));
    clickBox(child<ZVKCheckBox>(dialog(), "oneForAllBox"));
    QVERIFY(child<QLineEdit>(dialog(), "passwordField")->isEnabled());
    QVERIFY(child<ZVKLabel>(dialog(), "secretPath")->text().isEmpty());
    clickBox(child<ZVKCheckBox>(dialog(), "generatedBox"));
    QVERIFY(!child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
}

void TestActivationDialog::stopAfterTheDeviceInFlight() {
    m_engine->holdAt = mac(2).toStdString();
    open();
    scanAll();
    typePassword(QLatin1String(kGood), QLatin1String(kGood));
    BoxDriver boxes;
    QTest::keyClick(child<QLineEdit>(dialog(), "repeatField"), Qt::Key_Tab);
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QTRY_VERIFY(m_engine->holding());
    QTest::keyClick(dialog(), Qt::Key_Escape);
    QVERIFY(dialog()->isVisible());
    m_engine->release();
    QTRY_COMPARE(boxes.count(), 1);
    QCOMPARE(m_engine->order().size(), size_t(2));
    for (size_t i = 2; i < 6; ++i)
        QCOMPARE(dialog()->statuses().at(i).state, BatchState::Skipped);
    QVERIFY(dialog()->statuses().at(3).cancelled);
    QTest::keyClick(dialog(), Qt::Key_Escape);
    QTRY_VERIFY(!dialog()->isVisible());
}

// Each scanned line is read as it arrives: the list shows who has a code,
// and a faulty line is named while Apply stays off.
void TestActivationDialog::codesAreCheckedAsScanned() {
    open();
    QTreeWidget* tree = child<QTreeWidget>(dialog(), "planTree");
    ZVKPushButton* apply = child<ZVKPushButton>(dialog(), "applyButton");
    typePassword(QLatin1String(kGood), QLatin1String(kGood));
    QVERIFY(!apply->isEnabled()); // no device has its code yet
    scan(1);
    QCOMPARE(codesInfo(), GetText("IDCS_SETUP_CODES_COUNT_D").arg(1).arg(5));
    QCOMPARE(codeCell(tree, 0), GetText("IDCS_SETUP_CODE_GIVEN"));
    QCOMPARE(codeCell(tree, 1), GetText("IDCS_SETUP_CODE_MISSING"));
    QVERIFY(apply->isEnabled());
    scan(2, "7QX4-M2RT-VWQR"); // a code that fails its check
    QCOMPARE(codesInfo(), GetText("IDCS_SETUP_CODES_NOT_CODE_D").arg(2));
    QCOMPARE(codeCell(tree, 0), GetText("IDCS_SETUP_CODE_MISSING"));
    QVERIFY(!apply->isEnabled());
    QVERIFY(dialog()->grab().save(shotDir() + QStringLiteral("/activate-codes-fault.png")));
    BoxDriver boxes;
    QVERIFY(!dialog()->apply());
    QTRY_COMPARE(boxes.count(), 1);
    QCOMPARE(boxes.seen().text, GetText("IDCS_SETUP_CODES_NOT_CODE_D").arg(2));
    codesBox()->clear();
    scan(1);
    scan(2);
    scan(1); // the same label scanned twice
    QCOMPARE(codesInfo(), GetText("IDCS_SETUP_CODES_REPEATED_D").arg(3).arg(1));
    QVERIFY(!apply->isEnabled());
    codesBox()->clear();
    scanAll();
    QCOMPARE(codesInfo(), GetText("IDCS_SETUP_CODES_COUNT_D").arg(5).arg(5));
    QVERIFY(apply->isEnabled());
    QVERIFY(dialog()->grab().save(shotDir() + QStringLiteral("/activate-codes.png")));
    QVERIFY(m_engine->sent().empty());
}

void TestActivationDialog::devicesWithoutACodeAreSkipped() {
    m_engine->codeWrongAt = mac(2).toStdString();
    open();
    for (int i : {1, 2, 4})
        scan(i);
    typePassword(QLatin1String(kGood), QLatin1String(kGood));
    QSignalSpy finished(dialog(), SIGNAL(batchFinished()));
    BoxDriver boxes;
    QTest::mouseClick(child<ZVKPushButton>(dialog(), "applyButton"), Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    QTRY_COMPARE(boxes.count(), 1);
    QTreeWidget* tree = child<QTreeWidget>(dialog(), "planTree");
    for (int row : {4, 5}) {
        QCOMPARE(status(tree, row), GetText("IDCS_BATCH_SKIPPED_NO_CODE"));
        QCOMPARE(codeCell(tree, row), GetText("IDCS_SETUP_CODE_MISSING"));
    }
    QCOMPARE(status(tree, 1),
             GetText("IDCS_BATCH_REFUSED_D").arg(GetText("IDCS_BATCH_REASON_SETUP_CODE")));
    QVERIFY(dialog()->grab().save(shotDir() + QStringLiteral("/activate-codes-outcome.png")));
    QCOMPARE(m_engine->sent().size(), size_t(3));
    QCOMPARE(m_engine->codes().count(mac(5).toStdString()), size_t(0));
    QCOMPARE(m_engine->codes().at(mac(4).toStdString()), std::string(kCodes[4]));
    QVERIFY(dialog()->outcomeCsv().contains("skipped (no setup code)"));
    QVERIFY(dialog()->outcomeCsv().contains("refused (setup code wrong)"));
    QVERIFY(!dialog()->outcomeCsv().contains(kCodes[1]));
}

// The secret file holds passwords for the devices with a code only, and a
// change of those devices asks for a new file.
void TestActivationDialog::generatedPasswordsOnlyForDevicesWithACode() {
    open();
    scan(1);
    scan(2);
    clickBox(child<ZVKCheckBox>(dialog(), "generatedBox"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("site-passwords.csv"));
    QVERIFY(dialog()->saveSecretFile(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains(mac(1).toLatin1()) && text.contains(mac(2).toLatin1()));
    QVERIFY(!text.contains(mac(4).toLatin1()));
    QVERIFY(child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
    scan(4);
    QCOMPARE(child<ZVKLabel>(dialog(), "secretPath")->text(),
             GetText("IDCS_ACTIVATE_BATCH_SECRET_STALE"));
    QVERIFY(!child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
    QVERIFY(dialog()->saveSecretFile(dir.filePath(QStringLiteral("again.csv"))));
    QVERIFY(child<ZVKPushButton>(dialog(), "applyButton")->isEnabled());
    QVERIFY(m_engine->sent().empty());
}

void TestActivationDialog::codesFileLoadsAndIsBounded() {
    open();
    QTemporaryDir dir;
    const QString labels = dir.filePath(QStringLiteral("labels.csv"));
    QFile file(labels);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("mac,setup_code\r\n");
    for (int i : {1, 2, 4})
        file.write((mac(i) + QLatin1Char(',') + QLatin1String(kCodes[i]) + "\r\n").toLatin1());
    file.close();
    QVERIFY(dialog()->loadCodesFile(labels));
    QCOMPARE(codesInfo(), GetText("IDCS_SETUP_CODES_COUNT_D").arg(3).arg(5));
    const QString loaded = codesBox()->toPlainText();
    const QString huge = dir.filePath(QStringLiteral("huge.csv"));
    QFile big(huge);
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.write(QByteArray(int(kMaxSetupCodesBytes) + 1, '\n')) > 0);
    big.close();
    QVERIFY(!dialog()->loadCodesFile(huge));
    QCOMPARE(codesInfo(), GetText("IDCS_SETUP_CODES_TOO_LARGE"));
    QCOMPARE(codesBox()->toPlainText(), loaded);
    QVERIFY(!dialog()->loadCodesFile(dir.filePath(QStringLiteral("missing.csv"))));
    QVERIFY(codesInfo().contains(QStringLiteral("missing.csv")));
}

QTEST_MAIN(TestActivationDialog)
#include "ActivationDialogTest.moc"
