#include "AppIcon.h"

#include "SkinPainter.h"

#include <QLinearGradient>
#include <QRadialGradient>

namespace skin {
namespace {

// Drawn on a 256-unit square; scaled to the image.
const qreal kUnits = 256;
const QPointF kLensCentre(108, 148);

void tile(QPainter& p) {
    QLinearGradient fill(0, 0, kUnits, kUnits);
    fill.setColorAt(0, QColor(0, 160, 184));
    fill.setColorAt(1, QColor(14, 58, 100));
    p.setPen(QPen(QColor(56, 145, 180), 4));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(6, 6, kUnits - 12, kUnits - 12), 48, 48);
}

// The camera body under the lens: a dark rounded block with a small
// status light, as on the maker's box cameras.
void body(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(19, 20, 24, 210));
    p.drawRoundedRect(QRectF(30, 88, 156, 120), 22, 22);
    p.setBrush(QColor(0, 214, 160));
    p.drawEllipse(QPointF(164, 110), 7, 7);
}

void lens(QPainter& p, bool small) {
    p.setPen(QPen(QColor(255, 255, 255, 235), small ? 14 : 10));
    p.setBrush(QColor(26, 27, 31));
    p.drawEllipse(kLensCentre, 60, 60);
    QRadialGradient glass(kLensCentre - QPointF(12, 12), 44);
    glass.setColorAt(0, QColor(120, 220, 240));
    glass.setColorAt(1, QColor(8, 40, 70));
    p.setPen(QPen(QColor(8, 30, 52), 4));
    p.setBrush(glass);
    p.drawEllipse(kLensCentre, 38, 38);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(kLensCentre + QPointF(-16, -16), 10, 10);
}

// Quarter arcs around the top right corner of the body: the search going
// out over the network.
void waves(QPainter& p, bool small) {
    const QPointF origin(168, 88);
    const int count = small ? 2 : 3;
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < count; ++i) {
        const qreal r = 30 + i * (small ? 30 : 24);
        p.setPen(QPen(QColor(240, 240, 240, 235 - i * 40), small ? 14 : 10, Qt::SolidLine,
                      Qt::RoundCap));
        p.drawArc(QRectF(origin.x() - r, origin.y() - r, 2 * r, 2 * r), 0, 90 * 16);
    }
}

} // namespace

const std::vector<IconImage>& appIcons() {
    static const std::vector<IconImage> icons = [] {
        std::vector<IconImage> all;
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
            all.push_back({QStringLiteral("lorvex-%1.png").arg(size), size});
        return all;
    }();
    return icons;
}

QImage appIcon(int size) {
    return single(size, size, [size](QPainter& p, const QRectF&) {
        const bool small = size < 64;
        p.scale(size / kUnits, size / kUnits);
        tile(p);
        body(p);
        lens(p, small);
        waves(p, small);
    });
}

} // namespace skin
