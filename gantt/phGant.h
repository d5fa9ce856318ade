#pragma once
// The Gantt control: the grid of rows on the left, a splitter, the date scaler above the Gantt area
// on the right and the vertical scroll bar. The area paints rows, time items, their texts and the
// links between them, maps points back to items, and lets the user move, copy and resize items.
#include <QFont>
#include <QImage>
#include <QPair>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <functional>
#include <vector>

#include "gantt/phDataEntityPack.h"
#include "gantt/phGrid.h"
#include "gantt/phOffscreenPaint.h"

class QScrollBar;
class QSplitter;
class QTabWidget;
class QTimer;
class TphDateScaler;
class TphGant;
struct TDistinctTimeHolder;

// The painted area of the chart; the control does the work, the area only forwards its events.
class TphGantArea : public TphOffscreenPaint {
    Q_OBJECT
public:
    explicit TphGantArea(TphGant* gant, QWidget* parent);

protected:
    void Paint() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TphGant* FGant;
};

// Small window that shows the times of the item under the mouse.
class TGraphHintWindow : public QWidget {
public:
    explicit TGraphHintWindow(QWidget* parent);
    QString Text;
    // Sets Text and grows the window, from its 120 x 30 pixels, until every line of it shows.
    void SetText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Rounds moved and resized times to steps that follow the zoom level.
struct TSnapHandler {
    double StartStep = 5.0 / (24 * 60);
    double StopStep = 1.0 / (24 * 60);
    bool SnapStart = true;
    bool SnapStop = true;
    bool SnapStopOnMove = false;
    double PixelDuration = 0;

    static double Step(double base, double pixelDuration);
    // Nearest multiple of step counted from the value's own midnight.
    static double SnapValue(double value, double step);
    void Snap(double& start, double& stop) const;
};

class TphGant;
// The published surface of the control carries the same name the forms use.
using TphGant_ComBasic = TphGant;

enum TLinkShow { lsOneEndVisible, lsBothEndsVisible, lsAlways };
enum TTimeItemAutoScroll { ttiaHorzAndVert, ttiaHorz, ttiaVert, ttiaNone };

class TphGant : public QWidget, public TphGantRowHost {
    Q_OBJECT
    Q_PROPERTY(double Start READ Start WRITE SetStart)
    Q_PROPERTY(double Stop READ Stop WRITE SetStop)
    Q_PROPERTY(double Scale READ Scale)
    Q_PROPERTY(double MinStart READ MinStart WRITE SetMinStart)
    Q_PROPERTY(double MaxStop READ MaxStop WRITE SetMaxStop)
    Q_PROPERTY(QString DateFormat READ DateFormat WRITE SetDateFormat)
    Q_PROPERTY(QString TimeFormat READ TimeFormat WRITE SetTimeFormat)
    Q_PROPERTY(uint GantBackColor READ GantBackColor WRITE SetGantBackColor)
    Q_PROPERTY(uint GantPyjamasColor READ GantPyjamasColor WRITE SetGantPyjamasColor)
    Q_PROPERTY(bool VerticalPyjamas MEMBER VerticalPyjamas)
    Q_PROPERTY(bool DrawShortLines MEMBER DrawShortLines)
    Q_PROPERTY(bool DrawLongLines MEMBER DrawLongLines)
    Q_PROPERTY(bool TodayLineOnOff MEMBER TodayLineOnOff)
    Q_PROPERTY(bool MoveOver12Then24 MEMBER MoveOver12Then24)
    Q_PROPERTY(bool MoveInTimeWhenMoveRow MEMBER MoveInTimeWhenMoveRow)
    Q_PROPERTY(bool StartDragWhenTimeMoveOutside MEMBER StartDragWhenTimeMoveOutside)
    Q_PROPERTY(int ScalerHeight READ ScalerHeight WRITE SetScalerHeight)
    Q_PROPERTY(int TreeWidth READ TreeWidth WRITE SetTreeWidth)
    Q_PROPERTY(bool UseGridNotTree READ UseGridNotTree WRITE SetUseGridNotTree)
    // The grid's settings under the chart's names.
    Q_PROPERTY(bool Grid_HasHeaders READ Grid_HasHeaders WRITE SetGrid_HasHeaders)
    Q_PROPERTY(bool Grid_HasInfoCol READ Grid_HasInfoCol WRITE SetGrid_HasInfoCol)
    Q_PROPERTY(bool Grid_RowSelect READ Grid_RowSelect WRITE SetGrid_RowSelect)
    Q_PROPERTY(bool Grid_MultiSelect READ Grid_MultiSelect WRITE SetGrid_MultiSelect)
    Q_PROPERTY(bool Grid_ExtendLastColumnToWidth READ Grid_ExtendLastColumnToWidth WRITE
                   SetGrid_ExtendLastColumnToWidth)
    Q_PROPERTY(bool Grid_UserSortEnable READ Grid_UserSortEnable WRITE SetGrid_UserSortEnable)
    Q_PROPERTY(bool Grid_AutoEditMode READ Grid_AutoEditMode WRITE SetGrid_AutoEditMode)
    Q_PROPERTY(bool Grid_FocusRect_Cell READ Grid_FocusRect_Cell WRITE SetGrid_FocusRect_Cell)
    Q_PROPERTY(bool Grid_FocusRect_Grid READ Grid_FocusRect_Grid WRITE SetGrid_FocusRect_Grid)

public:
    static constexpr int DefaultRowHeight = 18;

