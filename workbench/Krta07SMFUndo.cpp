// Undo and redo of the planner's edits: the history of steps, what a step keeps of each line it
// touched, and how a line is put back to one of its states.
#include "workbench/Krta07SMFUndo.h"

#include <QKeySequence>
#include <QScopeGuard>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <cmath>

#include "controls/ExtPage.h"
#include "controls/FDBGrid.h"
#include "controls/KvMessages.h"
#include "gantt/phDataEntityPack.h"
#include "platform/data/ClientDataSet.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"

namespace {

const QString kLineKeyFields = QStringLiteral("TB001;TB003;TB051;TB004;TB005;TB037");

using TRecord = std::vector<std::pair<kv::TField*, QVariant>>;

// The grid's set position of row's line, -1 when it is not there. The current line is taken as it
// stands: a look-up would post the cell the planner is editing.
int gridPosition(const TfrmKrta07SM& wb, int row) {
    kv::TClientDataSet& pre = *wb.dmKrta07S->qryMPSTBPre;
    const QString key = wb.RowKeys().value(row);
    if (pre.RecNo() > 0) {
        QStringList current;
        for (const QString& n : kLineKeyFields.split(QLatin1Char(';')))
            current << pre.FieldByName(n).AsString();
        if (TfrmKrta07SM::LineKeyOf(current) == key) return pre.RecNo() - 1;
    }
    const QStringList parts = key.split(Krta07KeySeparator);
    const std::vector<int> found = pre.LocateAll(kLineKeyFields, QVariantList(parts.begin(), parts.end()));
    return found.empty() ? -1 : found.front();
}

// What an edit can change of a line: a move writes its dates into both sets, a cell in the grid a
// code together with the name and property its check brings.
const char* const kLineFields[] = {"TB013", "TB014"};
const char* const kGridFields[] = {"TB013", "TB014", "TB042", "TB042C", "TB044",
                                   "TB044C", "TB045", "TB045C", "MQ017C"};

// Those fields of the record at pos; the current record as it is being edited.
template <size_t N> TRecord recordAt(const kv::TClientDataSet& set, int pos, const char* const (&names)[N]) {
    TRecord record;
    if (pos < 0 || pos >= set.RecordCount()) return record;
    const bool current = set.RecNo() - 1 == pos;
    record.reserve(N);
    for (const char* name : names)
        if (kv::TField* field = set.FindField(QString::fromLatin1(name)))
            record.emplace_back(field, current ? field->Value() : set.valueAt(pos, field->Index()));
    return record;
}

// Puts the current record back to the values kept: as they were, so no check runs on them and
// fields the planner cannot type into take them too.
void putRecord(kv::TClientDataSet& set, const TRecord& record) {
    bool editing = false;
    for (const auto& [field, value] : record) {
        if (field->Value() == value) continue;
        if (!editing) {
            set.Edit();
            editing = true;
        }
        const bool readOnly = field->ReadOnly();
        kv::TFieldNotifyEvent validate = std::move(field->OnValidate), change = std::move(field->OnChange);
        field->OnValidate = nullptr;
        field->OnChange = nullptr;
        field->SetReadOnly(false);
        const auto restore = qScopeGuard([&, field = field] {
            field->SetReadOnly(readOnly);
            field->OnValidate = std::move(validate);
            field->OnChange = std::move(change);
        });
        if (value.isNull())
            field->Clear();
        else
            field->SetValue(value);
    }
    if (editing) set.Post();
}

// The bar at its kept position, with the kept texts on its days.
void putBar(TMyGantItem* item, const TKrta07LineState& state) {
    if (!item || !item->Bar) return;
    TphDataEntity_GantTime* bar = item->Bar;
    bar->StartTime = state.Start;
    bar->StopTime = state.Stop;
    item->RemoveDayCells(bar);
    item->BuildDayCells(bar);
    item->ClearDayTexts();
    item->SetDayTextsOf(state.Days);
}

bool sameDays(const std::vector<TMyGantDayTexts>& a, const std::vector<TMyGantDayTexts>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.Date == y.Date && x.Quantity == y.Quantity && x.Remark == y.Remark;
    });
}

// Texts compare as the data sets compare them, without trailing blanks: a server returns a code of a
// fixed-width column padded, and the same code typed again is no change.
bool sameRecord(const std::vector<std::pair<kv::TField*, QVariant>>& a,
                const std::vector<std::pair<kv::TField*, QVariant>>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        if (x.first != y.first) return false;
        if (x.second.typeId() == QMetaType::QString && y.second.typeId() == QMetaType::QString)
            return Krta07RTrim(x.second.toString()) == Krta07RTrim(y.second.toString());
        return x.second == y.second;
    });
}

} // namespace

