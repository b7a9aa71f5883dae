#include "AddrPartLineEdit.h"
#include "IpAddrEdit.h"
#include "MacAddrEdit.h"
#include "WidgetTestSupport.h"

#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <memory>

using namespace widgettest;

namespace {
// A window holding one address edit, shown and active so focus can move.
struct Field {
    QWidget window;
    AddrEditBase* edit = nullptr;

    explicit Field(bool mac) {
        QVBoxLayout* layout = new QVBoxLayout(&window);
        edit = mac ? static_cast<AddrEditBase*>(new MacAddrEdit(&window))
                   : static_cast<AddrEditBase*>(new IpAddrEdit(&window));
        layout->addWidget(edit);
        window.resize(300, 40);
    }
    int focusedPart() const {
        return edit->parts().indexOf(static_cast<AddrPartLineEdit*>(QApplication::focusWidget()));
    }
};
} // namespace

class TestAddrEdits : public QObject {
    Q_OBJECT
private slots:
    void setText_data();
    void setText();
    void typing_data();
    void typing();
    void periodRule_data();
    void periodRule();
    void wholeAddressTyped_data();
    void wholeAddressTyped();
    void wholeAddressFromAnywhere_data();
    void wholeAddressFromAnywhere();
    void pasteTakesOnlyWholeAddresses_data();
    void pasteTakesOnlyWholeAddresses();
    void leadingZerosDroppedOnFocusOut_data();
    void leadingZerosDroppedOnFocusOut();
    void backspaceJoinsPreviousPart();
    void arrowsCrossParts_data();
    void arrowsCrossParts();
    void inputMethodSeparator_data();
    void inputMethodSeparator();
    void signalsCarryAllParts_data();
    void signalsCarryAllParts();
    void focusedLookFollowsParts();
};

void TestAddrEdits::setText_data() {
    QTest::addColumn<bool>("mac");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("text");
    QTest::newRow("ip") << false << "192.168.1.10" << true << "192.168.1.10";
    QTest::newRow("ip leading zero") << false << "010.1.1.1" << true << "010.1.1.1";
    QTest::newRow("ip 256") << false << "10.0.0.256" << false << "";
    QTest::newRow("ip three parts") << false << "10.0.0" << false << "";
    QTest::newRow("ip trailing dot") << false << "10.0.0.1." << false << "";
    QTest::newRow("ip empty") << false << "" << false << "";
    QTest::newRow("mac mixed case") << true << "00:1a:2B:3c:4D:5e" << true << "00:1a:2B:3c:4D:5e";
    QTest::newRow("mac bad digit") << true << "00:1a:2B:3c:4D:5g" << false << "";
    QTest::newRow("mac dashes") << true << "00-1a-2B-3c-4D-5e" << false << "";
}

void TestAddrEdits::setText() {
    QFETCH(bool, mac);
    QFETCH(QString, address);
    QFETCH(bool, accepted);
    QFETCH(QString, text);
    Field field(mac);
    // A valid address first, so that a refused one visibly clears it.
    field.edit->setText(mac ? "11:22:33:44:55:66" : "1.2.3.4");
    QCOMPARE(field.edit->setText(address), accepted);
    QCOMPARE(field.edit->text(), text);
}

void TestAddrEdits::typing_data() {
    QTest::addColumn<bool>("mac");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("focusedPart");
    QTest::addColumn<QString>("text");
    QTest::newRow("19 waits for a third digit") << false << "19" << 0 << "19...";
    QTest::newRow("192 moves on") << false << "192" << 1 << "192...";
    QTest::newRow("26 moves on") << false << "26" << 1 << "26...";
    QTest::newRow("255 moves on") << false << "255" << 1 << "255...";
    QTest::newRow("single digit stays") << false << "7" << 0 << "7...";
    QTest::newRow("256 refused digit") << false << "256" << 0 << "25...";
    QTest::newRow("whole address") << false << "19216811.10" << 3 << "192.168.11.10";
    QTest::newRow("last part keeps focus") << false << "10.0.0.255" << 3 << "10.0.0.255";
    QTest::newRow("mac 0a moves on") << true << "0a" << 1 << "0a:::::";
    QTest::newRow("mac one digit stays") << true << "F" << 0 << "F:::::";
    QTest::newRow("mac last part keeps focus")
        << true << "001122334455" << 5 << "00:11:22:33:44:55";
    QTest::newRow("mac refuses g") << true << "0g" << 0 << "0:::::";
}

