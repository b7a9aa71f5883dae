#include "DevInfo.h"

#include <cstring>

namespace {

// A record's field is zero-terminated by contract; the bound keeps a
// record that breaks it from being read past its field.
template <size_t N> QString FieldText(const char (&field)[N]) {
    const void* end = std::memchr(field, '\0', N);
    const int length = end ? static_cast<int>(static_cast<const char*>(end) - field) : int(N);
    return QString::fromUtf8(field, length);
}

} // namespace

QString BetaRuleVersion(const QString& version) {
    const int at = version.indexOf(QLatin1String("beta"));
    if (at < 0)
        return version;
    bool ok = false;
    const int number = version.midRef(at + 4).toInt(&ok, 10);
    if (!ok || number < 128)
        return version;
    return version.left(at) + QLatin1Char('1');
}

DevInfo* NewDevInfo(const SEARCH_INFO& info) {
    DevInfo* d = new DevInfo;
    d->devName = FieldText(info.devName);
    d->ipAddr = FieldText(info.ipAddr);
    d->mask = FieldText(info.mask);
    d->ipAddr2 = FieldText(info.ipAddr2);
    d->route = FieldText(info.route);
    d->dns1 = FieldText(info.dns1);
    d->dns2 = FieldText(info.dns2);
    d->mac = FieldText(info.mac);
    d->productSeries = FieldText(info.productSeries);
    d->softwareVer = BetaRuleVersion(FieldText(info.softwareVer));
    d->softwareBulildDate = FieldText(info.softwareBulildDate);
    d->hardwareVer = FieldText(info.hardwareVer);
    d->kernelVer = FieldText(info.kernelVer);
    d->productModel = FieldText(info.productModel);
    d->runningTime = FieldText(info.runningTime);
    d->bootTime = FieldText(info.bootTime);
    d->dataPort = info.dataPort;
    d->httpPort = info.httpPort;
    d->event = info.event;
    d->dhcpSwitch = info.dhcpSwitch != 0;
    d->deviceActivated = info.deviceActivated;
    return d;
}

void CopyDeviceFields(const DevInfo& source, DevInfo* target) {
    const int event = target->event;
    *target = source;
    target->event = event;
}
