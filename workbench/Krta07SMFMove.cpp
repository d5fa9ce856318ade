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

bool directChild(const QString& child, const QString& parent) {
    return child.size() == parent.size() + 2 && child.startsWith(parent);
}

// The days a bar can be moved to: from the day after 1899-12-30, which the module's date texts read
// as "no date", to the last day an 8-character date text holds.
constexpr kv::TDateTime kFirstDay = 1;       // 1899-12-31
constexpr kv::TDateTime kLastDay = 2958465;  // 9999-12-31

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

void TfrmKrta07SM::mgMPSTCGantAreaMouseDown(int X, int Y) {
    TphDataEntity_GantTime* hit = mgMPSTC->TimeAt(X, Y);
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

void TfrmKrta07SM::WriteBarDates(int Row, bool InWorkingSet) {
    TdmKrta07S& dm = *dmKrta07S;
    TMyGantItem* item = mgMPSTC->MyGantList()->Items(Row);
    if (!item || !item->Bar || Row >= FRowKeys.size()) return;
    const QString start = Krta07DayText(item->Bar->StartTime);
    const QString stop = Krta07DayText(item->Bar->StopTime - 1);

    if (InWorkingSet) {
        kv::TClientDataSet& lines = *dm.qryMPSTB;
        if (Row < lines.RecordCount()) {
            lines.SetRecNo(Row + 1);
            lines.Edit();
            lines.FieldByName(QStringLiteral("TB013")).SetAsString(start);
            lines.FieldByName(QStringLiteral("TB014")).SetAsString(stop);
            lines.Post();
        }
    }

    // The grid's set is found by the line key; a line that is not there keeps its dates.
    kv::TClientDataSet& pre = *dm.qryMPSTBPre;
    const QStringList parts = FRowKeys[Row].split(Krta07KeySeparator);
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

void TfrmKrta07SM::WidenScrollBounds(TphDataEntity_GantTime* Bar) {
    if (!Bar) return;
    if (Bar->StartTime < mgMPSTC->MinStart() + 5) mgMPSTC->SetMinStart(Bar->StartTime - 5);
    if (Bar->StopTime > mgMPSTC->MaxStop() - 5) mgMPSTC->SetMaxStop(Bar->StopTime + 5);
}

void TfrmKrta07SM::mgMPSTCGantItemChangePos(TMyGantItem* Item) {
    if (!Item || !Item->Bar) return;
    const int row = Item->Index();
    if (row < 0 || row >= FRowKeys.size()) return;
    TdmKrta07S& dm = *dmKrta07S;
    kv::TClientDataSet& pre = *dm.qryMPSTBPre;
    // A bar dragged out of the days a schedule holds goes back where it was, with its quantities.
    std::vector<TKrta07LinkedMove> moves;
    if (!AcceptBarPosition(row, Item->Bar->StartTime, Item->Bar->StopTime, &moves)) {
        PutBarBack(Item);
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
    WidenScrollBounds(Item->Bar);
    for (const TKrta07LinkedMove& m : moves)
        MoveLinkedRow(m.Row, m.Days);

    // The consumption of the moved line, computed while the grid stands on it.
    const QStringList parts = FRowKeys[row].split(Krta07KeySeparator);
    pre.Locate(QStringLiteral("TB001;TB003;TB051;TB004;TB005;TB037"),
               QVariantList(parts.begin(), parts.end()));
    RecomputeLineConsumption();
    if (current >= 0 && pre.BookmarkValid(current)) pre.GotoBookmark(current);
}

std::vector<TKrta07LinkedMove> TfrmKrta07SM::LinkedMoves(int Row, kv::TDateTime Start, kv::TDateTime Stop) {
    const kv::TClientDataSet& lines = *dmKrta07S->qryMPSTB;
    std::vector<TKrta07LinkedMove> moves;
    const int n = lines.RecordCount();
    if (Row < 0 || Row >= n) return moves;
    // The family is a contiguous run of rows: the lines come sorted by the family's columns.
    auto sameFamily = [&lines, Row](int r) {
        for (const char* f : kFamilyFields)
            if (textAt(lines, r, f) != textAt(lines, Row, f)) return false;
        return true;
    };
    FFamilyFirst = Row;
    while (FFamilyFirst > 0 && sameFamily(FFamilyFirst - 1))
        --FFamilyFirst;
    FFamilyLast = Row;
    while (FFamilyLast + 1 < n && sameFamily(FFamilyLast + 1))
        ++FFamilyLast;
    const QString node = textAt(lines, Row, "TB037");
    if (chkUp->isChecked()) LinkDown(Row, Start, node, moves);
    if (chkDown->isChecked()) LinkUp(Row, Stop, node, moves);
    FFamilyFirst = 0;
    FFamilyLast = -1;
    return moves;
}

bool TfrmKrta07SM::AcceptBarPosition(int Row, kv::TDateTime Start, kv::TDateTime Stop,
                                     std::vector<TKrta07LinkedMove>* Moves) {
    TMyGantList* list = mgMPSTC->MyGantList();
    TMyGantItem* item = list->Items(Row);
    if (!item || !item->Bar) return true;
    std::vector<TKrta07LinkedMove> moves = LinkedMoves(Row, Start, Stop);
    // Compared with the bar's recorded position: where a drag started from.
    bool inside = staysInDays(item->Start, item->Stop, Start, Stop);
    for (const TKrta07LinkedMove& m : moves) {
        const TphDataEntity_GantTime* bar = list->Items(m.Row) ? list->Items(m.Row)->Bar : nullptr;
        if (bar) inside = inside && staysInDays(bar->StartTime, bar->StopTime, bar->StartTime + m.Days,
                                                bar->StopTime + m.Days);
    }
    if (!inside) {
        const QString text = LangText(QStringLiteral("TfrmKrta07SM"), QStringLiteral("sDayRange"),
                                      QString::fromUtf8("排程日期须在1899/12/31至9999/12/31之间!"));
        if (KvConverter)
            KvConverter->KvCodeMessageDlg(text, mtError, mbOK);
        else
            ::KvMessageDlg(text, mtError, mbOK, this);
        return false;
    }
    if (Moves) *Moves = std::move(moves);
    return true;
}

void TfrmKrta07SM::PutBarBack(TMyGantItem* Item) {
    TphDataEntity_GantTime* bar = Item->Bar;
    if (kv::roundHalfEven(bar->StopTime - bar->StartTime) == kv::roundHalfEven(Item->Stop - Item->Start)) {
        // Moved whole: the quantities travel back with the day cells.
        Item->MoveByDays(int(kv::roundHalfEven(Item->Start - bar->StartTime)));
    } else {
        // Stretched: the quantities stay on their days.
        bar->StartTime = Item->Start;
        bar->StopTime = Item->Stop;
        Item->RemoveDayCells(bar);
        Item->BuildDayCells(bar);
    }
    mgMPSTC->InvalidateGantArea();
}

void TfrmKrta07SM::MoveLinkedRow(int Row, int Days) {
    TMyGantItem* item = mgMPSTC->MyGantList()->Items(Row);
    if (!item) return;
    UndoTouch(Row);
    // MoveByDays records the new position, so the chart does not report this move again.
    item->MoveByDays(Days);
    WriteBarDates(Row, true);
    WidenScrollBounds(item->Bar);
}

void TfrmKrta07SM::LinkDown(int Row, kv::TDateTime V, const QString& N, std::vector<TKrta07LinkedMove>& Moves) {
    const kv::TClientDataSet& lines = *dmKrta07S->qryMPSTB;
    TMyGantList* list = mgMPSTC->MyGantList();
    for (int r = Row + 1; r <= FFamilyLast; ++r) {
        const QString node = textAt(lines, r, "TB037");
        if (!directChild(node, N)) continue;
        TMyGantItem* item = list->Items(r);
        if (!item || !item->Bar) continue;
        const int d = int(kv::roundHalfEven(V - item->Bar->StopTime));
        // A child is only ever pulled earlier; one that already ends in time is left with its own
        // children.
        if (d >= 0) continue;
        const bool moves = textAt(lines, r, "TB038") != QLatin1String("Y") || chkMPS->isChecked();
        if (moves) Moves.push_back({r, d});
        LinkDown(r, item->Bar->StartTime + (moves ? d : 0), node, Moves);
    }
}

void TfrmKrta07SM::LinkUp(int Row, kv::TDateTime V, const QString& N, std::vector<TKrta07LinkedMove>& Moves) {
    const kv::TClientDataSet& lines = *dmKrta07S->qryMPSTB;
    TMyGantList* list = mgMPSTC->MyGantList();
    for (int r = Row - 1; r >= FFamilyFirst; --r) {
        const QString node = textAt(lines, r, "TB037");
        if (!directChild(N, node)) continue;
        TMyGantItem* item = list->Items(r);
        if (!item || !item->Bar) continue;
        const int d = int(kv::roundHalfEven(V - item->Bar->StartTime));
        // A parent is only ever pushed later.
        if (d <= 0) continue;
        const bool moves = textAt(lines, r, "TB038") != QLatin1String("Y") || chkMPS->isChecked();
        if (moves) Moves.push_back({r, d});
        LinkUp(r, item->Bar->StopTime + (moves ? d : 0), node, Moves);
    }
}

void TfrmKrta07SM::GantKeyDown(int& Key, int Shift) {
    Q_UNUSED(Shift);
    const int a = CurrentRowIndex();
    if (!mgMPSTC->CurrentItem()) return;
    TMyGantItem* item = mgMPSTC->MyGantList()->Items(a);
    if ((Key == Qt::Key_Right || Key == Qt::Key_Left) && item && item->Bar) {
        const int days = Key == Qt::Key_Right ? 1 : -1;
        if (AcceptBarPosition(a, item->Bar->StartTime + days, item->Bar->StopTime + days)) {
            TKrta07UndoStep step(FUndo.get());
            UndoTouch(a);
            item->MoveByDays(days);
            mgMPSTCGantItemChangePos(item);
        }
    }
    Key = 0;
}

void TfrmKrta07SM::mgMPSTCDblClickGantArea(TphDataEntity_GantTime* Item) {
    if (!Item) return;
    TKrta07UndoStep step(FUndo.get());
    if (EditDailyQuantities(Item)) RecomputeLineConsumption();
}

void TfrmKrta07SM::dgMPSTBIButtonClick() {
    const int row = CurrentRowIndex();
    if (row < 0) return;
    TKrta07UndoStep step(FUndo.get());
    if (EditDailyQuantities(row)) RecomputeLineConsumption();
}
