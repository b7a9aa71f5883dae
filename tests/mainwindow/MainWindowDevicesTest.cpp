// The device list of the real window, fed device events straight into its
// merge slot (the window runs in a private network with no device, so that
// only these events reach it): merges under each filter kind, the type
// menu's upkeep, selection and the hand-over from the search thread.
#include "DevInfo.h"
#include "DeviceColumns.h"
#include "DeviceControlBar.h"
#include "DeviceFilterMenus.h"
#include "MainWindow.h"
#include "MainWindowTestSupport.h"
#include "StatusBar.h"
#include "VistaTreeWidget.h"
#include "ZVKCheckBox.h"
#include "ZVKLabel.h"
#include "ZVKPushButton.h"
#include "IpAddrEdit.h"
#include "LorvexSearch.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMap>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <thread>

using namespace windowtest;

namespace {

// A device of the tables: short name A, B, ...; the MAC follows the name.
struct Device {
    QString ip = QStringLiteral("192.168.1.1");
    QString type = QStringLiteral("ZVK_IPC");
    int dataPort = 9008;
    int httpPort = 80;
    int activated = 0;
};

QString macOf(const QString& name) {
    return QStringLiteral("AA:BB:CC:00:00:%1")
        .arg(int(name.at(0).unicode()), 2, 16, QLatin1Char('0'))
        .toUpper();
}

// Type texts as the tables write them: a code, or "?" for the empty text of
// an unknown code.
QString typeTextOf(const QString& code) {
    return code == QLatin1String("?") ? QString() : deviceTypeText(code);
}

} // namespace

class TestMainWindowDevices : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void merge_data();
    void merge();
    void sortedMerge_data();
    void sortedMerge();
    void identityMarkFromTheRecord_data();
    void identityMarkFromTheRecord();
    void addDeviceItemAndNull();
    void activationCellKeptForOtherStates();
    void selectionFillsControlBar();
    void rangeMenuAppliesFilter();
    void menusShowTheFilterInForce();
    void handOverKeepsOrderAndYields();
    void refreshDropsEventsOfTheEmptiedList();

private:
    void run(const QString& steps);
    void step(const QStringList& words);
    void event(int opt, const QString& name, const QStringList& settings);
    QString rows() const;
    QString records() const;
    QString typeEntries() const;
    VistaTreeWidget* tree() const { return m_window->findChild<VistaTreeWidget*>("deviceTree"); }
    QMenu* typeMenu() const { return m_window->findChild<QMenu*>("deviceTypeFilterMenu"); }

    std::unique_ptr<MainWindow> m_window;
    QMap<QString, Device> m_devices;
};

void TestMainWindowDevices::initTestCase() {
    REQUIRE_PRIVATE_NETWORK();
    applyLook();
}

// The merge cases read the rows in the order they went in: no sort.
void TestMainWindowDevices::init() {
    m_window.reset(new MainWindow);
    tree()->setSortingEnabled(false);
    m_devices.clear();
}

void TestMainWindowDevices::cleanup() { m_window.reset(); }

