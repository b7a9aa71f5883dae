// MainWindow's part in commissioning: the extended selection of the device
// tree, the batch dialog for the selected devices and the export of the
// device list as CSV.
#include "Activation.h"
#include "ActivationDialog.h"
#include "BatchDialog.h"
#include "CameraRows.h"
#include "DeviceClock.h"
#include "OnvifActions.h"
#include "Csv.h"
#include "DevInfo.h"
#include "DeviceColumns.h"
#include "DeviceControlBar.h"
#include "LanguageSrc.h"
#include "MainWindow.h"

#include "SessionLog.h"
#include "N12_MessageBox.h"
#include "Neighbours.h"
#include "StatusBar.h"
#include "VistaTreeWidget.h"
#include "VistaTreeWidgetItem.h"
#include "ZVKLineEdit.h"
#include "ZVKPushButton.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPointer>
#include <QTimer>
#include <QTreeWidgetItem>

#include <algorithm>
#include <ctime>
#include <optional>
#include <map>

namespace {

// The stable CSV name of each tree column: the field of the device record
// it shows, so that an exported list reads back as a plan.
const char* const kColumnNames[kDeviceColumnCount] = {
    "devName",     "productSeries",      "productModel", "ipAddr",
    "httpPort",    "dataPort",           "mask",         "route",
    "softwareVer", "softwareBulildDate", "hardwareVer",  "mac",
    "kernelVer",   "bootTime",           "runningTime",  "deviceActivated"};

// How long a note stays in the status bar.
constexpr int kNoticeMs = 30000;

// How long the kernel gets to resolve the addresses a plan probes.
constexpr int kNeighbourWaitMs = 300;

const char kStripButtonSheet[] =
    "ZVKPushButton { color: rgb(232,232,232); border-radius: 2px; background: transparent;"
    " text-align: center; padding: 0px 4px; } ZVKPushButton:hover { background: rgb(115,122,132); }"
    " ZVKPushButton:pressed { background: rgb(66,71,74); }";

} // namespace

void MainWindow::buildBatchButtons() {
    // Several rows for a batch; the control bar keeps to the current row.
    m_deviceTree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_batchButton = new ZVKPushButton(GetText("IDCS_BATCH_TITLE"), this);
    m_batchButton->setObjectName(QStringLiteral("batchButton"));
    m_activateButton = new ZVKPushButton(GetText("IDCS_ACTIVATE_BATCH_TITLE"), this);
    m_activateButton->setObjectName(QStringLiteral("activateBatchButton"));
    m_activateButton->setEnabled(false);
    m_clockButton = new ZVKPushButton(GetText("IDCS_CLOCK_TITLE"), this);
    m_clockButton->setObjectName(QStringLiteral("clockButton"));
    m_exportButton = new ZVKPushButton(GetText("IDCS_EXPORT_LIST"), this);
    m_exportButton->setObjectName(QStringLiteral("exportButton"));
    for (ZVKPushButton* b : {m_batchButton, m_activateButton, m_clockButton, m_exportButton}) {
        b->setStyleSheet(QLatin1String(kStripButtonSheet) +
                         QLatin1String(" ZVKPushButton:disabled { color: rgb(130,134,140); }"));
        b->setAutoDefault(false);
    }
    connect(m_batchButton, &QPushButton::clicked, this, [this] { openBatchDialog(); });
    connect(m_activateButton, &QPushButton::clicked, this, [this] { openActivationDialog(); });
    connect(m_clockButton, &QPushButton::clicked, this, [this] { openClockDialog(); });
    connect(m_deviceTree, &QTreeWidget::itemSelectionChanged, this,
            [this] { updateActivationEntry(); });
    connect(m_exportButton, SIGNAL(clicked()), this, SLOT(slot_exportDeviceList()));
}

int MainWindow::placeBatchButtons(const QRect& refresh) {
    int left = refresh.right() + 16;
    for (ZVKPushButton* b : {m_batchButton, m_activateButton, m_clockButton, m_exportButton}) {
        b->ensurePolished();
        const int w = b->fontMetrics().horizontalAdvance(b->text()) + 20;
        b->setGeometry(left, refresh.y(), w, refresh.height());
        left += w + 8;
    }
    return left - 8;
}

