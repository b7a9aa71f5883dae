// The skin (style sheet and images) is compiled into the static library
// `skin` as the resource folder ":/skin/". A resource inside a static
// library is only registered when something references it, so every
// program that links `skin` calls InitSkinResources() once, before the
// first use of a ":/skin/" path (start-up, before the style sheet is read;
// test and tool mains, before they build widgets).
#pragma once

// Registers the ":/skin/" resources with Qt. Safe to call more than once.
void InitSkinResources();

#include <QtGlobal>

class QPixmap;
class QString;

// The skin image at `path` (":/skin/NAME.png") as a pixmap for painting: on
// a screen scaled above 100 % (with AA_UseHighDpiPixmaps) its sharp
// "NAME@2x.png" form with device pixel ratio 2, else the image itself. The
// style sheet's url() images are chosen the same way by Qt. Needs a
// QGuiApplication.
QPixmap LoadSkinPixmap(const QString& path);

// A style sheet whose border-image slices of skin images ("url(:/skin/NAME.png)
// T R B L") count in the pixels of the image Qt will draw. On a screen scaled
// above 100 % Qt draws NAME@2x.png where the sheet names NAME.png, but reads
// the slices in that image's own pixels, so a strip of state cells would show
// the wrong cells; there every slice of an image with an "@2x" form is
// doubled. Slices of other images and the rest of the text stay as they are.
// SkinStyleSheet uses the application's device pixel ratio (needs a
// QGuiApplication); ScaleSkinSlices takes the ratio.
QString SkinStyleSheet(const QString& sheet);
QString ScaleSkinSlices(const QString& sheet, qreal ratio);
