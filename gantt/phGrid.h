#pragma once
// The grid that lists the Gantt rows on the left of the chart: a tree of row nodes shown in display
// order, typed columns with in-place editors, a header, row selection and sorting. The Gantt area
// takes its row heights and scroll position from here.
#include <QHash>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

#include "gantt/phDataEntityPack.h"

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
    void Clear();

private:
    TphDataListEvents* FEvents;
    TphDataList_GridTree* FRoot;
};

enum TColumnKind { tckSimpleEdit, tckMemo, tckBool, tckCombo, tckDate, tckTime, tckSubGrid, tckSubTree };

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
    bool NumericSort = false;
    QStringList ComboItems;
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

public:
    static constexpr int DefaultRowHeight = 18;
    static constexpr int InfoColWidth = 12;

    explicit TphGrid(QWidget* parent = nullptr);
    ~TphGrid() override;

    TphGridTree* Tree() const { return FTree; }
    // Called with every node that leaves the tree, before it goes.
    std::function<void(TphDataEntity_GridTreeNode*)> OnNodeDeleted;
    std::function<void(TphDataEntity_GridTreeNode*)> OnNodeInserted;

    std::vector<TphGrid_Column>& Columns() { return FColumns; }
    void SetColumns(const std::vector<TphGrid_Column>& columns);

    // Rows in display order (expanded children follow their parent); grid rows count the header as 0.
    int DisplayRowCount();
    TphDataEntity_GridTreeNode* NodeAt(int displayRow);
    int DisplayIndexOf(TphDataEntity_GridTreeNode* node);
    int GridRowOf(int displayRow) const { return displayRow + HeaderRows(); }
    int HeaderRows() const { return FHasHeaders ? 1 : 0; }
    TphDataEntity_GridTreeNode* NodeOfGridRow(int gridRow) { return NodeAt(gridRow - HeaderRows()); }

    QString Cell(int col, int gridRow);
    void SetCell(int col, int gridRow, const QString& text);

    int HeaderHeight() const { return FHasHeaders ? DefaultRowHeight : 0; }
    int RowHeight(int displayRow);
    void SetRowHeight(int displayRow, int height);
    // Rectangle of a cell in grid coordinates; empty when the row is not on screen.
    QRect CellRect(int col, int gridRow);
    int ColumnLeft(int col) const;
    int ColumnWidth(int col) const;
    // First display row on screen, and how many rows fit (the last may be cut).
    int TopRow() const { return FTopRow; }
    void SetTopRow(int row);
    int VisibleRowCount();
    void ScrollRows(int delta) { SetTopRow(FTopRow + delta); }
    // Display row under a y of the grid, -1 for none.
    int DisplayRowAtY(int y);

    int FocusedRow() const { return FFocusedRow; }
    void SetFocusedRow(int displayRow, bool select = true);
    void SelectRow(int displayRow, int shift);
    std::vector<TphDataEntity_GridTreeNode*> SelectedNodes();

    // Sorting.
    QString SortKey(int displayRow, int col);
    static int CompareKeys(const QString& a, const QString& b, bool descending);
    void SortByColumn(int col, bool descending = false);
    // A date typed in the platform's short date format, with month names allowed.
    static bool ReadDateText(const QString& text, QDate& date);

    // Editing in place.
    void BeginEdit(int col, int displayRow);
    void EndEdit();
    bool Editing() const { return FEditor != nullptr; }
    QWidget* Editor() const { return FEditor; }

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

    std::function<void(TphGrid*, int col, int gridRow)> OnEditStop;
    std::function<void(TphGrid*)> OnTopLeftChanged;
    std::function<void(TphGrid*)> OnAxisChanged;
    std::function<void(TphGrid*)> OnSelectionChanged;
    std::function<void(TphGrid*, int col, int gridRow)> OnCellSelectionChanged;
    std::function<void(TphGrid*, int col, bool descending)> OnColumnSort;
    std::function<void(TphGrid*, int displayRow, int col, QString& key)> OnGetUserSortCompareString;
    std::function<void(TphGrid*, int col, int gridRow)> OnRightClick;

    // Display order must be rebuilt (nodes added, removed, sorted, expanded).
    void AxisChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void RebuildDisplay();
    QString SortKeyOf(TphDataEntity_GridTreeNode* node, int col, int displayRow);
    void AddToDisplay(TphDataList* list);
    int ColumnAtX(int x) const;
    void RaiseTopLeftChanged();

    TphDataListEvents FNodeEvents;
    TphGridTree* FTree = nullptr;
    std::vector<TphGrid_Column> FColumns;
    std::vector<TphDataEntity_GridTreeNode*> FDisplay;
    bool FDisplayDirty = true;
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
    bool FDestroying = false;
    int FSortCol = -1;
    bool FSortDescending = false;
    QWidget* FEditor = nullptr;
    int FEditCol = -1;
    TphDataEntity_GridTreeNode* FEditNode = nullptr;
};
