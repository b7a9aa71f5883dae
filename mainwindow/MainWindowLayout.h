// Where the main window puts its children: fixed rectangles computed from
// the window's size, as the frameless skin was drawn for.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

struct MainWindowLayout {
    QRect title;
    QRect minimise;
    QRect firstSeparator;
    QRect maximise;
    QRect secondSeparator;
    QRect close;
    QRect toolStrip;
    QRect refresh;
    QRect deviceBarToggle;
    QRect about;
    QRect find;
    QRect statusBar;
};

// The rectangles of a window `width` x `height` whose refresh button text is
// `refreshTextWidth` pixels wide in the button's font and whose About button
// needs `aboutWidthNeeded` pixels to show its text whole. The About button
// is 50 pixels wide, ending 20 pixels short of the right edge; a text too
// long for it (Russian) widens it to the left, and the device-bar toggle
// keeps its 4-pixel gap to it, so that no label is cut. The find field,
// 240 pixels wide, ends 12 pixels before the toggle.
MainWindowLayout mainWindowLayout(int width, int height, int refreshTextWidth,
                                  int aboutWidthNeeded = 0);

// The device tree's rectangle, with the control bar shown or hidden.
QRect deviceTreeRect(int width, int height, bool controlBarVisible);
// The control bar's rectangle while it is shown.
QRect controlBarRect(int width, int height);

// Whether a double click at `pos` lies on the title strip of a window
// `width` wide, where it maximises or restores the window.
bool inTitleStrip(const QPoint& pos, int width);

// The style sheet of a title button drawn from `image` under ":/skin/": three
// 22-pixel cells side by side (normal, hover, pressed) on no background.
QString titleButtonStyle(const char* image);
