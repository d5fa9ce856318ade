// Moving schedule bars: the line of a clicked bar becomes current, a moved bar writes its dates
// into both line sets, and the lines of the same source line follow through the bill of materials
// when the linkage boxes ask for it.
#include <QCheckBox>
#include <QHeaderView>
#include <QScopeGuard>
#include <QToolButton>

#include "controls/ExtPage.h"
#include "controls/FDBGrid.h"
#include "controls/KvMessages.h"
#include "gantt/MyGant.h"
#include "gantt/phGrid.h"
#include "lang/CodeConverter.h"
#include "platform/Numbers.h"
#include "platform/data/ClientDataSet.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFUndo.h"

namespace {

constexpr TColor kLime = 0x0000FF00;

const char* const kFamilyFields[] = {"TB001", "TB002", "TB003", "TB004", "TB005"};

// Sets a flag until the scope ends, whatever happens inside.
auto flagScope(bool& flag) {
    flag = true;
    return qScopeGuard([&flag] { flag = false; });
}

QString textAt(const kv::TClientDataSet& set, int row, const char* field) {
    return set.valueAt(row, set.FieldByName(QString::fromLatin1(field)).Index()).toString().trimmed();
}

// Families and nodes compare as the lines' keys do.
QString keyPartAt(const kv::TClientDataSet& set, int row, const char* field) {
    return Krta07RTrim(set.valueAt(row, set.FieldByName(QString::fromLatin1(field)).Index()).toString());
}

bool directChild(const QString& child, const QString& parent) {
    return child.size() == parent.size() + 2 && child.startsWith(parent);
}

// Documents of two types may share a number and line, and so a run of the family's rows; the tree of
// one is not the other's. The rows come sorted without the type, so it is compared row by row.
bool sameType(const kv::TClientDataSet& lines, int row, int other) {
    return keyPartAt(lines, row, "TB051") == keyPartAt(lines, other, "TB051");
}

// A bar of no length stands for a line without a finish date: moved, it would be written with a
// finish the day before its start.
bool hasDays(const TphDataEntity_GantTime* bar) {
    return bar->StopTime > bar->StartTime;
}

// The days a bar can be moved to: from the day after 1899-12-30, which the module's date texts read
// as "no date", to the last day an 8-character date text holds.
constexpr kv::TDateTime kFirstDay = 1;      // 1899-12-31
constexpr kv::TDateTime kLastDay = 2958465; // 9999-12-31

// A bar may not go further outside those days than it already is: a schedule stored outside them
// can still be moved back.
bool staysInDays(kv::TDateTime oldStart, kv::TDateTime oldStop, kv::TDateTime start, kv::TDateTime stop) {
    return start >= std::min(oldStart, kFirstDay) && stop <= std::max(oldStop, kLastDay + 1);
}

} // namespace

void TfrmKrta07SM::InitMoveHandlers() {
    // The wrapper's click hook only made the line current; the mouse-down handling below also
    // recolours the bar and refreshes the charts.
    mgMPSTC->OnClickGantArea = nullptr;
    mgMPSTC->OnGantAreaMouseDown = [this](TphGantArea*, TMouseButton, int, int x, int y) {
        mgMPSTCGantAreaMouseDown(x, y);
    };
    mgMPSTC->OnGantItemChangePos = [this](TMyGantItem* item) { mgMPSTCGantItemChangePos(item); };
    mgMPSTC->OnDblClickGantArea = [this](TphGant*, TphDataEntity_GantTime* item) {
        mgMPSTCDblClickGantArea(item);
    };
    mgMPSTC->GantArea()->OnKeyDown = [this](TphOffscreenPaint*, int& key, int shift) {
        GantKeyDown(key, shift);
    };
    if (!dgMPSTBIButton) {
        // Sits in the grid's top left corner, over the header corner.
        dgMPSTBIButton = new QToolButton(dgMPSTB);
        dgMPSTBIButton->setObjectName(QStringLiteral("dgMPSTBIButton"));
        dgMPSTBIButton->setText(QStringLiteral("..."));
        dgMPSTBIButton->setAutoRaise(true);
        dgMPSTBIButton->setGeometry(0, 0, 22, 22);
        connect(dgMPSTBIButton, &QToolButton::clicked, this, [this] { dgMPSTBIButtonClick(); });
        InitLineFields();
    }
}

