#include "DeviceColumns.h"

#include "DevInfo.h"
#include "DeviceRecord.h"
#include "LanguageSrc.h"

const DeviceColumn kDeviceColumns[kDeviceColumnCount] = {
    {"IDCS_DEVICE_NAME", 120, false},      {"IDCS_DEVICE_TYPE", 120, false},
    {"IDCS_PRODUCT_MODE", 110, false},     {"IDCS_IP_ADDRESS", 120, false},
    {"IDCS_HTTP_PORT", 80, false},         {"IDCS_DATA_PORT", 100, false},
    {"IDCS_SUBNET_MASK", 110, false},      {"IDCS_GATEWAY", 110, false},
    {"IDCS_SOFT_VERSION", 110, false},     {"IDCS_SOFT_CREATE_DATE", 130, false},
    {"IDCS_HARDWARE_VERSION", 110, false}, {"IDCS_MAC_ADDRESS", 125, false},
    {"IDCS_KERNEL_VERSION", 100, true},    {"IDCS_START_TIME", 160, true},
    {"IDCS_RUN_TIME", 180, true},          {"IDCS_DEVICE_ACTIVA_STATE", 100, false},
};

namespace {

// Each device type code with the language key of its text.
const char* const kTypes[][2] = {
    {"ZVK_IPC", "IDCS_ZVK_IPC"},
    {"ZVK_DVR", "IDCS_ZVK_DVR"},
    {"ZVK_NVR", "IDCS_ZVK_NVR"},
    {"ZVK_MDVR", "IDCS_ZVK_MDVR"},
    {"ZVK_STORAGE", "IDCS_ZVK_STORAGE"},
    {"ZVK_DECODER", "IDCS_ZVK_DECODER"},
    {"ZVK_NETKEYBOARD", "IDCS_ZVK_NETKEYBOARD"},
    {devicelist::kCameraTypeCode, "IDCS_ONVIF_CAMERA"},
};

} // namespace

QString deviceTypeText(const QString& code) {
    for (const auto& type : kTypes) {
        if (code == QLatin1String(type[0]))
            return GetText(type[1]);
    }
    return QString();
}

int deviceTypeColumnWidth(const QFontMetrics& metrics, int padding) {
    int width = kDeviceColumns[COL_TYPE].width;
    for (const auto& type : kTypes)
        width = qMax(width, metrics.horizontalAdvance(GetText(type[1])) + padding);
    return width;
}

int activationColumnWidth(const QFontMetrics& metrics, int padding) {
    int width = kDeviceColumns[COL_ACTIVATION].width;
    for (const char* key : {"IDCS_ACTIVATED", "IDCS_NONACTIVATED"})
        width = qMax(width, metrics.horizontalAdvance(GetText(key)) + padding);
    return width;
}

QString runTimeText(const QString& seconds) {
    bool ok = false;
    const qulonglong s = seconds.toULongLong(&ok, 10);
    if (!ok || s == 0)
        return QString();
    const qulonglong d = s / 86400, h = (s % 86400) / 3600, m = (s % 3600) / 60, c = s % 60;
    const QString D = GetText("IDCS_DAY"), H = GetText("IDCS_HOUR");
    const QString M = GetText("IDCS_MINUTE"), S = GetText("IDCS_SECOND");
    if (d != 0)
        return QStringLiteral("%1%2 %3%4 %5%6 %7%8")
            .arg(d)
            .arg(D)
            .arg(h)
            .arg(H)
            .arg(m)
            .arg(M)
            .arg(c)
            .arg(S);
    if (h != 0)
        return QStringLiteral("%1%2 %3%4 %5%6").arg(h).arg(H).arg(m).arg(M).arg(c).arg(S);
    if (m != 0)
        return QStringLiteral("%1%2 %3%4").arg(m).arg(M).arg(c).arg(S);
    return QStringLiteral("%1%2").arg(c).arg(S);
}

namespace {

QString activationText(int state) {
    if (state == 0)
        return GetText("IDCS_ACTIVATED");
    if (state == 1)
        return GetText("IDCS_NONACTIVATED");
    return QString();
}

} // namespace

QString deviceColumnText(const DevInfo& device, int column) {
    switch (column) {
    case 0:
        return device.devName;
    case 1:
        return deviceTypeText(device.productSeries);
    case 2:
        return device.productModel;
    case 3:
        return device.ipAddr;
    case 4:
        return device.isCamera() && device.httpPort == 0 ? QString()
                                                         : QString::number(device.httpPort);
    case 5: // a camera has no data port
        return device.isCamera() ? QString() : QString::number(device.dataPort);
    case 6:
        return device.mask;
    case 7:
        return device.route;
    case 8:
        return device.softwareVer;
    case 9:
        return device.softwareBulildDate;
    case 10:
        return device.hardwareVer;
    case 11:
        return device.shownMac();
    case 12:
        return device.kernelVer;
    case 13:
        return device.bootTime;
    case 14:
        return runTimeText(device.runningTime);
    case 15:
        return activationText(device.deviceActivated);
    default:
        return QString();
    }
}
