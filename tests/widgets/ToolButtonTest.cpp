#include "ToolButton.h"
#include "WidgetTestSupport.h"
#include "ZVKButton.h"
#include "ZVKCheckBox.h"
#include "ZVKMenu.h"
#include "ZVKStyle.h"

#include <QSignalSpy>
#include <QTimer>

using namespace widgettest;

class TestToolButton : public QObject {
    Q_OBJECT
private slots:
    void menuPart_data();
    void menuPart();
    void menuHangsBelowDropDownPart();
    void withoutMenuEveryPressIsAClick();
    void pressedFlagFollowsTheButton();
    void noFocusFrame_data();
    void noFocusFrame();
};

void TestToolButton::menuPart_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<bool>("opensMenu");
    QTest::newRow("left end") << 0 << false;
    QTest::newRow("just left of the part") << 97 << false;
    QTest::newRow("first pixel of the part") << 98 << true;
    QTest::newRow("right end") << 119 << true;
}

void TestToolButton::menuPart() {
    QFETCH(int, x);
    QFETCH(bool, opensMenu);
    QWidget window;
    ToolButton button("Refresh", true, &window);
    button.setGeometry(10, 10, 120, 30);
    button.dropDownMenu()->addAction("5 s");
    QVERIFY(showActive(&window));
    QSignalSpy shown(button.dropDownMenu(), SIGNAL(aboutToShow()));
    QSignalSpy clicked(&button, SIGNAL(clicked()));
    // The menu runs its own loop; close it from inside that loop.
    QTimer::singleShot(0, button.dropDownMenu(), SLOT(close()));
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(x, 15));
    QCOMPARE(shown.count(), opensMenu ? 1 : 0);
    QCOMPARE(clicked.count(), opensMenu ? 0 : 1);
}

void TestToolButton::menuHangsBelowDropDownPart() {
    QWidget window;
    window.move(100, 50);
    ToolButton button("Refresh", true, &window);
    button.setGeometry(10, 20, 120, 30);
    button.dropDownMenu()->addAction("5 s");
    QVERIFY(showActive(&window));
    QPoint menuPos;
    bool visible = false;
    QTimer::singleShot(0, [&]() {
        visible = button.dropDownMenu()->isVisible();
        menuPos = button.dropDownMenu()->pos();
        button.dropDownMenu()->close();
    });
    QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, QPoint(110, 15));
    QVERIFY(visible);
    const QPoint buttonTopLeft = button.mapToGlobal(QPoint(0, 0));
    QCOMPARE(menuPos, buttonTopLeft + QPoint(120 - 23, 30 + 1));
    QVERIFY(!button.isPressed());
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(110, 15));
}

void TestToolButton::withoutMenuEveryPressIsAClick() {
    ToolButton button("Plain", false);
    button.resize(120, 30);
    QVERIFY(!button.dropDownMenu());
    QSignalSpy clicked(&button, SIGNAL(clicked()));
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(115, 15));
    QCOMPARE(clicked.count(), 1);
}

void TestToolButton::pressedFlagFollowsTheButton() {
    ToolButton button("Refresh", true);
    button.resize(120, 30);
    QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, QPoint(20, 15));
    QVERIFY(button.isPressed());
    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(20, 15));
    QVERIFY(!button.isPressed());
}

void TestToolButton::noFocusFrame_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("ZVKButton") << 0;
    QTest::newRow("ZVKCheckBox") << 1;
    QTest::newRow("ToolButton: accent line") << 2;
}

void TestToolButton::noFocusFrame() {
    QFETCH(int, kind);
    QApplication::setStyle(new ZVKStyle);
    QWidget window;
    QWidget* widget = nullptr;
    if (kind == 0)
        widget = new ZVKButton("OK", &window);
    else if (kind == 1)
        widget = new ZVKCheckBox("All", &window);
    else
        widget = new ToolButton("Refresh", false, &window);
    widget->setGeometry(5, 5, 100, 28);
    QPushButton other("other", &window);
    other.setGeometry(5, 40, 100, 28);
    QVERIFY(showActive(&window));
    other.setFocus();
    const QImage unfocused = widget->grab().toImage();
    widget->setFocus(Qt::TabFocusReason);
    QVERIFY(widget->hasFocus());
    // No dotted frame of the style; the tool button (a Tab stop of the
    // main window) shows the fields' accent line instead.
    QCOMPARE(widget->grab().toImage() != unfocused, kind == 2);
}

QTEST_MAIN(TestToolButton)
#include "ToolButtonTest.moc"
