#include "VistaDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>

#include "SkinResources.h"

#include <QHeaderView>
#include <QPainter>
#include <QTreeView>

namespace {
QRect span(int x1, int x2, const QRect& cell) {
    return QRect(QPoint(x1, cell.top()), QPoint(x2, cell.bottom()));
}

QPixmap skin(const char* name) {
    return LoadSkinPixmap(QStringLiteral(":/skin/%1").arg(QLatin1String(name)));
}

bool isFirst(int position) {
    return position == VistaDelegate::FirstCell || position == VistaDelegate::OnlyCell;
}

bool isLast(int position) {
    return position == VistaDelegate::LastCell || position == VistaDelegate::OnlyCell;
}
} // namespace

VistaDelegate::VistaDelegate(QTreeView* view) : QStyledItemDelegate(view), m_view(view) {
    m_selected = {skin("tree_selected_l.png"), skin("tree_selected_m.png"),
                  skin("tree_selected_r.png")};
    m_selectedInactive = {skin("tree_selected_!active_l.png"), skin("tree_selected_!active_m.png"),
                          skin("tree_selected_!active_r.png")};
    m_hover = {skin("tree_hover_l.png"), skin("tree_hover_m.png"), skin("tree_hover_r.png")};
}

VistaDelegate::Pieces VistaDelegate::pieceRects(const QRect& cell, int position, int indentation) {
    const int l = cell.left();
    const int r = cell.right();
    const int w = cell.width();
    const int d = indentation;
    Pieces pieces;
    if (position == FirstCell && w + d < 22) {
        pieces.left = cell;
    } else if (position == LastCell && w < 22) {
        pieces.right = cell;
    } else if (position == OnlyCell && w + d < 42) {
        pieces.middle = cell;
    } else {
        // The cap reaches over the middle's first pixels when the item is
        // not indented; the middle then starts after the cap, so that
        // translucent pieces do not show twice where they overlap.
        const int midLeft = isFirst(position) ? qMax(l + 14, l + 21 - d) : l;
        const int midRight = isLast(position) ? r - 21 : r;
        pieces.middle = span(midLeft, midRight, cell);
        if (isFirst(position))
            pieces.left = span(l + 7 - d, l + 20 - d, cell);
        if (isLast(position))
            pieces.right = span(r - 20, r - 7, cell);
    }
    return pieces;
}

QRect VistaDelegate::editorRect(const QRect& cell, int position) {
    QRect rect = cell.adjusted(0, 2, -1, -2);
    if (isFirst(position))
        rect.setLeft(rect.left() + 7);
    if (isLast(position))
        rect.setRight(rect.right() - 7);
    return rect;
}

int VistaDelegate::cellPosition(const QModelIndex& index) const {
    if (!m_view || m_view->selectionBehavior() != QAbstractItemView::SelectRows)
        return MiddleCell;
    const QHeaderView* header = m_view->header();
    int first = -1;
    int last = -1;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (header->isSectionHidden(logical))
            continue;
        if (first < 0)
            first = logical;
        last = logical;
    }
    int position = MiddleCell;
    if (index.column() == first)
        position |= FirstCell;
    if (index.column() == last)
        position |= LastCell;
    return position;
}

int VistaDelegate::indentationOf(const QModelIndex& index) const {
    if (!m_view)
        return 0;
    int depth = m_view->rootIsDecorated() ? 1 : 0;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        ++depth;
    return depth * m_view->indentation();
}

void VistaDelegate::paintPieces(QPainter* painter, const PieceImages& images,
                                const Pieces& pieces) const {
    const QRect source(0, 0, kPieceWidth, kPieceHeight);
    if (!pieces.middle.isNull())
        painter->drawPixmap(pieces.middle, images.middle, source);
    if (!pieces.left.isNull())
        painter->drawPixmap(pieces.left, images.left, source);
    if (!pieces.right.isNull())
        painter->drawPixmap(pieces.right, images.right, source);
}

void VistaDelegate::paintBackground(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const bool active = option.state & QStyle::State_Active;
    const bool hover = option.state & QStyle::State_MouseOver;
    const Pieces pieces = pieceRects(option.rect, cellPosition(index), indentationOf(index));
    if (selected)
        paintPieces(painter, active ? m_selected : m_selectedInactive, pieces);
    if (hover && (!selected || !active))
        paintPieces(painter, m_hover, pieces);
}

void VistaDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    paintBackground(painter, option, index);
    QStyleOptionViewItem content(option);
    // The images are the selection and hover look; the style must not paint
    // its own highlight over them.
    if (content.state & QStyle::State_Selected) {
        content.palette.setColor(QPalette::Text, Qt::white);
        content.palette.setColor(QPalette::HighlightedText, Qt::white);
    }
    content.state &= ~(QStyle::State_Selected | QStyle::State_MouseOver | QStyle::State_HasFocus);
    // Text and icon keep inside the rounded ends of the bar, as editors do.
    content.rect = editorRect(option.rect, cellPosition(index)).adjusted(0, -2, 1, 2);
    QStyledItemDelegate::paint(painter, content, index);
}

bool VistaDelegate::textIsCut(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem content(option);
    content.rect = editorRect(option.rect, cellPosition(index)).adjusted(0, -2, 1, 2);
    initStyleOption(&content, index);
    if (content.text.isEmpty())
        return false;
    const QWidget* widget = content.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    const QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &content, widget);
    // The style keeps a margin inside the text's rectangle on each side.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    return content.fontMetrics.horizontalAdvance(content.text) > room.width() - 2 * margin;
}

// A cut text's whole is the tip; a tip of the cell's own follows it. The
// tip is shown as plain text: a tool tip takes anything that looks like
// markup for rich text, and a device's name is whatever it sends.
bool VistaDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                              const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QStringList parts;
    if (textIsCut(option, index))
        parts << index.data(Qt::DisplayRole).toString();
    const QString own = index.data(Qt::ToolTipRole).toString();
    if (!own.isEmpty())
        parts << own;
    if (parts.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return false;
    }
    const QString plain = parts.join(QStringLiteral("\n\n"));
    QToolTip::showText(
        event->globalPos(),
        QStringLiteral("<p style='white-space:pre-wrap'>%1</p>")
            .arg(plain.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>"))),
        view->viewport(), option.rect);
    return true;
}

void VistaDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    editor->setGeometry(editorRect(option.rect, cellPosition(index)));
}
