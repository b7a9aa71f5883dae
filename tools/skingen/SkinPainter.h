// Drawing helpers for the skin images: strips of equal frames and the
// glyphs the controls show, all in the dark look of the program.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <functional>

namespace skin {

// Frame order of every state strip, left to right.
enum Frame { Normal = 0, Hover = 1, Pressed = 2, Disabled = 3 };

// Paints one frame; `cell` is the frame's rectangle inside the strip.
using FramePainter = std::function<void(QPainter&, Frame, const QRectF& cell)>;

// The scale strip() and single() draw at: 1 for the images Qt uses on
// ordinary screens, 2 for their "@2x" forms, which Qt picks on screens scaled
// above 100 %. Geometry stays in the images' 1x pixels; the images come out
// `scale` times larger, with that device pixel ratio.
void setDrawScale(int scale);
int drawScale();

// A transparent image of `frames` cells of frameWidth x height side by
// side, each painted by `paint` with antialiasing on.
QImage strip(int frames, int frameWidth, int height, const FramePainter& paint);

// A single transparent image painted by `paint` over its whole rectangle.
QImage single(int width, int height, const std::function<void(QPainter&, const QRectF&)>& paint);

// A filled rounded rectangle with an optional 1-pixel border inside `rect`.
void roundedBox(QPainter& p, const QRectF& rect, qreal radius, const QColor& fill,
                const QColor& border = Qt::transparent);

// A chevron (two strokes meeting at a point) centred in `rect`, pointing
// down when `down`, else up; `width` x `height` is its extent.
void chevron(QPainter& p, const QRectF& rect, qreal width, qreal height, bool down,
             const QColor& color, qreal pen = 1.6);

// A check mark centred in `rect`, `size` pixels across.
void checkMark(QPainter& p, const QRectF& rect, qreal size, const QColor& color, qreal pen);

// Round badge with a vertical gradient from `light` to `dark` and a thin
// darker rim; the symbols below are drawn on top of it.
void badge(QPainter& p, const QRectF& rect, const QColor& light, const QColor& dark);

// The "i" of an information sign, the "!" of a warning, the "?" of a
// question and the cross of an error, centred in `rect`.
void infoGlyph(QPainter& p, const QRectF& rect, const QColor& color);
void exclamationGlyph(QPainter& p, const QRectF& rect, const QColor& color);
void questionGlyph(QPainter& p, const QRectF& rect, const QColor& color);
void crossGlyph(QPainter& p, const QRectF& rect, const QColor& color, qreal pen);

} // namespace skin
