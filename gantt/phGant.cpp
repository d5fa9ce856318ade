#include "gantt/phGant.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <tuple>

#include "gantt/phDoLater.h"
#include "gantt/phGrid.h"
#include "gantt/phScaler.h"
#include "gantt/phTimeDistinctGeneric.h"
#include "platform/Numbers.h"

namespace {

const QRect kNoRect(QPoint(-1, -1), QSize(0, 0));

void updateSubColumnsLater(void* object, qintptr) {
    auto* row = static_cast<TGantRow*>(object);
    if (auto* gant = dynamic_cast<TphGant*>(row->Gant)) gant->UpdateSubColumns(row);
}

// The application's main form as the chart sees it: the outermost window its own window belongs to.
QWidget* mainFormOf(QWidget* w) {
    QWidget* form = w->window();
    while (form->parentWidget())
        form = form->parentWidget()->window();
    return form;
}

void showHintLater(void* object, qintptr) {
    auto* gant = static_cast<TphGant*>(object);
    TGraphHintWindow* hint = gant->HintWindow();
    // Only while the chart's form or the main form is active: a hint must not pop up over another
    // application's window.
    if (!(gant->window()->isActiveWindow() || mainFormOf(gant)->isActiveWindow()) || hint->Text.isEmpty())
        return;
    hint->move(QCursor::pos() + QPoint(12, 16));
    hint->show();
    hint->update();
}

void hideHintLater(void* object, qintptr) {
    static_cast<TphGant*>(object)->HintWindow()->hide();
}

void showCollisionError(const QString& text) {
    if (qEnvironmentVariableIsEmpty("TARNIX_NO_MESSAGEBOX"))
        QMessageBox::warning(nullptr, QString(), text);
    else
        qWarning("%s", qPrintable(text));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Snapping

double TSnapHandler::Step(double base, double pixelDuration) {
    if (base <= 0) return 0;
    return base * std::max(1.0, kv::roundHalfEven(pixelDuration / base));
}

double TSnapHandler::SnapValue(double value, double step) {
    if (step <= 0) return value;
    const double midnight = std::floor(value);
    return midnight + kv::roundHalfEven((value - midnight) / step) * step;
}

void TSnapHandler::Snap(double& start, double& stop) const {
    if (SnapStart) start = SnapValue(start, Step(StartStep, PixelDuration));
    if (SnapStop) stop = SnapValue(stop, Step(StopStep, PixelDuration));
}

// ---------------------------------------------------------------------------------------------
// Hint window

TGraphHintWindow::TGraphHintWindow(QWidget* parent) : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint) {
    resize(120, 30);
    setAttribute(Qt::WA_ShowWithoutActivating);
}

namespace {
// The text's lines are separated by carriage returns, which Qt's text drawing takes for blanks.
QString hintLines(const QString& text) {
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return lines;
}
} // namespace

void TGraphHintWindow::SetText(const QString& text) {
    Text = text;
    const QRect needed =
        fontMetrics().boundingRect(QRect(0, 0, 10000, 10000), Qt::AlignLeft | Qt::AlignTop, hintLines(text));
    resize(std::max(120, needed.width() + 5), std::max(30, needed.height() + 2));
}

void TGraphHintWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), phColorToQColor(clInfoBk, palette()));
    p.setPen(Qt::black);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.drawText(rect().adjusted(3, 1, -2, -1), Qt::AlignLeft | Qt::AlignTop, hintLines(Text));
}

// ---------------------------------------------------------------------------------------------
// Construction

