#include "CameraRows.h"

#include "HostNet.h"
#include "LanguageSrc.h"
#include "SearchInfo.h"

const char kCameraTypeCode[] = "ONVIF";

namespace {

QString text(const std::string& s) { return QString::fromStdString(s); }

DevInfo* copyOf(const DevInfo& record, int event) {
    DevInfo* copy = new DevInfo(record);
    copy->event = event;
    return copy;
}

} // namespace

DevInfo* NewCameraRecord(const onvif::CameraRecord& camera) {
    DevInfo* d = new DevInfo;
    d->endpoint = text(camera.endpoint);
    d->xaddr = text(camera.xaddr);
    d->mac = camera.mac.empty() ? d->endpoint : text(camera.mac);
    d->devName = text(camera.name);
    d->productModel = text(camera.info.model.empty() ? camera.hardware : camera.info.model);
    d->softwareVer = text(camera.info.firmware);
    d->hardwareVer = text(camera.info.hardwareId);
    d->productSeries = QLatin1String(kCameraTypeCode);
    d->ipAddr = text(camera.ip);
    d->httpPort = camera.port;
    d->dataPort = 0;
    // Neither activated nor not: ONVIF has no such state.
    d->deviceActivated = -1;
    d->event = SEARCH_EVENT_NEW;
    return d;
}

QList<RowStep> CameraRowMerge::take(DevInfo* device, int event) {
    if (device == nullptr)
        return {};
    return device->isCamera() ? takeCamera(device, event) : takeMaker(device, event);
}

void CameraRowMerge::clear() {
    m_makerMacs.clear();
    m_cameras.clear();
    m_cameraKeys.clear();
}

// The maker's device comes first: a camera row under its MAC makes room,
// and comes back when the device goes.
QList<RowStep> CameraRowMerge::takeMaker(DevInfo* device, int event) {
    QList<RowStep> steps;
    const QString mac = device->mac;
    if (event == SEARCH_EVENT_NEW && !m_makerMacs.contains(mac)) {
        m_makerMacs.insert(mac);
        const QString endpoint = m_cameraKeys.take(mac);
        if (!endpoint.isEmpty()) {
            Camera& camera = m_cameras[endpoint];
            DevInfo* gone = copyOf(camera.record, SEARCH_EVENT_GONE);
            gone->mac = mac;
            steps.append({SEARCH_EVENT_GONE, gone});
            camera.key.clear();
        }
    }
    steps.append({event, device});
    if (event == SEARCH_EVENT_GONE && m_makerMacs.remove(mac)) {
        for (Camera& camera : m_cameras) {
            if (!camera.key.isEmpty() || camera.record.shownMac() != mac)
                continue;
            camera.key = chooseKey(camera.record);
            m_cameraKeys.insert(camera.key, camera.record.endpoint);
            DevInfo* back = copyOf(camera.record, SEARCH_EVENT_NEW);
            back->mac = camera.key;
            steps.append({SEARCH_EVENT_NEW, back});
        }
    }
    return steps;
}

QString CameraRowMerge::chooseKey(const DevInfo& camera) const {
    const QString mac = camera.shownMac();
    if (mac.isEmpty())
        return camera.endpoint;
    if (m_makerMacs.contains(mac))
        return QString();
    const QString holder = m_cameraKeys.value(mac);
    return holder.isEmpty() || holder == camera.endpoint ? mac : camera.endpoint;
}

QList<RowStep> CameraRowMerge::takeCamera(DevInfo* device, int event) {
    QList<RowStep> steps;
    const QString endpoint = device->endpoint;
    const auto found = m_cameras.constFind(endpoint);
    const QString oldKey = found != m_cameras.constEnd() ? found->key : QString();
    const QString key = event == SEARCH_EVENT_GONE ? QString() : chooseKey(*device);
    if (!oldKey.isEmpty() && oldKey != key) {
        DevInfo* gone = copyOf(found->record, SEARCH_EVENT_GONE);
        gone->mac = oldKey;
        steps.append({SEARCH_EVENT_GONE, gone});
        m_cameraKeys.remove(oldKey);
    }
    if (event == SEARCH_EVENT_GONE) {
        m_cameras.remove(endpoint);
        delete device;
        return steps;
    }
    m_cameras.insert(endpoint, Camera{*device, key});
    if (key.isEmpty()) {
        delete device;
        return steps;
    }
    m_cameraKeys.insert(key, endpoint);
    device->mac = key;
    const int kind = oldKey == key ? SEARCH_EVENT_CHANGED : SEARCH_EVENT_NEW;
    device->event = kind;
    steps.append({kind, device});
    return steps;
}