// The rows a batch acts on: the selected rows shown, in the tree's order,
// else the current row.
QList<QTreeWidgetItem*> MainWindow::batchRows() const {
    QList<QTreeWidgetItem*> rows;
    for (int i = 0; i < m_deviceTree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = m_deviceTree->topLevelItem(i);
        if (row->isSelected() && !row->isHidden())
            rows << row;
    }
    if (rows.isEmpty() && m_deviceTree->currentItem() != nullptr)
        rows << m_deviceTree->currentItem();
    return rows;
}

std::vector<SEARCH_INFO> MainWindow::selectedDevices() {
    std::vector<SEARCH_INFO> out;
    for (const QTreeWidgetItem* row : batchRows()) {
        SEARCH_INFO device{};
        if (m_manager.FindDevice(rowKey(row).toUtf8().constData(), &device))
            out.push_back(device);
    }
    return out;
}

// The devices in the order the installer sorted the list, rows that the
// sort column does not tell apart (box-fresh devices at one factory
// address) by MAC. Never in the order the devices happened to answer.
std::vector<commission::PlanDevice> MainWindow::selectedPlanDevices() {
    std::vector<std::pair<QString, commission::PlanDevice>> rows; // sort text, device
    const int column = m_deviceTree->header()->sortIndicatorSection();
    for (const QTreeWidgetItem* row : batchRows()) {
        const QString key = rowKey(row);
        SEARCH_INFO device{};
        const QString text = column >= 0 ? row->text(column) : QString();
        if (const DevInfo* record = findDeviceRecord(key); record != nullptr && record->isCamera())
            rows.emplace_back(text, CameraPlanDevice(*record));
        else if (m_manager.FindDevice(key.toUtf8().constData(), &device))
            rows.emplace_back(text, commission::PlanDeviceOf(device));
    }
    // Runs of equal sort text are adjacent in a sorted list.
    for (auto run = rows.begin(); run != rows.end();) {
        const auto end =
            std::find_if(run, rows.end(), [&](const auto& r) { return r.first != run->first; });
        std::sort(run, end, [](const auto& a, const auto& b) {
            return commission::DeviceKey(a.second) < commission::DeviceKey(b.second);
        });
        run = end;
    }
    std::vector<commission::PlanDevice> out;
    for (auto& r : rows)
        out.push_back(std::move(r.second));
    return out;
}

