#include "BatchDialogBase.h"

#include "DeviceColumns.h"
#include "LanguageSrc.h"
#include "N12_MessageBox.h"
#include "OnvifSettings.h"
#include "PlanCsv.h"
#include "SearchWire.h"
#include "Secret.h"
#include "VistaTreeWidget.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKPushButton.h"

#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPointer>
#include <QResizeEvent>
#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

using namespace commission;

BatchDialogBase::BatchDialogBase(int statusColumn, QString suggestedFile, QWidget* parent)
    : CustomDialog(parent), m_statusColumn(statusColumn),
      m_suggestedFile(std::move(suggestedFile)) {
    m_body = new QWidget(this);
    m_strip = new QWidget(this);
}

BatchDialogBase::~BatchDialogBase() { endBatchNow(); }

void BatchDialogBase::buildButtons(bool applyEnabled) {
    const auto button = [this](const char* key, const char* name) {
        ZVKPushButton* b = new ZVKPushButton(GetText(key), m_strip);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    m_applyButton = button("IDCS_BATCH_APPLY", "applyButton");
    m_stopButton = button("IDCS_BATCH_STOP", "stopButton");
    m_saveButton = button("IDCS_BATCH_SAVE", "saveButton");
    m_closeButton = button("IDCS_BATCH_CLOSE", "closeButton2");
    m_applyButton->setEnabled(applyEnabled);
    m_stopButton->setEnabled(false);
    connect(m_applyButton, &QPushButton::clicked, this, [this] { apply(); });
    connect(m_stopButton, SIGNAL(clicked()), this, SLOT(onStopClicked()));
    connect(m_saveButton, SIGNAL(clicked()), this, SLOT(onSaveClicked()));
    connect(m_closeButton, SIGNAL(clicked()), this, SLOT(reject()));
    QHBoxLayout* row = new QHBoxLayout(m_strip);
    row->setContentsMargins(8, 2, 8, 3);
    row->setSpacing(8);
    row->addStretch(1);
    for (ZVKPushButton* b : {m_applyButton, m_stopButton, m_saveButton, m_closeButton}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(80);
        b->setFixedHeight(23);
        row->addWidget(b);
    }
}

void BatchDialogBase::resizeEvent(QResizeEvent* event) {
    CustomDialog::resizeEvent(event);
    m_body->setGeometry(1, kTitleHeight + 1, width() - 2, height() - kTitleHeight - 30);
    m_strip->setGeometry(1, height() - 29, width() - 2, 28);
}

bool BatchDialogBase::running() const { return m_runner && m_runner->Running(); }

bool BatchDialogBase::startBatch(const BatchServices& services, std::vector<PlanEntry> plan,
                                 std::string password) {
    if (!m_runner)
        m_runner = std::make_unique<BatchRunner>(services);
    // Every status and the end go through the event loop to a dialog that
    // may have been closed meanwhile.
    QPointer<BatchDialogBase> self(this);
    auto onWindow = [self](auto fn) {
        QMetaObject::invokeMethod(
            self,
            [self, fn] {
                if (self)
                    fn(self.data());
            },
            Qt::QueuedConnection);
    };
    const bool started = m_runner->Start(
        std::move(plan), std::move(password),
        [onWindow](size_t i, const DeviceStatus& s) {
            onWindow([i, s](BatchDialogBase* d) { d->setStatus(i, s); });
        },
        [onWindow](const BatchSummary& summary) {
            onWindow([summary](BatchDialogBase* d) { d->finishBatch(summary); });
        });
    WipeSecret(&password);
    return started;
}

void BatchDialogBase::endBatchNow() {
    if (m_runner) {
        m_runner->Cancel();
        m_runner->Wait();
    }
}

void BatchDialogBase::setStatus(size_t index, const DeviceStatus& status) {
    if (index >= m_statuses.size())
        return;
    m_statuses[index] = status;
    QTreeWidgetItem* row = m_tree->topLevelItem(int(index));
    row->setText(m_statusColumn, statusText(status));
    row->setToolTip(m_statusColumn, statusText(status));
    if (status.state == BatchState::Sending)
        m_tree->scrollToItem(row);
}

void BatchDialogBase::finishBatch(const BatchSummary& summary) {
    m_runner->Wait();
    lockFields(false);
    batchEnded();
    m_info->setText(summaryText(summary).replace(QLatin1Char('\n'), QStringLiteral(", ")));
    emit batchFinished();
    N12_MessageBox::information(summaryText(summary), this);
}

void BatchDialogBase::onStopClicked() {
    if (m_runner)
        m_runner->Cancel();
    m_stopButton->setEnabled(false);
}

void BatchDialogBase::reject() {
    if (running()) {
        onStopClicked();
        return;
    }
    CustomDialog::reject();
}

QByteArray BatchDialogBase::outcomeCsv() const {
    const std::string text = ExportPlan(m_plan, m_statuses, extraCsvHeaders(),
                                        [this](size_t i) { return extraCsvCells(i); });
    return QByteArray("\xEF\xBB\xBF") + QByteArray(text.data(), int(text.size()));
}

bool BatchDialogBase::saveCsv(const QString& path) const {
    QFile file(path);
    const QByteArray csv = outcomeCsv();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(csv) == csv.size();
}

void BatchDialogBase::onSaveClicked() {
    const QString path = QFileDialog::getSaveFileName(
        this, GetText("IDCS_BATCH_SAVE"), m_suggestedFile, QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty() && !saveCsv(path))
        N12_MessageBox::error(GetText("IDCS_BATCH_ERROR_SAVE"), this);
}

QString BatchDialogBase::typeText(const std::string& code) {
    const QString type = QString::fromUtf8(code.data(), int(code.size()));
    const QString text = deviceTypeText(type);
    return text.isEmpty() ? type : text;
}

ZVKLabel* FormLabel(const QString& text, QWidget* parent, const char* objectName) {
    ZVKLabel* label = new ZVKLabel(text, parent);
    label->setObjectName(QLatin1String(objectName));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QLineEdit* FormField(QWidget* parent, const char* objectName, int maxLength) {
    QLineEdit* field = new ZVKLineEdit(parent);
    field->setObjectName(QLatin1String(objectName));
    field->setMaxLength(maxLength);
    field->setStyleSheet(
        QStringLiteral("color: rgb(46, 46, 46); background-color: rgb(177, 177, 177); "));
    field->setFixedHeight(23);
    field->setMinimumWidth(170);
    return field;
}

QLineEdit* PasswordField(QWidget* parent, const char* objectName) {
    // The password rules count characters; a UTF-8 one has up to 4 bytes.
    QLineEdit* field = FormField(parent, objectName, 64 * 4);
    field->setEchoMode(QLineEdit::Password);
    return field;
}

void WipeField(QLineEdit* field) {
    QString text = field->text();
    text.fill(QLatin1Char('\0'));
    field->setText(text);
    field->clear();
}

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), int(text.size()));
}

