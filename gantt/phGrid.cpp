// The grid's rows and columns: the tree of nodes in display order, geometry, tree buttons, selection,
// sorting, and the mouse and keys. Painting is in phGridPaint.cpp, editing in phGridEdit.cpp.
#include "gantt/phGrid.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLocale>
#include <algorithm>

// ---------------------------------------------------------------------------------------------
// Nodes and the tree

void TphDataEntity_GridTreeNode::SetCellText(int col, const QString& text) {
    if (col < 0) return;
    while (Cells.size() <= col)
        Cells.append(QString());
    Cells[col] = text;
}

void TphDataEntity_GridTreeNode::CleanUp() {
    // Children go first, while their parent is still whole.
    if (SubList) {
        TphDataList_GridTree* sub = SubList;
        SubList = nullptr;
        sub->Release();
    }
    TphDataEntity::CleanUp();
}

TphGridTree::TphGridTree(TphDataListEvents* events) : FEvents(events), FRoot(new TphDataList_GridTree) {
    FRoot->Init(FEvents, phFactory<TphDataEntity_GridTreeNode>());
}

TphGridTree::~TphGridTree() {
    FRoot->Release();
}

TphDataList_GridTree* TphGridTree::SubListOf(TphDataEntity_GridTreeNode* parent) {
    if (!parent) return FRoot;
    if (!parent->SubList) {
        parent->SubList = new TphDataList_GridTree;
        parent->SubList->Init(FEvents, phFactory<TphDataEntity_GridTreeNode>());
        parent->SubList->ParentNode = parent;
        if (OnSubListCreated) OnSubListCreated(parent, parent->SubList);
    }
    return parent->SubList;
}

TphDataEntity_GridTreeNode* TphGridTree::AddNode(TphDataEntity_GridTreeNode* parent) {
    // The factory's node is attached before Inserted fires, so the parent is known to handlers.
    return static_cast<TphDataEntity_GridTreeNode*>(SubListOf(parent)->Append());
}

void TphGridTree::Clear() {
    FRoot->Clear();
}

// ---------------------------------------------------------------------------------------------
// TphGrid

TphGrid::TphGrid(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    FNodeEvents.Deleted = [this](TphDataEntity* e) {
        auto* node = static_cast<TphDataEntity_GridTreeNode*>(e);
        if (node == FEditNode) {
            delete FEditor;
            FEditor = nullptr;
            FEditNode = nullptr;
        }
        if (node == FUnloadingNode)
            FUnloadingNode = nullptr;
        else
            FDisplayDirty = true;
        // While the grid goes, its owner has already let go of the rows.
        if (OnNodeDeleted && !FDestroying) OnNodeDeleted(node);
    };
    const auto arrived = [this](TphDataEntity* e) {
        auto* node = static_cast<TphDataEntity_GridTreeNode*>(e);
        if (auto* list = static_cast<TphDataList_GridTree*>(e->Owner)) node->ParentNode = list->ParentNode;
        if (OnNodeInserted) OnNodeInserted(node);
    };
    FNodeEvents.Inserted = arrived;
    FNodeEvents.VirtualLoad = [this, arrived](TphDataEntity* e) {
        auto* node = static_cast<TphDataEntity_GridTreeNode*>(e);
        arrived(e);
        // Positions not in memory have no children, so the rows loaded with the one asked for follow
        // it in the display as they follow it in their list.
        if (e->Owner == FResolveList) {
            node->DisplayIndex = FResolveRow + (e->Index - FResolvePos);
            node->DisplayGeneration = FDisplayGeneration;
        } else {
            FDisplayDirty = true;
        }
        if (OnVirtualLoad && !FDestroying) OnVirtualLoad(this, node);
    };
    FNodeEvents.CanUnload = [this](TphDataEntity* e, bool& canUnload) {
        auto* node = static_cast<TphDataEntity_GridTreeNode*>(e);
        // Rows the grid is walking or editing stay; others go only when the owner of the rows lets them.
        canUnload = false;
        if (FWalking > 0 || node == FEditNode || !OnVirtualUnLoad || FDestroying) return;
        OnVirtualUnLoad(this, node, canUnload);
        if (!canUnload) return;
        FUnloadingNode = node;
        FUnloadingList = node->Owner;
    };
    FNodeEvents.ContentChanged = [this](TphDataList* list) {
        if (FDestroying) return;
        if (list == FUnloadingList) {
            FUnloadingList = nullptr;
            update();
            return;
        }
        AxisChanged();
    };
    FNodeEvents.CountChanged = [this](TphDataList*) {
        if (!FDestroying) AxisChanged();
    };
    FNodeEvents.VisibleChanged = [this](TphDataEntity*) {
        if (!FDestroying) AxisChanged();
    };
    FNodeEvents.SelectionChanged = [this](TphDataList*, TphDataEntity*) {
        if (!FDestroying) update();
    };
    FTree = new TphGridTree(&FNodeEvents);
    FTree->OnSubListCreated = [this](TphDataEntity_GridTreeNode* parent, TphDataList_GridTree* list) {
        if (OnInitTreeSubDataList) OnInitTreeSubDataList(this, parent, list);
    };
}

