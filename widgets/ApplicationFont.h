// The application font: the family the whole toolkit is laid out for, and
// the faces that stand in for it on this desktop.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

// The family every widget asks for. The toolkit's widths were laid out for
// this narrow CJK-capable face.
extern const char* const kApplicationFontFamily;
// The pixel size of the application font.
const int kApplicationFontPixelSize = 13;

// The installed families that stand in for kApplicationFontFamily, in order
// of preference (WenQuanYi Micro Hei, then Noto Sans CJK). Never empty.
QStringList ApplicationFontSubstitutes();

// Maps kApplicationFontFamily to its substitutes for every QFont of the
// process, so that Chinese device names and language texts render as text
// and the widths match the face the layout expects. Idempotent. Needs a
// QGuiApplication.
void InstallApplicationFontSubstitutes();

// kApplicationFontFamily at kApplicationFontPixelSize.
QFont ApplicationFont();
