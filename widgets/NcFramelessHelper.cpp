#include "NcFramelessHelper.h"

#include "FramelessGeometry.h"

#include <QEvent>
#include <QHash>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWidget>

class FramelessWidgetState;

namespace {
// Gives `widget` the frame rectangle `frame`, keeping its frame margins.
void setFrameGeometry(QWidget* widget, const QRect& frame) {
    const QRect inner = widget->geometry();
    const QRect outer = widget->frameGeometry();
    widget->setGeometry(frame.adjusted(inner.left() - outer.left(), inner.top() - outer.top(),
                                       inner.right() - outer.right(),
                                       inner.bottom() - outer.bottom()));
}
} // namespace

class NcFramelessHelperPrivate {
public:
    QHash<QWidget*, FramelessWidgetState*> registry;
    bool movable = true;
    bool resizable = true;
    bool rubberBandOnResize = false;
};

// What the helper knows about one attached window.
class FramelessWidgetState {
public:
    FramelessWidgetState(NcFramelessHelperPrivate* owner, QWidget* widget);
    ~FramelessWidgetState();

    void restore();
    void updateRubberBand();
    void handle(QEvent* event);

    QRubberBand* rubberBand() const { return m_rubberBand; }

private:
    void press(QMouseEvent* event);
    void release(QMouseEvent* event);
    void mouseMove(QMouseEvent* event);
    void leave();
    void resizeTo(const QPoint& globalPos);
    void updateCursor(const QPoint& globalPos);
    void unsetChangedCursor();

    NcFramelessHelperPrivate* m_owner;
    QRubberBand* m_rubberBand = nullptr;
    bool m_leftButtonPressed = false;
    QWidget* m_widget;
    QPoint m_dragOffset;
    EdgeHit m_pressedHit;
    EdgeHit m_hoverHit;
    bool m_cursorChanged = false;
    Qt::WindowFlags m_savedFlags;
    bool m_titlePressed = false;
};

FramelessWidgetState::FramelessWidgetState(NcFramelessHelperPrivate* owner, QWidget* widget)
    : m_owner(owner), m_widget(widget), m_savedFlags(widget->windowFlags()) {
    const bool visible = widget->isVisible();
    widget->setMouseTracking(true);
    // The one place a served window's flags are set: a top-level window
    // without a system frame that the task bar can still minimise. Changing
    // them hides the window; it is shown again below.
    widget->setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    widget->setAttribute(Qt::WA_Hover, true);
    updateRubberBand();
    if (visible)
        widget->setVisible(true);
}

FramelessWidgetState::~FramelessWidgetState() { delete m_rubberBand; }

void FramelessWidgetState::restore() {
    const bool visible = m_widget->isVisible();
    m_widget->setMouseTracking(false);
    m_widget->setWindowFlags(m_savedFlags);
    m_widget->setAttribute(Qt::WA_Hover, false);
    m_widget->setVisible(visible);
}

void FramelessWidgetState::updateRubberBand() {
    const bool wanted = m_owner->rubberBandOnResize;
    if (wanted && !m_rubberBand) {
        m_rubberBand = new QRubberBand(QRubberBand::Rectangle);
    } else if (!wanted && m_rubberBand) {
        delete m_rubberBand;
        m_rubberBand = nullptr;
    }
}

