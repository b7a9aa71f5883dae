// The device tree's header on a tree of its own: column menu, sorting by a
// press well inside six sections, filter buttons under the pointer, and the
// placement of title, sort indicator and button in every language.
#include "DeviceColumns.h"
#include "DeviceTreeHeaderView.h"
#include "HeaderButton.h"
#include "MainWindowTestSupport.h"
#include "VistaTreeWidget.h"
#include "VistaTreeWidgetItem.h"
#include "ZVKMenu.h"

#include <QAction>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QSettings>
#include <QStyle>
#include <QTest>

using namespace windowtest;

class TestDeviceTreeHeaderView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void columnMenuAtStart();
    void columnMenuShowsAndHides();
    void lastColumnCannotBeHidden();
    void hiddenColumnKeepsItsWidth();
    void pressSorts_data();
    void pressSorts();
    void clickSortsAndTurnsOrder_data();
    void clickSortsAndTurnsOrder();
    void releaseLeavesHeaderNotClickable();
    void buttonsFollowPointer();
    void buttonStaysWhileMenuOpen();
    void buttonsFollowMovedColumn();
    void sectionLayoutKeepsApart_data();
    void sectionLayoutKeepsApart();

private:
    void press(int column, int offset, Qt::MouseButton button = Qt::LeftButton);
    void release(int column, int offset);
    void moveTo(int column);
    QStringList columnTexts(int column) const;

    VistaTreeWidget* m_tree = nullptr;
    DeviceTreeHeaderView* m_header = nullptr;
    QWidget* m_buttons[3] = {};
};

void TestDeviceTreeHeaderView::initTestCase() {
    applyLook();
    openLanguage();
}

// The tree as the window builds it: columns, widths, buttons on 1, 3, 5.
void TestDeviceTreeHeaderView::init() {
    m_tree = new VistaTreeWidget;
    m_header = new DeviceTreeHeaderView(Qt::Horizontal, m_tree, m_tree);
    m_header->setMinimumSectionSize(70);
    m_header->setStretchLastSection(false);
    m_tree->setHeader(m_header);
    m_tree->setColumnCount(kDeviceColumnCount);
    for (int c = 0; c < kDeviceColumnCount; ++c)
        m_tree->setColumnWidth(c, kDeviceColumns[c].width);
    const int withButton[3] = {COL_TYPE, COL_IP, COL_DATA_PORT};
    for (int i = 0; i < 3; ++i) {
        m_buttons[i] = new HeaderButton(m_header);
        m_header->setSectionWidget(withButton[i], m_buttons[i], CheckBoxHeaderView::PlaceRight);
    }
    const char* const ips[] = {"192.168.0.1", "10.0.0.10", "not an address", "10.0.0.2"};
    const char* const ports[] = {"8000", "80", "9008", "x"};
    for (int i = 0; i < 4; ++i) {
        QTreeWidgetItem* item = new VistaTreeWidgetItem;
        item->setText(COL_IP, ips[i]);
        item->setText(COL_DATA_PORT, ports[i]);
        item->setText(0, QString::number(i));
        item->setText(4, QString::number(9 - i));
        item->setText(COL_MAC, QStringLiteral("AA:%1").arg(3 - i));
        m_tree->addTopLevelItem(item);
    }
    for (int c = 0; c < kDeviceColumnCount; ++c)
        m_tree->setColumnHidden(c, kDeviceColumns[c].hidden);
    m_tree->resize(1800, 300);
    m_tree->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_tree));
    m_tree->setSortingEnabled(false); // as after the first arrival
}

void TestDeviceTreeHeaderView::cleanup() { delete m_tree; }

void TestDeviceTreeHeaderView::press(int column, int offset, Qt::MouseButton button) {
    const QPoint at(m_header->sectionViewportPosition(column) + offset, 10);
    QMouseEvent event(QEvent::MouseButtonPress, at, button, button, Qt::NoModifier);
    QApplication::sendEvent(m_header->viewport(), &event);
}

