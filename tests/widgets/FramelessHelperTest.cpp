#include "FramelessGeometry.h"
#include "NcFramelessHelper.h"
#include "WidgetTestSupport.h"

#include <QRubberBand>

using namespace widgettest;

Q_DECLARE_METATYPE(EdgeHit)

namespace {
const QRect kFrame(100, 100, 1000, 600);

EdgeHit hit(bool left, bool right, bool top, bool bottom) {
    EdgeHit h;
    h.left = left;
    h.right = right;
    h.top = top;
    h.bottom = bottom;
    h.topLeft = top && left;
    h.bottomLeft = bottom && left;
    h.topRight = top && right;
    h.bottomRight = bottom && right;
    h.onEdge = left || right || top || bottom;
    return h;
}

QString describe(const EdgeHit& h) {
    return QString("%1%2%3%4%5%6%7%8%9")
        .arg(h.onEdge)
        .arg(h.left)
        .arg(h.right)
        .arg(h.top)
        .arg(h.bottom)
        .arg(h.topLeft)
        .arg(h.bottomLeft)
        .arg(h.topRight)
        .arg(h.bottomRight);
}

// A frameless top-level window at a known place with the helper attached.
struct Window {
    QWidget widget;
    NcFramelessHelper helper;

    explicit Window(bool rubberBand = false) {
        widget.setMinimumSize(300, 200);
        helper.setRubberBandOnResize(rubberBand);
        helper.attach(&widget);
        widget.setGeometry(kFrame);
        widget.show();
    }
    void press(const QPoint& local, Qt::MouseButton button = Qt::LeftButton) {
        sendMouse(&widget, QEvent::MouseButtonPress, local, button, button);
    }
    void moveTo(const QPoint& global, Qt::MouseButtons held = Qt::LeftButton) {
        sendMouseGlobal(&widget, QEvent::MouseMove, global, Qt::NoButton, held);
    }
    void release(Qt::MouseButton button = Qt::LeftButton) {
        sendMouse(&widget, QEvent::MouseButtonRelease, QPoint(10, 10), button, Qt::NoButton);
    }
};
} // namespace

class TestFramelessHelper : public QObject {
    Q_OBJECT
private slots:
    void hitBands_data();
    void hitBands();
    void resizeRule_data();
    void resizeRule();
    void cursorShapes_data();
    void cursorShapes();
    void attachReplacesFlagsAndDetachRestores();
    void pressDecidesMoveOrResize_data();
    void pressDecidesMoveOrResize();
    void fixedWindowNeitherMovesNorResizes();
    void rubberBandHoldsGeometryUntilRelease();
    void rightButtonReleaseEndsNothing();
    void cursorOverBordersAndLeave();
    void destroyedWindowLeavesTheRegistry();
};

void TestFramelessHelper::hitBands_data() {
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<EdgeHit>("expected");
    QTest::newRow("inside") << QPoint(600, 400) << hit(false, false, false, false);
    QTest::newRow("3 px inside right") << QPoint(1097, 400) << hit(false, true, false, false);
    QTest::newRow("7 px inside right") << QPoint(1093, 400) << hit(false, false, false, false);
    QTest::newRow("right band inner edge") << QPoint(1095, 400) << hit(false, true, false, false);
    QTest::newRow("one past the frame") << QPoint(1100, 400) << hit(false, true, false, false);
    QTest::newRow("two past the frame") << QPoint(1101, 400) << hit(false, false, false, false);
    QTest::newRow("left frame pixel") << QPoint(100, 400) << hit(true, false, false, false);
    QTest::newRow("left band inner edge") << QPoint(105, 400) << hit(true, false, false, false);
    QTest::newRow("past left band") << QPoint(106, 400) << hit(false, false, false, false);
    QTest::newRow("left of the frame") << QPoint(99, 400) << hit(false, false, false, false);
    QTest::newRow("top") << QPoint(600, 103) << hit(false, false, true, false);
    QTest::newRow("bottom") << QPoint(600, 697) << hit(false, false, false, true);
    QTest::newRow("top-left") << QPoint(102, 102) << hit(true, false, true, false);
    QTest::newRow("bottom-right") << QPoint(1099, 699) << hit(false, true, false, true);
    QTest::newRow("top-right") << QPoint(1098, 101) << hit(false, true, true, false);
    QTest::newRow("bottom-left") << QPoint(101, 698) << hit(true, false, false, true);
}

void TestFramelessHelper::hitBands() {
    QFETCH(QPoint, point);
    QFETCH(EdgeHit, expected);
    QCOMPARE(describe(edgeHitAt(point, kFrame)), describe(expected));
}