bool IsClockServer(const std::string& text) {
    onvif::NtpServer server;
    return onvif::ParseNtpServer(text, &server) && lorvex::wire::IsClockNtpServer(text);
}

bool IsClockZone(const std::string& text) {
    return onvif::ValidPosixTimeZone(text) && lorvex::wire::IsClockTimeZone(text);
}

void BatchDialogBase::buildPlanTree(const QStringList& headers, std::initializer_list<int> widths) {
    m_tree = new VistaTreeWidget(body());
    m_tree->setObjectName(QStringLiteral("planTree"));
    m_tree->setColumnCount(headers.size());
    m_tree->setHeaderLabels(headers);
    int column = 0;
    for (int width : widths)
        m_tree->setColumnWidth(column++, width);
    m_tree->header()->setStretchLastSection(true);
}

QGridLayout* BatchDialogBase::buildFormGrid(QWidget* intro) {
    QGridLayout* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    grid->addWidget(intro, 0, 0, 1, 5);
    grid->setColumnStretch(4, 1);
    return grid;
}

QVBoxLayout* BatchDialogBase::buildBodyColumn(QLayout* fields) {
    QVBoxLayout* column = new QVBoxLayout(body());
    column->setContentsMargins(12, 10, 12, 8);
    column->setSpacing(8);
    column->addLayout(fields);
    return column;
}

