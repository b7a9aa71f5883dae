// The device list: records handed over from the search and the tree rows
// that show them. Every known device has one record (m_deviceList in
// arrival order, m_records by MAC); the devices that pass the filter in
// force have one row each in the tree, and the online count is the number
// of rows in the tree. A row once made stays with its device (m_rows by
// MAC) while a filter keeps it out of the tree, kept up to date, so that a
// filter change at ten thousand devices moves rows instead of rebuilding
// them; it goes with its device or on a refresh.
#include "MainWindow.h"

#include "ActionMessageBox.h"
#include "DevInfo.h"
#include "DeviceColumns.h"
#include "DeviceControlBar.h"
#include "SnapshotPanel.h"
#include "DeviceFilterMenus.h"
#include "DeviceRequestRunner.h"
#include "LanguageSrc.h"
#include "N12_MessageBox.h"
#include "StatusBar.h"
#include "VistaTreeWidget.h"
#include "VistaTreeWidgetItem.h"

#include <QAction>
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QActionGroup>
#include <QElapsedTimer>
#include <QTimer>
#include <QVariant>

#include <memory>
#include <string>

namespace {

DevInfo* recordOf(const QTreeWidgetItem* item) { return recordOfRow(item); }

// Events merged per take from the hand-over queue, and the time after which
// a take yields to the event loop: paint and input wait at most about this
// long while thousands of devices arrive.
const int kEventsPerBatch = 16;
const qint64 kSliceMs = 5;
// How long the list stays quiet before the tree's own sort is turned on
// again after merged rows (see resumeSort).
const int kSortResumeMs = 1000;
// The least time from one emptied queue to the next take. Every take that
// puts rows in costs a layout of the whole tree and a repaint; answers
// that trickle in (thousands of devices each agreeing a key) are merged a
// few at a time otherwise, with one layout and paint for each few.
const qint64 kGatherMs = 100;

} // namespace

QString MainWindow::deviceTypeText(const QString& code) { return ::deviceTypeText(code); }

QString MainWindow::runTimeText(const QString& seconds) { return ::runTimeText(seconds); }

void MainWindow::slot_takeDeviceEvents() {
    // The queue keeps its take pending meanwhile: pushes ask for no other.
    const qint64 sinceDrain = m_lastDrain.isValid() ? m_lastDrain.elapsed() : kGatherMs;
    if (sinceDrain < kGatherMs && !m_closing) {
        m_nextTake->start(int(kGatherMs - sinceDrain));
        return;
    }
    QElapsedTimer slice;
    slice.start();
    bool more = true;
    while (more && (slice.elapsed() < kSliceMs || m_closing)) {
        for (const DeviceEventQueue::Event& event : m_deviceEvents.take(kEventsPerBatch, &more))
            slot_recvOnlineDeviceInfo(event.device, event.opt);
    }
    // Rows go in at their place while the tree's own sort is off; once the
    // list has been quiet for a while the tree sorts by itself again.
    if (!more) {
        m_sortResume->start(kSortResumeMs);
        m_lastDrain.start();
    } else {
        m_sortResume->stop();
    }
    updateActivationEntry();
    // The next slice by a timer, not a posted call: Qt lets timers run only
    // once no posted event is pending, so a chain of posted slices would
    // hold back every timer of the program (the tree's own delayed layout
    // among them) until the last device is in. A zero timer of its own
    // (QTimer::singleShot(0) would post): any later timer would put the
    // thread to sleep between slices, and on a busy machine it then waits
    // for a processor again before each slice.
    if (more)
        m_nextTake->start(0);
}

void MainWindow::slot_recvOnlineDeviceInfo(void* data, int opt) {
    DevInfo* device = static_cast<DevInfo*>(data);
    if (device == nullptr)
        return;
    if (m_closing) {
        delete device;
        return;
    }
    for (const RowStep& step : m_rowMerge.take(device, opt))
        mergeDeviceEvent(step.device, step.event);
}

void MainWindow::mergeDeviceEvent(DevInfo* device, int opt) {
    switch (opt) {
    case SEARCH_EVENT_NEW:
        addDevice(device);
        break;
    case SEARCH_EVENT_CHANGED:
        changeDevice(device);
        break;
    case SEARCH_EVENT_GONE:
        removeDevice(device);
        break;
    default:
        delete device;
        break;
    }
}

