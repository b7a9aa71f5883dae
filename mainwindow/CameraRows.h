// ONVIF cameras as rows of the device list: the record the window keeps for
// a camera, the one-row-per-device rule between the maker's search and the
// camera search, the camera search run beside the maker's, and the texts of
// a camera's re-address outcome. No widget: it tests without a display.
#pragma once

#include "AddressPlan.h"
#include "BatchRunner.h"
#include "DeviceActionRules.h"
#include "DevInfo.h"
#include "OnvifReaddress.h"
#include "OnvifSearch.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

// The type code of an ONVIF camera's record (productSeries); no maker's
// device has it, since theirs all hold "ZVK".
extern const char kCameraTypeCode[];

// A new record for camera (the caller owns it): name and model from the
// scopes until GetDeviceInformation's model, firmware from it; IP and HTTP
// port from the chosen XAddr; the MAC when known, else the endpoint as the
// list's key; event SEARCH_EVENT_NEW. Fields with no ONVIF source stay empty
// (activation: neither state).
DevInfo* NewCameraRecord(const onvif::CameraRecord& camera);

// One change for the device list: add, change or remove the record with
// key device->mac. The receiver owns device.
struct RowStep {
    int event; // SearchEventKind
    DevInfo* device;
};

// Decides the rows of a list fed by both searches, on the window's thread.
// A device both searches see with one MAC is one row, the maker's record
// leading: its camera row goes when the maker's device comes and returns
// when it goes. A camera is listed under its MAC unless another camera's
// row holds that MAC, then under its endpoint, so that two cameras never
// share a row; a serial number decides nothing.
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
    struct Camera {
        DevInfo record; // as the camera search gave it: mac its own or the endpoint
        QString key;    // its row's key; empty while a maker's record stands for it
    };
    QList<RowStep> takeMaker(DevInfo* device, int event);
    QList<RowStep> takeCamera(DevInfo* device, int event);
    QString chooseKey(const DevInfo& camera) const;

    QSet<QString> m_makerMacs;
    QHash<QString, Camera> m_cameras;     // every camera present, by endpoint
    QHash<QString, QString> m_cameraKeys; // row key to the endpoint holding it
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

// Before a call to a camera reached only at its link-local device service
// address: makes sure the link-local route of the card it was heard on is in
// place (EnsureLinkLocalRoute), so that the first call does not go out
// before it. Nothing for any other camera. Blocks: off the window thread.
void AwaitCameraRoute(const onvif::CameraRecord& camera);

// A camera's re-address result as a batch row's final status: done, not
// confirmed, or refused for wrong credentials, locked, no answer, out of
// reach, an address rule (the camera would not take the values), or a
// fault (any other failure).
commission::DeviceStatus CameraBatchStatus(const onvif::ReaddressResult& result);
// A camera call's failure in a batch's terms (Refused with its reason; an
// offer the camera lacks is Unsupported).
commission::DeviceStatus CameraRefusal(onvif::Outcome call);
// A camera action's end: Done only when it read back what it was asked.
commission::DeviceStatus CameraActionStatus(onvif::Outcome outcome, bool verified);
