#include "CameraRows.h"
#include "DeviceColumns.h"
#include "LanguageSrc.h"
#include "MainWindowTestSupport.h"

#include <QMap>
#include <QTest>

#include <memory>

using namespace windowtest;

namespace {

onvif::CameraRecord camera(const char* endpoint, const char* mac, const char* name = "cam") {
    onvif::CameraRecord c;
    c.endpoint = endpoint;
    c.mac = mac;
    c.name = name;
    c.hardware = "HW-1";
    c.ip = "192.168.1.50";
    c.port = 8080;
    c.xaddr = "http://192.168.1.50:8080/onvif/device_service";
    return c;
}

DevInfo* maker(const char* mac, const char* name = "zvk") {
    DevInfo* d = new DevInfo;
    d->mac = mac;
    d->devName = name;
    d->productSeries = QStringLiteral("ZVK_IPC");
    return d;
}

// The device list as the window keeps it: a new key is added, a known one
// changed, a gone one removed; a second new of a known key is ignored.
struct List {
    QMap<QString, DevInfo> rows;
    CameraRowMerge merge;

    void feed(DevInfo* device, int event) {
        for (const RowStep& step : merge.take(device, event)) {
            std::unique_ptr<DevInfo> d(step.device);
            if (step.event == SEARCH_EVENT_NEW && !rows.contains(d->mac))
                rows.insert(d->mac, *d);
            else if (step.event == SEARCH_EVENT_CHANGED && rows.contains(d->mac))
                rows[d->mac] = *d;
            else if (step.event == SEARCH_EVENT_GONE)
                rows.remove(d->mac);
        }
    }
    void cam(const onvif::CameraRecord& c, int event) { feed(NewCameraRecord(c), event); }
    // "key:name" of every row, in key order.
    QStringList shown() const {
        QStringList out;
        for (auto it = rows.begin(); it != rows.end(); ++it)
            out << it.key() + QLatin1Char(':') + it->devName;
        return out;
    }
};

const char kMacA[] = "02:4F:4E:00:00:01";
const char kEpA[] = "urn:uuid:0000000a-0000-4000-8000-000000000001";

} // namespace

class TestCameraRows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { openLanguage(); }
    void recordColumns_data();
    void recordColumns();
    void informationOverridesScopes();
    void makerRecordLeads_data();
    void makerRecordLeads();
    void readdressOutcomes_data();
    void readdressOutcomes();
    void outOfReachWhere();
    void pageUrl_data();
    void pageUrl();
};

void TestCameraRows::recordColumns_data() {
    QTest::addColumn<QString>("mac");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    const QString typeText = GetText("IDCS_ONVIF_CAMERA");
    QTest::newRow("name from scope") << kMacA << int(COL_NAME) << "cam";
    QTest::newRow("type") << kMacA << int(COL_TYPE) << typeText;
    QTest::newRow("model from hardware scope") << kMacA << 2 << "HW-1";
    QTest::newRow("ip") << kMacA << int(COL_IP) << "192.168.1.50";
    QTest::newRow("http port") << kMacA << 4 << "8080";
    QTest::newRow("no data port") << kMacA << int(COL_DATA_PORT) << "";
    QTest::newRow("no mask") << kMacA << 6 << "";
    QTest::newRow("no gateway") << kMacA << 7 << "";
    QTest::newRow("mac") << kMacA << int(COL_MAC) << kMacA;
    QTest::newRow("unknown mac shows empty") << "" << int(COL_MAC) << "";
    QTest::newRow("no activation state") << kMacA << int(COL_ACTIVATION) << QString();
}

void TestCameraRows::recordColumns() {
    QFETCH(QString, mac);
    QFETCH(int, column);
    QFETCH(QString, text);
    QVERIFY(!GetText("IDCS_ONVIF_CAMERA").isEmpty());
    const std::string m = mac.toStdString();
    std::unique_ptr<DevInfo> d(NewCameraRecord(camera(kEpA, m.c_str())));
    QVERIFY(d->isCamera());
    QCOMPARE(d->mac, mac.isEmpty() ? QString(kEpA) : mac);
    QCOMPARE(deviceColumnText(*d, column), text);
}

void TestCameraRows::informationOverridesScopes() {
    onvif::CameraRecord c = camera(kEpA, kMacA);
    c.info.model = "DS-2CD";
    c.info.firmware = "V5.7";
    std::unique_ptr<DevInfo> d(NewCameraRecord(c));
    QCOMPARE(d->productModel, QStringLiteral("DS-2CD"));
    QCOMPARE(d->softwareVer, QStringLiteral("V5.7"));
    QCOMPARE(d->devName, QStringLiteral("cam"));
}

