#include "MainWindowTestSupport.h"
#include "StatusBar.h"
#include "ZVKLabel.h"

#include <QTest>

using namespace windowtest;

class TestStatusBar : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        applyLook();
        openLanguage();
    }
    void onlineCount();
    void hostTexts();
    void packedFromTheRight_data();
    void packedFromTheRight();
    void laidOutOnResizeOnly();
    void interfacesToolTip();
    void clashesAndNoticeBesideTheCount_data();
    void clashesAndNoticeBesideTheCount();
};

void TestStatusBar::onlineCount() {
    StatusBar bar;
    QCOMPARE(bar.onlineLabel()->text(), QStringLiteral("Online Devices: 0"));
    bar.SetOnlineNum(10000);
    QCOMPARE(bar.onlineLabel()->text(), QStringLiteral("Online Devices: 10000"));
}

void TestStatusBar::hostTexts() {
    StatusBar bar;
    bar.SetHostNetwork("10.77.0.2", "255.255.255.0", "", "<b>1.1.1.1</b>");
    QStringList texts;
    for (ZVKLabel* label : bar.hostLabels())
        texts.append(label->text());
    QCOMPARE(texts, (QStringList{"IP Address: 10.77.0.2", "Subnet Mask: 255.255.255.0",
                                 "Gateway: ", "DNS: <b>1.1.1.1</b>"}));
    for (ZVKLabel* label : bar.hostLabels())
        QCOMPARE(label->textFormat(), Qt::PlainText);
}

void TestStatusBar::packedFromTheRight_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("gateway");
    QTest::newRow("wide") << 1010 << "10.77.0.1";
    QTest::newRow("no gateway") << 1010 << "";
    QTest::newRow("too narrow") << 300 << "10.77.0.1";
}

// Each label is its text plus 20 pixels, the DNS label ends at the right
// edge, 20 pixels lie between neighbours; a narrow bar lets them run past
// the left edge rather than hide any.
void TestStatusBar::packedFromTheRight() {
    QFETCH(int, width);
    QFETCH(QString, gateway);
    StatusBar bar;
    bar.SetHostNetwork("10.77.0.2", "255.255.255.0", gateway, "10.77.0.1");
    bar.resize(width, 30);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    const QVector<ZVKLabel*> labels = bar.hostLabels();
    const QFontMetrics metrics(labels.last()->font());
    int right = width + 20;
    for (int i = labels.size() - 1; i >= 0; --i) {
        const QRect g = labels[i]->geometry();
        QCOMPARE(g.width(), metrics.horizontalAdvance(labels[i]->text()) + 20);
        QCOMPARE(g.x() + g.width(), right - 20);
        QCOMPARE(g.y(), 5);
        QCOMPARE(g.height(), 17);
        QVERIFY(labels[i]->isVisible());
        right = g.x();
    }
    // The count sits at the left, on the labels' line.
    QCOMPARE(bar.onlineLabel()->geometry().topLeft(), QPoint(10, 5));
    QCOMPARE(bar.onlineLabel()->height(), 17);
    QCOMPARE(labels.first()->x() < 0, width < 400);
}

void TestStatusBar::laidOutOnResizeOnly() {
    StatusBar bar;
    bar.SetHostNetwork("10.77.0.2", "255.255.255.0", "10.77.0.1", "10.77.0.1");
    bar.resize(1000, 30);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    const QRect before = bar.hostLabels().first()->geometry();
    bar.SetHostNetwork("10.77.100.200", "255.255.255.0", "10.77.0.1", "10.77.0.1");
    QCOMPARE(bar.hostLabels().first()->geometry(), before);
    bar.resize(1001, 30);
    QTRY_VERIFY(bar.hostLabels().first()->geometry().width() > before.width());
}

void TestStatusBar::interfacesToolTip() {
    StatusBar bar;
    bar.SetHostInterfaces("eth0: 10.0.0.2 / 255.255.255.0\nwlan0: 192.168.1.5 / 255.255.255.0");
    for (ZVKLabel* label : bar.hostLabels())
        QVERIFY(label->toolTip().contains("wlan0: 192.168.1.5"));
}

void TestStatusBar::clashesAndNoticeBesideTheCount_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("shared");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<bool>("noticeWhole");
    QTest::newRow("none") << 1586 << 0 << QString() << true;
    QTest::newRow("clash") << 1586 << 8 << QString() << true;
    QTest::newRow("clash and notice") << 1586 << 3 << "The find text was cleared." << true;
    QTest::newRow("narrow: the notice is cut")
        << 1010 << 8 << QString(120, QLatin1Char('x')) << false;
}

// The shared-address count and the notice follow the count from the left,
// never over the host labels; a notice cut for want of room is whole in
// its tool tip.
void TestStatusBar::clashesAndNoticeBesideTheCount() {
    QFETCH(int, width);
    QFETCH(int, shared);
    QFETCH(QString, notice);
    QFETCH(bool, noticeWhole);
    StatusBar bar;
    bar.SetHostNetwork("10.77.0.2", "255.255.255.0", "10.77.0.1", "10.77.0.1");
    bar.resize(width, 30);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    bar.SetOnlineNum(54, 54, false);
    bar.SetSharedAddresses(shared);
    bar.ShowNotice(notice);
    QCOMPARE(bar.sharedLabel()->isVisible(), shared > 0);
    QCOMPARE(bar.noticeLabel()->isVisible(), !notice.isEmpty());
    if (shared > 0) {
        QCOMPARE(bar.sharedLabel()->text(), GetText("IDCS_ADDRESS_SHARED_COUNT_D").arg(shared));
        QVERIFY(bar.sharedLabel()->x() > bar.onlineLabel()->geometry().right());
    }
    const int hosts = bar.hostLabels().first()->x();
    for (const ZVKLabel* label : {bar.onlineLabel(), bar.sharedLabel(), bar.noticeLabel()})
        if (label->isVisible())
            QVERIFY(label->geometry().right() < hosts);
    if (!notice.isEmpty()) {
        QCOMPARE(bar.noticeLabel()->text() == notice, noticeWhole);
        QCOMPARE(bar.noticeLabel()->toolTip(), notice);
    }
    bar.SetSharedAddresses(0);
    QVERIFY(!bar.sharedLabel()->isVisible());
}

QTEST_MAIN(TestStatusBar)
#include "StatusBarTest.moc"