void TestAddrEdits::typing() {
    QFETCH(bool, mac);
    QFETCH(QString, keys);
    QFETCH(int, focusedPart);
    QFETCH(QString, text);
    Field field(mac);
    QVERIFY(showActive(&field.window));
    field.edit->setFocus();
    typeIntoFocus(keys);
    QCOMPARE(field.focusedPart(), focusedPart);
    QCOMPARE(field.edit->text(), text);
}

void TestAddrEdits::periodRule_data() {
    QTest::addColumn<bool>("mac");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("focusedPart");
    QTest::addColumn<QString>("text");
    QTest::newRow("period after digits moves on") << false << "1.2" << 1 << "1.2..";
    QTest::newRow("period in empty part stays") << false << "." << 0 << "";
    QTest::newRow("two periods skip one part") << false << "1..3" << 1 << "1.3..";
    QTest::newRow("period in last part stays") << false << "1.2.3.4." << 3 << "1.2.3.4";
    QTest::newRow("mac period moves on") << true << "a.b" << 1 << "a:b::::";
    QTest::newRow("mac colon moves on") << true << "a:b" << 1 << "a:b::::";
}

// The same check as typing, over the separator table.
void TestAddrEdits::periodRule() { typing(); }

// An installer types the whole address, periods included, over what the
// field holds: the period after a part that moved on by itself must not
// move again.
void TestAddrEdits::wholeAddressTyped_data() {
    QTest::addColumn<bool>("mac");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    const QString filled = "192.168.1.100";
    for (const QString& before : {QString(), filled}) {
        const char* how = before.isEmpty() ? "empty" : "filled";
        QTest::addRow("%s, periods", how) << false << before << "10.77.0.50"
                                          << "10.77.0.50";
        QTest::addRow("%s, three-digit parts", how) << false << before << "192.168.100.200"
                                                    << "192.168.100.200";
        QTest::addRow("%s, no periods", how) << false << before << "19216811.10"
                                             << "192.168.11.10";
        QTest::addRow("%s, mac with colons", how)
            << true << (before.isEmpty() ? QString() : QString("11:22:33:44:55:66"))
            << "00:1a:2b:3c:4d:5e"
            << "00:1a:2b:3c:4d:5e";
    }
    // A period after a part the installer finished by hand still moves on.
    QTest::newRow("one-digit parts") << false << filled << "1.2.3.4"
                                     << "1.2.3.4";
}

void TestAddrEdits::wholeAddressTyped() {
    QFETCH(bool, mac);
    QFETCH(QString, before);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    Field field(mac);
    QVERIFY(showActive(&field.window));
    if (!before.isEmpty())
        QVERIFY(field.edit->setText(before));
    // Reached as by Tab: the first part has the focus, its text selected.
    field.edit->setFocus();
    field.edit->parts().first()->selectAll();
    typeIntoFocus(keys);
    QCOMPARE(field.edit->text(), text);
}

// The installer clicks anywhere into a filled field (the middle of a full
// part included) and types a whole address: the field holds exactly that
// address, or shows that it refused, never another address quietly.
void TestAddrEdits::wholeAddressFromAnywhere_data() {
    QTest::addColumn<bool>("mac");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("part");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");
    const QString filled = "192.0.0.64";
    QTest::newRow("after the third part's digit") << false << filled << 2 << 1 << "10.77.0.100"
                                                  << "10.77.0.100" << false;
    QTest::newRow("before the second part") << false << filled << 1 << 0 << "10.77.0.100"
                                            << "10.77.0.100" << false;
    QTest::newRow("middle of a full first part") << false << filled << 0 << 1 << "10.77.0.100"
                                                 << "10.77.0.100" << false;
    QTest::newRow("middle of the last part") << false << filled << 3 << 1 << "172.16.5.7"
                                             << "172.16.5.7" << false;
    QTest::newRow("one-digit parts from the third") << false << filled << 2 << 1 << "1.2.3.4"
                                                    << "1.2.3.4" << false;
    QTest::newRow("mac, middle of a part")
        << true << "11:22:33:44:55:66" << 3 << 1 << "00:1a:2b:3c:4d:5e"
        << "00:1a:2b:3c:4d:5e" << false;
    QTest::newRow("300 is refused") << false << filled << 2 << 1 << "10.77.0.300"
                                    << "10.77.0.30" << true;
    QTest::newRow("a fifth part is refused") << false << filled << 1 << 0 << "10.77.0.1.5"
                                             << "10.77.0.1" << true;
    QTest::newRow("an empty part is refused") << false << filled << 0 << 3 << "10..0.1"
                                              << "192.0.0.64" << true;
    QTest::newRow("a digit before the last part's") << false << filled << 3 << 0 << "1"
                                                    << "192.0.0.164" << false;
    QTest::newRow("a digit too many in the last part") << false << filled << 3 << 2 << "5"
                                                       << "192.0.0.64" << true;
}