// The window's records for the rule's steps (devicelist::DeviceMerge,
// tested on its own): each row shows the record last heard. Each step: 'c'
// camera A arrives, 'C' camera A changes (name "cam2"),
// 'x' camera A goes, 'm' the maker's device with A's MAC arrives, 'M' it
// goes.
void TestCameraRows::makerRecordLeads_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("shown");
    const QString camRow = QString(kMacA) + ":cam";
    const QString makerRow = QString(kMacA) + ":zvk";
    QTest::newRow("camera then maker") << "cm" << QStringList{makerRow};
    QTest::newRow("maker then camera") << "mc" << QStringList{makerRow};
    QTest::newRow("camera change under maker") << "mcC" << QStringList{makerRow};
    QTest::newRow("maker goes, camera returns") << "cmM" << QStringList{camRow};
    QTest::newRow("maker goes, changed camera returns")
        << "mcCM" << QStringList{QString(kMacA) + ":cam2"};
    QTest::newRow("camera gone under maker stays gone") << "mcxM" << QStringList{};
    QTest::newRow("camera goes, maker stays") << "cmx" << QStringList{makerRow};
    QTest::newRow("camera alone") << "cC" << QStringList{QString(kMacA) + ":cam2"};
}

void TestCameraRows::makerRecordLeads() {
    QFETCH(QString, steps);
    QFETCH(QStringList, shown);
    List list;
    for (QChar s : steps) {
        switch (s.toLatin1()) {
        case 'c':
            list.cam(camera(kEpA, kMacA), SEARCH_EVENT_NEW);
            break;
        case 'C':
            list.cam(camera(kEpA, kMacA, "cam2"), SEARCH_EVENT_CHANGED);
            break;
        case 'x':
            list.cam(camera(kEpA, kMacA), SEARCH_EVENT_GONE);
            break;
        case 'm':
            list.feed(maker(kMacA), SEARCH_EVENT_NEW);
            break;
        case 'M':
            list.feed(maker(kMacA), SEARCH_EVENT_GONE);
            break;
        }
    }
    QCOMPARE(list.shown(), shown);
}

void TestCameraRows::readdressOutcomes_data() {
    using onvif::Outcome;
    using onvif::ReaddressOutcome;
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("call");
    QTest::addColumn<bool>("clockOff");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("detail"); // what fills the text, or follows it
    // The same outcome as a batch row's status (StatusText).
    QTest::addColumn<QString>("batch");
    const QString sentence = QStringLiteral("the engine's sentence");
    const auto row = [](const char* name, ReaddressOutcome o, Outcome c, const char* key,
                        const QString& detail, const char* batch, bool clockOff = false) {
        QTest::newRow(name) << int(o) << int(c) << clockOff << QString(key) << detail
                            << QString(batch);
    };
    row("done", ReaddressOutcome::Done, Outcome::Done, "IDCS_ONVIF_READDRESS_DONE", "", "done");
    row("done, clock off", ReaddressOutcome::Done, Outcome::Done,
        "IDCS_ONVIF_READDRESS_DONE_CLOCK_OFF_D", "7200", "done", true);
    row("not confirmed", ReaddressOutcome::NotConfirmed, Outcome::Done, "IDCS_ONVIF_NOT_CONFIRMED",
        "", "not confirmed");
    row("bad request", ReaddressOutcome::BadRequest, Outcome::Done, "IDCS_ONVIF_BAD_ADDRESS", "",
        "refused (rule 0)");
    row("out of reach", ReaddressOutcome::OutOfReach, Outcome::Done, "IDCS_ONVIF_OUT_OF_REACH",
        sentence, "refused (out of reach)");
    row("wrong credentials", ReaddressOutcome::CallFailed, Outcome::WrongCredentials,
        "IDCS_ONVIF_WRONG_CREDENTIALS", "", "refused (wrong credentials)");
    row("locked", ReaddressOutcome::CallFailed, Outcome::Locked, "IDCS_ONVIF_LOCKED", "",
        "refused (locked)");
    row("no answer", ReaddressOutcome::CallFailed, Outcome::NoAnswer, "IDCS_ONVIF_NO_ANSWER", "",
        "refused (no answer)");
    row("call out of reach", ReaddressOutcome::CallFailed, Outcome::OutOfReach,
        "IDCS_ONVIF_OUT_OF_REACH", sentence, "refused (out of reach)");
    row("fault", ReaddressOutcome::CallFailed, Outcome::Fault, "IDCS_ONVIF_FAULT_D", sentence,
        "refused (fault)");
    row("bad reply", ReaddressOutcome::CallFailed, Outcome::BadReply, "IDCS_ONVIF_FAULT_D",
        sentence, "refused (fault)");
    row("too large", ReaddressOutcome::CallFailed, Outcome::TooLarge, "IDCS_ONVIF_FAULT_D",
        sentence, "refused (fault)");
    row("certificate changed", ReaddressOutcome::CallFailed, Outcome::CertificateChanged,
        "IDCS_ONVIF_CERTIFICATE_CHANGED", "", "refused (certificate changed)");
    row("clock off", ReaddressOutcome::CallFailed, Outcome::ClockOff, "IDCS_ONVIF_CLOCK_OFF_D",
        "7200", "refused (camera clock off)", true);
    row("conflict", ReaddressOutcome::CallFailed, Outcome::Conflict, "IDCS_ONVIF_CONFLICT_D",
        "10.77.0.58, 10.77.0.99", "refused (identity)");
}

