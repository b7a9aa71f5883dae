// The real window in a private network with a dozen simulated devices in
// two foreign subnets, driven through its buttons, menus and keys.
#include "AboutDlg.h"
#include "AddrPartLineEdit.h"
#include "BoxDriver.h"
#include "IdentifyDialog.h"
#include "DevInfo.h"
#include "DeviceColumns.h"
#include "DeviceControlBar.h"
#include "DeviceActionRules.h"
#include "DeviceTreeHeaderView.h"
#include "HostProcess.h"
#include "IpAddrEdit.h"
#include "IconButton.h"
#include "MainWindow.h"
#include "MainWindowTestSupport.h"
#include "NcFramelessHelper.h"
#include "NetNamespace.h"
#include "StatusBar.h"
#include "ToolButton.h"
#include "VistaTreeWidget.h"
#include "ZVKLabel.h"
#include "ZVKMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionHeader>
#include <QTest>
#include <QTimer>

#include <QDir>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLocale>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QToolTip>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

using namespace windowtest;

namespace {

const int kFleet = 12;          // devices netns-run starts for this test
const int kFoundWithin = 15000; // ms: the first search answers within a second or two

template <class T> T* child(QWidget* window, const char* name) {
    T* widget = window->findChild<T*>(QLatin1String(name));
    if (widget == nullptr)
        qFatal("no child %s", name);
    return widget;
}

QList<QAction*> refreshEntries(MainWindow* window) {
    return child<ToolButton>(window, "refreshButton")->dropDownMenu()->actions();
}

QAction* refreshEntry(MainWindow* window, int seconds) {
    for (QAction* action : refreshEntries(window)) {
        if (action->data().toInt() == seconds)
            return action;
    }
    qFatal("no refresh entry %d", seconds);
    return nullptr;
}

QString onlineText(MainWindow* window) {
    return child<StatusBar>(window, "statusBar")->onlineLabel()->text();
}

QString onlineTextFor(int count) { return GetText("IDCS_DEVICE_ONLINE_NUM_D").arg(count); }

VistaTreeWidget* treeOf(MainWindow* window) { return child<VistaTreeWidget>(window, "deviceTree"); }

// Closes the application-modal box that appears next, once it is shown.
void closeNextModal(QString* className) {
    QTimer::singleShot(0, [className] {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr) {
            closeNextModal(className);
            return;
        }
        *className = QString::fromLatin1(box->metaObject()->className());
        box->close();
    });
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void constructionState();
    void devicesArriveAndAreCounted();
    void refreshMenuTransitions();
    void refreshButton_data();
    void refreshButton();
    void layout_data();
    void layout();
    void deviceBarToggle();
    void maximiseAndRestore();
    void titleStripDoubleClick_data();
    void titleStripDoubleClick();
    void restoredFromTaskBar();
    void lateButtonsAreNotDefault();
    void treeHasFocusAtStart();
    void findNarrowsRowsAndCount();
    void sortHoldsWhileDevicesArrive();
    void refreshKeepsSelectionAndDropsQueuedEvents();
    void pageThatCannotOpenIsTold();
    void rowMenuActs();
    void identifyEntryAsksThePasswordAndTellsTheOutcome();
    void activationEntriesFollowTheSelection();
    void foreignSubnetMarked();
    void scrollBarContextMenuSwallowed();
    void escapeAndReturnDoNothing();
    void aboutBox();
    void hostNetworkInStatusBar();
    void shutdownWithEventsInFlight();
    void textsHaveGlyphs();
    void headerTitlesShowWhole();
    void fixedCellTextsShowWhole();
    void everyTabStopShowsFocus();
    void findReachesItsFieldAfterABoxWithoutWindowManager();
    void panelDeviceLooksSelectedWithoutWindowManager();
    void sharedAddressesAreMarkedAndCounted();
    void macAndActivationShowAt1600Pixels();
    void cutNamesShowWholeInTheirTip();
    void exportStartsAtHomeAndSaysWhereItWrote();
    void tracesOnlyWhenAsked_data();
    void tracesOnlyWhenAsked();

private:
    // Selects the row, types a password into the side panel and presses
    // Return there: a request the device refuses (the simulated devices'
    // password is another). Waits for its box.
    void sendWrongPassword(int row, BoxDriver* boxes);
    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindow::initTestCase() {
    REQUIRE_PRIVATE_NETWORK();
    applyLook();
}

void TestMainWindow::init() { m_window.reset(new MainWindow); }

void TestMainWindow::cleanup() { m_window.reset(); }

void TestMainWindow::constructionState() {
    MainWindow* w = m_window.get();
    QCOMPARE(g_mainWindow, w);
    QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(w->minimumSize(), QSize(1024, 700));
    QCOMPARE(w->onlineCount(), 0);
    QCOMPARE(onlineText(w), onlineTextFor(0));
    QCOMPARE(w->manager().GetAutoSearch(), 5);
    QVERIFY(!w->refreshDisabled());
    QVERIFY(!w->isMaximized());
    QStringList texts, checked;
    QList<int> data;
    for (QAction* action : refreshEntries(w)) {
        texts.append(action->text());
        data.append(action->data().toInt());
        QVERIFY(action->isCheckable());
        if (action->isChecked())
            checked.append(action->text());
    }
    QCOMPARE(data, (QList<int>{0, 5, 10, 30}));
    QCOMPARE(texts.at(3), GetText("IDCS_AUTO_REFRESH_BY_15S"));
    QCOMPARE(checked, QStringList{GetText("IDCS_AUTO_REFRESH_BY_5S")});
    QCOMPARE(child<ZVKLabel>(w, "titleLabel")->text(), GetText("IDCS_DEVICE_NETWORK_SEARCH"));
    QVERIFY(child<IconButton>(w, "deviceBarToggle")->isChecked());
    VistaTreeWidget* tree = treeOf(w);
    QCOMPARE(tree->columnCount(), kDeviceColumnCount);
    for (int c = 0; c < kDeviceColumnCount; ++c) {
        QCOMPARE(tree->isColumnHidden(c), c >= 12 && c <= 14);
        QCOMPARE(tree->headerItem()->text(c), GetText(kDeviceColumns[c].key));
    }
    QCOMPARE(tree->header()->sortIndicatorSection(), int(COL_IP));
    QCOMPARE(tree->header()->minimumSectionSize(), 70);
    QVERIFY(!tree->header()->stretchLastSection());
}

void TestMainWindow::devicesArriveAndAreCounted() {
    MainWindow* w = m_window.get();
    w->show();
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    QCOMPARE(treeOf(w)->topLevelItemCount(), kFleet);
    QCOMPARE(w->deviceList().size(), kFleet);
    QCOMPARE(onlineText(w), onlineTextFor(kFleet));
    // Every row points at its record, and the MAC column shows its identity.
    for (int i = 0; i < kFleet; ++i) {
        QTreeWidgetItem* item = treeOf(w)->topLevelItem(i);
        auto* record = static_cast<DevInfo*>(item->data(0, Qt::UserRole).value<void*>());
        QVERIFY(w->deviceList().contains(record));
        QCOMPARE(item->text(COL_MAC), record->mac);
        QCOMPARE(item->textAlignment(COL_IP), int(Qt::AlignCenter));
    }
}

void TestMainWindow::refreshMenuTransitions() {
    MainWindow* w = m_window.get();
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    // Between two intervals the list stays.
    refreshEntry(w, 10)->trigger();
    QCOMPARE(w->manager().GetAutoSearch(), 10);
    QCOMPARE(w->onlineCount(), kFleet);
    refreshEntry(w, 30)->trigger();
    QCOMPARE(w->manager().GetAutoSearch(), 30);
    QCOMPARE(w->deviceList().size(), kFleet);
    // Disabled keeps the list, and stops the automatic search.
    refreshEntry(w, 0)->trigger();
    QVERIFY(w->refreshDisabled());
    QCOMPARE(w->manager().GetAutoSearch(), 0);
    QCOMPARE(w->onlineCount(), kFleet);
    // Leaving the disabled mode empties list, tree and count at once.
    refreshEntry(w, 10)->trigger();
    QVERIFY(!w->refreshDisabled());
    QCOMPARE(w->onlineCount(), 0);
    QCOMPARE(w->deviceList().size(), 0);
    QCOMPARE(treeOf(w)->topLevelItemCount(), 0);
    QCOMPARE(onlineText(w), onlineTextFor(0));
    QCOMPARE(w->manager().GetAutoSearch(), 10);
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
}

void TestMainWindow::refreshButton_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("automatic every 5 s") << 5;
    QTest::newRow("disabled: one manual search") << 0;
}

