#include "DeviceFilter.h"

#include "DevInfo.h"
#include "DeviceColumns.h"

#include <QHostAddress>

DeviceFilter DeviceFilter::ofType(const QString& text) {
    DeviceFilter filter;
    filter.kind = Type;
    filter.typeText = text;
    return filter;
}

DeviceFilter DeviceFilter::ofIpRange(const QString& first, const QString& last) {
    DeviceFilter filter;
    filter.kind = IpRange;
    filter.low = ipv4Value(first);
    filter.high = ipv4Value(last);
    return filter;
}

DeviceFilter DeviceFilter::ofPortRange(const QString& first, const QString& last) {
    DeviceFilter filter;
    filter.kind = PortRange;
    filter.low = portValue(first);
    filter.high = portValue(last);
    return filter;
}

namespace {

QString withoutMacSeparators(QString text) {
    return text.remove(QLatin1Char(':')).remove(QLatin1Char('-'));
}

} // namespace

bool DeviceFilter::matchesFind(const DevInfo& device) const {
    const QString fragment = find.trimmed();
    if (fragment.isEmpty())
        return true;
    const QString texts[] = {device.devName, device.ipAddr, device.mac, device.productModel,
                             deviceTypeText(device.productSeries)};
    for (const QString& text : texts) {
        if (text.contains(fragment, Qt::CaseInsensitive))
            return true;
    }
    const QString bare = withoutMacSeparators(fragment);
    return !bare.isEmpty() && withoutMacSeparators(device.mac).contains(bare, Qt::CaseInsensitive);
}

bool DeviceFilter::passes(const DevInfo& device) const {
    if (!matchesFind(device))
        return false;
    switch (kind) {
    case Type:
        return deviceTypeText(device.productSeries) == typeText;
    case IpRange: {
        const quint32 value = ipv4Value(device.ipAddr);
        return low <= value && value <= high;
    }
    case PortRange: {
        // A negative port read off the wire is a huge unsigned one: outside
        // any range typed into the menu.
        const quint32 value = static_cast<quint32>(device.dataPort);
        return low <= value && value <= high;
    }
    case None:
        break;
    }
    return true;
}

quint32 ipv4Value(const QString& text) {
    bool ok = false;
    const quint32 value = QHostAddress(text).toIPv4Address(&ok);
    return ok ? value : 0;
}

quint32 portValue(const QString& text) {
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    return ok ? value : 0;
}