// The cameras of a batch: each through onvif::Readdress with the batch's
// login, found by the endpoint its row stood for when the dialog opened.
commission::BatchServices
MainWindow::cameraBatchServices(commission::BatchServices services,
                                const std::shared_ptr<BatchDialog::CameraLogin>& login) {
    std::map<std::string, std::string> endpoints; // row key to endpoint
    for (const DevInfo* record : m_deviceList)
        if (record->isCamera())
            endpoints.emplace(record->mac.toStdString(), record->endpoint.toStdString());
    onvif::CameraSearch* search = &m_cameras->search();
    services.readdressOther = [endpoints, search, login, closing = m_closingCamera](
                                  const commission::PlanEntry& entry,
                                  const commission::BatchServices::ProgressFn& progress,
                                  const std::function<bool()>& cancelled,
                                  commission::DeviceStatus* out) {
        using commission::BatchState;
        const auto found = endpoints.find(commission::DeviceKey(entry.device));
        if (found == endpoints.end())
            return false;
        onvif::CameraRecord camera;
        if (!search->Find(found->second, &camera)) {
            *out = {BatchState::Gone, commission::RefusalReason::None, 0, false, false};
            return true;
        }
        onvif::ReaddressRequest request;
        request.ip = entry.ip;
        request.prefixLength = onvif::PrefixLength(entry.mask);
        request.gateway = entry.gateway;
        request.user = login->user;
        request.password = login->password;
        request.cancelled = [cancelled, closing] { return cancelled() || closing->load(); };
        const auto step = [&progress](onvif::ReaddressStep s) {
            if (s == onvif::ReaddressStep::Rebooting || s == onvif::ReaddressStep::Verifying)
                progress({s == onvif::ReaddressStep::Rebooting ? BatchState::Rebooting
                                                               : BatchState::Verifying,
                          commission::RefusalReason::None, 0, false, false});
        };
        AwaitCameraRoute(camera);
        *out = commission::CameraBatchStatus(onvif::Readdress(camera, request, search, step));
        return true;
    };
    // A camera's name and clock: its own action with the batch's login,
    // read back. The maker's devices take no clock through this tool yet.
    const auto camera = [endpoints, search](const commission::PlanEntry& entry,
                                            onvif::CameraRecord* out) {
        const auto found = endpoints.find(commission::DeviceKey(entry.device));
        return found != endpoints.end() && search->Find(found->second, out);
    };
    const auto context = [login, closing = m_closingCamera] {
        onvif::ActionContext c;
        c.user = login->user;
        c.password = login->password;
        c.stop = closing.get();
        return c;
    };
    services.renameOther = [camera, context](const commission::PlanEntry& entry, const std::string&,
                                             commission::DeviceStatus* out) {
        onvif::CameraRecord record;
        if (!camera(entry, &record))
            return false;
        AwaitCameraRoute(record);
        onvif::RenameRequest request;
        request.name = entry.name;
        const onvif::RenameResult r = onvif::Rename(record, request, context());
        *out = commission::CameraActionStatus(r.outcome, r.verified);
        return true;
    };
    services.setClock = [camera, context](const commission::PlanEntry& entry, const std::string&,
                                          const std::function<bool()>& cancelled) {
        onvif::CameraRecord record;
        if (!camera(entry, &record))
            return commission::DeviceStatus{commission::BatchState::Refused,
                                            commission::RefusalReason::Unsupported};
        AwaitCameraRoute(record);
        onvif::ClockRequest request;
        request.ntp = !entry.ntp.empty();
        request.ntpServer = entry.ntp;
        request.timeZone = entry.timeZone;
        onvif::ActionContext stoppable = context();
        stoppable.cancelled = cancelled;
        const onvif::ClockResult r = onvif::SetClock(record, request, stoppable);
        return commission::CameraActionStatus(r.outcome, r.verified);
    };
    return services;
}

void MainWindow::openBatchDialog() {
    std::vector<commission::PlanDevice> selected = selectedPlanDevices();
    if (selected.empty())
        return;
    BatchDialog::Engine engine;
    CLorvexManage* manager = &m_manager;
    // A plan's name travels with the addresses; its setup codes activate first.
    engine.services.send = [manager](const commission::PlanEntry& e, const std::string& pw) {
        return manager->SetNetParam(e.device.mac.c_str(), e.ip.c_str(), e.mask.c_str(),
                                    e.gateway.c_str(), pw.c_str(), e.httpPort.c_str(),
                                    e.dataPort.c_str(), false, e.name.c_str());
    };
    engine.services.activate = [manager](const commission::PlanEntry& e, const std::string& pw) {
        return manager->Activate(e.device.mac.c_str(), pw.c_str(), e.setupCode.c_str());
    };
    engine.services.find = [manager](const std::string& mac, SEARCH_INFO* out) {
        return manager->FindDevice(mac.c_str(), out);
    };
    engine.services.verifyBound = commission::VerifyBoundFor(m_manager.GetAutoSearch());
    engine.searchRunning = m_manager.GetAutoSearch() > 0;
    const std::vector<LocalInterface> interfaces = m_manager.GetLocalInterfaces();
    for (const LocalInterface& i : interfaces)
        engine.hostAddresses.push_back(i.ip);
    engine.probe = [interfaces](const std::vector<uint32_t>& candidates) {
        return commission::ProbeNeighbours(candidates, interfaces, kNeighbourWaitMs);
    };
    // Cameras: the session's login when there is one (never stored on
    // disk), else the dialog asks for one for this batch.
    engine.sessionLogin = {m_sessionUser, m_sessionPassword};
    const QString user = m_controlBar->networkUser();
    engine.cameraUser = user.isEmpty() ? std::string("admin") : user.toStdString();
    engine.services = cameraBatchServices(std::move(engine.services), engine.batchLogin);
    // The maker's devices' clocks: set with this computer's time, read back
    // from an answer after the request (lorvex::ClockReadBack).
    auto readBack = std::make_shared<lorvex::ClockReadBack>(m_clockReadings);
    engine.services.setClock = [manager, readBack, camera = engine.services.setClock](
                                   const commission::PlanEntry& e, const std::string& pw,
                                   const std::function<bool()>& cancelled) {
        SEARCH_INFO record{};
        if (!manager->FindDevice(e.device.mac.c_str(), &record))
            return camera(e, pw, cancelled);
        CLorvexManage::ClockSetting setting;
        setting.ntpServer = e.ntp;
        setting.timeZone = e.timeZone;
        setting.setTime = true;
        readBack->Sent(e.device.mac);
        const lorvex::Outcome outcome =
            manager->SetClock(e.device.mac.c_str(), pw.c_str(), setting);
        if (outcome != lorvex::Outcome::Done)
            return commission::RefusalStatus(outcome);
        readBack->Accepted(e.device.mac);
        return commission::DeviceStatus{commission::BatchState::Verifying};
    };
    engine.services.clockRead = [readBack](const commission::PlanEntry& e) {
        return readBack->Read(e.device.mac, e.ntp, e.timeZone);
    };
    // Every listed device's addresses are skipped by a plan, cameras' too.
    std::vector<commission::PlanDevice> listed;
    for (const SEARCH_INFO& d : m_manager.GetDevices())
        listed.push_back(commission::PlanDeviceOf(d));
    for (const DevInfo* record : m_deviceList)
        if (record->isCamera())
            listed.push_back(CameraPlanDevice(*record));
    delete m_batchDialog;
    m_batchDialog =
        new BatchDialog(std::move(selected), std::move(listed), std::move(engine), this);
    showBatchDialog(m_batchDialog, "batchDialog", [this] {
        if (!m_batchDialog)
            return;
        logPlan(*m_batchDialog);
        showMovedDevices(m_batchDialog->plan(), m_batchDialog->statuses());
    });
}