    explicit TphGant(QWidget* parent = nullptr);
    ~TphGant() override;

    // Parts.
    TphDateScaler* Scaler() const { return FScaler; }
    TphGantArea* GantArea() const { return FArea; }
    TphGrid* Grid() const { return FGrid; }
    TphGridTree* GridTree() const;
    QScrollBar* VertScrollBar() const { return FScrollBar; }
    TGantRowList* RowList() const { return FRowList; }
    TphDataList* LinkList() const { return FLinkList; }

    // Rows and items.
    TGantRow* RowOfNode(TphDataEntity_GridTreeNode* node) const;
    // The row whose rectangle holds y (top < y < bottom); only rows on screen have one.
    TGantRow* RowAtY(int y) const;
    TphDataEntity_GantTime* TimeAt(int x, int y);
    TphDataEntity_Link* AddLink(TphDataEntity_GantTime* from, TphDataEntity_GantTime* to);
    void DeselectAll();
    // Every selected time item of the control, in traversal order.
    std::vector<TphDataEntity_GantTime*> SelectedItems();
    // True for an item the control refers to: selected, current, under the hint, being resized or
    // dragged.
    bool Holds(const TphDataEntity_GantTime* item) const;
    // Top and bottom of the band an item is drawn in; false when its row is not placed.
    bool BandOf(TphDataEntity_GantTime* item, int& top, int& bottom) const;
    // Rows on screen, in display order, after the last geometry update.
    const std::vector<TGantRow*>& RowsOnScreen() const { return FRowsOnScreen; }
    void UpdateAllGeometry();
    void Repaint();
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return FUpdateCount > 0; }

    // TphGantRowHost.
    TphDataListEvents* TimeItemEvents() override { return &FTimeEvents; }
    TphDataList3lev* AllLayers() override { return FAllLayers; }
    TGantRow* CreateGantRow(TphDataEntity* treeNode, TphDataEntity* gridNode) override;
    void AfterAddGantRow(TGantRow* row) override;
    void BeforeFreeGantRow(TGantRow* row) override;
    TGantRow* RowStoredIn(TphDataEntity* node) override;
    QRect ItemRect(TphDataEntity_GantTime* item) override;
    void UpdateRowGeometry(TGantRow* row) override;
    void RelayoutRow(TGantRow* row) override;
    void CancelRowWork(TGantRow* row) override;
    void InvalidateGantArea() override;

    // Scaler settings published by the control.
    double Start() const;
    void SetStart(double v);
    double Stop() const;
    void SetStop(double v);
    double Scale() const;
    double MinStart() const;
    void SetMinStart(double v);
    double MaxStop() const;
    void SetMaxStop(double v);
    QString DateFormat() const;
    void SetDateFormat(const QString& v);
    QString TimeFormat() const;
    void SetTimeFormat(const QString& v);

    // Appearance.
    TColor GantBackColor() const { return FGantBackColor; }
    void SetGantBackColor(TColor c);
    TColor GantPyjamasColor() const { return FGantPyjamasColor; }
    void SetGantPyjamasColor(TColor c);
    bool VerticalPyjamas = false;
    bool DrawShortLines = false;
    bool DrawLongLines = false;
    bool TodayLineOnOff = false;
    TColor TodayLineColor = clBlack;
    TLinkShow LinkShow = lsOneEndVisible;
    TLinkStyle DefaultLinkStyle = TLinkStyle::tlsDefault;
    TColor DefaultLinkColor = clBlue;
    int DefaultLinkPenWidth = 1;
    int DefaultLinkCursor = -21;
    int CursorGantArea = -2;
    QFont FontTimeItemStyle1;
    QFont FontTimeItemStyle2;
    QFont FontTimeItemStyle3;
    // A time item text wider than its item is drawn in a smaller font (down to 7 pixels) instead
    // of being cut to its first characters.
    bool FitTimeItemTexts = false;
    std::vector<QPixmap> ImageList;
    int ScalerHeight() const { return FScalerHeight; }
    void SetScalerHeight(int v);
    int TreeWidth() const { return FTreeWidth; }
    void SetTreeWidth(int v);
    bool UseGridNotTree() const { return FUseGridNotTree; }
    void SetUseGridNotTree(bool v) { FUseGridNotTree = v; }
    bool UseTabSheets = false;

