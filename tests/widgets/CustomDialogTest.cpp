#include "CustomDialog.h"
#include "WidgetTestSupport.h"
#include "ZVKButton.h"

#include <QSignalSpy>

using namespace widgettest;

class TestCustomDialog : public QObject {
    Q_OBJECT
private slots:
    void frame();
    void closeButtonKeepsOffTheBorder_data();
    void closeButtonKeepsOffTheBorder();
    void dragStartsOnlyInTitleBar_data();
    void dragStartsOnlyInTitleBar();
    void dragFollowsPointerWhileLeftHeld();
    void closeButtonCloses();
};

void TestCustomDialog::frame() {
    CustomDialog dialog(nullptr, Qt::Tool);
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(dialog.windowFlags() & Qt::Tool);
    QCOMPARE(dialog.minimumSize(), QSize(350, 200));
    QCOMPARE(dialog.title(), QString()); // each dialog names itself
    dialog.setTitle("About");
    QCOMPARE(dialog.title(), QString("About"));
    dialog.resize(400, 250);
    dialog.show();
    // 3 pixels clear of the right border, as of the top edge.
    QCOMPARE(dialog.closeButton()->geometry(), QRect(375, 3, 22, 22));
}

void TestCustomDialog::closeButtonKeepsOffTheBorder_data() {
    QTest::addColumn<int>("width");
    QTest::newRow("smallest") << 350;
    QTest::newRow("about box") << 400;
    QTest::newRow("wide") << 601;
}

// The hovered close image fills its cell but one pixel: the cell must stay
// clear of the border column and keep the same distance as from the top.
void TestCustomDialog::closeButtonKeepsOffTheBorder() {
    QFETCH(int, width);
    CustomDialog dialog;
    dialog.resize(width, 200);
    dialog.show();
    const QRect close = dialog.closeButton()->geometry();
    const int border = dialog.width() - 1;
    QVERIFY(close.right() < border);
    QCOMPARE(border - close.right(), close.top());
    QVERIFY(close.top() >= 2);
    QVERIFY(close.bottom() < CustomDialog::kTitleHeight);
}

void TestCustomDialog::dragStartsOnlyInTitleBar_data() {
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("drags");
    QTest::newRow("top row") << QPoint(100, 0) << int(Qt::LeftButton) << true;
    QTest::newRow("last title row") << QPoint(100, 27) << int(Qt::LeftButton) << true;
    QTest::newRow("below title") << QPoint(100, 28) << int(Qt::LeftButton) << false;
    QTest::newRow("right button") << QPoint(100, 10) << int(Qt::RightButton) << false;
}

void TestCustomDialog::dragStartsOnlyInTitleBar() {
    QFETCH(QPoint, press);
    QFETCH(int, button);
    QFETCH(bool, drags);
    CustomDialog dialog;
    dialog.setGeometry(200, 100, 400, 250);
    dialog.show();
    const Qt::MouseButton b = Qt::MouseButton(button);
    sendMouse(&dialog, QEvent::MouseButtonPress, press, b, b);
    QCOMPARE(dialog.isDragging(), drags);
    const QPoint before = dialog.pos();
    sendMouse(&dialog, QEvent::MouseMove, press + QPoint(30, 40), Qt::NoButton, b);
    QCOMPARE(dialog.pos(), drags ? before + QPoint(30, 40) : before);
    sendMouse(&dialog, QEvent::MouseButtonRelease, press, b, Qt::NoButton);
    QVERIFY(!dialog.isDragging());
}

void TestCustomDialog::dragFollowsPointerWhileLeftHeld() {
    CustomDialog dialog;
    dialog.setGeometry(200, 100, 400, 250);
    dialog.show();
    const QPoint grab = dialog.mapToGlobal(QPoint(50, 10));
    sendMouseGlobal(&dialog, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
    sendMouseGlobal(&dialog, QEvent::MouseMove, grab + QPoint(-80, 15), Qt::NoButton,
                    Qt::LeftButton);
    QCOMPARE(dialog.frameGeometry().topLeft(), QPoint(120, 115));
    // A second button held as well: the dialog stays where it is.
    sendMouseGlobal(&dialog, QEvent::MouseMove, grab + QPoint(0, 0), Qt::NoButton,
                    Qt::LeftButton | Qt::RightButton);
    QCOMPARE(dialog.frameGeometry().topLeft(), QPoint(120, 115));
    sendMouseGlobal(&dialog, QEvent::MouseButtonRelease, grab, Qt::LeftButton, Qt::NoButton);
    sendMouseGlobal(&dialog, QEvent::MouseMove, grab + QPoint(40, 40), Qt::NoButton,
                    Qt::LeftButton);
    QCOMPARE(dialog.frameGeometry().topLeft(), QPoint(120, 115));
}

void TestCustomDialog::closeButtonCloses() {
    CustomDialog dialog;
    QVERIFY(showActive(&dialog));
    QSignalSpy rejected(&dialog, SIGNAL(rejected()));
    QTest::mouseClick(dialog.closeButton(), Qt::LeftButton);
    QCOMPARE(rejected.count(), 1);
    QVERIFY(!dialog.isVisible());
}

QTEST_MAIN(TestCustomDialog)
#include "CustomDialogTest.moc"
