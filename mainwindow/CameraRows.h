// ONVIF cameras as rows of the device list: the record the window keeps for
// a camera, the one-row-per-device rule between the maker's search and the
// camera search, the camera search run beside the maker's, and the texts of
// a camera's re-address outcome. No widget: it tests without a display.
#pragma once

#include "AddressPlan.h"
#include "BatchRunner.h"
#include "DeviceActionRules.h"
#include "DevInfo.h"
#include "DeviceMerge.h"
#include "DeviceRecord.h"
#include "OnvifReaddress.h"
#include "OnvifSearch.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// The type code of an ONVIF camera's record (productSeries).
using devicelist::kCameraTypeCode;

// A new record for camera (the caller owns it): the fields of its
// devicelist::DeviceRecord; the MAC when known, else the endpoint as the
// list's key; event SEARCH_EVENT_NEW. Fields with no ONVIF source stay
// empty (activation: neither state).
DevInfo* NewCameraRecord(const onvif::CameraRecord& camera);

// One change for the device list: add, change or remove the record with
// key device->mac. The receiver owns device.
struct RowStep {
    int event; // SearchEventKind
    DevInfo* device;
};

// The rows of a list fed by both searches, on the window's thread:
// devicelist::DeviceMerge's rule (one row per device, the maker's record
// leading, two cameras never sharing a row) turned into records. A camera
// row's key (DevInfo::mac) is its MAC, or its endpoint.
class CameraRowMerge {
public:
    CameraRowMerge() = default;
    CameraRowMerge(const CameraRowMerge&) = delete;
    CameraRowMerge& operator=(const CameraRowMerge&) = delete;

    // Takes device (from either search, event its SearchEventKind) and
    // returns what the list does, in order; every step's record is new.
    QList<RowStep> take(DevInfo* device, int event);
    // The list was emptied: everything known is forgotten.
    void clear();

private:
    DevInfo* cameraStep(const devicelist::MergeStep& step, DevInfo** own);

    devicelist::DeviceMerge m_merge;
    std::vector<devicelist::MergeStep> m_steps;
    // Every camera present, by endpoint, as the camera search gave it.
    QHash<QString, DevInfo> m_cameras;
};

// Runs the camera search and hands every camera event over as a new record
// (sink, on the search's thread; it owns the record). Stops on destruction.
class CameraSource : public onvif::CameraObserver {
public:
    using Sink = std::function<void(DevInfo*, int)>;
    explicit CameraSource(Sink sink);
    ~CameraSource() override;

    // Starts searching every intervalSeconds (0: only on refresh()); a
    // running search is restarted with the new interval. False when no
    // socket could be opened.
    bool start(int intervalSeconds);
    void stop();
    // A round now; every camera present is handed over again as new, for a
    // list that was just emptied.
    void refresh();
    onvif::CameraSearch& search() { return m_search; }

    void OnCamera(onvif::CameraEvent event, const onvif::CameraRecord& camera) override;

private:
    Sink m_sink;
    onvif::CameraSearch m_search;
    bool m_running = false;
};

// The box for a camera's re-address result. *detail receives the engine's
// sentence where it says more than the text: filling the text's %1 (a
// fault), or told below it (out of reach: the address and the card); else
// it is emptied.
ActionMessage CameraReaddressMessage(const onvif::ReaddressResult& result, QString* detail);

// Where an out-of-reach camera is, in the user's language: its address and
// the card it was heard on (name and address), for the box below the
// out-of-reach text.
QString CameraOutOfReachWhere(const onvif::CameraRecord& camera);

// A camera's web page: the scheme, host and port of its chosen device
// service address with the path "/"; empty when it has none.
QString CameraPageUrl(const DevInfo& camera);

// A camera row as a batch plan sees it: the MAC of a row keyed by MAC, the
// endpoint (so that commission::DeviceKey is the row's key), name, type
// kCameraTypeCode, address and HTTP port; mask and gateway empty (discovery
// does not tell them).
commission::PlanDevice CameraPlanDevice(const DevInfo& camera);

// What a camera told in a log-in (onvif::ReadCameraDetails) over what its
// record held: a mask or gateway it does not tell keeps the one it took in
// a re-address.
onvif::DeviceInformation KeptCameraDetails(const onvif::DeviceInformation& held,
                                           onvif::DeviceInformation told);

// Before a call to a camera reached only at its link-local device service
// address: makes sure the link-local route of the card it was heard on is in
// place (EnsureLinkLocalRoute), so that the first call does not go out
// before it. Nothing for any other camera. Blocks: off the window thread.
void AwaitCameraRoute(const onvif::CameraRecord& camera);