TphGant::TphGant(QWidget* parent) : QWidget(parent) {
    FAllLayers = new TphDataList3lev;
    FRowList = new TGantRowList(this);

    FTimeEvents.Inserted = [this](TphDataEntity* e) { OnTimeInserted(e); };
    FTimeEvents.Deleted = [this](TphDataEntity* e) {
        if (FDestroying) return;
        auto* item = static_cast<TphDataEntity_GantTime*>(e);
        FSelected.remove(item);
        if (item == FCurrentItem) FCurrentItem = nullptr;
        if (item == FHintItem) FHintItem = nullptr;
        if (item == FResizeItem) {
            FResizeItem = nullptr;
            FMouseState = msIdle;
        }
        FDragRects.erase(std::remove_if(FDragRects.begin(), FDragRects.end(),
                                        [item](const auto& d) { return d.second == item; }),
                         FDragRects.end());
        if (FUnloadingRows) return;
        if (TGantRow* row = item->Row()) row->Relayout();
        InvalidateGantArea();
    };
    FTimeEvents.ContentChanged = [this](TphDataList*) {
        if (!FDestroying && !FUnloadingRows) InvalidateGantArea();
    };
    FTimeEvents.VirtualLoad = [this](TphDataEntity* e) {
        if (FDestroying) return;
        if (OnVirtualLoad_GantTime) OnVirtualLoad_GantTime(this, static_cast<TphDataEntity_GantTime*>(e));
        // What a paint loads, that paint draws.
        if (!FPainting) InvalidateGantArea();
    };
    FTimeEvents.CanUnload = [this](TphDataEntity* e, bool& canUnload) {
        auto* item = static_cast<TphDataEntity_GantTime*>(e);
        if (OnCanUnload_GantTime) OnCanUnload_GantTime(this, item, canUnload);
        if (Holds(item)) canUnload = false;
    };
    FTimeEvents.SelectionChanged = [this](TphDataList*, TphDataEntity* e) {
        if (FDestroying) return;
        auto* item = static_cast<TphDataEntity_GantTime*>(e);
        if (item->Selected)
            FSelected.insert(item);
        else
            FSelected.remove(item);
        InvalidateGantArea();
    };
    FTimeEvents.VisibleChanged = [this](TphDataEntity* e) {
        if (FDestroying) return;
        if (TGantRow* row = static_cast<TphDataEntity_GantTime*>(e)->Row()) row->Relayout();
        InvalidateGantArea();
    };
    FTimeEvents.ValueChanged = [this](TphDataEntity* e) {
        if (FDestroying) return;
        auto* item = static_cast<TphDataEntity_GantTime*>(e);
        if (TGantRow* row = item->Row()) row->Relayout();
        if (OnChangeDataEntity_GantTime) OnChangeDataEntity_GantTime(this, item);
        if (OnValueChanged_GantTime) OnValueChanged_GantTime(this, item);
        InvalidateGantArea();
    };
    FTimeEvents.CountChanged = FTimeEvents.ContentChanged;
    // Items that change their order, come into memory or are asked whether they may be edited can look
    // different: every list event repaints.
    const auto invalidate = [this](TphDataEntity*) {
        if (!FDestroying) InvalidateGantArea();
    };
    FTimeEvents.Moved = [invalidate](TphDataEntity* e, int, int) { invalidate(e); };
    FTimeEvents.BeforeCanEdit = invalidate;
    FLinkEvents.ContentChanged = FTimeEvents.ContentChanged;
    FLinkList = new TphDataList;
    FLinkList->Init(&FLinkEvents, phFactory<TphDataEntity_Link>());

    // Left: spacer and grid.
    FLeftHolder = new QWidget;
    auto* left = new QVBoxLayout(FLeftHolder);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    FLeftSpacer = new QWidget;
    FGrid = new TphGrid;
    FGrid->setObjectName(QStringLiteral("Grid"));
    FGrid->SetMultiSelect(true);
    FGrid->SetHasHeaders(false);
    FGrid->SetHasInfoCol(false);
    FGrid->SetExtendLastColumnToWidth(true);
    TphGrid_Column first;
    first.TreeButton = true;
    FGrid->SetColumns({first});
    left->addWidget(FLeftSpacer);
    left->addWidget(FGrid, 1);

    // Right: scaler above the area, then the panel with the scroll bar.
    FPanelScaleAndGantHolder = new QWidget;
    FPanelScaleAndGantHolder->setObjectName(QStringLiteral("PanelScaleAndGantHolder"));
    auto* middle = new QVBoxLayout(FPanelScaleAndGantHolder);
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    FScaler = new TphDateScaler;
    FScaler->setObjectName(QStringLiteral("DateScaler"));
    FScaler->SetHorizontal(true);
    FScaler->SetTimeFormat(QStringLiteral("HH:MM:SS"));
    FScaler->SetDateFormat(QStringLiteral("YYMMDD"));
    const double today = kv::today();
    FScaler->SetStart(today - 15);
    FScaler->SetStop(today + 15);
    FArea = new TphGantArea(this, nullptr);
    FArea->setObjectName(QStringLiteral("GanttArea"));
    middle->addWidget(FScaler);
    middle->addWidget(FArea, 1);

    FRightPanel = new QWidget;
    FRightPanel->setFixedWidth(16);
    auto* right = new QVBoxLayout(FRightPanel);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    FRightSpacer = new QWidget;
    FScrollBar = new QScrollBar(Qt::Vertical);
    right->addWidget(FRightSpacer);
    right->addWidget(FScrollBar, 1);

    auto* rest = new QWidget;
    auto* restLayout = new QHBoxLayout(rest);
    restLayout->setContentsMargins(0, 0, 0, 0);
    restLayout->setSpacing(0);
    restLayout->addWidget(FPanelScaleAndGantHolder, 1);
    restLayout->addWidget(FRightPanel);

    FSplitter = new QSplitter(Qt::Horizontal);
    FSplitter->setObjectName(QStringLiteral("Splitter"));
    FSplitter->setChildrenCollapsible(false);
    FSplitter->addWidget(FLeftHolder);
    FSplitter->addWidget(rest);
    FSplitter->setStretchFactor(1, 1);

    FPageControl = new QTabWidget(this);
    FPageControl->addTab(new QWidget, QStringLiteral("Gant"));
    FPageControl->hide();

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(FSplitter);

    setTabOrder(FGrid, FArea);
    setTabOrder(FArea, FScaler);
    setTabOrder(FScaler, FPageControl);

    FHint = new TGraphHintWindow(this);
    FHintShowTimer = new QTimer(this);
    FHintShowTimer->setSingleShot(true);
    FHintShowTimer->setInterval(1000);
    connect(FHintShowTimer, &QTimer::timeout, this, [this] {
        DoLater(showHintLater, this, 0);
        FHintHideTimer->start();
    });
    FHintHideTimer = new QTimer(this);
    FHintHideTimer->setSingleShot(true);
    FHintHideTimer->setInterval(5000);
    connect(FHintHideTimer, &QTimer::timeout, this, [this] { DoLater(hideHintLater, this, 0); });
    FAutoScrollTimer = new QTimer(this);
    FAutoScrollTimer->setInterval(50);
    connect(FAutoScrollTimer, &QTimer::timeout, this,
            [this] { FGrid->ScrollRows(FAutoScrollDown ? 1 : -1); });

    FGrid->OnNodeInserted = [this](TphDataEntity_GridTreeNode* node) { OnNodeInserted(node); };
    FGrid->OnNodeDeleted = [this](TphDataEntity_GridTreeNode* node) { OnNodeDeleted(node); };
    FGrid->OnTopLeftChanged = [this](TphGrid* grid) {
        if (FDestroying) return;
        // The rows scroll no further than the scroll bar reaches: a grid beside the area follows the
        // bar, and would no longer line up with rows scrolled past it.
        if (FGrid->TopRow() > MaxTopRow()) {
            FGrid->SetTopRow(MaxTopRow());
            return;
        }
        SyncScrollBar();
        InvalidateGantArea();
        if (OnTopLeftChanged_Grid) OnTopLeftChanged_Grid(grid);
    };
    // Adding or removing rows only marks the area: the scroll bar follows at the next paint, so a
    // burst of thousands of rows costs one count.
    FGrid->OnAxisChanged = [this](TphGrid* grid) {
        if (FDestroying) return;
        FLastRowCount = -1;
        InvalidateGantArea();
        if (OnAxisChanged_Grid) OnAxisChanged_Grid(grid);
    };
    RepublishGridEvents();
    connect(FScrollBar, &QScrollBar::valueChanged, this, [this](int v) {
        if (!FSyncingScroll) FGrid->SetTopRow(v);
    });
    FScaler->OnChange = [this](TphDateScaler*) { ScalerChanged(); };

    SetScalerHeight(45);
    SetTreeWidth(FTreeWidth);
    FGantBackColor = clSilver;
}

