// The filter state and the test a device meets under it.
#include "DevInfo.h"
#include "DeviceColumns.h"
#include "DeviceFilter.h"
#include "MainWindowTestSupport.h"

#include <QTest>

using namespace windowtest;

Q_DECLARE_METATYPE(DeviceFilter)

class TestDeviceFilter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { openLanguage(); }
    void values_data();
    void values();
    void passes_data();
    void passes();
    void find_data();
    void find();
};

void TestDeviceFilter::values_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("ip");
    QTest::addColumn<uint>("port");
    QTest::newRow("address") << "192.168.1.10" << 0xC0A8010Au << 0u;
    QTest::newRow("top address") << "255.255.255.255" << 0xFFFFFFFFu << 0u;
    QTest::newRow("blank") << "" << 0u << 0u;
    QTest::newRow("empty address edit") << "..." << 0u << 0u;
    QTest::newRow("part typed") << "192.168.." << 0u << 0u;
    QTest::newRow("octet too big") << "1.2.3.256" << 0u << 0u;
    QTest::newRow("port") << "8000" << 8000u << 8000u;
    QTest::newRow("not a number") << "x80" << 0u << 0u;
}

void TestDeviceFilter::values() {
    QFETCH(QString, text);
    QTEST(uint(ipv4Value(text)), "ip");
    QTEST(uint(portValue(text)), "port");
}

void TestDeviceFilter::passes_data() {
    QTest::addColumn<DeviceFilter>("filter");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("passes");
    const DeviceFilter range = DeviceFilter::ofIpRange("192.168.1.10", "192.168.1.20");
    const DeviceFilter top = DeviceFilter::ofIpRange("192.168.1.10", "255.255.255.255");
    const DeviceFilter ports = DeviceFilter::ofPortRange("80", "90");
    const DeviceFilter nvr = DeviceFilter::ofType(deviceTypeText("ZVK_NVR"));
    QTest::newRow("none") << DeviceFilter::none() << "x" << -1 << "FOO" << true;
    QTest::newRow("ip first bound") << range << "192.168.1.10" << 0 << "" << true;
    QTest::newRow("ip last bound") << range << "192.168.1.20" << 0 << "" << true;
    QTest::newRow("ip past last") << range << "192.168.1.21" << 0 << "" << false;
    QTest::newRow("ip before first") << range << "192.168.1.9" << 0 << "" << false;
    QTest::newRow("ip no address counts 0") << range << "cam" << 0 << "" << false;
    QTest::newRow("ip range to the top") << top << "255.255.255.255" << 0 << "" << true;
    QTest::newRow("ip range to the top, below") << top << "10.0.0.1" << 0 << "" << false;
    QTest::newRow("ip range first above last")
        << DeviceFilter::ofIpRange("192.168.1.20", "192.168.1.10") << "192.168.1.15" << 0 << ""
        << false;
    QTest::newRow("ip from blank to blank: 0.0.0.0 only")
        << DeviceFilter::ofIpRange("...", "") << "nothing" << 0 << "" << true;
    QTest::newRow("port bounds") << ports << "0.0.0.0" << 80 << "" << true;
    QTest::newRow("port last bound") << ports << "0.0.0.0" << 90 << "" << true;
    QTest::newRow("port out, address in any range") << ports << "192.168.1.15" << 91 << "" << false;
    QTest::newRow("port negative from the wire")
        << DeviceFilter::ofPortRange("0", "65535") << "" << -1 << "" << false;
    QTest::newRow("type") << nvr << "" << 0 << "ZVK_NVR" << true;
    QTest::newRow("other type") << nvr << "" << 0 << "ZVK_IPC" << false;
    QTest::newRow("unknown code under empty type text")
        << DeviceFilter::ofType(QString()) << "" << 0 << "FOO" << true;
}

void TestDeviceFilter::passes() {
    QFETCH(DeviceFilter, filter);
    QFETCH(QString, ip);
    QFETCH(int, port);
    QFETCH(QString, type);
    DevInfo device;
    device.ipAddr = ip;
    device.dataPort = port;
    device.productSeries = type;
    QTEST(filter.passes(device), "passes");
}

void TestDeviceFilter::find_data() {
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<DeviceFilter>("header");
    QTest::addColumn<bool>("passes");
    const DeviceFilter none = DeviceFilter::none();
    QTest::newRow("empty finds all") << "" << none << true;
    QTest::newRow("blank finds all") << "  " << none << true;
    QTest::newRow("name, other case") << "LOBBY" << none << true;
    QTest::newRow("ip fragment") << "10.77.0.1" << none << true;
    QTest::newRow("mac with colons") << "4c:56:00" << none << true;
    QTest::newRow("mac without separators") << "024C5600" << none << true;
    QTest::newRow("mac with dashes") << "02-4c-56" << none << true;
    QTest::newRow("model") << "ipc-b2" << none << true;
    QTest::newRow("type text") << deviceTypeText("ZVK_IPC").left(4) << none << true;
    QTest::newRow("trimmed") << " lobby " << none << true;
    QTest::newRow("nothing matches") << "recorder" << none << false;
    QTest::newRow("ip digits do not hit the mac") << "2.4" << none << false;
    QTest::newRow("with a header filter it also passes")
        << "lobby" << DeviceFilter::ofPortRange("9000", "9010") << true;
    QTest::newRow("found but outside the header filter")
        << "lobby" << DeviceFilter::ofPortRange("80", "90") << false;
}

void TestDeviceFilter::find() {
    QFETCH(QString, fragment);
    QFETCH(DeviceFilter, header);
    DevInfo device;
    device.devName = "Lobby camera";
    device.ipAddr = "10.77.0.15";
    device.mac = "02:4C:56:00:10:01";
    device.productModel = "IPC-B2";
    device.productSeries = "ZVK_IPC";
    device.dataPort = 9008;
    DeviceFilter filter = header;
    filter.find = fragment;
    QTEST(filter.passes(device), "passes");
    QCOMPARE(filter.narrows(), header.kind != DeviceFilter::None || !fragment.trimmed().isEmpty());
}

QTEST_MAIN(TestDeviceFilter)
#include "DeviceFilterTest.moc"
