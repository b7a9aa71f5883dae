#include "BatchDialog.h"

#include "Activation.h"
#include "CameraRows.h"
#include "IpAddrEdit.h"
#include "LanguageSrc.h"
#include "N12_MessageBox.h"
#include "PlanCsv.h"
#include "PortLineEdit.h"
#include "SearchWire.h"
#include "VistaDelegate.h"
#include "VistaTreeWidget.h"
#include "ZVKCheckBox.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKPushButton.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

using namespace commission;

namespace {

template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

ZVKLabel* plainLabel(const QString& text, QWidget* parent) {
    ZVKLabel* label = new ZVKLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), int(text.size()));
}

// The language key of each address rule (NetParamCode 1 to 8).
const char* const kRuleKeys[] = {"",
                                 "IDCS_ERROR_IP_MASK_ALL1",
                                 "IDCS_ERROR_IP_MASK_ALL0",
                                 "IDCS_ERROR_USE_LOOPBACK",
                                 "IDCS_ERROR_IP_ROUTE_INVALID",
                                 "IDCS_ERROR_MASK_NOT_CONTINE",
                                 "IDCS_ERROR_DIFFERENT_SEGMENT",
                                 "IDCS_ERROR_ROUTE_MASK_ALL1",
                                 "IDCS_ERROR_ROUTE_MASK_ALL0"};

const char* skipKey(SkipReason reason) {
    switch (reason) {
    case SkipReason::NetworkOrBroadcast:
        return "IDCS_BATCH_SKIP_NETWORK";
    case SkipReason::HeldByDevice:
        return "IDCS_BATCH_SKIP_HELD";
    case SkipReason::HostAddress:
        return "IDCS_BATCH_SKIP_HOST";
    case SkipReason::Gateway:
        return "IDCS_BATCH_SKIP_GATEWAY";
    case SkipReason::Answers:
        return "IDCS_BATCH_SKIP_ANSWERS";
    }
    return "";
}

// "Skipped: 10.0.0.5 (held by a device: MAC), ..." in the language.
QString skippedText(const std::vector<SkippedAddress>& skipped) {
    QStringList parts;
    for (const SkippedAddress& s : skipped) {
        QString why = GetText(skipKey(s.reason));
        if (!s.holder.empty())
            why += QStringLiteral(" ") + fromUtf8(s.holder);
        parts << QStringLiteral("%1 (%2)").arg(fromUtf8(s.address), why);
    }
    return parts.isEmpty() ? QString()
                           : GetText("IDCS_BATCH_SKIPPED_D").arg(parts.join(QStringLiteral(", ")));
}

QString planErrorText(const PlanError& e) {
    switch (e.fault) {
    case PlanFault::None:
        return QString();
    case PlanFault::BadInput:
        return GetText("IDCS_BATCH_ERROR_INPUT");
    case PlanFault::RunOut:
        return GetText("IDCS_BATCH_ERROR_RUN_OUT_D").arg(fromUtf8(e.mac));
    case PlanFault::Rule:
        return QStringLiteral("%1 %2 → %3: %4")
            .arg(GetText("IDCS_BATCH_ERROR_RULE"), fromUtf8(e.mac), fromUtf8(e.address),
                 e.rule > 0 && e.rule <= 8 ? GetText(kRuleKeys[e.rule]) : QString::number(e.rule));
    }
    return QString();
}

bool isCamera(const PlanDevice& device) { return device.type == kCameraTypeCode; }

std::vector<PlanDevice> planDevices(const std::vector<SEARCH_INFO>& records) {
    std::vector<PlanDevice> out;
    for (const SEARCH_INFO& d : records)
        out.push_back(PlanDeviceOf(d));
    return out;
}

// Overwrites a password's bytes in a Qt text once it has been taken.
void wipeText(QString* text) {
    if (!text->isEmpty())
        explicit_bzero(text->data(), size_t(text->size()) * sizeof(QChar));
    text->clear();
}

bool anyPassword(const std::vector<PlanEntry>& plan) {
    for (const PlanEntry& e : plan)
        if (!e.password.empty())
            return true;
    return false;
}

// The role of a name cell that holds the name the device is to carry; the
// cell shows it beside the device's own.
constexpr int kNameRole = Qt::UserRole;

