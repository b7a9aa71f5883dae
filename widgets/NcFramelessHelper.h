// Moving and resizing a window that has no system frame.
#pragma once

#include <QObject>

class QRubberBand;
class QWidget;
class NcFramelessHelperPrivate;

// NcFramelessHelper gives frameless windows the behaviour of framed ones:
// dragging the top strip (5 pixels in from the borders, 50 high) moves the
// window, dragging a border band (kFramelessBorderWidth) or corner resizes
// it, and the pointer shows the matching resize cursor over the bands. With
// the rubber band on resize, a drag moves an outline and the window takes
// it at the left-button release. It serves as an event filter on the
// windows it is attached to and never consumes an event.
class NcFramelessHelper : public QObject {
    Q_OBJECT
public:
    explicit NcFramelessHelper(QObject* parent = nullptr);
    // Detaches every window still attached.
    ~NcFramelessHelper() override;

    // Starts serving `widget`: its window flags become exactly a window,
    // frameless, with a minimise button (the former ones are kept for detach), mouse
    // tracking and hover events are switched on, visibility is kept. No-op
    // when already attached.
    void attach(QWidget* widget);
    // Stops serving `widget` and restores its former flags, tracking, hover
    // and visibility. No-op when not attached.
    void detach(QWidget* widget);

    void setMovable(bool movable);
    bool isMovable() const;
    void setResizable(bool resizable);
    bool isResizable() const;
    // Creates or drops the rubber band of every attached window to match.
    void setRubberBandOnResize(bool enabled);
    bool rubberBandOnResize() const;

    bool isAttached(QWidget* widget) const;
    // The outline shown while resizing `widget`, or null without one.
    QRubberBand* rubberBand(QWidget* widget) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    // A window destroyed while attached leaves the registry without being
    // touched again.
    void slot_widgetDestroyed(QObject* object);

private:
    NcFramelessHelperPrivate* d;
};
