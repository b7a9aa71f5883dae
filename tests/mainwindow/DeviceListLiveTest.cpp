// The device list of the real window in a private network with 40 simulated
// devices of every type: the web page a double click opens, a fleet that
// renames and leaves while a filter hides it, and the screenshots of the
// list, its filter menus and its column menu (shots/devicelist-LOCALE/).
#include "DevInfo.h"
#include "DeviceColumns.h"
#include "DeviceFilterMenus.h"
#include "DeviceTreeHeaderView.h"
#include "HostProcess.h"
#include "IpAddrEdit.h"
#include "MainWindow.h"
#include "MainWindowTestSupport.h"
#include "NetNamespace.h"
#include "VistaTreeWidget.h"
#include "ZVKCheckBox.h"
#include "ZVKMenu.h"

#include <QAction>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QScrollBar>
#include <QSet>
#include <QTest>

#include <memory>
#include <string>

using namespace windowtest;

namespace {

const int kFleet = 40; // devices netns-run starts for this test

std::string g_openedUrl;
void recordUrl(const std::string& url) { g_openedUrl = url; }

QSet<QString> treeMacs(VistaTreeWidget* tree) {
    QSet<QString> macs;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        macs.insert(tree->topLevelItem(i)->text(COL_MAC));
    return macs;
}

// A simulator of its own in the device namespace.
std::unique_ptr<QProcess> startSimulator(const QStringList& args) {
    std::unique_ptr<QProcess> sim(new QProcess);
    sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim->start("ip", QStringList{"netns", "exec", qEnvironmentVariable("LORVEX_NETNS_DEVICES"),
                                 qEnvironmentVariable("LORVEX_DEVSIM")} +
                         args);
    return sim;
}

// What lorvex-search lists right now: MAC to IP address.
QMap<QString, QString> listedDevices() {
    QProcess tool;
    tool.start(qEnvironmentVariable("LORVEX_SEARCH_TOOL"),
               {"list", "--seconds", "2", "--format", "json"});
    tool.waitForFinished(20000);
    QMap<QString, QString> devices;
    for (const QJsonValue d : QJsonDocument::fromJson(tool.readAllStandardOutput()).array())
        devices.insert(d.toObject()["mac"].toString(), d.toObject()["ipAddr"].toString());
    return devices;
}

// The window with `popup` painted where it is on the screen.
QImage compose(QWidget* window, QWidget* popup) {
    QImage image(window->size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.drawPixmap(0, 0, window->grab());
    if (popup != nullptr)
        painter.drawPixmap(window->mapFromGlobal(popup->mapToGlobal(QPoint(0, 0))), popup->grab());
    return image;
}

} // namespace

class TestDeviceListLive : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void doubleClickOpensRowsDevice_data();
    void doubleClickOpensRowsDevice();
    void renamesAndDeparturesUnderFilter();
    void screenshots();

private:
    VistaTreeWidget* tree() const { return m_window->findChild<VistaTreeWidget*>("deviceTree"); }
    void shoot(QWidget* popup, const QString& name);

    std::unique_ptr<MainWindow> m_window;
    QDir m_shots;
};

void TestDeviceListLive::initTestCase() {
    REQUIRE_PRIVATE_NETWORK();
    applyLook();
    m_shots = QDir(QCoreApplication::applicationDirPath() + "/shots/devicelist-" +
                   QLocale::system().name());
    m_shots.mkpath(".");
}

void TestDeviceListLive::init() {
    m_window.reset(new MainWindow);
    SetUrlOpener(recordUrl);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QTRY_COMPARE_WITH_TIMEOUT(m_window->onlineCount(), kFleet, 15000);
}

void TestDeviceListLive::cleanup() { m_window.reset(); }

void TestDeviceListLive::doubleClickOpensRowsDevice_data() {
    QTest::addColumn<int>("column");
    for (int c : {0, 3, 6, 11, 15})
        QTest::newRow(qPrintable(QString::number(c))) << c;
}

void TestDeviceListLive::doubleClickOpensRowsDevice() {
    QFETCH(int, column);
    g_openedUrl.clear();
    QTreeWidgetItem* item = tree()->topLevelItem(7);
    tree()->horizontalScrollBar()->setValue(tree()->header()->sectionPosition(column));
    QRect cell = tree()->visualItemRect(item);
    const int x = tree()->header()->sectionViewportPosition(column);
    cell.setLeft(x);
    cell.setWidth(tree()->header()->sectionSize(column));
    // A double click as the mouse gives it: a click, then the second press.
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(tree()->viewport(), Qt::LeftButton, {}, cell.center());
    // The page is at the device's address, or at its second one where the
    // first cannot be reached from here.
    const DevInfo* device = static_cast<DevInfo*>(item->data(0, Qt::UserRole).value<void*>());
    QCOMPARE(device->mac, item->text(COL_MAC));
    // The address is probed off the window thread; the page opens after.
    QTRY_VERIFY(!g_openedUrl.empty());
    const QString url = QString::fromStdString(g_openedUrl);
    QVERIFY2(url.contains("//" + device->ipAddr) || url.contains("//" + device->ipAddr2),
             qPrintable(url + " for " + device->ipAddr + " / " + device->ipAddr2));
}

