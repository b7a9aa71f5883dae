// The real window in a private network where 169.254.0.0/16 was pointed at
// another card before it started (another user's route), with the
// simulator's keys named by LORVEX_TRUST_DIR: the status bar shows both
// notices, in sight at any size, and the route is left alone. Renders
// shots/<locale>/route-other-card(-tip).png.
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

class TestMainWindowRoute : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        REQUIRE_PRIVATE_NETWORK();
        applyLook();
    }
    void cleanupTestCase() {
        // The card is gone already when its test failed before making it.
        [[maybe_unused]] const int removed = std::system("ip link del lvxother 2>/dev/null");
    }
    void routeOnAnotherCard();
};

void TestMainWindowRoute::routeOnAnotherCard() {
    QVERIFY(std::system("ip link add lvxother type veth peer name lvxother-p && ip link set "
                        "lvxother-p up && ip link set lvxother up && ip route add "
                        "169.254.0.0/16 dev lvxother metric 100") == 0);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE_WITH_TIMEOUT(window.onlineCount(), 6, 15000);
    auto* bar = window.findChild<StatusBar*>("statusBar");
    ZVKLabel* notice = bar->noticeLabel();
    const QString folder = qEnvironmentVariable("LORVEX_TRUST_DIR");
    const QString mark = GetText("IDCS_ROUTE_OTHER_CARD_D").arg("lvxother");
    const QString both = mark + QStringLiteral("  \u00b7  ") + GetText("IDCS_TRUST_DIR");
    // At a laptop's usual size both marks show whole, the route's first;
    // the tool tip says where the range leads, how to remove that, and
    // which folder's keys count.
    window.resize(1280, 800);
    QTRY_COMPARE(notice->text(), both);
    QCOMPARE(notice->textFormat(), Qt::PlainText);
    QCOMPARE(notice->toolTip(),
             GetText("IDCS_ROUTE_OTHER_CARD_TIP_D")
                     .arg("lvxother", "veth0", "ip route del 169.254.0.0/16 dev lvxother") +
                 "\n\n" + GetText("IDCS_TRUST_DIR_TIP_D").arg(folder));
    QVERIFY(notice->geometry().right() < bar->hostLabels().first()->x());
    const QString dir =
        QCoreApplication::applicationDirPath() + "/shots/" + QLocale::system().name();
    QDir().mkpath(dir);
    QVERIFY(window.grab().save(dir + "/route-other-card.png"));
    // The tip drawn over the window's picture above the mark (the
    // offscreen screen is smaller than the window).
    QToolTip::showText(notice->mapToGlobal(QPoint(10, 0)), notice->toolTip(), notice);
    QPixmap shot = window.grab();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && qstrcmp(w->metaObject()->className(), "QTipLabel") == 0) {
            const QPoint at = notice->mapTo(&window, QPoint(0, 0));
            QPainter(&shot).drawPixmap(at.x(), at.y() - w->height() - 6, w->grab());
        }
    QVERIFY(shot.save(dir + "/route-other-card-tip.png"));
    // At the smallest size both stay in sight, the route's mark as far as
    // the room goes, never over the host's data.
    window.resize(window.minimumSize());
    QTRY_COMPARE(bar->width(), window.minimumSize().width() - 14);
    QVERIFY2(notice->text().startsWith(mark.left(8)) && notice->text().contains(u'\u00b7'),
             qPrintable(notice->text()));
    QVERIFY(QFontMetrics(notice->font()).horizontalAdvance(notice->text()) <= notice->width());
    QVERIFY(notice->geometry().right() < bar->hostLabels().first()->x());
    QCOMPARE(CLorvexManage::LinkLocalRouteCarrier("10.77.0.2"), std::string("lvxother"));
}

QTEST_MAIN(TestMainWindowRoute)
#include "MainWindowRouteTest.moc"