bool TKrta07LineState::operator==(const TKrta07LineState& o) const {
    return Row == o.Row && Start == o.Start && Stop == o.Stop && sameDays(Days, o.Days) &&
           sameRecord(Line, o.Line) && sameRecord(GridLine, o.GridLine) && HasPlan == o.HasPlan &&
           Plan == o.Plan;
}

// ---- the history ---------------------------------------------------------------------------------

void TKrta07Undo::Begin() {
    ++FDepth;
}

void TKrta07Undo::End() {
    if (FDepth > 0 && --FDepth == 0) Commit();
}

void TKrta07Undo::BeginGesture() {
    if (FDepth == 0) Commit();
    FGesture = true;
}

void TKrta07Undo::EndGesture() {
    FGesture = false;
    if (FDepth == 0) Commit();
}

void TKrta07Undo::Touch(int row, bool planRows) {
    if (FApplying || row < 0) return;
    for (TKrta07LineState& s : FOpen.Before)
        if (s.Row == row) {
            if (planRows && !s.HasPlan) {
                s.Plan = FWorkbench.LinePlanRows(row);
                s.HasPlan = true;
            }
            return;
        }
    // A change outside any action of the planner's is a step of its own, closed once it is done.
    if (FDepth == 0 && !FGesture && !FCommitQueued) {
        FCommitQueued = true;
        QTimer::singleShot(0, &FWorkbench, [this] {
            FCommitQueued = false;
            if (FDepth == 0 && !FGesture) Commit();
        });
    }
    FOpen.Before.push_back(Capture(row, planRows));
}

void TKrta07Undo::Commit() {
    Step step = std::move(FOpen);
    FOpen = Step();
    if (step.Before.empty()) return;
    // Lines that are back as they were are no part of the step.
    Step kept;
    for (TKrta07LineState& before : step.Before) {
        TKrta07LineState after = Capture(before.Row, before.HasPlan);
        if (after == before) continue;
        kept.Before.push_back(std::move(before));
        kept.After.push_back(std::move(after));
    }
    if (kept.Before.empty()) return;
    FDone.push_back(std::move(kept));
    FUndone.clear();
    Changed();
}

TKrta07Undo::Step* TKrta07Undo::Shift(std::vector<Step>& from, std::vector<Step>& to) {
    // Not from inside an action, a dialog of which may have let the keys through.
    if (FDepth > 0) return nullptr;
    FGesture = false;
    Commit();
    if (from.empty()) return nullptr;
    to.push_back(std::move(from.back()));
    from.pop_back();
    return &to.back();
}

void TKrta07Undo::Undo() {
    if (const Step* step = Shift(FDone, FUndone)) {
        Apply(step->Before);
        Changed();
    }
}

void TKrta07Undo::Redo() {
    if (const Step* step = Shift(FUndone, FDone)) {
        Apply(step->After);
        Changed();
    }
}

void TKrta07Undo::Clear() {
    FDone.clear();
    FUndone.clear();
    FOpen = Step();
    FGesture = false;
    Changed();
}

void TKrta07Undo::Changed() {
    FWorkbench.UpdateUndoButtons();
}

// ---- the states of a line ------------------------------------------------------------------------

TKrta07LineState TKrta07Undo::Capture(int row, bool planRows) const {
    TfrmKrta07SM& wb = FWorkbench;
    TKrta07LineState s;
    s.Row = row;
    // The recorded position: where a bar being dragged comes from.
    if (const TMyGantItem* item = wb.mgMPSTC->MyGantList()->Items(row)) {
        s.Start = item->Start;
        s.Stop = item->Stop;
        for (int k = 0; k < item->CellCount(); ++k) {
            const QString& quantity = item->CellQuantity(k);
            const QString& remark = item->CellRemark(k);
            if (!quantity.isEmpty() || !remark.isEmpty())
                s.Days.push_back({std::floor(item->CellStart(k)), quantity, remark});
        }
    }
    s.Line = recordAt(*wb.dmKrta07S->qryMPSTB, row, kLineFields);
    s.GridLine = recordAt(*wb.dmKrta07S->qryMPSTBPre, gridPosition(wb, row), kGridFields);
    // Most lines a linked move touches keep their plan rows until the next full computation.
    if (planRows) {
        s.Plan = wb.LinePlanRows(row);
        s.HasPlan = true;
    }
    return s;
}

