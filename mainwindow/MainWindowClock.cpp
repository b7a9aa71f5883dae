// The window's clock dialog: the selected devices of both protocols, each
// clock set through its own protocol and read back.
#include "CameraRows.h"
#include "ClockDialog.h"
#include "DevInfo.h"
#include "DeviceControlBar.h"
#include "MainWindow.h"
#include "OnvifActions.h"
#include "OnvifReaddress.h"
#include "Secret.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace {

using commission::BatchState;
using commission::DeviceStatus;
using commission::RefusalReason;

DeviceStatus Refused(RefusalReason reason) {
    return {BatchState::Refused, reason, 0, false, false};
}

// A maker's device's refusal of its clock request.
DeviceStatus MakerStatus(lorvex::Outcome outcome) {
    using lorvex::Outcome;
    switch (outcome) {
    case Outcome::Done:
        return {BatchState::Done, RefusalReason::None, 0, false, false};
    case Outcome::NoDevice:
        return {BatchState::Gone, RefusalReason::None, 0, false, false};
    case Outcome::Refused:
        return Refused(RefusalReason::Password);
    case Outcome::Unverified:
    case Outcome::IdentityConflict:
        return Refused(RefusalReason::Identity);
    case Outcome::Locked:
        return Refused(RefusalReason::Locked);
    case Outcome::NotActivated:
        return Refused(RefusalReason::NotActivated);
    case Outcome::NoAnswer:
        return Refused(RefusalReason::NoAnswer);
    default:
        return Refused(RefusalReason::Other);
    }
}

} // namespace

ClockDialog::Service MainWindow::clockService() {
    std::map<std::string, std::string> endpoints; // row key to endpoint
    for (const DevInfo* record : m_deviceList)
        if (record->isCamera())
            endpoints.emplace(record->mac.toStdString(), record->endpoint.toStdString());
    CLorvexManage* manager = &m_manager;
    lorvex::ClockReadings* readings = &m_clockReadings;
    onvif::CameraSearch* search = &m_cameras->search();
    // Which reading of each maker's device tells its clock after its request.
    auto readBack = std::make_shared<lorvex::ClockReadBack>(m_clockReadings);
    ClockDialog::Service service;
    service.readBound = commission::VerifyBoundFor(m_manager.GetAutoSearch());
    service.set = [endpoints, manager, readings, search, readBack, closing = m_closingCamera](
                      const commission::PlanEntry& entry, const ClockDialog::Setting& setting,
                      const std::string& user, const std::function<bool()>& cancelled,
                      ClockDialog::Offsets* offsets) -> DeviceStatus {
        const auto found = endpoints.find(commission::DeviceKey(entry.device));
        if (found != endpoints.end()) {
            onvif::CameraRecord camera;
            if (!search->Find(found->second, &camera))
                return {BatchState::Gone, RefusalReason::None, 0, false, false};
            onvif::ClockRequest request;
            request.ntp = !setting.ntpServer.empty();
            request.ntpServer = setting.ntpServer;
            request.timeZone = setting.timeZone;
            onvif::ActionContext context;
            context.user = user.empty() ? std::string("admin") : user;
            context.password = MakeSharedSecret(entry.password.data(), entry.password.size());
            context.stop = closing.get();
            context.cancelled = cancelled;
            AwaitCameraRoute(camera);
            const onvif::ClockResult r = onvif::SetClock(camera, request, context);
            *offsets = {r.beforeKnown, r.afterKnown, r.before.offset, r.after.offset};
            if (r.outcome == onvif::Outcome::Done)
                return {r.verified ? BatchState::Done : BatchState::NotConfirmed,
                        RefusalReason::None, 0, false, false};
            onvif::ReaddressResult failed;
            failed.call = r.outcome;
            return commission::CameraBatchStatus(failed);
        }
        lorvex::ClockReading before;
        offsets->beforeKnown = readings->Latest(entry.device.mac, &before);
        offsets->before = before.offset;
        readBack->Sent(entry.device.mac);
        const lorvex::Outcome outcome =
            manager->SetClock(entry.device.mac.c_str(), entry.password.c_str(),
                              {setting.ntpServer, setting.timeZone, setting.setTime});
        if (outcome != lorvex::Outcome::Done)
            return MakerStatus(outcome);
        readBack->Accepted(entry.device.mac);
        return {BatchState::Verifying, RefusalReason::None, 0, false, false};
    };
    service.read = [readBack](const commission::PlanEntry& entry,
                              const ClockDialog::Setting& setting,
                              ClockDialog::Offsets* offsets) -> std::optional<bool> {
        lorvex::ClockReading after;
        const std::optional<bool> set =
            readBack->Read(entry.device.mac, setting.ntpServer, setting.timeZone, &after);
        if (set) {
            offsets->afterKnown = true;
            offsets->after = after.offset;
        }
        return set;
    };
    return service;
}

void MainWindow::openClockDialog() {
    std::vector<commission::PlanDevice> selected = selectedPlanDevices();
    if (selected.empty())
        return;
    const QString user = m_controlBar->networkUser();
    delete m_clockDialog;
    m_clockDialog = new ClockDialog(std::move(selected), clockService(),
                                    user.isEmpty() ? QStringLiteral("admin") : user, this);
    showBatchDialog(m_clockDialog, "clockDialog", [this] {
        if (m_clockDialog)
            logClocks(*m_clockDialog);
    });
}