CameraSource::CameraSource(Sink sink) : m_sink(std::move(sink)) {}

CameraSource::~CameraSource() { stop(); }

bool CameraSource::start(int intervalSeconds) {
    stop();
    m_running = m_search.Start(this, intervalSeconds);
    return m_running;
}

void CameraSource::stop() {
    if (m_running)
        m_search.Stop();
    m_running = false;
}

void CameraSource::refresh() {
    if (!m_running)
        return;
    for (const onvif::CameraRecord& camera : m_search.Cameras())
        m_sink(NewCameraRecord(camera), SEARCH_EVENT_NEW);
    m_search.Search();
}

void CameraSource::OnCamera(onvif::CameraEvent event, const onvif::CameraRecord& camera) {
    static const int kinds[] = {SEARCH_EVENT_NEW, SEARCH_EVENT_CHANGED, SEARCH_EVENT_GONE};
    m_sink(NewCameraRecord(camera), kinds[static_cast<int>(event)]);
}

ActionMessage CameraReaddressMessage(const onvif::ReaddressResult& result, QString* detail) {
    using onvif::Outcome;
    using onvif::ReaddressOutcome;
    detail->clear();
    switch (result.outcome) {
    case ReaddressOutcome::Done:
        if (result.clockOff) {
            *detail = QString::number(result.clockOffset);
            return {BoxKind::Information, "IDCS_ONVIF_READDRESS_DONE_CLOCK_OFF_D"};
        }
        return {BoxKind::Information, "IDCS_ONVIF_READDRESS_DONE"};
    case ReaddressOutcome::NotConfirmed:
        return {BoxKind::Warning, "IDCS_ONVIF_NOT_CONFIRMED"};
    case ReaddressOutcome::BadRequest:
        return {BoxKind::Error, "IDCS_ONVIF_BAD_ADDRESS"};
    case ReaddressOutcome::OutOfReach:
        *detail = QString::fromStdString(result.detail);
        return {BoxKind::Error, "IDCS_ONVIF_OUT_OF_REACH"};
    case ReaddressOutcome::CallFailed:
        break;
    }
    switch (result.call) {
    case Outcome::WrongCredentials:
        return {BoxKind::Error, "IDCS_ONVIF_WRONG_CREDENTIALS"};
    case Outcome::Locked:
        return {BoxKind::Error, "IDCS_ONVIF_LOCKED"};
    case Outcome::NoAnswer:
        return {BoxKind::Warning, "IDCS_ONVIF_NO_ANSWER"};
    case Outcome::OutOfReach:
        *detail = QString::fromStdString(result.detail);
        return {BoxKind::Error, "IDCS_ONVIF_OUT_OF_REACH"};
    case Outcome::CertificateChanged:
        return {BoxKind::Error, "IDCS_ONVIF_CERTIFICATE_CHANGED"};
    case Outcome::ClockOff:
        *detail = QString::number(result.clockOffset);
        return {BoxKind::Error, "IDCS_ONVIF_CLOCK_OFF_D"};
    case Outcome::Conflict: {
        QStringList hosts;
        for (const std::string& host : result.claimants)
            hosts << QString::fromStdString(host);
        *detail = hosts.join(QStringLiteral(", "));
        return {BoxKind::Error, "IDCS_ONVIF_CONFLICT_D"};
    }
    case Outcome::Fault:
    case Outcome::BadReply:
    case Outcome::TooLarge:
    case Outcome::Done:
    case Outcome::NotSupported: // not outcomes of re-addressing
    case Outcome::InvalidInput:
    case Outcome::Cancelled:
        break;
    }
    *detail = QString::fromStdString(result.detail);
    return {BoxKind::Error, "IDCS_ONVIF_FAULT_D"};
}