void TestMainWindow::refreshButton() {
    QFETCH(int, mode);
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    refreshEntry(w, mode)->trigger();
    ToolButton* button = child<ToolButton>(w, "refreshButton");
    // A press left of the drop-down part is a press of the button itself.
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, button->height() / 2));
    QCOMPARE(w->onlineCount(), 0);
    QCOMPARE(w->deviceList().size(), 0);
    QCOMPARE(onlineText(w), onlineTextFor(0));
    QCOMPARE(w->manager().GetAutoSearch(), mode);
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
}

void TestMainWindow::layout_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("smallest") << QSize(1024, 700);
    QTest::newRow("large") << QSize(1600, 1000);
}

void TestMainWindow::layout() {
    QFETCH(QSize, size);
    MainWindow* w = m_window.get();
    w->resize(size);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const int W = size.width(), H = size.height();
    ToolButton* refresh = child<ToolButton>(w, "refreshButton");
    const int t = refresh->fontMetrics().horizontalAdvance(refresh->text());
    QPushButton* about = child<QPushButton>(w, "aboutButton");
    // English "About" fits the 50 pixels the skin gives it; a longer text
    // widens the button leftwards and moves the toggle with it. Whichever,
    // the text fits the button's contents.
    const int a = about->width();
    if (g_languageId == 0x409)
        QCOMPARE(a, 50);
    QStyleOptionButton option;
    option.initFrom(about);
    option.text = about->text();
    const QRect contents =
        about->style()->subElementRect(QStyle::SE_PushButtonContents, &option, about);
    QVERIFY(about->fontMetrics().horizontalAdvance(about->text()) <= contents.width());
    const struct {
        const char* name;
        QRect rect;
    } expected[] = {
        {"titleLabel", {0, 2, W - 4, 57}},
        {"minimiseButton", {W - 83, 3, 22, 22}},
        {"firstSeparator", {W - 58, 2, 1, 23}},
        {"maximiseButton", {W - 54, 3, 22, 22}},
        {"secondSeparator", {W - 29, 2, 1, 23}},
        {"closeButton", {W - 25, 3, 22, 22}},
        {"toolStrip", {7, 59, W - 14, 34}},
        {"refreshButton", {30, 63, t + 40, 26}},
        {"deviceBarToggle", {W - 50 - a, 63, 26, 26}},
        {"aboutButton", {W - 20 - a, 63, a, 26}},
        {"statusBar", {7, H - 37, W - 14, 30}},
        {"deviceTree", {7, 92, W - 315, H - 129}},
        {"controlBar", {W - 308, 92, 301, H - 129}},
    };
    for (const auto& e : expected)
        QCOMPARE(child<QWidget>(w, e.name)->geometry(), e.rect);
    QCOMPARE(w->normalGeometry(), w->geometry());
}

void TestMainWindow::deviceBarToggle() {
    MainWindow* w = m_window.get();
    w->resize(1200, 800);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    IconButton* toggle = child<IconButton>(w, "deviceBarToggle");
    QWidget* bar = child<QWidget>(w, "controlBar");
    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(!toggle->isChecked());
    QVERIFY(!bar->isVisible());
    QCOMPARE(treeOf(w)->geometry(), QRect(7, 92, 1200 - 14, 800 - 129));
    QCOMPARE(toggle->iconPath(), QStringLiteral(":/skin/divide_close.png"));
    // A resize while hidden keeps the wide tree.
    w->resize(1300, 800);
    QTRY_COMPARE(treeOf(w)->width(), 1300 - 14);
    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(bar->isVisible());
    QCOMPARE(treeOf(w)->geometry(), QRect(7, 92, 1300 - 315, 800 - 129));
    QCOMPARE(bar->geometry(), QRect(1300 - 308, 92, 301, 800 - 129));
    QCOMPARE(toggle->iconPath(), QStringLiteral(":/skin/divide_open.png"));
}