TphGrid::~TphGrid() {
    FDestroying = true;
    delete FEditor;
    FEditor = nullptr;
    delete FTree;
}

void TphGrid::SetColumns(const std::vector<TphGrid_Column>& columns) {
    FColumns = columns;
    update();
}

const TphGrid_SubGrid* TphGrid::SubGridNamed(const QString& name) const {
    for (const TphGrid_SubGrid& sub : FSubGrids)
        if (sub.Name.compare(name, Qt::CaseInsensitive) == 0) return &sub;
    return nullptr;
}

const TphCellLayout* TphGrid::CellLayoutNamed(const QString& name) const {
    if (name.isEmpty()) return nullptr;
    for (const TphCellLayout& layout : FCellLayouts)
        if (layout.Name.compare(name, Qt::CaseInsensitive) == 0) return &layout;
    return nullptr;
}

TphCellLayout TphGrid::CellLayoutOf(int col) const {
    if (col >= 0 && col < int(FColumns.size()))
        if (const TphCellLayout* layout = CellLayoutNamed(FColumns[size_t(col)].LayoutName)) return *layout;
    // Cells without a layout of their own: the window's colours, the text in the middle of the row.
    TphCellLayout plain;
    plain.VertAlignCenter = true;
    return plain;
}

void TphGrid::AxisChanged() {
    // Display order is rebuilt on the next question, not here: rows often come in thousands.
    FDisplayDirty = true;
    if (OnAxisChanged) OnAxisChanged(this);
    update();
}

void TphGrid::AddToDisplay(TphDataList_GridTree* list) {
    const int n = list->Count();
    for (int i = 0; i < n; ++i) {
        // Positions not in memory are rows too; they are loaded when they are asked for.
        auto* node =
            list->IsLoaded(i)
                ? static_cast<TphDataEntity_GridTreeNode*>(list->Loaded[size_t(i - list->UnloadedBefore)])
                : nullptr;
        if (node && !node->GetVisible()) continue;
        if (node) {
            node->DisplayIndex = int(FDisplay.size());
            node->DisplayGeneration = FDisplayGeneration;
        }
        FDisplay.push_back({list, i});
        if (node && node->SubList && IsButtonExpanded(node)) AddToDisplay(node->SubList);
    }
}

void TphGrid::RebuildDisplay() {
    if (!FDisplayDirty) return;
    const TWalk walk(FWalking);
    // Nodes left out (collapsed, hidden, removed) keep an old number; the generation tells them apart.
    ++FDisplayGeneration;
    FDisplay.clear();
    FDisplayDirty = false;
    AddToDisplay(FTree->Root());
    if (FFocusedRow >= int(FDisplay.size())) FFocusedRow = int(FDisplay.size()) - 1;
    if (FTopRow > 0 && FTopRow >= int(FDisplay.size())) FTopRow = std::max(0, int(FDisplay.size()) - 1);
}

int TphGrid::DisplayRowCount() {
    RebuildDisplay();
    return int(FDisplay.size());
}

TphDataEntity_GridTreeNode* TphGrid::LoadedNodeAt(int displayRow) const {
    if (displayRow < 0 || displayRow >= int(FDisplay.size())) return nullptr;
    const TDisplayRow& row = FDisplay[size_t(displayRow)];
    if (!row.List->IsLoaded(row.Pos)) return nullptr;
    return static_cast<TphDataEntity_GridTreeNode*>(
        row.List->Loaded[size_t(row.Pos - row.List->UnloadedBefore)]);
}

