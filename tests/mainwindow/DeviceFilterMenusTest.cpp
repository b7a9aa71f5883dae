// The three filter menus on their own: the range menus' panel, what OK and
// Cancel emit, the show and hide signals the header follows, and presses
// inside and outside an open menu.
#include "DeviceFilterMenus.h"
#include "IpAddrEdit.h"
#include "MainWindowTestSupport.h"
#include "PortLineEdit.h"
#include "ZVKCheckBox.h"
#include "ZVKPushButton.h"

#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace windowtest;

class TestDeviceFilterMenus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void panelGeometry_data();
    void panelGeometry();
    void conditionEnablesFields_data();
    void conditionEnablesFields();
    void okEmits_data();
    void okEmits();
    void cancelEmitsNothingAndRevertsFields();
    void showAndHideCarryColumn_data();
    void showAndHideCarryColumn();
    void pressInsideKeepsOpen();
    void textsFitTheirPlaces_data();
    void textsFitTheirPlaces();

private:
    static std::unique_ptr<RangeFilterMenu> make(const QString& kind);
    static void fill(RangeFilterMenu* menu, const QString& first, const QString& last);
};

void TestDeviceFilterMenus::initTestCase() {
    applyLook();
    // The run's locale picks the language, as the program does.
    g_languageId = LanguageIdFromLocaleName(QLocale::system().name());
    InitLanguage(QCoreApplication::applicationDirPath().toUtf8(), g_languageId);
}

std::unique_ptr<RangeFilterMenu> TestDeviceFilterMenus::make(const QString& kind) {
    if (kind == "ip")
        return std::unique_ptr<RangeFilterMenu>(new IPFilterMenu(3));
    return std::unique_ptr<RangeFilterMenu>(new PortFilterMenu(5));
}

void TestDeviceFilterMenus::fill(RangeFilterMenu* menu, const QString& first, const QString& last) {
    if (auto* ip = qobject_cast<IPFilterMenu*>(menu)) {
        ip->startField()->setText(first);
        ip->endField()->setText(last);
    } else if (auto* port = qobject_cast<PortFilterMenu*>(menu)) {
        port->startField()->setText(first);
        port->endField()->setText(last);
    }
}

void TestDeviceFilterMenus::panelGeometry_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("startKey");
    QTest::newRow("ip") << "ip"
                        << "IDCS_IP_START";
    QTest::newRow("port") << "port"
                          << "IDCS_PORT_START";
}

void TestDeviceFilterMenus::panelGeometry() {
    QFETCH(QString, kind);
    QFETCH(QString, startKey);
    if (!qgetenv("LC_ALL").startsWith("en_US"))
        QSKIP("the places are those the English texts fit; textsFitTheirPlaces covers the rest");
    auto menu = make(kind);
    menu->popup(QPoint(50, 50));
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->size(), QSize(300, 155));
    QCOMPARE(menu->conditionBox()->geometry(), QRect(10, 10, 115, 26));
    QCOMPARE(menu->startLabel()->geometry(), QRect(10, 45, 80, 26));
    QCOMPARE(menu->endLabel()->geometry(), QRect(10, 80, 80, 26));
    QCOMPARE(menu->findChild<QWidget*>("startField")->geometry(), QRect(90, 45, 200, 26));
    QCOMPARE(menu->findChild<QWidget*>("endField")->geometry(), QRect(90, 80, 200, 26));
    QCOMPARE(menu->okButton()->geometry(), QRect(130, 120, 70, 23));
    QCOMPARE(menu->cancelButton()->geometry(), QRect(220, 120, 70, 23));
    QCOMPARE(menu->startLabel()->text(), GetText(startKey.toLatin1()));
    QCOMPARE(menu->conditionBox()->text(), GetText("IDCS_FILTER_CONDITION"));
    menu->close();
}

void TestDeviceFilterMenus::conditionEnablesFields_data() { panelGeometry_data(); }

void TestDeviceFilterMenus::conditionEnablesFields() {
    QFETCH(QString, kind);
    auto menu = make(kind);
    const QList<QWidget*> parts = {menu->startLabel(), menu->endLabel(),
                                   menu->findChild<QWidget*>("startField"),
                                   menu->findChild<QWidget*>("endField")};
    QVERIFY(!menu->conditionBox()->isChecked());
    for (QWidget* w : parts)
        QVERIFY(!w->isEnabled());
    menu->conditionBox()->setChecked(true);
    for (QWidget* w : parts)
        QVERIFY(w->isEnabled());
    menu->conditionBox()->setChecked(false);
    for (QWidget* w : parts)
        QVERIFY(!w->isEnabled());
}

void TestDeviceFilterMenus::okEmits_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("lastSent");
    QTest::newRow("ip checked") << "ip" << true << "192.168.1.10"
                                << "192.168.1.20"
                                << "192.168.1.20";
    QTest::newRow("ip checked, blank field as it stands") << "ip" << true << "10.0.0.1"
                                                          << ""
                                                          << "";
    QTest::newRow("ip unchecked clears") << "ip" << false << "192.168.1.10"
                                         << "192.168.1.20"
                                         << "";
    QTest::newRow("port checked") << "port" << true << "80"
                                  << "8000"
                                  << "8000";
    QTest::newRow("port checked, blank") << "port" << true << "80"
                                         << ""
                                         << "";
    QTest::newRow("port unchecked clears") << "port" << false << "80"
                                           << "80"
                                           << "";
}

