#include "FramelessGeometry.h"

EdgeHit edgeHitAt(const QPoint& globalPos, const QRect& frame) {
    const int b = kFramelessBorderWidth;
    const int x = globalPos.x();
    const int y = globalPos.y();
    const int left = frame.x();
    const int top = frame.y();
    EdgeHit hit;
    hit.left = left <= x && x <= left + b;
    hit.right = left + frame.width() - b <= x && x <= left + frame.width();
    hit.top = top <= y && y <= top + b;
    hit.bottom = top + frame.height() - b <= y && y <= top + frame.height();
    hit.topLeft = hit.top && hit.left;
    hit.bottomLeft = hit.bottom && hit.left;
    hit.topRight = hit.top && hit.right;
    hit.bottomRight = hit.bottom && hit.right;
    hit.onEdge = hit.left || hit.right || hit.top || hit.bottom;
    return hit;
}

namespace {
void moveEdges(QRect& r, const EdgeHit& hit, const QPoint& p) {
    if (hit.topLeft) {
        r.setLeft(p.x());
        r.setTop(p.y());
    } else if (hit.bottomLeft) {
        r.setLeft(p.x());
        r.setBottom(p.y());
    } else if (hit.topRight) {
        r.setRight(p.x());
        r.setTop(p.y());
    } else if (hit.bottomRight) {
        r.setRight(p.x());
        r.setBottom(p.y());
    } else if (hit.left) {
        r.setLeft(p.x());
    } else if (hit.right) {
        r.setRight(p.x());
    } else if (hit.top) {
        r.setTop(p.y());
    } else if (hit.bottom) {
        r.setBottom(p.y());
    }
}

void keepMinimum(QRect& r, const QRect& start, const QSize& minimum) {
    if (minimum.width() > r.right() - r.left() + 1) {
        if (r.left() == start.left())
            r.setRight(start.right());
        else
            r.setLeft(start.left());
    }
    if (minimum.height() > r.bottom() - r.top() + 1) {
        if (r.top() == start.top())
            r.setBottom(start.bottom());
        else
            r.setTop(start.top());
    }
}
} // namespace

QRect resizedFrame(const QRect& start, const EdgeHit& pressed, const QPoint& globalPos,
                   const QSize& minimum) {
    QRect r = start;
    moveEdges(r, pressed, globalPos);
    if (r.left() > r.right() || r.top() > r.bottom())
        return start;
    keepMinimum(r, start, minimum);
    return r;
}

bool resizeCursorFor(const EdgeHit& hit, Qt::CursorShape* shape) {
    if (hit.topLeft || hit.bottomRight)
        *shape = Qt::SizeFDiagCursor;
    else if (hit.topRight || hit.bottomLeft)
        *shape = Qt::SizeBDiagCursor;
    else if (hit.left || hit.right)
        *shape = Qt::SizeHorCursor;
    else if (hit.top || hit.bottom)
        *shape = Qt::SizeVerCursor;
    else
        return false;
    return true;
}

QRect moveStrip(int width) { return QRect(5, 5, width - 10, 50); }