TphDataEntity_GridTreeNode* TphGrid::NodeAt(int displayRow) {
    RebuildDisplay();
    if (displayRow < 0 || displayRow >= int(FDisplay.size())) return nullptr;
    if (TphDataEntity_GridTreeNode* node = LoadedNodeAt(displayRow)) return node;
    const TDisplayRow row = FDisplay[size_t(displayRow)];
    FResolveList = row.List;
    FResolvePos = row.Pos;
    FResolveRow = displayRow;
    auto* node = static_cast<TphDataEntity_GridTreeNode*>(row.List->Get(row.Pos));
    FResolveList = nullptr;
    return node;
}

int TphGrid::DisplayIndexOf(TphDataEntity_GridTreeNode* node) {
    RebuildDisplay();
    return node && node->DisplayGeneration == FDisplayGeneration ? node->DisplayIndex : -1;
}

QString TphGrid::Cell(int col, int gridRow) {
    if (FHasHeaders && gridRow == 0)
        return col >= 0 && col < int(FColumns.size()) ? FColumns[size_t(col)].HeaderText : QString();
    TphDataEntity_GridTreeNode* node = NodeOfGridRow(gridRow);
    return node ? node->CellText(col) : QString();
}

void TphGrid::SetCell(int col, int gridRow, const QString& text) {
    if (FHasHeaders && gridRow == 0) {
        if (col >= 0 && col < int(FColumns.size())) FColumns[size_t(col)].HeaderText = text;
    } else if (TphDataEntity_GridTreeNode* node = NodeOfGridRow(gridRow)) {
        node->SetCellText(col, text);
    }
    update();
}

// ---------------------------------------------------------------------------------------------
// Geometry

int TphGrid::RowHeight(int displayRow) {
    TphDataEntity_GridTreeNode* node = NodeAt(displayRow);
    int h = node && node->Height > 0 ? node->Height : DefaultRowHeight;
    if (!node || FCellLayouts.empty()) return h;
    for (int c = 0; c < int(FColumns.size()); ++c) {
        const TphCellLayout* layout = CellLayoutNamed(FColumns[size_t(c)].LayoutName);
        if (!layout || FColumns[size_t(c)].Hidden) continue;
        h = std::max(h, layout->MinHeight);
        if (layout->WrapTextAndFit && !node->CellText(c).isEmpty()) {
            const QFontMetrics metrics(layout->UseFontInfo ? layout->Font : font());
            const int textWidth = std::max(1, ColumnWidth(c) - 6);
            const QRect needed =
                metrics.boundingRect(QRect(0, 0, textWidth, 100000), Qt::TextWordWrap, node->CellText(c));
            h = std::max(h, needed.height() + 4);
        }
    }
    return h;
}

void TphGrid::SetRowHeight(int displayRow, int height) {
    if (TphDataEntity_GridTreeNode* node = NodeAt(displayRow)) {
        node->Height = std::max(0, height);
        if (OnRowResized) OnRowResized(this, GridRowOf(displayRow));
        if (OnAxisChanged) OnAxisChanged(this);
        update();
    }
}

int TphGrid::ColumnLeft(int col) const {
    int x = FHasInfoCol ? InfoColWidth : 0;
    for (int c = 0; c < col && c < int(FColumns.size()); ++c)
        x += ColumnWidth(c);
    return x;
}

int TphGrid::ColumnWidth(int col) const {
    if (col < 0 || col >= int(FColumns.size()) || FColumns[size_t(col)].Hidden) return 0;
    int w = FColumns[size_t(col)].Width;
    if (const TphCellLayout* layout = CellLayoutNamed(FColumns[size_t(col)].LayoutName))
        w = std::max(w, layout->MinWidth);
    if (FExtendLast) {
        int last = int(FColumns.size()) - 1;
        while (last >= 0 && FColumns[size_t(last)].Hidden)
            --last;
        if (col == last) w = std::max(w, width() - ColumnLeft(col));
    }
    return w;
}

void TphGrid::SetColumnWidth(int col, int width) {
    if (col < 0 || col >= int(FColumns.size())) return;
    width = std::max(0, width);
    if (FColumns[size_t(col)].Width == width) return;
    FColumns[size_t(col)].Width = width;
    if (FEditor) EndEdit();
    if (OnColumnResized) OnColumnResized(this, col);
    update();
}