TphGant::~TphGant() {
    FDestroying = true;
    CancelDoLater(showHintLater, this);
    CancelDoLater(hideHintLater, this);
    // Rows and links go while the events record they report to still exists.
    FGrid->OnNodeDeleted = nullptr;
    FGrid->OnAxisChanged = nullptr;
    FGrid->OnTopLeftChanged = nullptr;
    FLinkList->Release();
    FLinkList = nullptr;
    FRowList->Release();
    FRowList = nullptr;
    FRowsOnScreen.clear();
    delete FAllLayers;
    FAllLayers = nullptr;
    // The grid goes before the events it passes on to.
    delete FGrid;
    FGrid = nullptr;
}

namespace {

// The grid's event calls the chart's event of the same kind, when one is assigned.
template <class Event> void passOn(Event& gridEvent, Event& chartEvent) {
    gridEvent = [&chartEvent](auto&&... args) {
        if (chartEvent) chartEvent(std::forward<decltype(args)>(args)...);
    };
}

} // namespace

void TphGant::RepublishGridEvents() {
    passOn(FGrid->OnEditStop, OnEditStop_Grid);
    passOn(FGrid->OnAfterUserSize, OnAfterUserSize_Grid);
    passOn(FGrid->OnBeforeRenderCell, OnBeforeRenderCell_Grid);
    passOn(FGrid->OnUserRenderCell, OnUserRenderCell_Grid);
    passOn(FGrid->OnColumnResized, OnColumnResized_Grid);
    passOn(FGrid->OnRowResized, OnRowResized_Grid);
    passOn(FGrid->OnColumnSort, OnColumnSort_Grid);
    passOn(FGrid->OnInitTreeSubDataList, OnInitTreeSubDataList_Grid);
    passOn(FGrid->OnGetUserSortCompareString, OnGetUserSortCompareString_Grid);
    passOn(FGrid->OnUserSort, OnUserSort_Grid);
    passOn(FGrid->OnBeforeEditWithCombo, OnBeforeEditWithCombo_Grid);
    passOn(FGrid->OnVirtualLoad, OnVirtualLoad_Grid);
    passOn(FGrid->OnVirtualUnLoad, OnVirtualUnLoad_Grid);
    passOn(FGrid->OnSelectionChanged, OnSelectionChanged_Grid);
    passOn(FGrid->OnButtonClick, OnButtonClick_Grid);
    passOn(FGrid->OnCellInset, OnCellInset_Grid);
    passOn(FGrid->OnIsButtonExpanded, OnIsButtonExpanded_Grid);
    passOn(FGrid->OnIsButtonTerminal, OnIsButtonTerminal_Grid);
    passOn(FGrid->OnGetParentButtonCell, OnGetParentButtonCell_Grid);
    passOn(FGrid->OnButtonHasNonHiddenChildren, OnButtonHasNonHiddenChildren_Grid);
    passOn(FGrid->OnGridResize, OnGridResize_Grid);
    passOn(FGrid->OnEditorCanModify, OnEditorCanModify_Grid);
    passOn(FGrid->OnRightClick, OnRightClick_Grid);
    passOn(FGrid->OnCellSelectionChanged, OnCellSelectionChanged_Grid);
}

