// Painting of the grid: header, info column, cells in their layouts with tree buttons, icons and
// group cells, frames, grid lines and focus rectangles.
#include <QFontMetrics>
#include <QPainter>

#include "gantt/phGrid.h"

namespace {

const QColor kLines(0xC0, 0xC0, 0xC0);

// The text placement of a layout: its own settings, or the platform's drawing flags when it asks
// for those.
int textFlags(const TphCellLayout& layout, Qt::TextElideMode& elide) {
    elide = Qt::ElideNone;
    if (layout.WindowsFlagDraw) {
        const int w = layout.WindowsFlags;
        int f = (w & 0x1) ? Qt::AlignHCenter : (w & 0x2) ? Qt::AlignRight : Qt::AlignLeft;
        f |= (w & 0x4) ? Qt::AlignVCenter : (w & 0x8) ? Qt::AlignBottom : Qt::AlignTop;
        if (w & 0x10) f |= Qt::TextWordWrap;
        if (w & 0x20) f |= Qt::TextSingleLine;
        if (w & 0x4000)
            elide = Qt::ElideMiddle;
        else if (w & (0x8000 | 0x40000))
            elide = Qt::ElideRight;
        return f;
    }
    int f = layout.HorzAlignRight    ? Qt::AlignRight
            : layout.HorzAlignCenter ? Qt::AlignHCenter
                                     : Qt::AlignLeft;
    f |= layout.VertAlignCenter ? Qt::AlignVCenter : Qt::AlignTop;
    if (layout.WrapTextAndFit)
        f |= Qt::TextWordWrap;
    else if (layout.EndEllipsis)
        elide = Qt::ElideRight;
    return f;
}

} // namespace