int TphGrid::ColumnAtX(int x) const {
    for (int c = 0; c < int(FColumns.size()); ++c) {
        const int l = ColumnLeft(c);
        const int w = ColumnWidth(c);
        if (w > 0 && x >= l && x < l + w) return c;
    }
    return -1;
}

int TphGrid::ColumnEdgeAt(const QPoint& at) const {
    if (!FHasHeaders || at.y() >= HeaderHeight()) return -1;
    for (int c = 0; c < int(FColumns.size()); ++c) {
        const int w = ColumnWidth(c);
        if (w > 0 && std::abs(at.x() - (ColumnLeft(c) + w)) <= SizingZone) return c;
    }
    return -1;
}

int TphGrid::RowEdgeAt(const QPoint& at) {
    if (!FHasInfoCol || at.x() >= InfoColWidth || at.y() < HeaderHeight()) return -1;
    const int count = DisplayRowCount();
    int bottom = HeaderHeight();
    for (int r = FTopRow; r < count && bottom < height(); ++r) {
        bottom += RowHeight(r);
        if (std::abs(at.y() - bottom) <= SizingZone) return r;
    }
    return -1;
}

QRect TphGrid::CellRect(int col, int gridRow) {
    const int x = ColumnLeft(col);
    const int w = ColumnWidth(col);
    if (FHasHeaders && gridRow == 0) return QRect(x, 0, w, HeaderHeight());
    const int row = gridRow - HeaderRows();
    if (row < FTopRow || row >= DisplayRowCount()) return {};
    int y = HeaderHeight();
    for (int r = FTopRow; r < row; ++r) {
        y += RowHeight(r);
        if (y >= height()) return {};
    }
    if (y >= height()) return {};
    return QRect(x, y, w, RowHeight(row));
}

void TphGrid::SetTopRow(int row) {
    const int count = DisplayRowCount();
    row = std::clamp(row, 0, std::max(0, count - 1));
    if (row == FTopRow) return;
    FTopRow = row;
    if (FEditor) EndEdit();
    update();
    RaiseTopLeftChanged();
}

void TphGrid::RaiseTopLeftChanged() {
    if (OnTopLeftChanged) OnTopLeftChanged(this);
}

bool TphGrid::RowFullyVisible(int displayRow) {
    if (displayRow < FTopRow || displayRow >= DisplayRowCount()) return false;
    int bottom = HeaderHeight();
    for (int r = FTopRow; r <= displayRow; ++r) {
        bottom += RowHeight(r);
        if (bottom > height()) return false;
    }
    return true;
}