// Steps, separated by ";":
//   new A [ip=..] [type=CODE] [port=N] [http=N] [act=N]   event 0
//   chg A [settings]                                       event 2 with A's fields
//   gone A                                                 event 1
//   evt N A                                                event N
//   ip FIRST LAST / port FIRST LAST / type CODE / all / clear   the filter slots
//   refresh                                                the refresh button
void TestMainWindowDevices::run(const QString& steps) {
    for (const QString& s : steps.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        step(s.split(QLatin1Char(' '), Qt::SkipEmptyParts));
}

void TestMainWindowDevices::step(const QStringList& w) {
    const QString verb = w.value(0);
    if (verb == "new" || verb == "chg" || verb == "gone")
        event(verb == "new" ? 0 : verb == "chg" ? 2 : 1, w.value(1), w.mid(2));
    else if (verb == "evt")
        event(w.value(1).toInt(), w.value(2), {});
    else if (verb == "ip")
        m_window->slot_ipaddressMenuTriggered(w.value(1), w.value(2));
    else if (verb == "port")
        m_window->slot_portMenuTriggered(w.value(1), w.value(2));
    else if (verb == "clear")
        m_window->slot_filterCleared();
    else if (verb == "refresh")
        m_window->slot_refresh();
    else if (verb == "type" || verb == "all") {
        const QString text = verb == "all" ? GetText("IDCS_ALL_DEVICE") : typeTextOf(w.value(1));
        for (QAction* action : typeMenu()->actions())
            if (action->text() == text)
                return action->trigger();
        QFAIL(qPrintable("no type entry " + w.join(' ')));
    } else
        QFAIL(qPrintable("bad step " + w.join(' ')));
}

void TestMainWindowDevices::event(int opt, const QString& name, const QStringList& settings) {
    Device& d = m_devices[name];
    for (const QString& s : settings) {
        const QString key = s.section('=', 0, 0), value = s.section('=', 1);
        if (key == "ip")
            d.ip = value;
        else if (key == "type")
            d.type = value;
        else if (key == "port")
            d.dataPort = value.toInt();
        else if (key == "http")
            d.httpPort = value.toInt();
        else if (key == "act")
            d.activated = value.toInt();
    }
    SEARCH_INFO info = record(opt, macOf(name).toLatin1(), d.ip.toLatin1());
    put(info.devName, name.toLatin1());
    put(info.productSeries, d.type.toLatin1());
    info.dataPort = d.dataPort;
    info.httpPort = d.httpPort;
    info.deviceActivated = d.activated;
    m_window->slot_recvOnlineDeviceInfo(NewDevInfo(info), opt);
}

// The tree top to bottom as "name@ip", blank-separated.
QString TestMainWindowDevices::rows() const {
    QStringList out;
    for (int i = 0; i < tree()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = tree()->topLevelItem(i);
        out.append(item->text(COL_NAME) + "@" + item->text(COL_IP));
    }
    return out.join(' ');
}

// The device list in order as "name@ip".
QString TestMainWindowDevices::records() const {
    QStringList out;
    for (const DevInfo* d : m_window->deviceList())
        out.append(d->devName + "@" + d->ipAddr);
    return out.join(' ');
}

// The type menu's entries after the all-devices entry, as codes.
QString TestMainWindowDevices::typeEntries() const {
    static const char* const kCodes[] = {"ZVK_IPC",     "ZVK_DVR",     "ZVK_NVR",        "ZVK_MDVR",
                                         "ZVK_STORAGE", "ZVK_DECODER", "ZVK_NETKEYBOARD"};
    QStringList out;
    const QList<QAction*> entries = typeMenu()->actions();
    for (int i = 1; i < entries.size(); ++i) {
        QString code = QStringLiteral("?");
        for (const char* c : kCodes)
            if (deviceTypeText(c) == entries[i]->text())
                code = c;
        out.append(code);
    }
    return out.join(' ');
}

void TestMainWindowDevices::merge_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("rows");    // tree, top first
    QTest::addColumn<QString>("records"); // device list, arrival order
    QTest::addColumn<QString>("types");   // type menu after the all entry

    const QString a10 = "new A ip=192.168.1.10", r = "ip 192.168.1.10 192.168.1.20";
    // No filter.
    QTest::newRow("new rows go on top") << "new A; new B ip=192.168.1.2"
                                        << "B@192.168.1.2 A@192.168.1.1"
                                        << "A@192.168.1.1 B@192.168.1.2"
                                        << "ZVK_IPC";
    QTest::newRow("a MAC reported new twice: one row, first record kept")
        << "new A ip=10.0.0.1; new A ip=10.0.0.2"
        << "A@10.0.0.1"
        << "A@10.0.0.1"
        << "ZVK_IPC";
    QTest::newRow("changed shown device: row and record") << "new A; chg A ip=10.0.0.9"
                                                          << "A@10.0.0.9"
                                                          << "A@10.0.0.9"
                                                          << "ZVK_IPC";
    QTest::newRow("changed never seen: nothing") << "chg Z"
                                                 << ""
                                                 << ""
                                                 << "";
    QTest::newRow("gone shown device") << "new A; new B; gone A"
                                       << "B@192.168.1.1"
                                       << "B@192.168.1.1"
                                       << "ZVK_IPC";
    QTest::newRow("gone never seen") << "new A; gone B"
                                     << "A@192.168.1.1"
                                     << "A@192.168.1.1"
                                     << "ZVK_IPC";
    QTest::newRow("unknown event kind: nothing") << "new A; evt 7 B; evt 7 A"
                                                 << "A@192.168.1.1"
                                                 << "A@192.168.1.1"
                                                 << "ZVK_IPC";
    // IP range: bounds inclusive, the record kept either way.
    QTest::newRow("ip range bounds inclusive")
        << r + "; new A ip=192.168.1.9; new B ip=192.168.1.10; new C ip=192.168.1.20;"
               " new D ip=192.168.1.21"
        << "C@192.168.1.20 B@192.168.1.10"
        << "A@192.168.1.9 B@192.168.1.10 C@192.168.1.20 D@192.168.1.21"
        << "ZVK_IPC";
    QTest::newRow("ip range applied to the list: reverse order")
        << "new A ip=192.168.1.10; new B ip=192.168.1.15; new C ip=192.168.1.30; " + r
        << "B@192.168.1.15 A@192.168.1.10"
        << "A@192.168.1.10 B@192.168.1.15 C@192.168.1.30"
        << "ZVK_IPC";
    QTest::newRow("range first above last: nothing shown")
        << "new A ip=192.168.1.15; ip 192.168.1.20 192.168.1.10; new B ip=192.168.1.15"
        << ""
        << "A@192.168.1.15 B@192.168.1.15"
        << "ZVK_IPC";
    QTest::newRow("range ending at 255.255.255.255 still filters arrivals")
        << "ip 192.168.1.10 255.255.255.255; new A ip=10.0.0.1; new B ip=192.168.1.11"
        << "B@192.168.1.11"
        << "A@10.0.0.1 B@192.168.1.11"
        << "ZVK_IPC";
    QTest::newRow("blank and invalid bounds and addresses count 0")
        << "ip ... 0.0.0.0; new A ip=none; new B ip=0.0.0.1"
        << "A@none"
        << "A@none B@0.0.0.1"
        << "ZVK_IPC";
    // Changes under a range: the record always takes the answer, the row
    // follows the filter.
    QTest::newRow("changed while filtered out: record updated, shown after clear")
        << r + "; new A ip=192.168.1.30; chg A ip=192.168.1.40; clear"
        << "A@192.168.1.40"
        << "A@192.168.1.40"
        << "ZVK_IPC";
    QTest::newRow("changed into the range: row appears")
        << r + "; new A ip=192.168.1.30; chg A ip=192.168.1.15"
        << "A@192.168.1.15"
        << "A@192.168.1.15"
        << "ZVK_IPC";
    QTest::newRow("changed out of the range: row leaves")
        << r + "; " + a10 + "; chg A ip=192.168.1.30"
        << ""
        << "A@192.168.1.30"
        << "ZVK_IPC";
    QTest::newRow("changed within the range: row updated")
        << r + "; " + a10 + "; chg A ip=192.168.1.11"
        << "A@192.168.1.11"
        << "A@192.168.1.11"
        << "ZVK_IPC";
    // Rows shown once and then kept out by a filter stay true to the record.
    QTest::newRow("shown, filtered out, changed, cleared: the new data")
        << "new A ip=192.168.1.30; " + r + "; chg A ip=192.168.1.40; clear"
        << "A@192.168.1.40"
        << "A@192.168.1.40"
        << "ZVK_IPC";
    QTest::newRow("shown, filtered out, changed into the range: back")
        << "new A ip=192.168.1.30; new B ip=192.168.1.12; " + r + "; chg A ip=192.168.1.15"
        << "A@192.168.1.15 B@192.168.1.12"
        << "A@192.168.1.15 B@192.168.1.12"
        << "ZVK_IPC";
    QTest::newRow("shown, filtered out, gone, cleared: not back")
        << "new A ip=192.168.1.30; " + r + "; gone A; clear"
        << ""
        << ""
        << "";
    // Gone under a range: leaves the list whether shown or not.
    QTest::newRow("gone while filtered out: not back after clear")
        << r + "; new A ip=192.168.1.30; new B ip=192.168.1.15; gone A; clear"
        << "B@192.168.1.15"
        << "B@192.168.1.15"
        << "ZVK_IPC";
    QTest::newRow("gone while shown under a range")
        << r + "; new A ip=192.168.1.30; new B ip=192.168.1.15; gone B; clear"
        << "A@192.168.1.30"
        << "A@192.168.1.30"
        << "ZVK_IPC";
    // Port range: the data port decides, not the address or the HTTP port.
    QTest::newRow("port range tests the data port")
        << "port 80 80; new A port=80 http=8000 ip=10.0.0.1; new B port=8000 http=80;"
           " new C port=81"
        << "A@10.0.0.1"
        << "A@10.0.0.1 B@192.168.1.1 C@192.168.1.1"
        << "ZVK_IPC";
    QTest::newRow("port range applied to the list, bounds inclusive")
        << "new A port=79; new B port=80; new C port=90; new D port=91; port 80 90"
        << "C@192.168.1.1 B@192.168.1.1"
        << "A@192.168.1.1 B@192.168.1.1 C@192.168.1.1 D@192.168.1.1"
        << "ZVK_IPC";
    QTest::newRow("port text that is no number counts 0") << "port x 0; new A port=0; new B port=1"
                                                          << "A@192.168.1.1"
                                                          << "A@192.168.1.1 B@192.168.1.1"
                                                          << "ZVK_IPC";
    QTest::newRow("changed out of the port range; address irrelevant")
        << "port 80 80; new A port=80; new B port=80; chg A port=81; chg B ip=10.9.9.9"
        << "B@10.9.9.9"
        << "A@192.168.1.1 B@10.9.9.9"
        << "ZVK_IPC";
    QTest::newRow("gone under a port range, shown or not")
        << "port 80 80; new A port=80; new B port=81; gone A; gone B; clear"
        << ""
        << ""
        << "";
    // Device type.
    QTest::newRow("type filter on arrival")
        << "new A; new B type=ZVK_NVR; type ZVK_NVR; new C type=ZVK_NVR; new D"
        << "C@192.168.1.1 B@192.168.1.1"
        << "A@192.168.1.1 B@192.168.1.1 C@192.168.1.1 D@192.168.1.1"
        << "ZVK_IPC ZVK_NVR";
    QTest::newRow("type after a range removes the range")
        << r + "; new A ip=10.0.0.1 type=ZVK_DVR; new B ip=192.168.1.15 type=ZVK_DVR; type ZVK_DVR"
        << "B@192.168.1.15 A@10.0.0.1"
        << "A@10.0.0.1 B@192.168.1.15"
        << "ZVK_DVR";
    QTest::newRow("changed type leaves the type filter")
        << "new A type=ZVK_NVR; new B type=ZVK_NVR; type ZVK_NVR; chg A type=ZVK_IPC"
        << "B@192.168.1.1"
        << "A@192.168.1.1 B@192.168.1.1"
        << "ZVK_NVR ZVK_IPC";
    QTest::newRow("all-devices entry clears the filter")
        << "new A type=ZVK_NVR; new B; type ZVK_NVR; all"
        << "B@192.168.1.1 A@192.168.1.1"
        << "A@192.168.1.1 B@192.168.1.1"
        << "ZVK_NVR ZVK_IPC";
    // Type menu upkeep.
    QTest::newRow("types in the order first seen, unknown code as empty text")
        << "new A type=ZVK_NVR; new B type=FOO; new C; new D type=ZVK_NVR"
        << "D@192.168.1.1 C@192.168.1.1 B@192.168.1.1 A@192.168.1.1"
        << "A@192.168.1.1 B@192.168.1.1 C@192.168.1.1 D@192.168.1.1"
        << "ZVK_NVR ? ZVK_IPC";
    QTest::newRow("type entry stays while one device of it is left")
        << "new A type=ZVK_NVR; new B type=ZVK_NVR; gone A"
        << "B@192.168.1.1"
        << "B@192.168.1.1"
        << "ZVK_NVR";
    QTest::newRow("type entry goes with the last device, also filtered out")
        << "new A type=ZVK_NVR; new B; type ZVK_IPC; gone A"
        << "B@192.168.1.1"
        << "B@192.168.1.1"
        << "ZVK_IPC";
    QTest::newRow("type entry goes when its last device changes type")
        << "new A type=ZVK_NVR; chg A type=ZVK_DVR"
        << "A@192.168.1.1"
        << "A@192.168.1.1"
        << "ZVK_DVR";
    // Refresh: the list goes, the filter and the menu entries stay.
    QTest::newRow("refresh keeps the filter for later arrivals")
        << r + "; new A ip=192.168.1.15; refresh; new B ip=192.168.1.30; new C ip=192.168.1.11"
        << "C@192.168.1.11"
        << "B@192.168.1.30 C@192.168.1.11"
        << "ZVK_IPC";
    QTest::newRow("refresh keeps type entries; the next last one takes it")
        << "new A type=ZVK_NVR; refresh; new B; gone B"
        << ""
        << ""
        << "ZVK_NVR";
}