void MainWindow::addDevice(DevInfo* device) {
    if (isDeviceExist(device->mac)) {
        delete device;
        return;
    }
    // In the list before its row, so that the count shown includes it.
    m_deviceList.append(device);
    m_records.insert(device->mac, device);
    noteAddress(*device);
    if (m_filter.passes(*device))
        showRow(device);
    else
        showCount();
    noteDeviceType(deviceTypeText(device->productSeries));
}

// The stored record takes the new answer whether its row is shown or not;
// the row then follows the filter, since a new address, port or type may
// move the device into or out of it.
void MainWindow::changeDevice(DevInfo* device) {
    DevInfo* record = m_records.value(device->mac);
    suspendSort();
    if (record != nullptr) {
        const QString oldType = deviceTypeText(record->productSeries);
        const QString oldAddress = record->ipAddr;
        CopyDeviceFields(*device, record);
        if (record->ipAddr != oldAddress) {
            forgetAddress(oldAddress, *record);
            noteAddress(*record);
        }
        QTreeWidgetItem* row = m_rows.value(record->mac);
        const bool inTree = row != nullptr && row->treeWidget() != nullptr;
        const bool shown = m_filter.passes(*record);
        if (inTree) {
            refillRow(row, *record);
        } else if (row != nullptr) {
            VistaTreeWidgetItem::fill(row, *record);
            markRow(row, *record);
        }
        if (inTree && !shown)
            dropRow(row);
        else if (!inTree && shown)
            showRow(record);
        const QString newType = deviceTypeText(record->productSeries);
        if (newType != oldType) {
            noteDeviceType(newType);
            forgetDeviceType(oldType);
        }
    }
    delete device;
}

// A device that went leaves the list whether its row is shown or not, so
// that clearing the filter never brings back a device no longer there.
void MainWindow::removeDevice(DevInfo* device) {
    DevInfo* record = m_records.take(device->mac);
    delete device;
    if (record == nullptr)
        return;
    forgetAddress(record->ipAddr, *record);
    if (QTreeWidgetItem* row = m_rows.take(record->mac)) {
        if (row->treeWidget() != nullptr)
            dropRow(row);
        delete row;
    }
    m_deviceList.removeOne(record);
    forgetDeviceType(deviceTypeText(record->productSeries));
    delete record;
    showCount();
}

// The cells are set with the tree's model quiet: each changed cell would
// make the view find the row by walking its rows, twice, which at ten
// thousand rows costs more than the rest of the merge. The tree repaints
// its visible rows once instead (sorting is off, no row moves).
void MainWindow::refillRow(QTreeWidgetItem* row, const DevInfo& record) {
    QAbstractItemModel* model = m_deviceTree->model();
    const bool wasBlocked = model->blockSignals(true);
    VistaTreeWidgetItem::fill(row, record);
    markRow(row, record);
    model->blockSignals(wasBlocked);
    m_deviceTree->viewport()->update();
}

// The tree's own sort off (see suspendSort): the row goes in at its place.
// The device's row is made on its first showing.
void MainWindow::showRow(DevInfo* record) {
    suspendSort();
    QTreeWidgetItem* row = m_rows.value(record->mac);
    if (row != nullptr)
        m_deviceTree->insertTopLevelItem(rowPosition(*row), row);
    if (row != nullptr || addDeviceItem(record))
        setOnlineCount(m_onlineCount + 1);
    reselect(record->mac);
}

// Where a row not in the tree goes: at its place in the sort in force (the
// tree's own, or the one suspended while rows are merged), at the top when
// none is.
int MainWindow::rowPosition(const QTreeWidgetItem& row) const {
    if (!m_deviceTree->isSortingEnabled() && !m_sortSuspended)
        return 0;
    const QHeaderView* header = m_deviceTree->header();
    return SortedRowPosition(*m_deviceTree, row, header->sortIndicatorSection(),
                             header->sortIndicatorOrder());
}

// The tree's own sort off while rows are merged: with it on, every row put
// in schedules a sort of the whole tree (tens of milliseconds at ten
// thousand rows, in one piece), while a row put in at its place costs a
// search of the sorted rows. The indicator stays as it was: the order it
// shows still holds. Remembered, so that resumeSort turns the sort on.
void MainWindow::suspendSort() {
    if (!m_deviceTree->isSortingEnabled())
        return;
    m_sortSuspended = true;
    QHeaderView* header = m_deviceTree->header();
    const bool shown = header->isSortIndicatorShown();
    m_deviceTree->setSortingEnabled(false);
    header->setSortIndicatorShown(shown);
}