    // The grid beside the chart, republished: its settings with a "Grid_" prefix, its events with a
    // "_Grid" suffix. The chart keeps the grid's own top-left and axis events for itself and passes them on.
    std::vector<TphGrid_Column>& Grid_Columns();
    std::vector<TphGrid_SubGrid>& Grid_SubGrids();
    std::vector<TphCellLayout>& Grid_CellLayouts();
    std::vector<QPixmap>& Grid_ImageList();
    bool Grid_HasHeaders() const;
    void SetGrid_HasHeaders(bool v);
    bool Grid_HasInfoCol() const;
    void SetGrid_HasInfoCol(bool v);
    bool Grid_RowSelect() const;
    void SetGrid_RowSelect(bool v);
    bool Grid_MultiSelect() const;
    void SetGrid_MultiSelect(bool v);
    bool Grid_ExtendLastColumnToWidth() const;
    void SetGrid_ExtendLastColumnToWidth(bool v);
    bool Grid_UserSortEnable() const;
    void SetGrid_UserSortEnable(bool v);
    bool Grid_AutoEditMode() const;
    void SetGrid_AutoEditMode(bool v);
    bool Grid_FocusRect_Cell() const;
    void SetGrid_FocusRect_Cell(bool v);
    bool Grid_FocusRect_Grid() const;
    void SetGrid_FocusRect_Grid(bool v);
    decltype(TphGrid::OnEditStop) OnEditStop_Grid;
    decltype(TphGrid::OnAfterUserSize) OnAfterUserSize_Grid;
    decltype(TphGrid::OnTopLeftChanged) OnTopLeftChanged_Grid;
    decltype(TphGrid::OnBeforeRenderCell) OnBeforeRenderCell_Grid;
    decltype(TphGrid::OnUserRenderCell) OnUserRenderCell_Grid;
    decltype(TphGrid::OnColumnResized) OnColumnResized_Grid;
    decltype(TphGrid::OnRowResized) OnRowResized_Grid;
    decltype(TphGrid::OnColumnSort) OnColumnSort_Grid;
    decltype(TphGrid::OnInitTreeSubDataList) OnInitTreeSubDataList_Grid;
    decltype(TphGrid::OnGetUserSortCompareString) OnGetUserSortCompareString_Grid;
    decltype(TphGrid::OnUserSort) OnUserSort_Grid;
    decltype(TphGrid::OnBeforeEditWithCombo) OnBeforeEditWithCombo_Grid;
    decltype(TphGrid::OnVirtualLoad) OnVirtualLoad_Grid;
    decltype(TphGrid::OnVirtualUnLoad) OnVirtualUnLoad_Grid;
    decltype(TphGrid::OnAxisChanged) OnAxisChanged_Grid;
    decltype(TphGrid::OnSelectionChanged) OnSelectionChanged_Grid;
    decltype(TphGrid::OnButtonClick) OnButtonClick_Grid;
    decltype(TphGrid::OnCellInset) OnCellInset_Grid;
    decltype(TphGrid::OnIsButtonExpanded) OnIsButtonExpanded_Grid;
    decltype(TphGrid::OnIsButtonTerminal) OnIsButtonTerminal_Grid;
    decltype(TphGrid::OnGetParentButtonCell) OnGetParentButtonCell_Grid;
    decltype(TphGrid::OnButtonHasNonHiddenChildren) OnButtonHasNonHiddenChildren_Grid;
    decltype(TphGrid::OnGridResize) OnGridResize_Grid;
    decltype(TphGrid::OnEditorCanModify) OnEditorCanModify_Grid;
    decltype(TphGrid::OnRightClick) OnRightClick_Grid;
    decltype(TphGrid::OnCellSelectionChanged) OnCellSelectionChanged_Grid;

    // Interaction settings.
    bool MoveInTimeWhenMoveRow = false;
    bool MoveOver12Then24 = false;
    bool StartDragWhenTimeMoveOutside = false;
    TTimeItemAutoScroll TimeItemAutoScroll = ttiaHorzAndVert;
    TSnapHandler Snap;