// The plan table's cells as the device tree paints them; only the name
// column has an editor, which edits kNameRole, not the text on show.
class PlanDelegate : public VistaDelegate {
public:
    PlanDelegate(QTreeView* view, int nameColumn) : VistaDelegate(view), m_name(nameColumn) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        if (index.column() != m_name)
            return nullptr;
        auto* editor = qobject_cast<QLineEdit*>(VistaDelegate::createEditor(parent, option, index));
        if (editor != nullptr)
            editor->setMaxLength(int(lorvex::wire::kMaxDeviceNameBytes));
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setText(index.data(kNameRole).toString());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            model->setData(index, line->text().trimmed(), kNameRole);
    }

private:
    const int m_name;
};

} // namespace

BatchDialog::BatchDialog(const std::vector<SEARCH_INFO>& selected,
                         const std::vector<SEARCH_INFO>& listed, Engine engine, QWidget* parent)
    : BatchDialog(planDevices(selected), planDevices(listed), std::move(engine), parent) {}

BatchDialog::BatchDialog(std::vector<PlanDevice> selected, std::vector<PlanDevice> listed,
                         Engine engine, QWidget* parent)
    : BatchDialogBase(ColStatus, QDir::home().filePath(QStringLiteral("plan.csv")), parent),
      m_selected(std::move(selected)), m_listed(std::move(listed)), m_engine(std::move(engine)) {
    setTitle(GetText("IDCS_BATCH_TITLE"));
    buildFields();
    buildButtons(false);
    m_saveButton->setEnabled(false);
    fillDefaults();
    showSelection();
    resize(860, 620);
}

// Before any plan the table lists the devices the batch is for, in the
// list's order, with no new address and no status yet.
void BatchDialog::showSelection() {
    const QSignalBlocker filling(m_tree);
    m_tree->clear();
    for (const PlanDevice& d : m_selected) {
        QTreeWidgetItem* row = new QTreeWidgetItem(m_tree);
        const QString key = fromUtf8(commission::DeviceKey(d));
        row->setText(ColMac, key);
        row->setToolTip(ColMac, key);
        const auto typed = m_names.find(commission::DeviceKey(d));
        showName(row, d, typed == m_names.end() ? std::string() : typed->second);
        row->setText(ColType, typeText(d.type));
        row->setText(ColCurrent, fromUtf8(d.ip));
    }
}

// The name cell: the device's own name, followed by the one it is to carry.
void BatchDialog::showName(QTreeWidgetItem* row, const PlanDevice& device,
                           const std::string& name) {
    const QSignalBlocker filling(m_tree);
    const bool renamed = !name.empty() && name != device.name;
    row->setText(ColName, renamed
                              ? fromUtf8(device.name) + QStringLiteral(" \u2192 ") + fromUtf8(name)
                              : fromUtf8(device.name));
    row->setToolTip(ColName, row->text(ColName));
    row->setData(ColName, kNameRole, fromUtf8(renamed ? name : device.name));
    row->setFlags(row->flags() | Qt::ItemIsEditable);
}

bool BatchDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_tree && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2 && m_tree->currentItem() != nullptr &&
        m_tree->editTriggers() != QAbstractItemView::NoEditTriggers) {
        m_tree->editItem(m_tree->currentItem(), ColName);
        return true;
    }
    return BatchDialogBase::eventFilter(watched, event);
}

void BatchDialog::onNameEdited(QTreeWidgetItem* row, int column) {
    const int index = m_tree->indexOfTopLevelItem(row);
    if (column != ColName || index < 0)
        return;
    const bool planned = !m_plan.empty();
    if (size_t(index) >= (planned ? m_plan.size() : m_selected.size()))
        return;
    const PlanDevice& device = planned ? m_plan[size_t(index)].device : m_selected[size_t(index)];
    const std::string key = commission::DeviceKey(device);
    const std::string typed = row->data(ColName, kNameRole).toString().toStdString();
    std::string name = typed.empty() ? device.name : typed;
    if (!typed.empty() && !IsPlanName(typed)) {
        m_info->setText(
            GetText("IDCS_PLAN_ERROR_NAME_D").arg(int(lorvex::wire::kMaxDeviceNameBytes)));
        const auto kept = m_names.find(key);
        name = kept == m_names.end() ? device.name : kept->second;
    }
    if (name == device.name)
        m_names.erase(key);
    else
        m_names[key] = name;
    if (planned)
        m_plan[size_t(index)].name = name == device.name ? std::string() : name;
    showName(row, device, name);
}