void TfrmKrta07SM::mgMPSTCGantAreaMouseDown(int x, int y) {
    TphDataEntity_GantTime* hit = mgMPSTC->TimeAt(x, y);
    if (!hit || FScrollBusy) return;
    const auto busy = flagScope(FMouseBusy);
    TdmKrta07S& dm = *dmKrta07S;
    TMyGantList* list = mgMPSTC->MyGantList();
    const int r = hit->Row() ? FRowOfGantRow.value(hit->Row(), -1) : -1;
    TMyGantItem* item = list->Items(r);
    TphDataEntity_GantTime* bar = item ? item->Bar : nullptr;
    if (!bar) return;
    if (TMyGantItem* old = list->Items(dm.FHighlightRow); old && old->Bar)
        old->Bar->Color = dm.FHighlightColor;
    dm.FHighlightColor = bar->Color;
    bar->Color = kLime;
    dm.FHighlightRow = r;
    mgMPSTC->InvalidateGantArea();
    try {
        if (r != CurrentRowIndex()) SelectRow(r);
    } catch (const kv::EAbort&) {
        // The leave-line checks refused; the line stays where it was.
    }
    if (PageControl1->currentIndex() == 1)
        BuildCapacityCharts();
    else
        RefreshLoadChart();
}

void TfrmKrta07SM::WriteBarDates(int row, bool inWorkingSet) {
    TdmKrta07S& dm = *dmKrta07S;
    TMyGantItem* item = mgMPSTC->MyGantList()->Items(row);
    if (!item || !item->Bar || row >= FRowKeys.size()) return;
    const QString start = Krta07DayText(item->Bar->StartTime);
    const QString stop = Krta07DayText(item->Bar->StopTime - 1);

    if (inWorkingSet) {
        kv::TClientDataSet& lines = *dm.qryMPSTB;
        if (row < lines.RecordCount()) {
            lines.SetRecNo(row + 1);
            lines.Edit();
            lines.FieldByName(QStringLiteral("TB013")).SetAsString(start);
            lines.FieldByName(QStringLiteral("TB014")).SetAsString(stop);
            lines.Post();
        }
    }

    // The grid's set is found by the line key; a line that is not there keeps its dates.
    kv::TClientDataSet& pre = *dm.qryMPSTBPre;
    const QStringList parts = FRowKeys[row].split(Krta07KeySeparator);
    if (!pre.Locate(QStringLiteral("TB001;TB003;TB051;TB004;TB005;TB037"),
                    QVariantList(parts.begin(), parts.end())))
        return;
    kv::TField& tb013 = pre.FieldByName(QStringLiteral("TB013"));
    kv::TField& tb014 = pre.FieldByName(QStringLiteral("TB014"));
    const auto restore = qScopeGuard([&tb013, &tb014, ro13 = tb013.ReadOnly(), ro14 = tb014.ReadOnly()] {
        tb013.SetReadOnly(ro13);
        tb014.SetReadOnly(ro14);
    });
    tb013.SetReadOnly(false);
    tb014.SetReadOnly(false);
    pre.Edit();
    tb013.SetAsString(start);
    tb014.SetAsString(stop);
    pre.Post();
}

void TfrmKrta07SM::WidenScrollBounds(TphDataEntity_GantTime* bar) {
    if (!bar) return;
    if (bar->StartTime < mgMPSTC->MinStart() + 5) mgMPSTC->SetMinStart(bar->StartTime - 5);
    if (bar->StopTime > mgMPSTC->MaxStop() - 5) mgMPSTC->SetMaxStop(bar->StopTime + 5);
}

void TfrmKrta07SM::mgMPSTCGantItemChangePos(TMyGantItem* item) {
    if (!item || !item->Bar) return;
    const int row = item->Index();
    if (row < 0 || row >= FRowKeys.size()) return;
    TdmKrta07S& dm = *dmKrta07S;
    kv::TClientDataSet& pre = *dm.qryMPSTBPre;
    // A bar dragged out of the days a schedule holds goes back where it was, with its quantities.
    std::vector<TKrta07LinkedMove> moves;
    if (!AcceptBarPosition(row, item->Bar->StartTime, item->Bar->StopTime, &moves)) {
        PutBarBack(item);
        return;
    }
    // Set before the grid's set moves to the item's line: a move made here is no leaving of a line
    // by the planner, so neither the leave-line checks nor the highlight run.
    const auto linking = flagScope(FLinking);
    pre.CheckBrowseMode();
    // The grid follows once at the end, not at every line the linkage writes.
    pre.DisableControls();
    const auto enableControls = qScopeGuard([&pre] { pre.EnableControls(); });
    const int current = pre.IsEmpty() ? -1 : pre.Bookmark();

    WriteBarDates(row, true);
    WidenScrollBounds(item->Bar);
    for (const TKrta07LinkedMove& m : moves)
        MoveLinkedRow(m.Row, m.Days);

    RecomputeLineConsumptionOf(row);
    if (current >= 0 && pre.BookmarkValid(current)) pre.GotoBookmark(current);
}