void TestFramelessHelper::resizeRule_data() {
    // Start 100,100 400 x 300 (right 499, bottom 399), minimum 200 x 150.
    QTest::addColumn<EdgeHit>("pressed");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QRect>("expected");
    const EdgeHit left = hit(true, false, false, false);
    const EdgeHit right = hit(false, true, false, false);
    const EdgeHit top = hit(false, false, true, false);
    const EdgeHit bottom = hit(false, false, false, true);
    QTest::newRow("right wider") << right << QPoint(600, 0) << QRect(100, 100, 501, 300);
    QTest::newRow("left wider") << left << QPoint(40, 0) << QRect(40, 100, 460, 300);
    QTest::newRow("left narrower") << left << QPoint(200, 0) << QRect(200, 100, 300, 300);
    QTest::newRow("left past minimum keeps both edges")
        << left << QPoint(350, 0) << QRect(100, 100, 400, 300);
    QTest::newRow("right past minimum keeps both edges")
        << right << QPoint(250, 0) << QRect(100, 100, 400, 300);
    QTest::newRow("right exactly at minimum")
        << right << QPoint(299, 0) << QRect(100, 100, 200, 300);
    QTest::newRow("top past minimum") << top << QPoint(0, 300) << QRect(100, 100, 400, 300);
    QTest::newRow("bottom above top is inverted")
        << bottom << QPoint(0, 50) << QRect(100, 100, 400, 300);
    QTest::newRow("right left of left is inverted")
        << right << QPoint(20, 0) << QRect(100, 100, 400, 300);
    QTest::newRow("top-left corner")
        << hit(true, false, true, false) << QPoint(50, 60) << QRect(50, 60, 450, 340);
    QTest::newRow("bottom-right corner")
        << hit(false, true, false, true) << QPoint(700, 500) << QRect(100, 100, 601, 401);
    QTest::newRow("top-right corner, width too small")
        << hit(false, true, true, false) << QPoint(200, 20) << QRect(100, 20, 400, 380);
    QTest::newRow("bottom-left corner")
        << hit(true, false, false, true) << QPoint(90, 450) << QRect(90, 100, 410, 351);
    QTest::newRow("no band") << hit(false, false, false, false) << QPoint(5, 5)
                             << QRect(100, 100, 400, 300);
}

void TestFramelessHelper::resizeRule() {
    QFETCH(EdgeHit, pressed);
    QFETCH(QPoint, to);
    QFETCH(QRect, expected);
    QCOMPARE(resizedFrame(QRect(100, 100, 400, 300), pressed, to, QSize(200, 150)), expected);
}

void TestFramelessHelper::cursorShapes_data() {
    QTest::addColumn<EdgeHit>("h");
    QTest::addColumn<int>("shape");
    QTest::newRow("top-left") << hit(true, false, true, false) << int(Qt::SizeFDiagCursor);
    QTest::newRow("bottom-right") << hit(false, true, false, true) << int(Qt::SizeFDiagCursor);
    QTest::newRow("top-right") << hit(false, true, true, false) << int(Qt::SizeBDiagCursor);
    QTest::newRow("bottom-left") << hit(true, false, false, true) << int(Qt::SizeBDiagCursor);
    QTest::newRow("left") << hit(true, false, false, false) << int(Qt::SizeHorCursor);
    QTest::newRow("bottom") << hit(false, false, false, true) << int(Qt::SizeVerCursor);
    QTest::newRow("none") << hit(false, false, false, false) << -1;
}

void TestFramelessHelper::cursorShapes() {
    QFETCH(EdgeHit, h);
    QFETCH(int, shape);
    Qt::CursorShape got = Qt::ArrowCursor;
    const bool found = resizeCursorFor(h, &got);
    QCOMPARE(found, shape >= 0);
    if (found)
        QCOMPARE(int(got), shape);
}

void TestFramelessHelper::attachReplacesFlagsAndDetachRestores() {
    QWidget widget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
    const Qt::WindowFlags before = widget.windowFlags();
    widget.show();
    NcFramelessHelper helper;
    helper.attach(&widget);
    helper.attach(&widget);
    QVERIFY(helper.isAttached(&widget));
    QVERIFY(widget.isVisible());
    QVERIFY(widget.hasMouseTracking());
    QVERIFY(widget.testAttribute(Qt::WA_Hover));
    QVERIFY(widget.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!(widget.windowFlags() & Qt::WindowStaysOnTopHint));
    helper.detach(&widget);
    QVERIFY(!helper.isAttached(&widget));
    QCOMPARE(widget.windowFlags(), before);
    QVERIFY(widget.isVisible());
    QVERIFY(!widget.hasMouseTracking());
    QVERIFY(!widget.testAttribute(Qt::WA_Hover));
    helper.detach(&widget);
}

