// The site report from the window: every device the window knows (shown
// or filtered out), written through the report module in the window's
// language, the same page and CSV the command line writes.
#include "MainWindow.h"

#include "DevInfo.h"
#include "DeviceColumns.h"
#include "LanguageSrc.h"
#include "LorvexSearch.h"
#include "LorvexVersion.h"
#include "N12_MessageBox.h"
#include "SessionLog.h"
#include "SiteReport.h"
#include "BatchDialogBase.h"
#include "ClockDialog.h"
#include "DeviceClock.h"

#include <QDateTime>
#include <QDir>
#include <QHostAddress>
#include <QInputDialog>
#include <QPointer>
#include <QSysInfo>

#include <algorithm>

namespace {

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

report::Labels WindowLabels() {
    report::Labels l;
    const std::pair<std::string*, const char*> keys[] = {
        {&l.title, "IDCS_SITE_REPORT_TITLE"},
        {&l.site, "IDCS_SITE_REPORT_SITE"},
        {&l.date, "IDCS_DATE"},
        {&l.pc, "IDCS_SITE_REPORT_PC"},
        {&l.version, "IDCS_SITE_REPORT_VERSION"},
        {&l.devices, "IDCS_SITE_REPORT_DEVICES"},
        {&l.name, "IDCS_DEVICE_NAME"},
        {&l.type, "IDCS_DEVICE_TYPE"},
        {&l.model, "IDCS_PRODUCT_MODE"},
        {&l.mac, "IDCS_SITE_REPORT_MAC"},
        {&l.address, "IDCS_IP_ADDRESS"},
        {&l.mask, "IDCS_SUBNET_MASK"},
        {&l.gateway, "IDCS_GATEWAY"},
        {&l.firmware, "IDCS_SOFT_VERSION"},
        {&l.identity, "IDCS_SITE_REPORT_IDENTITY"},
        {&l.activation, "IDCS_DEVICE_ACTIVA_STATE"},
        {&l.action, "IDCS_SITE_REPORT_ACTION"},
        {&l.verified, "IDCS_SITE_REPORT_VERIFIED"},
        {&l.clock, "IDCS_SITE_REPORT_CLOCK"},
        {&l.clockSeconds, "IDCS_SITE_REPORT_CLOCK_SECONDS"},
        {&l.snapshot, "IDCS_SITE_REPORT_SNAPSHOT"},
        {&l.certified, "IDCS_SITE_REPORT_CERTIFIED"},
        {&l.confirmed, "IDCS_SITE_REPORT_CONFIRMED"},
        {&l.unverified, "IDCS_SITE_REPORT_UNVERIFIED"},
        {&l.nothing, "IDCS_SITE_REPORT_NOTHING"},
        {&l.yes, "IDCS_YES"},
        {&l.no, "IDCS_NO"},
        {&l.seconds, "IDCS_SECOND"},
    };
    for (const auto& k : keys)
        *k.first = Utf8(GetText(k.second));
    return l;
}

report::Identity IdentityOf(const DevInfo& device) {
    if (device.isCamera())
        return report::Identity::Unverified;
    if (device.identity == LORVEX_IDENTITY_VERIFIED)
        return report::Identity::Certified;
    if (device.identity == LORVEX_IDENTITY_CONFIRMED)
        return report::Identity::Confirmed;
    return report::Identity::Unverified;
}

report::DeedWords WindowDeedWords() {
    report::DeedWords words;
    const char* keys[report::kDeedCount] = {
        "IDCS_SITE_REPORT_READDRESSED", "IDCS_SITE_REPORT_ACTIVATED", "IDCS_SITE_REPORT_RENAMED",
        "IDCS_SITE_REPORT_RESTORED", "IDCS_SITE_REPORT_CLOCK_SET"};
    for (int i = 0; i < report::kDeedCount; ++i)
        words.words[i] = Utf8(GetText(keys[i]));
    return words;
}

report::Row RowOf(const DevInfo& device) {
    report::Row row;
    row.name = Utf8(device.devName);
    const QString type = deviceTypeText(device.productSeries);
    row.type = Utf8(type.isEmpty() ? device.productSeries : type);
    row.model = Utf8(device.productModel);
    row.macOrEndpoint = Utf8(device.shownMac().isEmpty() ? device.endpoint : device.shownMac());
    row.address = Utf8(device.ipAddr);
    row.mask = Utf8(device.mask);
    row.gateway = Utf8(device.route);
    row.firmware = Utf8(device.softwareVer);
    row.identity = IdentityOf(device);
    if (!device.isCamera())
        row.activation = Utf8(device.deviceActivated == 0   ? GetText("IDCS_ACTIVATED")
                              : device.deviceActivated == 1 ? GetText("IDCS_NONACTIVATED")
                                                            : QString());
    return row;
}

} // namespace