void TfrmKrta07SM::RecomputeLineConsumptionOf(int row) {
    if (row == CurrentRowIndex()) return RecomputeLineConsumption();
    if (row < 0 || row >= FRowKeys.size()) return;
    kv::TClientDataSet& pre = *dmKrta07S->qryMPSTBPre;
    const bool wasLinking = std::exchange(FLinking, true);
    const auto linking = qScopeGuard([this, wasLinking] { FLinking = wasLinking; });
    pre.CheckBrowseMode();
    pre.DisableControls();
    const auto enableControls = qScopeGuard([&pre] { pre.EnableControls(); });
    const int current = pre.IsEmpty() ? -1 : pre.Bookmark();
    SelectRow(row);
    RecomputeLineConsumption();
    if (current >= 0 && pre.BookmarkValid(current)) pre.GotoBookmark(current);
}

std::vector<TKrta07LinkedMove> TfrmKrta07SM::LinkedMoves(int row, kv::TDateTime start, kv::TDateTime stop) {
    const kv::TClientDataSet& lines = *dmKrta07S->qryMPSTB;
    std::vector<TKrta07LinkedMove> moves;
    const int n = lines.RecordCount();
    if (row < 0 || row >= n) return moves;
    // The family is a contiguous run of rows: the lines come sorted by the family's columns.
    auto sameFamily = [&lines, row](int r) {
        for (const char* f : kFamilyFields)
            if (keyPartAt(lines, r, f) != keyPartAt(lines, row, f)) return false;
        return true;
    };
    FFamilyFirst = row;
    while (FFamilyFirst > 0 && sameFamily(FFamilyFirst - 1))
        --FFamilyFirst;
    FFamilyLast = row;
    while (FFamilyLast + 1 < n && sameFamily(FFamilyLast + 1))
        ++FFamilyLast;
    const QString node = keyPartAt(lines, row, "TB037");
    if (chkUp->isChecked()) LinkDown(row, start, node, moves);
    if (chkDown->isChecked()) LinkUp(row, stop, node, moves);
    FFamilyFirst = 0;
    FFamilyLast = -1;
    return moves;
}

bool TfrmKrta07SM::AcceptBarPosition(int row, kv::TDateTime start, kv::TDateTime stop,
                                     std::vector<TKrta07LinkedMove>* linkedMoves) {
    TMyGantList* list = mgMPSTC->MyGantList();
    TMyGantItem* item = list->Items(row);
    if (!item || !item->Bar) return true;
    std::vector<TKrta07LinkedMove> moves = LinkedMoves(row, start, stop);
    // Compared with the bar's recorded position: where a drag started from.
    bool inside = staysInDays(item->Start, item->Stop, start, stop);
    for (const TKrta07LinkedMove& m : moves) {
        const TphDataEntity_GantTime* bar = list->Items(m.Row) ? list->Items(m.Row)->Bar : nullptr;
        if (bar)
            inside = inside && staysInDays(bar->StartTime, bar->StopTime, bar->StartTime + m.Days,
                                           bar->StopTime + m.Days);
    }
    if (!inside) {
        const QString text = OwnText("sDayRange", "排程日期须在1899/12/31至9999/12/31之间!");
        if (KvConverter)
            KvConverter->KvCodeMessageDlg(text, mtError, mbOK);
        else
            ::KvMessageDlg(text, mtError, mbOK, this);
        return false;
    }
    if (linkedMoves) *linkedMoves = std::move(moves);
    return true;
}