BatchDialog::~BatchDialog() {
    if (m_planner.joinable())
        m_planner.join();
    endBatchNow();
    for (PlanEntry& e : m_plan) {
        WipeSecret(&e.password);
        WipeSecret(&e.setupCode);
    }
    *m_engine.batchLogin = CameraLogin{};
}

void BatchDialog::buildFields() {
    QGridLayout* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    m_startField = named(new IpAddrEdit(body()), "startField");
    m_maskField = named(new IpAddrEdit(body()), "maskField");
    m_gatewayField = named(new IpAddrEdit(body()), "gatewayField");
    m_passwordField = named(new ZVKLineEdit(body()), "passwordField");
    m_passwordField->setEchoMode(QLineEdit::Password);
    m_planPasswords =
        named(new ZVKCheckBox(GetText("IDCS_BATCH_PLAN_PASSWORDS"), body()), "planPasswordsBox");
    m_planPasswords->setEnabled(false);
    m_keepPorts = named(new ZVKCheckBox(GetText("IDCS_BATCH_KEEP_PORTS"), body()), "keepPortsBox");
    m_keepPorts->setChecked(true);
    m_httpPort = named(new PortLineEdit(body()), "httpPortField");
    m_dataPort = named(new PortLineEdit(body()), "dataPortField");
    m_cameraUser = named(new ZVKLineEdit(body()), "cameraUserField");
    m_cameraUser->setMaxLength(64);
    m_cameraUser->setText(QString::fromStdString(m_engine.cameraUser));
    m_cameraPassword = named(new ZVKLineEdit(body()), "cameraPasswordField");
    m_cameraPassword->setEchoMode(QLineEdit::Password);
    for (ZVKLineEdit* f : {m_passwordField, m_cameraUser, m_cameraPassword})
        f->setStyleSheet(
            QStringLiteral("color: rgb(46, 46, 46); background-color: rgb(177, 177, 177); "));
    onKeepPortsToggled(true);
    connect(m_keepPorts, SIGNAL(toggled(bool)), this, SLOT(onKeepPortsToggled(bool)));
    const struct {
        const char* key;
        QWidget* field;
        int row, column;
    } cells[] = {{"IDCS_BATCH_START_ADDRESS", m_startField, 0, 0},
                 {"IDCS_SUBNET_MASK", m_maskField, 0, 2},
                 {"IDCS_GATEWAY", m_gatewayField, 0, 4},
                 {"IDCS_BATCH_PASSWORD", m_passwordField, 1, 0},
                 {"IDCS_HTTP_PORT", m_httpPort, 2, 2},
                 {"IDCS_DATA_PORT", m_dataPort, 2, 4},
                 {"IDCS_BATCH_CAMERA_USER", m_cameraUser, 3, 0},
                 {"IDCS_BATCH_CAMERA_PASSWORD", m_cameraPassword, 3, 2}};
    for (const auto& c : cells) {
        ZVKLabel* label = plainLabel(GetText(c.key), body());
        grid->addWidget(label, c.row, c.column);
        grid->addWidget(c.field, c.row, c.column + 1);
        c.field->setFixedHeight(23);
        c.field->setMinimumWidth(150);
        if (c.row == 3)
            m_cameraWidgets.insert(m_cameraWidgets.end(), {label, c.field});
    }
    const bool cameras = std::any_of(m_selected.begin(), m_selected.end(), isCamera);
    for (QWidget* w : m_cameraWidgets)
        w->setVisible(cameras);
    // The session's login serves when the field is left empty.
    if (m_engine.sessionLogin.password != nullptr) {
        m_cameraUser->setText(QString::fromStdString(m_engine.sessionLogin.user));
        m_cameraPassword->setPlaceholderText(GetText("IDCS_BATCH_SESSION_LOGIN"));
    }
    grid->addWidget(m_planPasswords, 1, 2, 1, 4);
    grid->addWidget(m_keepPorts, 2, 0, 1, 2);
    buildStepFields(grid);
    grid->setColumnStretch(6, 1);

    m_planButton = named(new ZVKPushButton(GetText("IDCS_BATCH_MAKE_PLAN"), body()), "planButton");
    m_importButton = named(new ZVKPushButton(GetText("IDCS_BATCH_IMPORT"), body()), "importButton");
    connect(m_planButton, &QPushButton::clicked, this, [this] { makePlan(); });
    connect(m_importButton, SIGNAL(clicked()), this, SLOT(onImportClicked()));
    QHBoxLayout* planRow = new QHBoxLayout;
    planRow->addWidget(m_planButton);
    planRow->addWidget(m_importButton);
    planRow->addStretch(1);

    buildPlanTree({GetText("IDCS_MAC_ADDRESS"), GetText("IDCS_DEVICE_NAME"),
                   GetText("IDCS_DEVICE_TYPE"), GetText("IDCS_IP_ADDRESS"),
                   GetText("IDCS_BATCH_NEW_ADDRESS"), GetText("IDCS_BATCH_STATUS")},
                  {135, 125, 120, 105, 120, 170});
    m_tree->setItemDelegate(new PlanDelegate(m_tree, ColName));
    m_tree->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    connect(m_tree, &QTreeWidget::itemChanged, this, &BatchDialog::onNameEdited);
    m_tree->installEventFilter(this);
    m_info = named(plainLabel(GetText("IDCS_BATCH_INFO"), body()), "planInfo");
    m_info->setWordWrap(true);
    m_info->setStyleSheet(QStringLiteral(" ZVKLabel { color: rgb(232,182,70); } "));
    m_info->setMinimumHeight(36);
    m_info->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    QVBoxLayout* column = buildBodyColumn(grid);
    column->addLayout(planRow);
    column->addWidget(m_tree, 1);
    column->addWidget(m_info);
}

