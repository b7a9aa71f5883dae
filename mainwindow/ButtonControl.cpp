#include "ButtonControl.h"

#include "SkinResources.h"

#include <QMouseEvent>
#include <QResizeEvent>

namespace {

const char kOpenArrow[] = ":/skin/collapse.png";
const char kClosedArrow[] = ":/skin/expand.png";

QString arrowFor(bool expanded) { return QLatin1String(expanded ? kOpenArrow : kClosedArrow); }

// The strip's background per state; the top and bottom border stay.
QString stripSheet(const char* background) {
    return QStringLiteral(" ButtonControl { background-color: %1; border: 1px solid "
                          "rgb(78,83,90); border-left: none; border-right: none; }")
        .arg(QLatin1String(background));
}

const char* const kBackgrounds[] = {"rgb(43,44,49)", "rgb(75,80,84)", "rgb(37,38,44)"};
// Border-image slices that cut the normal, hover or pressed cell out of the
// arrow image.
const char* const kSlices[] = {"0 22 0 0", "0 11 0 11", "0 0 0 22"};

} // namespace

ButtonControl::ButtonControl(const QString& title, QWidget* parent) : ZVKLabel(parent) {
    m_text = new ZVKLabel(title, this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setStyleSheet(QStringLiteral(" ZVKLabel { font: 15px; color: rgb(205,205,205);} "));
    m_arrow = new ZVKLabel(this);
    showState(Normal);
}

void ButtonControl::setExpanded(bool expanded) {
    m_expanded = expanded;
    showArrow(Hover);
}

QString ButtonControl::arrowImage() const { return arrowFor(m_expanded); }

QString ButtonControl::arrowSheet() const { return m_arrow->styleSheet(); }

void ButtonControl::showArrow(Cell cell) {
    m_arrow->setStyleSheet(SkinStyleSheet(QStringLiteral(" ZVKLabel { border-image: url(%1) %2; }")
                                              .arg(arrowImage(), QLatin1String(kSlices[cell]))));
}

void ButtonControl::showState(Cell cell) {
    showArrow(cell);
    setStyleSheet(stripSheet(kBackgrounds[cell]));
}

void ButtonControl::resizeEvent(QResizeEvent* event) {
    ZVKLabel::resizeEvent(event);
    const int w = width();
    const int h = height();
    m_text->setGeometry(17, 0, w - 47, h);
    m_arrow->setGeometry(w - 30, (h - 8) / 2 + 2, 11, 8);
}

void ButtonControl::enterEvent(QEvent* event) {
    ZVKLabel::enterEvent(event);
    showState(Hover);
}

void ButtonControl::leaveEvent(QEvent* event) {
    ZVKLabel::leaveEvent(event);
    showState(Normal);
}

void ButtonControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        showState(Pressed);
    ZVKLabel::mousePressEvent(event);
}

// Only a release inside the strip completes a click: an installer who
// presses and then moves away has changed his mind.
void ButtonControl::mouseReleaseEvent(QMouseEvent* event) {
    ZVKLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->pos()))
        return;
    m_expanded = !m_expanded;
    showState(Hover);
    emit clicked(m_expanded);
}