void FramelessWidgetState::handle(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        press(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::MouseButtonRelease:
        release(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::MouseMove:
        mouseMove(static_cast<QMouseEvent*>(event));
        break;
    case QEvent::HoverMove:
        if (m_owner->resizable)
            updateCursor(m_widget->mapToGlobal(static_cast<QHoverEvent*>(event)->pos()));
        break;
    case QEvent::Leave:
        leave();
        break;
    default:
        break;
    }
}

void FramelessWidgetState::press(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_leftButtonPressed = true;
    const QRect frame = m_widget->frameGeometry();
    m_pressedHit = edgeHitAt(event->globalPos(), frame);
    m_dragOffset = event->globalPos() - frame.topLeft();
    if (m_pressedHit.onEdge && m_owner->rubberBandOnResize && m_rubberBand) {
        m_rubberBand->setGeometry(frame);
        m_rubberBand->show();
    }
    m_titlePressed = moveStrip(m_widget->width()).contains(event->pos());
}

void FramelessWidgetState::release(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_leftButtonPressed = false;
    m_titlePressed = false;
    m_pressedHit = EdgeHit();
    if (m_rubberBand && m_rubberBand->isVisible()) {
        m_rubberBand->hide();
        setFrameGeometry(m_widget, m_rubberBand->geometry());
    }
}

void FramelessWidgetState::mouseMove(QMouseEvent* event) {
    if (!m_leftButtonPressed) {
        if (m_owner->resizable)
            updateCursor(event->globalPos());
        return;
    }
    if (m_owner->resizable && m_pressedHit.onEdge)
        resizeTo(event->globalPos());
    else if (m_owner->movable && m_titlePressed)
        m_widget->move(event->globalPos() - m_dragOffset);
}

void FramelessWidgetState::leave() {
    if (!m_leftButtonPressed) {
        m_widget->unsetCursor();
        m_cursorChanged = false;
    }
}

void FramelessWidgetState::resizeTo(const QPoint& globalPos) {
    // The outline is read and written as the same rectangle; the window as
    // its frame, so that a window manager's frame cannot make it creep.
    const bool onBand = m_owner->rubberBandOnResize && m_rubberBand;
    const QRect start = onBand ? m_rubberBand->geometry() : m_widget->frameGeometry();
    const QRect next = resizedFrame(start, m_pressedHit, globalPos, m_widget->minimumSize());
    if (next == start)
        return;
    if (onBand)
        m_rubberBand->setGeometry(next);
    else
        setFrameGeometry(m_widget, next);
}

void FramelessWidgetState::updateCursor(const QPoint& globalPos) {
    if (m_widget->isFullScreen() || m_widget->isMaximized()) {
        unsetChangedCursor();
        return;
    }
    m_hoverHit = edgeHitAt(globalPos, m_widget->frameGeometry());
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (resizeCursorFor(m_hoverHit, &shape)) {
        m_widget->setCursor(shape);
        m_cursorChanged = true;
    } else {
        unsetChangedCursor();
    }
}

void FramelessWidgetState::unsetChangedCursor() {
    if (!m_cursorChanged)
        return;
    m_widget->unsetCursor();
    m_cursorChanged = false;
}

NcFramelessHelper::NcFramelessHelper(QObject* parent)
    : QObject(parent), d(new NcFramelessHelperPrivate) {}

NcFramelessHelper::~NcFramelessHelper() {
    const QList<QWidget*> widgets = d->registry.keys();
    for (QWidget* widget : widgets)
        detach(widget);
    delete d;
}

void NcFramelessHelper::attach(QWidget* widget) {
    if (!widget || d->registry.contains(widget))
        return;
    d->registry.insert(widget, new FramelessWidgetState(d, widget));
    widget->installEventFilter(this);
    connect(widget, SIGNAL(destroyed(QObject*)), this, SLOT(slot_widgetDestroyed(QObject*)));
}

void NcFramelessHelper::detach(QWidget* widget) {
    FramelessWidgetState* state = d->registry.take(widget);
    if (!state)
        return;
    widget->removeEventFilter(this);
    disconnect(widget, SIGNAL(destroyed(QObject*)), this, SLOT(slot_widgetDestroyed(QObject*)));
    state->restore();
    delete state;
}

void NcFramelessHelper::setMovable(bool movable) { d->movable = movable; }

bool NcFramelessHelper::isMovable() const { return d->movable; }

void NcFramelessHelper::setResizable(bool resizable) { d->resizable = resizable; }

bool NcFramelessHelper::isResizable() const { return d->resizable; }

void NcFramelessHelper::setRubberBandOnResize(bool enabled) {
    d->rubberBandOnResize = enabled;
    for (FramelessWidgetState* state : qAsConst(d->registry))
        state->updateRubberBand();
}

bool NcFramelessHelper::rubberBandOnResize() const { return d->rubberBandOnResize; }

bool NcFramelessHelper::isAttached(QWidget* widget) const { return d->registry.contains(widget); }

QRubberBand* NcFramelessHelper::rubberBand(QWidget* widget) const {
    FramelessWidgetState* state = d->registry.value(widget);
    return state ? state->rubberBand() : nullptr;
}

void NcFramelessHelper::slot_widgetDestroyed(QObject* object) {
    // The widget is already half gone: compare addresses only.
    for (auto it = d->registry.begin(); it != d->registry.end(); ++it) {
        if (static_cast<QObject*>(it.key()) == object) {
            delete it.value();
            d->registry.erase(it);
            return;
        }
    }
}

bool NcFramelessHelper::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->isWidgetType())
        return false;
    FramelessWidgetState* state = d->registry.value(static_cast<QWidget*>(watched));
    if (state)
        state->handle(event);
    return false;
}
