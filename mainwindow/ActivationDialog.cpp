#include "ActivationDialog.h"

#include "Activation.h"
#include "DeviceColumns.h"
#include "LanguageSrc.h"
#include "N12_MessageBox.h"
#include "PlanCsv.h"
#include "TrustMessages.h"
#include "VistaTreeWidget.h"
#include "ZVKCheckBox.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKPushButton.h"

#include <QButtonGroup>
#include <QPlainTextEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string.h>

using namespace commission;

namespace {

template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

const char kWarningSheet[] = " ZVKLabel { color: rgb(232,182,70); } ";
const char kFaultSheet[] = " ZVKLabel { color: rgb(230,120,60); } ";

void wipeBytes(QByteArray* bytes) {
    if (!bytes->isEmpty())
        explicit_bzero(bytes->data(), size_t(bytes->size()));
    bytes->clear();
}

// Overwrites the box's text before emptying it, as far as Qt lets us.
void wipe(QPlainTextEdit* box) {
    QString text = box->toPlainText();
    text.fill(QLatin1Char('\0'));
    box->setPlainText(text);
    box->clear();
}

} // namespace

ActivationDialog::ActivationDialog(std::vector<SEARCH_INFO> selected, BatchServices services,
                                   QWidget* parent)
    : BatchDialogBase(ColStatus, QStringLiteral("activation.csv"), parent),
      m_selected(std::move(selected)), m_services(std::move(services)) {
    m_services.request = BatchRequest::Activation;
    for (const SEARCH_INFO& d : m_selected)
        m_needs.push_back(NeedsActivation(d));
    m_hasCode.assign(m_selected.size(), false);
    m_plan = ActivationPlan(m_selected);
    setTitle(GetText("IDCS_ACTIVATE_BATCH_TITLE"));
    buildFields();
    buildTree();
    buildButtons(true);
    setGenerated(false);
    onCodesChanged();
    resize(940, 720);
}

ActivationDialog::~ActivationDialog() {
    endBatchNow();
    forgetSecret();
    WipeField(m_password);
    WipeField(m_repeat);
    m_codesBox->blockSignals(true);
    wipe(m_codesBox);
}

void ActivationDialog::buildFields() {
    m_intro = FormLabel(GetText("IDCS_ACTIVATE_BATCH_INFO"), body(), "activateInfo");
    m_oneForAll =
        named(new ZVKCheckBox(GetText("IDCS_ACTIVATE_BATCH_ONE"), body()), "oneForAllBox");
    m_generated =
        named(new ZVKCheckBox(GetText("IDCS_ACTIVATE_BATCH_GENERATE"), body()), "generatedBox");
    m_modes = new QButtonGroup(this);
    m_modes->setExclusive(true);
    m_modes->addButton(m_oneForAll);
    m_modes->addButton(m_generated);
    connect(m_generated, &QAbstractButton::toggled, this, [this](bool on) { setGenerated(on); });
    m_password = PasswordField(body(), "passwordField");
    m_repeat = PasswordField(body(), "repeatField");
    connect(m_password, &QLineEdit::textChanged, this, [this] { onPasswordChanged(); });
    connect(m_repeat, &QLineEdit::textChanged, this, [this] { onPasswordChanged(); });
    m_rule = FormLabel(GetText("IDCS_PASSWORD_RULE"), body(), "rule");
    m_verdict = FormLabel(QString(), body(), "verdict");
    m_secretInfo = FormLabel(GetText("IDCS_ACTIVATE_BATCH_SECRET_INFO"), body(), "secretInfo");
    m_secretInfo->setStyleSheet(QLatin1String(kWarningSheet));
    m_secretButton = named(new ZVKPushButton(GetText("IDCS_ACTIVATE_BATCH_SAVE_SECRET"), body()),
                           "secretButton");
    m_secretButton->setAutoDefault(false);
    m_secretButton->setFixedHeight(23);
    connect(m_secretButton, &QPushButton::clicked, this, [this] { onSecretClicked(); });
    m_secretPath = FormLabel(QString(), body(), "secretPath");

    QGridLayout* grid = buildFormGrid(m_intro);
    // The labels first, as the installer works: scan, then choose passwords.
    buildCodes(grid, 1);
    grid->addWidget(m_oneForAll, 4, 0, 1, 5);
    grid->addWidget(FormLabel(GetText("IDCS_NEW_PASSWORD"), body()), 5, 0);
    grid->addWidget(m_password, 5, 1);
    grid->addWidget(FormLabel(GetText("IDCS_CONFIRM_PASSWORD"), body()), 5, 2);
    grid->addWidget(m_repeat, 5, 3);
    grid->addWidget(m_rule, 6, 0, 1, 5);
    grid->addWidget(m_verdict, 7, 0, 1, 5);
    grid->addWidget(m_generated, 8, 0, 1, 5);
    grid->addWidget(m_secretInfo, 9, 0, 1, 5);
    grid->addWidget(m_secretButton, 10, 0, 1, 2, Qt::AlignLeft);
    // Its own row: a long path wraps onto two lines without being cut.
    grid->addWidget(m_secretPath, 11, 0, 1, 5);
    buildBodyColumn(grid);
}

