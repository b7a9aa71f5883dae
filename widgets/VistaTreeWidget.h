// The device list's tree widget in the dark skin.
#pragma once

#include <QTreeWidget>

// VistaTreeWidget is a flat tree (no indentation) with alternating dark row
// colours, whole-row single selection and rows painted by VistaDelegate with
// the skin's hover and selection images. When its header is a
// CheckBoxHeaderView, the header's section widgets follow horizontal
// scrolling and geometry updates. Only left double clicks count. Rows are
// painted active (selection in the active look) while the tree's window is
// the active window, wherever the keyboard focus is inside it, and while no
// window of the program is active. A cell whose text is cut shows the
// whole text in its tool tip (see VistaDelegate).
class VistaTreeWidget : public QTreeWidget {
    Q_OBJECT
public:
    explicit VistaTreeWidget(QWidget* parent = nullptr);
    // The model index of `item` in column 0, found from the item's cached
    // row (no walk over the rows); invalid when it is in no tree.
    QModelIndex indexOfItem(const QTreeWidgetItem* item) const { return indexFromItem(item); }

protected slots:
    void updateGeometries() override;

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void placeHeaderWidgets();
};