void TestMainWindowDevices::merge() {
    QFETCH(QString, steps);
    run(steps);
    QTEST(rows(), "rows");
    QTEST(records(), "records");
    QTEST(typeEntries(), "types");
    const int shown = tree()->topLevelItemCount();
    QCOMPARE(m_window->onlineCount(), shown);
    StatusBar* bar = m_window->findChild<StatusBar*>("statusBar");
    // With a filter in force the count says of how many: the list's records.
    const int online = m_window->deviceList().size();
    const QString expected = m_window->deviceFilter().narrows()
                                 ? GetText("IDCS_DEVICE_ONLINE_SHOWN_D").arg(shown).arg(online)
                                 : GetText("IDCS_DEVICE_ONLINE_NUM_D").arg(shown);
    QCOMPARE(bar->onlineLabel()->text(), expected);
}

// With a sort in force, merged rows go in at their place at once (not on
// top until the burst ends), whatever brought them in; the sort's
// indicator stays as the installer left it.
void TestMainWindowDevices::sortedMerge_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("rows"); // tree, top first

    const QString three = "new A ip=10.0.0.5; new B ip=10.0.0.1; new C ip=10.0.0.3";
    QTest::newRow("by address") << int(COL_IP) << true << three
                                << "B@10.0.0.1 C@10.0.0.3 A@10.0.0.5";
    QTest::newRow("by address, descending")
        << int(COL_IP) << false << three << "A@10.0.0.5 C@10.0.0.3 B@10.0.0.1";
    QTest::newRow("by MAC, descending") << int(COL_MAC) << false << "new B; new A; new C"
                                        << "C@192.168.1.1 B@192.168.1.1 A@192.168.1.1";
    // Equal addresses go by MAC, whichever answered first, so that they do
    // not swap from one refresh to the next.
    QTest::newRow("equal addresses: by MAC") << int(COL_IP) << true << "new A; new B"
                                             << "A@192.168.1.1 B@192.168.1.1";
    QTest::newRow("equal addresses: by MAC, the other way round")
        << int(COL_IP) << true << "new B; new A" << "A@192.168.1.1 B@192.168.1.1";
    QTest::newRow("a range applied meanwhile keeps the order")
        << int(COL_IP) << true << three + "; ip 10.0.0.0 10.0.0.4; new D ip=10.0.0.2"
        << "B@10.0.0.1 D@10.0.0.2 C@10.0.0.3";
    QTest::newRow("rows back after the range at their place")
        << int(COL_IP) << true << three + "; ip 10.0.0.4 10.0.0.9; new D ip=10.0.0.2; clear"
        << "B@10.0.0.1 D@10.0.0.2 C@10.0.0.3 A@10.0.0.5";
    QTest::newRow("changed into the range: at its place")
        << int(COL_IP) << true
        << "ip 10.0.0.0 10.0.0.4; new A ip=10.0.0.9; new B ip=10.0.0.1; new C ip=10.0.0.4;"
           " chg A ip=10.0.0.3"
        << "B@10.0.0.1 A@10.0.0.3 C@10.0.0.4";
}