int TphGrid::DisplayRowAtY(int y) {
    if (y < HeaderHeight()) return -1;
    const int count = DisplayRowCount();
    int top = HeaderHeight();
    for (int r = FTopRow; r < count && top < height(); ++r) {
        const int h = RowHeight(r);
        if (y < top + h) return r;
        top += h;
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Tree buttons and cell insets

bool TphGrid::ButtonHasNonHiddenChildren(TphDataEntity_GridTreeNode* node) {
    bool has = false;
    if (node && node->SubList) {
        TphDataList_GridTree* list = node->SubList;
        // Children not in memory count as shown: they are there to be loaded.
        has = list->UnloadedBefore + list->UnloadedAfter > 0;
        for (size_t i = 0; !has && i < list->Loaded.size(); ++i)
            has = list->Loaded[i]->GetVisible();
    }
    if (OnButtonHasNonHiddenChildren) OnButtonHasNonHiddenChildren(this, node, has);
    return has;
}

bool TphGrid::IsButtonTerminal(TphDataEntity_GridTreeNode* node) {
    bool terminal = !ButtonHasNonHiddenChildren(node);
    if (OnIsButtonTerminal) OnIsButtonTerminal(this, node, terminal);
    return terminal;
}

bool TphGrid::IsButtonExpanded(TphDataEntity_GridTreeNode* node) {
    bool expanded = node && node->Expanded;
    if (OnIsButtonExpanded) OnIsButtonExpanded(this, node, expanded);
    return expanded;
}

void TphGrid::ParentButtonCell(TphDataEntity_GridTreeNode* node, int& col, int& gridRow) {
    col = -1;
    gridRow = -1;
    if (node && node->ParentNode) {
        for (int c = 0; c < int(FColumns.size()) && col < 0; ++c)
            if (FColumns[size_t(c)].TreeButton) col = c;
        const int parentRow = DisplayIndexOf(node->ParentNode);
        gridRow = parentRow >= 0 ? GridRowOf(parentRow) : -1;
        if (gridRow < 0) col = -1;
    }
    if (OnGetParentButtonCell) OnGetParentButtonCell(this, node, col, gridRow);
}

void TphGrid::ToggleNode(TphDataEntity_GridTreeNode* node) {
    if (!node || IsButtonTerminal(node)) return;
    node->Expanded = !IsButtonExpanded(node);
    // Children that come on demand get their list the first time the node opens.
    if (node->Expanded) FTree->SubListOf(node);
    if (OnButtonClick) OnButtonClick(this, node);
    AxisChanged();
}

int TphGrid::CellInset(int col, int gridRow) {
    int inset = 3;
    TphDataEntity_GridTreeNode* node = NodeOfGridRow(gridRow);
    if (node && col >= 0 && col < int(FColumns.size())) {
        const TphGrid_Column& column = FColumns[size_t(col)];
        if (column.TreeButton) inset += (Depth(node) + 1) * TreeIndent;
        if (column.HasIcon && column.OnGetIconIndex) {
            int index = -1;
            column.OnGetIconIndex(this, col, gridRow, index);
            if (index >= 0 && index < int(ImageList.size())) inset += ImageList[size_t(index)].width() + 2;
        }
    }
    if (OnCellInset) OnCellInset(this, col, gridRow, inset);
    return inset;
}

int TphGrid::Depth(const TphDataEntity_GridTreeNode* node) {
    int depth = 0;
    for (auto* n = node ? node->ParentNode : nullptr; n; n = n->ParentNode)
        ++depth;
    return depth;
}

int TphGrid::TreeButtonLeft(int col, const TphDataEntity_GridTreeNode* node) const {
    return ColumnLeft(col) + 3 + Depth(node) * TreeIndent;
}

bool TphGrid::SameGroup(int col, int displayRow1, int displayRow2) {
    if (col < 0 || col >= int(FColumns.size()) || !FColumns[size_t(col)].Groupcells) return false;
    TphDataEntity_GridTreeNode* a = NodeAt(displayRow1);
    TphDataEntity_GridTreeNode* b = NodeAt(displayRow2);
    if (!a || !b) return false;
    bool same = a->CellText(col) == b->CellText(col);
    if (const auto& compare = FColumns[size_t(col)].OnGroupcellCompare)
        compare(this, col, GridRowOf(displayRow1), GridRowOf(displayRow2), same);
    return same;
}

// ---------------------------------------------------------------------------------------------
// Selection

void TphGrid::SetFocusedRow(int displayRow, bool select) {
    if (displayRow < 0 || displayRow >= DisplayRowCount()) return;
    FFocusedRow = displayRow;
    if (select) SelectRow(displayRow, 0);
    // Keep the focused row on screen. Counting the rows shown instead would take the last row of a
    // list shorter than the view for one half hidden and scroll it up to the top.
    if (displayRow < FTopRow)
        SetTopRow(displayRow);
    else
        while (!RowFullyVisible(displayRow) && FTopRow < displayRow) {
            const int top = FTopRow;
            SetTopRow(FTopRow + 1);
            if (FTopRow <= top) break; // the owner keeps the rows from scrolling further
        }
    if (OnCellSelectionChanged) OnCellSelectionChanged(this, FFocusedCol, GridRowOf(displayRow));
    update();
}

void TphGrid::SelectRow(int displayRow, int shift) {
    TphDataEntity_GridTreeNode* node = NodeAt(displayRow);
    if (!node) return;
    if (FMultiSelect && (shift & 4)) {
        node->SetSelected(!node->Selected);
        FAnchorRow = displayRow;
    } else if (FMultiSelect && (shift & 1) && FAnchorRow >= 0) {
        for (TphDataEntity_GridTreeNode* n : SelectedNodes())
            n->SetSelected(false);
        const int a = std::min(FAnchorRow, displayRow);
        const int b = std::max(FAnchorRow, displayRow);
        for (int r = a; r <= b; ++r)
            if (TphDataEntity_GridTreeNode* n = NodeAt(r)) n->SetSelected(true);
    } else {
        for (TphDataEntity_GridTreeNode* n : SelectedNodes())
            if (n != node) n->SetSelected(false);
        node->SetSelected(true);
        FAnchorRow = displayRow;
    }
    if (OnSelectionChanged) OnSelectionChanged(this);
    update();
}

std::vector<TphDataEntity_GridTreeNode*> TphGrid::SelectedNodes() {
    RebuildDisplay();
    // Only rows in memory can be selected: a list that drops rows deselects them first.
    std::vector<TphDataEntity_GridTreeNode*> result;
    for (int r = 0; r < int(FDisplay.size()); ++r)
        if (TphDataEntity_GridTreeNode* node = LoadedNodeAt(r); node && node->Selected)
            result.push_back(node);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Sorting

QString TphGrid::SortKey(int displayRow, int col) {
    return SortKeyOf(NodeAt(displayRow), col, displayRow).Text;
}

TphGrid::TSortKey TphGrid::SortKeyOf(TphDataEntity_GridTreeNode* node, int col, int displayRow) {
    if (!node) return {};
    const TphGrid_Column* column = col >= 0 && col < int(FColumns.size()) ? &FColumns[size_t(col)] : nullptr;
    QString text = node->CellText(col);
    if (column && column->Kind == tckDate) {
        QDate d;
        if (ReadDateText(text, d)) text = d.toString(QStringLiteral("yyyy-MM-dd"));
    }
    text = text.toUpper();
    bool negative = false;
    if (column && column->NumericSort) {
        negative = text.startsWith(QLatin1Char('-'));
        if (negative) text.remove(0, 1);
        text = (QStringLiteral("00000000000000000") + text).right(17);
        text.prepend(negative ? QLatin1Char('A') : QLatin1Char('B'));
    }
    text += QStringLiteral("###") + QStringLiteral("%1").arg(node->GetIndex(), 10, 10, QLatin1Char('0'));
    if (OnGetUserSortCompareString) {
        // A key the module writes itself is compared as it stands.
        const QString built = text;
        OnGetUserSortCompareString(this, displayRow, col, text);
        if (text != built) negative = false;
    }
    return {text, negative};
}

int TphGrid::CompareKeys(const TSortKey& a, const TSortKey& b, bool descending) {
    auto sign = [](int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); };
    int c;
    // Larger magnitudes of negative numbers sort first; rows with equal values keep their order. The
    // flag says which keys are numbers: a text of the same shape ("A..." 18 long) is no number.
    if (a.Negative && b.Negative) {
        const qsizetype ia = a.Text.lastIndexOf(QStringLiteral("###"));
        const qsizetype ib = b.Text.lastIndexOf(QStringLiteral("###"));
        c = -sign(QStringView(a.Text).left(ia).compare(QStringView(b.Text).left(ib)));
        if (c == 0) c = sign(QStringView(a.Text).mid(ia).compare(QStringView(b.Text).mid(ib)));
    } else {
        c = sign(a.Text.compare(b.Text));
    }
    return descending ? -c : c;
}

void TphGrid::SortByColumn(int col, bool descending) {
    RebuildDisplay();
    const TWalk walk(FWalking);
    FSortCol = col;
    FSortDescending = descending;
    bool handled = false;
    if (OnUserSort) OnUserSort(this, col, descending, handled);
    if (!handled) {
        std::function<void(TphDataList*)> sortList = [&](TphDataList* list) {
            // Load every position; the keys need each row.
            const int n = list->Count();
            std::vector<std::pair<TSortKey, TphDataEntity*>> keyed;
            keyed.reserve(size_t(n));
            for (int i = 0; i < n; ++i) {
                auto* node = static_cast<TphDataEntity_GridTreeNode*>(list->Get(i));
                if (!node) continue;
                keyed.emplace_back(SortKeyOf(node, col, DisplayIndexOf(node)), node);
                if (node->SubList) sortList(node->SubList);
            }
            std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
                return CompareKeys(a.first, b.first, descending) < 0;
            });
            if (list->UnloadedBefore || list->UnloadedAfter) return;
            for (size_t i = 0; i < keyed.size(); ++i)
                list->Loaded[i] = keyed[i].second;
            list->MarkIndexDirty(0);
        };
        sortList(FTree->Root());
    }
    if (OnColumnSort) OnColumnSort(this, col, descending);
    AxisChanged();
}