bool MainWindow::writeSiteReport(const QString& path, const QString& site, QString* error) const {
    QList<const DevInfo*> devices(m_deviceList.begin(), m_deviceList.end());
    // By address as numbers, equal addresses by MAC, as the list sorts them.
    std::stable_sort(devices.begin(), devices.end(), [](const DevInfo* a, const DevInfo* b) {
        const quint64 x = QHostAddress(a->ipAddr).toIPv4Address();
        const quint64 y = QHostAddress(b->ipAddr).toIPv4Address();
        const quint64 ka = x ? x : quint64(1) << 32, kb = y ? y : quint64(1) << 32;
        return ka != kb ? ka < kb : a->mac < b->mac;
    });
    std::vector<report::Row> rows;
    const report::DeedWords words = WindowDeedWords();
    for (const DevInfo* device : devices) {
        report::Row row = RowOf(*device);
        if (m_sessionLog)
            row.action = m_sessionLog->Summary(Utf8(device->mac), words, &row.verified);
        clockOffsetOf(*device, &row);
        const auto picture = m_thumbnails.find(device->mac);
        if (picture != m_thumbnails.end()) {
            row.thumbnailJpeg = picture->second.jpeg;
            row.thumbnailWidth = picture->second.width;
            row.thumbnailHeight = picture->second.height;
        }
        rows.push_back(std::move(row));
    }
    report::Header header;
    header.site = Utf8(site);
    header.date =
        Utf8(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")));
    header.pc = Utf8(QSysInfo::machineHostName());
    header.version = LORVEX_VERSION;
    std::string reason;
    if (report::WriteReport(Utf8(path), header, rows, &reason, WindowLabels()))
        return true;
    *error = QString::fromStdString(reason);
    return false;
}

// The site's name first, then the file (starting in the home folder), then
// a box that names both files written or says why not. Each box on the
// heap and watched, like every box over the window.
void MainWindow::openSiteReport() {
    QPointer<QInputDialog> ask = new QInputDialog(this);
    ask->setObjectName(QStringLiteral("siteNameDialog"));
    ask->setWindowTitle(GetText("IDCS_SITE_REPORT_TITLE"));
    ask->setLabelText(GetText("IDCS_SITE_REPORT_SITE_PROMPT"));
    const bool named = ask->exec() == QDialog::Accepted;
    if (ask.isNull())
        return;
    const QString site = ask->textValue().trimmed();
    delete ask;
    if (!named)
        return;
    const QString path =
        askSaveFile(GetText("IDCS_SITE_REPORT_SAVE"), QStringLiteral("HTML (*.html)"),
                    QStringLiteral("site-report.html"), "siteReportDialog");
    if (path.isEmpty())
        return;
    QString error;
    if (!writeSiteReport(path, site, &error)) {
        N12_MessageBox::error(GetText("IDCS_SITE_REPORT_FAILED_D").arg(error), this);
        return;
    }
    const QString csv = QString::fromStdString(report::CsvPathFor(Utf8(path)));
    QString written = GetText("IDCS_SITE_REPORT_WRITTEN_D")
                          .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(csv));
    // The report never waits on the network: it says where pictures lack.
    if (const int lacking = camerasWithoutPicture(); lacking > 0)
        written += QStringLiteral("\n\n") + GetText("IDCS_SITE_REPORT_NO_PICTURE_D").arg(lacking);
    N12_MessageBox::information(written, this);
}

report::SessionLog& MainWindow::sessionLog() {
    if (!m_sessionLog)
        m_sessionLog = std::make_shared<report::SessionLog>();
    return *m_sessionLog;
}

