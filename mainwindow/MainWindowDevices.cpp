// The device list: records handed over from the search and the tree rows
// that show them.
#include "MainWindow.h"

#include "DevInfo.h"
#include "DeviceColumns.h"
#include "DeviceControlBar.h"
#include "StatusBar.h"
#include "VistaTreeWidget.h"
#include "VistaTreeWidgetItem.h"

#include <QVariant>

namespace {

DevInfo* recordOf(const QTreeWidgetItem* item) {
    return static_cast<DevInfo*>(item->data(0, Qt::UserRole).value<void*>());
}

} // namespace

void MainWindow::slot_recvOnlineDeviceInfo(void* data, int opt) {
    DevInfo* device = static_cast<DevInfo*>(data);
    if (device == nullptr)
        return;
    if (m_closing) {
        delete device;
        return;
    }
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
    // Sorting off, so that the new row stays at the top where it goes in.
    m_deviceTree->setSortingEnabled(false);
    if (addDeviceItem(device))
        setOnlineCount(m_onlineCount + 1);
    m_deviceList.append(device);
}

void MainWindow::changeDevice(DevInfo* device) {
    QTreeWidgetItem* item = m_rows.value(device->mac);
    m_deviceTree->setSortingEnabled(false);
    if (item != nullptr) {
        fillItem(item, *device);
        CopyDeviceFields(*device, recordOf(item));
    }
    delete device;
}

void MainWindow::removeDevice(DevInfo* device) {
    QTreeWidgetItem* item = m_rows.take(device->mac);
    delete device;
    if (item == nullptr)
        return;
    DevInfo* record = recordOf(item);
    m_deviceTree->takeTopLevelItem(m_deviceTree->indexOfTopLevelItem(item));
    m_deviceList.removeAll(record);
    delete record;
    delete item;
    setOnlineCount(m_onlineCount - 1);
}

bool MainWindow::addDeviceItem(DevInfo* device) {
    if (device == nullptr)
        return false;
    QTreeWidgetItem* item = new VistaTreeWidgetItem;
    for (int c = 0; c < kDeviceColumnCount; ++c)
        item->setTextAlignment(c, Qt::AlignCenter);
    fillItem(item, *device);
    item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(device)));
    m_deviceTree->insertTopLevelItem(0, item);
    m_rows.insert(device->mac, item);
    return true;
}

void MainWindow::fillItem(QTreeWidgetItem* item, const DevInfo& device) {
    for (int c = 0; c < kDeviceColumnCount; ++c) {
        const QString text = deviceColumnText(device, c);
        // An activation state other than 0 or 1 leaves the cell as it was.
        if (c != COL_ACTIVATION || !text.isNull())
            item->setText(c, text);
    }
}

bool MainWindow::isDeviceExist(const QString& mac) const {
    for (const DevInfo* record : m_deviceList) {
        if (record->mac == mac)
            return true;
    }
    return false;
}

void MainWindow::clearDevices() {
    m_deviceTree->clear();
    m_rows.clear();
    qDeleteAll(m_deviceList);
    m_deviceList.clear();
    setOnlineCount(0);
}

void MainWindow::setOnlineCount(int count) {
    m_onlineCount = count;
    m_statusBar->SetOnlineNum(count);
}

void MainWindow::slot_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem*) {
    if (current == nullptr)
        return;
    const DevInfo* record = recordOf(current);
    m_controlBar->SetNetworkParam(record->mac, record->ipAddr, record->mask, record->route);
}

void MainWindow::slot_itemDoubleClicked(QTreeWidgetItem* item, int) {
    if (item != nullptr)
        m_manager.OpenDeviceWeb(item->text(COL_MAC).toUtf8().constData());
}
