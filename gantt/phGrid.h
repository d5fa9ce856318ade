#pragma once
// The grid that lists the Gantt rows on the left of the chart: a tree of row nodes shown in display
// order, typed columns with in-place editors, named cell layouts, icons, group cells, sub grids, a
// header, row selection, sorting and rows loaded on demand. The Gantt area takes its row heights and
// scroll position from here.
#include <QFont>
#include <QPixmap>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

#include "gantt/phColor.h"
#include "gantt/phDataEntityPack.h"

class QPainter;
class TphDataList_GridTree;
class TphGrid;

class TphDataEntity_GridTreeNode : public TphDataEntity {
public:
    // The Gantt row made for this node; found directly, without a search.
    TGantRow* GantRow = nullptr;
    QStringList Cells;
    TphDataList_GridTree* SubList = nullptr;
    TphDataEntity_GridTreeNode* ParentNode = nullptr;
    bool Expanded = true;
    int Height = 0; // 0: the grid's default row height
    int DisplayIndex = -1;
    quint32 DisplayGeneration = 0;

    QString CellText(int col) const { return col >= 0 && col < Cells.size() ? Cells[col] : QString(); }
    void SetCellText(int col, const QString& text);
    void CleanUp() override;
};

class TphDataList_GridTree : public TphDataList {
public:
    TphDataEntity_GridTreeNode* ParentNode = nullptr;
};

// The grid's tree of nodes.
class TphGridTree {
public:
    explicit TphGridTree(TphDataListEvents* events);
    ~TphGridTree();
    TphGridTree(const TphGridTree&) = delete;
    TphGridTree& operator=(const TphGridTree&) = delete;

    TphDataList_GridTree* Root() const { return FRoot; }
    // Appends a node to the root list (no parent) or to the parent's sub list.
    TphDataEntity_GridTreeNode* AddNode(TphDataEntity_GridTreeNode* parent);
    // The node's list of children, made on first use.
    TphDataList_GridTree* SubListOf(TphDataEntity_GridTreeNode* parent);
    void Clear();
    // A node's list of children was just made.
    std::function<void(TphDataEntity_GridTreeNode* parent, TphDataList_GridTree* list)> OnSubListCreated;

private:
    TphDataListEvents* FEvents;
    TphDataList_GridTree* FRoot;
};

enum TColumnKind { tckSimpleEdit, tckMemo, tckBool, tckCombo, tckDate, tckTime, tckSubGrid, tckSubTree };

enum TphFrameOption { foLeft = 1, foRight = 2, foTop = 4, foBottom = 8 };
enum TphFrameKind { fkNormal, fk3d };

// A named appearance of cells, chosen by a column's LayoutName.
struct TphCellLayout {
    QString Name;
    TColor BackColor = clWindow;
    TColor FrontColor = clWindowText;
    bool UseFontInfo = false;
    QFont Font;
    // The column is at least MinWidth wide and the rows at least MinHeight high.
    int MinWidth = 0;
    int MinHeight = 0;
    // The text wraps at word ends and the row grows until all of it shows.
    bool WrapTextAndFit = false;
    // With WindowsFlagDraw the text is placed by WindowsFlags, the platform's text drawing flags
    // (centre 0x1, right 0x2, vertical centre 0x4, bottom 0x8, word break 0x10, single line 0x20,
    // path ellipsis 0x4000, end ellipsis 0x8000, word ellipsis 0x40000), instead of the settings below.
    bool WindowsFlagDraw = false;
    int WindowsFlags = 0;
    bool FrameOptionsUse = false;
    int FrameOptions = 0; // set of TphFrameOption
    TphFrameKind FrameKind = fkNormal;
    TColor FrameColor = clBlack;
    bool HorzAlignRight = false;
    bool HorzAlignCenter = false;
    bool VertAlignCenter = false;
    bool EndEllipsis = false;
    // Draws one side of the frame itself: set handled, or the grid draws the line.
    std::function<void(const TphCellLayout& layout, QPainter* canvas, TphFrameOption side, QPoint from,
                       QPoint to, bool& handled)>
        OnFrameLineDraw;
};