void TestAddrEdits::wholeAddressFromAnywhere() {
    QFETCH(bool, mac);
    QFETCH(QString, before);
    QFETCH(int, part);
    QFETCH(int, cursor);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QFETCH(bool, refused);
    Field field(mac);
    QVERIFY(showActive(&field.window));
    QVERIFY(field.edit->setText(before));
    QSignalSpy refusals(field.edit, SIGNAL(inputRefused()));
    AddrPartLineEdit* start = field.edit->parts()[part];
    QTest::mouseClick(start, Qt::LeftButton, Qt::NoModifier, QPoint(2, start->height() / 2));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(start));
    start->deselect();
    start->setCursorPosition(cursor);
    typeIntoFocus(keys);
    QCOMPARE(field.edit->text(), text);
    QCOMPARE(field.edit->showsRefusal(), refused);
    if (refused)
        QVERIFY(refusals.count() > 0);
}

void TestAddrEdits::pasteTakesOnlyWholeAddresses_data() {
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");
    QTest::newRow("whole address") << " 10.77.0.100\n"
                                   << "10.77.0.100" << false;
    QTest::newRow("not an address") << "10.77.0.300"
                                    << "192.0.0.64" << true;
    QTest::newRow("three parts") << "10.77.0"
                                 << "192.0.0.64" << true;
}

void TestAddrEdits::pasteTakesOnlyWholeAddresses() {
    QFETCH(QString, clipboard);
    QFETCH(QString, text);
    QFETCH(bool, refused);
    Field field(false);
    QVERIFY(showActive(&field.window));
    QVERIFY(field.edit->setText("192.0.0.64"));
    QApplication::clipboard()->setText(clipboard);
    field.edit->parts()[2]->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(field.edit->text(), text);
    QCOMPARE(field.edit->showsRefusal(), refused);
}

void TestAddrEdits::leadingZerosDroppedOnFocusOut_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("left");
    QTest::newRow("050") << "10.77.0.050"
                         << "10.77.0.050"
                         << "10.77.0.50";
    QTest::newRow("010 in the first part") << "010"
                                           << "010..."
                                           << "10...";
    QTest::newRow("000") << "000"
                         << "000..."
                         << "0...";
    QTest::newRow("plain") << "10.0.0.5"
                           << "10.0.0.5"
                           << "10.0.0.5";
}

void TestAddrEdits::leadingZerosDroppedOnFocusOut() {
    QFETCH(QString, keys);
    QFETCH(QString, typed);
    QFETCH(QString, left);
    Field field(false);
    QLineEdit* other = new QLineEdit(&field.window);
    field.window.layout()->addWidget(other);
    QVERIFY(showActive(&field.window));
    field.edit->setFocus();
    typeIntoFocus(keys);
    // While the part has the focus the installer's digits stay as typed.
    if (field.focusedPart() == 3)
        QCOMPARE(field.edit->text(), typed);
    other->setFocus();
    QCOMPARE(field.edit->text(), left);
}

void TestAddrEdits::backspaceJoinsPreviousPart() {
    Field field(false);
    QVERIFY(showActive(&field.window));
    field.edit->setText("10.123.0.1");
    AddrPartLineEdit* part1 = field.edit->parts()[1];
    AddrPartLineEdit* part2 = field.edit->parts()[2];
    part2->setText("");
    part2->setFocus();
    keyIntoFocus(Qt::Key_Backspace);
    QCOMPARE(field.focusedPart(), 1);
    QCOMPARE(part1->text(), QString("12"));
    QCOMPARE(part1->cursorPosition(), 2);
    QVERIFY(!part1->hasSelectedText());
    // Backspace in the first part never leaves it.
    field.edit->parts()[0]->setFocus();
    field.edit->parts()[0]->setText("");
    keyIntoFocus(Qt::Key_Backspace);
    QCOMPARE(field.focusedPart(), 0);
    QCOMPARE(field.edit->text(), QString(".12..1"));
}

void TestAddrEdits::arrowsCrossParts_data() {
    QTest::addColumn<int>("startPart");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("focusedPart");
    QTest::addColumn<int>("cursorAfter");
    QTest::newRow("left at start goes back") << 1 << 0 << int(Qt::Key_Left) << 0 << 3;
    QTest::newRow("left inside stays") << 1 << 2 << int(Qt::Key_Left) << 1 << 1;
    QTest::newRow("left in first part stays") << 0 << 0 << int(Qt::Key_Left) << 0 << 0;
    QTest::newRow("right at end goes on") << 1 << 3 << int(Qt::Key_Right) << 2 << 0;
    QTest::newRow("right inside stays") << 1 << 1 << int(Qt::Key_Right) << 1 << 2;
    QTest::newRow("right in last part stays") << 3 << 1 << int(Qt::Key_Right) << 3 << 1;
}

