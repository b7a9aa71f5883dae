// A header that carries widgets on its sections and keeps them in place.
#pragma once

#include <QHeaderView>
#include <QMap>

class QTreeWidget;

// CheckBoxHeaderView holds at most one widget per logical section, placed at
// the section's left (21 pixels in), centre or right end and vertically
// centred. The widgets follow when sections are resized, when the header is
// shown, and when the view scrolls or lays itself out (VistaTreeWidget asks).
class CheckBoxHeaderView : public QHeaderView {
    Q_OBJECT
public:
    enum Placement { PlaceLeft = 0, PlaceCenter = 1, PlaceRight = 2 };

    // `tree` is the view the header belongs to (may be null).
    explicit CheckBoxHeaderView(Qt::Orientation orientation, QWidget* parent = nullptr,
                                QTreeWidget* tree = nullptr);

    // Puts `widget` on logical `section` with `placement` and hides it;
    // showing it is the caller's. Refused (false) for a null widget, a
    // section outside 0 to count() - 1 or one that already has a widget.
    // The widget becomes a child of the header.
    bool setSectionWidget(int section, QWidget* widget, int placement);
    // The widget on `section`, or null.
    QWidget* sectionWidget(int section) const;
    // The x of a widget `widgetWidth` wide on a section at viewport position
    // `sectionPos` and `sectionSize` wide.
    static int sectionWidgetX(int sectionPos, int sectionSize, int widgetWidth, int placement);

public slots:
    // Moves every section widget over its section again.
    void placeSectionWidgets();
    // Re-places the widgets of logical `section` and of every later
    // section in visual order.
    void handleSectionResized(int section);

protected:
    void showEvent(QShowEvent* event) override;
    QTreeWidget* tree() const { return m_tree; }
    // The section widgets and their placements, by logical section.
    struct Entry {
        QWidget* widget;
        int placement;
    };
    const QMap<int, Entry>& sectionWidgets() const { return m_widgets; }

private:
    void placeSectionWidget(int logicalIndex);

    QMap<int, Entry> m_widgets;
    QTreeWidget* m_tree = nullptr;
};
