#include "DevInfo.h"
#include "DeviceColumns.h"
#include "MainWindowTestSupport.h"

#include <QApplication>
#include <QTest>

using namespace windowtest;

class TestDeviceColumns : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { openLanguage(); }
    void typeColumnFitsEveryTypeName_data();
    void typeColumnFitsEveryTypeName();
    void runTime_data();
    void runTime();
    void typeText_data();
    void typeText();
    void cellTexts();
    void activation_data();
    void activation();
    void columnTable();
};

void TestDeviceColumns::runTime_data() {
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("a day and a bit") << "90061"
                                     << "1d 1h 1min 1s";
    QTest::newRow("one hour") << "3600"
                              << "1h 0min 0s";
    QTest::newRow("minutes") << "61"
                             << "1min 1s";
    QTest::newRow("seconds only") << "59"
                                  << "59s";
    QTest::newRow("zero") << "0"
                          << "";
    QTest::newRow("no number") << "up"
                               << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("negative") << "-5"
                              << "";
    QTest::newRow("whole days") << "172800"
                                << "2d 0h 0min 0s";
    QTest::newRow("past 32 bits") << "4294967296"
                                  << "49710d 6h 28min 16s";
}

void TestDeviceColumns::runTime() {
    QFETCH(QString, seconds);
    QFETCH(QString, text);
    QCOMPARE(runTimeText(seconds), text);
}

void TestDeviceColumns::typeText_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("camera") << "ZVK_IPC"
                            << "IP Camera";
    QTest::newRow("dvr") << "ZVK_DVR"
                         << "DVR";
    QTest::newRow("nvr") << "ZVK_NVR"
                         << "NVR";
    QTest::newRow("mobile") << "ZVK_MDVR"
                            << "Mobile DVR";
    QTest::newRow("storage") << "ZVK_STORAGE"
                             << "Storage Server";
    QTest::newRow("decoder") << "ZVK_DECODER"
                             << "Decoder";
    QTest::newRow("keyboard") << "ZVK_NETKEYBOARD"
                              << "Network Keyboard";
    QTest::newRow("lower case") << "zvk_ipc"
                                << "";
    QTest::newRow("unknown") << "ZVK_TOASTER"
                             << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestDeviceColumns::typeText() {
    QFETCH(QString, code);
    QFETCH(QString, text);
    QCOMPARE(deviceTypeText(code), text);
}

void TestDeviceColumns::cellTexts() {
    SEARCH_INFO info = record(SEARCH_EVENT_NEW, "AA:BB:CC:DD:EE:01", "192.168.1.20");
    put(info.mask, "255.255.255.0");
    put(info.route, "192.168.1.1");
    put(info.productModel, "IPC-3200");
    put(info.softwareVer, "V5.2");
    put(info.softwareBulildDate, "2020-09-15");
    put(info.hardwareVer, "H1");
    put(info.kernelVer, "4.9");
    put(info.bootTime, "08:00");
    put(info.runningTime, "59");
    DevInfo* device = NewDevInfo(info);
    QStringList cells;
    for (int c = 0; c < kDeviceColumnCount; ++c)
        cells.append(deviceColumnText(*device, c));
    delete device;
    const QStringList expected = {
        "cam",           "IP Camera",   "IPC-3200", "192.168.1.20", "80", "9008",
        "255.255.255.0", "192.168.1.1", "V5.2",     "2020-09-15",   "H1", "AA:BB:CC:DD:EE:01",
        "4.9",           "08:00",       "59s",      "Activated"};
    QCOMPARE(cells, expected);
}

void TestDeviceColumns::activation_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("keepsCell");
    QTest::newRow("activated") << 0 << "Activated" << false;
    QTest::newRow("not activated") << 1 << "Not Activated" << false;
    QTest::newRow("other") << 2 << "" << true;
    QTest::newRow("negative") << -1 << "" << true;
}

void TestDeviceColumns::activation() {
    QFETCH(int, state);
    QFETCH(QString, text);
    QFETCH(bool, keepsCell);
    DevInfo device;
    device.deviceActivated = state;
    const QString cell = deviceColumnText(device, COL_ACTIVATION);
    QCOMPARE(cell, text);
    QCOMPARE(cell.isNull(), keepsCell);
}

void TestDeviceColumns::columnTable() {
    int hidden = 0;
    for (const DeviceColumn& column : kDeviceColumns) {
        QVERIFY2(!GetText(column.key).isEmpty(), column.key);
        hidden += column.hidden;
    }
    QCOMPARE(hidden, 3);
    QVERIFY(kDeviceColumns[12].hidden && kDeviceColumns[13].hidden && kDeviceColumns[14].hidden);
}

void TestDeviceColumns::typeColumnFitsEveryTypeName_data() {
    QTest::addColumn<QString>("locale");
    QTest::newRow("English") << "en_US";
    QTest::newRow("Chinese") << "zh_CN";
    QTest::newRow("Russian") << "ru_RU";
}

// Never narrower than its given 120 px, and wide enough for the longest
// type name of the language.
void TestDeviceColumns::typeColumnFitsEveryTypeName() {
    QFETCH(QString, locale);
    InitLanguage(QCoreApplication::applicationDirPath().toUtf8(),
                 LanguageIdFromLocaleName(locale));
    const QFontMetrics metrics(QApplication::font());
    const int width = deviceTypeColumnWidth(metrics, 16);
    QVERIFY(width >= 120);
    for (const char* code : {"ZVK_IPC", "ZVK_DVR", "ZVK_NVR", "ZVK_MDVR", "ZVK_STORAGE",
                             "ZVK_DECODER", "ZVK_NETKEYBOARD"}) {
        const QString text = deviceTypeText(QLatin1String(code));
        QVERIFY(!text.isEmpty());
        QVERIFY2(metrics.horizontalAdvance(text) + 16 <= width, qPrintable(text));
    }
    openLanguage();
}

QTEST_MAIN(TestDeviceColumns)
#include "DeviceColumnsTest.moc"