void ActivationDialog::buildTree() {
    buildPlanTree({GetText("IDCS_MAC_ADDRESS"), GetText("IDCS_DEVICE_NAME"),
                   GetText("IDCS_DEVICE_TYPE"), GetText("IDCS_IP_ADDRESS"),
                   GetText("IDCS_SETUP_CODE"), GetText("IDCS_BATCH_STATUS")},
                  {135, 115, 122, 105, 120, 240});
    m_statuses.assign(m_plan.size(), DeviceStatus{});
    for (size_t i = 0; i < m_plan.size(); ++i) {
        const PlanDevice& d = m_plan[i].device;
        QTreeWidgetItem* row = new QTreeWidgetItem(m_tree);
        row->setText(ColMac, FromUtf8(d.mac));
        row->setText(ColName, FromUtf8(d.name));
        row->setText(ColType, typeText(d.type));
        row->setText(ColAddress, FromUtf8(d.ip));
        // A device with a password is shown skipped from the start.
        if (!m_needs[i])
            m_statuses[i] = {BatchState::Skipped, RefusalReason::AlreadyActive, 0, false, false};
        row->setText(ColStatus, statusText(m_statuses[i]));
    }
    const int skipped = int(m_plan.size()) - needingCount();
    m_info = FormLabel(GetText("IDCS_ACTIVATE_BATCH_READY_D").arg(needingCount()).arg(skipped),
                       body(), "planInfo");
    m_info->setStyleSheet(QLatin1String(kWarningSheet));
    m_info->setMinimumHeight(36);
    m_info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QVBoxLayout* column = static_cast<QVBoxLayout*>(body()->layout());
    column->addWidget(m_tree, 1);
    column->addWidget(m_info);
}

void ActivationDialog::buildCodes(QGridLayout* grid, int row) {
    m_codesBox = named(new QPlainTextEdit(body()), "codesBox");
    m_codesBox->setPlaceholderText(GetText("IDCS_SETUP_CODES_PLACEHOLDER"));
    m_codesBox->setTabChangesFocus(true);
    m_codesBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_codesBox->setFixedHeight(76);
    m_codesBox->setStyleSheet(
        QStringLiteral("color: rgb(46, 46, 46); background-color: rgb(177, 177, 177); "));
    connect(m_codesBox, &QPlainTextEdit::textChanged, this, [this] { onCodesChanged(); });
    m_codesButton =
        named(new ZVKPushButton(GetText("IDCS_SETUP_CODES_LOAD"), body()), "codesButton");
    m_codesButton->setAutoDefault(false);
    m_codesButton->setFixedHeight(23);
    connect(m_codesButton, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(this, GetText("IDCS_SETUP_CODES_LOAD"), QString(),
                                         QStringLiteral("CSV (*.csv);;* (*)"));
        if (!path.isEmpty())
            loadCodesFile(path);
    });
    m_codesInfo = FormLabel(QString(), body(), "codesInfo");
    grid->addWidget(FormLabel(GetText("IDCS_SETUP_CODES"), body()), row, 0);
    grid->addWidget(m_codesButton, row, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(m_codesBox, row + 1, 0, 1, 5);
    grid->addWidget(m_codesInfo, row + 2, 0, 1, 5);
}