void TestMainWindow::maximiseAndRestore() {
    MainWindow* w = m_window.get();
    const QRect normal(40, 30, 1100, 720);
    w->setGeometry(normal);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    NcFramelessHelper* helper = w->findChild<NcFramelessHelper*>();
    QVERIFY(helper != nullptr);
    QPushButton* maximise = child<QPushButton>(w, "maximiseButton");
    QTest::mouseClick(maximise, Qt::LeftButton);
    QVERIFY(w->isMaximized());
    // A screen smaller than the window's minimum size gets the minimum size.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(w->geometry(), QRect(area.topLeft(), area.size().expandedTo(w->minimumSize())));
    QCOMPARE(w->normalGeometry(), normal);
    QVERIFY(!helper->isResizable() && !helper->isMovable());
    QVERIFY(maximise->styleSheet().contains("normal.png"));
    QVERIFY(!(w->windowState() & Qt::WindowMaximized)); // the flag is the window's own
    QTest::mouseClick(maximise, Qt::LeftButton);
    QVERIFY(!w->isMaximized());
    QTRY_COMPARE(w->geometry(), normal);
    QVERIFY(helper->isResizable() && helper->isMovable());
    QVERIFY(maximise->styleSheet().contains("max.png"));
}

void TestMainWindow::titleStripDoubleClick_data() {
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<bool>("maximises");
    QTest::newRow("inside the strip") << QPoint(300, 15) << true;
    QTest::newRow("top edge of the strip") << QPoint(300, 5) << true;
    QTest::newRow("bottom row of the strip") << QPoint(300, 27) << true;
    QTest::newRow("below the strip") << QPoint(300, 28) << false;
    QTest::newRow("on the border") << QPoint(2, 15) << false;
}

void TestMainWindow::titleStripDoubleClick() {
    QFETCH(QPoint, pos);
    QFETCH(bool, maximises);
    MainWindow* w = m_window.get();
    w->setGeometry(50, 50, 1024, 700);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // Sent to the window itself: the title label lies over the strip and
    // passes its double clicks on to it.
    QTest::mouseDClick(w, Qt::LeftButton, Qt::NoModifier, pos);
    QCOMPARE(w->isMaximized(), maximises);
    if (maximises) {
        QTest::mouseDClick(w, Qt::LeftButton, Qt::NoModifier, pos);
        QVERIFY(!w->isMaximized());
        QTRY_COMPARE(w->geometry(), QRect(50, 50, 1024, 700));
    }
}

void TestMainWindow::restoredFromTaskBar() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const WId native = w->winId();
    const QRect geometry = w->geometry();
    w->showMinimized();
    QTRY_VERIFY(w->windowState() & Qt::WindowMinimized);
    w->setWindowState(Qt::WindowNoState);
    QTRY_VERIFY(w->isVisible());
    QCOMPARE(int(w->windowFlags()),
             int(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint));
    // The same native window at the same place: a state change re-creates
    // nothing.
    QCOMPARE(w->winId(), native);
    QCOMPARE(w->geometry(), geometry);
}

// The frame strips auto-default from push buttons that arrive later deep
// inside the window; the window's own filtering must leave it doing so.
void TestMainWindow::lateButtonsAreNotDefault() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QFrame* holder = new QFrame(w);
    QFrame* inner = new QFrame(holder);
    QPushButton* button = new QPushButton(QStringLiteral("x"), inner);
    holder->show();
    QTRY_VERIFY(!button->autoDefault());
    QVERIFY(!button->isDefault());
    delete holder;
}

void TestMainWindow::treeHasFocusAtStart() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QApplication::setActiveWindow(w);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(treeOf(w)));
}

// Ctrl+F reaches the find field, the rows narrow as a fragment is typed
// (a MAC without separators here), the count says how many of how many in
// the language in use, and Escape clears the field and the narrowing.
void TestMainWindow::findNarrowsRowsAndCount() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QApplication::setActiveWindow(w);
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    w->slot_refreshMenuTriggered(refreshEntry(w, 0)); // no search empties the list meanwhile
    refreshEntry(w, 0)->setChecked(true);
    const QString mac = treeOf(w)->topLevelItem(3)->text(COL_MAC);
    auto* find = child<QLineEdit>(w, "findField");
    QTest::keyClick(treeOf(w), Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(find->hasFocus());
    QTest::keyClicks(find, QString(mac).remove(':').toLower());
    QCOMPARE(treeOf(w)->topLevelItemCount(), 1);
    QCOMPARE(treeOf(w)->topLevelItem(0)->text(COL_MAC), mac);
    QCOMPARE(w->onlineCount(), 1);
    QCOMPARE(onlineText(w), GetText("IDCS_DEVICE_ONLINE_SHOWN_D").arg(1).arg(kFleet));
    QVERIFY(!onlineText(w).contains(QLatin1String("%")));
    QTest::keyClick(find, Qt::Key_Escape);
    QCOMPARE(find->text(), QString());
    QCOMPARE(treeOf(w)->topLevelItemCount(), kFleet);
    QCOMPARE(onlineText(w), onlineTextFor(kFleet));
    QVERIFY(w->isVisible()); // Escape cleared the field, it did not close the window
}