    // Interaction state.
    enum TMouseState { msIdle = 0, msMoving = 1, msCopying = 2, msResizeStart = 3, msResizeStop = 4 };
    int MouseState() const { return FMouseState; }
    void CancelMouseOperation();
    // Ends a gesture whose release never came (a window took it), leaving its items where they are.
    void EndLostGesture();
    TphDataEntity_GantTime* CurrentItem() const { return FCurrentItem; }
    void SetCurrentItem(TphDataEntity_GantTime* item);
    // Makes the item selected alone (or toggles it with Shift or Ctrl) and repaints.
    void ClickSelect(TphDataEntity_GantTime* item, int shift);
    // Rows deferred because too many workers ran.
    bool SomeRowsDeferred() const { return FSomeRowsDeferred; }

    // Hints.
    TGraphHintWindow* HintWindow() const { return FHint; }
    QString HintText(TphDataEntity_GantTime* item) const;
    void RequestHint(TphDataEntity_GantTime* item);

    // Events.
    std::function<void(TphGant*, const QRect&, QPainter*)> OnUserDrawBackground;
    std::function<void(TphGant*, const QRect&, QPainter*)> OnUserDrawForeground;
    std::function<void(TphGant*, TphDataEntity_GantTime*, const QRect&, QPainter*)> OnUserDrawTime;
    std::function<void(TphGant*, TphDataEntity_Link*, QPoint endPoint, QPoint startPoint, QPainter*)>
        OnUserDrawLinks;
    std::function<void(TphDataEntity_GantTime*, double length, double stop, double start)> OnHintInfo;
    std::function<void(TphGant*, double start, double stop)> OnScalerChange;
    std::function<void(TphGant*, int areaWidth, double start, double stop)> OnAlignNeed;
    std::function<void(TphGant*, TphDataEntity_GantTime*)> OnClickGantArea;
    std::function<void(TphGant*, TphDataEntity_GantTime*)> OnRightClickGantArea;
    std::function<void(TphGant*, TphDataEntity_GantTime*)> OnDblClickGantArea;
    std::function<void(TphGantArea*, TMouseButton, int shift, int x, int y)> OnGantAreaMouseDown;
    std::function<void(TphGantArea*, int shift, int x, int y)> OnGantAreaMouseMove;
    std::function<void(TphGantArea*, TMouseButton, int shift, int x, int y)> OnGantAreaMouseUp;
    using TTimeDropEvent =
        std::function<void(TphGant*, TphDataEntity_GantTime* item, TGantRow* fromRow, TGantRow* toRow,
                           double start, double stop, TphDataEntity_GantTime*& selectItem)>;
    TTimeDropEvent OnTimeCopy;
    TTimeDropEvent OnTimeChangeRow;
    std::function<void(TphGant*, TphDataEntity_GantTime*)> OnChangeDataEntity_GantTime;
    std::function<void(TphGant*, TphDataEntity_GantTime*)> OnValueChanged_GantTime;
    std::function<void(TphGant*, TphDataEntity_GantTime*)> OnInsertItem_GantTime;
    // A time item a list created on demand (its position is its Index): the handler fills it in.
    std::function<void(TphGant*, TphDataEntity_GantTime*)> OnVirtualLoad_GantTime;
    // Whether a loaded time item may go again; it is made anew when asked for. Rows that leave the
    // screen let go of what this allows, except what the control itself holds (Holds).
    std::function<void(TphGant*, TphDataEntity_GantTime*, bool& canUnload)> OnCanUnload_GantTime;
    std::function<void(TphGant*, TGantRow*, int& layer)> OnKeyNavigateDataList;
    std::function<void(TphGant*, TphDataEntity_GantTime*, int& band)> OnCollisionDetected;
    std::function<void(TphGantArea*)> OnGantAreaStartDrag;
    std::function<void(TphGantArea*, QObject* source, int x, int y)> OnGantAreaDragDrop;
    std::function<void(TphGantArea*, QObject* source, int x, int y, bool& accept)> OnGantAreaDragOver;
    std::function<TGantRow*(TphGant*, TphDataEntity* treeNode, TphDataEntity* gridNode)> OnUserCreateGantRow;
    std::function<void(TphGant*, TGantRow*)> OnAfterAddGantRow;
    std::function<void(TphGant*, TGantRow*)> OnBeforeFreeGantRow;

