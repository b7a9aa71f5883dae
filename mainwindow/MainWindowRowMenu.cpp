// The device row's context menu and the row's marks (a device outside the
// PC's subnets, a device whose key no trusted maker certified): what the
// installer reaches and sees from a row without the side panel.
#include "MainWindow.h"

#include "DevInfo.h"
#include "DeviceActionRules.h"
#include "DeviceColumns.h"
#include "DeviceControlBar.h"
#include "IconButton.h"
#include "LanguageSrc.h"
#include "LorvexSearch.h"
#include "N12_MessageBox.h"
#include "OnvifPins.h"
#include "VistaTreeWidget.h"
#include "VistaTreeWidgetItem.h"
#include "ZVKMenu.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

#include <algorithm>

namespace {

// A small ring in the skin's amber: quiet beside the address, seen at a
// glance down the column.
QIcon foreignSubnetIcon() {
    static const QIcon icon = [] {
        QPixmap ring(12, 12);
        ring.fill(Qt::transparent);
        QPainter painter(&ring);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(232, 182, 70), 2));
        painter.drawEllipse(QRectF(2, 2, 8, 8));
        return QIcon(ring);
    }();
    return icon;
}

// Two overlapping rings in the skin's warning red: two devices on one
// address, the strongest mark the address cell carries.
QIcon sharedAddressIcon() {
    static const QIcon icon = [] {
        QPixmap rings(16, 12);
        rings.fill(Qt::transparent);
        QPainter painter(&rings);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(214, 64, 52), 2));
        painter.drawEllipse(QRectF(1.5, 2, 8, 8));
        painter.drawEllipse(QRectF(6.5, 2, 8, 8));
        return QIcon(rings);
    }();
    return icon;
}

// A filled disc with a sign in it, drawn in the colour of its warning.
QIcon signIcon(const QColor& colour, QChar sign) {
    QPixmap disc(12, 12);
    disc.fill(Qt::transparent);
    QPainter painter(&disc);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(0.5, 0.5, 11, 11));
    QFont font = painter.font();
    font.setPixelSize(10);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 12, 12), Qt::AlignCenter, QString(sign));
    return QIcon(disc);
}

// The name cell's mark and tip for a device's identity; no mark for a key a
// trusted maker certified, nor while nothing is known yet.
struct IdentityMark {
    QIcon icon;
    QString tip;
};

IdentityMark identityMark(int32_t state, const QString& fingerprint) {
    switch (state) {
    case LORVEX_IDENTITY_UNVERIFIED: {
        static const QIcon icon = signIcon(QColor(232, 182, 70), QLatin1Char('?'));
        return {icon, GetText("IDCS_IDENTITY_UNVERIFIED_TIP_D").arg(fingerprint)};
    }
    case LORVEX_IDENTITY_CONFIRMED: {
        static const QIcon icon = signIcon(QColor(128, 128, 128), QChar(0x2713));
        return {icon, GetText("IDCS_IDENTITY_CONFIRMED_TIP_D").arg(fingerprint)};
    }
    case LORVEX_IDENTITY_CONFLICT: {
        static const QIcon icon = signIcon(QColor(214, 64, 52), QLatin1Char('!'));
        return {icon, GetText("IDCS_IDENTITY_CONFLICT_TIP")};
    }
    default:
        return {};
    }
}

// The row's visible cells, tab-separated, as a spreadsheet takes them.
QString rowText(const QTreeWidget* tree, const QTreeWidgetItem* row) {
    QStringList cells;
    for (int c = 0; c < tree->columnCount(); ++c) {
        if (!tree->isColumnHidden(c))
            cells.append(row->text(c));
    }
    return cells.join(QLatin1Char('\t'));
}

} // namespace

void MainWindow::markRow(QTreeWidgetItem* row, const DevInfo& record) {
    const bool foreign =
        !m_hostAddresses.isEmpty() && !InHostSubnet(record.ipAddr, m_hostAddresses);
    const auto holders = m_addressHolders.constFind(record.ipAddr);
    const bool shared =
        countsForAddress(record) && holders != m_addressHolders.cend() && holders->count() > 1;
    QString tip = shared ? GetText("IDCS_ADDRESS_SHARED_TIP") : QString();
    if (foreign)
        tip += (shared ? QStringLiteral("\n\n") : QString()) + GetText("IDCS_FOREIGN_SUBNET_TIP");
    row->setIcon(COL_IP, shared ? sharedAddressIcon() : foreign ? foreignSubnetIcon() : QIcon());
    row->setToolTip(COL_IP, tip);
    const IdentityMark mark = identityMark(record.identity, record.fingerprint);
    row->setIcon(COL_NAME, mark.icon);
    row->setToolTip(COL_NAME, mark.tip);
}

// The identity asked afresh: the user's confirmation changes it without a
// device event.
void MainWindow::remarkRow(const QString& mac) {
    DevInfo* record = m_records.value(mac, nullptr);
    QTreeWidgetItem* row = m_rows.value(mac, nullptr);
    if (record == nullptr || row == nullptr)
        return;
    std::string fingerprint;
    record->identity = m_manager.GetIdentity(mac.toLatin1().constData(), &fingerprint);
    record->fingerprint = QString::fromStdString(fingerprint);
    markRow(row, *record);
}