void MainWindow::showMovedDevices(const std::vector<commission::PlanEntry>& plan,
                                  const std::vector<commission::DeviceStatus>& statuses) {
    if (m_filter.find.isEmpty())
        return;
    bool hidden = false;
    for (size_t i = 0; i < plan.size() && i < statuses.size(); ++i) {
        if (statuses[i].state != commission::BatchState::Done)
            continue;
        // The device as it is now, whether or not its new answer has reached
        // the list yet.
        const DevInfo* record =
            findDeviceRecord(QString::fromStdString(commission::DeviceKey(plan[i].device)));
        if (record == nullptr)
            continue;
        DevInfo moved = *record;
        moved.ipAddr = QString::fromStdString(plan[i].ip);
        moved.mask = QString::fromStdString(plan[i].mask);
        moved.route = QString::fromStdString(plan[i].gateway);
        hidden = hidden || !m_filter.passes(moved);
    }
    if (!hidden)
        return;
    m_findField->clear();
    showNotice(GetText("IDCS_FIND_CLEARED_AFTER_BATCH"));
}

void MainWindow::showNotice(const QString& text) {
    m_statusBar->ShowNotice(text);
    const int shown = ++m_noticeCount;
    // A note on what just happened, not a state: it goes after a while.
    QTimer::singleShot(kNoticeMs, this, [this, shown] {
        if (shown == m_noticeCount)
            m_statusBar->ShowNotice(QString());
    });
}

void MainWindow::showBatchDialog(BatchDialogBase* dialog, const char* objectName,
                                 std::function<void()> finished) {
    dialog->setObjectName(QLatin1String(objectName));
    if (finished)
        connect(dialog, &BatchDialogBase::batchFinished, this, std::move(finished));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();
}

void MainWindow::closeBatchDialog() {
    delete m_batchDialog;
    delete m_activationDialog;
    delete m_clockDialog;
    delete m_pictureDialog;
}

bool MainWindow::selectionNeedsActivation() const {
    QList<QTreeWidgetItem*> rows = m_deviceTree->selectedItems();
    if (rows.isEmpty() && m_deviceTree->currentItem() != nullptr)
        rows << m_deviceTree->currentItem();
    for (const QTreeWidgetItem* row : rows) {
        const DevInfo* record = findDeviceRecord(row->text(COL_MAC));
        if (!row->isHidden() && record != nullptr && record->deviceActivated == 1)
            return true;
    }
    return false;
}

