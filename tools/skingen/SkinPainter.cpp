#include "SkinPainter.h"

#include <QLinearGradient>

namespace skin {
namespace {

int g_scale = 1;

// A transparent image of width x height 1x pixels at the drawing scale.
QImage canvas(int width, int height) {
    QImage image(width * g_scale, height * g_scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(g_scale);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

void setDrawScale(int scale) { g_scale = scale; }
int drawScale() { return g_scale; }

QImage strip(int frames, int frameWidth, int height, const FramePainter& paint) {
    QImage image = canvas(frames * frameWidth, height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < frames; ++i) {
        p.save();
        const QRectF cell(i * frameWidth, 0, frameWidth, height);
        p.setClipRect(cell);
        paint(p, static_cast<Frame>(i), cell);
        p.restore();
    }
    return image;
}

QImage single(int width, int height, const std::function<void(QPainter&, const QRectF&)>& paint) {
    QImage image = canvas(width, height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p, QRectF(0, 0, width, height));
    return image;
}

void roundedBox(QPainter& p, const QRectF& rect, qreal radius, const QColor& fill,
                const QColor& border) {
    p.save();
    if (border.alpha() == 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(rect, radius, radius);
    } else {
        // Half-pixel inset keeps a 1-pixel border on whole pixels.
        p.setPen(QPen(border, 1));
        p.setBrush(fill);
        p.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    }
    p.restore();
}

void chevron(QPainter& p, const QRectF& rect, qreal width, qreal height, bool down,
             const QColor& color, qreal pen) {
    const QPointF c = rect.center();
    const qreal tipY = down ? c.y() + height / 2 : c.y() - height / 2;
    const qreal armY = down ? c.y() - height / 2 : c.y() + height / 2;
    QPainterPath path;
    path.moveTo(c.x() - width / 2, armY);
    path.lineTo(c.x(), tipY);
    path.lineTo(c.x() + width / 2, armY);
    p.save();
    p.setPen(QPen(color, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.restore();
}

void checkMark(QPainter& p, const QRectF& rect, qreal size, const QColor& color, qreal pen) {
    const QPointF c = rect.center();
    const qreal s = size / 2;
    QPainterPath path;
    path.moveTo(c.x() - s, c.y());
    path.lineTo(c.x() - s * 0.3, c.y() + s * 0.7);
    path.lineTo(c.x() + s, c.y() - s * 0.65);
    p.save();
    p.setPen(QPen(color, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.restore();
}

void badge(QPainter& p, const QRectF& rect, const QColor& light, const QColor& dark) {
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0, light);
    gradient.setColorAt(1, dark);
    p.save();
    p.setPen(QPen(dark.darker(140), 1));
    p.setBrush(gradient);
    p.drawEllipse(rect.adjusted(0.5, 0.5, -0.5, -0.5));
    // A soft highlight on the upper half gives the badge some depth.
    QLinearGradient shine(rect.topLeft(), rect.center());
    shine.setColorAt(0, QColor(255, 255, 255, 70));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawEllipse(rect.adjusted(rect.width() * 0.12, rect.height() * 0.05, -rect.width() * 0.12,
                                -rect.height() * 0.45));
    p.restore();
}

void infoGlyph(QPainter& p, const QRectF& rect, const QColor& color) {
    const qreal u = rect.height() / 10;
    const QPointF c = rect.center();
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QPointF(c.x(), c.y() - 2.6 * u), 0.75 * u, 0.75 * u);
    p.drawRoundedRect(QRectF(c.x() - 0.65 * u, c.y() - 1.2 * u, 1.3 * u, 4.6 * u), 0.3 * u,
                      0.3 * u);
    p.restore();
}

void exclamationGlyph(QPainter& p, const QRectF& rect, const QColor& color) {
    const qreal u = rect.height() / 10;
    const QPointF c = rect.center();
    QPainterPath bar;
    bar.moveTo(c.x() - 0.8 * u, c.y() - 3.4 * u);
    bar.lineTo(c.x() + 0.8 * u, c.y() - 3.4 * u);
    bar.lineTo(c.x() + 0.45 * u, c.y() + 1.2 * u);
    bar.lineTo(c.x() - 0.45 * u, c.y() + 1.2 * u);
    bar.closeSubpath();
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(bar);
    p.drawEllipse(QPointF(c.x(), c.y() + 2.7 * u), 0.8 * u, 0.8 * u);
    p.restore();
}

void questionGlyph(QPainter& p, const QRectF& rect, const QColor& color) {
    const qreal u = rect.height() / 10;
    const QPointF c = rect.center();
    QPainterPath hook;
    const QRectF arc(c.x() - 2 * u, c.y() - 3.6 * u, 4 * u, 4 * u);
    hook.arcMoveTo(arc, 160);
    hook.arcTo(arc, 160, -250);
    hook.quadTo(QPointF(c.x(), c.y() + 0.2 * u), QPointF(c.x(), c.y() + 1.1 * u));
    p.save();
    p.setPen(QPen(color, 1.35 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QPointF(c.x(), c.y() + 2.9 * u), 0.8 * u, 0.8 * u);
    p.restore();
}

void crossGlyph(QPainter& p, const QRectF& rect, const QColor& color, qreal pen) {
    p.save();
    p.setPen(QPen(color, pen, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(rect.topLeft(), rect.bottomRight());
    p.drawLine(rect.topRight(), rect.bottomLeft());
    p.restore();
}

} // namespace skin
