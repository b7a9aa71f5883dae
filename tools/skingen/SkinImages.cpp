#include "SkinImages.h"

#include "SkinPainter.h"

#include <QLinearGradient>
#include <QRadialGradient>

namespace skin {
namespace {

// The palette of the dark look, shared with the style sheet.
const QColor kAccent(0, 134, 156);
const QColor kAccentBorder(56, 145, 180);
const QColor kFieldBase(19, 20, 24);
const QColor kFieldBorder(103, 111, 116);
const QColor kDisabledBase(28, 29, 30);
const QColor kDisabledBorder(45, 47, 49);
const QColor kGlyph(172, 174, 178);
const QColor kGlyphHover(240, 240, 240);
const QColor kGlyphDisabled(62, 65, 69);

QColor glyphFor(Frame f) {
    switch (f) {
    case Hover:
        return kGlyphHover;
    case Pressed:
        return QColor(205, 205, 205);
    case Disabled:
        return kGlyphDisabled;
    default:
        return kGlyph;
    }
}

// --- title buttons: three 22-pixel cells, normal, hover, pressed ----------

enum class TitleGlyph { Minimise, Maximise, Restore, Close };

void titleBackground(QPainter& p, Frame f, const QRectF& c, bool close) {
    if (f == Hover) {
        roundedBox(p, c.adjusted(1, 1, -1, -1), 2,
                   close ? QColor(196, 43, 28) : QColor(72, 78, 86));
    } else if (f == Pressed) {
        roundedBox(p, c.adjusted(1, 1, -1, -1), 2,
                   close ? QColor(140, 30, 22) : QColor(44, 48, 54));
    }
}

void titleGlyph(QPainter& p, const QRectF& c, TitleGlyph g, const QColor& color) {
    const qreal x = c.x();
    p.setPen(QPen(color, 1));
    p.setBrush(Qt::NoBrush);
    switch (g) {
    case TitleGlyph::Minimise:
        p.fillRect(QRectF(x + 6, 14, 10, 1.4), color);
        break;
    case TitleGlyph::Maximise:
        p.drawRect(QRectF(x + 6.5, 6.5, 9, 9));
        p.drawLine(QPointF(x + 6.5, 7.5), QPointF(x + 15.5, 7.5));
        break;
    case TitleGlyph::Restore:
        p.drawRect(QRectF(x + 5.5, 8.5, 8, 8));
        p.drawPolyline(
            QPolygonF({QPointF(x + 8.5, 8.5), QPointF(x + 8.5, 5.5), QPointF(x + 16.5, 5.5),
                       QPointF(x + 16.5, 13.5), QPointF(x + 13.5, 13.5)}));
        break;
    case TitleGlyph::Close:
        crossGlyph(p, QRectF(x + 7, 7, 8, 8), color, 1.4);
        break;
    }
}

QImage titleButton(TitleGlyph g) {
    return strip(3, 22, 22, [g](QPainter& p, Frame f, const QRectF& c) {
        titleBackground(p, f, c, g == TitleGlyph::Close);
        titleGlyph(p, c, g, glyphFor(f));
    });
}

// --- window frame pieces: 2-pixel edges, outer line and inner shade --------

const QColor kFrameOuter(70, 75, 82);
const QColor kFrameInner(26, 27, 31);

QImage edge(int w, int h, bool outerFirst, bool horizontal) {
    return single(w, h, [=](QPainter& p, const QRectF& r) {
        const QRectF firstLine = horizontal ? QRectF(0, 0, r.width(), 1) : QRectF(0, 0, 1, r.height());
        p.fillRect(r, outerFirst ? kFrameInner : kFrameOuter);
        p.fillRect(firstLine, outerFirst ? kFrameOuter : kFrameInner);
    });
}

// A rounded corner of the frame; `flipX`/`flipY` mirror the top-left form.
QImage corner(int size, qreal radius, bool flipX, bool flipY) {
    return single(size, size, [=](QPainter& p, const QRectF&) {
        p.translate(flipX ? size : 0, flipY ? size : 0);
        p.scale(flipX ? -1 : 1, flipY ? -1 : 1);
        const QRectF outer(0.5, 0.5, size * 3, size * 3);
        p.setPen(QPen(kFrameOuter, 1));
        p.setBrush(Qt::black);
        p.drawRoundedRect(outer, radius, radius);
        p.setPen(QPen(kFrameInner, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(outer.adjusted(1, 1, 0, 0), radius - 1, radius - 1);
    });
}

// --- section arrows of the control bar: three 11 x 8 cells ---------------

QImage sectionArrow(bool down) {
    return strip(3, 11, 8, [down](QPainter& p, Frame f, const QRectF& c) {
        const QColor color = f == Hover     ? kGlyphHover
                             : f == Pressed ? kAccentBorder
                                            : QColor(150, 153, 158);
        chevron(p, c, 7, 3.5, down, color, 1.5);
    });
}

// --- signs -----------------------------------------------------------------

QImage infoSign(int size) {
    return single(size, size, [](QPainter& p, const QRectF& r) {
        const QRectF circle = r.adjusted(1, 1, -1, -1);
        badge(p, circle, QColor(78, 170, 220), QColor(18, 96, 156));
        infoGlyph(p, circle, Qt::white);
    });
}

QImage errorSign() {
    return single(50, 50, [](QPainter& p, const QRectF& r) {
        const QRectF circle = r.adjusted(3, 3, -3, -3);
        badge(p, circle, QColor(236, 92, 80), QColor(164, 30, 24));
        crossGlyph(p, circle.adjusted(14, 14, -14, -14), Qt::white, 4);
    });
}

QImage questionSign() {
    return single(50, 50, [](QPainter& p, const QRectF& r) {
        const QRectF circle = r.adjusted(3, 3, -3, -3);
        badge(p, circle, QColor(60, 190, 180), QColor(0, 110, 118));
        questionGlyph(p, circle, Qt::white);
    });
}

QImage warningSign() {
    return single(50, 50, [](QPainter& p, const QRectF&) {
        QPainterPath triangle;
        triangle.moveTo(25, 5);
        triangle.lineTo(46, 43);
        triangle.lineTo(4, 43);
        triangle.closeSubpath();
        QLinearGradient gradient(0, 5, 0, 43);
        gradient.setColorAt(0, QColor(255, 206, 84));
        gradient.setColorAt(1, QColor(226, 142, 18));
        p.setPen(QPen(QColor(168, 100, 8), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(gradient);
        p.drawPath(triangle);
        exclamationGlyph(p, QRectF(15, 16, 20, 26), QColor(70, 44, 6));
    });
}

// The maker's mark: a lens in a rounded tile.
QImage logo() {
    return single(40, 40, [](QPainter& p, const QRectF& r) {
        QLinearGradient tile(r.topLeft(), r.bottomRight());
        tile.setColorAt(0, QColor(0, 160, 184));
        tile.setColorAt(1, QColor(14, 58, 100));
        p.setPen(Qt::NoPen);
        p.setBrush(tile);
        p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 8, 8);
        const QPointF c = r.center();
        p.setPen(QPen(QColor(255, 255, 255, 235), 2.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, 12, 12);
        QRadialGradient glass(c - QPointF(2, 2), 8);
        glass.setColorAt(0, QColor(120, 220, 240));
        glass.setColorAt(1, QColor(8, 40, 70));
        p.setPen(QPen(QColor(8, 30, 52), 1));
        p.setBrush(glass);
        p.drawEllipse(c, 7.5, 7.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 200));
        p.drawEllipse(c + QPointF(-3, -3), 1.8, 1.8);
    });
}

// --- device-bar toggle: a window with its side panel shown or hidden -------

QImage sidePanelToggle(bool open) {
    return single(18, 18, [open](QPainter& p, const QRectF&) {
        const QColor line(196, 198, 202);
        p.setPen(QPen(line, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(1.5, 2.5, 15, 13), 1.5, 1.5);
        p.drawLine(QPointF(11.5, 3), QPointF(11.5, 15));
        if (open) {
            p.fillRect(QRectF(12, 3, 4, 12), QColor(0, 160, 184));
        }
        // The arrow says what a click does: push the panel out or pull it in.
        QPainterPath arrow;
        const qreal dir = open ? 1 : -1;
        arrow.moveTo(6.5 - dir * 1.5, 6);
        arrow.lineTo(6.5 + dir * 1.5, 9);
        arrow.lineTo(6.5 - dir * 1.5, 12);
        p.setPen(QPen(line, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(arrow);
    });
}

// --- check boxes: four 26-pixel frames, normal, hover, pressed, disabled ----

QImage checkBox(bool checked) {
    return strip(4, 26, 26, [checked](QPainter& p, Frame f, const QRectF& c) {
        const QRectF box(c.x() + 4, 4, 18, 18);
        QColor fill = kFieldBase;
        QColor border = kFieldBorder;
        if (checked) {
            fill = f == Hover ? QColor(0, 156, 180) : f == Pressed ? QColor(0, 104, 122) : kAccent;
            border = f == Hover ? QColor(96, 182, 214) : kAccentBorder;
        } else if (f == Hover) {
            border = kAccentBorder;
        } else if (f == Pressed) {
            fill = QColor(0, 40, 48);
            border = kAccentBorder;
        }
        if (f == Disabled) {
            fill = checked ? kDisabledBorder : kDisabledBase;
            border = kDisabledBorder;
        }
        roundedBox(p, box, 3, fill, border);
        if (checked) {
            checkMark(p, box, 10, f == Disabled ? QColor(96, 99, 103) : Qt::white, 2);
        }
    });
}

// --- menu marks ------------------------------------------------------------

QImage menuCheck() {
    return single(18, 18, [](QPainter& p, const QRectF& r) {
        checkMark(p, r, 10, QColor(226, 226, 226), 1.8);
    });
}

QImage menuRightArrow() {
    return single(12, 12, [](QPainter& p, const QRectF&) {
        QPainterPath path;
        path.moveTo(4.5, 2.5);
        path.lineTo(8, 6);
        path.lineTo(4.5, 9.5);
        p.setPen(QPen(QColor(193, 193, 193), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
    });
}

QImage smallArrow(int w, int h, bool down, const QColor& color) {
    return single(
        w, h, [=](QPainter& p, const QRectF& r) { chevron(p, r, w - 3, h - 3, down, color, 1.4); });
}

// --- header filter button: three frames of 32 x 33 -------------------------

void funnel(QPainter& p, const QRectF& c, const QColor& color) {
    const QPointF m = c.center();
    QPainterPath path;
    path.moveTo(m.x() - 5.5, m.y() - 4.5);
    path.lineTo(m.x() + 5.5, m.y() - 4.5);
    path.lineTo(m.x() + 1.2, m.y() + 0.5);
    path.lineTo(m.x() + 1.2, m.y() + 4.5);
    path.lineTo(m.x() - 1.2, m.y() + 5.8);
    path.lineTo(m.x() - 1.2, m.y() + 0.5);
    path.closeSubpath();
    p.setPen(QPen(color, 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(color.red(), color.green(), color.blue(), 90));
    p.drawPath(path);
}

QImage headerButton() {
    return strip(3, 32, 33, [](QPainter& p, Frame f, const QRectF& c) {
        const QRectF pad = c.adjusted(6, 7, -6, -7);
        if (f == Hover) {
            roundedBox(p, pad, 3, QColor(255, 255, 255, 22));
        } else if (f == Pressed) {
            roundedBox(p, pad, 3, QColor(0, 0, 0, 80));
        }
        const QColor color = f == Hover     ? kGlyphHover
                             : f == Pressed ? kAccentBorder
                                            : QColor(150, 154, 160);
        funnel(p, c, color);
    });
}

// --- tree row pieces: 14 x 36, caps rounded, middle flat -------------------

struct RowLook {
    QColor top, bottom, border;
};

// Draws a 40-pixel-wide rounded bar shifted so that the 14-pixel image shows
// its left end (offset 0), its flat middle (offset -13) or its right end
// (offset -26).
QImage rowPiece(const RowLook& look, qreal offset) {
    return single(14, 36, [=](QPainter& p, const QRectF&) {
        QLinearGradient gradient(0, 0, 0, 36);
        gradient.setColorAt(0, look.top);
        gradient.setColorAt(1, look.bottom);
        p.setPen(QPen(look.border, 1));
        p.setBrush(gradient);
        p.drawRoundedRect(QRectF(offset + 0.5, 0.5, 39, 35), 4, 4);
    });
}

const RowLook kSelected{QColor(0, 128, 150), QColor(0, 96, 116), kAccentBorder};
const RowLook kSelectedInactive{QColor(64, 69, 76), QColor(50, 54, 60), QColor(90, 96, 104)};
const RowLook kHover{QColor(80, 150, 180, 46), QColor(56, 120, 150, 34), QColor(56, 145, 180, 150)};

// --- scroll bars -----------------------------------------------------------

enum class Direction { Up, Down, Left, Right };

void scrollArrowGlyph(QPainter& p, const QRectF& c, Direction d, const QColor& color) {
    p.save();
    p.translate(c.center());
    const qreal turn[] = {0, 180, -90, 90};
    p.rotate(turn[static_cast<int>(d)]);
    chevron(p, QRectF(-9, -9, 18, 18), 7, 3.5, false, color, 1.5);
    p.restore();
}

QImage scrollArrow(Direction d) {
    return strip(4, 18, 18, [d](QPainter& p, Frame f, const QRectF& c) {
        if (f == Hover) {
            roundedBox(p, c.adjusted(1, 1, -1, -1), 2, QColor(57, 62, 66));
        } else if (f == Pressed) {
            roundedBox(p, c.adjusted(1, 1, -1, -1), 2, QColor(44, 47, 50));
        }
        const QColor color = f == Normal ? QColor(130, 135, 140) : glyphFor(f);
        scrollArrowGlyph(p, c, d, color);
    });
}

// Three grip ridges across the handle.
QImage scrollGrip(bool vertical) {
    const int w = vertical ? 8 : 7;
    const int h = vertical ? 7 : 8;
    return single(w, h, [vertical](QPainter& p, const QRectF&) {
        for (int i = 0; i < 3; ++i) {
            const QRectF ridge = vertical ? QRectF(0, i * 3, 8, 1) : QRectF(i * 3, 0, 1, 8);
            p.fillRect(ridge, QColor(128, 135, 140));
        }
    });
}

} // namespace

const std::vector<SkinImage>& catalogue() {
    static const std::vector<SkinImage> images = {
        {"min.png", [] { return titleButton(TitleGlyph::Minimise); }},
        {"max.png", [] { return titleButton(TitleGlyph::Maximise); }},
        {"normal.png", [] { return titleButton(TitleGlyph::Restore); }},
        {"close.png", [] { return titleButton(TitleGlyph::Close); }},
        {"top_mid.png", [] { return edge(7, 2, true, true); }},
        {"bottom_mid.png", [] { return edge(7, 2, false, true); }},
        {"left_mid.png", [] { return edge(2, 7, true, false); }},
        {"right_mid.png", [] { return edge(2, 8, false, false); }},
        {"left_top.png", [] { return corner(7, 5, false, false); }},
        {"right_top.png", [] { return corner(7, 5, true, false); }},
        {"left_bottom.png", [] { return corner(3, 2, false, true); }},
        {"right_bottom.png", [] { return corner(3, 2, true, true); }},
        {"collapse.png", [] { return sectionArrow(false); }},
        {"expand.png", [] { return sectionArrow(true); }},
        {"info.png", [] { return infoSign(26); }},
        {"Information.png", [] { return infoSign(50); }},
        {"Warning.png", warningSign},
        {"Error.png", errorSign},
        {"Question.png", questionSign},
        {"Zemtravon_logo.png", logo},
        {"divide_open.png", [] { return sidePanelToggle(true); }},
        {"divide_close.png", [] { return sidePanelToggle(false); }},
        {"ckb_unchecked.png", [] { return checkBox(false); }},
        {"ckb_checked.png", [] { return checkBox(true); }},
        {"menu_check.png", menuCheck},
        {"menu_right_arrow.png", menuRightArrow},
        {"down_arrow.png", [] { return smallArrow(11, 7, true, QColor(170, 174, 180)); }},
        {"up_arrow.png", [] { return smallArrow(11, 7, false, QColor(170, 174, 180)); }},
        {"menu_indicator.png", headerButton},
        {"combox_arrow.png", [] { return smallArrow(10, 6, true, QColor(196, 198, 202)); }},
        {"spin_up.png", [] { return smallArrow(9, 6, false, QColor(172, 174, 178)); }},
        {"spin_down.png", [] { return smallArrow(9, 6, true, QColor(172, 174, 178)); }},
        {"tree_selected_l.png", [] { return rowPiece(kSelected, 0); }},
        {"tree_selected_m.png", [] { return rowPiece(kSelected, -13); }},
        {"tree_selected_r.png", [] { return rowPiece(kSelected, -26); }},
        {"tree_selected_!active_l.png", [] { return rowPiece(kSelectedInactive, 0); }},
        {"tree_selected_!active_m.png", [] { return rowPiece(kSelectedInactive, -13); }},
        {"tree_selected_!active_r.png", [] { return rowPiece(kSelectedInactive, -26); }},
        {"tree_hover_l.png", [] { return rowPiece(kHover, 0); }},
        {"tree_hover_m.png", [] { return rowPiece(kHover, -13); }},
        {"tree_hover_r.png", [] { return rowPiece(kHover, -26); }},
        {"scroll_up.png", [] { return scrollArrow(Direction::Up); }},
        {"scroll_down.png", [] { return scrollArrow(Direction::Down); }},
        {"scroll_left.png", [] { return scrollArrow(Direction::Left); }},
        {"scroll_right.png", [] { return scrollArrow(Direction::Right); }},
        {"scroll_handle_v.png", [] { return scrollGrip(true); }},
        {"scroll_handle_h.png", [] { return scrollGrip(false); }},
    };
    return images;
}

} // namespace skin