void TestMainWindowDevices::sortedMerge() {
    QFETCH(int, column);
    QFETCH(bool, ascending);
    QFETCH(QString, steps);
    const Qt::SortOrder order = ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
    tree()->setSortingEnabled(true);
    tree()->sortByColumn(column, order);
    run(steps);
    QTEST(rows(), "rows");
    const QHeaderView* header = tree()->header();
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), column);
    QCOMPARE(header->sortIndicatorOrder(), order);
}

// The name cell's mark shows the identity the record brought from the
// search thread: the window thread does not ask the search library, whose
// lock a burst of new keys holds.
void TestMainWindowDevices::identityMarkFromTheRecord_data() {
    QTest::addColumn<int>("identity");
    QTest::addColumn<QString>("tipKey"); // with the fingerprint for %1; none: no tip
    QTest::newRow("unknown") << LORVEX_IDENTITY_UNKNOWN << QString();
    QTest::newRow("verified") << LORVEX_IDENTITY_VERIFIED << QString();
    QTest::newRow("unverified") << LORVEX_IDENTITY_UNVERIFIED << "IDCS_IDENTITY_UNVERIFIED_TIP_D";
    QTest::newRow("confirmed") << LORVEX_IDENTITY_CONFIRMED << "IDCS_IDENTITY_CONFIRMED_TIP_D";
    QTest::newRow("conflict") << LORVEX_IDENTITY_CONFLICT << "IDCS_IDENTITY_CONFLICT_TIP";
}

