// The three filters of the device list: their buttons and menus on the
// tree's header, and the refill of the tree when one is applied.
#include "MainWindow.h"

#include "DevInfo.h"
#include "DeviceColumns.h"
#include "DeviceFilterMenus.h"
#include "DeviceTreeHeaderView.h"
#include "HeaderButton.h"
#include "LanguageSrc.h"
#include "StatusBar.h"
#include "VistaTreeWidget.h"
#include "VistaTreeWidgetItem.h"

#include <QAction>
#include <QActionGroup>
#include <QHeaderView>
#include <QItemSelectionModel>

#include <algorithm>

void MainWindow::buildFilterMenus() {
    m_typeMenu = new DeviceTypeFilterMenu(this);
    m_typeMenu->setObjectName(QStringLiteral("deviceTypeFilterMenu"));
    QAction* all = m_typeMenu->addAction(GetText("IDCS_ALL_DEVICE"));
    all->setCheckable(true);
    all->setChecked(true);
    m_deviceTypeGroup->addAction(all);
    connect(m_typeMenu, SIGNAL(triggered(QAction*)), this,
            SLOT(slot_deviceTypeMenuTriggered(QAction*)));
    m_typeButton = newFilterButton("deviceTypeFilterButton", m_typeMenu);

    m_ipMenu = new IPFilterMenu(COL_IP, this);
    m_ipButton = newRangeFilter(m_ipMenu, "ipFilterMenu", "ipFilterButton",
                                SLOT(slot_ipaddressMenuTriggered(QString, QString)));
    m_portMenu = new PortFilterMenu(COL_DATA_PORT, this);
    m_portButton = newRangeFilter(m_portMenu, "portFilterMenu", "portFilterButton",
                                  SLOT(slot_portMenuTriggered(QString, QString)));
}

// The filter button of a range menu: an entered range goes to `rangeSlot`,
// a cleared condition clears the filter.
HeaderButton* MainWindow::newRangeFilter(RangeFilterMenu* menu, const char* menuName,
                                         const char* buttonName, const char* rangeSlot) {
    menu->setObjectName(QLatin1String(menuName));
    connect(menu, SIGNAL(filterChanged(QString, QString)), this, rangeSlot);
    connect(menu, SIGNAL(filterCleared()), this, SLOT(slot_filterCleared()));
    return newFilterButton(buttonName, menu);
}

// A filter button on the header opening `menu`, which keeps the button
// shown while it is open.
HeaderButton* MainWindow::newFilterButton(const char* name, QMenu* menu) {
    HeaderButton* button = new HeaderButton(m_header);
    button->setObjectName(QLatin1String(name));
    connect(menu, SIGNAL(hide(int)), m_header, SLOT(slot_hide(int)));
    connect(menu, SIGNAL(show(int)), m_header, SLOT(slot_show(int)));
    button->setMenu(menu);
    return button;
}

void MainWindow::placeFilterButtons() {
    m_header->setSectionWidget(COL_TYPE, m_typeButton, CheckBoxHeaderView::PlaceRight);
    m_header->setSectionWidget(COL_IP, m_ipButton, CheckBoxHeaderView::PlaceRight);
    m_header->setSectionWidget(COL_DATA_PORT, m_portButton, CheckBoxHeaderView::PlaceRight);
}

void MainWindow::slot_deviceTypeMenuTriggered(QAction* action) {
    if (action == nullptr)
        return;
    if (action->text() == GetText("IDCS_ALL_DEVICE"))
        slot_filterCleared();
    else
        applyHeaderFilter(DeviceFilter::ofType(action->text()));
}

void MainWindow::slot_ipaddressMenuTriggered(QString minAddres, QString maxAddres) {
    applyHeaderFilter(DeviceFilter::ofIpRange(minAddres, maxAddres));
}

void MainWindow::slot_portMenuTriggered(QString minPort, QString maxPort) {
    applyHeaderFilter(DeviceFilter::ofPortRange(minPort, maxPort));
}

void MainWindow::slot_filterCleared() { applyHeaderFilter(DeviceFilter::none()); }

void MainWindow::slot_findChanged(const QString& text) {
    DeviceFilter filter = m_filter;
    filter.find = text;
    applyFilter(filter);
}

