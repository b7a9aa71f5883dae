// The window's picture dialog: the selected cameras of both protocols, each
// picture taken through its own protocol and kept as the camera's
// thumbnail for the site report.
#include "CameraRows.h"
#include "DevInfo.h"
#include "DeviceControlBar.h"
#include "MainWindow.h"
#include "OnvifActions.h"
#include "SnapshotPanel.h"

#include <chrono>
#include <map>
#include <string>

namespace {

using commission::BatchState;
using commission::DeviceStatus;
using commission::RefusalReason;

// A maker's camera's picture, fetch and decode, once its token is granted.
constexpr int32_t kPictureTimeLimitMs = 6000;

DeviceStatus BadPicture() { return {BatchState::Refused, RefusalReason::BadPicture}; }

} // namespace

PictureDialog::TakeFn MainWindow::pictureService() {
    std::map<std::string, std::string> endpoints; // row key to endpoint
    for (const DevInfo* record : m_deviceList)
        if (record->isCamera())
            endpoints.emplace(record->mac.toStdString(), record->endpoint.toStdString());
    CLorvexManage* manager = &m_manager;
    onvif::CameraSearch* search = &m_cameras->search();
    return [endpoints, manager, search, closing = m_closingCamera](
               const commission::PlanEntry& entry, const PictureDialog::Login& login,
               const std::function<bool()>& cancelled,
               PictureDialog::Picture* picture) -> DeviceStatus {
        const auto found = endpoints.find(commission::DeviceKey(entry.device));
        if (found != endpoints.end()) {
            onvif::CameraRecord camera;
            if (!search->Find(found->second, &camera))
                return {BatchState::Gone};
            onvif::ActionContext context;
            context.user = login.user.empty() ? std::string("admin") : login.user;
            context.password = login.password;
            context.stop = closing.get();
            context.cancelled = cancelled; // Stop ends the camera between its calls
            AwaitCameraRoute(camera);
            // Each camera has the whole time limit of its own.
            context.deadline = std::chrono::steady_clock::now() + onvif::kActionTimeLimit;
            // The same log-in brings the camera's firmware, mask and gateway
            // to its row, and so to the site report.
            onvif::SnapshotRequest request;
            request.details = true;
            onvif::SnapshotResult r = onvif::TakeSnapshot(camera, request, context);
            if (r.detailsRead)
                search->SetInformation(camera.endpoint, KeptCameraDetails(camera.info, r.info));
            if (r.outcome == onvif::Outcome::Cancelled) // a picture changes nothing
                return {BatchState::Skipped, RefusalReason::None, 0, true};
            if (r.image != snapshot::ImageCheck::Ok)
                return BadPicture();
            if (r.outcome != onvif::Outcome::Done)
                return commission::CameraRefusal(r.outcome);
            if (r.thumbnail.jpeg.empty())
                return BadPicture();
            picture->jpeg = std::move(r.jpeg);
            picture->thumbnail = std::move(r.thumbnail);
            return {BatchState::Done};
        }
        MakerSnapshot r = manager->TakeSnapshot(entry.device.mac.c_str(), entry.password.c_str(),
                                                kPictureTimeLimitMs);
        if (r.outcome != lorvex::Outcome::Done)
            return commission::RefusalStatus(r.outcome);
        if (snapshot::MakeThumbnail(reinterpret_cast<const std::uint8_t*>(r.jpeg.data()),
                                    r.jpeg.size(), snapshot::DecodeLimits{},
                                    &picture->thumbnail) != snapshot::ImageCheck::Ok)
            return BadPicture();
        picture->jpeg = std::move(r.jpeg);
        return {BatchState::Done};
    };
}

void MainWindow::keepPicture(PictureDialog& dialog, int index) {
    PictureDialog::Picture picture;
    if (index < 0 || !dialog.takePicture(size_t(index), &picture))
        return;
    const QString key = QString::fromStdString(commission::DeviceKey(dialog.plan()[index].device));
    m_thumbnails[key] = std::move(picture.thumbnail);
    // The panel's own request for this camera yields to the picture at hand.
    if (m_controlBar->deviceKey() == key && m_pictureTake == nullptr)
        m_controlBar->picturePanel()->showPicture(picture.jpeg);
}

int MainWindow::camerasWithoutPicture() const {
    int count = 0;
    for (const DevInfo* record : m_deviceList)
        if ((record->isCamera() || record->productSeries == QLatin1String("ZVK_IPC")) &&
            m_thumbnails.find(record->mac) == m_thumbnails.end())
            ++count;
    return count;
}

void MainWindow::openPictureDialog() {
    std::vector<commission::PlanDevice> selected = selectedPlanDevices();
    if (selected.empty())
        return;
    const QString user = m_controlBar->networkUser();
    delete m_pictureDialog;
    m_pictureDialog = new PictureDialog(std::move(selected), pictureService(),
                                        user.isEmpty() ? QStringLiteral("admin") : user,
                                        {m_sessionUser, m_sessionPassword}, this);
    connect(m_pictureDialog, &PictureDialog::pictureTaken, this, [this](int index) {
        if (m_pictureDialog)
            keepPicture(*m_pictureDialog, index);
    });
    showBatchDialog(m_pictureDialog, "pictureDialog");
}