QString CameraOutOfReachWhere(const onvif::CameraRecord& camera) {
    QString card = text(camera.interfaceName);
    if (!camera.localAddress.empty())
        card += QStringLiteral(" (%1)").arg(text(camera.localAddress));
    const QString unknown = QStringLiteral("?");
    return GetText("IDCS_ONVIF_OUT_OF_REACH_WHERE_D")
        .arg(camera.ip.empty() ? unknown : text(camera.ip), card.isEmpty() ? unknown : card);
}

QString CameraPageUrl(const DevInfo& camera) {
    onvif::XAddr parts;
    if (!onvif::ParseXAddr(camera.xaddr.toStdString(), &parts))
        return QString();
    const bool usual = parts.port == (parts.scheme == "https" ? 443 : 80);
    QString url = QString::fromStdString(parts.scheme + "://" + parts.host);
    if (!usual)
        url += QLatin1Char(':') + QString::number(parts.port);
    return url + QLatin1Char('/');
}

commission::PlanDevice CameraPlanDevice(const DevInfo& camera) {
    commission::PlanDevice d;
    // A row keyed by its endpoint names no MAC: plans know it by endpoint.
    if (camera.mac != camera.endpoint)
        d.mac = camera.mac.toStdString();
    d.endpoint = camera.endpoint.toStdString();
    d.name = camera.devName.toStdString();
    d.type = kCameraTypeCode;
    d.ip = camera.ipAddr.toStdString();
    d.httpPort = camera.httpPort;
    return d;
}

void AwaitCameraRoute(const onvif::CameraRecord& camera) {
    if (camera.reach == onvif::Reach::LinkLocal)
        EnsureLinkLocalRoute(camera.localAddress);
}

commission::DeviceStatus CameraRefusal(onvif::Outcome call) {
    using commission::BatchState;
    using commission::RefusalReason;
    using onvif::Outcome;
    const auto refused = [](RefusalReason reason) {
        return commission::DeviceStatus{BatchState::Refused, reason};
    };
    switch (call) {
    case Outcome::WrongCredentials:
        return refused(RefusalReason::Credentials);
    case Outcome::Locked:
        return refused(RefusalReason::Locked);
    case Outcome::NoAnswer:
        return refused(RefusalReason::NoAnswer);
    case Outcome::OutOfReach:
        return refused(RefusalReason::OutOfReach);
    case Outcome::CertificateChanged:
        return refused(RefusalReason::CertificateChanged);
    case Outcome::ClockOff:
        return refused(RefusalReason::ClockOff);
    case Outcome::Conflict:
        return refused(RefusalReason::Identity); // two hosts claim it: as two keys for a MAC
    case Outcome::NotSupported:
        return refused(RefusalReason::Unsupported);
    case Outcome::Done:
    case Outcome::BadReply:
    case Outcome::TooLarge:
    case Outcome::Fault:
    case Outcome::InvalidInput:
    case Outcome::Cancelled:
        break;
    }
    return refused(RefusalReason::Fault);
}

commission::DeviceStatus CameraActionStatus(onvif::Outcome outcome, bool verified) {
    if (outcome != onvif::Outcome::Done)
        return CameraRefusal(outcome);
    return {verified ? commission::BatchState::Done : commission::BatchState::NotConfirmed};
}

commission::DeviceStatus CameraBatchStatus(const onvif::ReaddressResult& result) {
    using commission::BatchState;
    using commission::RefusalReason;
    using onvif::Outcome;
    const auto refused = [](RefusalReason reason) {
        return commission::DeviceStatus{BatchState::Refused, reason, 0, false, false};
    };
    switch (result.outcome) {
    case onvif::ReaddressOutcome::Done:
        return {BatchState::Done, RefusalReason::None, 0, false, false};
    case onvif::ReaddressOutcome::NotConfirmed:
        return {BatchState::NotConfirmed, RefusalReason::None, 0, false, false};
    case onvif::ReaddressOutcome::OutOfReach:
        return refused(RefusalReason::OutOfReach);
    case onvif::ReaddressOutcome::BadRequest:
        return refused(RefusalReason::Rule);
    case onvif::ReaddressOutcome::CallFailed:
        break;
    }
    return CameraRefusal(result.call);
}