// The plan's clock for every device, and generated first passwords.
void BatchDialog::buildStepFields(QGridLayout* grid) {
    m_ntpField = FormField(body(), "planNtpField", int(kMaxPlanNtpBytes));
    m_zoneField = FormField(body(), "planZoneField", int(kMaxPlanTimeZoneBytes));
    // An example that reads as one (a bare zone there looks typed in), short
    // enough for the field in every language.
    m_zoneField->setPlaceholderText(GetText("IDCS_CLOCK_ZONE_EXAMPLE"));
    m_generateBox = named(new ZVKCheckBox(GetText("IDCS_BATCH_GENERATE_PASSWORDS"), body()),
                          "generatePasswordsBox");
    const struct {
        const char* key;
        QWidget* field;
        int column;
    } cells[] = {{"IDCS_CLOCK_NTP", m_ntpField, 0}, {"IDCS_CLOCK_ZONE", m_zoneField, 2}};
    for (const auto& c : cells) {
        grid->addWidget(plainLabel(GetText(c.key), body()), 4, c.column);
        grid->addWidget(c.field, 4, c.column + 1);
        c.field->setMinimumWidth(150);
    }
    grid->addWidget(m_generateBox, 4, 4, 1, 3);
}

// The first selected device's network: its subnet from host 1 upwards
// would collide with its gateway, so the start is left to the installer
// when the device has no usable address.
// A camera not logged in to has told no mask and gateway: those come from
// the first selected device that did.
void BatchDialog::fillDefaults() {
    if (m_selected.empty())
        return;
    m_startField->setText(fromUtf8(m_selected.front().ip));
    for (const PlanDevice& d : m_selected) {
        if (d.mask.empty())
            continue;
        m_maskField->setText(fromUtf8(d.mask));
        m_gatewayField->setText(fromUtf8(d.gateway));
        break;
    }
}

void BatchDialog::onKeepPortsToggled(bool keep) {
    m_httpPort->setEnabled(!keep);
    m_dataPort->setEnabled(!keep);
}