void TestDeviceTreeHeaderView::release(int column, int offset) {
    const QPoint at(m_header->sectionViewportPosition(column) + offset, 10);
    QMouseEvent event(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(m_header->viewport(), &event);
}

void TestDeviceTreeHeaderView::moveTo(int column) {
    const QPoint at(m_header->sectionViewportPosition(column) + 10, 10);
    QMouseEvent event(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(m_header->viewport(), &event);
}

QStringList TestDeviceTreeHeaderView::columnTexts(int column) const {
    QStringList texts;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        texts.append(m_tree->topLevelItem(i)->text(column));
    return texts;
}

void TestDeviceTreeHeaderView::columnMenuAtStart() {
    QCOMPARE(m_header->columnMenu()->actions().size(), kDeviceColumnCount);
    for (int c = 0; c < kDeviceColumnCount; ++c) {
        QAction* entry = m_header->columnAction(c);
        QCOMPARE(entry->text(), GetText(kDeviceColumns[c].key));
        QVERIFY(entry->isCheckable());
        QCOMPARE(entry->isChecked(), c < 12 || c > 14);
        QCOMPARE(m_header->isSectionHidden(c), !entry->isChecked());
    }
    QVERIFY(m_header->sectionsMovable());
}

void TestDeviceTreeHeaderView::columnMenuShowsAndHides() {
    m_header->columnAction(14)->trigger();
    QVERIFY(!m_header->isSectionHidden(14));
    m_header->columnAction(3)->trigger();
    QVERIFY(m_header->isSectionHidden(3));
    m_header->columnAction(3)->trigger();
    QVERIFY(!m_header->isSectionHidden(3));
}

void TestDeviceTreeHeaderView::lastColumnCannotBeHidden() {
    for (int c = 0; c < kDeviceColumnCount - 1; ++c) {
        if (m_header->columnAction(c)->isChecked())
            m_header->columnAction(c)->trigger();
    }
    QAction* last = m_header->columnAction(kDeviceColumnCount - 1);
    QVERIFY(last->isChecked());
    last->trigger();
    QVERIFY(last->isChecked());
    QVERIFY(!m_header->isSectionHidden(kDeviceColumnCount - 1));
    QCOMPARE(m_header->hiddenSectionCount(), kDeviceColumnCount - 1);
}

// A press on a column that does not sort leaves every column's width as it
// was, the hidden device-type column's too: shown again, it comes back as
// wide as before.
void TestDeviceTreeHeaderView::hiddenColumnKeepsItsWidth() {
    m_header->resizeSection(1, 150);
    m_header->columnAction(1)->trigger();
    QVERIFY(m_header->isSectionHidden(1));
    press(0, 20);
    release(0, 20);
    m_header->columnAction(1)->trigger();
    QVERIFY(!m_header->isSectionHidden(1));
    QCOMPARE(m_header->sectionSize(1), 150);
}

void TestDeviceTreeHeaderView::pressSorts_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("x");
    QTest::addColumn<bool>("sorts");
    // Section at 100, 120 wide, grip margin 4.
    QTest::newRow("ip, middle") << 3 << 160 << true;
    QTest::newRow("ip, just inside left grip") << 3 << 104 << true;
    QTest::newRow("ip, on the left grip") << 3 << 103 << false;
    QTest::newRow("ip, just inside right grip") << 3 << 215 << true;
    QTest::newRow("ip, on the right grip") << 3 << 216 << false;
    for (int c : {5, 8, 9, 10, 11})
        QTest::newRow(qPrintable(QStringLiteral("sortable %1").arg(c))) << c << 160 << true;
    for (int c : {0, 1, 2, 4, 6, 7, 12, 13, 14, 15, -1})
        QTest::newRow(qPrintable(QStringLiteral("not sortable %1").arg(c))) << c << 160 << false;
}

void TestDeviceTreeHeaderView::pressSorts() {
    QFETCH(int, column);
    QFETCH(int, x);
    QTEST(DeviceTreeHeaderView::pressSorts(column, x, 100, 120, 4), "sorts");
}

void TestDeviceTreeHeaderView::clickSortsAndTurnsOrder_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ascending");
    QTest::addColumn<QStringList>("descending");
    QTest::newRow("ip by octet, a non-address as text")
        << int(COL_IP) << QStringList{"10.0.0.2", "10.0.0.10", "192.168.0.1", "not an address"}
        << QStringList{"not an address", "192.168.0.1", "10.0.0.10", "10.0.0.2"};
    QTest::newRow("data port as numbers")
        << int(COL_DATA_PORT) << QStringList{"x", "80", "8000", "9008"}
        << QStringList{"9008", "8000", "80", "x"};
    QTest::newRow("mac as text") << int(COL_MAC) << QStringList{"AA:0", "AA:1", "AA:2", "AA:3"}
                                 << QStringList{"AA:3", "AA:2", "AA:1", "AA:0"};
}

// The first click sorts in the order opposite to the indicator's, the next
// turns it round.
void TestDeviceTreeHeaderView::clickSortsAndTurnsOrder() {
    QFETCH(int, column);
    QFETCH(QStringList, ascending);
    QFETCH(QStringList, descending);
    m_header->setSortIndicator(COL_IP, Qt::DescendingOrder);
    press(column, 30);
    release(column, 30);
    QCOMPARE(columnTexts(column), ascending);
    QVERIFY(m_header->isSortIndicatorShown());
    QCOMPARE(m_header->sortIndicatorSection(), column);
    press(column, 30);
    release(column, 30);
    QCOMPARE(columnTexts(column), descending);
}