void TestMainWindowDevices::identityMarkFromTheRecord() {
    QFETCH(int, identity);
    QFETCH(QString, tipKey);
    DevInfo* device = NewDevInfo(record(SEARCH_EVENT_NEW, "02:00:00:00:00:01", "10.0.0.1"));
    device->identity = identity;
    device->fingerprint = QStringLiteral("ab:cd");
    m_window->slot_recvOnlineDeviceInfo(device, SEARCH_EVENT_NEW);
    const QTreeWidgetItem* row = tree()->topLevelItem(0);
    QString tip;
    if (!tipKey.isEmpty())
        tip = GetText(tipKey.toLatin1().constData());
    if (tip.contains(QLatin1String("%1")))
        tip = tip.arg(QStringLiteral("ab:cd"));
    QCOMPARE(row->toolTip(COL_NAME), tip);
    QCOMPARE(row->icon(COL_NAME).isNull(), tipKey.isEmpty());
}

// A row's record is the list's own: changing through the row's pointer is
// what the next event's lookup finds.
void TestMainWindowDevices::addDeviceItemAndNull() {
    run("new A ip=10.0.0.1 port=9000 http=88 act=1");
    const QTreeWidgetItem* item = tree()->topLevelItem(0);
    QCOMPARE(item->data(0, Qt::UserRole).value<void*>(),
             static_cast<void*>(m_window->deviceList().first()));
    QCOMPARE(item->text(4), QStringLiteral("88"));
    QCOMPARE(item->text(5), QStringLiteral("9000"));
    QCOMPARE(item->text(15), GetText("IDCS_NONACTIVATED"));
    for (int c = 0; c < kDeviceColumnCount; ++c)
        QCOMPARE(item->textAlignment(c), int(Qt::AlignCenter));
    m_window->slot_recvOnlineDeviceInfo(nullptr, 0);
    QCOMPARE(tree()->topLevelItemCount(), 1);
}

