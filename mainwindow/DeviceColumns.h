// The sixteen columns of the device tree and the texts their cells show.
#pragma once

#include <QFontMetrics>
#include <QString>

struct DevInfo;

// One column of the device tree, in logical order.
struct DeviceColumn {
    const char* key; // the language key of its header label
    int width;       // pixels
    bool hidden;     // at start
};

const int kDeviceColumnCount = 16;
// The columns 0 to 15: name, type, model, IP, HTTP port, data port, mask,
// gateway, software version and date, hardware version, MAC, kernel, start
// time, running time, activation. The window shows MAC and activation right
// after the gateway (see kDeviceColumnsShownFirst).
extern const DeviceColumn kDeviceColumns[kDeviceColumnCount];

// Column numbers the window refers to by name.
enum DeviceColumnIndex {
    COL_NAME = 0,
    COL_TYPE = 1,
    COL_IP = 3,
    COL_DATA_PORT = 5,
    COL_GATEWAY = 7,
    COL_SOFTWARE = 8,
    COL_MAC = 11,
    COL_ACTIVATION = 15
};

// The columns the window shows right after the gateway, before the
// versions, in this order: an installer tells devices apart by them, and
// a window as wide as a 1600-pixel screen shows them without scrolling
// sideways in every language.
const int kDeviceColumnsShownFirst[] = {COL_MAC, COL_ACTIVATION};

// The language text of a device type code ("ZVK_IPC" ... "ZVK_NETKEYBOARD",
// and kCameraTypeCode for an ONVIF camera; compared case-sensitively); the
// empty text for any other code.
QString deviceTypeText(const QString& code);

// The width of the device-type column: its given width, or more when the
// language's longest type text (with `padding` around it) needs more, so
// that no type name is cut.
int deviceTypeColumnWidth(const QFontMetrics& metrics, int padding);
// The same for the activation column and its two texts ("Не активировано").
int activationColumnWidth(const QFontMetrics& metrics, int padding);

// A running time in seconds (decimal text) as days, hours, minutes and
// seconds with the language's unit texts, leading zero parts left out
// ("1h 0m 0s"); the empty text for 0 or a text that is no number.
QString runTimeText(const QString& seconds);

// The text of column `column` for `device`. For the activation column, a
// null text when deviceActivated is neither 0 nor 1: the cell then keeps
// what it showed.
QString deviceColumnText(const DevInfo& device, int column);