std::vector<TphGrid_Column>& TphGant::Grid_Columns() {
    return FGrid->Columns();
}
std::vector<TphGrid_SubGrid>& TphGant::Grid_SubGrids() {
    return FGrid->SubGrids();
}
std::vector<TphCellLayout>& TphGant::Grid_CellLayouts() {
    return FGrid->CellLayouts();
}
std::vector<QPixmap>& TphGant::Grid_ImageList() {
    return FGrid->ImageList;
}
bool TphGant::Grid_HasHeaders() const {
    return FGrid->HasHeaders();
}
void TphGant::SetGrid_HasHeaders(bool v) {
    FGrid->SetHasHeaders(v);
    // The first row still lines up with the top of the area.
    SetScalerHeight(FScalerHeight);
}
bool TphGant::Grid_HasInfoCol() const {
    return FGrid->HasInfoCol();
}
void TphGant::SetGrid_HasInfoCol(bool v) {
    FGrid->SetHasInfoCol(v);
}
bool TphGant::Grid_RowSelect() const {
    return FGrid->RowSelect();
}
void TphGant::SetGrid_RowSelect(bool v) {
    FGrid->SetRowSelect(v);
}
bool TphGant::Grid_MultiSelect() const {
    return FGrid->MultiSelect();
}
void TphGant::SetGrid_MultiSelect(bool v) {
    FGrid->SetMultiSelect(v);
}
bool TphGant::Grid_ExtendLastColumnToWidth() const {
    return FGrid->ExtendLastColumnToWidth();
}
void TphGant::SetGrid_ExtendLastColumnToWidth(bool v) {
    FGrid->SetExtendLastColumnToWidth(v);
}
bool TphGant::Grid_UserSortEnable() const {
    return FGrid->UserSortEnable();
}
void TphGant::SetGrid_UserSortEnable(bool v) {
    FGrid->SetUserSortEnable(v);
}
bool TphGant::Grid_AutoEditMode() const {
    return FGrid->AutoEditMode();
}
void TphGant::SetGrid_AutoEditMode(bool v) {
    FGrid->SetAutoEditMode(v);
}
bool TphGant::Grid_FocusRect_Cell() const {
    return FGrid->FocusRect_Cell();
}
void TphGant::SetGrid_FocusRect_Cell(bool v) {
    FGrid->SetFocusRect_Cell(v);
}
bool TphGant::Grid_FocusRect_Grid() const {
    return FGrid->FocusRect_Grid();
}
void TphGant::SetGrid_FocusRect_Grid(bool v) {
    FGrid->SetFocusRect_Grid(v);
}

TphGridTree* TphGant::GridTree() const {
    return FGrid->Tree();
}

// ---------------------------------------------------------------------------------------------
// Rows

void TphGant::OnNodeInserted(TphDataEntity_GridTreeNode* node) {
    FRowList->Add(nullptr, node);
}

void TphGant::OnNodeDeleted(TphDataEntity_GridTreeNode* node) {
    if (FDestroying || !FRowList) return;
    if (node->GantRow) FRowList->RemoveFor(node);
}

TGantRow* TphGant::CreateGantRow(TphDataEntity* treeNode, TphDataEntity* gridNode) {
    if (OnUserCreateGantRow)
        if (TGantRow* row = OnUserCreateGantRow(this, treeNode, gridNode)) return row;
    return new TGantRow(this, FRowList);
}

void TphGant::AfterAddGantRow(TGantRow* row) {
    if (auto* node = static_cast<TphDataEntity_GridTreeNode*>(row->Node)) node->GantRow = row;
    if (OnAfterAddGantRow) OnAfterAddGantRow(this, row);
}