void TestMainWindowDevices::activationCellKeptForOtherStates() {
    run("new A act=0; chg A act=2");
    QCOMPARE(tree()->topLevelItem(0)->text(COL_ACTIVATION), GetText("IDCS_ACTIVATED"));
    run("chg A act=1");
    QCOMPARE(tree()->topLevelItem(0)->text(COL_ACTIVATION), GetText("IDCS_NONACTIVATED"));
    run("new B act=2");
    QCOMPARE(tree()->topLevelItem(0)->text(COL_ACTIVATION), QString());
}

void TestMainWindowDevices::selectionFillsControlBar() {
    SEARCH_INFO info = record(SEARCH_EVENT_NEW, "00:11:22:33:44:55", "172.16.5.7");
    put(info.mask, "255.255.0.0");
    put(info.route, "172.16.0.1");
    m_window->slot_recvOnlineDeviceInfo(NewDevInfo(info), 0);
    run("new B");
    tree()->setCurrentItem(tree()->topLevelItem(1));
    DeviceControlBar* bar = m_window->findChild<DeviceControlBar*>("controlBar");
    QCOMPARE(bar->networkMac(), QStringLiteral("00:11:22:33:44:55"));
    QCOMPARE(bar->networkIp(), QStringLiteral("172.16.5.7"));
    QCOMPARE(bar->networkSubnet(), QStringLiteral("255.255.0.0"));
    QCOMPARE(bar->networkGateway(), QStringLiteral("172.16.0.1"));
    // No row highlighted: no device in the form either.
    m_window->slot_currentItemChanged(nullptr, nullptr);
    QCOMPARE(bar->networkMac(), QString());
    QCOMPARE(bar->networkIp(), QString());
}