void TfrmKrta07SM::PutBarBack(TMyGantItem* item) {
    TphDataEntity_GantTime* bar = item->Bar;
    if (kv::roundHalfEven(bar->StopTime - bar->StartTime) == kv::roundHalfEven(item->Stop - item->Start)) {
        // Moved whole: the quantities travel back with the day cells.
        item->MoveByDays(int(kv::roundHalfEven(item->Start - bar->StartTime)));
    } else {
        // Stretched: the quantities stay on their days.
        bar->StartTime = item->Start;
        bar->StopTime = item->Stop;
        item->RemoveDayCells(bar);
        item->BuildDayCells(bar);
    }
    mgMPSTC->InvalidateGantArea();
}

void TfrmKrta07SM::MoveLinkedRow(int row, int days) {
    TMyGantItem* item = mgMPSTC->MyGantList()->Items(row);
    if (!item) return;
    UndoTouch(row);
    // MoveByDays records the new position, so the chart does not report this move again.
    item->MoveByDays(days);
    WriteBarDates(row, true);
    WidenScrollBounds(item->Bar);
}

void TfrmKrta07SM::LinkDown(int row, kv::TDateTime v, const QString& n,
                            std::vector<TKrta07LinkedMove>& collected) {
    const kv::TClientDataSet& lines = *dmKrta07S->qryMPSTB;
    TMyGantList* list = mgMPSTC->MyGantList();
    for (int r = row + 1; r <= FFamilyLast; ++r) {
        const QString node = keyPartAt(lines, r, "TB037");
        if (!directChild(node, n) || !sameType(lines, r, row)) continue;
        TMyGantItem* item = list->Items(r);
        if (!item || !item->Bar) continue;
        const int d = int(kv::roundHalfEven(v - item->Bar->StopTime));
        // A child is only ever pulled earlier; one that already ends in time is left with its own
        // children.
        if (d >= 0) continue;
        const bool moves =
            hasDays(item->Bar) && (textAt(lines, r, "TB038") != QLatin1String("Y") || chkMPS->isChecked());
        if (moves) collected.push_back({r, d});
        LinkDown(r, item->Bar->StartTime + (moves ? d : 0), node, collected);
    }
}

void TfrmKrta07SM::LinkUp(int row, kv::TDateTime v, const QString& n,
                          std::vector<TKrta07LinkedMove>& collected) {
    const kv::TClientDataSet& lines = *dmKrta07S->qryMPSTB;
    TMyGantList* list = mgMPSTC->MyGantList();
    for (int r = row - 1; r >= FFamilyFirst; --r) {
        const QString node = keyPartAt(lines, r, "TB037");
        if (!directChild(n, node) || !sameType(lines, r, row)) continue;
        TMyGantItem* item = list->Items(r);
        if (!item || !item->Bar) continue;
        const int d = int(kv::roundHalfEven(v - item->Bar->StartTime));
        // A parent is only ever pushed later.
        if (d <= 0) continue;
        const bool moves =
            hasDays(item->Bar) && (textAt(lines, r, "TB038") != QLatin1String("Y") || chkMPS->isChecked());
        if (moves) collected.push_back({r, d});
        LinkUp(r, item->Bar->StopTime + (moves ? d : 0), node, collected);
    }
}

void TfrmKrta07SM::GantKeyDown(int& key, int shift) {
    Q_UNUSED(shift);
    const int a = CurrentRowIndex();
    if (!mgMPSTC->CurrentItem()) return;
    TMyGantItem* item = mgMPSTC->MyGantList()->Items(a);
    if ((key == Qt::Key_Right || key == Qt::Key_Left) && item && item->Bar && hasDays(item->Bar)) {
        const int days = key == Qt::Key_Right ? 1 : -1;
        if (AcceptBarPosition(a, item->Bar->StartTime + days, item->Bar->StopTime + days)) {
            TKrta07UndoStep step(FUndo.get());
            UndoTouch(a);
            item->MoveByDays(days);
            mgMPSTCGantItemChangePos(item);
        }
    }
    key = 0;
}

void TfrmKrta07SM::mgMPSTCDblClickGantArea(TphDataEntity_GantTime* item) {
    if (!item) return;
    TKrta07UndoStep step(FUndo.get());
    if (EditDailyQuantities(item)) RecomputeLineConsumption();
}

void TfrmKrta07SM::dgMPSTBIButtonClick() {
    const int row = CurrentRowIndex();
    if (row < 0) return;
    TKrta07UndoStep step(FUndo.get());
    if (EditDailyQuantities(row)) RecomputeLineConsumption();
}