void TphGant::BeforeFreeGantRow(TGantRow* row) {
    if (OnBeforeFreeGantRow && !FDestroying) OnBeforeFreeGantRow(this, row);
    if (auto* node = static_cast<TphDataEntity_GridTreeNode*>(row->Node); node && node->GantRow == row)
        node->GantRow = nullptr;
    FRowsOnScreen.erase(std::remove(FRowsOnScreen.begin(), FRowsOnScreen.end(), row), FRowsOnScreen.end());
    FHitRectsValid = false;
}

TGantRow* TphGant::RowStoredIn(TphDataEntity* node) {
    // Only grid nodes are handed to the row list, so the cast is safe.
    return node ? static_cast<TphDataEntity_GridTreeNode*>(node)->GantRow : nullptr;
}

TGantRow* TphGant::RowOfNode(TphDataEntity_GridTreeNode* node) const {
    return node ? node->GantRow : nullptr;
}

void TphGant::OnTimeInserted(TphDataEntity* e) {
    auto* item = static_cast<TphDataEntity_GantTime*>(e);
    TphTimeItemTextCollection* texts = item->EnsureTexts();
    texts->SetFont = [this](TphTimeItemTextCollection*, QPainter* canvas, int style) {
        FontForText(canvas, style);
    };
    InvalidateGantArea();
    if (TGantRow* row = item->Row()) row->Relayout();
    if (OnInsertItem_GantTime) OnInsertItem_GantTime(this, item);
}

void TphGant::FontForText(QPainter* canvas, int fontStyle) const {
    canvas->setFont(fontStyle == 2   ? FontTimeItemStyle2
                    : fontStyle == 3 ? FontTimeItemStyle3
                                     : FontTimeItemStyle1);
}

TphDataEntity_Link* TphGant::AddLink(TphDataEntity_GantTime* from, TphDataEntity_GantTime* to) {
    auto* link = static_cast<TphDataEntity_Link*>(FLinkList->Append());
    link->LinkStyle = DefaultLinkStyle;
    link->LinkColor = DefaultLinkColor;
    link->LinkPenWidth = DefaultLinkPenWidth;
    link->SetFromTime(from);
    link->SetToTime(to);
    InvalidateGantArea();
    return link;
}

void TphGant::DeselectAll() {
    // The selected items are tracked, so this does not walk every item of the chart.
    const QList<TphDataEntity_GantTime*> selected = FSelected.values();
    for (TphDataEntity_GantTime* item : selected)
        item->SetSelected(false);
}

std::vector<TphDataEntity_GantTime*> TphGant::SelectedItems() {
    std::vector<TphDataEntity_GantTime*> items(FSelected.begin(), FSelected.end());
    // Traversal order: rows in display order, then layers, then positions.
    auto key = [this](TphDataEntity_GantTime* item) {
        TGantRow* row = item->Row();
        const int r = row ? FGrid->DisplayIndexOf(static_cast<TphDataEntity_GridTreeNode*>(row->Node)) : -1;
        int layer = -1;
        if (row) {
            const auto& lists = row->Layers->Lists;
            layer = int(std::find(lists.begin(), lists.end(), item->Owner) - lists.begin());
        }
        return std::tuple<int, int, int>(r, layer, item->GetIndex());
    };
    std::sort(items.begin(), items.end(), [&](auto* a, auto* b) { return key(a) < key(b); });
    return items;
}

// ---------------------------------------------------------------------------------------------
// Geometry

bool TphGant::Holds(const TphDataEntity_GantTime* item) const {
    if (!item) return false;
    if (item->Selected || item == FCurrentItem || item == FHintItem || item == FResizeItem) return true;
    return std::any_of(FDragRects.begin(), FDragRects.end(),
                       [item](const auto& d) { return d.second == item; });
}

void TphGant::UpdateAllGeometry() {
    FHitRectsValid = false;
    std::vector<TGantRow*> before;
    before.swap(FRowsOnScreen);
    for (TGantRow* row : before)
        row->Rect = kNoRect;
    const int areaWidth = FArea->width();
    const int areaHeight = FArea->height();
    const int count = FGrid->DisplayRowCount();
    int y = 0;
    int lastHeight = FDefaultRowHeight;
    for (int r = FGrid->TopRow(); r < count && y < areaHeight; ++r) {
        const int h = FGrid->RowHeight(r);
        // A row deleted while out of memory leaves the grid's count behind until it lays out again.
        TphDataEntity_GridTreeNode* node = FGrid->NodeAt(r);
        if (TGantRow* row = node ? node->GantRow : nullptr) {
            row->Rect = QRect(0, y, areaWidth, h);
            FRowsOnScreen.push_back(row);
        }
        lastHeight = h;
        y += h;
    }
    if (count > 0) FDefaultRowHeight = lastHeight;
    // Rows that left the screen let go of the items their lists can make again when needed.
    FUnloadingRows = true;
    for (TGantRow* row : before)
        if (row->Rect == kNoRect && row->Layers)
            for (TphDataList* layer : row->Layers->Lists)
                layer->Unload();
    FUnloadingRows = false;
}