void TestAddrEdits::arrowsCrossParts() {
    QFETCH(int, startPart);
    QFETCH(int, cursor);
    QFETCH(int, key);
    QFETCH(int, focusedPart);
    QFETCH(int, cursorAfter);
    Field field(false);
    QVERIFY(showActive(&field.window));
    field.edit->setText("192.168.100.1");
    AddrPartLineEdit* start = field.edit->parts()[startPart];
    start->setFocus();
    start->setCursorPosition(cursor);
    keyIntoFocus(Qt::Key(key));
    QCOMPARE(field.focusedPart(), focusedPart);
    QCOMPARE(field.edit->parts()[focusedPart]->cursorPosition(), cursorAfter);
}

void TestAddrEdits::inputMethodSeparator_data() {
    QTest::addColumn<bool>("mac");
    QTest::addColumn<QString>("commit");
    QTest::addColumn<QString>("partText");
    QTest::addColumn<int>("focusedPart");
    QTest::newRow("ideographic full stop") << false << QString(QChar(0x3002)) << "1" << 1;
    QTest::newRow("period") << false << "."
                            << "1" << 1;
    QTest::newRow("full stop in empty part") << false << QString(QChar(0x3002)) << "" << 0;
    QTest::newRow("colon is no ip separator") << false << QString(QChar(0xFF1A)) << "1" << 0;
    QTest::newRow("fullwidth colon") << true << QString(QChar(0xFF1A)) << "a" << 1;
    QTest::newRow("colon") << true << ":"
                           << "a" << 1;
    QTest::newRow("gbk bytes as latin-1 do not count")
        << true << QString::fromLatin1("\xA3\xBA") << "a" << 0;
}

void TestAddrEdits::inputMethodSeparator() {
    QFETCH(bool, mac);
    QFETCH(QString, commit);
    QFETCH(QString, partText);
    QFETCH(int, focusedPart);
    Field field(mac);
    QVERIFY(showActive(&field.window));
    AddrPartLineEdit* part0 = field.edit->parts()[0];
    part0->setText(partText);
    part0->setFocus();
    QInputMethodEvent event;
    event.setCommitString(commit);
    QApplication::sendEvent(part0, &event);
    QCOMPARE(field.focusedPart(), focusedPart);
    QCOMPARE(part0->text(), partText);
}

void TestAddrEdits::signalsCarryAllParts_data() {
    QTest::addColumn<bool>("mac");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("lastSignal");
    QTest::newRow("ip cleared") << false << "bad"
                                << "...";
    QTest::newRow("mac cleared") << true << "bad"
                                 << ":::::";
    QTest::newRow("ip set") << false << "1.2.3.4"
                            << "1.2.3.4";
}

void TestAddrEdits::signalsCarryAllParts() {
    QFETCH(bool, mac);
    QFETCH(QString, address);
    QFETCH(QString, lastSignal);
    Field field(mac);
    field.edit->setText(mac ? "11:22:33:44:55:66" : "9.9.9.9");
    QSignalSpy changed(field.edit, SIGNAL(textchanged(QString)));
    QSignalSpy edited(field.edit, SIGNAL(textedited(QString)));
    field.edit->setText(address);
    // One emission per part whose text changed, each with all parts.
    QCOMPARE(changed.count(), field.edit->parts().size());
    QCOMPARE(edited.count(), changed.count());
    QCOMPARE(changed.last().at(0).toString(), lastSignal);
    QCOMPARE(edited.last().at(0).toString(), lastSignal);
    if (lastSignal.remove(mac ? ':' : '.').isEmpty())
        QCOMPARE(field.edit->text(), QString());
}

void TestAddrEdits::focusedLookFollowsParts() {
    Field field(false);
    QLineEdit other(&field.window);
    field.window.layout()->addWidget(&other);
    QVERIFY(showActive(&field.window));
    other.setFocus();
    QVERIFY(!field.edit->styleSheet().contains("rgb(0,30,36)"));
    field.edit->parts()[2]->setFocus();
    QVERIFY(field.edit->styleSheet().contains("rgb(0,30,36)"));
    field.edit->parts()[3]->setFocus();
    QVERIFY(field.edit->styleSheet().contains("rgb(0,30,36)"));
    other.setFocus();
    QVERIFY(!field.edit->styleSheet().contains("rgb(0,30,36)"));
}

QTEST_MAIN(TestAddrEdits)
#include "AddrEditsTest.moc"
