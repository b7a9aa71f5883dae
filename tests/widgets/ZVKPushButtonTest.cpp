#include "ZVKButton.h"
#include "ZVKPushButton.h"
#include "WidgetTestSupport.h"

#include <QLineEdit>
#include <QSignalSpy>

using namespace widgettest;

class TestZVKPushButton : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(applyLook()); }
    void focusMark_data();
    void focusMark();
    void keysPressFocusedButton_data();
    void keysPressFocusedButton();
};

void TestZVKPushButton::focusMark_data() {
    QTest::addColumn<bool>("imageButton");
    QTest::addColumn<bool>("marked");
    QTest::newRow("text button shows the focus") << false << true;
    // Title-bar buttons never show focus, also under the skin sheet.
    QTest::newRow("image button shows none") << true << false;
}

void TestZVKPushButton::focusMark() {
    QFETCH(bool, imageButton);
    QFETCH(bool, marked);
    QWidget window;
    window.resize(200, 80);
    QPushButton* button = imageButton ? static_cast<QPushButton*>(new ZVKButton(&window))
                                      : new ZVKPushButton(QStringLiteral("Save"), &window);
    if (imageButton)
        button->setStyleSheet(
            QStringLiteral("ZVKButton { border-image: url(:/skin/close.png) 0 44 0 0; }"));
    button->setGeometry(10, 10, 90, 25);
    QLineEdit* field = new QLineEdit(&window);
    field->setGeometry(10, 45, 90, 24);
    QVERIFY(showActive(&window));
    field->setFocus();
    QTRY_VERIFY(field->hasFocus());
    const QImage unfocused = button->grab().toImage();
    button->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(button->hasFocus());
    QCOMPARE(button->grab().toImage() != unfocused, marked);
}

void TestZVKPushButton::keysPressFocusedButton_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("clicks");
    QTest::newRow("return") << int(Qt::Key_Return) << int(Qt::NoModifier) << 1;
    QTest::newRow("keypad enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << 1;
    QTest::newRow("space") << int(Qt::Key_Space) << int(Qt::NoModifier) << 1;
    QTest::newRow("ctrl+return is not a press")
        << int(Qt::Key_Return) << int(Qt::ControlModifier) << 0;
    QTest::newRow("a letter") << int(Qt::Key_A) << int(Qt::NoModifier) << 0;
}

// A button that is not the default (the main window has none) still takes
// Return on the keyboard focus.
void TestZVKPushButton::keysPressFocusedButton() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, clicks);
    QWidget window;
    ZVKPushButton* button = new ZVKPushButton(QStringLiteral("Save"), &window);
    button->setAutoDefault(false);
    QVERIFY(showActive(&window));
    button->setFocus(Qt::TabFocusReason);
    QSignalSpy clicked(button, &QPushButton::clicked);
    QTest::keyClick(button, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(clicked.count(), clicks);
    button->setEnabled(false);
    QTest::keyClick(button, Qt::Key_Return);
    QCOMPARE(clicked.count(), clicks);
}

QTEST_MAIN(TestZVKPushButton)
#include "ZVKPushButtonTest.moc"