void TphGant::UpdateRowGeometry(TGantRow* row) {
    auto* node = static_cast<TphDataEntity_GridTreeNode*>(row->Node);
    const int r = FGrid->DisplayIndexOf(node);
    row->Rect = kNoRect;
    if (r < FGrid->TopRow()) return;
    int y = 0;
    for (int k = FGrid->TopRow(); k < r && y < FArea->height(); ++k)
        y += FGrid->RowHeight(k);
    if (y < FArea->height()) row->Rect = QRect(0, y, FArea->width(), FGrid->RowHeight(r));
}

int TphGant::RowIndexAtY(int y) const {
    // Rows on screen are in display order, top to bottom.
    auto it = std::upper_bound(FRowsOnScreen.begin(), FRowsOnScreen.end(), y,
                               [](int v, TGantRow* row) { return v < row->Rect.top() + row->Rect.height(); });
    if (it == FRowsOnScreen.end()) return -1;
    TGantRow* row = *it;
    return row->Rect.top() < y && y < row->Rect.top() + row->Rect.height() ? int(it - FRowsOnScreen.begin())
                                                                           : -1;
}

TGantRow* TphGant::RowAtY(int y) const {
    const int i = RowIndexAtY(y);
    return i >= 0 ? FRowsOnScreen[size_t(i)] : nullptr;
}

void TphGant::BuildHitRects() {
    FHitRects.assign(FRowsOnScreen.size(), {});
    // Only what the area shows can be under the mouse.
    const double start = FScaler->Start();
    const double stop = FScaler->Stop();
    std::vector<std::pair<int, int>> runs;
    for (size_t i = 0; i < FRowsOnScreen.size(); ++i) {
        TGantRow* row = FRowsOnScreen[i];
        auto& rects = FHitRects[i];
        // The order of TGantRow::TimeAt: last layer first, last item first.
        for (int l = row->Layers->Count() - 1; l >= 0; --l) {
            TphDataList* list = row->Layers->Lists[size_t(l)];
            if (!list) continue;
            list->PositionsInTimes(start, stop, runs);
            for (auto run = runs.rbegin(); run != runs.rend(); ++run)
                for (int k = run->second; k >= run->first; --k) {
                    auto* item = static_cast<TphDataEntity_GantTime*>(list->Get(k));
                    if (!item) continue;
                    const QRect r = ItemRect(item);
                    if (r.width() > 0 && r.height() > 0) rects.emplace_back(r, item);
                }
        }
    }
    FHitRectsValid = true;
}

bool TphGant::BandOf(TphDataEntity_GantTime* item, int& top, int& bottom) const {
    TGantRow* row = item->Row();
    if (!row || row->Rect.isEmpty()) return false;
    top = row->Rect.top() + 1;
    bottom = row->Rect.top() + row->Rect.height() - 1;
    if (row->SubRowCount > 1) {
        int band = 0;
        if (row->CollisionLayout || row->CollisionDeferred) {
            if (item->SubRow <= 0) return true;
            band = item->SubRow - 1;
        } else {
            const auto& lists = row->Layers->Lists;
            const int layer = int(std::find(lists.begin(), lists.end(), item->Owner) - lists.begin());
            if (layer < int(row->LayerBands.size())) band = row->LayerBands[size_t(layer)];
        }
        const int h = (bottom - top) / row->SubRowCount;
        const int t = top + band * h;
        top = t;
        bottom = t + h;
    }
    return true;
}

QRect TphGant::ItemRect(TphDataEntity_GantTime* item) {
    if (!item) return kNoRect;
    TGantRow* row = item->Row();
    int bandTop = 0;
    int bandBottom = 0;
    if (!row || !item->GetVisible() || !BandOf(item, bandTop, bandBottom)) return kNoRect;
    const double fh = FArea->PrintFactorHorz();
    const double fv = FArea->PrintFactorVert();
    int left;
    int right;
    if (item->FixedWidth < 1) {
        left = FScaler->PixelAtDate(item->StartTime);
        right = FScaler->PixelAtDate(item->StopTime);
    } else {
        left = FScaler->PixelAtDate(item->StartTime) - item->FixedWidth / 2;
        right = left + item->FixedWidth;
    }
    if (FArea->Printing()) {
        left = int(left * fh);
        right = int(right * fh);
    }
    const int top = bandTop + int(item->TopInset * fv);
    const int bottom = std::max(bandBottom - item->BottomInset, top);
    if (right - left < 5) right = left + 5;
    return QRect(left, top, right - left, bottom - top);
}

TphDataEntity_GantTime* TphGant::TimeAt(int x, int y) {
    const int i = RowIndexAtY(y);
    if (i < 0) return nullptr;
    if (!FHitRectsValid) BuildHitRects();
    for (const auto& [r, item] : FHitRects[size_t(i)])
        if (x >= r.left() && x < r.left() + r.width() && y >= r.top() && y < r.top() + r.height())
            return item;
    return nullptr;
}

