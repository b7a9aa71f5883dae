#include "CameraRows.h"

#include "HostNet.h"
#include "LanguageSrc.h"
#include "SearchInfo.h"

namespace {

QString text(const std::string& s) { return QString::fromStdString(s); }

} // namespace

DevInfo* NewCameraRecord(const onvif::CameraRecord& camera) {
    const devicelist::DeviceRecord r = devicelist::RecordOf(camera);
    DevInfo* d = new DevInfo;
    d->endpoint = text(r.endpoint);
    d->xaddr = text(camera.xaddr);
    d->mac = r.mac.empty() ? d->endpoint : text(r.mac);
    d->devName = text(r.name);
    d->productModel = text(r.model);
    d->softwareVer = text(r.firmware);
    d->hardwareVer = text(r.hardware);
    d->productSeries = text(r.type);
    d->ipAddr = text(r.ip);
    d->mask = text(r.mask);
    d->route = text(r.gateway);
    d->httpPort = r.httpPort;
    d->dataPort = 0;
    // Neither activated nor not: ONVIF has no such state.
    d->deviceActivated = -1;
    d->event = SEARCH_EVENT_NEW;
    return d;
}

QList<RowStep> CameraRowMerge::take(DevInfo* device, int event) {
    if (device == nullptr)
        return {};
    m_steps.clear();
    QList<RowStep> steps;
    if (!device->isCamera()) {
        m_merge.Maker(device->mac.toStdString(), event, &m_steps);
        for (const devicelist::MergeStep& step : m_steps) {
            if (step.camera)
                steps.append({step.event, cameraStep(step, nullptr)});
            else if (!step.joinOnly)
                steps.append({event, device});
        }
        return steps;
    }
    const QString endpoint = device->endpoint;
    m_cameras.insert(endpoint, *device);
    m_merge.Camera(endpoint.toStdString(), device->shownMac().toStdString(), event,
                   devicelist::DeviceMerge::Clock::now(), &m_steps);
    for (const devicelist::MergeStep& step : m_steps)
        if (step.camera)
            steps.append({step.event, cameraStep(step, &device)});
    if (event == SEARCH_EVENT_GONE)
        m_cameras.remove(endpoint);
    delete device; // null when a step took it
    return steps;
}

// The record of a camera row's step: *own (the event's record, taken once)
// for its own camera's arrival or change, else a copy of what is known.
DevInfo* CameraRowMerge::cameraStep(const devicelist::MergeStep& step, DevInfo** own) {
    const QString endpoint = text(step.endpoint);
    DevInfo* record = nullptr;
    if (own != nullptr && *own != nullptr && step.event != SEARCH_EVENT_GONE &&
        (*own)->endpoint == endpoint) {
        record = *own;
        *own = nullptr;
    } else {
        record = new DevInfo(m_cameras.value(endpoint));
    }
    record->mac = text(step.key);
    record->event = step.event;
    return record;
}

void CameraRowMerge::clear() {
    m_merge.Clear();
    m_cameras.clear();
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
    using lorvex::Outcome;
    detail->clear();
    const Outcome outcome = onvif::OutcomeOfReaddress(result);
    switch (outcome) {
    case Outcome::Done:
        // The camera's own sentence: it answers at its new address.
        if (!result.clockOff)
            return {BoxKind::Information, "IDCS_ONVIF_READDRESS_DONE"};
        *detail = QString::number(result.clockOffset);
        return {BoxKind::Information, "IDCS_ONVIF_READDRESS_DONE_CLOCK_OFF_D"};
    case Outcome::CameraClockOff:
        *detail = QString::number(result.clockOffset);
        break;
    case Outcome::CameraConflict: {
        QStringList hosts;
        for (const std::string& host : result.claimants)
            hosts << QString::fromStdString(host);
        *detail = hosts.join(QStringLiteral(", "));
        break;
    }
    case Outcome::CameraNotConfirmed:
    case Outcome::CameraNoAnswer:
    case Outcome::CameraWrongCredentials:
    case Outcome::CameraLocked:
    case Outcome::CameraCertificateChanged:
    case Outcome::CameraBadAddress:
        break;
    default: // out of reach, and the faults: the engine's sentence
        *detail = QString::fromStdString(result.detail);
        break;
    }
    const bool mayPass =
        outcome == Outcome::CameraNotConfirmed || outcome == Outcome::CameraNoAnswer;
    return {mayPass ? BoxKind::Warning : BoxKind::Error, lorvex::RowOf(outcome).key};
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

onvif::DeviceInformation KeptCameraDetails(const onvif::DeviceInformation& held,
                                           onvif::DeviceInformation told) {
    if (told.mask.empty())
        told.mask = held.mask;
    if (told.gateway.empty())
        told.gateway = held.gateway;
    return told;
}