void MainWindow::logBatch(const BatchDialogBase& dialog, report::Deed deed) {
    const auto& plan = dialog.planEntries();
    const auto& statuses = dialog.statuses();
    for (size_t i = 0; i < plan.size() && i < statuses.size(); ++i) {
        const commission::BatchState state = statuses[i].state;
        if (state != commission::BatchState::Done &&
            state != commission::BatchState::NotConfirmed && state != commission::BatchState::Gone)
            continue;
        sessionLog().Add(commission::DeviceKey(plan[i].device), deed,
                         state == commission::BatchState::Done);
    }
}

// The plan's steps a row reached, each as its deed: the steps before the
// one a row ended at were read back; that one was sent and not seen done
// when the row ended not confirmed or gone, and counts for nothing when it
// was refused or skipped. A maker's device takes its name with its
// addresses, so a name not seen there follows addresses seen.
void MainWindow::logPlan(const BatchDialogBase& dialog) {
    using commission::BatchState;
    using commission::PlanStep;
    const auto& plan = dialog.planEntries();
    const auto& statuses = dialog.statuses();
    for (size_t i = 0; i < plan.size() && i < statuses.size(); ++i) {
        const commission::PlanEntry& e = plan[i];
        const commission::DeviceStatus& s = statuses[i];
        const bool done = s.state == BatchState::Done;
        const bool unseen = s.state == BatchState::NotConfirmed || s.state == BatchState::Gone;
        if (!done && !unseen && s.step == PlanStep::None)
            continue;
        const bool camera = !e.device.endpoint.empty();
        // A row that keeps the device's addresses is not re-addressed.
        const bool moves =
            e.ip != e.device.ip || e.mask != e.device.mask || e.gateway != e.device.gateway;
        struct Step {
            PlanStep step;
            report::Deed deed;
            bool noted;
        };
        std::vector<Step> steps;
        if (!e.name.empty() && camera)
            steps.push_back({PlanStep::Name, report::Deed::Renamed, true});
        steps.push_back({PlanStep::Address, report::Deed::Readdressed, moves});
        if (!e.name.empty() && !camera)
            steps.push_back({PlanStep::Name, report::Deed::Renamed, true});
        if (e.AsksClock())
            steps.push_back({PlanStep::Clock, report::Deed::ClockSet, true});
        const PlanStep last = s.step == PlanStep::None ? PlanStep::Address : s.step;
        if (!done && last == PlanStep::Activation)
            continue;
        const std::string key = commission::DeviceKey(e.device);
        for (const Step& step : steps) {
            const bool ended = !done && step.step == last;
            if (step.noted && (!ended || unseen))
                sessionLog().Add(key, step.deed, !ended);
            if (ended)
                break;
        }
    }
}

// A maker's device's offset as its latest answer tells it; a camera's as
// the clock dialog last read it. Nothing where neither is known.
void MainWindow::clockOffsetOf(const DevInfo& device, report::Row* row) const {
    if (device.isCamera()) {
        const auto known = m_cameraClockOffsets.find(device.mac);
        row->clockKnown = known != m_cameraClockOffsets.end();
        row->clockOffset = row->clockKnown ? known->second : 0;
        return;
    }
    lorvex::ClockReading reading;
    row->clockKnown = m_clockReadings.Latest(Utf8(device.mac), &reading);
    row->clockOffset = row->clockKnown ? reading.offset : 0;
}

// The clock dialog's deeds, and each camera's offset read back.
void MainWindow::logClocks(const ClockDialog& dialog) {
    const auto& plan = dialog.plan();
    const auto& statuses = dialog.statuses();
    for (size_t i = 0; i < plan.size() && i < statuses.size(); ++i) {
        const std::string key = commission::DeviceKey(plan[i].device);
        const ClockDialog::Offsets o = dialog.offsets(i);
        if (!plan[i].device.endpoint.empty() && (o.afterKnown || o.beforeKnown))
            m_cameraClockOffsets[QString::fromStdString(key)] = o.afterKnown ? o.after : o.before;
        const commission::BatchState state = statuses[i].state;
        if (state == commission::BatchState::Done ||
            state == commission::BatchState::NotConfirmed || state == commission::BatchState::Gone)
            sessionLog().Add(key, report::Deed::ClockSet, state == commission::BatchState::Done);
    }
}