bool ActivationDialog::readCodes(std::vector<SetupCodeEntry>* codes, SetupCodesError* error) const {
    QString text = m_codesBox->toPlainText();
    QByteArray utf8 = text.toUtf8();
    if (!text.isEmpty())
        explicit_bzero(text.data(), size_t(text.size()) * sizeof(QChar));
    const bool ok =
        ReadSetupCodes(std::string_view(utf8.constData(), size_t(utf8.size())), codes, error);
    wipeBytes(&utf8);
    return ok;
}

// The codes box as it reads now: which devices have a code, or its fault.
void ActivationDialog::onCodesChanged() {
    std::vector<SetupCodeEntry> codes;
    SetupCodesError error;
    m_codesOk = readCodes(&codes, &error);
    for (size_t i = 0; i < m_plan.size(); ++i) {
        const std::string& mac = m_plan[i].device.mac;
        m_hasCode[i] = std::any_of(codes.begin(), codes.end(),
                                   [&mac](const SetupCodeEntry& c) { return c.mac == mac; });
    }
    WipeSetupCodes(&codes);
    const std::vector<bool> open = openDevices();
    const int openCount = int(std::count(open.begin(), open.end(), true));
    if (!m_codesOk)
        m_codesInfo->setText(codesErrorText(error));
    else if (openCount == 0) // every device has a password now
        m_codesInfo->clear();
    else if (codedCount() == 0)
        m_codesInfo->setText(GetText("IDCS_SETUP_CODES_NONE"));
    else
        m_codesInfo->setText(GetText("IDCS_SETUP_CODES_COUNT_D").arg(codedCount()).arg(openCount));
    m_codesInfo->setStyleSheet(
        QLatin1String(m_codesOk && codedCount() > 0 ? kWarningSheet : kFaultSheet));
    showCodeColumn();
    // The saved file covers the devices that had a code then, and no other.
    if (m_secretSaved && passwordTargets() != m_secretFor) {
        forgetSecret();
        m_secretPath->setText(GetText("IDCS_ACTIVATE_BATCH_SECRET_STALE"));
    }
    updateApply();
}

// The devices still to activate: no password when listed, and not done
// since.
std::vector<bool> ActivationDialog::openDevices() const {
    std::vector<bool> open(m_needs.size());
    for (size_t i = 0; i < m_needs.size(); ++i)
        open[i] = m_needs[i] && m_statuses[i].state != BatchState::Done;
    return open;
}

void ActivationDialog::showCodeColumn() {
    const std::vector<bool> open = openDevices();
    for (size_t i = 0; i < m_plan.size(); ++i) {
        const char* key = !open[i]       ? nullptr
                          : m_hasCode[i] ? "IDCS_SETUP_CODE_GIVEN"
                                         : "IDCS_SETUP_CODE_MISSING";
        m_tree->topLevelItem(int(i))->setText(ColCode, key ? GetText(key) : QString());
    }
}

int ActivationDialog::codedCount() const {
    const std::vector<bool> targets = passwordTargets();
    return int(std::count(targets.begin(), targets.end(), true));
}

// The devices a run would send a password to: still to activate, and a code.
std::vector<bool> ActivationDialog::passwordTargets() const {
    std::vector<bool> targets = openDevices();
    for (size_t i = 0; i < targets.size(); ++i)
        targets[i] = targets[i] && m_hasCode[i] && m_codesOk;
    return targets;
}

bool ActivationDialog::loadCodesFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_codesInfo->setText(GetText("IDCS_SETUP_CODES_ERROR_FILE_D").arg(path));
        m_codesInfo->setStyleSheet(QLatin1String(kFaultSheet));
        return false;
    }
    // One byte more than the reader takes, so that a larger file is told apart.
    QByteArray bytes = file.read(qint64(kMaxSetupCodesBytes) + 1);
    if (size_t(bytes.size()) > kMaxSetupCodesBytes) {
        wipeBytes(&bytes);
        SetupCodesError tooLarge;
        tooLarge.fault = SetupCodesFault::TooLarge;
        m_codesInfo->setText(codesErrorText(tooLarge));
        m_codesInfo->setStyleSheet(QLatin1String(kFaultSheet));
        return false;
    }
    QString text = QString::fromUtf8(bytes);
    wipeBytes(&bytes);
    m_codesBox->setPlainText(text);
    if (!text.isEmpty())
        explicit_bzero(text.data(), size_t(text.size()) * sizeof(QChar));
    return true;
}