// ---------------------------------------------------------------------------------------------
// Properties

void TphGrid::SetHasHeaders(bool v) {
    FHasHeaders = v;
    AxisChanged();
}

void TphGrid::SetHasInfoCol(bool v) {
    FHasInfoCol = v;
    update();
}

void TphGrid::SetExtendLastColumnToWidth(bool v) {
    FExtendLast = v;
    update();
}

void TphGrid::SetFocusRect_Cell(bool v) {
    FFocusRectCell = v;
    update();
}

void TphGrid::SetFocusRect_Grid(bool v) {
    FFocusRectGrid = v;
    update();
}

// ---------------------------------------------------------------------------------------------
// Mouse and keys

void TphGrid::mousePressEvent(QMouseEvent* event) {
    setFocus();
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        // Edges first: a press on a column's or row's edge sizes it.
        if (const int c = ColumnEdgeAt(pos); c >= 0) {
            FSizingCol = c;
            FSizingFrom = pos.x();
            FSizingStart = ColumnWidth(c);
            return;
        }
        if (const int r = RowEdgeAt(pos); r >= 0) {
            FSizingRow = r;
            FSizingFrom = pos.y();
            FSizingStart = RowHeight(r);
            return;
        }
    }
    if (FHasHeaders && pos.y() < HeaderHeight()) {
        const int c = ColumnAtX(pos.x());
        if (FUserSortEnable && c >= 0 && FColumns[size_t(c)].SortEnable)
            SortByColumn(c, c == FSortCol ? !FSortDescending : false);
        return;
    }
    const int r = DisplayRowAtY(pos.y());
    if (r < 0) return;
    const int c = ColumnAtX(pos.x());
    if (c >= 0) FFocusedCol = c;
    if (c >= 0 && FColumns[size_t(c)].TreeButton) {
        TphDataEntity_GridTreeNode* node = NodeAt(r);
        const int buttonLeft = TreeButtonLeft(c, node);
        if (pos.x() >= buttonLeft - 2 && pos.x() < buttonLeft + TreeIndent && !IsButtonTerminal(node)) {
            ToggleNode(node);
            return;
        }
    }
    if (event->button() == Qt::RightButton && OnRightClick) OnRightClick(this, c, GridRowOf(r));
    int shift = 0;
    if (event->modifiers() & Qt::ShiftModifier) shift |= 1;
    if (event->modifiers() & Qt::ControlModifier) shift |= 4;
    FFocusedRow = r;
    SelectRow(r, shift);
    if (OnCellSelectionChanged) OnCellSelectionChanged(this, FFocusedCol, GridRowOf(r));
    if (FAutoEditMode) BeginEdit(FFocusedCol, r);
}

