#include "PictureDialog.h"

#include "LanguageSrc.h"
#include "N12_MessageBox.h"
#include "VistaTreeWidget.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKPushButton.h"

#include <QGridLayout>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <initializer_list>

using namespace commission;

namespace {

// The only type of the maker's devices that serves a picture.
constexpr char kMakerCameraType[] = "ZVK_IPC";

} // namespace

bool PictureDialog::IsCamera(const PlanDevice& device) {
    return device.IsCamera() || device.type == kMakerCameraType;
}

PictureDialog::PictureDialog(std::vector<PlanDevice> selected, TakeFn take, QString cameraUser,
                             Login session, QWidget* parent)
    : BatchDialogBase(ColStatus, QStringLiteral("pictures.csv"), parent), m_take(std::move(take)),
      m_session(std::move(session)) {
    planDevicesAsTheyAre(std::move(selected));
    setTitle(GetText("IDCS_PICTURES_TITLE"));
    buildFields();
    m_login.user->setText(cameraUser);
    buildTree();
    const bool anyCamera = std::any_of(m_plan.begin(), m_plan.end(),
                                       [](const PlanEntry& e) { return IsCamera(e.device); });
    buildButtons(anyCamera);
    resize(920, 560);
}

PictureDialog::~PictureDialog() {
    endBatchNow();
    m_login.wipePasswords();
}

void PictureDialog::buildFields() {
    m_login = buildLoginFields();
    // The session's login serves when the field is left empty: say so.
    if (m_session.password != nullptr)
        m_login.cameraPassword->setPlaceholderText(GetText("IDCS_PICTURES_SESSION_LOGIN"));
    // Fields of a protocol none of the listed cameras speaks stay disabled.
    m_login.password->setEnabled(listsMakerCamera());
    m_login.user->setEnabled(listsOnvifCamera());
    m_login.cameraPassword->setEnabled(listsOnvifCamera());
    QGridLayout* grid =
        buildFormGrid(FormLabel(GetText("IDCS_PICTURES_INFO"), body(), "picturesInfo"));
    addLoginFields(grid, 1, m_login);
    buildBodyColumn(grid);
}

void PictureDialog::buildTree() {
    buildPlanTree({GetText("IDCS_SITE_REPORT_MAC"), GetText("IDCS_DEVICE_NAME"),
                   GetText("IDCS_DEVICE_TYPE"), GetText("IDCS_IP_ADDRESS"),
                   GetText("IDCS_BATCH_STATUS")},
                  {180, 130, 120, 110, 200});
    m_statuses.assign(m_plan.size(), DeviceStatus{});
    for (const PlanEntry& e : m_plan) {
        QTreeWidgetItem* row = new QTreeWidgetItem(m_tree);
        row->setText(ColMac, FromUtf8(DeviceKey(e.device)));
        row->setText(ColName, FromUtf8(e.device.name));
        row->setText(ColType, typeText(e.device.type));
        row->setText(ColAddress, FromUtf8(e.device.ip));
        row->setText(ColStatus, statusText(DeviceStatus{}));
    }
    addTreeAndInfo(GetText("IDCS_PICTURES_READY_D").arg(m_plan.size()));
}

bool PictureDialog::listsMakerCamera() const {
    return std::any_of(m_plan.begin(), m_plan.end(), [](const PlanEntry& e) {
        return !e.device.IsCamera() && IsCamera(e.device);
    });
}

bool PictureDialog::listsOnvifCamera() const {
    return std::any_of(m_plan.begin(), m_plan.end(),
                       [](const PlanEntry& e) { return e.device.IsCamera(); });
}