void TestCameraRows::readdressOutcomes() {
    QFETCH(int, outcome);
    QFETCH(int, call);
    QFETCH(bool, clockOff);
    QFETCH(QString, key);
    QFETCH(QString, detail);
    onvif::ReaddressResult result;
    result.outcome = onvif::ReaddressOutcome(outcome);
    result.call = onvif::Outcome(call);
    result.detail = "the engine's sentence";
    result.clockOff = clockOff;
    result.clockOffset = 7200;
    result.claimants = {"10.77.0.58", "10.77.0.99"};
    QString said = QStringLiteral("stale");
    const ActionMessage message = CameraReaddressMessage(result, &said);
    QCOMPARE(QString(message.key), key);
    QCOMPARE(said, detail);
    QCOMPARE(GetText(message.key).contains(QLatin1String("%1")), key.endsWith("_D"));
    const bool success = result.outcome == onvif::ReaddressOutcome::Done;
    QCOMPARE(message.kind == BoxKind::Information, success);
    QFETCH(QString, batch);
    QCOMPARE(QString::fromStdString(commission::StatusText(commission::CameraBatchStatus(result))),
             batch);
}

void TestCameraRows::outOfReachWhere() {
    onvif::CameraRecord c = camera(kEpA, kMacA);
    c.ip = "10.99.0.5";
    c.interfaceName = "eth1";
    c.localAddress = "192.168.1.10";
    const QString text = GetText("IDCS_ONVIF_OUT_OF_REACH_WHERE_D");
    QCOMPARE(CameraOutOfReachWhere(c), text.arg("10.99.0.5", "eth1 (192.168.1.10)"));
    // Nothing known is said as such, never as an empty gap.
    c.ip.clear();
    c.interfaceName.clear();
    c.localAddress.clear();
    QCOMPARE(CameraOutOfReachWhere(c), text.arg("?", "?"));
}

void TestCameraRows::pageUrl_data() {
    QTest::addColumn<QString>("xaddr");
    QTest::addColumn<QString>("url");
    QTest::newRow("usual port") << "http://10.0.0.5/onvif/device_service"
                                << "http://10.0.0.5/";
    QTest::newRow("own port") << "http://10.0.0.5:8080/onvif/device_service"
                              << "http://10.0.0.5:8080/";
    QTest::newRow("https") << "https://169.254.3.4/onvif/device_service"
                           << "https://169.254.3.4/";
    QTest::newRow("https on 80 keeps the port") << "https://10.0.0.5:80/x"
                                                << "https://10.0.0.5:80/";
    QTest::newRow("none") << ""
                          << "";
    QTest::newRow("a name is refused") << "http://evil.example/onvif"
                                       << "";
    QTest::newRow("userinfo is refused") << "http://a:b@10.0.0.5/onvif"
                                         << "";
}

void TestCameraRows::pageUrl() {
    QFETCH(QString, xaddr);
    QFETCH(QString, url);
    DevInfo d;
    d.endpoint = kEpA;
    d.xaddr = xaddr;
    QCOMPARE(CameraPageUrl(d), url);
}

QTEST_GUILESS_MAIN(TestCameraRows)
#include "CameraRowsTest.moc"