void MainWindow::slot_rowMenuRequested(const QPoint& pos) {
    QTreeWidgetItem* row = m_deviceTree->itemAt(pos);
    if (row == nullptr)
        return;
    // A row of a selection keeps the selection (the batch entry acts on it);
    // any other row becomes the selection.
    if (row->isSelected())
        m_deviceTree->setCurrentItem(row, 0, QItemSelectionModel::NoUpdate);
    else
        m_deviceTree->setCurrentItem(row);
    QMenu* menu = rowMenu(row);
    // Not exec()'d: the menu must not outlive the window in a nested loop.
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_deviceTree->viewport()->mapToGlobal(pos));
}

// The entries in the order the installer needs them. Actions of other
// features (activation, batches) are added in addRowActions' second group.
QMenu* MainWindow::rowMenu(QTreeWidgetItem* row) {
    ZVKMenu* menu = new ZVKMenu(this);
    menu->setObjectName(QStringLiteral("rowMenu"));
    const QString mac = rowKey(row); // the list's key
    const QString shownMac = row->text(COL_MAC);
    const QString ip = row->text(COL_IP);
    const QString whole = rowText(m_deviceTree, row);
    auto add = [menu](const char* key, const char* name, auto&& action) {
        QAction* entry = menu->addAction(GetText(key));
        entry->setObjectName(QLatin1String(name));
        QObject::connect(entry, &QAction::triggered, menu, action);
    };
    add("IDCS_OPEN_WEB_PAGE", "openPageAction", [this, mac] { openDevicePage(mac); });
    menu->addSeparator();
    add("IDCS_COPY_MAC", "copyMacAction",
        [shownMac] { QApplication::clipboard()->setText(shownMac); });
    add("IDCS_COPY_IP", "copyIpAction", [ip] { QApplication::clipboard()->setText(ip); });
    add("IDCS_COPY_ROW", "copyRowAction", [whole] { QApplication::clipboard()->setText(whole); });
    menu->addSeparator();
    add("IDCS_CHANGE_NETWORK_PARAM", "modifyAction", [this] {
        m_deviceBarToggle->setChecked(true);
        m_controlBar->FocusNetworkForm();
    });
    add("IDCS_RESTORE_DEVICE_PASSWORD", "restoreAction", [this, mac] {
        if (refuseForCamera(mac))
            return;
        m_deviceBarToggle->setChecked(true);
        m_controlBar->PrepareRestore(mac);
    });
    // The maker's device with a password shows itself on request; an ONVIF
    // camera has no such request (its picture tells it apart instead).
    const DevInfo* record = findDeviceRecord(mac);
    QAction* identify = menu->addAction(GetText("IDCS_IDENTIFY_MENU"));
    identify->setObjectName(QStringLiteral("identifyAction"));
    identify->setEnabled(record != nullptr && !record->isCamera() && record->deviceActivated == 0);
    connect(identify, &QAction::triggered, menu, [this, mac] { identifyDevice(mac); });
    addCameraActions(menu, mac);
    addRowActions(menu);
    // The whole list's report, not the row's: last, after a separator.
    menu->addSeparator();
    // Its boxes open once the menu's own slot has returned (the menu is
    // deleted on close, never under a box's loop).
    add("IDCS_SITE_REPORT_MENU", "siteReportAction",
        [this] { QTimer::singleShot(0, this, [this] { openSiteReport(); }); });
    return menu;
}

// A camera row's own action: forgetting the HTTPS certificate pinned for
// it (enabled only while one is), the way to accept a certificate replaced
// on purpose after the refusal said what it means.
void MainWindow::addCameraActions(QMenu* menu, const QString& mac) {
    const DevInfo* record = findDeviceRecord(mac);
    if (record == nullptr || record->endpoint.isEmpty())
        return;
    const std::string endpoint = record->endpoint.toStdString();
    std::string pin;
    QAction* forget = menu->addAction(GetText("IDCS_ONVIF_FORGET_CERTIFICATE"));
    forget->setObjectName(QStringLiteral("forgetCertificateAction"));
    forget->setEnabled(onvif::LookupPin(endpoint, &pin));
    connect(forget, &QAction::triggered, menu, [this, endpoint] {
        if (onvif::ForgetPin(endpoint))
            N12_MessageBox::information(GetText("IDCS_ONVIF_CERTIFICATE_FORGOTTEN"), this);
    });
}

// The row actions that act on the selected rows, after a separator:
// re-addressing them, one entry that activates those without a password
// yet (the activation dialog, for one device as for many), their clocks
// and their cameras' pictures.
void MainWindow::addRowActions(QMenu* menu) {
    menu->addSeparator();
    QAction* batch = menu->addAction(GetText("IDCS_BATCH_TITLE"));
    batch->setObjectName(QStringLiteral("batchAction"));
    connect(batch, &QAction::triggered, menu, [this] { openBatchDialog(); });
    QAction* activate = menu->addAction(GetText("IDCS_ACTIVATE_MENU"));
    activate->setObjectName(QStringLiteral("activateAction"));
    activate->setEnabled(selectionNeedsActivation());
    connect(activate, &QAction::triggered, menu, [this] { openActivationDialog(); });
    QAction* clocks = menu->addAction(GetText("IDCS_CLOCK_MENU"));
    clocks->setObjectName(QStringLiteral("clockAction"));
    connect(clocks, &QAction::triggered, menu, [this] { openClockDialog(); });
    // Offered while a selected device is a camera of either protocol.
    const std::vector<commission::PlanDevice> selected = selectedPlanDevices();
    QAction* pictures = menu->addAction(GetText("IDCS_PICTURES_MENU"));
    pictures->setObjectName(QStringLiteral("picturesAction"));
    pictures->setEnabled(std::any_of(selected.begin(), selected.end(), PictureDialog::IsCamera));
    connect(pictures, &QAction::triggered, menu, [this] { openPictureDialog(); });
}
