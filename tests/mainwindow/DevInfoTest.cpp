#include "DevInfo.h"
#include "MainWindowTestSupport.h"

#include <QTest>

#include <memory>

using namespace windowtest;

class TestDevInfo : public QObject {
    Q_OBJECT
private slots:
    void betaRule_data();
    void betaRule();
    void copiesEveryField();
    void textsDecodeAsUtf8();
    void unterminatedFieldStaysInside();
    void changeKeepsEventKind();
};

void TestDevInfo::betaRule_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("shown");
    QTest::newRow("release number") << "V2.1beta130"
                                    << "V2.11";
    QTest::newRow("at the bound") << "1.2.3beta128"
                                  << "1.2.31";
    QTest::newRow("below the bound") << "1.2.3beta127"
                                     << "1.2.3beta127";
    QTest::newRow("small number") << "V2.1beta12"
                                  << "V2.1beta12";
    QTest::newRow("text after the number") << "V2.1beta130(x)"
                                           << "V2.1beta130(x)";
    QTest::newRow("nothing after beta") << "V2.1beta"
                                        << "V2.1beta";
    QTest::newRow("upper case is no beta") << "V2.1BETA200"
                                           << "V2.1BETA200";
    QTest::newRow("first occurrence counts") << "betabeta200"
                                             << "betabeta200";
    QTest::newRow("beyond 32 bits") << "V1beta99999999999"
                                    << "V1beta99999999999";
    QTest::newRow("no beta") << "V5.0.0 build 2020"
                             << "V5.0.0 build 2020";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("beta at the start") << "beta500"
                                       << "1";
}

void TestDevInfo::betaRule() {
    QFETCH(QString, version);
    QFETCH(QString, shown);
    QCOMPARE(BetaRuleVersion(version), shown);
}

void TestDevInfo::copiesEveryField() {
    SEARCH_INFO info = record(SEARCH_EVENT_CHANGED, "AA:BB:CC:DD:EE:01", "192.168.1.20");
    put(info.mask, "255.255.255.0");
    put(info.ipAddr2, "169.254.1.2");
    put(info.route, "192.168.1.1");
    put(info.dns1, "8.8.8.8");
    put(info.dns2, "8.8.4.4");
    put(info.softwareVer, "V3.0beta200");
    put(info.softwareBulildDate, "2020-09-15");
    put(info.hardwareVer, "H1");
    put(info.kernelVer, "K2");
    put(info.productModel, "IPC-1");
    put(info.runningTime, "3600");
    put(info.bootTime, "2020-09-15 08:00");
    info.dhcpSwitch = 1;
    info.deviceActivated = 1;
    const std::unique_ptr<DevInfo> d(NewDevInfo(info));
    const QStringList texts = {d->devName,
                               d->ipAddr,
                               d->mask,
                               d->ipAddr2,
                               d->route,
                               d->dns1,
                               d->dns2,
                               d->mac,
                               d->productSeries,
                               d->softwareVer,
                               d->softwareBulildDate,
                               d->hardwareVer,
                               d->kernelVer,
                               d->productModel,
                               d->runningTime,
                               d->bootTime};
    const QStringList expected = {
        "cam",         "192.168.1.20", "255.255.255.0", "169.254.1.2",
        "192.168.1.1", "8.8.8.8",      "8.8.4.4",       "AA:BB:CC:DD:EE:01",
        "ZVK_IPC",     "V3.01",        "2020-09-15",    "H1",
        "K2",          "IPC-1",        "3600",          "2020-09-15 08:00"};
    QCOMPARE(texts, expected);
    QCOMPARE(d->dataPort, 9008);
    QCOMPARE(d->httpPort, 80);
    QCOMPARE(d->event, int(SEARCH_EVENT_CHANGED));
    QCOMPARE(d->dhcpSwitch, true);
    QCOMPARE(d->deviceActivated, 1);
}

void TestDevInfo::textsDecodeAsUtf8() {
    SEARCH_INFO info = record(SEARCH_EVENT_NEW, "AA:BB:CC:DD:EE:02", "10.0.0.2");
    put(info.devName, "\xe5\x89\x8d\xe9\x97\xa8 Kamera \xd0\x9a"); // 前门 Kamera К
    const std::unique_ptr<DevInfo> d(NewDevInfo(info));
    QCOMPARE(d->devName, QString::fromUtf8("前门 Kamera К"));
}

void TestDevInfo::unterminatedFieldStaysInside() {
    SEARCH_INFO info = record(SEARCH_EVENT_NEW, "AA:BB:CC:DD:EE:03", "10.0.0.3");
    std::memset(info.devName, 'x', sizeof info.devName); // no zero inside the field
    std::memset(info.ipAddr, 'y', sizeof info.ipAddr);
    const std::unique_ptr<DevInfo> d(NewDevInfo(info));
    QCOMPARE(d->devName, QString(int(sizeof info.devName), QLatin1Char('x')));
    QCOMPARE(d->ipAddr, QString(int(sizeof info.ipAddr), QLatin1Char('y')));
}

void TestDevInfo::changeKeepsEventKind() {
    DevInfo stored;
    stored.event = SEARCH_EVENT_NEW;
    stored.ipAddr = QStringLiteral("10.0.0.1");
    DevInfo changed;
    changed.event = SEARCH_EVENT_CHANGED;
    changed.ipAddr = QStringLiteral("10.0.0.9");
    changed.dataPort = 7000;
    CopyDeviceFields(changed, &stored);
    QCOMPARE(stored.ipAddr, QStringLiteral("10.0.0.9"));
    QCOMPARE(stored.dataPort, 7000);
    QCOMPARE(stored.event, int(SEARCH_EVENT_NEW));
}

QTEST_GUILESS_MAIN(TestDevInfo)
#include "DevInfoTest.moc"