bool BatchDialog::makePlan() {
    if (running())
        return false;
    // A field that refused part of what was typed holds what nobody typed.
    const struct {
        const IpAddrEdit* field;
        const char* key;
    } fields[] = {{m_startField, "IDCS_BATCH_START_ADDRESS"},
                  {m_maskField, "IDCS_SUBNET_MASK"},
                  {m_gatewayField, "IDCS_GATEWAY"}};
    for (const auto& f : fields) {
        if (f.field->showsRefusal()) {
            showFault(GetText("IDCS_ADDRESS_NOT_AS_TYPED_D").arg(GetText(f.key)));
            return false;
        }
    }
    const std::vector<PlanDevice>& selected = m_selected;
    PlanRequest request{m_startField->text().toStdString(), m_maskField->text().toStdString(),
                        m_gatewayField->text().toStdString(), "", ""};
    if (!m_keepPorts->isChecked()) {
        request.httpPort = m_httpPort->text().toStdString();
        request.dataPort = m_dataPort->text().toStdString();
        if (request.httpPort.empty() || request.dataPort.empty()) {
            showFault(GetText("IDCS_BATCH_ERROR_PORTS"));
            return false;
        }
    }
    if (!m_engine.probe)
        return takePlan(
            MakeAddressPlan(selected, m_listed, request, m_engine.hostAddresses, nullptr));
    // Asking the neighbour table waits for the network: off the window thread.
    if (m_planner.joinable())
        m_planner.join();
    m_planButton->setEnabled(false);
    m_importButton->setEnabled(false);
    m_applyButton->setEnabled(false);
    m_info->setText(GetText("IDCS_BATCH_PLANNING"));
    QPointer<BatchDialog> self(this);
    m_planner = std::thread([self, selected, listed = m_listed, request,
                             host = m_engine.hostAddresses, probe = m_engine.probe] {
        const AddressPlan plan = MakeAddressPlan(selected, listed, request, host, probe);
        QMetaObject::invokeMethod(
            self,
            [self, plan] {
                if (self)
                    self->takePlan(plan);
            },
            Qt::QueuedConnection);
    });
    return true;
}

bool BatchDialog::takePlan(const AddressPlan& plan) {
    if (m_planner.joinable())
        m_planner.join();
    m_planButton->setEnabled(true);
    m_importButton->setEnabled(true);
    if (!plan.Ok()) {
        showFault(planErrorText(plan.error));
        return false;
    }
    m_planPasswords->setChecked(false);
    m_planPasswords->setEnabled(false);
    showPlan(plan.entries, skippedText(plan.skipped));
    emit planShown();
    return true;
}

bool BatchDialog::importPlan(const QByteArray& csv) {
    if (running())
        return false;
    std::vector<PlanEntry> plan;
    CsvError error;
    if (!ImportPlan(std::string_view(csv.constData(), size_t(csv.size())), m_listed, &plan,
                    &error)) {
        const QString where =
            error.line > 0 ? GetText("IDCS_BATCH_ERROR_LINE_D").arg(error.line) : QString();
        showFault(QStringLiteral("%1 %2 %3")
                      .arg(GetText("IDCS_BATCH_ERROR_FILE"), where, fromUtf8(error.message))
                      .simplified());
        return false;
    }
    const bool passwords = anyPassword(plan);
    m_planPasswords->setEnabled(passwords);
    m_planPasswords->setChecked(passwords);
    showPlan(plan, GetText("IDCS_BATCH_INFO"));
    return true;
}

void BatchDialog::showFault(const QString& text) {
    for (PlanEntry& e : m_plan) {
        WipeSecret(&e.password);
        WipeSecret(&e.setupCode);
    }
    m_plan.clear();
    m_statuses.clear();
    showSelection();
    m_applyButton->setEnabled(false);
    m_saveButton->setEnabled(false);
    m_info->setText(text);
}

void BatchDialog::showPlan(const std::vector<PlanEntry>& plan, const QString& info) {
    for (PlanEntry& e : m_plan) {
        WipeSecret(&e.password);
        WipeSecret(&e.setupCode);
    }
    m_plan = plan;
    m_planClocks.clear();
    for (PlanEntry& e : m_plan) {
        const auto typed = m_names.find(commission::DeviceKey(e.device));
        if (typed != m_names.end())
            e.name = typed->second;
        m_planClocks.emplace_back(e.ntp, e.timeZone);
    }
    m_statuses.assign(m_plan.size(), DeviceStatus{});
    const QSignalBlocker filling(m_tree);
    m_tree->clear();
    for (size_t i = 0; i < m_plan.size(); ++i) {
        const PlanEntry& e = m_plan[i];
        QTreeWidgetItem* row = new QTreeWidgetItem(m_tree);
        const QString key = fromUtf8(commission::DeviceKey(e.device));
        row->setText(ColMac, key);
        row->setToolTip(ColMac, key); // an endpoint is longer than the cell
        showName(row, e.device, e.name);
        row->setText(ColType, typeText(e.device.type));
        row->setText(ColCurrent, fromUtf8(e.device.ip));
        row->setText(ColNew, fromUtf8(e.ip));
        row->setText(ColStatus, statusText(m_statuses[i]));
    }
    m_applyButton->setEnabled(!m_plan.empty());
    m_saveButton->setEnabled(!m_plan.empty());
    m_info->setText(info);
}