void TphGrid::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (FSizingCol >= 0) {
        SetColumnWidth(FSizingCol, FSizingStart + pos.x() - FSizingFrom);
        return;
    }
    if (FSizingRow >= 0) {
        SetRowHeight(FSizingRow, std::max(4, FSizingStart + pos.y() - FSizingFrom));
        return;
    }
    if (ColumnEdgeAt(pos) >= 0)
        setCursor(Qt::SplitHCursor);
    else if (RowEdgeAt(pos) >= 0)
        setCursor(Qt::SplitVCursor);
    else
        unsetCursor();
}

void TphGrid::mouseReleaseEvent(QMouseEvent* event) {
    Q_UNUSED(event);
    if (FSizingCol < 0 && FSizingRow < 0) return;
    FSizingCol = FSizingRow = -1;
    if (OnAfterUserSize) OnAfterUserSize(this);
}

void TphGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    const int r = DisplayRowAtY(int(event->position().y()));
    const int c = ColumnAtX(int(event->position().x()));
    if (r >= 0 && c >= 0) BeginEdit(c, r);
}

void TphGrid::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        SetFocusedRow(std::max(0, FFocusedRow - 1));
        break;
    case Qt::Key_Down:
        SetFocusedRow(std::min(DisplayRowCount() - 1, FFocusedRow + 1));
        break;
    case Qt::Key_F2:
        BeginEdit(FFocusedCol, FFocusedRow);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TphGrid::wheelEvent(QWheelEvent* event) {
    ScrollRows(event->angleDelta().y() > 0 ? -3 : 3);
}

void TphGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (OnGridResize) OnGridResize(this);
    if (OnAxisChanged) OnAxisChanged(this);
}