// Devices outside an IP range rename themselves and others leave while the
// range hides them; once the range is cleared, the tree is what a search
// finds at that moment, with the names of now.
void TestDeviceListLive::renamesAndDeparturesUnderFilter() {
    m_window->manager().SetAutoSearch(1); // three missed rounds make a device gone
    auto renaming = startSimulator({"--count", "5", "--first-mac", "02:4C:57:00:10:01", "--subnet",
                                    "10.9.0.0/24", "--change-every", "1"});
    auto leaving = startSimulator({"--count", "4", "--first-mac", "02:4C:57:00:20:01", "--subnet",
                                   "10.9.1.0/24", "--vanish-after", "3"});
    QTRY_COMPARE_WITH_TIMEOUT(m_window->deviceList().size(), kFleet + 9, 10000);
    QMap<QString, QString> firstNames;
    for (const DevInfo* d : m_window->deviceList())
        if (d->mac.startsWith("02:4C:57:00:10"))
            firstNames.insert(d->mac, d->devName);
    QCOMPARE(firstNames.size(), 5);
    m_window->slot_ipaddressMenuTriggered("192.168.1.0", "192.168.1.255");
    QCOMPARE(m_window->onlineCount(), kFleet);
    // The leaving ones leave the list though hidden; the renaming ones are
    // renamed in it.
    QTRY_COMPARE_WITH_TIMEOUT(m_window->deviceList().size(), kFleet + 5, 15000);
    auto renamed = [&] {
        for (const DevInfo* d : m_window->deviceList())
            if (firstNames.contains(d->mac) && firstNames[d->mac] == d->devName)
                return false;
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(renamed(), 10000);
    QCOMPARE(m_window->onlineCount(), kFleet);
    QCOMPARE(tree()->topLevelItemCount(), kFleet);
    m_window->slot_filterCleared();
    const QMap<QString, QString> listed = listedDevices();
    QCOMPARE(treeMacs(tree()), QSet<QString>(listed.keyBegin(), listed.keyEnd()));
    QCOMPARE(m_window->onlineCount(), listed.size());
    for (int i = 0; i < tree()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = tree()->topLevelItem(i);
        QCOMPARE(row->text(COL_IP), listed.value(row->text(COL_MAC)));
        if (firstNames.contains(row->text(COL_MAC)))
            QVERIFY(row->text(COL_NAME) != firstNames[row->text(COL_MAC)]);
    }
    renaming->terminate();
    leaving->terminate();
    renaming->waitForFinished();
    leaving->waitForFinished();
}

void TestDeviceListLive::shoot(QWidget* popup, const QString& name) {
    QVERIFY(compose(m_window.get(), popup).save(m_shots.filePath(name + ".png")));
}

// The list sorted by IP with the running-time column shown, each filter
// menu open over it and the column menu: to be looked at.
void TestDeviceListLive::screenshots() {
    m_window->resize(1500, 800);
    DeviceTreeHeaderView* header = m_window->deviceHeader();
    header->columnAction(14)->trigger();
    header->setSortIndicator(COL_IP, Qt::DescendingOrder);
    const QPoint ip(header->sectionViewportPosition(COL_IP) + 30, 10);
    QMouseEvent press(QEvent::MouseButtonPress, ip, Qt::LeftButton, Qt::LeftButton, {});
    QMouseEvent release(QEvent::MouseButtonRelease, ip, Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(header->viewport(), &press);
    QApplication::sendEvent(header->viewport(), &release);
    QCOMPARE(tree()->sortColumn(), int(COL_IP));
    QMouseEvent move(QEvent::MouseMove, ip, Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(header->viewport(), &move);
    shoot(nullptr, "sorted-by-ip");
    const struct {
        const char* menu;
        const char* button;
    } kMenus[] = {{"deviceTypeFilterMenu", "deviceTypeFilterButton"},
                  {"ipFilterMenu", "ipFilterButton"},
                  {"portFilterMenu", "portFilterButton"}};
    for (const auto& m : kMenus) {
        QMenu* menu = m_window->findChild<QMenu*>(m.menu);
        QWidget* button = m_window->findChild<QWidget*>(m.button);
        if (auto* range = qobject_cast<RangeFilterMenu*>(menu))
            range->conditionBox()->setChecked(true);
        menu->popup(button->mapToGlobal(QPoint(0, button->height())));
        QTRY_VERIFY(menu->isVisible());
        QVERIFY(button->isVisible());
        shoot(menu, m.menu);
        menu->hide();
    }
    header->columnMenu()->popup(header->mapToGlobal(QPoint(400, 20)));
    QTRY_VERIFY(header->columnMenu()->isVisible());
    shoot(header->columnMenu(), "column-menu");
    header->columnMenu()->hide();
    tree()->horizontalScrollBar()->setValue(tree()->horizontalScrollBar()->maximum());
    shoot(nullptr, "running-time-and-activation");
}

QTEST_MAIN(TestDeviceListLive)
#include "DeviceListLiveTest.moc"