bool BatchDialog::planHasCameras() const {
    return std::any_of(m_plan.begin(), m_plan.end(),
                       [](const PlanEntry& e) { return isCamera(e.device); });
}

// The login the plan's cameras are asked with: the one typed here (its
// field then emptied), else the session's. False when neither is known.
bool BatchDialog::takeCameraLogin() {
    *m_engine.batchLogin = CameraLogin{};
    if (!planHasCameras())
        return true;
    QString typed = m_cameraPassword->text();
    m_cameraPassword->clear();
    if (typed.isEmpty()) {
        if (m_engine.sessionLogin.password == nullptr)
            return false;
        *m_engine.batchLogin = m_engine.sessionLogin;
        return true;
    }
    QByteArray utf8 = typed.toUtf8();
    wipeText(&typed);
    QString user = m_cameraUser->text().trimmed();
    m_engine.batchLogin->user = user.isEmpty() ? std::string("admin") : user.toStdString();
    m_engine.batchLogin->password = MakeSharedSecret(utf8.constData(), size_t(utf8.size()));
    explicit_bzero(utf8.data(), size_t(utf8.size()));
    return true;
}

bool BatchDialog::apply() {
    if (running() || m_plan.empty())
        return false;
    const bool ownPasswords = m_planPasswords->isEnabled() && m_planPasswords->isChecked();
    // Wiped on every way out (moved into the batch when it starts); the
    // bytes converted from the field's text are wiped at once.
    QByteArray typed = m_passwordField->text().toUtf8();
    std::string password(typed.constData(), size_t(typed.size()));
    explicit_bzero(typed.data(), size_t(typed.size()));
    const SecretGuard wipePassword(&password);
    if (!takeClockFields())
        return false;
    std::vector<PlanEntry> plan = m_plan;
    if (!ownPasswords)
        for (PlanEntry& e : plan)
            WipeSecret(&e.password);
    for (PlanEntry& e : plan)
        e.generatePassword =
            e.generatePassword || (m_generateBox->isChecked() && !isCamera(e.device));
    // A generated password goes only to a device listed without one.
    const auto takesOne = [this](const PlanEntry& e) {
        SEARCH_INFO record{};
        return m_engine.services.find && m_engine.services.find(DeviceKey(e.device), &record) &&
               NeedsActivation(record);
    };
    // Cameras have their own login; the maker's password is asked only of
    // the maker's devices.
    bool everyOneHasOne = true;
    size_t generatedCount = 0;
    for (const PlanEntry& e : plan) {
        const bool generated = e.generatePassword && !e.setupCode.empty() && takesOne(e);
        generatedCount += generated ? 1 : 0;
        everyOneHasOne = everyOneHasOne && (isCamera(e.device) || generated || !e.password.empty());
    }
    struct PlanGuard {
        std::vector<PlanEntry>* plan;
        ~PlanGuard() {
            for (PlanEntry& e : *plan)
                WipeSecret(&e.password);
        }
    } const wipePlan{&plan};
    if (password.empty() && !everyOneHasOne) {
        N12_MessageBox::warning(GetText("IDCS_BATCH_ERROR_PASSWORD"), this);
        return false;
    }
    if (!m_engine.searchRunning) {
        N12_MessageBox::warning(GetText("IDCS_BATCH_ERROR_SEARCH_OFF"), this);
        return false;
    }
    if (m_generateBox->isChecked() && generatedCount == 0) {
        N12_MessageBox::warning(GetText("IDCS_SETUP_CODES_NONE"), this);
        return false;
    }
    if (!takeCameraLogin()) {
        N12_MessageBox::warning(GetText("IDCS_ONVIF_CREDENTIALS_NEEDED"), this);
        m_cameraPassword->setFocus();
        return false;
    }
    QString saved;
    if (generatedCount > 0 && !generatePasswords(&plan, takesOne, &saved)) {
        *m_engine.batchLogin = CameraLogin{};
        return false;
    }
    m_statuses.assign(m_plan.size(), DeviceStatus{});
    for (size_t i = 0; i < m_plan.size(); ++i)
        m_tree->topLevelItem(int(i))->setText(ColStatus, statusText(m_statuses[i]));
    const bool started = startBatch(m_engine.services, std::move(plan), std::move(password));
    WipeSecret(&password);
    if (!started)
        return false;
    lockFields(true);
    m_info->setText(saved.isEmpty() ? GetText("IDCS_BATCH_RUNNING")
                                    : saved + QStringLiteral(" ") + GetText("IDCS_BATCH_RUNNING"));
    return true;
}