QString ActivationDialog::codesErrorText(const SetupCodesError& e) {
    switch (e.fault) {
    case SetupCodesFault::None:
        return QString();
    case SetupCodesFault::TooLarge:
        return GetText("IDCS_SETUP_CODES_TOO_LARGE");
    case SetupCodesFault::TooMany:
        return GetText("IDCS_SETUP_CODES_TOO_MANY_D").arg(int(kMaxSetupCodes));
    case SetupCodesFault::LongLine:
        return GetText("IDCS_SETUP_CODES_LONG_LINE_D").arg(int(e.line));
    case SetupCodesFault::ControlByte:
        return GetText("IDCS_SETUP_CODES_CONTROL_D").arg(int(e.line));
    case SetupCodesFault::Shape:
        return GetText("IDCS_SETUP_CODES_SHAPE_D").arg(int(e.line));
    case SetupCodesFault::NotMac:
        return GetText("IDCS_SETUP_CODES_NOT_MAC_D").arg(int(e.line));
    case SetupCodesFault::NotCode:
        return GetText("IDCS_SETUP_CODES_NOT_CODE_D").arg(int(e.line));
    case SetupCodesFault::Repeated:
        return GetText("IDCS_SETUP_CODES_REPEATED_D").arg(int(e.line)).arg(int(e.firstLine));
    }
    return QString();
}

int ActivationDialog::needingCount() const {
    return int(std::count(m_needs.begin(), m_needs.end(), true));
}

bool ActivationDialog::generated() const { return m_generated->isChecked(); }

const char* ActivationDialog::verdictKey(const QString& password, const QString& repeat,
                                         const std::vector<SEARCH_INFO>& devices) {
    const char* key = ActivationVerdictKey(password, repeat, QString(), QString());
    for (const SEARCH_INFO& d : devices) {
        if (!NeedsActivation(d))
            continue;
        const char* own = ActivationVerdictKey(
            password, repeat, QString::fromUtf8(d.mac, int(strnlen(d.mac, sizeof d.mac))),
            QString::fromUtf8(d.devName, int(strnlen(d.devName, sizeof d.devName))));
        // The rule outranks a mismatch: a weak password is named first.
        if (qstrcmp(own, "IDCS_PASSWORD_TOO_WEAK") == 0)
            return own;
    }
    return key;
}

void ActivationDialog::setGenerated(bool on) {
    if (m_generated->isChecked() != on || m_oneForAll->isChecked() == on)
        (on ? m_generated : m_oneForAll)->setChecked(true);
    // Passwords generated for a file stay only as long as that mode does.
    forgetSecret();
    m_password->setEnabled(!on);
    m_repeat->setEnabled(!on);
    m_secretButton->setEnabled(on);
    if (on) {
        WipeField(m_password);
        WipeField(m_repeat);
    }
    onPasswordChanged();
}

void ActivationDialog::forgetSecret() {
    for (PlanEntry& e : m_plan)
        WipeSecret(&e.password);
    m_secretSaved = false;
    if (m_secretPath)
        m_secretPath->clear();
}

void ActivationDialog::onPasswordChanged() {
    const QString a = m_password->text(), b = m_repeat->text();
    const char* key = verdictKey(a, b, m_selected);
    const bool ok = qstrcmp(key, "IDCS_PASSWORD_RULE_MET") == 0;
    m_verdict->setText(a.isEmpty() ? QString() : ActivationVerdictText(key, a, m_selected));
    m_verdict->setStyleSheet(ok || a.isEmpty() ? QString()
                                               : QStringLiteral("color: rgb(230, 120, 60);"));
    updateApply();
}

void ActivationDialog::updateApply() {
    if (running())
        return;
    const bool ready = generated()
                           ? m_secretSaved
                           : qstrcmp(verdictKey(m_password->text(), m_repeat->text(), m_selected),
                                     "IDCS_PASSWORD_RULE_MET") == 0;
    m_applyButton->setEnabled(ready && codedCount() > 0);
}