QString BatchDialogBase::statusText(const DeviceStatus& s) {
    static const char* const kSteps[] = {"", "IDCS_PLAN_STEP_ACTIVATION", "IDCS_PLAN_STEP_NAME",
                                         "IDCS_PLAN_STEP_ADDRESS", "IDCS_PLAN_STEP_CLOCK"};
    if (s.step != PlanStep::None) {
        DeviceStatus plain = s;
        plain.step = PlanStep::None;
        return GetText("IDCS_PLAN_STEP_D")
            .arg(GetText(kSteps[static_cast<int>(s.step)]), statusText(plain));
    }
    switch (s.state) {
    case BatchState::Waiting:
        return GetText("IDCS_BATCH_WAITING");
    case BatchState::Sending:
        return GetText("IDCS_BATCH_SENDING");
    case BatchState::Verifying:
        return GetText("IDCS_BATCH_VERIFYING");
    case BatchState::Rebooting:
        return GetText("IDCS_BATCH_REBOOTING");
    case BatchState::Done:
        return GetText("IDCS_BATCH_DONE");
    case BatchState::NotConfirmed:
        return GetText("IDCS_BATCH_NOT_CONFIRMED");
    case BatchState::Gone:
        return GetText("IDCS_BATCH_GONE");
    case BatchState::Skipped:
        return GetText(s.refusedTwice && s.reason == RefusalReason::SetupCode
                           ? "IDCS_BATCH_SKIPPED_CODE_REFUSED"
                       : s.refusedTwice                           ? "IDCS_BATCH_SKIPPED_REFUSED"
                       : s.reason == RefusalReason::AlreadyActive ? "IDCS_BATCH_SKIPPED_ACTIVE"
                       : s.reason == RefusalReason::NoSetupCode   ? "IDCS_BATCH_SKIPPED_NO_CODE"
                                                                  : "IDCS_BATCH_CANCELLED");
    case BatchState::Refused:
        break;
    }
    static const struct {
        RefusalReason reason;
        const char* key;
    } kReasons[] = {{RefusalReason::Password, "IDCS_BATCH_REASON_PASSWORD"},
                    {RefusalReason::Identity, "IDCS_BATCH_REASON_IDENTITY"},
                    {RefusalReason::Locked, "IDCS_BATCH_REASON_LOCKED"},
                    {RefusalReason::NotActivated, "IDCS_BATCH_REASON_NOT_ACTIVATED"},
                    {RefusalReason::NoAnswer, "IDCS_BATCH_REASON_NO_ANSWER"},
                    {RefusalReason::Rule, "IDCS_BATCH_REASON_RULE"},
                    {RefusalReason::WeakPassword, "IDCS_BATCH_REASON_WEAK"},
                    {RefusalReason::AlreadyActive, "IDCS_BATCH_REASON_ALREADY_ACTIVE"},
                    {RefusalReason::Credentials, "IDCS_BATCH_REASON_CREDENTIALS"},
                    {RefusalReason::OutOfReach, "IDCS_BATCH_REASON_OUT_OF_REACH"},
                    {RefusalReason::Fault, "IDCS_BATCH_REASON_FAULT"},
                    {RefusalReason::Other, "IDCS_BATCH_REASON_OTHER"},
                    {RefusalReason::CertificateChanged, "IDCS_BATCH_REASON_CERTIFICATE"},
                    {RefusalReason::ClockOff, "IDCS_BATCH_REASON_CLOCK"},
                    {RefusalReason::SetupCode, "IDCS_BATCH_REASON_SETUP_CODE"},
                    {RefusalReason::Unsupported, "IDCS_BATCH_REASON_UNSUPPORTED"},
                    {RefusalReason::BadPicture, "IDCS_BATCH_REASON_PICTURE"}};
    QString reason = QString::number(s.code);
    for (const auto& r : kReasons)
        if (r.reason == s.reason)
            reason = GetText(r.key);
    return GetText("IDCS_BATCH_REFUSED_D").arg(reason);
}

QString BatchDialogBase::summaryText(const BatchSummary& summary) {
    static const struct {
        BatchState state;
        const char* key;
    } kLines[] = {{BatchState::Done, "IDCS_BATCH_DONE"},
                  {BatchState::Refused, "IDCS_BATCH_SUMMARY_REFUSED"},
                  {BatchState::NotConfirmed, "IDCS_BATCH_NOT_CONFIRMED"},
                  {BatchState::Gone, "IDCS_BATCH_GONE"},
                  {BatchState::Skipped, "IDCS_BATCH_SUMMARY_SKIPPED"}};
    QStringList parts;
    for (const auto& line : kLines) {
        const auto it = summary.counts.find(line.state);
        parts << QStringLiteral("%1: %2")
                     .arg(GetText(line.key))
                     .arg(it == summary.counts.end() ? 0 : int(it->second));
    }
    return parts.join(QStringLiteral("\n"));
}

void BatchDialogBase::planDevicesAsTheyAre(std::vector<commission::PlanDevice> devices) {
    m_plan.clear();
    for (commission::PlanDevice& d : devices) {
        commission::PlanEntry e;
        e.device = std::move(d);
        e.ip = e.device.ip;
        e.mask = e.device.mask;
        e.gateway = e.device.gateway;
        m_plan.push_back(std::move(e));
    }
}

void BatchDialogBase::addTreeAndInfo(const QString& ready) {
    m_info = FormLabel(ready, body(), "planInfo");
    m_info->setMinimumHeight(24);
    auto* column = static_cast<QVBoxLayout*>(body()->layout());
    column->addWidget(m_tree, 1);
    column->addWidget(m_info);
}

void BatchDialogBase::LoginFields::wipePasswords() const {
    WipeField(password);
    WipeField(cameraPassword);
}

BatchDialogBase::LoginFields BatchDialogBase::buildLoginFields() {
    LoginFields fields;
    fields.password = PasswordField(body(), "passwordField");
    fields.user = FormField(body(), "userField", 64);
    fields.cameraPassword = PasswordField(body(), "cameraPasswordField");
    return fields;
}

void BatchDialogBase::addLoginFields(QGridLayout* grid, int row, const LoginFields& fields) {
    grid->addWidget(FormLabel(GetText("IDCS_BATCH_PASSWORD"), body()), row, 0);
    grid->addWidget(fields.password, row, 1);
    grid->addWidget(FormLabel(GetText("IDCS_BATCH_CAMERA_USER"), body()), row, 2);
    grid->addWidget(fields.user, row, 3);
    grid->addWidget(FormLabel(GetText("IDCS_BATCH_CAMERA_PASSWORD"), body()), row + 1, 2);
    grid->addWidget(fields.cameraPassword, row + 1, 3);
}