// Turning the sort on sorts the whole tree once; its rows are in order
// already but for changed rows whose sorted cell changed.
void MainWindow::resumeSort() {
    if (!m_sortSuspended)
        return;
    m_sortSuspended = false;
    if (!m_deviceTree->isSortingEnabled())
        m_deviceTree->setSortingEnabled(true);
}

// After a refresh the device that was selected is selected again when it
// answers; its row fills the form.
void MainWindow::reselect(const QString& mac) {
    if (m_reselectMac.isEmpty() || mac != m_reselectMac)
        return;
    m_reselectMac.clear();
    if (QTreeWidgetItem* row = m_rows.value(mac))
        m_deviceTree->setCurrentItem(row);
}

// Out of the tree; the row stays with its device. A filter that now
// hides the current row's device leaves it in the side panel.
void MainWindow::dropRow(QTreeWidgetItem* item) {
    const bool current = item == m_deviceTree->currentItem();
    m_keepingPanel = current;
    m_deviceTree->takeTopLevelItem(m_deviceTree->indexOfTopLevelItem(item));
    if (current)
        keepPanelDevice(rowKey(item));
    setOnlineCount(m_onlineCount - 1);
}

// The type menu has one entry per type text seen, in the order first seen,
// the empty text of an unknown code included.
void MainWindow::noteDeviceType(const QString& text) {
    int& count = m_typeCounts[text];
    ++count;
    for (const QAction* action : m_typeMenu->actions()) {
        if (action->text() == text)
            return;
    }
    QAction* action = m_typeMenu->addAction(text);
    action->setCheckable(true);
    m_deviceTypeGroup->addAction(action);
}

// One record of type `text` left the list or changed its type: the entry
// goes with the last record of that type. The all-devices entry (first)
// never goes, even if a device's type text reads the same.
void MainWindow::forgetDeviceType(const QString& text) {
    auto it = m_typeCounts.find(text);
    if (it == m_typeCounts.end() || --*it > 0)
        return;
    m_typeCounts.erase(it);
    const QList<QAction*> entries = m_typeMenu->actions();
    for (int i = 1; i < entries.size(); ++i) {
        if (entries[i]->text() == text) {
            m_deviceTypeGroup->removeAction(entries[i]);
            m_typeMenu->removeAction(entries[i]);
            delete entries[i];
            return;
        }
    }
}

bool MainWindow::addDeviceItem(DevInfo* device) {
    if (device == nullptr)
        return false;
    QTreeWidgetItem* item = VistaTreeWidgetItem::newDeviceRow(device);
    markRow(item, *device);
    m_deviceTree->insertTopLevelItem(rowPosition(*item), item);
    m_rows.insert(device->mac, item);
    return true;
}

bool MainWindow::isDeviceExist(const QString& mac) const { return m_records.contains(mac); }

// A refresh: the list and the rows go, the type menu's entries and the
// filter stay.
void MainWindow::clearDevices() {
    // Events of the emptied list still queued would bring back devices the
    // new search knows nothing of, rows no later event removes.
    m_deviceEvents.clear();
    m_rowMerge.clear();
    releaseDevices();
    setOnlineCount(0);
}

// A camera known only by its endpoint may be a listed device answering
// ONVIF too (its row joins the device's once its MAC is known): it is no
// second device with the address.
bool MainWindow::countsForAddress(const DevInfo& record) {
    return !record.ipAddr.isEmpty() && !record.shownMac().isEmpty();
}

// The first device that another joins at one address gets its mark then
// (and loses it when the other goes); the rest are marked as their rows
// are filled. The count in the status bar is of devices.
void MainWindow::noteAddress(const DevInfo& record) {
    if (!countsForAddress(record))
        return;
    AddressHolders& holders = m_addressHolders[record.ipAddr];
    if (holders.first.isEmpty()) {
        holders.first = record.mac;
        return;
    }
    if (holders.first == record.mac || holders.more.contains(record.mac))
        return;
    holders.more.append(record.mac);
    if (holders.more.size() == 1) {
        m_sharedAddressDevices += 2;
        remarkRow(holders.first);
    } else {
        ++m_sharedAddressDevices;
    }
    m_statusBar->SetSharedAddresses(m_sharedAddressDevices);
}