void MainWindow::updateActivationEntry() {
    if (m_activateButton != nullptr)
        m_activateButton->setEnabled(selectionNeedsActivation());
}

void MainWindow::openActivationDialog() {
    const std::vector<SEARCH_INFO> selected = selectedDevices();
    const auto needing =
        std::count_if(selected.begin(), selected.end(), commission::NeedsActivation);
    if (needing == 0)
        return;
    // One device: its own form, which asks for the code on its label; many:
    // the activation dialog, which takes the scanned labels' codes.
    if (needing == 1) {
        const auto one =
            std::find_if(selected.begin(), selected.end(), commission::NeedsActivation);
        activateDevice(QString::fromLatin1(one->mac));
        return;
    }
    commission::BatchServices services;
    CLorvexManage* manager = &m_manager;
    services.send = [manager](const commission::PlanEntry& e, const std::string& pw) {
        return manager->Activate(e.device.mac.c_str(), pw.c_str(), e.setupCode.c_str());
    };
    services.find = [manager](const std::string& mac, SEARCH_INFO* out) {
        return manager->FindDevice(mac.c_str(), out);
    };
    services.verifyBound = commission::VerifyBoundFor(m_manager.GetAutoSearch());
    delete m_activationDialog;
    m_activationDialog = new ActivationDialog(selected, std::move(services), this);
    showBatchDialog(m_activationDialog, "activationDialog", [this] {
        if (m_activationDialog)
            logBatch(*m_activationDialog, report::Deed::Activated);
    });
}

QByteArray MainWindow::deviceListCsv(bool visibleColumnsOnly) const {
    QList<int> columns;
    const QHeaderView* header = m_deviceTree->header();
    for (int v = 0; v < header->count(); ++v) {
        const int logical = visibleColumnsOnly ? header->logicalIndex(v) : v;
        if (logical >= 0 && logical < kDeviceColumnCount &&
            !(visibleColumnsOnly && header->isSectionHidden(logical)))
            columns << logical;
    }
    std::vector<std::string> cells;
    for (int c : columns)
        cells.push_back(kColumnNames[c]);
    std::string text = "\xEF\xBB\xBF" + commission::CsvLine(cells);
    for (int i = 0; i < m_deviceTree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = m_deviceTree->topLevelItem(i);
        if (row->isHidden())
            continue;
        cells.clear();
        for (int c : columns)
            cells.push_back(row->text(c).toStdString());
        text += commission::CsvLine(cells);
    }
    return QByteArray(text.data(), int(text.size()));
}

// The dialog starts in the user's home folder, not in whatever folder the
// program was started from; the box after it names the file written. On
// the heap and watched, like every box over the window.
QString MainWindow::askSaveFile(const QString& title, const QString& filter, const QString& name,
                                const char* objectName) {
    QPointer<QFileDialog> dialog = new QFileDialog(this, title, QDir::homePath(), filter);
    dialog->setObjectName(QLatin1String(objectName));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QFileInfo(name).suffix());
    dialog->selectFile(QDir::home().filePath(name));
    const bool chosen = dialog->exec() == QDialog::Accepted;
    if (dialog.isNull())
        return QString();
    const QString path =
        chosen && !dialog->selectedFiles().isEmpty() ? dialog->selectedFiles().first() : QString();
    delete dialog;
    return path;
}

void MainWindow::slot_exportDeviceList() {
    const QString path = askSaveFile(GetText("IDCS_EXPORT_LIST"), QStringLiteral("CSV (*.csv)"),
                                     QStringLiteral("devices.csv"), "exportDialog");
    if (path.isEmpty())
        return;
    QFile file(path);
    const QByteArray csv = deviceListCsv(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(csv) != csv.size()) {
        N12_MessageBox::error(GetText("IDCS_BATCH_ERROR_SAVE"), this);
        return;
    }
    int rows = 0;
    for (int i = 0; i < m_deviceTree->topLevelItemCount(); ++i)
        rows += m_deviceTree->topLevelItem(i)->isHidden() ? 0 : 1;
    N12_MessageBox::information(GetText("IDCS_EXPORT_LIST_SAVED_D")
                                    .arg(QString::number(rows), QDir::toNativeSeparators(path)),
                                this);
}