struct TphGrid_Column {
    int Width = 64;
    TColumnKind Kind = tckSimpleEdit;
    QString HeaderText;
    bool SortEnable = true;
    bool ReadOnly = false;
    QString SubGridName;
    bool TreeButton = false;
    bool HasIcon = false;
    bool Hidden = false;
    QString LayoutName;
    // Neighbouring rows with the same text show as one cell.
    bool Groupcells = false;
    bool NumericSort = false;
    // Date and time editors carry a box that, cleared, leaves the cell empty.
    bool CheckBoxOnDateTime = false;
    QStringList ComboItems;
    // The picture of a cell of a HasIcon column: an index into the grid's ImageList, -1 for none.
    std::function<void(TphGrid*, int col, int gridRow, int& imageIndex)> OnGetIconIndex;
    // Whether two neighbouring rows make one group cell; their texts are compared before.
    std::function<void(TphGrid*, int col, int gridRow1, int gridRow2, bool& same)> OnGroupcellCompare;
    // A sub grid is opening on a cell of this column: fill it, or change it, for that cell.
    std::function<void(TphGrid*, int col, int gridRow, TphGrid* subGrid)> OnContextSensitiveSubGrid;
};

// A grid that opens on a cell of a tckSubGrid or tckSubTree column naming it.
struct TphGrid_SubGrid {
    QString Name;
    std::vector<TphGrid_Column> Columns;
    bool HasHeaders = true;
    bool HasInfoCol = true;
    bool ExtendLastColumnToWidth = false;
};

class TphGrid : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool HasHeaders READ HasHeaders WRITE SetHasHeaders)
    Q_PROPERTY(bool HasInfoCol READ HasInfoCol WRITE SetHasInfoCol)
    Q_PROPERTY(bool RowSelect READ RowSelect WRITE SetRowSelect)
    Q_PROPERTY(bool MultiSelect READ MultiSelect WRITE SetMultiSelect)
    Q_PROPERTY(bool ExtendLastColumnToWidth READ ExtendLastColumnToWidth WRITE SetExtendLastColumnToWidth)
    Q_PROPERTY(bool UserSortEnable READ UserSortEnable WRITE SetUserSortEnable)
    Q_PROPERTY(bool AutoEditMode READ AutoEditMode WRITE SetAutoEditMode)
    Q_PROPERTY(bool FocusRect_Cell READ FocusRect_Cell WRITE SetFocusRect_Cell)
    Q_PROPERTY(bool FocusRect_Grid READ FocusRect_Grid WRITE SetFocusRect_Grid)