// Each menu shows whether its filter is the one in force: one kind chosen
// clears the others' checks.
void MainWindow::showFilterInMenus() {
    m_ipMenu->showFilter(m_filter.kind == DeviceFilter::IpRange);
    m_portMenu->showFilter(m_filter.kind == DeviceFilter::PortRange);
    if (m_filter.kind != DeviceFilter::Type && !m_typeMenu->actions().isEmpty())
        m_typeMenu->actions().first()->setChecked(true);         // all devices
    const int columns[] = {-1, COL_TYPE, COL_IP, COL_DATA_PORT}; // by DeviceFilter::Kind
    m_header->setActiveFilterColumn(columns[m_filter.kind]);
}

// A header filter replaces the header filter in force; the find fragment
// stays.
void MainWindow::applyHeaderFilter(DeviceFilter filter) {
    filter.find = m_filter.find;
    applyFilter(filter);
}

// Clears the tree and refills it from the list with the devices that pass,
// each at the top, so that the tree shows the list in reverse order while
// sorting is off (and in the sort order while it is on). The rows leave and
// enter the tree all at once, not one by one; a device shown for the first
// time gets its row here. No menu entry or check box changes here. The
// selected rows that still pass stay selected, and the side panel keeps
// its device (see keepPanelDevice).
void MainWindow::applyFilter(const DeviceFilter& filter) {
    m_filter = filter;
    showFilterInMenus();
    const QString current =
        m_deviceTree->currentItem() ? rowKey(m_deviceTree->currentItem()) : m_reselectMac;
    QStringList selected;
    for (const QTreeWidgetItem* row : m_deviceTree->selectedItems())
        selected << rowKey(row);
    m_keepingPanel = true;
    m_deviceTree->invisibleRootItem()->takeChildren();
    QList<QTreeWidgetItem*> rows;
    for (auto it = m_deviceList.crbegin(); it != m_deviceList.crend(); ++it) {
        DevInfo* record = *it;
        if (!m_filter.passes(*record))
            continue;
        QTreeWidgetItem*& row = m_rows[record->mac];
        if (row == nullptr) {
            row = VistaTreeWidgetItem::newDeviceRow(record);
            markRow(row, *record);
        }
        rows.append(row);
    }
    // While the tree's own sort is suspended the rows go in sorted, as
    // they would on top of the tree and sorted by it (a stable sort).
    if (m_sortSuspended && !m_deviceTree->isSortingEnabled()) {
        const int column = m_deviceTree->header()->sortIndicatorSection();
        const bool ascending = m_deviceTree->header()->sortIndicatorOrder() == Qt::AscendingOrder;
        std::stable_sort(rows.begin(), rows.end(),
                         [column, ascending](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                             return ascending ? VistaTreeWidgetItem::lessThan(*a, *b, column)
                                              : VistaTreeWidgetItem::lessThan(*b, *a, column);
                         });
    }
    m_deviceTree->insertTopLevelItems(0, rows);
    // One change of the selection, not one per row (Ctrl+A of thousands).
    QItemSelection again;
    for (const QString& key : selected) {
        QTreeWidgetItem* row = m_rows.value(key, nullptr);
        if (row != nullptr && row->treeWidget() != nullptr) {
            const QModelIndex index = m_deviceTree->indexOfItem(row);
            again.select(index, index);
        }
    }
    if (!again.isEmpty())
        m_deviceTree->selectionModel()->select(again, QItemSelectionModel::Select |
                                                          QItemSelectionModel::Rows);
    keepPanelDevice(current);
    setOnlineCount(rows.size());
}

// The device the panel shows is the current row again when it is shown;
// while a filter hides it the panel keeps it (no other row becomes
// current in its place), and it is made current again once it shows. One
// that comes back (it was hidden, or the list was refreshed) is
// selected again, and the panel shows what the list now knows of it: it may
// have moved meanwhile.
void MainWindow::keepPanelDevice(const QString& key) {
    QTreeWidgetItem* row = key.isEmpty() ? nullptr : m_rows.value(key, nullptr);
    QItemSelectionModel* selection = m_deviceTree->selectionModel();
    const bool returning = !key.isEmpty() && key == m_reselectMac;
    if (row != nullptr && row->treeWidget() != nullptr) {
        selection->setCurrentIndex(m_deviceTree->indexOfItem(row),
                                   returning ? QItemSelectionModel::ClearAndSelect |
                                                   QItemSelectionModel::Rows
                                             : QItemSelectionModel::NoUpdate);
        m_reselectMac.clear();
    } else {
        selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        m_reselectMac = key;
    }
    m_keepingPanel = false;
    if (returning && row != nullptr && row->treeWidget() != nullptr)
        slot_currentItemChanged(row, nullptr);
}