bool PictureDialog::apply() {
    if (running() || m_plan.empty())
        return false;
    if (listsMakerCamera() && m_login.password->text().isEmpty()) {
        N12_MessageBox::information(GetText("IDCS_BATCH_ERROR_PASSWORD"), this);
        m_login.password->setFocus();
        return false;
    }
    Login camera;
    if (listsOnvifCamera()) {
        if (!m_login.cameraPassword->text().isEmpty()) {
            QByteArray typed = m_login.cameraPassword->text().toUtf8();
            const QString user = m_login.user->text().trimmed();
            camera.user = user.isEmpty() ? std::string("admin") : user.toStdString();
            camera.password = MakeSharedSecret(typed.constData(), size_t(typed.size()));
            explicit_bzero(typed.data(), size_t(typed.size()));
        } else if (m_session.password != nullptr) {
            camera = m_session;
        } else {
            N12_MessageBox::warning(GetText("IDCS_ONVIF_CREDENTIALS_NEEDED"), this);
            m_login.cameraPassword->setFocus();
            return false;
        }
    }
    QByteArray typed = m_login.password->text().toUtf8();
    std::string password(typed.constData(), size_t(typed.size()));
    explicit_bzero(typed.data(), size_t(typed.size()));
    m_login.wipePasswords();
    // The maker's cameras take the devices' password in their entries; an
    // ONVIF camera's login reaches the hook through m_shared only, so that
    // no camera gets the devices' password, nor the reverse.
    std::vector<PlanEntry> plan = m_plan;
    for (PlanEntry& e : plan)
        if (!e.device.IsCamera() && IsCamera(e.device))
            e.password = password;
    {
        const std::lock_guard<std::mutex> hold(m_shared->lock);
        m_shared->camera = std::move(camera);
        m_shared->pictures.clear();
    }
    BatchServices services;
    services.readdressOther = [take = m_take, shared = m_shared](
                                  const PlanEntry& entry, const BatchServices::ProgressFn& progress,
                                  const std::function<bool()>& cancelled, DeviceStatus* out) {
        if (!IsCamera(entry.device)) {
            *out = {BatchState::Refused, RefusalReason::Unsupported};
            return true;
        }
        progress({BatchState::Sending});
        Login camera;
        {
            const std::lock_guard<std::mutex> hold(shared->lock);
            camera = shared->camera;
        }
        Picture picture;
        *out = take(entry, camera, cancelled, &picture);
        if (out->state == BatchState::Done) {
            const std::lock_guard<std::mutex> hold(shared->lock);
            shared->pictures[DeviceKey(entry.device)] = std::move(picture);
        }
        return true;
    };
    for (size_t i = 0; i < m_plan.size(); ++i)
        setStatus(i, DeviceStatus{});
    if (!startBatch(services, std::move(plan), std::move(password)))
        return false;
    lockFields(true);
    m_info->setText(GetText("IDCS_PICTURES_RUNNING"));
    return true;
}

bool PictureDialog::takePicture(size_t index, Picture* out) {
    if (index >= m_plan.size())
        return false;
    const std::lock_guard<std::mutex> hold(m_shared->lock);
    const auto found = m_shared->pictures.find(DeviceKey(m_plan[index].device));
    if (found == m_shared->pictures.end())
        return false;
    *out = std::move(found->second);
    m_shared->pictures.erase(found);
    return true;
}

void PictureDialog::setStatus(size_t index, const DeviceStatus& status) {
    BatchDialogBase::setStatus(index, status);
    if (index < m_plan.size() && status.state == BatchState::Done)
        emit pictureTaken(int(index));
}

void PictureDialog::batchEnded() {
    // The login is not kept beyond the batch that needed it.
    const std::lock_guard<std::mutex> hold(m_shared->lock);
    m_shared->camera = Login{};
}

void PictureDialog::lockFields(bool locked) {
    for (QWidget* w : std::initializer_list<QWidget*>{m_applyButton, m_saveButton, m_closeButton})
        w->setEnabled(!locked);
    m_login.password->setEnabled(!locked && listsMakerCamera());
    m_login.user->setEnabled(!locked && listsOnvifCamera());
    m_login.cameraPassword->setEnabled(!locked && listsOnvifCamera());
    m_stopButton->setEnabled(locked);
}