// The plan's clock from the fields, each checked by the rules of plan
// files and of the clock dialog; false (and a box naming the rule) when
// one breaks its rule. An empty field leaves the plan's own value.
bool BatchDialog::takeClockFields() {
    const std::string ntp = m_ntpField->text().trimmed().toStdString();
    const std::string zone = m_zoneField->text().trimmed().toStdString();
    const struct {
        bool broken;
        const char* key;
        QLineEdit* field;
    } checks[] = {{!ntp.empty() && !(IsPlanNtpServer(ntp) && IsClockServer(ntp)),
                   "IDCS_PLAN_ERROR_NTP", m_ntpField},
                  {!zone.empty() && !(IsPlanTimeZone(zone) && IsClockZone(zone)),
                   "IDCS_PLAN_ERROR_ZONE", m_zoneField}};
    for (const auto& c : checks) {
        if (c.broken) {
            N12_MessageBox::warning(GetText(c.key), this);
            c.field->setFocus();
            return false;
        }
    }
    for (size_t i = 0; i < m_plan.size() && i < m_planClocks.size(); ++i) {
        m_plan[i].ntp = ntp.empty() ? m_planClocks[i].first : ntp;
        m_plan[i].timeZone = zone.empty() ? m_planClocks[i].second : zone;
    }
    return true;
}

// Asks where the secret file goes and writes the generated passwords
// there before anything is sent; false (after a box saying why, unless
// the save box was cancelled) when it is not written.
bool BatchDialog::generatePasswords(std::vector<PlanEntry>* plan,
                                    const std::function<bool(const PlanEntry&)>& takesOne,
                                    QString* saved) {
    const QString path = QFileDialog::getSaveFileName(
        this, GetText("IDCS_ACTIVATE_BATCH_SAVE_SECRET"),
        QDir::home().filePath(QStringLiteral("passwords.csv")), QStringLiteral("CSV (*.csv)"),
        nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return false;
    size_t count = 0;
    std::string error;
    if (!GeneratePlanPasswords(plan, takesOne, QFile::encodeName(path).toStdString(), &count,
                               &error)) {
        N12_MessageBox::error(
            GetText("IDCS_ACTIVATE_BATCH_ERROR_SECRET_SAVE_D").arg(fromUtf8(error)), this);
        return false;
    }
    *saved = GetText("IDCS_ACTIVATE_BATCH_SECRET_SAVED_D")
                 .arg(count)
                 .arg(QDir::toNativeSeparators(path));
    return true;
}

void BatchDialog::lockFields(bool locked) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_startField, m_maskField, m_gatewayField, m_passwordField, m_keepPorts, m_planButton,
             m_importButton, m_applyButton, m_closeButton, m_saveButton, m_cameraUser,
             m_cameraPassword, m_ntpField, m_zoneField, m_generateBox})
        w->setEnabled(!locked);
    m_tree->setEditTriggers(locked ? QAbstractItemView::NoEditTriggers
                                   : QAbstractItemView::DoubleClicked |
                                         QAbstractItemView::EditKeyPressed);
    m_planPasswords->setEnabled(!locked && anyPassword(m_plan));
    m_httpPort->setEnabled(!locked && !m_keepPorts->isChecked());
    m_dataPort->setEnabled(!locked && !m_keepPorts->isChecked());
    m_stopButton->setEnabled(locked);
}

// The camera login lives for the run only.
void BatchDialog::batchEnded() { *m_engine.batchLogin = CameraLogin{}; }

void BatchDialog::onImportClicked() {
    const QString path = QFileDialog::getOpenFileName(
        this, GetText("IDCS_BATCH_IMPORT"), QDir::homePath(), QStringLiteral("CSV (*.csv);;* (*)"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showFault(GetText("IDCS_BATCH_ERROR_FILE") + QStringLiteral(" ") + path);
        return;
    }
    // One byte more than the reader takes, so that it can say the file is too large.
    importPlan(file.read(qint64(kMaxCsvBytes) + 1));
}