// The sort the installer chose stays in force, indicator shown, while
// devices arrive, change and leave.
void TestMainWindow::sortHoldsWhileDevicesArrive() {
    MainWindow* w = m_window.get();
    w->show();
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    VistaTreeWidget* tree = treeOf(w);
    tree->sortByColumn(COL_MAC, Qt::DescendingOrder);
    w->Update(record(SEARCH_EVENT_NEW, "FF:00:00:00:00:01", "10.0.0.1"), &w->manager());
    w->Update(record(SEARCH_EVENT_NEW, "00:00:00:00:00:01", "10.0.0.2"), &w->manager());
    QTRY_COMPARE(tree->topLevelItemCount(), kFleet + 2);
    QTRY_VERIFY(tree->isSortingEnabled());
    QCOMPARE(tree->header()->sortIndicatorSection(), int(COL_MAC));
    QCOMPARE(tree->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    QVERIFY(tree->header()->isSortIndicatorShown());
    QCOMPARE(tree->topLevelItem(0)->text(COL_MAC), QStringLiteral("FF:00:00:00:00:01"));
    QCOMPARE(tree->topLevelItem(kFleet + 1)->text(COL_MAC), QStringLiteral("00:00:00:00:00:01"));
    w->Update(record(SEARCH_EVENT_GONE, "FF:00:00:00:00:01", "10.0.0.1"), &w->manager());
    QTRY_COMPARE(tree->topLevelItemCount(), kFleet + 1);
    QTRY_VERIFY(tree->isSortingEnabled());
    QVERIFY(tree->header()->isSortIndicatorShown());
}

// A refresh selects the device that was selected once it answers again,
// and events queued before it do not bring devices back as ghosts.
void TestMainWindow::refreshKeepsSelectionAndDropsQueuedEvents() {
    MainWindow* w = m_window.get();
    w->show();
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    VistaTreeWidget* tree = treeOf(w);
    tree->setCurrentItem(tree->topLevelItem(5));
    const QString mac = tree->currentItem()->text(COL_MAC);
    QCOMPARE(w->controlBar()->networkMac(), mac);
    // Queued, not yet merged: a device of the list about to be emptied.
    w->Update(record(SEARCH_EVENT_NEW, "02:00:00:00:AB:CD", "10.0.0.9"), &w->manager());
    w->slot_refresh();
    // No stale device in the form while the list is empty.
    QCOMPARE(w->controlBar()->networkMac(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    QTRY_VERIFY(tree->currentItem() != nullptr);
    QCOMPARE(tree->currentItem()->text(COL_MAC), mac);
    QCOMPARE(w->controlBar()->networkMac(), mac);
    for (const DevInfo* record : w->deviceList())
        QVERIFY(record->mac != QLatin1String("02:00:00:00:AB:CD"));
}

// A double click on a device the page of which cannot be found says so.
void TestMainWindow::pageThatCannotOpenIsTold() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTreeWidgetItem unknown;
    unknown.setText(COL_MAC, QStringLiteral("02:00:00:00:EE:EE"));
    BoxDriver boxes;
    w->slot_itemDoubleClicked(&unknown, COL_MAC);
    QTRY_COMPARE(boxes.count(), 1);
    QCOMPARE(boxes.seen().title, GetText("IDCS_ERROR"));
    QCOMPARE(boxes.seen().text, GetText("IDCS_WEB_PAGE_NO_ADDRESS"));
}

// Each entry of a row's context menu does what it says, on that row.
void TestMainWindow::rowMenuActs() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QApplication::setActiveWindow(w);
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    QTreeWidgetItem* row = treeOf(w)->topLevelItem(2);
    const QString mac = row->text(COL_MAC), ip = row->text(COL_IP);
    std::unique_ptr<QMenu> menu(w->rowMenu(row));
    auto entry = [&](const char* name) {
        QAction* action = menu->findChild<QAction*>(QLatin1String(name));
        if (action == nullptr)
            qFatal("no entry %s", name);
        return action;
    };
    entry("copyMacAction")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), mac);
    entry("copyIpAction")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), ip);
    entry("copyRowAction")->trigger();
    const QStringList cells = QApplication::clipboard()->text().split('\t');
    QVERIFY(cells.contains(mac));
    QVERIFY(cells.contains(ip));
    entry("modifyAction")->trigger();
    QTRY_VERIFY(QApplication::focusWidget() != nullptr);
    QCOMPARE(QApplication::focusWidget()->parentWidget()->objectName(), QStringLiteral("ipField"));
    entry("restoreAction")->trigger();
    QVERIFY(w->controlBar()->restoreSectionOpen());
    QCOMPARE(w->controlBar()->restoreMac(), mac);
    QTRY_COMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("okButton"));
    std::string opened;
    const UrlOpener previous = SetUrlOpener([&opened](const std::string& url) { opened = url; });
    entry("openPageAction")->trigger();
    QTRY_VERIFY(!opened.empty());
    SetUrlOpener(previous);
    QVERIFY(QString::fromStdString(opened).startsWith(QLatin1String("http")));

    // One activation entry, right after the batch entry, on every row; it
    // is enabled when the row (the selection) has no password yet.
    int offered = 0;
    for (int i = 0; i < treeOf(w)->topLevelItemCount(); ++i) {
        QTreeWidgetItem* each = treeOf(w)->topLevelItem(i);
        treeOf(w)->setCurrentItem(each);
        std::unique_ptr<QMenu> rowMenu(w->rowMenu(each));
        QStringList names, texts;
        for (const QAction* entry : rowMenu->actions()) {
            names << entry->objectName();
            texts << entry->text();
        }
        QCOMPARE(names.filter(QStringLiteral("ctivate")), QStringList{"activateAction"});
        QCOMPARE(names.indexOf("activateAction"), names.indexOf("batchAction") + 1);
        QCOMPARE(texts.filter(GetText("IDCS_ACTIVATE_DEVICE")).size(), 0);
        QCOMPARE(texts.at(names.indexOf("activateAction")), GetText("IDCS_ACTIVATE_MENU"));
        const QAction* activate = rowMenu->findChild<QAction*>(QStringLiteral("activateAction"));
        const bool activated = each->text(COL_ACTIVATION) == GetText("IDCS_ACTIVATED");
        QCOMPARE(activate->isEnabled(), !activated);
        offered += activate->isEnabled() ? 1 : 0;
    }
    QVERIFY(offered > 0 && offered < treeOf(w)->topLevelItemCount());
}