// The range menu as the user drives it: box checked, fields typed, OK.
void TestMainWindowDevices::rangeMenuAppliesFilter() {
    run("new A ip=192.168.1.10; new B ip=192.168.1.30");
    IPFilterMenu* menu = m_window->findChild<IPFilterMenu*>("ipFilterMenu");
    menu->popup(QPoint(100, 100));
    QTRY_VERIFY(menu->isVisible());
    QTest::mouseClick(menu->conditionBox(), Qt::LeftButton, {}, QPoint(5, 13));
    QVERIFY(menu->conditionBox()->isChecked());
    menu->startField()->setText("192.168.1.1");
    menu->endField()->setText("192.168.1.20");
    QTest::mouseClick(menu->okButton(), Qt::LeftButton);
    QTRY_VERIFY(!menu->isVisible());
    QCOMPARE(rows(), QStringLiteral("A@192.168.1.10"));
    QCOMPARE(m_window->deviceFilter().kind, DeviceFilter::IpRange);
    menu->popup(QPoint(100, 100));
    QTRY_VERIFY(menu->isVisible());
    QTest::mouseClick(menu->conditionBox(), Qt::LeftButton, {}, QPoint(5, 13));
    QTest::mouseClick(menu->okButton(), Qt::LeftButton);
    QCOMPARE(rows(), QStringLiteral("B@192.168.1.30 A@192.168.1.10"));
    QCOMPARE(m_window->deviceFilter().kind, DeviceFilter::None);
}

// One filter is in force and the menus show which: a range clears the
// type entry's check, a type unticks the range menus.
void TestMainWindowDevices::menusShowTheFilterInForce() {
    run("new A type=ZVK_NVR; type ZVK_NVR; ip 10.0.0.0 10.0.0.255");
    QAction* nvr = typeMenu()->actions().at(1);
    QVERIFY(!nvr->isChecked());
    QVERIFY(typeMenu()->actions().at(0)->isChecked());
    QCOMPARE(m_window->deviceFilter().kind, DeviceFilter::IpRange);
    auto* ipMenu = m_window->findChild<RangeFilterMenu*>("ipFilterMenu");
    auto* portMenu = m_window->findChild<RangeFilterMenu*>("portFilterMenu");
    QVERIFY(ipMenu->conditionBox()->isChecked());
    run("port 1 2");
    QVERIFY(!ipMenu->conditionBox()->isChecked());
    QVERIFY(portMenu->conditionBox()->isChecked());
    run("type ZVK_NVR");
    QVERIFY(nvr->isChecked());
    QVERIFY(!portMenu->conditionBox()->isChecked());
    // The filter in force keeps its button shown and marked; the others not.
    for (const char* name : {"deviceTypeFilterButton", "ipFilterButton", "portFilterButton"}) {
        QWidget* button = m_window->findChild<QWidget*>(name);
        const bool active = QByteArray(name) == "deviceTypeFilterButton";
        QCOMPARE(button->property("active").toBool(), active);
        QCOMPARE(!button->isHidden(), active);
    }
    QCOMPARE(rows(), QStringLiteral("A@") + m_devices["A"].ip);
}