void TKrta07Undo::Apply(const std::vector<TKrta07LineState>& states) {
    TfrmKrta07SM& wb = FWorkbench;
    TdmKrta07S& dm = *wb.dmKrta07S;
    kv::TClientDataSet& pre = *dm.qryMPSTBPre;
    kv::TClientDataSet& lines = *dm.qryMPSTB;
    // Putting lines back is no leaving of a line by the planner: neither the leave-line checks nor
    // the highlight run, and nothing of it is a step of its own.
    const bool linking = wb.FLinking;
    FApplying = true;
    wb.FLinking = true;
    const auto done = qScopeGuard([&] {
        FApplying = false;
        wb.FLinking = linking;
    });
    pre.CheckBrowseMode();
    {
        pre.DisableControls();
        const auto enable = qScopeGuard([&pre] { pre.EnableControls(); });
        const int current = pre.IsEmpty() ? -1 : pre.Bookmark();
        for (const TKrta07LineState& s : states) {
            putBar(wb.mgMPSTC->MyGantList()->Items(s.Row), s);
            if (s.Row < lines.RecordCount()) {
                lines.SetRecNo(s.Row + 1);
                putRecord(lines, s.Line);
            }
            const int pos = gridPosition(wb, s.Row);
            if (pos >= 0) {
                pre.SetRecNo(pos + 1);
                putRecord(pre, s.GridLine);
            }
        }
        if (current >= 0 && pre.BookmarkValid(current)) pre.GotoBookmark(current);
    }
    for (const TKrta07LineState& s : states)
        if (s.HasPlan && wb.LinePlanRows(s.Row) != s.Plan) wb.SetLinePlanRows(s.Row, s.Plan);
    // The current line's work order type decides which of its columns the planner can type into.
    dm.SwitchEditableColumn(false);
    if (wb.PageControl1->currentIndex() == 1) wb.BuildCapacityCharts();
    wb.mgMPSTC->InvalidateGantArea();
}

// ---- the workbench's side ------------------------------------------------------------------------

void TfrmKrta07SM::InitUndo() {
    FUndo = std::make_unique<TKrta07Undo>(*this);
    // The keys act at once, where a button's own shortcut would first show it pressed for a while.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this), &QShortcut::activated, this,
            [this] { btnUndoClick(); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y), this), &QShortcut::activated, this,
            [this] { btnRedoClick(); });
    connect(btnUndo, &QToolButton::clicked, this, [this] { btnUndoClick(); });
    connect(btnRedo, &QToolButton::clicked, this, [this] { btnRedoClick(); });
    // A drag or stretch is one step from the press on the chart to the release, whatever bars it moved.
    auto down = std::move(mgMPSTC->OnGantAreaMouseDown);
    mgMPSTC->OnGantAreaMouseDown = [this, down](TphGantArea* area, TMouseButton button, int shift, int x, int y) {
        if (down) down(area, button, shift, x, y);
        FUndo->BeginGesture();
    };
    auto up = std::move(mgMPSTC->OnGantAreaMouseUp);
    mgMPSTC->OnGantAreaMouseUp = [this, up](TphGantArea* area, TMouseButton button, int shift, int x, int y) {
        if (up) up(area, button, shift, x, y);
        FUndo->EndGesture();
    };
    mgMPSTC->OnGantItemChanging = [this](TMyGantItem* item) { UndoTouch(item->Index()); };
}

void TfrmKrta07SM::UpdateUndoButtons() {
    const bool edit = FEditState == 1 && FUndo;
    btnUndo->setEnabled(edit && FUndo->CanUndo());
    btnRedo->setEnabled(edit && FUndo->CanRedo());
}

void TfrmKrta07SM::UndoTouch(int row, bool planRows) {
    if (FUndo && FEditState == 1) FUndo->Touch(row, planRows);
}

void TfrmKrta07SM::UndoTouchGridLine(int pos) {
    const kv::TClientDataSet& pre = *dmKrta07S->qryMPSTBPre;
    if (!FUndo || pos < 0 || pos >= pre.RecordCount()) return;
    QStringList parts;
    for (const QString& n : kLineKeyFields.split(QLatin1Char(';')))
        parts << pre.valueAt(pos, pre.FieldByName(n).Index()).toString();
    UndoTouch(FRowOfKey.value(LineKeyOf(parts), -1));
}

namespace {

// Runs an undo or redo as a tool button's handler: a fault is shown, never thrown at the event loop.
void runHistory(TfrmKrta07SM& wb, void (TKrta07Undo::*step)()) {
    if (wb.EditState() != 1 || !wb.UndoHistory()) return;
    // Ends the editing of a grid cell first: its value becomes a step of its own. The focus stays in
    // the window, for the keys that follow.
    if (QWidget* w = wb.focusWidget(); w && w != wb.dgMPSTB && wb.IsLineGridControl(w)) wb.dgMPSTB->setFocus();
    try {
        (wb.UndoHistory()->*step)();
    } catch (const std::exception& e) {
        // What fails here is a read of the load for the chart's days.
        KvMessageDlg(wb.DatabaseFault(e), mtError, mbOK);
    }
    wb.UpdateUndoButtons();
}

} // namespace

void TfrmKrta07SM::btnUndoClick() {
    runHistory(*this, &TKrta07Undo::Undo);
}

void TfrmKrta07SM::btnRedoClick() {
    runHistory(*this, &TKrta07Undo::Redo);
}
