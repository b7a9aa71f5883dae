#include "VistaDelegate.h"
#include "WidgetTestSupport.h"

using namespace widgettest;

namespace {
QRect xs(int x1, int x2) {
    // Cells below run from y 10 to 36 (27 pixels high).
    return QRect(QPoint(x1, 10), QPoint(x2, 36));
}
} // namespace

class TestVistaDelegate : public QObject {
    Q_OBJECT
private slots:
    void pieces_data();
    void pieces();
    void editorRect_data();
    void editorRect();
};

void TestVistaDelegate::pieces_data() {
    QTest::addColumn<QRect>("cell");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("indentation");
    QTest::addColumn<QRect>("left");
    QTest::addColumn<QRect>("middle");
    QTest::addColumn<QRect>("right");
    const QRect cell = xs(100, 199);
    QTest::newRow("middle cell") << cell << 0 << 0 << QRect() << cell << QRect();
    QTest::newRow("first cell") << cell << 1 << 0 << xs(107, 120) << xs(121, 199) << QRect();
    QTest::newRow("first cell indented 7")
        << cell << 1 << 7 << xs(100, 113) << xs(114, 199) << QRect();
    QTest::newRow("first cell indented")
        << cell << 1 << 20 << xs(87, 100) << xs(114, 199) << QRect();
    QTest::newRow("last cell") << cell << 2 << 0 << QRect() << xs(100, 178) << xs(179, 192);
    QTest::newRow("only cell") << cell << 3 << 0 << xs(107, 120) << xs(121, 178) << xs(179, 192);
    QTest::newRow("narrow first cell") << xs(0, 20) << 1 << 0 << xs(0, 20) << QRect() << QRect();
    QTest::newRow("narrow first cell saved by indentation")
        << xs(0, 20) << 1 << 1 << xs(6, 19) << xs(20, 20) << QRect();
    QTest::newRow("narrow last cell") << xs(0, 20) << 2 << 0 << QRect() << QRect() << xs(0, 20);
    QTest::newRow("last cell at 22") << xs(0, 21) << 2 << 0 << QRect() << xs(0, 0) << xs(1, 14);
}

void TestVistaDelegate::pieces() {
    QFETCH(QRect, cell);
    QFETCH(int, position);
    QFETCH(int, indentation);
    QFETCH(QRect, left);
    QFETCH(QRect, middle);
    QFETCH(QRect, right);
    const VistaDelegate::Pieces pieces = VistaDelegate::pieceRects(cell, position, indentation);
    QCOMPARE(pieces.left, left);
    QCOMPARE(pieces.middle, middle);
    QCOMPARE(pieces.right, right);
}

void TestVistaDelegate::editorRect_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QRect>("editor");
    QTest::newRow("middle") << 0 << QRect(QPoint(100, 12), QPoint(198, 34));
    QTest::newRow("first") << 1 << QRect(QPoint(107, 12), QPoint(198, 34));
    QTest::newRow("last") << 2 << QRect(QPoint(100, 12), QPoint(191, 34));
    QTest::newRow("only") << 3 << QRect(QPoint(107, 12), QPoint(191, 34));
}

void TestVistaDelegate::editorRect() {
    QFETCH(int, position);
    QFETCH(QRect, editor);
    QCOMPARE(VistaDelegate::editorRect(xs(100, 199), position), editor);
}

QTEST_MAIN(TestVistaDelegate)
#include "VistaDelegateTest.moc"
