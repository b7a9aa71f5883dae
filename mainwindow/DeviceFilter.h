// The filter the device list is narrowed by, and the test each device meets
// as it arrives, changes or leaves.
#pragma once

#include <QString>

struct DevInfo;

// At most one filter is in force. The kind says which one, so that no bound
// value doubles as "no filter": an IP range may well end at 255.255.255.255.
struct DeviceFilter {
    enum Kind { None, Type, IpRange, PortRange };

    Kind kind = None;
    quint32 low = 0;  // first IPv4 value or data port of a range, inclusive
    quint32 high = 0; // last one, inclusive; below `low` nothing passes
    QString typeText; // the device-type text of a type filter
    // The find field's fragment, in force beside the kind's test; empty
    // finds every device.
    QString find;

    static DeviceFilter none() { return DeviceFilter(); }
    static DeviceFilter ofType(const QString& text);
    // Bounds as typed in the range menus; a text that is no value counts 0.
    static DeviceFilter ofIpRange(const QString& first, const QString& last);
    static DeviceFilter ofPortRange(const QString& first, const QString& last);

    // Whether `device` is shown under this filter: its type text, its IPv4
    // address or its data port (as unsigned), by the filter's own kind, and
    // the find fragment (see matchesFind).
    bool passes(const DevInfo& device) const;
    // Whether the device's name, IP address, MAC, model or type text
    // contains the trimmed fragment `find`, case aside; the MAC also with
    // its separators left out of both (":" and "-"; not ".", which would
    // let an IP fragment hit MAC digits). True when `find` is empty.
    bool matchesFind(const DevInfo& device) const;
    // Whether any filter narrows the list (a kind or a find fragment).
    bool narrows() const { return kind != None || !find.trimmed().isEmpty(); }
};

// a.b.c.d as a*2^24 + b*2^16 + c*2^8 + d; 0 for a text that is no IPv4
// address (blank, partly typed, out of range).
quint32 ipv4Value(const QString& text);

// A decimal unsigned number; 0 for a text that is no number.
quint32 portValue(const QString& text);
