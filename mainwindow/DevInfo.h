// DevInfo: the window's own copy of one device event, made on the search
// library's thread and owned by the GUI thread once it is handed over.
#pragma once

#include "SearchInfo.h"

#include <QString>

struct DevInfo {
    QString devName;
    QString ipAddr;
    QString mask;
    QString ipAddr2;
    QString route; // the gateway
    QString dns1;
    QString dns2;
    QString mac;
    QString productSeries; // the device type code, such as "ZVK_IPC"
    QString softwareVer;   // after the beta rule (BetaRuleVersion)
    QString softwareBulildDate;
    QString hardwareVer;
    QString kernelVer;
    QString productModel;
    QString runningTime; // seconds, as text
    QString bootTime;
    int dataPort = 0;
    int httpPort = 0;
    int event = SEARCH_EVENT_NEW; // SearchEventKind, as the record brought it
    bool dhcpSwitch = false;
    int deviceActivated = 0;
    // An ONVIF camera's identity (its EndpointReference address) and the
    // device service address the window reaches it at; both empty for the
    // maker's devices. A camera whose MAC is unknown is listed under its
    // endpoint in `mac`, which then is no MAC to show.
    QString endpoint;
    QString xaddr;
    // The device's identity as CLorvexManage::GetIdentity reported it when
    // the event was handed over (LORVEX_IDENTITY_*, 0 unknown), and its key's
    // fingerprint; the row's mark shows them.
    int identity = 0;
    QString fingerprint;

    bool isCamera() const { return !endpoint.isEmpty(); }
    // The MAC to show: empty for a camera listed under its endpoint.
    QString shownMac() const { return isCamera() && mac == endpoint ? QString() : mac; }
};

// A new DevInfo holding every field of `info`, texts decoded as UTF-8 (each
// up to its field's first zero byte, never past the field) and softwareVer
// rewritten by BetaRuleVersion. The caller owns the result.
DevInfo* NewDevInfo(const SEARCH_INFO& info);

// A release build of a beta firmware: when `version` holds "beta" and all
// that follows its first occurrence is a decimal number of 128 or more, the
// text up to "beta" followed by "1"; otherwise `version` unchanged. So
// "V2.1beta130" gives "V2.11"; "V2.1beta12" and "V2.1beta130(x)" stay.
QString BetaRuleVersion(const QString& version);

// Copies the texts and the numbers a device-changed event brings into
// `target`, keeping its event kind.
void CopyDeviceFields(const DevInfo& source, DevInfo* target);