// The batch activation entries are enabled while the selection holds a
// device without a password; the dialog lists the selection and shows the
// devices that have one as skipped before anything is sent.
void TestMainWindow::activationEntriesFollowTheSelection() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    VistaTreeWidget* tree = treeOf(w);
    QPushButton* button = child<QPushButton>(w, "activateBatchButton");
    QTreeWidgetItem *active = nullptr, *fresh = nullptr;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = tree->topLevelItem(i);
        (row->text(COL_ACTIVATION) == GetText("IDCS_ACTIVATED") ? active : fresh) = row;
    }
    QVERIFY(active != nullptr && fresh != nullptr);
    for (QTreeWidgetItem* row : {active, fresh}) {
        tree->setCurrentItem(row);
        QCOMPARE(button->isEnabled(), row == fresh);
        std::unique_ptr<QMenu> menu(w->rowMenu(row));
        QCOMPARE(menu->findChild<QAction*>(QStringLiteral("activateAction"))->isEnabled(),
                 row == fresh);
    }
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_A, Qt::ControlModifier);
    QVERIFY(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY(w->activationDialog() != nullptr && w->activationDialog()->isVisible());
    ActivationDialog* dialog = w->activationDialog();
    QCOMPARE(int(dialog->statuses().size()), kFleet);
    int skipped = 0;
    for (const commission::DeviceStatus& s : dialog->statuses())
        skipped += s.state == commission::BatchState::Skipped ? 1 : 0;
    QCOMPARE(skipped, kFleet - dialog->needingCount());
    QVERIFY(dialog->needingCount() > 0 && skipped > 0);
    QTest::mouseClick(child<QPushButton>(dialog, "closeButton2"), Qt::LeftButton);
    QTRY_VERIFY(w->activationDialog() == nullptr);
}

// Devices outside the host's subnets carry a mark and a tool tip in the IP
// column; one inside its subnet none.
void TestMainWindow::foreignSubnetMarked() {
    MainWindow* w = m_window.get();
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    w->Update(record(SEARCH_EVENT_NEW, "02:00:00:00:0A:02", "10.77.0.77"), &w->manager());
    QTRY_COMPARE(w->onlineCount(), kFleet + 1);
    for (int i = 0; i < treeOf(w)->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = treeOf(w)->topLevelItem(i);
        const bool local = row->text(COL_IP).startsWith(QLatin1String("10.77.0."));
        QCOMPARE(row->icon(COL_IP).isNull(), local);
        QCOMPARE(row->toolTip(COL_IP).isEmpty(), local);
    }
}

void TestMainWindow::scrollBarContextMenuSwallowed() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // Any scroll bar of the application, inside the window or not.
    QScrollBar* bars[] = {treeOf(w)->verticalScrollBar(), treeOf(w)->horizontalScrollBar()};
    QScrollBar loose(Qt::Horizontal);
    for (QScrollBar* bar : {bars[0], bars[1], &loose}) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), bar->mapToGlobal({2, 2}));
        QVERIFY(QApplication::sendEvent(bar, &event));
        QVERIFY(QApplication::activePopupWidget() == nullptr);
    }
    // Other widgets still get theirs.
    QLineEdit edit(w);
    QTimer::singleShot(0, [] {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), edit.mapToGlobal({2, 2}));
    QApplication::sendEvent(&edit, &event);
    QVERIFY(event.isAccepted());
}

void TestMainWindow::escapeAndReturnDoNothing() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QLineEdit* field = new QLineEdit(w); // stands where the address fields sit
    field->setGeometry(w->width() - 250, 120, 150, 24);
    field->show();
    QSignalSpy rejected(w, SIGNAL(rejected()));
    QList<QSignalSpy*> clicks;
    for (QPushButton* button : w->findChildren<QPushButton*>()) {
        QVERIFY2(!button->isDefault(), qPrintable(button->objectName()));
        clicks.append(new QSignalSpy(button, SIGNAL(clicked())));
    }
    for (QWidget* target : {static_cast<QWidget*>(field), static_cast<QWidget*>(treeOf(w))}) {
        target->setFocus();
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
            QTest::keyClick(target, key);
    }
    QTest::keyClick(w, Qt::Key_Escape);
    QVERIFY(w->isVisible());
    QCOMPARE(rejected.count(), 0);
    for (QSignalSpy* spy : clicks)
        QCOMPARE(spy->count(), 0);
    qDeleteAll(clicks);
}

void TestMainWindow::aboutBox() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QString shown;
    closeNextModal(&shown);
    QTest::mouseClick(child<QPushButton>(w, "aboutButton"), Qt::LeftButton);
    QCOMPARE(shown, QStringLiteral("AboutDlg"));
    QVERIFY(w->findChildren<AboutDlg*>().isEmpty()); // destroyed once closed
}

void TestMainWindow::hostNetworkInStatusBar() {
    StatusBar* bar = child<StatusBar>(m_window.get(), "statusBar");
    const QVector<ZVKLabel*> labels = bar->hostLabels();
    // netns-run gives the host 10.77.0.2/24 on veth0; no default route.
    QCOMPARE(labels[0]->text(), GetText("IDCS_IP_ADDRESS_D").arg("10.77.0.2"));
    QCOMPARE(labels[1]->text(), GetText("IDCS_SUBNET_D").arg("255.255.255.0"));
    QCOMPARE(labels[2]->text(), GetText("IDCS_GATEWAY_D").arg(QString()));
    QVERIFY(labels[0]->toolTip().contains("veth0: 10.77.0.2 / 255.255.255.0"));
}

// Records still queued for the window when it goes are freed with it (the
// leak checker and the address checker watch), and none is merged late.
void TestMainWindow::shutdownWithEventsInFlight() {
    MainWindow* w = m_window.get();
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    // The library thread's side of the hand-over, from a thread of its own.
    std::thread sender([w] {
        for (int i = 0; i < 2000; ++i) {
            char mac[18];
            std::snprintf(mac, sizeof mac, "02:00:00:00:%02X:%02X", (i >> 8) & 0xFF, i & 0xFF);
            w->Update(record(i % 3, mac, "10.0.0.1"), &w->manager());
        }
    });
    sender.join();
    w->slot_refresh(); // and the search itself answers again right away
    m_window.reset();
    QCoreApplication::processEvents();
    QVERIFY(g_mainWindow == nullptr);
}

