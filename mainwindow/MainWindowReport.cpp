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
    N12_MessageBox::information(
        GetText("IDCS_SITE_REPORT_WRITTEN_D")
            .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(csv)),
        this);
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