bool ActivationDialog::saveSecretFile(const QString& path) {
    forgetSecret();
    if (codedCount() == 0) {
        m_secretPath->setText(GetText("IDCS_SETUP_CODES_NONE"));
        updateApply();
        return false;
    }
    std::string error;
    const std::vector<bool> targets = passwordTargets();
    if (!GeneratePasswords(&m_plan, targets) ||
        !WriteSecretPasswordsFile(QFile::encodeName(path).toStdString(), m_plan, &error)) {
        forgetSecret();
        m_secretPath->setText(
            GetText("IDCS_ACTIVATE_BATCH_ERROR_SECRET_SAVE_D").arg(FromUtf8(error)));
        updateApply();
        return false;
    }
    m_secretSaved = true;
    m_secretFor = targets;
    m_secretPath->setText(GetText("IDCS_ACTIVATE_BATCH_SECRET_SAVED_D")
                              .arg(codedCount())
                              .arg(QDir::toNativeSeparators(path)));
    updateApply();
    return true;
}

void ActivationDialog::onSecretClicked() {
    const QString path = QFileDialog::getSaveFileName(
        this, GetText("IDCS_ACTIVATE_BATCH_SAVE_SECRET"), QStringLiteral("passwords.csv"),
        QStringLiteral("CSV (*.csv)"), nullptr, QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty())
        saveSecretFile(path);
}

bool ActivationDialog::apply() {
    if (running() || needingCount() == 0)
        return false;
    if (codedCount() == 0) {
        N12_MessageBox::warning(m_codesInfo->text(), this);
        return false;
    }
    std::string password;
    if (generated()) {
        if (!m_secretSaved) {
            N12_MessageBox::warning(GetText("IDCS_ACTIVATE_BATCH_ERROR_SECRET"), this);
            return false;
        }
    } else {
        if (qstrcmp(verdictKey(m_password->text(), m_repeat->text(), m_selected),
                    "IDCS_PASSWORD_RULE_MET") != 0) {
            N12_MessageBox::warning(
                ActivationVerdictText("IDCS_PASSWORD_TOO_WEAK", m_password->text(), m_selected),
                this);
            return false;
        }
        password = m_password->text().toStdString();
    }
    std::vector<PlanEntry> plan = m_plan;
    std::vector<SetupCodeEntry> codes;
    SetupCodesError error;
    readCodes(&codes, &error);
    AssignSetupCodes(&plan, codes);
    WipeSetupCodes(&codes);
    // The runner holds the only copies now; the file holds the generated ones.
    forgetSecret();
    WipeField(m_password);
    WipeField(m_repeat);
    // The device list keeps showing which devices went with a code.
    m_codesBox->blockSignals(true);
    wipe(m_codesBox);
    m_codesBox->blockSignals(false);
    for (size_t i = 0; i < m_plan.size(); ++i)
        if (m_needs[i])
            setStatus(i, DeviceStatus{});
    const bool started = startBatch(m_services, std::move(plan), std::move(password));
    WipeSecret(&password);
    if (!started)
        return false;
    lockFields(true);
    m_info->setText(GetText("IDCS_ACTIVATE_BATCH_RUNNING"));
    return true;
}

void ActivationDialog::lockFields(bool locked) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_oneForAll, m_generated, m_applyButton, m_saveButton,
                                         m_closeButton, m_codesBox, m_codesButton})
        w->setEnabled(!locked);
    m_password->setEnabled(!locked && !generated());
    m_repeat->setEnabled(!locked && !generated());
    m_secretButton->setEnabled(!locked && generated());
    m_stopButton->setEnabled(locked);
    if (!locked)
        updateApply();
}

void ActivationDialog::setStatus(size_t index, const DeviceStatus& status) {
    BatchDialogBase::setStatus(index, status);
    if (index < m_statuses.size() && status.state == BatchState::Done)
        m_tree->topLevelItem(int(index))->setText(ColCode, QString()); // it needs no code any more
}

// The codes box was emptied at Apply.
void ActivationDialog::batchEnded() { onCodesChanged(); }
