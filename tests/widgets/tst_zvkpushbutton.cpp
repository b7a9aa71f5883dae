#include "ZVKButton.h"
#include "ZVKPushButton.h"
#include "WidgetTestSupport.h"

#include <QLineEdit>

using namespace widgettest;

class TestZVKPushButton : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(applyLook()); }
    void focusMark_data();
    void focusMark();
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

QTEST_MAIN(TestZVKPushButton)
#include "tst_zvkpushbutton.moc"
