// The real window's status bar tells the installer what keeps link-local
// devices out of reach and which maker keys come from the environment: in a
// private network, 169.254.0.0/16 pointed at another card before the window
// starts (another user's route), the route added as it should be, and
// LORVEX_TRUST_DIR set or not. Renders the notices into
// shots/<locale>/route-*.png.
#include "HostNet.h"
#include "LanguageSrc.h"
#include "MainWindow.h"
#include "MainWindowTestSupport.h"
#include "StatusBar.h"
#include "ZVKLabel.h"

#include <QDir>
#include <QLocale>
#include <QPainter>
#include <QTest>
#include <QToolTip>

#include <cstdlib>
#include <memory>

using namespace windowtest;

namespace {

QString shotDir() {
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/shots/") +
                        QLocale::system().name();
    QDir().mkpath(dir);
    return dir;
}

bool run(const char* command) { return std::system(command) == 0; }

void dropLinkLocalRoutes() {
    while (run("ip route del 169.254.0.0/16 2>/dev/null")) {
    }
}

} // namespace

class TestMainWindowRoute : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void routeOnAnotherCard();
    void routeAddedInPlace();
    void noMarkWithoutTheEnvironmentsKeys();

private:
    StatusBar* statusBar() const { return m_window->findChild<StatusBar*>("statusBar"); }
    ZVKLabel* notice() const { return statusBar()->noticeLabel(); }
    void openWindow();
    bool saveWithToolTip(const QString& file);

    std::unique_ptr<MainWindow> m_window;
    QByteArray m_trustDir;
};

void TestMainWindowRoute::initTestCase() {
    REQUIRE_PRIVATE_NETWORK();
    applyLook();
    m_trustDir = qgetenv("LORVEX_TRUST_DIR");
    QVERIFY2(!m_trustDir.isEmpty(), "scripts/netns-run names the simulator's key folder");
}

void TestMainWindowRoute::cleanup() {
    m_window.reset();
    run("ip link del lvxother 2>/dev/null");
    dropLinkLocalRoutes();
    qputenv("LORVEX_TRUST_DIR", m_trustDir);
}

void TestMainWindowRoute::openWindow() {
    m_window.reset(new MainWindow);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QTRY_VERIFY_WITH_TIMEOUT(m_window->onlineCount() > 0, 15000);
}

// The window with the notice's tool tip as it shows over the status bar:
// the tip is drawn into the window's picture above the mark, since the
// offscreen screen is smaller than the window.
bool TestMainWindowRoute::saveWithToolTip(const QString& file) {
    QToolTip::showText(notice()->mapToGlobal(QPoint(10, 0)), notice()->toolTip(), notice());
    QWidget* tip = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && qstrcmp(w->metaObject()->className(), "QTipLabel") == 0)
            tip = w;
    if (tip == nullptr)
        return false;
    QPixmap shot = m_window->grab();
    const QPoint mark = notice()->mapTo(m_window.get(), QPoint(0, 0));
    QPainter painter(&shot);
    painter.drawPixmap(mark.x(), mark.y() - tip->height() - 6, tip->grab());
    painter.end();
    QToolTip::hideText();
    return shot.save(file);
}

// Another user pointed the range at another card first, at a metric the
// tool's route cannot beat: the bar says so, with that card, and the tool
// tip tells where it leads and how to remove it; nothing was changed.
void TestMainWindowRoute::routeOnAnotherCard() {
    dropLinkLocalRoutes();
    QVERIFY(run("ip link add lvxother type veth peer name lvxother-p && ip link set lvxother-p up "
                "&& ip link set lvxother up && "
                "ip route add 169.254.0.0/16 dev lvxother metric 100"));
    openWindow();
    QTRY_COMPARE_WITH_TIMEOUT(m_window->onlineCount(), 6, 15000);
    const QString mark = GetText("IDCS_ROUTE_OTHER_CARD_D").arg(QStringLiteral("lvxother"));
    QTRY_VERIFY_WITH_TIMEOUT(
        notice()->isVisible() && notice()->toolTip().contains(QStringLiteral("lvxother")), 5000);
    QVERIFY(notice()->toolTip().contains(
        GetText("IDCS_ROUTE_OTHER_CARD_TIP_D")
            .arg(QStringLiteral("lvxother"), QStringLiteral("veth0"),
                 QStringLiteral("ip route del 169.254.0.0/16 dev lvxother"))));
    QVERIFY(notice()->toolTip().contains(
        GetText("IDCS_TRUST_DIR_TIP_D").arg(QString::fromLocal8Bit(m_trustDir))));
    // At a laptop's usual size both marks show whole, the route's first.
    const QString both = mark + QStringLiteral("  \u00b7  ") + GetText("IDCS_TRUST_DIR");
    m_window->resize(1280, 800);
    QTRY_COMPARE(notice()->text(), both);
    QCOMPARE(notice()->textFormat(), Qt::PlainText);
    QVERIFY(notice()->geometry().right() < statusBar()->hostLabels().first()->x());
    QVERIFY(m_window->grab().save(shotDir() + QStringLiteral("/route-other-card.png")));
    QVERIFY(saveWithToolTip(shotDir() + QStringLiteral("/route-other-card-tip.png")));
    // At the smallest the window allows, both are still in sight, the
    // route's mark as far as the room goes.
    m_window->resize(m_window->minimumSize());
    QTRY_COMPARE(statusBar()->width(), m_window->minimumSize().width() - 14);
    const QString shown = notice()->text();
    QVERIFY2(shown.startsWith(mark.left(8)), qPrintable(shown));
    QVERIFY2(shown.contains(QStringLiteral("\u00b7")), qPrintable(shown));
    QVERIFY(QFontMetrics(notice()->font()).horizontalAdvance(shown) <= notice()->width());
    QVERIFY(notice()->geometry().right() < statusBar()->hostLabels().first()->x());
    QCOMPARE(CLorvexManage::LinkLocalRouteCarrier("10.77.0.2"), std::string("lvxother"));
}

// Nothing in the way: the route is in place, and only the environment's
// keys are marked.
void TestMainWindowRoute::routeAddedInPlace() {
    dropLinkLocalRoutes();
    openWindow();
    QTRY_VERIFY_WITH_TIMEOUT(HasLinkLocalRoute("/proc/net/route", "veth0"), 5000);
    QTRY_COMPARE(notice()->toolTip(),
                 GetText("IDCS_TRUST_DIR_TIP_D").arg(QString::fromLocal8Bit(m_trustDir)));
    QVERIFY(notice()->isVisible());
}

// The package's anchors alone: no mark at all.
void TestMainWindowRoute::noMarkWithoutTheEnvironmentsKeys() {
    qunsetenv("LORVEX_TRUST_DIR");
    openWindow();
    QTRY_VERIFY_WITH_TIMEOUT(HasLinkLocalRoute("/proc/net/route", "veth0"), 5000);
    QVERIFY(!notice()->isVisible());
}

QTEST_MAIN(TestMainWindowRoute)
#include "tst_mainwindowroute.moc"