// Thousands of events from the search thread arrive in order, and the event
// loop runs between the slices in which they are merged.
void TestMainWindowDevices::handOverKeepsOrderAndYields() {
    const int n = 20000;
    QVector<int> seen; // list sizes a timer saw while the events were merged
    QTimer turns;
    connect(&turns, &QTimer::timeout,
            [this, &seen] { seen.append(m_window->deviceList().size()); });
    turns.start(0);
    std::thread search([this, n] {
        for (int i = 0; i < n; ++i) {
            char mac[18];
            std::snprintf(mac, sizeof mac, "02:00:00:00:%02X:%02X", i >> 8, i & 0xFF);
            m_window->Update(record(SEARCH_EVENT_NEW, mac, "10.0.0.1"), nullptr);
            // Every other device goes again right away: order matters.
            if (i % 2 == 1)
                m_window->Update(record(SEARCH_EVENT_GONE, mac, "10.0.0.1"), nullptr);
        }
    });
    search.join();
    // The bound only ends a hung merge; under the sanitizers 20,000 events
    // take several seconds on a loaded machine.
    QTRY_COMPARE_WITH_TIMEOUT(m_window->deviceList().size(), n / 2, 60000);
    QCOMPARE(m_window->onlineCount(), n / 2);
    QCOMPARE(tree()->topLevelItemCount(), n / 2);
    const bool between =
        std::any_of(seen.begin(), seen.end(), [n](int size) { return size > 0 && size < n / 2; });
    QVERIFY2(between, "no timer ran while the events were being merged");
}

// The search thread's hand-over races a refresh: events the manager decided
// before the refresh reach the window after it (the notification runs
// outside the manager's lock). They must not come back as ghost rows, and
// the new list's events arriving beside them must.
void TestMainWindowDevices::refreshDropsEventsOfTheEmptiedList() {
    const uint32_t before = m_window->manager().ListGeneration();
    m_window->Update(record(SEARCH_EVENT_NEW, "02:00:00:00:00:01", "10.0.0.1", before), nullptr);
    m_window->slot_refresh();
    const uint32_t after = m_window->manager().ListGeneration();
    QVERIFY(after != before);
    // Late: handed over after the refresh, decided before it.
    m_window->Update(record(SEARCH_EVENT_NEW, "02:00:00:00:00:02", "10.0.0.2", before), nullptr);
    m_window->Update(record(SEARCH_EVENT_NEW, "02:00:00:00:00:03", "10.0.0.3", after), nullptr);
    m_window->Update(record(SEARCH_EVENT_CHANGED, "02:00:00:00:00:03", "10.0.0.4", before),
                     nullptr);
    m_window->Update(record(SEARCH_EVENT_NEW, "02:00:00:00:00:04", "10.0.0.5", after), nullptr);
    // The queue merges in order: once the last one is in, every earlier one
    // has been merged or dropped.
    QTRY_VERIFY(!m_window->deviceList().isEmpty() &&
                m_window->deviceList().last()->mac == QLatin1String("02:00:00:00:00:04"));
    QCOMPARE(m_window->deviceList().size(), 2);
    QCOMPARE(tree()->topLevelItemCount(), 2);
    QCOMPARE(m_window->onlineCount(), 2);
    QStringList seen;
    for (const DevInfo* d : m_window->deviceList())
        seen.append(d->mac + "@" + d->ipAddr);
    QCOMPARE(seen, (QStringList{"02:00:00:00:00:03@10.0.0.3", "02:00:00:00:00:04@10.0.0.5"}));
}

QTEST_MAIN(TestMainWindowDevices)
#include "MainWindowDevicesTest.moc"