// Chinese and Russian texts are drawn with a face that has their glyphs,
// not as boxes: every text the window shows is covered by its font.
void TestMainWindow::textsHaveGlyphs() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    QList<QPair<QString, QFont>> texts;
    for (QLabel* label : w->findChildren<QLabel*>())
        texts.append({label->text(), label->font()});
    for (QPushButton* button : w->findChildren<QPushButton*>())
        texts.append({button->text(), button->font()});
    for (QAction* action : refreshEntries(w))
        texts.append({action->text(), w->font()});
    QTreeWidget* tree = treeOf(w);
    for (int c = 0; c < kDeviceColumnCount; ++c) {
        texts.append({tree->headerItem()->text(c), tree->header()->font()});
        texts.append({tree->topLevelItem(0)->text(c), tree->font()});
    }
    for (const auto& text : texts) {
        const QFontMetrics metrics(text.second);
        for (const uint ucs : text.first.toUcs4())
            QVERIFY2(metrics.inFontUcs4(ucs), qPrintable(text.first));
    }
}

// No column title is cut, in any language: each fits the room its section
// leaves it beside the padding and the filter button ("Порт данных").
void TestMainWindow::headerTitlesShowWhole() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    auto* header = qobject_cast<DeviceTreeHeaderView*>(treeOf(w)->header());
    QVERIFY(header);
    for (int c = 0; c < kDeviceColumnCount; ++c) {
        if (header->isSectionHidden(c))
            continue;
        const QString title = treeOf(w)->headerItem()->text(c);
        QStyleOptionHeader label;
        label.initFrom(header);
        label.rect = DeviceTreeHeaderView::sectionLayout(header->sectionSize(c), header->height(),
                                                         header->sectionWidget(c) != nullptr, false)
                         .title;
        // The style sheet's section padding comes off the title's place.
        const QRect text = header->style()->subElementRect(QStyle::SE_HeaderLabel, &label, header);
        QCOMPARE(header->fontMetrics().elidedText(title, Qt::ElideRight, text.width()), title);
    }
}

// The columns whose cells take a known set of texts (type, activation) are
// wide enough for each of them in the language in use, with the room the
// row's rounded ends take.
void TestMainWindow::fixedCellTextsShowWhole() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const QFontMetrics metrics = treeOf(w)->fontMetrics();
    const struct {
        int column;
        const char* key;
    } cells[] = {{COL_ACTIVATION, "IDCS_ACTIVATED"},
                 {COL_ACTIVATION, "IDCS_NONACTIVATED"},
                 {COL_TYPE, "IDCS_ZVK_NETKEYBOARD"},
                 {COL_TYPE, "IDCS_ZVK_STORAGE"}};
    for (const auto& cell : cells) {
        const QString text = GetText(cell.key);
        QVERIFY2(metrics.horizontalAdvance(text) + 16 <= treeOf(w)->columnWidth(cell.column),
                 qPrintable(text));
    }
}

// Walking the window with Tab, each stop looks different with the focus
// than without: the installer always sees where the keyboard is.
void TestMainWindow::everyTabStopShowsFocus() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QApplication::setActiveWindow(w);
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    treeOf(w)->setCurrentItem(treeOf(w)->topLevelItem(0));
    treeOf(w)->setFocus();
    QStringList unmarked, seen;
    QList<QWidget*> visited;
    for (int i = 0; i < 60; ++i) {
        QWidget* stop = QApplication::focusWidget();
        QVERIFY(stop != nullptr);
        if (visited.contains(stop))
            break;
        visited.append(stop);
        // A part of an address field shows the focus on the whole field.
        QWidget* shown = qobject_cast<AddrPartLineEdit*>(stop) ? stop->parentWidget() : stop;
        const QString name = shown->objectName() + "/" + stop->metaObject()->className();
        seen.append(name);
        const QImage focused = shown->grab().toImage();
        stop->clearFocus();
        QApplication::processEvents();
        const QImage plain = shown->grab().toImage();
        stop->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        if (focused == plain)
            unmarked.append(name);
        QTest::keyClick(stop, Qt::Key_Tab);
    }
    QVERIFY2(seen.size() > 5, qPrintable(seen.join(", ")));
    QVERIFY2(unmarked.isEmpty(), qPrintable(unmarked.join(", ")));
}

namespace {

// Where a case puts the pictures to be looked at, per language.
QString shotPath(const QString& name) {
    const QString dir =
        QCoreApplication::applicationDirPath() + "/shots/" + QLocale::system().name();
    QDir().mkpath(dir);
    return dir + "/" + name + ".png";
}

// As on a display without a window manager: the box over the window went
// and nobody gave the window its activation back. A top-level window that
// took the activation and is destroyed leaves none, as the box does.
void dropActivation() {
    auto* box = new QWidget;
    box->show();
    QApplication::setActiveWindow(box);
    if (!QTest::qWaitForWindowActive(box))
        qWarning("the stand-in box never became active");
    delete box;
    QApplication::processEvents();
}

// Keys as the display delivers them to a window: to the window itself,
// looked up as shortcuts first, then to its focus widget.
void typeToWindow(QWidget* window, const QString& keys) {
    for (const QChar c : keys)
        QTest::keyClick(window->windowHandle(), c.toLatin1());
}

} // namespace

// Identify is offered for the maker's devices with a password; its form
// takes the password, and the box tells what the device answered: a wrong
// password is refused, the right one makes it show itself.
void TestMainWindow::identifyEntryAsksThePasswordAndTellsTheOutcome() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    QTreeWidgetItem *active = nullptr, *fresh = nullptr;
    for (int i = 0; i < treeOf(w)->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = treeOf(w)->topLevelItem(i);
        (row->text(COL_ACTIVATION) == GetText("IDCS_ACTIVATED") ? active : fresh) = row;
    }
    QVERIFY(active != nullptr && fresh != nullptr);
    QVERIFY(!std::unique_ptr<QMenu>(w->rowMenu(fresh))
                 ->findChild<QAction*>(QStringLiteral("identifyAction"))
                 ->isEnabled());
    BoxDriver boxes;
    const struct {
        const char* password;
        QString said;
    } cases[] = {
        {"not-the-password", GetText("IDCS_IDENTIFY_REFUSED")},
        {"123456", GetText("IDCS_IDENTIFY_DONE_D").arg(MainWindow::kIdentifySeconds)},
    };
    for (const auto& c : cases) {
        treeOf(w)->setCurrentItem(active);
        std::unique_ptr<QMenu> menu(w->rowMenu(active));
        QAction* identify = menu->findChild<QAction*>(QStringLiteral("identifyAction"));
        QVERIFY(identify->isEnabled());
        const int before = boxes.count();
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(qobject_cast<IdentifyDialog*>(QApplication::activeModalWidget()));
            auto* form = qobject_cast<IdentifyDialog*>(QApplication::activeModalWidget());
            auto* ok = child<QPushButton>(form, "okButton");
            QVERIFY(!ok->isEnabled());
            QTest::keyClicks(child<QLineEdit>(form, "passwordField"), QLatin1String(c.password));
            if (QLatin1String(c.password) == QLatin1String("123456"))
                form->grab().save(shotPath("identify-form"));
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        identify->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), before + 1, 10000);
        QCOMPARE(boxes.seen().text, c.said);
        QTRY_VERIFY(!w->deviceRequestRunning());
    }
}

