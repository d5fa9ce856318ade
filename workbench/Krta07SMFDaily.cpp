// The workbench side of the daily quantity editor: fills the dialog from a bar or a day cell and writes
// the accepted days back.
#include <algorithm>
#include <cmath>

#include "gantt/MyGant.h"
#include "gantt/phDataEntityPack.h"
#include "platform/Numbers.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/Field.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SCF.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFStored.h"
#include "workbench/Krta07SMFUndo.h"

bool TfrmKrta07SM::EditDailyQuantities(int row) {
    TMyGantItem* item = mgMPSTC->MyGantList()->Items(row);
    return item && item->Bar && EditDailyQuantities(item->Bar);
}

bool TfrmKrta07SM::EditDailyQuantities(TphDataEntity_GantTime* clicked) {
    if (!clicked || !dmKrta07S) return false;
    const bool wholeBar = clicked->CanEdit;
    if (!wholeBar && (clicked->Style & 0x7f) != 8) return false; // the need-date marker
    TphDataList* list = clicked->Owner;
    if (!list || list->Count() == 0) return false;
    auto* bar = static_cast<TphDataEntity_GantTime*>(list->Get(0));
    const int r = FRowOfGantRow.value(bar->Row(), -1);
    TMyGantItem* item = mgMPSTC->MyGantList()->Items(r);
    if (!item || item->Bar != bar) return false;

    TdmKrta07S& dm = *dmKrta07S;
    const double quantity = BarQuantity(r);
    const int code = dm.CompanyDateFormat();
    const QString sep = dm.DateSeparator();
    TfrmKrta07SC dialog(this, code, sep, quantity, FEditState == 1);
    dialog.SetWholeBar(wholeBar);
    auto fill = [&](int row, int k) {
        const QString& q = item->CellQuantity(k);
        dialog.SetDay(row, std::floor(item->CellStart(k)), q.isEmpty() ? QStringLiteral("0") : q,
                      item->CellRemark(k));
    };
    if (wholeBar) {
        dialog.SetRowCount(item->CellCount() + 1);
        for (int k = 0; k < item->CellCount(); ++k)
            fill(k + 1, k);
    } else {
        const int k = item->CellOf(clicked);
        if (k < 0) return false;
        dialog.SetRowCount(2);
        fill(1, k);
    }
    // The bar a list of days from First to Last gives: it takes those days when it is shorter, and
    // grows to them when they lie outside it; days typed outside a bar would otherwise be dropped.
    auto barFor = [bar](kv::TDateTime first, kv::TDateTime last, kv::TDateTime& start, kv::TDateTime& stop) {
        start = bar->StartTime;
        stop = bar->StopTime;
        if (kv::roundHalfEven(last - first + 1) > kv::roundHalfEven(bar->StopTime - bar->StartTime)) {
            start = first;
            stop = last + 1;
        } else {
            start = std::min(start, first);
            stop = std::max(stop, last + 1);
        }
    };
    if (wholeBar)
        dialog.OnCheckDays = [this, r, &barFor](kv::TDateTime first, kv::TDateTime last) {
            kv::TDateTime start, stop;
            barFor(first, last, start, stop);
            return AcceptBarPosition(r, start, stop);
        };
    // Everything the confirmed editor changes is one step.
    TKrta07UndoStep step(FUndo.get());
    if (!dialog.Execute()) return false;
    UndoTouch(r);

    dialog.SortRows();
    auto dayOf = [&dialog](int row) { return dialog.DateOfRow(row); };
    if (wholeBar) {
        const int last = dialog.RowCount() - 1;
        if (last >= 1) {
            kv::TDateTime start, stop;
            barFor(dayOf(1), dayOf(last), start, stop);
            if (start != bar->StartTime || stop != bar->StopTime) {
                bar->StartTime = start;
                bar->StopTime = stop;
                item->RemoveDayCells(bar);
                item->BuildDayCells(bar);
            }
        }
        item->ClearDayTexts();
        // All days at once, with one snapshot of the bar's texts at the end.
        std::vector<TMyGantDayTexts> days;
        days.reserve(size_t(std::max(last, 0)));
        for (int row = 1; row <= last; ++row) {
            QString q = dialog.Cells(1, row);
            if (q == QLatin1String("0")) q.clear();
            days.push_back({dayOf(row), q, dialog.StoredRemark(row)});
        }
        item->SetDayTextsOf(days);
        if (mgMPSTC->OnGantItemChangePos) mgMPSTC->OnGantItemChangePos(item);
    } else {
        item->SetDayTexts(dialog.Cells(1, 1), dialog.StoredRemark(1), dayOf(1));
        // A cell of a line the planner could not move to (its leave-line checks refused): the day
        // counts in that line's consumption, which the callers' recomputation of the current line
        // would miss.
        if (r != CurrentRowIndex()) RecomputeLineConsumptionOf(r);
    }
    mgMPSTC->InvalidateGantArea();
    return true;
}

double TfrmKrta07SM::BarQuantity(int row) const {
    const kv::TClientDataSet& lines = *dmKrta07S->qryMPSTB;
    if (row < 0 || row >= lines.RecordCount()) return 0;
    auto text = [&lines, row](const char* name) {
        const kv::TField* f = lines.FindField(QString::fromLatin1(name));
        return f ? Krta07RTrim(lines.valueAt(row, f->Index()).toString()) : QString();
    };
    const kv::TField* tb026 = lines.FindField(QStringLiteral("TB026"));
    const double quantity = tb026 ? lines.valueAt(row, tb026->Index()).toDouble() : 0;
    if (!FStoredDays || FStoredDays->undatedQuantity.isEmpty()) return quantity;
    return quantity - FStoredDays->undatedQuantity.value(
                          {text("TB003"), text("TB051"), text("TB004"), text("TB005"), text("TB037")});
}