int TphGant::VisibleRows() const {
    return std::max(1, FArea->height() / std::max(1, FDefaultRowHeight));
}

int TphGant::MaxTopRow() const {
    return std::max(0, FGrid->DisplayRowCount() - VisibleRows());
}

void TphGant::SyncScrollBar() {
    if (FDestroying) return;
    const int count = FGrid->DisplayRowCount();
    const int visible = VisibleRows();
    FSyncingScroll = true;
    FScrollBar->setRange(0, MaxTopRow());
    FScrollBar->setPageStep(visible);
    FScrollBar->setValue(FGrid->TopRow());
    FSyncingScroll = false;
    FLastRowCount = count;
}

void TphGant::InvalidateGantArea() {
    FHitRectsValid = false;
    if (FDestroying || !FArea) return;
    FArea->Invalidate();
}

void TphGant::Repaint() {
    update();
    FScaler->Invalidate();
    FGrid->update();
    FArea->Invalidate();
}

void TphGant::BeginUpdate() {
    ++FUpdateCount;
    FScaler->BeginUpdate();
}

void TphGant::EndUpdate() {
    if (FUpdateCount > 0) --FUpdateCount;
    FScaler->EndUpdate();
    if (FUpdateCount == 0) InvalidateGantArea();
}

void TphGant::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    SyncScrollBar();
}

// ---------------------------------------------------------------------------------------------
// Scaler and settings

void TphGant::ScalerChanged() {
    if (FDestroying) return;
    const double start = FScaler->Start();
    const double stop = FScaler->Stop();
    if (!Updating() && OnAlignNeed) OnAlignNeed(this, FArea->width(), start, stop);
    if (OnScalerChange) {
        OnScalerChange(this, FScaler->Start(), FScaler->Stop());
        // A handler that moved the window takes over from the scrolling.
        if (FScaler->Start() != start) FScaler->ScrollStop();
    }
    InvalidateGantArea();
}

double TphGant::Start() const {
    return FScaler->Start();
}
void TphGant::SetStart(double v) {
    FScaler->SetStart(v);
    InvalidateGantArea();
}
double TphGant::Stop() const {
    return FScaler->Stop();
}
void TphGant::SetStop(double v) {
    FScaler->SetStop(v);
    InvalidateGantArea();
}
double TphGant::Scale() const {
    return FScaler->Scale();
}
double TphGant::MinStart() const {
    return FScaler->MinStart();
}
void TphGant::SetMinStart(double v) {
    FScaler->SetMinStart(v);
}
double TphGant::MaxStop() const {
    return FScaler->MaxStop();
}
void TphGant::SetMaxStop(double v) {
    FScaler->SetMaxStop(v);
}
QString TphGant::DateFormat() const {
    return FScaler->DateFormat();
}
void TphGant::SetDateFormat(const QString& v) {
    FScaler->SetDateFormat(v);
}
QString TphGant::TimeFormat() const {
    return FScaler->TimeFormat();
}
void TphGant::SetTimeFormat(const QString& v) {
    FScaler->SetTimeFormat(v);
}

void TphGant::SetGantBackColor(TColor c) {
    FGantBackColor = c;
    InvalidateGantArea();
}

void TphGant::SetGantPyjamasColor(TColor c) {
    FGantPyjamasColor = c;
    InvalidateGantArea();
}

void TphGant::SetScalerHeight(int v) {
    FScalerHeight = std::max(0, v);
    FScaler->setFixedHeight(FScalerHeight);
    FRightSpacer->setFixedHeight(FScalerHeight);
    // The first grid row lines up with the top of the area.
    FLeftSpacer->setFixedHeight(std::max(0, FScalerHeight - FGrid->HeaderHeight()));
}

void TphGant::SetTreeWidth(int v) {
    FTreeWidth = std::max(0, v);
    FSplitter->setSizes({FTreeWidth, std::max(1, width() - FTreeWidth)});
    FLeftHolder->resize(FTreeWidth, FLeftHolder->height());
}

// ---------------------------------------------------------------------------------------------
// Hints

QString TphGant::HintText(TphDataEntity_GantTime* item) const {
    if (!item) return {};
    const QString format = FScaler->DateFormat() + QStringLiteral(" ") + FScaler->TimeFormat();
    const kv::DateLanguage lang = FScaler->Language();
    return kv::formatDateTime(format, item->StartTime, lang) + QStringLiteral("\r") +
           kv::formatDateTime(format, item->StopTime, lang) + QStringLiteral("\r") +
           kv::formatDateTime(format, item->StopTime - item->StartTime, lang);
}