void TestFramelessHelper::pressDecidesMoveOrResize_data() {
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QRect>("after");
    // Each drag goes 40 px right and 20 px down from the press.
    QTest::newRow("top strip moves") << QPoint(100, 30) << QRect(140, 120, 1000, 600);
    QTest::newRow("below the strip does nothing") << QPoint(100, 60) << kFrame;
    QTest::newRow("left band resizes, not moves") << QPoint(2, 30) << QRect(142, 100, 958, 600);
    QTest::newRow("3 px inside right resizes") << QPoint(997, 300) << QRect(100, 100, 1038, 600);
    QTest::newRow("7 px inside right does nothing") << QPoint(993, 300) << kFrame;
}

void TestFramelessHelper::pressDecidesMoveOrResize() {
    QFETCH(QPoint, press);
    QFETCH(QRect, after);
    Window window;
    const QPoint start = window.widget.mapToGlobal(press);
    window.press(press);
    window.moveTo(start + QPoint(40, 20));
    QCOMPARE(window.widget.geometry(), after);
    window.release();
}

void TestFramelessHelper::fixedWindowNeitherMovesNorResizes() {
    Window window;
    window.helper.setMovable(false);
    window.helper.setResizable(false);
    window.press(QPoint(100, 30));
    window.moveTo(window.widget.mapToGlobal(QPoint(140, 50)));
    window.release();
    window.press(QPoint(998, 300));
    window.moveTo(window.widget.mapToGlobal(QPoint(1040, 300)));
    window.release();
    QCOMPARE(window.widget.geometry(), kFrame);
}

void TestFramelessHelper::rubberBandHoldsGeometryUntilRelease() {
    Window window(true);
    QRubberBand* band = window.helper.rubberBand(&window.widget);
    QVERIFY(band);
    window.press(QPoint(998, 598));
    QVERIFY(band->isVisible());
    QCOMPARE(band->geometry(), kFrame);
    window.moveTo(QPoint(1200, 750));
    window.moveTo(QPoint(1250, 800));
    QCOMPARE(window.widget.geometry(), kFrame);
    QCOMPARE(band->geometry(), QRect(100, 100, 1151, 701));
    window.release();
    QVERIFY(!band->isVisible());
    QCOMPARE(window.widget.geometry(), QRect(100, 100, 1151, 701));
    window.helper.setRubberBandOnResize(false);
    QVERIFY(!window.helper.rubberBand(&window.widget));
}

void TestFramelessHelper::rightButtonReleaseEndsNothing() {
    Window window;
    window.press(QPoint(998, 300));
    window.release(Qt::RightButton);
    window.moveTo(QPoint(1150, 400));
    QCOMPARE(window.widget.geometry(), QRect(100, 100, 1051, 600));
    window.release();
    window.moveTo(QPoint(1200, 400), Qt::NoButton);
    QCOMPARE(window.widget.geometry(), QRect(100, 100, 1051, 600));
}

void TestFramelessHelper::cursorOverBordersAndLeave() {
    Window window;
    window.moveTo(QPoint(1098, 400), Qt::NoButton);
    QCOMPARE(window.widget.cursor().shape(), Qt::SizeHorCursor);
    window.moveTo(QPoint(101, 101), Qt::NoButton);
    QCOMPARE(window.widget.cursor().shape(), Qt::SizeFDiagCursor);
    window.moveTo(QPoint(600, 400), Qt::NoButton);
    QCOMPARE(window.widget.cursor().shape(), Qt::ArrowCursor);

    // Leaving during a drag keeps the resize cursor; leaving idle drops it.
    window.moveTo(QPoint(1098, 400), Qt::NoButton);
    window.press(window.widget.mapFromGlobal(QPoint(1098, 400)));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&window.widget, &leave);
    QCOMPARE(window.widget.cursor().shape(), Qt::SizeHorCursor);
    window.release();
    QApplication::sendEvent(&window.widget, &leave);
    QCOMPARE(window.widget.cursor().shape(), Qt::ArrowCursor);
}

void TestFramelessHelper::destroyedWindowLeavesTheRegistry() {
    NcFramelessHelper helper;
    QWidget* widget = new QWidget;
    helper.attach(widget);
    delete widget;
    QVERIFY(!helper.isAttached(widget));
}

QTEST_MAIN(TestFramelessHelper)
#include "FramelessHelperTest.moc"
