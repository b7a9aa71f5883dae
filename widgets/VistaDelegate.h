// The tree's item delegate: skin images for hover and selection.
#pragma once

#include <QPixmap>
#include <QRect>
#include <QStyledItemDelegate>

class QTreeView;

// VistaDelegate paints each cell's background from three-piece skin images
// (left cap, middle, right cap) so that a selected or hovered row shows as
// one rounded bar across the visible columns, then lets the standard
// delegate paint text and icon. Editors sit inside the bar.
class VistaDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // Where a cell lies in its row of visible columns.
    enum CellPosition { MiddleCell = 0, FirstCell = 1, LastCell = 2, OnlyCell = 3 };

    // Target rectangles of the three pieces in one cell; a null rectangle
    // means that piece is not drawn.
    struct Pieces {
        QRect left;
        QRect middle;
        QRect right;
    };

    // Width and height of the part of each skin image a piece is cut from.
    static const int kPieceWidth = 14;
    static const int kPieceHeight = 36;

    // `view` is the tree whose rows this delegate paints; it becomes the
    // delegate's parent.
    explicit VistaDelegate(QTreeView* view);

    // The pieces for a cell `cell` at `position`, with `indentation` the
    // item's indentation D (depth times the view's indentation, one more
    // level with a decorated root). The first cell's left cap reaches D
    // pixels into the indentation and the middle starts after the cap;
    // narrow end cells get their cap stretched over the whole cell.
    static Pieces pieceRects(const QRect& cell, int position, int indentation);
    // The editor's rectangle inside a cell at `position`.
    static QRect editorRect(const QRect& cell, int position);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
    // Whether the cell's text does not fit where paint() puts it, so that
    // the style cuts it ("Parking Lot…").
    bool textIsCut(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // A tool tip over a cell whose text is cut shows the whole text, then
    // the cell's own tip (if any) a paragraph below; other cells show
    // their own tip as ever. Device texts are shown as plain text.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    struct PieceImages {
        QPixmap left;
        QPixmap middle;
        QPixmap right;
    };

    int cellPosition(const QModelIndex& index) const;
    int indentationOf(const QModelIndex& index) const;
    void paintPieces(QPainter* painter, const PieceImages& images, const Pieces& pieces) const;
    void paintBackground(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const;

    QTreeView* m_view;
    PieceImages m_selected;
    PieceImages m_selectedInactive;
    PieceImages m_hover;
};