void TestDeviceFilterMenus::okEmits() {
    QFETCH(QString, kind);
    QFETCH(bool, checked);
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QString, lastSent);
    auto menu = make(kind);
    QSignalSpy changed(menu.get(), SIGNAL(filterChanged(QString, QString)));
    QSignalSpy cleared(menu.get(), SIGNAL(filterCleared()));
    menu->popup(QPoint(50, 50));
    QTRY_VERIFY(menu->isVisible());
    menu->conditionBox()->setChecked(checked);
    fill(menu.get(), first, last);
    QTest::mouseClick(menu->okButton(), Qt::LeftButton);
    QTRY_VERIFY(!menu->isVisible());
    QCOMPARE(changed.count(), checked ? 1 : 0);
    QCOMPARE(cleared.count(), checked ? 0 : 1);
    if (checked) {
        QCOMPARE(changed.at(0).at(0).toString(), first);
        QCOMPARE(changed.at(0).at(1).toString(), lastSent);
    }
}

// Cancel leaves the filter as it was, and the menu shows it so: what was
// typed since it opened is put back.
void TestDeviceFilterMenus::cancelEmitsNothingAndRevertsFields() {
    IPFilterMenu menu(3);
    QSignalSpy changed(&menu, SIGNAL(filterChanged(QString, QString)));
    QSignalSpy cleared(&menu, SIGNAL(filterCleared()));
    menu.popup(QPoint(50, 50));
    QTRY_VERIFY(menu.isVisible());
    menu.conditionBox()->setChecked(true);
    menu.startField()->setText("10.1.2.3");
    QTest::mouseClick(menu.cancelButton(), Qt::LeftButton);
    QTRY_VERIFY(!menu.isVisible());
    QCOMPARE(changed.count() + cleared.count(), 0);
    QCOMPARE(menu.startField()->text(), QString());
    QVERIFY(!menu.conditionBox()->isChecked());
    // A range entered with OK is what the next Cancel returns to.
    menu.popup(QPoint(50, 50));
    QTRY_VERIFY(menu.isVisible());
    menu.conditionBox()->setChecked(true);
    menu.startField()->setText("10.1.2.3");
    QTest::mouseClick(menu.okButton(), Qt::LeftButton);
    QTRY_VERIFY(!menu.isVisible());
    menu.popup(QPoint(50, 50));
    QTRY_VERIFY(menu.isVisible());
    menu.startField()->setText("10.9.9.9");
    menu.conditionBox()->setChecked(false);
    QTest::keyClick(&menu, Qt::Key_Escape);
    QTRY_VERIFY(!menu.isVisible());
    QCOMPARE(menu.startField()->text(), QStringLiteral("10.1.2.3"));
    QVERIFY(menu.conditionBox()->isChecked());
}

void TestDeviceFilterMenus::showAndHideCarryColumn_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("column");
    QTest::newRow("type") << 0 << 1;
    QTest::newRow("ip") << 1 << 3;
    QTest::newRow("port") << 2 << 5;
}

void TestDeviceFilterMenus::showAndHideCarryColumn() {
    QFETCH(int, which);
    QFETCH(int, column);
    std::unique_ptr<QMenu> menu;
    if (which == 0) {
        menu.reset(new DeviceTypeFilterMenu);
        menu->addAction("all");
    } else {
        menu.reset(which == 1 ? static_cast<QMenu*>(new IPFilterMenu(3)) : new PortFilterMenu(5));
    }
    QSignalSpy shown(menu.get(), SIGNAL(show(int)));
    QSignalSpy hidden(menu.get(), SIGNAL(hide(int)));
    menu->popup(QPoint(40, 40));
    QTRY_COMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toInt(), column);
    QCOMPARE(hidden.count(), 0);
    menu->close();
    QTRY_COMPARE(hidden.count(), 1);
    QCOMPARE(hidden.at(0).at(0).toInt(), column);
}

void TestDeviceFilterMenus::pressInsideKeepsOpen() {
    PortFilterMenu menu(5);
    QSignalSpy cleared(&menu, SIGNAL(filterCleared()));
    menu.popup(QPoint(50, 50));
    QTRY_VERIFY(menu.isVisible());
    // Free area between the fields and the buttons.
    QTest::mouseClick(&menu, Qt::LeftButton, {}, QPoint(40, 130));
    QVERIFY(menu.isVisible());
    QTest::mouseClick(&menu, Qt::LeftButton, {}, QPoint(350, 400));
    QTRY_VERIFY(!menu.isVisible());
    QCOMPARE(cleared.count(), 0);
}

void TestDeviceFilterMenus::textsFitTheirPlaces_data() { panelGeometry_data(); }

// In every language no label is cut, fields start after the labels and the
// buttons stay inside the menu.
void TestDeviceFilterMenus::textsFitTheirPlaces() {
    QFETCH(QString, kind);
    auto menu = make(kind);
    menu->popup(QPoint(50, 50));
    QTRY_VERIFY(menu->isVisible());
    for (QLabel* label :
         {static_cast<QLabel*>(menu->startLabel()), static_cast<QLabel*>(menu->endLabel())}) {
        const int needed = label->fontMetrics().horizontalAdvance(label->text());
        QVERIFY2(label->width() >= needed, qPrintable(label->text()));
        QVERIFY(menu->findChild<QWidget*>("startField")->x() >= label->geometry().right());
    }
    QVERIFY(menu->conditionBox()->width() >= menu->conditionBox()->sizeHint().width());
    QVERIFY(menu->cancelButton()->geometry().right() < menu->width());
    QVERIFY(menu->findChild<QWidget*>("endField")->geometry().right() < menu->width());
    menu->close();
}

QTEST_MAIN(TestDeviceFilterMenus)
#include "DeviceFilterMenusTest.moc"