void TestMainWindow::sendWrongPassword(int row, BoxDriver* boxes) {
    MainWindow* w = m_window.get();
    QTest::mouseClick(
        treeOf(w)->viewport(), Qt::LeftButton, Qt::NoModifier,
        QPoint(20, treeOf(w)->visualItemRect(treeOf(w)->topLevelItem(row)).center().y()));
    auto* password = child<QLineEdit>(w, "passwordField");
    password->setFocus();
    QTest::keyClicks(password, QStringLiteral("not-the-password"));
    const int before = boxes->count();
    QTest::keyClick(password, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), before + 1, 10000);
    QTRY_VERIFY(!w->deviceRequestRunning());
}

// A box closed, and no window manager gave the window its activation
// back. Ctrl+F still reaches the find field, the fragment goes there, and
// Return neither reaches Save nor sends the password field again. The
// wrong-password box says how many tries the device has left at most.
void TestMainWindow::findReachesItsFieldAfterABoxWithoutWindowManager() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QApplication::setActiveWindow(w);
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    w->slot_refreshMenuTriggered(refreshEntry(w, 0)); // the rows stay where they are
    BoxDriver boxes;
    sendWrongPassword(0, &boxes);
    QCOMPARE(boxes.seen().text, WrongPasswordText(1));
    auto* password = child<QLineEdit>(w, "passwordField");
    QCOMPARE(w->focusWidget(), static_cast<QWidget*>(password));
    dropActivation();
    QVERIFY(QApplication::activeWindow() != w);
    QTest::keyClick(w->windowHandle(), Qt::Key_F, Qt::ControlModifier);
    typeToWindow(w, QStringLiteral("0000:08"));
    QTest::keyClick(w->windowHandle(), Qt::Key_Return);
    auto* find = child<QLineEdit>(w, "findField");
    QCOMPARE(find->text(), QStringLiteral("0000:08"));
    QCOMPARE(password->text(), QString());
    QVERIFY(!w->deviceRequestRunning());
    QCOMPARE(boxes.count(), 1);
    // Keys that stray into the emptied password field do not send it again.
    find->clear();
    password->setFocus();
    QTest::keyClick(password, Qt::Key_Return);
    QVERIFY(!w->deviceRequestRunning());
    QCOMPARE(boxes.count(), 1);
}

// The device the side panel shows keeps the selected look in the list
// while the user works in the panel, also when no window manager gave the
// window its activation back after a box.
void TestMainWindow::panelDeviceLooksSelectedWithoutWindowManager() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QApplication::setActiveWindow(w);
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    w->slot_refreshMenuTriggered(refreshEntry(w, 0));
    VistaTreeWidget* tree = treeOf(w);
    QTreeWidgetItem* row = tree->topLevelItem(3);
    const QRect cell(4, tree->visualItemRect(row).top() + 4, 60, 8);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QCOMPARE(w->controlBar()->networkMac(), row->text(COL_MAC));
    const QImage selected = tree->viewport()->grab(cell).toImage();
    // The user moves on into the panel's address field, then a box comes
    // and goes with no window manager to give the activation back.
    QTest::mouseClick(child<IpAddrEdit>(w, "ipField")->parts().first(), Qt::LeftButton);
    QApplication::processEvents();
    QCOMPARE(tree->viewport()->grab(cell).toImage(), selected);
    dropActivation();
    QVERIFY(QApplication::activeWindow() == nullptr);
    QVERIFY(row->isSelected());
    QCOMPARE(tree->viewport()->grab(cell).toImage(), selected);
}

// Several devices answering with one address (new cameras at their factory
// address) are marked in the address column and counted in the status
// bar; the mark follows the devices as they move and go, and rows with
// the one address keep the order of their MACs.
void TestMainWindow::sharedAddressesAreMarkedAndCounted() {
    MainWindow* w = m_window.get();
    w->show();
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    w->slot_refreshMenuTriggered(refreshEntry(w, 0));
    const char* const macs[] = {"02:00:00:00:0D:03", "02:00:00:00:0D:01", "02:00:00:00:0D:02"};
    const uint32_t list = w->manager().ListGeneration();
    for (const char* mac : macs) {
        SEARCH_INFO fresh = record(SEARCH_EVENT_NEW, mac, "10.0.0.9", list);
        put(fresh.devName, "IPC");
        put(fresh.productModel, "LV-IPC2M-D36");
        w->Update(fresh, &w->manager());
    }
    QTRY_COMPARE(w->onlineCount(), kFleet + 3);
    QTRY_VERIFY(treeOf(w)->isSortingEnabled());
    auto shared = [w](const char* mac) {
        for (int i = 0; i < treeOf(w)->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = treeOf(w)->topLevelItem(i);
            if (row->text(COL_MAC) == QLatin1String(mac))
                return row->toolTip(COL_IP).contains(GetText("IDCS_ADDRESS_SHARED_TIP"));
        }
        qFatal("no row %s", mac);
        return false;
    };
    const StatusBar* bar = child<StatusBar>(w, "statusBar");
    for (const char* mac : macs)
        QVERIFY2(shared(mac), mac);
    QVERIFY(bar->sharedLabel()->isVisible());
    QCOMPARE(bar->sharedLabel()->text(), GetText("IDCS_ADDRESS_SHARED_COUNT_D").arg(3));
    QStringList order;
    for (int i = 0; i < treeOf(w)->topLevelItemCount(); ++i)
        if (treeOf(w)->topLevelItem(i)->text(COL_IP) == QLatin1String("10.0.0.9"))
            order << treeOf(w)->topLevelItem(i)->text(COL_MAC);
    QCOMPARE(order, (QStringList{macs[1], macs[2], macs[0]}));
    treeOf(w)->scrollToTop();
    QVERIFY(w->grab().save(shotPath("window-shared")));
    const QTreeWidgetItem* alone = treeOf(w)->topLevelItem(kFleet + 2);
    QVERIFY(!alone->toolTip(COL_IP).contains(GetText("IDCS_ADDRESS_SHARED_TIP")));
    w->Update(record(SEARCH_EVENT_CHANGED, macs[0], "10.0.0.10", list), &w->manager());
    QTRY_COMPARE(bar->sharedLabel()->text(), GetText("IDCS_ADDRESS_SHARED_COUNT_D").arg(2));
    QVERIFY(!shared(macs[0]));
    w->Update(record(SEARCH_EVENT_GONE, macs[1], "10.0.0.9", list), &w->manager());
    QTRY_VERIFY(!bar->sharedLabel()->isVisible());
    QVERIFY(!shared(macs[2]));
}