void TphGant::RequestHint(TphDataEntity_GantTime* item) {
    if (OnHintInfo) {
        if (item)
            OnHintInfo(item, item->StopTime - item->StartTime, item->StopTime, item->StartTime);
        else
            OnHintInfo(nullptr, 0, 0, 0);
    }
    if (item == FHintItem) return;
    FHintItem = item;
    FHintShowTimer->stop();
    if (!item) {
        FHintHideTimer->stop();
        FHint->hide();
        return;
    }
    FHint->SetText(HintText(item));
    FHint->hide();
    FHintShowTimer->start();
}

// ---------------------------------------------------------------------------------------------
// Collision layout

void TphGant::RelayoutRow(TGantRow* row) {
    if (FDestroying || !row->CollisionLayout) return;
    DoLater(updateSubColumnsLater, row, 0);
}

void TphGant::CancelRowWork(TGantRow* row) {
    CancelDoLater(updateSubColumnsLater, row);
    row->CollisionWorker.reset();
}

void TphGant::UpdateSubColumns(TGantRow* row) {
    try {
        row->CollisionWorker.reset();
        if (TTimeDistinctGenericThread::WorkerCount() >= TTimeDistinctGenericThread::MaxWorkers) {
            row->CollisionLayout = false;
            row->CollisionDeferred = true;
            FSomeRowsDeferred = true;
            return;
        }
        auto worker = std::make_unique<TTimeDistinctGenericThread>();
        TDataListTrav trav(row->Layers, row->FirstLayer);
        for (trav.First(); !trav.Eof(); trav.Next()) {
            auto* item = static_cast<TphDataEntity_GantTime*>(trav.Current());
            if (!item || !item->GetVisible()) continue;
            TDistinctTimeHolder h;
            h.Key = row->SharedCollisionKey ? QString() : QString::number(qintptr(item->Owner));
            // Whole seconds, and never empty: an instant still takes a second.
            h.Start = std::round(item->StartTime * 86400.0) / 86400.0;
            h.Stop = std::round(item->StopTime * 86400.0) / 86400.0;
            if (h.Stop == h.Start) h.Stop = h.Start + 1.0 / 86400.0;
            h.Item = item;
            worker->Holders.push_back(h);
        }
        worker->OnDone = [this, row](TTimeDistinctGenericThread*, std::vector<TDistinctTimeHolder>& holders) {
            TimeDistinctThreadDone(row, holders);
        };
        row->CollisionWorker = std::move(worker);
        row->CollisionWorker->Start();
    } catch (const std::exception& e) {
        showCollisionError(QStringLiteral("UpdateSubColumns exception:") + QString::fromUtf8(e.what()));
    }
}

void TphGant::TimeDistinctThreadDone(TGantRow* row, std::vector<TDistinctTimeHolder>& holders) {
    try {
        QHash<TphDataEntity_GantTime*, int> bandOf;
        for (const TDistinctTimeHolder& h : holders)
            bandOf.insert(h.Item, h.Band);
        row->SubRowCount = 0;
        TDataListTrav trav(row->Layers, row->FirstLayer);
        for (trav.First(); !trav.Eof(); trav.Next()) {
            auto* item = static_cast<TphDataEntity_GantTime*>(trav.Current());
            if (!item || !item->GetVisible()) continue;
            auto it = bandOf.constFind(item);
            if (it == bandOf.constEnd()) continue;
            int band = it.value();
            if (band != item->SubRow && OnCollisionDetected) {
                item->SubRow = -1;
                int chosen = band;
                OnCollisionDetected(this, item, chosen);
                band = chosen;
            }
            item->SubRow = band;
            row->SubRowCount = std::max(row->SubRowCount, band);
        }
        InvalidateGantArea();
        row->CollisionWorker.reset();
        if (FSomeRowsDeferred && TTimeDistinctGenericThread::WorkerCount() < 5) {
            FSomeRowsDeferred = false;
            for (int i = 0; i < FRowList->Count(); ++i) {
                TGantRow* r = FRowList->Items(i);
                if (!r->CollisionDeferred) continue;
                r->CollisionDeferred = false;
                r->CollisionLayout = true;
                r->Relayout();
            }
        }
    } catch (const std::exception& e) {
        showCollisionError(QStringLiteral("TimeDistinctThreadDone:") + QString::fromUtf8(e.what()));
    }
}

// ---------------------------------------------------------------------------------------------
// The area

TphGantArea::TphGantArea(TphGant* gant, QWidget* parent) : TphOffscreenPaint(parent), FGant(gant) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAcceptDrops(true);
}

void TphGantArea::Paint() {
    if (QPainter* p = Canvas()) {
        FGant->FPainting = true;
        const auto painted = qScopeGuard([this] { FGant->FPainting = false; });
        FGant->PaintArea(*p);
    }
    TphOffscreenPaint::Paint();
}

void TphGantArea::focusInEvent(QFocusEvent* event) {
    TphOffscreenPaint::focusInEvent(event);
    Invalidate();
}

void TphGantArea::focusOutEvent(QFocusEvent* event) {
    TphOffscreenPaint::focusOutEvent(event);
    Invalidate();
}
