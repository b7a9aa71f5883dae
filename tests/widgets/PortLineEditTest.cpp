#include "PortLineEdit.h"
#include "WidgetTestSupport.h"

using namespace widgettest;

class TestPortLineEdit : public QObject {
    Q_OBJECT
private slots:
    void typing_data();
    void typing();
    void rangeChanges_data();
    void rangeChanges();
    void noContextMenu();
};

void TestPortLineEdit::typing_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("acceptable");
    QTest::newRow("top") << "65535"
                         << "65535" << true;
    QTest::newRow("above top") << "65536"
                               << "6553" << true;
    QTest::newRow("plus swallowed") << "+80"
                                    << "80" << true;
    QTest::newRow("plus inside") << "8+0"
                                 << "80" << true;
    QTest::newRow("minus refused") << "-1"
                                   << "1" << true;
    QTest::newRow("letters refused") << "8a0"
                                     << "80" << true;
    QTest::newRow("six digits") << "123456"
                                << "12345" << true;
    QTest::newRow("zero") << "0"
                          << "0" << true;
}

void TestPortLineEdit::typing() {
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QFETCH(bool, acceptable);
    PortLineEdit edit;
    QTest::keyClicks(&edit, keys);
    QCOMPARE(edit.text(), text);
    QCOMPARE(edit.hasAcceptableInput(), acceptable);
}

void TestPortLineEdit::rangeChanges_data() {
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("top");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::newRow("lower top refuses above") << 0 << 1000 << "1001"
                                             << "100";
    QTest::newRow("lower top keeps top") << 0 << 1000 << "1000"
                                         << "1000";
    QTest::newRow("raised bottom") << 100 << 65535 << "99"
                                   << "99";
}

void TestPortLineEdit::rangeChanges() {
    QFETCH(int, bottom);
    QFETCH(int, top);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    PortLineEdit edit;
    edit.setBottom(bottom);
    edit.setTop(top);
    QTest::keyClicks(&edit, keys);
    QCOMPARE(edit.text(), text);
    const int value = text.toInt();
    QCOMPARE(edit.hasAcceptableInput(), value >= bottom && value <= top);
}

void TestPortLineEdit::noContextMenu() {
    PortLineEdit edit;
    QCOMPARE(edit.contextMenuPolicy(), Qt::NoContextMenu);
    QVERIFY(!edit.testAttribute(Qt::WA_MacShowFocusRect));
}

QTEST_MAIN(TestPortLineEdit)
#include "PortLineEditTest.moc"