// At 1600 pixels, as the window maximised on such a screen, the MAC and
// activation columns show without scrolling sideways, in every language.
void TestMainWindow::macAndActivationShowAt1600Pixels() {
    MainWindow* w = m_window.get();
    w->setGeometry(0, 0, 1600, 1000);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    QHeaderView* header = treeOf(w)->header();
    const int room = treeOf(w)->viewport()->width();
    for (int column : {int(COL_MAC), int(COL_ACTIVATION)})
        QVERIFY2(header->sectionViewportPosition(column) + header->sectionSize(column) <= room,
                 qPrintable(
                     QStringLiteral("column %1 ends at %2 of %3")
                         .arg(column)
                         .arg(header->sectionViewportPosition(column) + header->sectionSize(column))
                         .arg(room)));
    QVERIFY(w->grab().save(shotPath("window-1600")));
}

// A name longer than its cell is cut ("Parking Lot…"); its tip shows the
// whole name, as plain text.
void TestMainWindow::cutNamesShowWholeInTheirTip() {
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    SEARCH_INFO longName = record(SEARCH_EVENT_NEW, "02:00:00:00:0E:01", "10.0.0.1");
    put(longName.devName, "Parking Lot <b>North</b> Gate");
    w->Update(longName, &w->manager());
    QTRY_COMPARE(w->onlineCount(), kFleet + 1);
    VistaTreeWidget* tree = treeOf(w);
    QTreeWidgetItem* row = nullptr;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        if (tree->topLevelItem(i)->text(COL_MAC) == QLatin1String("02:00:00:00:0E:01"))
            row = tree->topLevelItem(i);
    QVERIFY(row != nullptr);
    tree->scrollToItem(row);
    const QPoint at = tree->visualItemRect(row).topLeft() + QPoint(30, 5);
    QHelpEvent help(QEvent::ToolTip, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QVERIFY2(QToolTip::text().contains(QStringLiteral("Parking Lot &lt;b&gt;North&lt;/b&gt; Gate")),
             qPrintable(QToolTip::text()));
    QToolTip::hideText();
}

// Export List opens in the user's home folder, not where the program was
// started, and says which file it wrote.
void TestMainWindow::exportStartsAtHomeAndSaysWhereItWrote() {
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    w->slot_refreshMenuTriggered(refreshEntry(w, 0));
    QString folder;
    QTimer::singleShot(0, [&folder] {
        std::function<void()> answer;
        answer = [&folder, &answer] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return QTimer::singleShot(10, answer);
            folder = dialog->directory().absolutePath();
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        };
        answer();
    });
    BoxDriver boxes;
    boxes.shootNext(w, shotPath("box-exported"));
    QTest::mouseClick(child<QPushButton>(w, "exportButton"), Qt::LeftButton);
    QTRY_COMPARE(boxes.count(), 1);
    qputenv("HOME", oldHome);
    QCOMPARE(folder, QDir(home.path()).absolutePath());
    const QString file = QDir(home.path()).filePath("devices.csv");
    QVERIFY(QFile::exists(file));
    QCOMPARE(boxes.seen().title, GetText("IDCS_INFORMATION"));
    QCOMPARE(boxes.seen().text, GetText("IDCS_EXPORT_LIST_SAVED_D")
                                    .arg(QString::number(kFleet), QDir::toNativeSeparators(file)));
}

void TestMainWindow::tracesOnlyWhenAsked_data() {
    QTest::addColumn<QByteArray>("trace");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("shown");
    QTest::newRow("by default") << QByteArray() << 6 << false;
    QTest::newRow("LORVEX_TRACE=1") << QByteArray("1") << 7 << true;
}

// The search manager's trace lines ("send.....", where a request goes)
// reach the window's terminal only when LORVEX_TRACE=1 asks for them.
void TestMainWindow::tracesOnlyWhenAsked() {
    QFETCH(QByteArray, trace);
    QFETCH(int, row);
    QFETCH(bool, shown);
    m_window.reset();
    qputenv("LORVEX_TRACE", trace);
    m_window.reset(new MainWindow);
    qunsetenv("LORVEX_TRACE");
    MainWindow* w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QApplication::setActiveWindow(w);
    QTRY_COMPARE_WITH_TIMEOUT(w->onlineCount(), kFleet, kFoundWithin);
    w->slot_refreshMenuTriggered(refreshEntry(w, 0));
    QTemporaryFile terminal;
    QVERIFY(terminal.open());
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(terminal.handle(), STDERR_FILENO);
    BoxDriver boxes;
    sendWrongPassword(row, &boxes);
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    ::close(saved);
    terminal.seek(0);
    const QByteArray printed = terminal.readAll();
    QCOMPARE(printed.contains("send....."), shown);
    QVERIFY(!printed.contains("not-the-password"));
}

QTEST_MAIN(TestMainWindow)
#include "MainWindowTest.moc"
