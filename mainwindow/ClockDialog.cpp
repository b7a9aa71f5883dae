#include "ClockDialog.h"

#include "LanguageSrc.h"
#include "N12_MessageBox.h"
#include "OnvifSettings.h"
#include "SearchWire.h"
#include "Secret.h"
#include "SiteReport.h"
#include "VistaTreeWidget.h"
#include "ZVKCheckBox.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKPushButton.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include <initializer_list>

using namespace commission;

namespace {

template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

ClockDialog::ClockDialog(std::vector<PlanDevice> selected, Service service, QString cameraUser,
                         QWidget* parent)
    : BatchDialogBase(ColStatus, QStringLiteral("clocks.csv"), parent),
      m_service(std::move(service)) {
    planDevicesAsTheyAre(std::move(selected));
    setTitle(GetText("IDCS_CLOCK_TITLE"));
    buildFields();
    m_login.user->setText(cameraUser);
    buildTree();
    buildButtons(!m_plan.empty());
    resize(900, 600);
}

ClockDialog::~ClockDialog() {
    endBatchNow();
    m_login.wipePasswords();
}

void ClockDialog::buildFields() {
    m_ntp = FormField(body(), "ntpField", int(lorvex::wire::kMaxNtpServerBytes));
    m_zone = FormField(body(), "zoneField", int(lorvex::wire::kMaxTimeZoneBytes));
    // An example that reads as one (a bare zone there looks typed in), short
    // enough for the field in every language.
    m_zone->setPlaceholderText(GetText("IDCS_CLOCK_ZONE_EXAMPLE"));
    m_now = named(new ZVKCheckBox(GetText("IDCS_CLOCK_NOW"), body()), "nowBox");
    m_now->setChecked(true);
    m_login = buildLoginFields();
    QGridLayout* grid = buildFormGrid(FormLabel(GetText("IDCS_CLOCK_INFO"), body(), "clockInfo"));
    grid->addWidget(FormLabel(GetText("IDCS_CLOCK_NTP"), body()), 1, 0);
    grid->addWidget(m_ntp, 1, 1);
    grid->addWidget(FormLabel(GetText("IDCS_CLOCK_ZONE"), body()), 1, 2);
    grid->addWidget(m_zone, 1, 3);
    grid->addWidget(m_now, 2, 0, 1, 4);
    addLoginFields(grid, 3, m_login);
    buildBodyColumn(grid);
}

void ClockDialog::buildTree() {
    buildPlanTree({GetText("IDCS_SITE_REPORT_MAC"), GetText("IDCS_DEVICE_NAME"),
                   GetText("IDCS_DEVICE_TYPE"), GetText("IDCS_CLOCK_BEFORE"),
                   GetText("IDCS_CLOCK_AFTER"), GetText("IDCS_BATCH_STATUS")},
                  {170, 120, 120, 125, 135, 200});
    m_statuses.assign(m_plan.size(), DeviceStatus{});
    for (const PlanEntry& e : m_plan) {
        QTreeWidgetItem* row = new QTreeWidgetItem(m_tree);
        row->setText(ColMac, FromUtf8(DeviceKey(e.device)));
        row->setText(ColName, FromUtf8(e.device.name));
        row->setText(ColType, typeText(e.device.type));
        row->setText(ColStatus, statusText(DeviceStatus{}));
    }
    addTreeAndInfo(GetText("IDCS_CLOCK_READY_D").arg(m_plan.size()));
}

QString ClockDialog::offsetText(bool known, long long seconds) {
    return known ? QString::fromStdString(report::OffsetText(seconds)) : QStringLiteral("?");
}

ClockDialog::Offsets ClockDialog::offsets(size_t index) const {
    if (index >= m_plan.size())
        return {};
    const std::lock_guard<std::mutex> hold(m_offsets->lock);
    const auto found = m_offsets->byKey.find(DeviceKey(m_plan[index].device));
    return found == m_offsets->byKey.end() ? Offsets{} : found->second;
}

void ClockDialog::setStatus(size_t index, const DeviceStatus& status) {
    BatchDialogBase::setStatus(index, status);
    if (index >= m_plan.size())
        return;
    const Offsets o = offsets(index);
    QTreeWidgetItem* row = m_tree->topLevelItem(int(index));
    row->setText(ColBefore, offsetText(o.beforeKnown, o.before));
    // Only a device that took the request has an "after"; "?" when it was
    // not read back, empty for every other device.
    const bool took = status.state == BatchState::Done || status.state == BatchState::NotConfirmed;
    row->setText(ColAfter, took || o.afterKnown ? offsetText(o.afterKnown, o.after) : QString());
    // A maker's device that took its request waits for the batch's
    // read-back of every clock.
    if (status.state == BatchState::Verifying && status.step == PlanStep::None) {
        row->setText(ColStatus, GetText("IDCS_CLOCK_READING_BACK"));
        row->setToolTip(ColStatus, GetText("IDCS_CLOCK_READING_BACK"));
    }
}

std::vector<std::string> ClockDialog::extraCsvHeaders() const {
    return {"offsetBefore", "offsetAfter"};
}

// Seconds ahead of this computer's clock; empty where not read.
std::vector<std::string> ClockDialog::extraCsvCells(size_t index) const {
    const Offsets o = offsets(index);
    return {o.beforeKnown ? std::to_string(o.before) : std::string(),
            o.afterKnown ? std::to_string(o.after) : std::string()};
}

bool ClockDialog::apply() {
    if (running() || m_plan.empty())
        return false;
    Setting setting;
    setting.ntpServer = m_ntp->text().trimmed().toStdString();
    setting.timeZone = m_zone->text().trimmed().toStdString();
    setting.setTime = m_now->isChecked() || !setting.ntpServer.empty();
    const bool asksSomething = !setting.ntpServer.empty() || m_now->isChecked();
    if (!asksSomething || (!setting.ntpServer.empty() && !IsClockServer(setting.ntpServer)) ||
        (!setting.timeZone.empty() && !IsClockZone(setting.timeZone))) {
        N12_MessageBox::information(GetText("IDCS_CLOCK_ERROR_INPUT"), this);
        m_ntp->setFocus();
        return false;
    }
    if (m_login.password->text().isEmpty()) {
        N12_MessageBox::information(GetText("IDCS_BATCH_ERROR_PASSWORD"), this);
        m_login.password->setFocus();
        return false;
    }
    std::string password = m_login.password->text().toStdString();
    std::string cameraPassword = m_login.cameraPassword->text().toStdString();
    m_login.wipePasswords();
    // The hook has no other way to the batch's passwords; a camera (listed
    // by its endpoint) takes the camera password when one was given, so a
    // maker's device never gets a camera's password, nor the reverse.
    std::vector<PlanEntry> plan = m_plan;
    for (PlanEntry& e : plan)
        e.password =
            !e.device.endpoint.empty() && !cameraPassword.empty() ? cameraPassword : password;
    WipeSecret(&cameraPassword);
    {
        const std::lock_guard<std::mutex> hold(m_offsets->lock);
        m_offsets->byKey.clear();
        m_offsets->setting = setting;
        m_offsets->user = m_login.user->text().trimmed().toStdString();
    }
    // Every request goes out first; the clocks of the maker's devices that
    // took theirs are read back together from the search's answers.
    BatchServices services;
    services.request = BatchRequest::Clock;
    services.verifyBound = m_service.readBound;
    services.setClock = [set = m_service.set,
                         table = m_offsets](const PlanEntry& entry, const std::string&,
                                            const std::function<bool()>& cancelled) {
        Setting setting;
        std::string user;
        {
            const std::lock_guard<std::mutex> hold(table->lock);
            setting = table->setting;
            user = table->user;
        }
        Offsets offsets;
        const DeviceStatus status = set(entry, setting, user, cancelled, &offsets);
        const std::lock_guard<std::mutex> hold(table->lock);
        table->byKey[DeviceKey(entry.device)] = offsets;
        return status;
    };
    services.clockRead = [read = m_service.read,
                          table = m_offsets](const PlanEntry& entry) -> std::optional<bool> {
        const std::lock_guard<std::mutex> hold(table->lock);
        Offsets& offsets = table->byKey[DeviceKey(entry.device)];
        return read ? read(entry, table->setting, &offsets) : std::nullopt;
    };
    for (size_t i = 0; i < m_plan.size(); ++i)
        setStatus(i, DeviceStatus{});
    const bool started = startBatch(services, std::move(plan), std::move(password));
    if (!started)
        return false;
    lockFields(true);
    m_info->setText(GetText("IDCS_CLOCK_RUNNING"));
    return true;
}

void ClockDialog::lockFields(bool locked) {
    for (QWidget* w : std::initializer_list<QWidget*>{m_ntp, m_zone, m_now, m_login.user,
                                                      m_login.password, m_login.cameraPassword,
                                                      m_applyButton, m_saveButton, m_closeButton})
        w->setEnabled(!locked);
    m_stopButton->setEnabled(locked);
}
