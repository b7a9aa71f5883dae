#include "MainWindowLayout.h"

#include <QTest>

class TestMainWindowLayout : public QObject {
    Q_OBJECT
private slots:
    void aboutButtonFitsItsText_data();
    void aboutButtonFitsItsText();
    void titleStrip_data();
    void titleStrip();
};

void TestMainWindowLayout::aboutButtonFitsItsText_data() {
    QTest::addColumn<int>("needed");
    QTest::addColumn<QRect>("about");
    QTest::addColumn<QRect>("toggle");
    QTest::newRow("fits the skin's 50 pixels")
        << 45 << QRect(1030, 63, 50, 26) << QRect(1000, 63, 26, 26);
    QTest::newRow("exactly fits") << 50 << QRect(1030, 63, 50, 26) << QRect(1000, 63, 26, 26);
    QTest::newRow("longer text widens leftwards")
        << 83 << QRect(997, 63, 83, 26) << QRect(967, 63, 26, 26);
}

void TestMainWindowLayout::aboutButtonFitsItsText() {
    QFETCH(int, needed);
    QFETCH(QRect, about);
    QFETCH(QRect, toggle);
    const MainWindowLayout l = mainWindowLayout(1100, 700, 50, needed);
    QCOMPARE(l.about, about);
    QCOMPARE(l.deviceBarToggle, toggle);
    QCOMPARE(l.refresh, QRect(30, 63, 90, 26));
}

void TestMainWindowLayout::titleStrip_data() {
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<bool>("inside");
    QTest::newRow("top left corner") << QPoint(5, 5) << true;
    QTest::newRow("bottom right corner") << QPoint(1094, 27) << true;
    QTest::newRow("right of it") << QPoint(1095, 15) << false;
    QTest::newRow("above it") << QPoint(50, 4) << false;
    QTest::newRow("below it") << QPoint(50, 28) << false;
}

void TestMainWindowLayout::titleStrip() {
    QFETCH(QPoint, pos);
    QFETCH(bool, inside);
    QCOMPARE(inTitleStrip(pos, 1100), inside);
}

QTEST_GUILESS_MAIN(TestMainWindowLayout)
#include "MainWindowLayoutTest.moc"