void TphGrid::paintEvent(QPaintEvent*) {
    const TWalk walk(FWalking);
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), Qt::white);
    const int count = DisplayRowCount();
    if (FHasHeaders) {
        p.fillRect(0, 0, width(), HeaderHeight(), pal.button());
        for (int c = 0; c < int(FColumns.size()); ++c) {
            const int w = ColumnWidth(c);
            if (w <= 0) continue;
            const QRect r(ColumnLeft(c), 0, w, HeaderHeight());
            p.setPen(pal.color(QPalette::ButtonText));
            p.drawText(r.adjusted(3, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft,
                       FColumns[size_t(c)].HeaderText);
            p.setPen(kLines.darker(130));
            p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        }
        p.drawLine(0, HeaderHeight() - 1, width(), HeaderHeight() - 1);
    }
    const int infoWidth = FHasInfoCol ? InfoColWidth : 0;
    int y = HeaderHeight();
    for (int r = FTopRow; r < count && y < height(); ++r) {
        const int h = RowHeight(r);
        if (FHasInfoCol) {
            p.fillRect(0, y, InfoColWidth, h, pal.button());
            if (r == FFocusedRow) {
                p.setBrush(Qt::black);
                p.setPen(Qt::NoPen);
                const QPoint tri[3] = {{3, y + h / 2 - 4}, {8, y + h / 2}, {3, y + h / 2 + 4}};
                p.drawPolygon(tri, 3);
            }
        }
        int right = infoWidth;
        for (int c = 0; c < int(FColumns.size()); ++c) {
            const int w = ColumnWidth(c);
            if (w <= 0) continue;
            const QRect cell(ColumnLeft(c), y, w, h);
            PaintCell(p, c, r, cell);
            right = cell.left() + cell.width();
        }
        // Right of the last column the row line goes on to the edge.
        p.setPen(kLines);
        if (right < width()) p.drawLine(right, y + h - 1, width(), y + h - 1);
        if (r == FFocusedRow && hasFocus() && FFocusRectCell) {
            const QRect focus = FRowSelect
                                    ? QRect(infoWidth, y, width() - infoWidth - 1, h - 2)
                                    : QRect(ColumnLeft(FFocusedCol), y, ColumnWidth(FFocusedCol) - 1, h - 2);
            p.setPen(QPen(Qt::black, 1, Qt::DotLine));
            p.setBrush(Qt::NoBrush);
            p.drawRect(focus);
        }
        y += h;
    }
    if (hasFocus() && FFocusRectGrid) {
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void TphGrid::PaintCell(QPainter& p, int col, int displayRow, const QRect& cell) {
    TphDataEntity_GridTreeNode* node = NodeAt(displayRow);
    // A module's loading handler may have changed the rows under the paint.
    if (!node) return;
    const TphGrid_Column& column = FColumns[size_t(col)];
    const int gridRow = GridRowOf(displayRow);
    const QPalette& pal = palette();
    TphCellLayout layout = CellLayoutOf(col);
    if (OnBeforeRenderCell) OnBeforeRenderCell(this, col, gridRow, layout);
    const bool selected = node->Selected && (FRowSelect || col == FFocusedCol);
    p.fillRect(cell, selected ? pal.highlight().color() : phColorToQColor(layout.BackColor, pal));
    bool done = false;
    if (OnUserRenderCell) {
        p.save();
        OnUserRenderCell(this, col, gridRow, &p, cell, done);
        p.restore();
    }
    if (!done) {
        if (column.TreeButton) PaintTreeButton(p, node, TreeButtonLeft(col, node), cell);
        const int inset = CellInset(col, gridRow);
        if (column.HasIcon && column.OnGetIconIndex) {
            int index = -1;
            column.OnGetIconIndex(this, col, gridRow, index);
            if (index >= 0 && index < int(ImageList.size())) {
                const QPixmap& icon = ImageList[size_t(index)];
                p.drawPixmap(cell.left() + inset - icon.width() - 2,
                             cell.top() + (cell.height() - icon.height()) / 2, icon);
            }
        }
        // A row that goes on with the group cell above shows no text of its own; the top row on
        // screen shows the group's text.
        const bool continued = displayRow > FTopRow && SameGroup(col, displayRow - 1, displayRow);
        if (!continued) {
            Qt::TextElideMode elide = Qt::ElideNone;
            const int flags = textFlags(layout, elide);
            const QFont textFont = layout.UseFontInfo ? layout.Font : font();
            const int left = cell.left() + inset;
            const QRect textRect(left, cell.top() + 1, cell.left() + cell.width() - left - 2,
                                 cell.height() - 2);
            QString text = node->CellText(col);
            if (elide != Qt::ElideNone)
                text = QFontMetrics(textFont).elidedText(text, elide, textRect.width());
            p.setFont(textFont);
            p.setPen(selected ? pal.color(QPalette::HighlightedText)
                              : phColorToQColor(layout.FrontColor, pal));
            p.drawText(textRect, flags, text);
        }
    }
    p.setPen(kLines);
    const int right = cell.left() + cell.width() - 1;
    const int bottom = cell.top() + cell.height() - 1;
    p.drawLine(right, cell.top(), right, bottom);
    // Rows of one group cell have no line between them.
    if (!SameGroup(col, displayRow, displayRow + 1)) p.drawLine(cell.left(), bottom, right, bottom);
    if (layout.FrameOptionsUse) PaintFrame(p, layout, cell);
}

void TphGrid::PaintTreeButton(QPainter& p, TphDataEntity_GridTreeNode* node, int x, const QRect& cell) {
    const int middle = cell.top() + cell.height() / 2;
    // The line from the parent's button down to this node.
    int parentCol = -1;
    int parentRow = -1;
    ParentButtonCell(node, parentCol, parentRow);
    if (parentCol >= 0 && node->ParentNode) {
        const int parentX = TreeButtonLeft(parentCol, node->ParentNode) + 4;
        TphDataList* siblings = node->Owner;
        const bool lastChild = !siblings || node->GetIndex() >= siblings->Count() - 1;
        p.setPen(QPen(Qt::gray, 1, Qt::DotLine));
        p.drawLine(parentX, cell.top(), parentX, lastChild ? middle : cell.top() + cell.height() - 1);
        p.drawLine(parentX, middle, x, middle);
    }
    if (IsButtonTerminal(node)) return;
    const QRect b(x, middle - 4, 9, 9);
    p.setPen(Qt::gray);
    p.setBrush(Qt::white);
    p.drawRect(b);
    p.setPen(Qt::black);
    p.drawLine(b.left() + 2, b.center().y(), b.right() - 2, b.center().y());
    if (!IsButtonExpanded(node)) p.drawLine(b.center().x(), b.top() + 2, b.center().x(), b.bottom() - 2);
}

void TphGrid::PaintFrame(QPainter& p, const TphCellLayout& layout, const QRect& cell) {
    // On the cell's outermost pixels, over the grid lines.
    const QRect& r = cell;
    struct Side {
        TphFrameOption side;
        QPoint from, to;
        bool shadow; // the dark side of a 3-D frame
    };
    const Side sides[] = {{foLeft, r.topLeft(), r.bottomLeft(), false},
                          {foTop, r.topLeft(), r.topRight(), false},
                          {foRight, r.topRight(), r.bottomRight(), true},
                          {foBottom, r.bottomLeft(), r.bottomRight(), true}};
    for (const Side& s : sides) {
        if (!(layout.FrameOptions & s.side)) continue;
        bool handled = false;
        if (layout.OnFrameLineDraw) layout.OnFrameLineDraw(layout, &p, s.side, s.from, s.to, handled);
        if (handled) continue;
        const TColor color =
            layout.FrameKind == fk3d ? (s.shadow ? clBtnShadow : clBtnHighlight) : layout.FrameColor;
        p.setPen(phColorToQColor(color, palette()));
        p.drawLine(s.from, s.to);
    }
}