public:
    static constexpr int DefaultRowHeight = 18;
    static constexpr int InfoColWidth = 12;
    // Pixels either side of a column's or row's edge where a press starts sizing it.
    static constexpr int SizingZone = 3;
    static constexpr int TreeIndent = 12;

    explicit TphGrid(QWidget* parent = nullptr);
    ~TphGrid() override;

    TphGridTree* Tree() const { return FTree; }
    // Called with every node that leaves the tree, before it goes, and with every node that comes in
    // (added, or loaded on demand).
    std::function<void(TphDataEntity_GridTreeNode*)> OnNodeDeleted;
    std::function<void(TphDataEntity_GridTreeNode*)> OnNodeInserted;

    std::vector<TphGrid_Column>& Columns() { return FColumns; }
    void SetColumns(const std::vector<TphGrid_Column>& columns);
    std::vector<TphGrid_SubGrid>& SubGrids() { return FSubGrids; }
    const TphGrid_SubGrid* SubGridNamed(const QString& name) const;
    std::vector<TphCellLayout>& CellLayouts() { return FCellLayouts; }
    const TphCellLayout* CellLayoutNamed(const QString& name) const;
    // Pictures of the HasIcon columns.
    std::vector<QPixmap> ImageList;

    // Rows in display order (expanded children follow their parent, hidden nodes are left out); grid
    // rows count the header as 0.
    int DisplayRowCount();
    TphDataEntity_GridTreeNode* NodeAt(int displayRow);
    int DisplayIndexOf(TphDataEntity_GridTreeNode* node);
    int GridRowOf(int displayRow) const { return displayRow + HeaderRows(); }
    int HeaderRows() const { return FHasHeaders ? 1 : 0; }
    TphDataEntity_GridTreeNode* NodeOfGridRow(int gridRow) { return NodeAt(gridRow - HeaderRows()); }

    QString Cell(int col, int gridRow);
    void SetCell(int col, int gridRow, const QString& text);

    int HeaderHeight() const { return FHasHeaders ? DefaultRowHeight : 0; }
    // A row's own height, at least its layouts' MinHeight, and tall enough for wrapped texts.
    int RowHeight(int displayRow);
    void SetRowHeight(int displayRow, int height);
    // Rectangle of a cell in grid coordinates; empty when the row is not on screen.
    QRect CellRect(int col, int gridRow);
    int ColumnLeft(int col) const;
    // A column's width, at least its layout's MinWidth; 0 when hidden.
    int ColumnWidth(int col) const;
    void SetColumnWidth(int col, int width);
    // First display row on screen.
    int TopRow() const { return FTopRow; }
    void SetTopRow(int row);
    // The row is on screen from its top to its bottom.
    bool RowFullyVisible(int displayRow);
    void ScrollRows(int delta) { SetTopRow(FTopRow + delta); }
    // Display row under a y of the grid, -1 for none.
    int DisplayRowAtY(int y);

    int FocusedRow() const { return FFocusedRow; }
    int FocusedColumn() const { return FFocusedCol; }
    void SetFocusedRow(int displayRow, bool select = true);
    void SelectRow(int displayRow, int shift);
    std::vector<TphDataEntity_GridTreeNode*> SelectedNodes();

    // The tree buttons, each answer open to the grid's events.
    bool IsButtonExpanded(TphDataEntity_GridTreeNode* node);
    bool IsButtonTerminal(TphDataEntity_GridTreeNode* node);
    bool ButtonHasNonHiddenChildren(TphDataEntity_GridTreeNode* node);
    // The cell whose button leads to the node: the parent's cell in the tree-button column, or
    // (-1, -1) for a node at the root.
    void ParentButtonCell(TphDataEntity_GridTreeNode* node, int& col, int& gridRow);
    // Opens or closes a node; a node opened for the first time gets its list of children.
    void ToggleNode(TphDataEntity_GridTreeNode* node);
    // Pixels between a cell's left edge and its text: the tree's indent, button and icon.
    int CellInset(int col, int gridRow);
    // The layout a cell is painted with: its column's, else the plain one.
    TphCellLayout CellLayoutOf(int col) const;
    // Whether a row continues the group cell of the row above in a Groupcells column.
    bool SameGroup(int col, int displayRow1, int displayRow2);

    // Sorting.
    // A row's sort key, and whether it came from a negative number (those sort by magnitude reversed).
    struct TSortKey {
        QString Text;
        bool Negative = false;
    };
    QString SortKey(int displayRow, int col);
    static int CompareKeys(const TSortKey& a, const TSortKey& b, bool descending);
    void SortByColumn(int col, bool descending = false);
    // A date typed in the platform's short date format, with month names allowed.
    static bool ReadDateText(const QString& text, QDate& date);
    // The platform's time format, as time cells are written.
    static QString TimeFormat();

    // Editing in place.
    void BeginEdit(int col, int displayRow);
    // Stores the editor's text in the cell (a sub grid leaves it), hides the editor, raises OnEditStop.
    void EndEdit();
    // Hides the editor without storing anything.
    void CancelEdit();
    bool Editing() const { return FEditor != nullptr; }
    QWidget* Editor() const { return FEditor; }
    // The sub grid open on a cell, if any.
    TphGrid* SubGrid() const;

    bool HasHeaders() const { return FHasHeaders; }
    void SetHasHeaders(bool v);
    bool HasInfoCol() const { return FHasInfoCol; }
    void SetHasInfoCol(bool v);
    bool RowSelect() const { return FRowSelect; }
    void SetRowSelect(bool v) { FRowSelect = v; }
    bool MultiSelect() const { return FMultiSelect; }
    void SetMultiSelect(bool v) { FMultiSelect = v; }
    bool ExtendLastColumnToWidth() const { return FExtendLast; }
    void SetExtendLastColumnToWidth(bool v);
    bool UserSortEnable() const { return FUserSortEnable; }
    void SetUserSortEnable(bool v) { FUserSortEnable = v; }
    bool AutoEditMode() const { return FAutoEditMode; }
    void SetAutoEditMode(bool v) { FAutoEditMode = v; }
    bool FocusRect_Cell() const { return FFocusRectCell; }
    void SetFocusRect_Cell(bool v);
    bool FocusRect_Grid() const { return FFocusRectGrid; }
    void SetFocusRect_Grid(bool v);

    // Events; unassigned ones do nothing. Cells are named by column and grid row.
    std::function<void(TphGrid*, int col, int gridRow)> OnEditStop;
    // The user let go of a column or row edge after sizing it.
    std::function<void(TphGrid*)> OnAfterUserSize;
    std::function<void(TphGrid*)> OnTopLeftChanged;
    // A cell is about to be painted with this layout, which the handler may change.
    std::function<void(TphGrid*, int col, int gridRow, TphCellLayout& layout)> OnBeforeRenderCell;
    // The cell's background is painted: the handler may draw the rest and set done.
    std::function<void(TphGrid*, int col, int gridRow, QPainter* canvas, const QRect& rect, bool& done)>
        OnUserRenderCell;
    std::function<void(TphGrid*, int col)> OnColumnResized;
    std::function<void(TphGrid*, int gridRow)> OnRowResized;
    std::function<void(TphGrid*, int col, bool descending)> OnColumnSort;
    // A node's list of children was made: the handler may fill it (for instance with rows to load later).
    std::function<void(TphGrid*, TphDataEntity_GridTreeNode* parent, TphDataList_GridTree* list)>
        OnInitTreeSubDataList;
    std::function<void(TphGrid*, int displayRow, int col, QString& key)> OnGetUserSortCompareString;
    // A sort is asked for: a handler that sorts itself sets handled.
    std::function<void(TphGrid*, int col, bool descending, bool& handled)> OnUserSort;
    // A combo editor is about to open with these items.
    std::function<void(TphGrid*, int col, int gridRow, QStringList& items)> OnBeforeEditWithCombo;
    // A node was loaded on demand: fill it.
    std::function<void(TphGrid*, TphDataEntity_GridTreeNode*)> OnVirtualLoad;
    // The list would drop a node from memory; it goes only when the handler allows it.
    std::function<void(TphGrid*, TphDataEntity_GridTreeNode*, bool& unload)> OnVirtualUnLoad;
    std::function<void(TphGrid*)> OnAxisChanged;
    std::function<void(TphGrid*)> OnSelectionChanged;
    // The tree button of a node was clicked (the node is opened or closed).
    std::function<void(TphGrid*, TphDataEntity_GridTreeNode*)> OnButtonClick;
    std::function<void(TphGrid*, int col, int gridRow, int& inset)> OnCellInset;
    std::function<void(TphGrid*, TphDataEntity_GridTreeNode*, bool& expanded)> OnIsButtonExpanded;
    std::function<void(TphGrid*, TphDataEntity_GridTreeNode*, bool& terminal)> OnIsButtonTerminal;
    std::function<void(TphGrid*, TphDataEntity_GridTreeNode*, int& col, int& gridRow)> OnGetParentButtonCell;
    std::function<void(TphGrid*, TphDataEntity_GridTreeNode*, bool& has)> OnButtonHasNonHiddenChildren;
    std::function<void(TphGrid*)> OnGridResize;
    // An editor opens on a cell: a cleared flag makes it read-only.
    std::function<void(TphGrid*, int col, int gridRow, bool& canModify)> OnEditorCanModify;
    std::function<void(TphGrid*, int col, int gridRow)> OnRightClick;
    std::function<void(TphGrid*, int col, int gridRow)> OnCellSelectionChanged;

    // Display order must be rebuilt (nodes added, removed, sorted, expanded, shown or hidden).
    void AxisChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void RebuildDisplay();
    TSortKey SortKeyOf(TphDataEntity_GridTreeNode* node, int col, int displayRow);
    void AddToDisplay(TphDataList_GridTree* list);
    // The node of a display row when it is in memory, without loading it.
    TphDataEntity_GridTreeNode* LoadedNodeAt(int displayRow) const;
    int ColumnAtX(int x) const;
    void RaiseTopLeftChanged();
    // The column whose right edge, or the display row whose bottom edge, lies under the point; -1 for none.
    int ColumnEdgeAt(const QPoint& at) const;
    int RowEdgeAt(const QPoint& at);
    static int Depth(const TphDataEntity_GridTreeNode* node);
    // Where a node's tree button starts in a tree-button column.
    int TreeButtonLeft(int col, const TphDataEntity_GridTreeNode* node) const;
    // Painting (phGridPaint.cpp).
    void PaintCell(QPainter& p, int col, int displayRow, const QRect& cell);
    void PaintTreeButton(QPainter& p, TphDataEntity_GridTreeNode* node, int x, const QRect& cell);
    void PaintFrame(QPainter& p, const TphCellLayout& layout, const QRect& cell);
    // Editors (phGridEdit.cpp).
    QWidget* CreateEditor(int col, int displayRow, const QString& text, bool canModify);
    // The text an editor writes back; false for a sub grid, which leaves its cell as it is.
    bool EditorText(QWidget* editor, QString& text) const;
    void CloseEditor(bool store);

    TphDataListEvents FNodeEvents;
    TphGridTree* FTree = nullptr;
    std::vector<TphGrid_Column> FColumns;
    std::vector<TphGrid_SubGrid> FSubGrids;
    std::vector<TphCellLayout> FCellLayouts;
    // A display row is a position in a list: a row not in memory is loaded when it is asked for.
    struct TDisplayRow {
        TphDataList_GridTree* List;
        int Pos;
    };
    std::vector<TDisplayRow> FDisplay;
    bool FDisplayDirty = true;
    // While the grid walks its rows (painting, sorting, rebuilding) no node may leave memory.
    int FWalking = 0;
    struct TWalk {
        int& Counter;
        explicit TWalk(int& counter) : Counter(counter) { ++Counter; }
        ~TWalk() { --Counter; }
        TWalk(const TWalk&) = delete;
        TWalk& operator=(const TWalk&) = delete;
    };
    // The row being loaded on demand, so that the nodes coming in learn their display rows.
    TphDataList_GridTree* FResolveList = nullptr;
    int FResolvePos = 0;
    int FResolveRow = 0;
    // A node leaving memory keeps its position: the display stays as it is.
    TphDataEntity_GridTreeNode* FUnloadingNode = nullptr;
    TphDataList* FUnloadingList = nullptr;
    quint32 FDisplayGeneration = 0;
    int FTopRow = 0;
    int FFocusedRow = -1;
    int FAnchorRow = -1;
    int FFocusedCol = 0;
    bool FHasHeaders = true;
    bool FHasInfoCol = true;
    bool FRowSelect = false;
    bool FMultiSelect = false;
    bool FExtendLast = false;
    bool FUserSortEnable = false;
    bool FAutoEditMode = false;
    bool FFocusRectCell = true;
    bool FFocusRectGrid = true;
    bool FDestroying = false;
    int FSortCol = -1;
    bool FSortDescending = false;
    QWidget* FEditor = nullptr;
    int FEditCol = -1;
    // Whether the open editor may change its cell: a read-only one stores nothing when it closes.
    bool FEditCanModify = true;
    TphDataEntity_GridTreeNode* FEditNode = nullptr;
    // Sizing a column (FSizingCol) or a row (FSizingRow) with the mouse.
    int FSizingCol = -1;
    int FSizingRow = -1;
    int FSizingFrom = 0;
    int FSizingStart = 0;
};