void MainWindow::forgetAddress(const QString& ip, const DevInfo& record) {
    if (ip.isEmpty() || record.shownMac().isEmpty())
        return;
    auto it = m_addressHolders.find(ip);
    if (it == m_addressHolders.end())
        return;
    AddressHolders& holders = *it;
    const bool shared = !holders.more.isEmpty();
    if (holders.first == record.mac) {
        if (!shared) {
            m_addressHolders.erase(it);
            return;
        }
        holders.first = holders.more.takeLast();
    } else if (!holders.more.removeOne(record.mac)) {
        return;
    }
    if (holders.more.isEmpty()) {
        m_sharedAddressDevices -= 2;
        remarkRow(holders.first);
    } else {
        --m_sharedAddressDevices;
    }
    m_statusBar->SetSharedAddresses(m_sharedAddressDevices);
}

void MainWindow::releaseDevices() {
    m_addressHolders.clear();
    m_sharedAddressDevices = 0;
    if (m_statusBar != nullptr)
        m_statusBar->SetSharedAddresses(0);
    m_deviceTree->invisibleRootItem()->takeChildren();
    qDeleteAll(m_rows);
    m_rows.clear();
    m_records.clear();
    m_typeCounts.clear();
    qDeleteAll(m_deviceList);
    m_deviceList.clear();
}

void MainWindow::setOnlineCount(int count) {
    m_onlineCount = count;
    showCount();
}

void MainWindow::showCount() {
    m_statusBar->SetOnlineNum(m_onlineCount, m_records.size(), m_filter.narrows());
}

// The form shows the highlighted row's device, and no device when no row is
// highlighted (the list emptied by a refresh, the row gone); a row the user
// highlights ends the wait to select another one again. While a filter
// moves rows the panel keeps its device (keepPanelDevice).
void MainWindow::slot_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem*) {
    if (m_keepingPanel)
        return;
    if (current != nullptr)
        m_reselectMac.clear();
    if (current == nullptr) {
        m_controlBar->SetNetworkParam(QString(), QString(), QString(), QString());
        m_controlBar->SetCamera(false, QString());
        m_controlBar->SetDeviceName(QString());
        m_controlBar->picturePanel()->setDevice(false);
        return;
    }
    const DevInfo* record = recordOf(current);
    m_controlBar->SetNetworkParam(record->mac, record->ipAddr, record->mask, record->route);
    m_controlBar->SetCamera(record->isCamera(), record->shownMac());
    m_controlBar->SetDeviceName(record->devName);
    m_controlBar->picturePanel()->setDevice(record->isCamera() ||
                                            record->productSeries == QLatin1String("ZVK_IPC"));
}

// The page's address is found off the window thread (a port probe of up to
// 200 ms); the page is opened, or the failure told, when it is known.
void MainWindow::slot_itemDoubleClicked(QTreeWidgetItem* item, int) {
    if (item != nullptr)
        openDevicePage(rowKey(item));
}

void MainWindow::openDevicePage(const QString& macText) {
    const DevInfo* record = findDeviceRecord(macText);
    if (record != nullptr && record->isCamera()) {
        openCameraPage(*record);
        return;
    }
    const std::string mac = macText.toStdString();
    auto url = std::make_shared<std::string>();
    CLorvexManage* manager = &m_manager;
    auto job = [manager, mac, url] {
        return manager->DeviceWebPage(mac.c_str(), url.get()) ? 1 : 0;
    };
    // One look-up at a time: a second double click meanwhile is the same wish.
    if (m_pageLookup->start(0, job))
        m_pageUrl = url;
}

void MainWindow::slot_pageLookupFinished(int, int found) {
    if (m_closing || m_pageUrl == nullptr)
        return;
    const QString url = QString::fromStdString(*m_pageUrl);
    m_pageUrl.reset();
    if (found == 0) {
        ShowActionMessage({BoxKind::Error, "IDCS_WEB_PAGE_NO_ADDRESS"}, this);
        return;
    }
    if (!OpenDevicePage(url.toStdString()))
        N12_MessageBox::error(GetText("IDCS_WEB_PAGE_NO_BROWSER_D").arg(url), this);
}

// A camera's page is its web server at the address the window reaches it
// at: no look-up to wait for.
void MainWindow::openCameraPage(const DevInfo& record) {
    const QString url = CameraPageUrl(record);
    if (url.isEmpty()) {
        ShowActionMessage({BoxKind::Error, "IDCS_WEB_PAGE_NO_ADDRESS"}, this);
        return;
    }
    if (!OpenDevicePage(url.toStdString()))
        N12_MessageBox::error(GetText("IDCS_WEB_PAGE_NO_BROWSER_D").arg(url), this);
}