// Columns 0 and 4 and a press on the grip do not sort and hide the
// indicator; a later press elsewhere does not sort through the base class.
void TestDeviceTreeHeaderView::releaseLeavesHeaderNotClickable() {
    const QStringList before = columnTexts(0);
    for (int column : {0, 4}) {
        press(column, 30);
        release(column, 30);
        QCOMPARE(columnTexts(0), before);
        QVERIFY(!m_header->isSortIndicatorShown());
        QVERIFY(!m_header->sectionsClickable());
    }
    const int grip = m_header->style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, m_header);
    press(COL_IP, grip - 1);
    release(COL_IP, grip - 1);
    QCOMPARE(columnTexts(0), before);
    QVERIFY(!m_header->isSortIndicatorShown());
}

void TestDeviceTreeHeaderView::buttonsFollowPointer() {
    moveTo(COL_TYPE);
    QVERIFY(m_buttons[0]->isVisible());
    QVERIFY(!m_buttons[1]->isVisible());
    moveTo(COL_IP);
    QVERIFY(!m_buttons[0]->isVisible());
    QVERIFY(m_buttons[1]->isVisible());
    moveTo(7);
    QVERIFY(!m_buttons[1]->isVisible());
    moveTo(COL_DATA_PORT);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(m_header, &leave);
    for (QWidget* button : m_buttons)
        QVERIFY(!button->isVisible());
}

void TestDeviceTreeHeaderView::buttonStaysWhileMenuOpen() {
    moveTo(COL_IP);
    m_header->slot_show(COL_IP);
    QVERIFY(m_header->isMenuOpen());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(m_header, &leave);
    QVERIFY(m_buttons[1]->isVisible());
    // Closed with the pointer elsewhere: the button goes.
    QCursor::setPos(m_header->mapToGlobal(QPoint(m_header->sectionViewportPosition(7) + 5, 5)));
    m_header->slot_hide(COL_IP);
    QVERIFY(!m_header->isMenuOpen());
    QVERIFY(!m_buttons[1]->isVisible());
}

void TestDeviceTreeHeaderView::buttonsFollowMovedColumn() {
    m_header->moveSection(m_header->visualIndex(COL_IP), 8);
    m_header->moveSection(m_header->visualIndex(COL_TYPE), 0);
    const int withButton[3] = {COL_TYPE, COL_IP, COL_DATA_PORT};
    for (int i = 0; i < 3; ++i) {
        const int c = withButton[i];
        const int x =
            CheckBoxHeaderView::sectionWidgetX(m_header->sectionViewportPosition(c),
                                               m_header->sectionSize(c), m_buttons[i]->width(), 2);
        QCOMPARE(m_buttons[i]->x(), x);
    }
    moveTo(COL_IP);
    QVERIFY(m_buttons[1]->isVisible());
    // The open menu names its column; moved columns keep its button shown.
    moveTo(7);
    m_header->slot_show(COL_IP);
    QVERIFY(m_buttons[1]->isVisible());
    QVERIFY(!m_buttons[0]->isVisible() && !m_buttons[2]->isVisible());
    QCursor::setPos(m_header->mapToGlobal(QPoint(m_header->sectionViewportPosition(7) + 5, 5)));
    m_header->slot_hide(COL_IP);
    QVERIFY(!m_buttons[1]->isVisible());
}

void TestDeviceTreeHeaderView::sectionLayoutKeepsApart_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("column");
    for (const char* file :
         {"English (United States)", "Chinese (PRC)", "Chinese (Taiwan)", "Russian"})
        for (int c = 0; c < kDeviceColumnCount; ++c)
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(file).arg(c))) << file << c;
}

// Title, indicator and the filter button's place never meet, at the Part's
// widths, with the title in the header's font and the indicator shown.
void TestDeviceTreeHeaderView::sectionLayoutKeepsApart() {
    QFETCH(QString, language);
    QFETCH(int, column);
    const QString file = QCoreApplication::applicationDirPath() + "/language/" + language + ".ini";
    QSettings texts(file, QSettings::IniFormat);
    texts.setIniCodec("UTF-8");
    const QString title = texts.value(QString("text/") + kDeviceColumns[column].key).toString();
    QVERIFY(!title.isEmpty());
    const int width = kDeviceColumns[column].width;
    const bool hasButton = column == COL_TYPE || column == COL_IP || column == COL_DATA_PORT;
    const auto layout = DeviceTreeHeaderView::sectionLayout(width, 32, hasButton, true);
    const QRect button(CheckBoxHeaderView::sectionWidgetX(0, width, 32, 2), 0, 32, 33);
    const QFontMetrics metrics(m_header->font());
    const int textWidth = qMin(metrics.horizontalAdvance(title), layout.title.width());
    QRect text(0, 0, textWidth, metrics.height());
    text.moveCenter(layout.title.center());
    QVERIFY(!text.intersects(layout.arrow));
    QVERIFY(layout.title.left() >= 0 && layout.arrow.left() >= 0);
    if (hasButton) {
        QVERIFY(!layout.title.intersects(button));
        QVERIFY(!layout.arrow.intersects(button));
    }
    QVERIFY(layout.arrow.right() < width && layout.title.right() < width);
}

QTEST_MAIN(TestDeviceTreeHeaderView)
#include "DeviceTreeHeaderViewTest.moc"
