// The geometry rules of moving and resizing a window without a system frame:
// which border band a point lies in, and the rectangle a border drag gives.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

// Width of the grip bands along a frameless window's borders, in pixels.
const int kFramelessBorderWidth = 5;

// Which border bands a point lies in. Corners are the overlap of two bands.
struct EdgeHit {
    bool onEdge = false;
    bool left = false;
    bool right = false;
    bool top = false;
    bool bottom = false;
    bool topLeft = false;
    bool bottomLeft = false;
    bool topRight = false;
    bool bottomRight = false;
};

// The bands that `globalPos` lies in against the frame rectangle `frame`
// (both in global coordinates). Each band is B + 1 pixels wide, B being
// kFramelessBorderWidth: left covers frame.x() to frame.x() + B, right
// covers x + width - B to x + width, so the right and bottom bands reach
// one pixel past the frame.
EdgeHit edgeHitAt(const QPoint& globalPos, const QRect& frame);

// The rectangle a border drag to `globalPos` gives, starting from `start`,
// for the bands of the press `pressed`. Corners move two edges, bands one.
// When the drag would invert the rectangle, `start` comes back unchanged.
// When it would go below `minimum`, the moved edge goes back to its start
// (for a left or top drag the far edge stays, so the window never crawls).
QRect resizedFrame(const QRect& start, const EdgeHit& pressed, const QPoint& globalPos,
                   const QSize& minimum);

// The resize cursor for the bands of `hit`, corners before edges; false when
// the point lies in no band.
bool resizeCursorFor(const EdgeHit& hit, Qt::CursorShape* shape);

// The strip a press must fall into to move the window: 5 pixels in from the
// borders, 50 pixels high, for a window `width` wide (local coordinates).
QRect moveStrip(int width);