    // Handling of the area's input (called by the area; public for the wrapper).
    void AreaMouseDown(TMouseButton button, int shift, int x, int y, bool doubleClick);
    void AreaMouseMove(int shift, int x, int y);
    void AreaMouseUp(TMouseButton button, int shift, int x, int y);
    void AreaDblClick();
    // Returns true when the key was used.
    bool AreaKeyDown(int key, int shift);
    void PaintArea(QPainter& p);

    // Collision layout of a row, run on the window thread.
    void UpdateSubColumns(TGantRow* row);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // What a release does before the handlers hear of it.
    void ReleaseMouse(int shift, int x, int y);
    friend class TphGantArea;
    void RepublishGridEvents();
    void ScalerChanged();
    void SyncScrollBar();
    // Whole rows the area shows, and the last row that may stand at its top.
    int VisibleRows() const;
    int MaxTopRow() const;
    void OnTimeInserted(TphDataEntity* e);
    void OnNodeDeleted(TphDataEntity_GridTreeNode* node);
    void OnNodeInserted(TphDataEntity_GridTreeNode* node);
    void FontForText(QPainter* canvas, int fontStyle) const;
    // Painting.
    void DrawBackground(QPainter& p);
    void DrawItem(QPainter& p, TphDataEntity_GantTime* item, QRect r);
    void DrawLinks(QPainter& p);
    void DrawLink(QPainter& p, TphDataEntity_Link* link);
    // Interaction.
    void DrawOutlines(int dx, int dy);
    void AutoScroll(int x, int y, bool vertical);
    void ApplyMove(int x, int dx, int dy);
    void ApplyResize(int dx);
    TGantRow* PressRow(int y) const;
    bool OnResizeZone(TphDataEntity_GantTime* item, int x, int y, bool* atStart);
    void TimeDistinctThreadDone(TGantRow* row, std::vector<TDistinctTimeHolder>& holders);

    TphDateScaler* FScaler = nullptr;
    TphGantArea* FArea = nullptr;
    TphGrid* FGrid = nullptr;
    QWidget* FLeftHolder = nullptr;
    QWidget* FLeftSpacer = nullptr;
    QWidget* FRightSpacer = nullptr;
    QSplitter* FSplitter = nullptr;
    QWidget* FPanelScaleAndGantHolder = nullptr;
    QWidget* FRightPanel = nullptr;
    QScrollBar* FScrollBar = nullptr;
    QTabWidget* FPageControl = nullptr;
    TGraphHintWindow* FHint = nullptr;
    QTimer* FHintShowTimer = nullptr;
    QTimer* FHintHideTimer = nullptr;
    QTimer* FAutoScrollTimer = nullptr;

    TphDataListEvents FTimeEvents;
    TphDataListEvents FLinkEvents;
    TphDataList3lev* FAllLayers = nullptr;
    TGantRowList* FRowList = nullptr;
    TphDataList* FLinkList = nullptr;
    std::vector<TGantRow*> FRowsOnScreen;
    // Item rectangles of the rows on screen in hit-test order, kept until the area changes.
    std::vector<std::vector<std::pair<QRect, TphDataEntity_GantTime*>>> FHitRects;
    bool FHitRectsValid = false;
    QImage FPyjamaImage;
    QPair<TColor, TColor> FPyjamaKey;
    int RowIndexAtY(int y) const;
    void BuildHitRects();
    QSet<TphDataEntity_GantTime*> FSelected;
    int FLastRowCount = -1;

    TColor FGantBackColor = clSilver;
    TColor FGantPyjamasColor = clGray;
    int FScalerHeight = 45;
    int FTreeWidth = 150;
    bool FUseGridNotTree = true;
    int FDefaultRowHeight = DefaultRowHeight;
    int FUpdateCount = 0;
    bool FDestroying = false;
    bool FSomeRowsDeferred = false;
    bool FSyncingScroll = false;
    // Set while rows that left the screen let go of items: nothing of them is drawn.
    bool FUnloadingRows = false;
    bool FPainting = false;

    // Mouse and keyboard state.
    int FMouseState = msIdle;
    bool FPressed = false;
    int FPressX = 0;
    int FPressY = 0;
    double FPressDate = 0;
    QPoint FDragOffset;
    bool FOutlineDrawn = false;
    QPointer<QObject> FAlive;
    TphDataEntity_GantTime* FCurrentItem = nullptr;
    TphDataEntity_GantTime* FResizeItem = nullptr;
    QRect FResizeRect;
    std::vector<std::pair<QRect, TphDataEntity_GantTime*>> FDragRects;
    bool FPendingClick = false;
    bool FAutoScrollDown = false;
    TphDataEntity_GantTime* FHintItem = nullptr;
};
